#ifndef AVCAPTURE_CAPTURECONTROLS_H
#define AVCAPTURE_CAPTURECONTROLS_H

#include "Function/types.h"

// The camera object's run-time controls as the web and app commands, the
// supervision loop and the factory test use them.
class CCaptureControls {
public:
    virtual ~CCaptureControls() = default;

    virtual void PauseCapture() = 0;
    virtual void ResumeCapture() = 0;
    // Main stream 720p (0) or 1080p (other values).
    virtual BOOL ResolutionSwitch(int mode) = 0;
    virtual void SetParkingMonitoringEnable(int enable) = 0;
    virtual void SetParkingMonitoringTimeThreshold(unsigned threshold) = 0;
    // The analogue output.
    virtual BOOL StartVO() = 0;
    virtual BOOL StopVO() = 0;
};

#endif
