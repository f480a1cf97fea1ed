#ifndef MAIN_BOARDSERVICES_H
#define MAIN_BOARDSERVICES_H

#include "Main/LoopServices.h"

// The loop's services on the camera: the GPIO manager, the settings store,
// the prompt log, the hardware clock and the shell. Managers the system does
// not have yet answer "not there": no SD manager (its checks are not
// scheduled). The factory flags come from CFactoryTest. The recorder, GPS
// logging and snapshots pause and resume. The app channel tells of a download
// under way and removes the pairing file.
class CBoardServices : public CLoopServices {
public:
    BOOL ReadGpio(int gpio, int& value) override;
    BOOL WriteGpio(int gpio, int value) override;
    void SleepMs(unsigned ms) override;

    int GetInt(const char* section, const char* key, int default_int) override;
    BOOL OpenFuncSetting() override;
    BOOL SaveFuncSetting() override;
    BOOL ResetIniConfig() override;
    void SetVolume(int volume) override;
    void PlayAudio(int index) override;

    void PauseAllRecord(int flush, int closeNow) override;
    void ResumeCommonRecord() override;
    void StopAllRecord(int flush, int closeNow) override;
    void PauseGpsSaveData() override;
    void ResumeGpsSaveData() override;
    void PauseSnapshot() override;
    void ResumeSnapshot() override;
    void SyncFS() override;
    void HoldForPowerLine(const std::function<void()>& pause) override;
    void ReleasePowerLine(const std::function<void()>& resume) override;

    BOOL HasSDManager() override;
    int CheckSDCard() override;
    void CheckSDCardFreeSpace() override;
    BOOL GetFormatStatusFlag() override;
    BOOL GetCardCheckFailed() override;

    BOOL IsRtcWork() override;
    BOOL GetLedStatus() override;
    BOOL DeleteAccessAuthFile() override;
    BOOL GetBurnInTesting() override;
    BOOL GetFactoryTestOK() override;
    BOOL GetFactoryCheckModel() override;

    int RunCommand(const char* cmd) override;
    void RequestQuit() override;
    BOOL TakeUpdateRequest() override;
};

#endif
