#ifndef MAIN_WIRING_OSDWIRING_H
#define MAIN_WIRING_OSDWIRING_H

#include "OSD/OSDSources.h"

// The overlays' channel sizes from the camera object, the model from the
// boot environment.
class CCameraOSDSources : public COSDSources {
public:
    BOOL GetChannelResolution(int chn, unsigned& width, unsigned& height) override;
    BOOL GetModelString(char* model, size_t size) override;
};

#endif
