#ifndef PLATFORM_HOST_MEDIA_PICTURESYNTH_H
#define PLATFORM_HOST_MEDIA_PICTURESYNTH_H

// The simulated sensor's pictures: a precomputed pattern that moves with the
// picture number, and the picture's own index as a barcode of 32 cells
// across the top rows (16 x 16 and macroblock-aligned where the width allows,
// narrower on small pictures): bit 31 first, white for 1, black for 0.

#include <cstdint>

struct tagSynthPlanes {
    uint8_t* y;
    int yStride;
    uint8_t* u;
    int uStride;
    uint8_t* v;
    int vStride;
};

// Fills one I420 picture of w x h (even) for picture `t` carrying `index`.
void XSynthPicture(uint64_t t, uint32_t index, int w, int h, const tagSynthPlanes& planes);

// Cell size of the barcode for a picture size.
void XSynthBarcodeCell(int w, int h, int* cellW, int* cellH);

#endif
