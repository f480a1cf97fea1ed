#ifndef MAIN_LOOPSERVICES_H
#define MAIN_LOOPSERVICES_H

#include <functional>

#include "Function/types.h"

// Everything one cycle of the supervision loop reaches: pins, settings, the
// SD card, prompts, recording, GPS logging, snapshots, the clock, the app
// channel and the factory flags. The camera's implementation is
// CBoardServices; tests drive the loop over their own.
class CLoopServices {
public:
    virtual ~CLoopServices() = default;

    // ---- pins ----
    virtual BOOL ReadGpio(int gpio, int& value) = 0;
    virtual BOOL WriteGpio(int gpio, int value) = 0;
    virtual void SleepMs(unsigned ms) = 0;

    // ---- settings and audio ----
    virtual int GetInt(const char* section, const char* key, int default_int) = 0;
    virtual BOOL OpenFuncSetting() = 0;
    virtual BOOL SaveFuncSetting() = 0;
    virtual BOOL ResetIniConfig() = 0;
    virtual void SetVolume(int volume) = 0;
    virtual void PlayAudio(int index) = 0;

    // ---- recording, GPS logging, snapshots, file systems ----
    virtual void PauseAllRecord(int flush, int closeNow) = 0;
    virtual void ResumeCommonRecord() = 0;
    virtual void StopAllRecord(int flush, int closeNow) = 0;
    virtual void PauseGpsSaveData() = 0;
    virtual void ResumeGpsSaveData() = 0;
    virtual void PauseSnapshot() = 0;
    virtual void ResumeSnapshot() = 0;
    virtual void SyncFS() = 0;
    // The power line's pause reason: `pause` runs as it is added; `resume`
    // runs as it is dropped, only when no other reason holds recording.
    virtual void HoldForPowerLine(const std::function<void()>& pause) { pause(); }
    virtual void ReleasePowerLine(const std::function<void()>& resume) { resume(); }

    // ---- SD card: the checks are scheduled only when a manager is there ----
    virtual BOOL HasSDManager() = 0;
    virtual int CheckSDCard() = 0;
    virtual void CheckSDCardFreeSpace() = 0;
    virtual BOOL GetFormatStatusFlag() = 0;
    // The card in the slot failed its file-system check.
    virtual BOOL GetCardCheckFailed() = 0;

    // ---- clock, app channel, factory flags ----
    virtual BOOL IsRtcWork() = 0;
    virtual BOOL GetLedStatus() = 0;
    virtual BOOL DeleteAccessAuthFile() = 0;
    virtual BOOL GetBurnInTesting() = 0;
    virtual BOOL GetFactoryTestOK() = 0;
    virtual BOOL GetFactoryCheckModel() = 0;

    // ---- process ----
    virtual int RunCommand(const char* cmd) = 0;
    // Ends the loop after the current cycle.
    virtual void RequestQuit() = 0;
    // 1 once for every firmware-update announcement (SIGUSR1) since the last call.
    virtual BOOL TakeUpdateRequest() = 0;
};

#endif
