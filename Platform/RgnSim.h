#ifndef PLATFORM_RGNSIM_H
#define PLATFORM_RGNSIM_H

// Observation of the simulated overlay regions (simulated board only).
// Failures are injected with XMediaSimFail (Platform/MediaSim.h) under the
// call's name, with the region handle in the place of the channel:
// XMediaSimFail("HI_MPI_RGN_Create", code, 9, 1) fails the next Create of 9.

#include <cstdint>
#include <vector>

#include "Platform/MpiRgn.h"

struct tagRgnSimAttach {
    int chn;                 // encoder channel
    RGN_CHN_ATTR_S attr;     // display attributes on it
};

struct tagRgnSimInfo {
    BOOL bCreated;
    RGN_ATTR_S attr;
    std::vector<tagRgnSimAttach> attach;  // by channel
    uint32_t u32BmpWidth;                 // last bitmap handed over
    uint32_t u32BmpHeight;
    std::vector<uint8_t> bitmap;          // its rows, round-up(2 x width, 4) bytes each
    uint64_t u64SetBitMap;                // SetBitMap calls that succeeded
};

// The state of one handle; FALSE for a handle out of range.
BOOL XRgnSimInfo(RGN_HANDLE handle, tagRgnSimInfo* info);
// Handles created, in ascending order.
std::vector<RGN_HANDLE> XRgnSimHandles();

#endif
