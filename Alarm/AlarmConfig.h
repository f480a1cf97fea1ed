#ifndef ALARM_ALARMCONFIG_H
#define ALARM_ALARMCONFIG_H

#include <atomic>

#include "Alarm/AlarmLinkage.h"
#include "Alarm/AlarmTargets.h"
#include "Function/types.h"

// One alarm kind: its linkage mask and the four linkage objects it owns.
class CAlarmConfig {
public:
    explicit CAlarmConfig(unsigned alarm);
    ~CAlarmConfig();
    CAlarmConfig(const CAlarmConfig&) = delete;
    CAlarmConfig& operator=(const CAlarmConfig&) = delete;

    // The Record and Snapshot linkages' targets.
    void Bind(const AlarmTargets& targets);

    // The mask this kind starts with (snapshot_associate_video adds Record
    // to Gesture and SW_VoiceWakeUp), then each linkage's own LoadConfig.
    BOOL LoadConfig();
    void EnalbeLinkage(unsigned linkage);
    void DisableLinkage(unsigned linkage);
    // Prepare, then the linkages of the mask.
    BOOL ProcessAlarmLinkage(unsigned alarm, unsigned wpa, unsigned long lpa);
    // An HW voice wake-up alarm brings its own mask in `wpa`; it stays.
    BOOL PrepareAlarmLinkage(unsigned alarm, unsigned wpa, unsigned long lpa);
    // The linkages of `linkage` in the order PlaySound, Record, Snapshot
    // (told whether Record is set), LedSpark. TRUE.
    BOOL RunAlarmLinkage(unsigned linkage, unsigned alarm, unsigned wpa, unsigned long lpa);

    unsigned GetAlarm() const { return m_Alarm; }
    unsigned GetLinkage() const { return m_Linkage.load(); }
    CAlarmLinkage* GetLinkagePlaySound() const { return m_lpLinkagePlaySound; }

private:
    const unsigned m_Alarm;
    std::atomic<unsigned> m_Linkage;
    CAlarmLinkage* m_lpLinkagePlaySound;
    CAlarmLinkageRecord* m_lpLinkageRecord;
    CAlarmLinkageSnapshot* m_lpLinkageSnapshot;
    CAlarmLinkage* m_lpLinkageLedSpark;
};

#endif
