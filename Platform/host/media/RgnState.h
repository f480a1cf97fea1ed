#ifndef PLATFORM_HOST_MEDIA_RGNSTATE_H
#define PLATFORM_HOST_MEDIA_RGNSTATE_H

// The simulated regions, shared by the region calls and the compositor.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "Platform/MpiRgn.h"

struct tagRgnRegion {
    std::mutex mutex;  // one region: drawn on by its caller, read by the encoders
    RGN_HANDLE handle = 0;
    RGN_ATTR_S attr = {};
    std::map<int, RGN_CHN_ATTR_S> chn;  // encoder channel -> display attributes
    // the last bitmap as handed over
    uint32_t bmpW = 0;
    uint32_t bmpH = 0;
    std::vector<uint8_t> raw;
    uint64_t setCount = 0;
    // converted, region-sized: colour, and 0 outside the bitmap, 1 alpha bit 0, 2 alpha bit 1
    std::vector<uint8_t> y;
    std::vector<uint8_t> u;
    std::vector<uint8_t> v;
    std::vector<uint8_t> kind;
};

struct tagRgnState {
    std::mutex mutex;  // the map only
    std::map<RGN_HANDLE, std::shared_ptr<tagRgnRegion>> regions;
};

tagRgnState& XRgnState();

#endif
