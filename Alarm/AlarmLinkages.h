#ifndef ALARM_ALARMLINKAGES_H
#define ALARM_ALARMLINKAGES_H

#include "Alarm/AlarmTypes.h"
#include "Function/types.h"

// The alarm kinds' linkage table as the parking switch and the app change it.
class CAlarmLinkages {
public:
    virtual ~CAlarmLinkages() = default;

    // Sets the emLinkageType bits of `add`, then clears those of `remove`
    // (0: none); 0 when the alarm has no configuration.
    virtual BOOL LinkageConfig(emAlarmType alarm, unsigned add, unsigned remove) = 0;
};

#endif
