#ifndef AVCAPTURE_CAPTURELINKS_H
#define AVCAPTURE_CAPTURELINKS_H

// What the camera object asks of the overlay, prompt, alarm, factory and
// settings managers. The defaults are those managers; tests plug in their own.

#include "Alarm/AlarmTypes.h"
#include "Function/types.h"

class CCaptureLinks {
public:
    virtual ~CCaptureLinks() = default;

    // The current links (the defaults until one is set).
    static CCaptureLinks* instance();
    // Null goes back to the defaults. Not owned.
    static void SetLinks(CCaptureLinks* lpLinks);

    // Overlay layout for encoder channel `chn`, or for every channel.
    virtual BOOL LayoutOSD(int chn);
    virtual BOOL LayoutOSD();
    virtual void PlayAudio(int index);
    // `add` and `remove` are emLinkageType bits (0: none).
    virtual BOOL LinkageConfig(emAlarmType alarm, int add, int remove);
    virtual BOOL GetFactoryTesting();
    virtual BOOL GetFactoryTestOK();
    // The settings store.
    virtual int GetInt(const char* section, const char* key, int default_int);
    virtual int GetParkingVoiceCfg();
    virtual int GetSnapshotAssociateVideoCfg();
};

#endif
