#ifndef ALARM_ALARMLINKAGE_H
#define ALARM_ALARMLINKAGE_H

#include <atomic>

#include "Alarm/AlarmTargets.h"
#include "Alarm/AlarmTypes.h"
#include "Function/types.h"

// One kind of action an alarm can set off. The base's LoadConfig and
// setters do nothing and return TRUE; each kind overrides its own setter.
class CAlarmLinkage {
public:
    virtual ~CAlarmLinkage() = default;

    virtual BOOL LoadConfig(unsigned alarm);
    virtual BOOL SetPlaySoundCfg(unsigned alarm, const char* file);
    virtual BOOL SetRecordCfg(BOOL bPreRecord, unsigned preRecordTime, unsigned packTime, unsigned channel);
    virtual BOOL SetSnapshotCfg(BOOL bLockSnapshot, int channel);
    virtual BOOL SetLedSparkCfg(unsigned interval, unsigned duration, int led);
    // `alarm` the full alarm value, `lpa` the trigger letter.
    virtual BOOL ProcessAlarm(unsigned alarm, unsigned wpa, unsigned long lpa) = 0;
};

// Prints the alarm; plays nothing.
class CAlarmLinkagePlaySound : public CAlarmLinkage {
public:
    enum { kFileNameSize = 64 };

    CAlarmLinkagePlaySound();
    // Into the slot of the alarm's lowest kind bit, cut to 63 characters;
    // FALSE when the alarm has no kind bit or `file` is null.
    BOOL SetPlaySoundCfg(unsigned alarm, const char* file) override;
    BOOL ProcessAlarm(unsigned alarm, unsigned wpa, unsigned long lpa) override;
    // The slot of kind index 0-8 (tests).
    const char* GetSoundFile(int index) const { return m_SoundFile[index]; }

private:
    char m_SoundFile[emAlarmType_MAX][kFileNameSize];
};

// Starts or extends an alarm recording.
class CAlarmLinkageRecord : public CAlarmLinkage {
public:
    CAlarmLinkageRecord();
    void Bind(CAlarmRecordTarget* lpTarget) { m_lpTarget = lpTarget; }
    BOOL SetRecordCfg(BOOL bPreRecord, unsigned preRecordTime, unsigned packTime, unsigned channel) override;
    BOOL ProcessAlarm(unsigned alarm, unsigned wpa, unsigned long lpa) override;

private:
    std::atomic<CAlarmRecordTarget*> m_lpTarget;
    BOOL m_PreRecord;
    unsigned m_PreRecordTime;  // ms
    unsigned m_PackTime;       // ms
    unsigned m_RecordChannel;
};

// Asks for an event image; `wpa` is the notify flag.
class CAlarmLinkageSnapshot : public CAlarmLinkage {
public:
    CAlarmLinkageSnapshot();
    void Bind(CAlarmSnapshotTarget* lpTarget) { m_lpTarget = lpTarget; }
    BOOL SetSnapshotCfg(BOOL bLockSnapshot, int channel) override;
    BOOL ProcessAlarm(unsigned alarm, unsigned wpa, unsigned long lpa) override;

private:
    std::atomic<CAlarmSnapshotTarget*> m_lpTarget;
    std::atomic<BOOL> m_LockSnapshotFile;
    std::atomic<int> m_SnapshotChannel;
};

// Prints the alarm; flashes nothing.
class CAlarmLinkageLedSpark : public CAlarmLinkage {
public:
    CAlarmLinkageLedSpark();
    BOOL SetLedSparkCfg(unsigned interval, unsigned duration, int led) override;
    BOOL ProcessAlarm(unsigned alarm, unsigned wpa, unsigned long lpa) override;

private:
    unsigned m_Interval;  // ms
    unsigned m_Duration;  // ms
    int m_SparkLed;
    int m_OnOff;
};

#endif
