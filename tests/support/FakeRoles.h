#ifndef TESTS_SUPPORT_FAKEROLES_H
#define TESTS_SUPPORT_FAKEROLES_H

// Plain doubles of the shared settings and factory-flag roles: a test sets
// what it needs and overrides the rest where it watches calls.

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "AVCapture/CaptureControls.h"
#include "Function/Shell.h"
#include "IniConfig/Settings.h"
#include "Periphery/SensorTests.h"
#include "Roles/FactoryState.h"

// Settings from a map (a missing key gives the caller's default); the cached
// switches read their funcset keys with the store's own defaults; reopen,
// save and reset succeed and change nothing; the file is empty.
class CTestSettings : public CSettings {
public:
    void Set(const std::string& section, const std::string& key, int value)
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Values[section + "/" + key] = value;
    }

    int GetInt(const char* section, const char* key, int default_int) override
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        auto it = m_Values.find(std::string(section) + "/" + key);
        return it == m_Values.end() ? default_int : it->second;
    }
    int GetGpsVoiceCfg() override { return GetInt("funcset", "voice_gps", 1); }
    int GetParkingVoiceCfg() override { return GetInt("funcset", "voice_parking", 1); }
    int GetSnapshotAssociateVideoCfg() override { return GetInt("funcset", "snapshot_associate_video", 0); }
    int GetGestureCaptureCfg() override { return GetInt("funcset", "gesture_capture", 1); }
    int GetGestureTriggerLevel() override { return GetInt("funcset", "gesture_trigger_level", 1); }
    int GetIniConfig(char* buf, int len) override
    {
        if (len < 1) {
            return -1;
        }
        buf[0] = '\0';
        return 0;
    }
    BOOL OpenFuncSetting() override { return TRUE; }
    BOOL SaveFuncSetting() override { return TRUE; }
    BOOL ResetIniConfig() override { return TRUE; }

private:
    std::mutex m_Lock;
    std::map<std::string, int> m_Values;
};

// The factory flags as the test sets them (all off at first).
class CTestFactoryState : public CFactoryState {
public:
    BOOL GetFactoryTestOK() override { return m_bTestOK.load(); }
    BOOL GetFactoryTesting() override { return m_bTesting.load(); }
    BOOL GetBurnInTesting() override { return m_bBurnIn.load(); }
    BOOL GetFactoryCheckModel() override { return m_bCheckModel.load(); }
    BOOL GetForceFactoryTest() override { return m_bForce.load(); }

    std::atomic<BOOL> m_bTestOK{FALSE};
    std::atomic<BOOL> m_bTesting{FALSE};
    std::atomic<BOOL> m_bBurnIn{FALSE};
    std::atomic<BOOL> m_bCheckModel{FALSE};
    std::atomic<BOOL> m_bForce{FALSE};
};

// Run-time controls that do nothing: the switches succeed, the output starts
// and stops.
class CTestCaptureControls : public CCaptureControls {
public:
    void PauseCapture() override {}
    void ResumeCapture() override {}
    BOOL ResolutionSwitch(int) override { return TRUE; }
    void SetParkingMonitoringEnable(int) override {}
    void SetParkingMonitoringTimeThreshold(unsigned) override {}
    BOOL StartVO() override { return TRUE; }
    BOOL StopVO() override { return TRUE; }
};

// Motion sensors that are not there: inactive, zeros, every change refused.
class CTestSensorTests : public CSensorTests {
public:
    BOOL IRSensorActive() override { return FALSE; }
    BOOL GSensorActive() override { return FALSE; }
    int TESTGetIRSensorParam(unsigned& init, unsigned& trigger, unsigned& cur, unsigned& max, unsigned& min) override
    {
        init = trigger = cur = max = min = 0;
        return 0;
    }
    int TESTSetIRSensorParam(unsigned, unsigned) override { return -1; }
    int TESTCorrectIRSensor() override { return -1; }
    int TESTGetGSensorParam(float& trigger) override
    {
        trigger = 0.0f;
        return 0;
    }
    int TESTSetGSensorParam(float) override { return -1; }
};

// A shell whose commands succeed and print nothing.
class CTestShell : public CShell {
public:
    int RunCommand(const char*) override { return 0; }
    int ExecCommand2(const char*, std::vector<std::string>& lines) override
    {
        lines.clear();
        return 0;
    }
    void SyncFS() override {}
};

#endif
