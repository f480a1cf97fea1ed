#include "Alarm/AlarmLinkage.h"

#include <cstdio>
#include <cstring>

BOOL CAlarmLinkage::LoadConfig(unsigned)
{
    return TRUE;
}

BOOL CAlarmLinkage::SetPlaySoundCfg(unsigned, const char*)
{
    return TRUE;
}

BOOL CAlarmLinkage::SetRecordCfg(BOOL, unsigned, unsigned, unsigned)
{
    return TRUE;
}

BOOL CAlarmLinkage::SetSnapshotCfg(BOOL, int)
{
    return TRUE;
}

BOOL CAlarmLinkage::SetLedSparkCfg(unsigned, unsigned, int)
{
    return TRUE;
}

CAlarmLinkagePlaySound::CAlarmLinkagePlaySound()
{
    memset(m_SoundFile, 0, sizeof(m_SoundFile));
    strcpy(m_SoundFile[0], "system_error.wav");
    strcpy(m_SoundFile[1], "ir_sensor.wav");
}

BOOL CAlarmLinkagePlaySound::SetPlaySoundCfg(unsigned alarm, const char* file)
{
    const int i = XAlarmTypeIndex(alarm);
    if (i < 0 || file == nullptr) {
        return FALSE;
    }
    snprintf(m_SoundFile[i], sizeof(m_SoundFile[i]), "%s", file);
    return TRUE;
}

BOOL CAlarmLinkagePlaySound::ProcessAlarm(unsigned alarm, unsigned, unsigned long)
{
    if (XAlarmTypeIndex(alarm) < 0) {
        return FALSE;
    }
    printf("PLAY AUDIO ALARM=0x%x\n", alarm);
    return TRUE;
}

CAlarmLinkageRecord::CAlarmLinkageRecord()
    : m_lpTarget(nullptr), m_PreRecord(TRUE), m_PreRecordTime(3000), m_PackTime(10000), m_RecordChannel(0)
{
}

BOOL CAlarmLinkageRecord::SetRecordCfg(BOOL bPreRecord, unsigned preRecordTime, unsigned packTime, unsigned channel)
{
    m_PreRecord = bPreRecord;
    m_PreRecordTime = preRecordTime;
    m_PackTime = packTime;
    m_RecordChannel = channel;
    return TRUE;
}

BOOL CAlarmLinkageRecord::ProcessAlarm(unsigned alarm, unsigned, unsigned long lpa)
{
    printf("PROCESS RECORD(ALARM=0x%x)\n", alarm);
    CAlarmRecordTarget* target = m_lpTarget.load();
    return target != nullptr && target->StartAlarmRecord(alarm, lpa);
}

CAlarmLinkageSnapshot::CAlarmLinkageSnapshot()
    : m_lpTarget(nullptr), m_LockSnapshotFile(TRUE), m_SnapshotChannel(2)
{
}

BOOL CAlarmLinkageSnapshot::SetSnapshotCfg(BOOL bLockSnapshot, int channel)
{
    m_LockSnapshotFile = bLockSnapshot;
    m_SnapshotChannel = channel;
    return TRUE;
}

BOOL CAlarmLinkageSnapshot::ProcessAlarm(unsigned, unsigned wpa, unsigned long lpa)
{
    CAlarmSnapshotTarget* target = m_lpTarget.load();
    return target != nullptr && target->Snapshot(m_SnapshotChannel, static_cast<int>(wpa), lpa);
}

CAlarmLinkageLedSpark::CAlarmLinkageLedSpark() : m_Interval(100), m_Duration(5000), m_SparkLed(0), m_OnOff(0)
{
}

BOOL CAlarmLinkageLedSpark::SetLedSparkCfg(unsigned interval, unsigned duration, int led)
{
    m_Interval = interval;
    m_Duration = duration;
    m_SparkLed = led;
    return TRUE;
}

BOOL CAlarmLinkageLedSpark::ProcessAlarm(unsigned alarm, unsigned, unsigned long)
{
    printf("PROCESS LED SPARK(ALARM=0x%x)\n", alarm);
    return TRUE;
}
