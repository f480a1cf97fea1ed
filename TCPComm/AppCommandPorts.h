#ifndef TCPCOMM_APPCOMMANDPORTS_H
#define TCPCOMM_APPCOMMANDPORTS_H

#include <cstdint>

#include "Alarm/AlarmTypes.h"
#include "Function/types.h"

// Everything the app's commands reach outside the channel: the recording
// engine, the card, alarms, snapshots, capture, sensors, overlays, prompts,
// the shell and the clock. CAppBoardPorts is the camera's; tests bring fakes.
class CAppCommandPorts {
public:
    virtual ~CAppCommandPorts() = default;

    // ---- recording engine ----
    virtual BOOL GetParkingFlag() = 0;
    virtual void PauseAllRecord(BOOL bFlush, BOOL bImmediately) = 0;
    virtual void ResumeCommonRecord() = 0;
    virtual BOOL DeleteCommonVideoFile(const char* name) = 0;
    virtual BOOL DeleteAlarmVideoFile(const char* name) = 0;
    virtual BOOL DeleteAlarmImgFile(const char* name) = 0;
    virtual BOOL CleanAllCommonVideoFile() = 0;
    virtual BOOL CleanAllAlarmVideoFile() = 0;
    virtual BOOL CleanAllAlarmImgFile() = 0;
    virtual void GetTotalFileSize(uint64_t& common, uint64_t& alarm, uint64_t& image) = 0;
    virtual void GetFileSpaceQuotaOnSD(unsigned& common, unsigned& alarm, unsigned& image) = 0;
    virtual BOOL SetFileSpaceQuotaOnSD(unsigned common, unsigned alarm, unsigned image) = 0;

    // ---- card ----
    virtual BOOL GetDiskSpaceInfo(uint64_t* total, uint64_t* freeBytes) = 0;
    virtual void SetFormatStatusFlag(BOOL flag) = 0;
    // 0 formatted, below 0 failed.
    virtual int Format() = 0;

    // ---- alarms and snapshots ----
    virtual void PostAlarmTask(unsigned type, unsigned wpa, uint32_t lpa) = 0;
    virtual BOOL LinkageConfig(emAlarmType alarm, emLinkageType add, emLinkageType remove) = 0;
    virtual void PauseSnapshot() = 0;
    virtual void ResumeSnapshot() = 0;

    // ---- capture ----
    virtual void PauseCapture() = 0;
    virtual void ResumeCapture() = 0;
    virtual BOOL SetVolume(int volume) = 0;
    virtual void AudioInputMuteEnable() = 0;
    virtual void AudioInputMuteDisable() = 0;
    virtual BOOL ResolutionSwitch(int mode) = 0;
    virtual void SetParkingMonitoringEnable(int enable) = 0;
    virtual void SetParkingMonitoringTimeThreshold(int threshold) = 0;

    // ---- sensors and overlays ----
    virtual BOOL TESTSetGSensorParam(float level) = 0;
    // Below 0 on failure.
    virtual int TESTCorrectIRSensor() = 0;
    virtual void ForceShowSpeed() = 0;

    // ---- prompts, pins, shell, clock ----
    virtual void PlayAudio(int index) = 0;
    virtual void WriteGpio(int gpio, int level) = 0;
    // The command's exit status; non-zero is a failure.
    virtual int RunCommand(const char* cmd) = 0;
    // 0 or -1.
    virtual int SetSystemTime(int year, int month, int day, int hour, int minute, int second) = 0;
    virtual void SyncFS() = 0;
};

// The camera's managers. Before the camera object is up a volume or a
// switch fails and the rest does nothing; without an I2C sensor manager the
// calibration fails and the G threshold is not applied.
class CAppBoardPorts : public CAppCommandPorts {
public:
    static CAppBoardPorts* instance();

    BOOL GetParkingFlag() override;
    void PauseAllRecord(BOOL bFlush, BOOL bImmediately) override;
    void ResumeCommonRecord() override;
    BOOL DeleteCommonVideoFile(const char* name) override;
    BOOL DeleteAlarmVideoFile(const char* name) override;
    BOOL DeleteAlarmImgFile(const char* name) override;
    BOOL CleanAllCommonVideoFile() override;
    BOOL CleanAllAlarmVideoFile() override;
    BOOL CleanAllAlarmImgFile() override;
    void GetTotalFileSize(uint64_t& common, uint64_t& alarm, uint64_t& image) override;
    void GetFileSpaceQuotaOnSD(unsigned& common, unsigned& alarm, unsigned& image) override;
    BOOL SetFileSpaceQuotaOnSD(unsigned common, unsigned alarm, unsigned image) override;
    BOOL GetDiskSpaceInfo(uint64_t* total, uint64_t* freeBytes) override;
    void SetFormatStatusFlag(BOOL flag) override;
    int Format() override;
    void PostAlarmTask(unsigned type, unsigned wpa, uint32_t lpa) override;
    BOOL LinkageConfig(emAlarmType alarm, emLinkageType add, emLinkageType remove) override;
    void PauseSnapshot() override;
    void ResumeSnapshot() override;
    void PauseCapture() override;
    void ResumeCapture() override;
    BOOL SetVolume(int volume) override;
    void AudioInputMuteEnable() override;
    void AudioInputMuteDisable() override;
    BOOL ResolutionSwitch(int mode) override;
    void SetParkingMonitoringEnable(int enable) override;
    void SetParkingMonitoringTimeThreshold(int threshold) override;
    BOOL TESTSetGSensorParam(float level) override;
    int TESTCorrectIRSensor() override;
    void ForceShowSpeed() override;
    void PlayAudio(int index) override;
    void WriteGpio(int gpio, int level) override;
    int RunCommand(const char* cmd) override;
    int SetSystemTime(int year, int month, int day, int hour, int minute, int second) override;
    void SyncFS() override;
};

#endif
