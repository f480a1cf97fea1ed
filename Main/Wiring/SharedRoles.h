#ifndef MAIN_WIRING_SHAREDROLES_H
#define MAIN_WIRING_SHAREDROLES_H

// The camera's implementations of the roles that several subsystems share:
// each forwards to the manager that owns the capability. The capture's are
// attached to the camera object by the root (without one a volume or a
// switch fails and the rest does nothing); the card's to an SD manager.

#include <atomic>

#include "AVCapture/CaptureControls.h"
#include "Alarm/AlarmLinkages.h"
#include "Alarm/AlarmTasks.h"
#include "Function/Shell.h"
#include "IniConfig/Settings.h"
#include "OSD/SpeedOverlay.h"
#include "Periphery/CardUpkeep.h"
#include "Periphery/SensorTests.h"
#include "PlayAudio/Prompts.h"
#include "Record/RecordControl.h"
#include "Record/RecordFiles.h"
#include "Roles/CaptureAudio.h"
#include "Roles/CardFiles.h"
#include "Roles/FactoryState.h"
#include "Roles/Pins.h"
#include "Snapshot/SnapshotControl.h"

class CCommAVCapture;
class CSDManager;

// What `call` answers of the object, or `missing` without one (a camera
// object or an SD manager not attached).
template <typename T, typename R, typename Call>
R XOn(T* object, R missing, Call call)
{
    return object != nullptr ? call(*object) : missing;
}

template <typename T, typename Call>
void XOn(T* object, Call call)
{
    if (object != nullptr) {
        call(*object);
    }
}

class CCameraPrompts : public CPrompts {
public:
    void PlayPrompt(int index) override;
};

class CCameraRecordControl : public CRecordControl {
public:
    BOOL PauseAllRecord(BOOL bFlushBuffer, BOOL bImmediately) override;
    BOOL ResumeCommonRecord() override;
    BOOL StopAllRecord(BOOL bFlushBuffer, BOOL bImmediately) override;
    BOOL GetParkingFlag() override;
};

class CCameraRecordFiles : public CRecordFiles {
public:
    BOOL DeleteCommonVideoFile(const char* name) override;
    BOOL DeleteAlarmVideoFile(const char* name) override;
    BOOL DeleteAlarmImgFile(const char* name) override;
    BOOL CleanAllCommonVideoFile() override;
    BOOL CleanAllAlarmVideoFile() override;
    BOOL CleanAllAlarmImgFile() override;
    void GetTotalFileSize(uint64_t& common, uint64_t& alarm, uint64_t& image) override;
    void GetFileSpaceQuotaOnSD(unsigned& common, unsigned& alarm, unsigned& image) override;
    BOOL SetFileSpaceQuotaOnSD(unsigned common, unsigned alarm, unsigned image) override;
};

// Both card roles over one SD manager (the process's, or a test's own).
class CCameraCard : public CCardFiles, public CCardUpkeep {
public:
    explicit CCameraCard(CSDManager* lpSD = nullptr) : m_lpSD(lpSD) {}
    void Attach(CSDManager* lpSD) { m_lpSD = lpSD; }

    int GetSDState() override;
    BOOL GetSDMountPath(char* path, size_t size) override;
    BOOL RegisterSDStateCallback(int (*fun)(int, void*), void* priv) override;
    BOOL UnregisterSDStateCallback(int (*fun)(int, void*), void* priv) override;
    int CheckSDCard() override;
    void CheckSDCardFreeSpace() override;
    BOOL GetDiskSpaceInfo(uint64_t* total, uint64_t* freeBytes) override;
    int Format() override;
    void SetFormatStatusFlag(BOOL flag) override;
    BOOL GetFormatStatusFlag() override;
    BOOL GetNoSpaceFlag() override;
    BOOL GetCardCheckFailed() override;

private:
    CSDManager* m_lpSD;
};

class CCameraPins : public CPins {
public:
    BOOL ReadGpio(int gpio, int& value) override;
    BOOL WriteGpio(int gpio, int value) override;
};

class CCameraFactoryState : public CFactoryState {
public:
    BOOL GetFactoryTestOK() override;
    BOOL GetFactoryTesting() override;
    BOOL GetBurnInTesting() override;
    BOOL GetFactoryCheckModel() override;
    BOOL GetForceFactoryTest() override;
};

// The speaker and microphone, and the run-time controls, of the camera
// object attached.
class CCameraCapture : public CCaptureAudio, public CCaptureControls {
public:
    explicit CCameraCapture(CCommAVCapture* lpCapture = nullptr) : m_lpCapture(lpCapture) {}
    void Attach(CCommAVCapture* lpCapture) { m_lpCapture.store(lpCapture, std::memory_order_release); }
    CCommAVCapture* Attached() const { return m_lpCapture.load(std::memory_order_acquire); }

    BOOL SetVolume(int volume) override;
    BOOL GetIsOutputVolumeMute() override;
    void AudioInputMuteEnable() override;
    void AudioInputMuteDisable() override;
    void PauseCapture() override;
    void ResumeCapture() override;
    BOOL ResolutionSwitch(int mode) override;
    void SetParkingMonitoringEnable(int enable) override;
    void SetParkingMonitoringTimeThreshold(unsigned threshold) override;
    BOOL StartVO() override;
    BOOL StopVO() override;

private:
    std::atomic<CCommAVCapture*> m_lpCapture;
};

class CCameraSnapshotControl : public CSnapshotControl {
public:
    BOOL PauseSnapshot() override;
    BOOL ResumeSnapshot() override;
};

class CCameraAlarms : public CAlarmTasks, public CAlarmLinkages {
public:
    BOOL PutAlarmTask(TASK* task) override;
    BOOL LinkageConfig(emAlarmType alarm, unsigned add, unsigned remove) override;
};

class CCameraSensorTests : public CSensorTests {
public:
    BOOL IRSensorActive() override;
    BOOL GSensorActive() override;
    int TESTGetIRSensorParam(unsigned& init, unsigned& trigger, unsigned& cur, unsigned& max,
                             unsigned& min) override;
    int TESTSetIRSensorParam(unsigned init, unsigned trigger) override;
    int TESTCorrectIRSensor() override;
    int TESTGetGSensorParam(float& trigger) override;
    int TESTSetGSensorParam(float trigger) override;
};

class CCameraSpeedOverlay : public CSpeedOverlay {
public:
    void GetDisplayGPSSpeedOSD(int& display) override;
    BOOL SetDisplayGPSSpeedOSD(int display) override;
    void ForceShowSpeed() override;
};

class CCameraSettings : public CSettings {
public:
    int GetInt(const char* section, const char* key, int default_int) override;
    int GetGpsVoiceCfg() override;
    int GetParkingVoiceCfg() override;
    int GetSnapshotAssociateVideoCfg() override;
    int GetGestureCaptureCfg() override;
    int GetGestureTriggerLevel() override;
    int GetIniConfig(char* buf, int len) override;
    BOOL OpenFuncSetting() override;
    BOOL SaveFuncSetting() override;
    BOOL ResetIniConfig() override;
};

class CCameraShell : public CShell {
public:
    int RunCommand(const char* cmd) override;
    int ExecCommand2(const char* cmd, std::vector<std::string>& lines) override;
    void SyncFS() override;
};

#endif
