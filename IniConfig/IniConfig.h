#ifndef INICONFIG_CINICONFIG_H
#define INICONFIG_CINICONFIG_H

#include <atomic>

#include "Function/types.h"
#include "IniConfig/iniconfig.h"
#include "MultiTask/Mutex.h"
#include "MultiTask/Singleton.h"

// The device's settings, /root/system.ini: sections "storageset" (card
// quotas) and "funcset" (features, prompts, volume) and "version" in
// "default". Every SetInt rewrites the file atomically; the hottest
// "funcset" switches are also served from cached fields, readable from any
// thread without the lock.
class CIniConfig : public CSingleton<CIniConfig> {
public:

    // OpenFuncSetting.
    BOOL Init();
    // SaveFuncSetting.
    BOOL CleanUp();

    // The value, or `default_int` when the key is missing; -1 while nothing
    // is loaded. A null `section` means "default".
    int GetInt(const char* section, const char* key, int default_int);
    // Stores the value and rewrites the file: 1 new key, 2 replaced, 0 when
    // the key cannot be stored or the file could not be written (the new
    // value then stays in memory for this run), -1 while nothing is loaded.
    // `key_len` 0 means the key's own length.
    int SetInt(const char* section, const char* key, int key_len, int value);
    int SetInt(const char* section, const char* key, int value);

    // Loads the file, creating it from the built-in defaults when missing and
    // keeping an unreadable or cut-off file aside as "system.ini.bad" in
    // favour of a fresh one; upgrades old versions and fills in missing keys.
    // Once loaded, the file is not read again. 0 when the file could not be
    // written; the store is usable all the same.
    BOOL OpenFuncSetting();
    // Writes the store to the file; 0 when nothing is loaded or on failure.
    BOOL SaveFuncSetting();
    // Factory reset of the user settings; 0 when nothing is loaded or the
    // file could not be written.
    BOOL ResetIniConfig();
    // Up to `len` bytes of the file (not terminated): their count, or -1
    // when the file is missing.
    int GetIniConfig(char* buf, int len);

    int GetGSnapVoiceCfg() const { return m_voice_g_snapshot.load(); }
    int GetASnapVoiceCfg() const { return m_voice_a_snapshot.load(); }
    int GetMSnapVoiceCfg() const { return m_voice_m_snapshot.load(); }
    int GetGpsVoiceCfg() const { return m_voice_gpsworking.load(); }
    int GetMAudioRecordCfg() const { return m_audiorecord.load(); }
    int GetGestureCaptureCfg() const { return m_gesturecapture.load(); }
    int GetGestureTriggerLevel() const { return m_gesture_trigger_level.load(); }
    int GetConnectAuthCfg() const { return m_connectauth.load(); }
    int GetSnapshotAssociateVideoCfg() const { return m_snapshot_associate_video.load(); }
    int GetLanguageCfg() const { return m_language.load(); }
    int GetSpeedUnitCfg() const { return m_speed_unit.load(); }
    int GetResModeCfg() const { return m_ResMode.load(); }
    int GetParkingModeCfg() const { return m_ParkingEnable.load(); }
    int GetParkingTimeThresholdCfg() const { return m_ParkingTimeTh.load(); }
    int GetParkingVoiceCfg() const { return m_voice_parking.load(); }

    CIniConfig(const CIniConfig&) = delete;
    CIniConfig& operator=(const CIniConfig&) = delete;

protected:
    friend class CSingleton<CIniConfig>;
    // One store per process through instance(); a separate store starts unloaded.
    CIniConfig();
    ~CIniConfig();

private:
    int SetIntLocked(const char* section, const char* key, int key_len, int value, bool save);
    // Template plus the created-only keys; `save` writes the file after each step.
    BOOL CreateFromTemplate(bool save);
    void CompleteLoaded();
    void UpdateCache(const char* section, const char* key, int key_len, int value);
    void RefreshCache();
    BOOL SaveLocked();

    std::atomic<int> m_voice_g_snapshot;
    std::atomic<int> m_voice_a_snapshot;
    std::atomic<int> m_voice_m_snapshot;
    std::atomic<int> m_voice_gpsworking;
    std::atomic<int> m_audiorecord;
    std::atomic<int> m_connectauth;
    std::atomic<int> m_language;
    std::atomic<int> m_speed_unit;
    std::atomic<int> m_snapshot_associate_video;
    std::atomic<int> m_gesturecapture;
    std::atomic<int> m_gesture_trigger_level;
    std::atomic<int> m_ResMode;
    std::atomic<int> m_ParkingEnable;
    std::atomic<int> m_ParkingTimeTh;
    std::atomic<int> m_voice_parking;
    CMutex m_IniMutex;              // recursive; guards the tree and the file
    INI_CONFIG* m_lpConfig;         // null while nothing is loaded
};

#endif
