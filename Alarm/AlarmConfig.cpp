#include "Alarm/AlarmConfig.h"

#include "IniConfig/IniConfig.h"

CAlarmConfig::CAlarmConfig(unsigned alarm)
    : m_Alarm(alarm),
      m_Linkage(emLinkageType_Mask),
      m_lpLinkagePlaySound(new CAlarmLinkagePlaySound()),
      m_lpLinkageRecord(new CAlarmLinkageRecord()),
      m_lpLinkageSnapshot(new CAlarmLinkageSnapshot()),
      m_lpLinkageLedSpark(new CAlarmLinkageLedSpark())
{
}

CAlarmConfig::~CAlarmConfig()
{
    delete m_lpLinkagePlaySound;
    delete m_lpLinkageRecord;
    delete m_lpLinkageSnapshot;
    delete m_lpLinkageLedSpark;
}

void CAlarmConfig::Bind(const AlarmTargets& targets)
{
    m_lpLinkageRecord->Bind(targets.record);
    m_lpLinkageSnapshot->Bind(targets.snapshot);
}

BOOL CAlarmConfig::LoadConfig()
{
    unsigned linkage = 0;
    switch (m_Alarm) {
    case emAlarmType_Gesture:
    case emAlarmType_SW_VoiceWakeUp:
        linkage = emLinkageType_Snapshot;
        if (CIniConfig::instance()->GetInt("funcset", "snapshot_associate_video", 0) != 0) {
            linkage |= emLinkageType_Record;
        }
        break;
    case emAlarmType_GPSLostSatellites:
    case emAlarmType_GPSConnSatellites:
        linkage = emLinkageType_PlaySound;
        break;
    case emAlarmType_Accelerate:
    case emAlarmType_TrafficReport:
        linkage = emLinkageType_Record | emLinkageType_Snapshot;
        break;
    default:  // SysErr, Manual, HW_VoiceWakeUp (its alarms bring their own)
        break;
    }
    m_Linkage = linkage;
    CAlarmLinkage* const linkages[] = {m_lpLinkagePlaySound, m_lpLinkageRecord, m_lpLinkageSnapshot,
                                       m_lpLinkageLedSpark};
    for (CAlarmLinkage* l : linkages) {
        if (!l->LoadConfig(m_Alarm)) {
            return FALSE;
        }
    }
    return TRUE;
}

void CAlarmConfig::EnalbeLinkage(unsigned linkage)
{
    m_Linkage |= linkage;
}

void CAlarmConfig::DisableLinkage(unsigned linkage)
{
    m_Linkage &= ~linkage;
}

BOOL CAlarmConfig::PrepareAlarmLinkage(unsigned alarm, unsigned wpa, unsigned long)
{
    if (alarm == emAlarmType_HW_VoiceWakeUp) {
        m_Linkage = wpa;
    }
    return TRUE;
}

BOOL CAlarmConfig::ProcessAlarmLinkage(unsigned alarm, unsigned wpa, unsigned long lpa)
{
    PrepareAlarmLinkage(alarm, wpa, lpa);
    return RunAlarmLinkage(m_Linkage, alarm, wpa, lpa);
}

BOOL CAlarmConfig::RunAlarmLinkage(unsigned linkage, unsigned alarm, unsigned wpa, unsigned long lpa)
{
    if (linkage & emLinkageType_PlaySound) {
        m_lpLinkagePlaySound->ProcessAlarm(alarm, wpa, lpa);
    }
    if (linkage & emLinkageType_Record) {
        m_lpLinkageRecord->ProcessAlarm(alarm, wpa, lpa);
    }
    if (linkage & emLinkageType_Snapshot) {
        m_lpLinkageSnapshot->ProcessAlarm(alarm, linkage & emLinkageType_Record, lpa);
    }
    if (linkage & emLinkageType_LedSpark) {
        m_lpLinkageLedSpark->ProcessAlarm(alarm, wpa, lpa);
    }
    return TRUE;
}
