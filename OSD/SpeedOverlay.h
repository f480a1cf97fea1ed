#ifndef OSD_SPEEDOVERLAY_H
#define OSD_SPEEDOVERLAY_H

#include "Function/types.h"

// The speed overlay as the web and app commands switch it.
class CSpeedOverlay {
public:
    virtual ~CSpeedOverlay() = default;

    virtual void GetDisplayGPSSpeedOSD(int& display) = 0;
    virtual BOOL SetDisplayGPSSpeedOSD(int display) = 0;
    // The next speed message redraws even an unchanged value.
    virtual void ForceShowSpeed() = 0;
};

#endif
