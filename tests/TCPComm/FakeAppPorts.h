#ifndef TESTS_TCPCOMM_FAKEAPPPORTS_H
#define TESTS_TCPCOMM_FAKEAPPPORTS_H

#include <condition_variable>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "TCPComm/AppCommandPorts.h"

// The managers behind the app's commands, recording what they are asked.
// The clock, the shell, prompts, pins, file sync and the quotas stay the
// board's own. Card workers can be held at a gate.
class CFakeAppPorts : public CAppBoardPorts {
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

    BOOL GetParkingFlag() override { return Get(parking); }
    void PauseAllRecord(BOOL bFlush, BOOL) override
    {
        std::lock_guard<std::mutex> hold(m);
        ++pauseRecord;
        lastPauseFlush = bFlush;
    }
    void ResumeCommonRecord() override { Bump(resumeRecord); }
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
    void PostAlarmTask(unsigned type, unsigned wpa, uint32_t lpa) override
    {
        std::lock_guard<std::mutex> hold(m);
        alarms.push_back({type, wpa, lpa});
    }
    BOOL LinkageConfig(emAlarmType alarm, emLinkageType add, emLinkageType remove) override
    {
        std::lock_guard<std::mutex> hold(m);
        linkages.push_back({alarm, add, remove});
        return TRUE;
    }
    void PauseSnapshot() override { Bump(pauseSnapshot); }
    void ResumeSnapshot() override { Bump(resumeSnapshot); }
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
    void AudioInputMuteEnable() override { Set(muted, 1); }
    void AudioInputMuteDisable() override { Set(muted, 0); }
    BOOL ResolutionSwitch(int mode) override
    {
        std::lock_guard<std::mutex> hold(m);
        switches.push_back(mode);
        return switchOk;
    }
    void SetParkingMonitoringEnable(int v) override { Set(parkingEnable, v); }
    void SetParkingMonitoringTimeThreshold(int v) override { Set(parkingTime, v); }
    BOOL TESTSetGSensorParam(float level) override
    {
        std::lock_guard<std::mutex> hold(m);
        gsensor = level;
        return TRUE;
    }
    int TESTCorrectIRSensor() override { return Get(irResult); }
    void ForceShowSpeed() override { Bump(forceShowSpeed); }

private:
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
