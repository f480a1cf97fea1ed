#ifndef AVCAPTURE_CAPTUREOVERLAYS_H
#define AVCAPTURE_CAPTUREOVERLAYS_H

#include "Function/types.h"

// The overlays laid out again after a switch rebuilt the encoders.
class CCaptureOverlays {
public:
    virtual ~CCaptureOverlays() = default;

    // The layout of encoder channel `chn`, or of every channel.
    virtual BOOL LayoutOSD(int chn) = 0;
    virtual BOOL LayoutOSD() = 0;
};

#endif
