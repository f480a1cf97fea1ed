#ifndef TESTS_TCPCOMM_FAKEAPPPORTS_H
#define TESTS_TCPCOMM_FAKEAPPPORTS_H

#include <condition_variable>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "Main/Wiring/CameraWiring.h"
#include "support/FakeRoles.h"
#include "TCPComm/AppRoles.h"

// The managers behind the app's commands, recording what they are asked.
// The clock, the shell, prompts, pins, file sync, the boot environment and
// the quotas' store stay the board's own. Card workers can be held at a gate.
class CFakeAppPorts : public CRecordControl,
                      public CRecordFiles,
                      public CCardUpkeep,
                      public CAlarmTasks,
                      public CAlarmLinkages,
                      public CSnapshotControl,
                      public CCaptureControls,
                      public CCaptureAudio,
                      public CTestSensorTests,
                      public CSpeedOverlay {
public:
    struct tagAlarm {
        unsigned type, wpa;
        uint32_t lpa;
    };
    struct tagLinkage {
        int alarm, add, remove;
    };

    mutable std::mutex m;
    std::condition_variable cv;
    bool gateOpen = true;
    int workersInside = 0;

    BOOL parking = FALSE;
    int pauseCapture = 0, resumeCapture = 0, pauseRecord = 0, resumeRecord = 0;
    int pauseSnapshot = 0, resumeSnapshot = 0;
    BOOL lastPauseFlush = -1;
    BOOL volumeOk = TRUE;
    int volume = -1;
    int muted = -1;
    std::vector<tagLinkage> linkages;
    float gsensor = -1.0f;
    int irResult = 0;
    BOOL switchOk = TRUE;
    std::vector<int> switches;
    int parkingEnable = -1, parkingTime = -1;
    int forceShowSpeed = 0;
    BOOL diskOk = TRUE;
    uint64_t total = 0, freeBytes = 0;
    uint64_t sizes[3] = {};
    unsigned quotas[3] = {};
    std::vector<std::string> deleted;
    BOOL deleteResult = TRUE;
    BOOL cleanResult = TRUE;
    std::vector<int> cleaned;  // 0 images, 1 alarm videos, 2 common videos
    int formatResult = 0;
    int formats = 0;
    std::vector<int> formatFlags;
    std::vector<tagAlarm> alarms;

    void CloseGate()
    {
        std::lock_guard<std::mutex> hold(m);
        gateOpen = false;
    }
    void OpenGate()
    {
        {
            std::lock_guard<std::mutex> hold(m);
            gateOpen = true;
        }
        cv.notify_all();
    }
    int Inside() const
    {
        std::lock_guard<std::mutex> hold(m);
        return workersInside;
    }
    template <typename T>
    T Get(const T& field) const
    {
        std::lock_guard<std::mutex> hold(m);
        return field;
    }

    // These fakes, and the board's own prompts, pins, shell and environment.
    AppRoles Roles()
    {
        AppRoles r = CCameraWiring::instance()->ForApp();
        r.record = this;
        r.files = this;
        r.card = this;
        r.alarms = this;
        r.linkages = this;
        r.snapshots = this;
        r.capture = this;
        r.audio = this;
        r.sensors = this;
        r.speed = this;
        return r;
    }

    BOOL GetParkingFlag() override { return Get(parking); }
    BOOL PauseAllRecord(BOOL bFlush, BOOL) override
    {
        std::lock_guard<std::mutex> hold(m);
        ++pauseRecord;
        lastPauseFlush = bFlush;
        return TRUE;
    }
    BOOL ResumeCommonRecord() override
    {
        Bump(resumeRecord);
        return TRUE;
    }
    BOOL StopAllRecord(BOOL, BOOL) override { return TRUE; }
    BOOL DeleteCommonVideoFile(const char* name) override { return Delete("common:", name); }
    BOOL DeleteAlarmVideoFile(const char* name) override { return Delete("video:", name); }
    BOOL DeleteAlarmImgFile(const char* name) override { return Delete("image:", name); }
    BOOL CleanAllCommonVideoFile() override { return Clean(2); }
    BOOL CleanAllAlarmVideoFile() override { return Clean(1); }
    BOOL CleanAllAlarmImgFile() override { return Clean(0); }
    void GetTotalFileSize(uint64_t& c, uint64_t& a, uint64_t& i) override
    {
        std::lock_guard<std::mutex> hold(m);
        c = sizes[0];
        a = sizes[1];
        i = sizes[2];
    }
    void GetFileSpaceQuotaOnSD(unsigned& c, unsigned& a, unsigned& i) override
    {
        std::lock_guard<std::mutex> hold(m);
        c = quotas[0];
        a = quotas[1];
        i = quotas[2];
    }
    BOOL SetFileSpaceQuotaOnSD(unsigned c, unsigned a, unsigned i) override
    {
        return m_BoardFiles.SetFileSpaceQuotaOnSD(c, a, i);
    }
    int CheckSDCard() override { return 0; }
    void CheckSDCardFreeSpace() override {}
    BOOL GetFormatStatusFlag() override { return FALSE; }
    BOOL GetNoSpaceFlag() override { return FALSE; }
    BOOL GetCardCheckFailed() override { return FALSE; }
    BOOL GetDiskSpaceInfo(uint64_t* t, uint64_t* f) override
    {
        std::lock_guard<std::mutex> hold(m);
        *t = total;
        *f = freeBytes;
        return diskOk;
    }
    void SetFormatStatusFlag(BOOL flag) override
    {
        std::lock_guard<std::mutex> hold(m);
        formatFlags.push_back(flag);
    }
    int Format() override
    {
        Enter();
        std::lock_guard<std::mutex> hold(m);
        ++formats;
        --workersInside;
        return formatResult;
    }
    BOOL PutAlarmTask(TASK* task) override
    {
        std::lock_guard<std::mutex> hold(m);
        const AlarmContext& a = task->context.alarm;
        alarms.push_back({a.type, a.wpa, a.lpa});
        return TRUE;
    }
    BOOL LinkageConfig(emAlarmType alarm, unsigned add, unsigned remove) override
    {
        std::lock_guard<std::mutex> hold(m);
        linkages.push_back({alarm, static_cast<int>(add), static_cast<int>(remove)});
        return TRUE;
    }
    BOOL PauseSnapshot() override
    {
        Bump(pauseSnapshot);
        return TRUE;
    }
    BOOL ResumeSnapshot() override
    {
        Bump(resumeSnapshot);
        return TRUE;
    }
    void PauseCapture() override { Bump(pauseCapture); }
    void ResumeCapture() override { Bump(resumeCapture); }
    BOOL SetVolume(int v) override
    {
        std::lock_guard<std::mutex> hold(m);
        if (volumeOk) {
            volume = v;
        }
        return volumeOk;
    }
    BOOL GetIsOutputVolumeMute() override { return FALSE; }
    void AudioInputMuteEnable() override { Set(muted, 1); }
    void AudioInputMuteDisable() override { Set(muted, 0); }
    BOOL ResolutionSwitch(int mode) override
    {
        std::lock_guard<std::mutex> hold(m);
        switches.push_back(mode);
        return switchOk;
    }
    void SetParkingMonitoringEnable(int v) override { Set(parkingEnable, v); }
    void SetParkingMonitoringTimeThreshold(unsigned v) override { Set(parkingTime, static_cast<int>(v)); }
    BOOL StartVO() override { return TRUE; }
    BOOL StopVO() override { return TRUE; }
    int TESTGetGSensorParam(float& trigger) override
    {
        trigger = Get(gsensor);
        return 0;
    }
    int TESTSetGSensorParam(float level) override
    {
        std::lock_guard<std::mutex> hold(m);
        gsensor = level;
        return 0;
    }
    int TESTCorrectIRSensor() override { return Get(irResult); }
    void GetDisplayGPSSpeedOSD(int& display) override { display = 0; }
    BOOL SetDisplayGPSSpeedOSD(int) override { return TRUE; }
    void ForceShowSpeed() override { Bump(forceShowSpeed); }

private:
    CCameraRecordFiles m_BoardFiles;

    void Bump(int& n)
    {
        std::lock_guard<std::mutex> hold(m);
        ++n;
    }
    void Set(int& field, int v)
    {
        std::lock_guard<std::mutex> hold(m);
        field = v;
    }
    BOOL Delete(const char* kind, const char* name)
    {
        std::lock_guard<std::mutex> hold(m);
        deleted.push_back(std::string(kind) + name);
        return deleteResult;
    }
    void Enter()
    {
        std::unique_lock<std::mutex> hold(m);
        ++workersInside;
        cv.wait(hold, [this] { return gateOpen; });
    }
    BOOL Clean(int kind)
    {
        Enter();
        std::lock_guard<std::mutex> hold(m);
        cleaned.push_back(kind);
        --workersInside;
        return cleanResult;
    }
};

#endif
