#ifndef TESTS_SUPPORT_FAKEROLES_H
#define TESTS_SUPPORT_FAKEROLES_H

// Plain doubles of the shared settings and factory-flag roles: a test sets
// what it needs and overrides the rest where it watches calls.

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "IniConfig/Settings.h"
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

#endif
