#ifndef INICONFIG_SETTINGS_H
#define INICONFIG_SETTINGS_H

#include "Function/types.h"

// The settings store /root/system.ini as the managers with injected links
// read and keep it: plain keys, the cached switches they use, and the
// supervision loop's reopen, save and reset.
class CSettings {
public:
    virtual ~CSettings() = default;

    virtual int GetInt(const char* section, const char* key, int default_int) = 0;
    virtual int GetGpsVoiceCfg() = 0;
    virtual int GetParkingVoiceCfg() = 0;
    virtual int GetSnapshotAssociateVideoCfg() = 0;
    virtual int GetGestureCaptureCfg() = 0;
    virtual int GetGestureTriggerLevel() = 0;
    // The whole file for the web command: its length, below 0 when it does not fit.
    virtual int GetIniConfig(char* buf, int len) = 0;
    virtual BOOL OpenFuncSetting() = 0;
    virtual BOOL SaveFuncSetting() = 0;
    virtual BOOL ResetIniConfig() = 0;
};

#endif
