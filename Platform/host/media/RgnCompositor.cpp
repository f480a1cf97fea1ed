// Blending of the attached regions into an encoder's picture.

#include "Platform/host/media/RgnCompositor.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "Platform/host/media/RgnState.h"

namespace {

struct tagShown {
    uint32_t layer;
    RGN_HANDLE handle;
    std::shared_ptr<tagRgnRegion> region;
};

// One region at its place on the picture; under the region's lock.
void Blend(const tagRgnRegion& r, const OVERLAY_CHN_ATTR_S& a, const tagRgnPicture& p)
{
    const int rw = static_cast<int>(r.attr.unAttr.stOverlay.stSize.u32Width);
    const int rh = static_cast<int>(r.attr.unAttr.stOverlay.stSize.u32Height);
    const int px = a.stPoint.s32X;
    const int py = a.stPoint.s32Y;
    const int alpha[3] = {0, static_cast<int>(a.u32BgAlpha), static_cast<int>(a.u32FgAlpha)};
    const int x0 = std::max(px, 0);
    const int y0 = std::max(py, 0);
    const int x1 = std::min(px + rw, p.width);
    const int y1 = std::min(py + rh, p.height);
    if (x0 >= x1 || y0 >= y1) {
        return;
    }
    for (int y = y0; y < y1; ++y) {
        uint8_t* line = p.y + static_cast<ptrdiff_t>(y) * p.yStride;
        const size_t base = static_cast<size_t>(y - py) * rw;
        for (int x = x0; x < x1; ++x) {
            const size_t i = base + static_cast<size_t>(x - px);
            const int al = alpha[r.kind[i]];
            if (al != 0) {
                line[x] = static_cast<uint8_t>((r.y[i] * al + line[x] * (128 - al) + 64) >> 7);
            }
        }
    }
    // chroma: each 2 x 2 block at the mean alpha of its four pixels
    for (int cy = y0 / 2; cy < (y1 + 1) / 2; ++cy) {
        uint8_t* lu = p.u + static_cast<ptrdiff_t>(cy) * p.uvStride;
        uint8_t* lv = p.v + static_cast<ptrdiff_t>(cy) * p.uvStride;
        for (int cx = x0 / 2; cx < (x1 + 1) / 2; ++cx) {
            int sumA = 0;
            int sumU = 0;
            int sumV = 0;
            for (int dy = 0; dy < 2; ++dy) {
                const int ry = 2 * cy + dy - py;
                if (ry < 0 || ry >= rh) {
                    continue;
                }
                for (int dx = 0; dx < 2; ++dx) {
                    const int rx = 2 * cx + dx - px;
                    if (rx < 0 || rx >= rw) {
                        continue;
                    }
                    const size_t i = static_cast<size_t>(ry) * rw + rx;
                    const int al = alpha[r.kind[i]];
                    sumA += al;
                    sumU += al * r.u[i];
                    sumV += al * r.v[i];
                }
            }
            if (sumA == 0) {
                continue;
            }
            uint8_t& u = lu[cx * p.uvStep];
            uint8_t& v = lv[cx * p.uvStep];
            u = static_cast<uint8_t>((sumU + (512 - sumA) * u + 256) >> 9);
            v = static_cast<uint8_t>((sumV + (512 - sumA) * v + 256) >> 9);
        }
    }
}

}  // namespace

void XRgnCompose(int vencChn, const tagRgnPicture& pic)
{
    std::vector<std::shared_ptr<tagRgnRegion>> all;
    {
        tagRgnState& s = XRgnState();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.regions.empty()) {
            return;
        }
        for (const auto& r : s.regions) {
            all.push_back(r.second);
        }
    }
    std::vector<tagShown> shown;
    for (auto& r : all) {
        std::lock_guard<std::mutex> lock(r->mutex);
        auto it = r->chn.find(vencChn);
        if (it != r->chn.end() && it->second.bShow && r->setCount != 0) {
            shown.push_back({it->second.unChnAttr.stOverlayChn.u32Layer, r->handle, r});
        }
    }
    std::stable_sort(shown.begin(), shown.end(),
                     [](const tagShown& a, const tagShown& b) { return a.layer < b.layer; });
    for (auto& s : shown) {
        std::lock_guard<std::mutex> lock(s.region->mutex);
        auto it = s.region->chn.find(vencChn);
        if (it != s.region->chn.end() && it->second.bShow) {
            Blend(*s.region, it->second.unChnAttr.stOverlayChn, pic);
        }
    }
}
