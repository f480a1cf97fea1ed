#ifndef ALARM_ALARMCONFIGMANAGER_H
#define ALARM_ALARMCONFIGMANAGER_H

#include "Alarm/AlarmConfig.h"
#include "Alarm/AlarmTargets.h"
#include "Alarm/AlarmTypes.h"
#include "Function/types.h"
#include "MultiTask/Mutex.h"
#include "MultiTask/Singleton.h"

// The nine alarm kinds' configurations, entry i for the kind 1 << i.
// m_Mutex keeps a mask from being read half-changed; the linkages run
// after it is left, on a copy of the mask, so that a slow recording start
// never holds up LinkageConfig.
class CAlarmConfigManager : public CSingleton<CAlarmConfigManager> {
public:

    CAlarmConfigManager();
    ~CAlarmConfigManager();
    CAlarmConfigManager(const CAlarmConfigManager&) = delete;
    CAlarmConfigManager& operator=(const CAlarmConfigManager&) = delete;

    // The linkages' targets (not owned), before Init.
    void Bind(const AlarmTargets& targets);

    // Loads every configuration's mask from the settings; TRUE.
    BOOL Init();
    // Runs the linkages of the configuration of the alarm's lowest kind bit,
    // with the full alarm value; FALSE when there is none.
    BOOL ProcessLinkage(unsigned alarm, unsigned wpa, unsigned long lpa);
    // The configuration of the alarm's lowest kind bit, or null.
    CAlarmConfig* GetAlarmConfig(unsigned alarm);
    // Sets the bits of `add`, then clears those of `remove`; FALSE when the
    // alarm has no configuration.
    BOOL LinkageConfig(emAlarmType alarm, emLinkageType add, emLinkageType remove);

private:
    CAlarmConfig* m_AlarmConfig[emAlarmType_MAX];
    CMutex m_Mutex;
};

#endif
