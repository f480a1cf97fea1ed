#ifndef OSD_OSDSOURCES_H
#define OSD_OSDSOURCES_H

#include <cstddef>

#include "Function/types.h"

// What the overlays read outside themselves: the encoder channels' picture
// sizes as the capture pipeline sets them, and the device's model.
class COSDSources {
public:
    virtual ~COSDSources() = default;

    // Picture size of an encoder channel; 0 when it has none.
    virtual BOOL GetChannelResolution(int chn, unsigned& width, unsigned& height) = 0;
    // The model into model[0..size-1], NUL-ended; 0 when there is none.
    virtual BOOL GetModelString(char* model, size_t size) = 0;
};

#endif
