#ifndef PLATFORM_HOST_MEDIA_RGNCOMPOSITOR_H
#define PLATFORM_HOST_MEDIA_RGNCOMPOSITOR_H

// Blends the regions attached to an encoder channel into a 4:2:0 picture
// just before it is encoded. Not for code outside Platform/host and tests.

#include <cstdint>

// One 4:2:0 picture of even width and height. Chroma samples of U and V lie
// uvStep bytes apart: 1 for planar I420 (two planes), 2 for NV12 (u = plane,
// v = plane + 1).
struct tagRgnPicture {
    uint8_t* y;
    int yStride;
    uint8_t* u;
    uint8_t* v;
    int uvStride;
    int uvStep;
    int width;
    int height;
};

void XRgnCompose(int vencChn, const tagRgnPicture& pic);

#endif
