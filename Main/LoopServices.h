#ifndef MAIN_LOOPSERVICES_H
#define MAIN_LOOPSERVICES_H

#include <functional>

#include "AVCapture/CaptureControls.h"
#include "Function/Shell.h"
#include "Function/types.h"
#include "IniConfig/Settings.h"
#include "Periphery/CardUpkeep.h"
#include "PlayAudio/Prompts.h"
#include "Record/RecordControl.h"
#include "Roles/CaptureAudio.h"
#include "Roles/FactoryState.h"
#include "Roles/Pins.h"
#include "Snapshot/SnapshotControl.h"

// What one cycle of the supervision loop reaches of its own: the clock,
// GPS logging, the power line's pause reason, the hardware clock's check,
// the app channel and the process's signals.
class CLoopServices {
public:
    virtual ~CLoopServices() = default;

    virtual void SleepMs(unsigned ms) = 0;
    virtual void PauseGpsSaveData() = 0;
    virtual void ResumeGpsSaveData() = 0;
    // The power line's pause reason: `pause` runs as it is added; `resume`
    // runs as it is dropped, only when no other reason holds recording.
    virtual void HoldForPowerLine(const std::function<void()>& pause) = 0;
    virtual void ReleasePowerLine(const std::function<void()>& resume) = 0;
    virtual BOOL IsRtcWork() = 0;
    // The app channel asks for the connection LED to blink.
    virtual BOOL GetLedStatus() = 0;
    virtual BOOL DeleteAccessAuthFile() = 0;
    // Ends the loop after the current cycle.
    virtual void RequestQuit() = 0;
    // 1 once for every firmware-update announcement (SIGUSR1) since the last call.
    virtual BOOL TakeUpdateRequest() = 0;
};

// Everything the loop needs, bound by the composition root (tests drive the
// loop over their own). Without the card's upkeep there is no SD manager:
// its checks are not scheduled.
typedef struct tagLoopRoles {
    CLoopServices* services;
    CPins* pins;
    CSettings* settings;
    CCaptureAudio* audio;
    CPrompts* prompts;
    CRecordControl* record;
    CSnapshotControl* snapshots;
    CShell* shell;
    CCardUpkeep* card;
    CFactoryState* factory;
} LoopRoles;

#endif
