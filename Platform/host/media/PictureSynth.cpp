#include "Platform/host/media/PictureSynth.h"

#include <cstring>
#include <vector>

namespace {

constexpr int kTile = 256;

struct tagTiles {
    std::vector<uint8_t> luma;    // kTile x kTile
    std::vector<uint8_t> chroma;  // kTile x kTile
    tagTiles() : luma(kTile * kTile), chroma(kTile * kTile)
    {
        uint32_t noise = 12345;
        for (int y = 0; y < kTile; ++y) {
            for (int x = 0; x < kTile; ++x) {
                noise = noise * 1103515245u + 12345u;
                // bands and a checker with a little noise: texture for the encoder
                const int band = ((x / 32) + (y / 32)) & 1 ? 150 : 90;
                luma[y * kTile + x] = static_cast<uint8_t>(band + ((x ^ y) & 0x1F) + ((noise >> 16) & 0x07));
                chroma[y * kTile + x] = static_cast<uint8_t>(112 + ((x + 2 * y) & 0x1F));
            }
        }
    }
};

const tagTiles& Tiles()
{
    static const tagTiles tiles;
    return tiles;
}

// One row of the tile repeated across `w` bytes from column offset `off`.
void TileRow(const uint8_t* tileRow, int off, uint8_t* out, int w)
{
    int x = 0;
    int from = off % kTile;
    while (x < w) {
        const int n = kTile - from < w - x ? kTile - from : w - x;
        memcpy(out + x, tileRow + from, static_cast<size_t>(n));
        x += n;
        from = 0;
    }
}

}  // namespace

void XSynthBarcodeCell(int w, int h, int* cellW, int* cellH)
{
    int cw = w >= 32 * 16 ? 16 : (w / 32) & ~1;
    if (cw < 2) {
        cw = 2;
    }
    *cellW = cw;
    *cellH = h >= 64 ? 16 : 8;
}

void XSynthPicture(uint64_t t, uint32_t index, int w, int h, const tagSynthPlanes& p)
{
    const tagTiles& tiles = Tiles();
    const int dx = static_cast<int>((t * 4) % kTile);
    const int dy = static_cast<int>(t % kTile);
    for (int row = 0; row < h; ++row) {
        TileRow(&tiles.luma[((row + dy) % kTile) * kTile], dx, p.y + row * p.yStride, w);
    }
    for (int row = 0; row < h / 2; ++row) {
        TileRow(&tiles.chroma[((row + dy) % kTile) * kTile], dx / 2, p.u + row * p.uStride, w / 2);
        TileRow(&tiles.chroma[((row + 2 * dy) % kTile) * kTile], dx, p.v + row * p.vStride, w / 2);
    }
    int cw = 0;
    int ch = 0;
    XSynthBarcodeCell(w, h, &cw, &ch);
    for (int bit = 0; bit < 32 && (bit + 1) * cw <= w; ++bit) {
        const uint8_t level = ((index >> (31 - bit)) & 1) != 0 ? 235 : 16;
        for (int row = 0; row < ch && row < h; ++row) {
            memset(p.y + row * p.yStride + bit * cw, level, static_cast<size_t>(cw));
        }
        for (int row = 0; row < ch / 2 && row < h / 2; ++row) {
            memset(p.u + row * p.uStride + bit * cw / 2, 128, static_cast<size_t>(cw / 2));
            memset(p.v + row * p.vStride + bit * cw / 2, 128, static_cast<size_t>(cw / 2));
        }
    }
}
