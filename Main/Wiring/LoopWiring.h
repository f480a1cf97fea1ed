#ifndef MAIN_WIRING_LOOPWIRING_H
#define MAIN_WIRING_LOOPWIRING_H

#include "Main/LoopServices.h"

// The supervision loop's own services on the camera: the system's sleep,
// the GPS receiver's logging, the power line as a pause reason (the
// capture resumes with the rest: the phone's stop may have paused it), the
// hardware clock, the app channel and the signal flags.
class CCameraLoopServices : public CLoopServices {
public:
    explicit CCameraLoopServices(CCaptureControls* lpCapture) : m_lpCapture(lpCapture) {}

    void SleepMs(unsigned ms) override;
    void PauseGpsSaveData() override;
    void ResumeGpsSaveData() override;
    void HoldForPowerLine(const std::function<void()>& pause) override;
    void ReleasePowerLine(const std::function<void()>& resume) override;
    BOOL IsRtcWork() override;
    BOOL GetLedStatus() override;
    BOOL DeleteAccessAuthFile() override;
    void RequestQuit() override;
    BOOL TakeUpdateRequest() override;

private:
    CCaptureControls* m_lpCapture;
};

#endif
