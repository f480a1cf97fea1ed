#ifndef ALARM_ALARMTYPES_H
#define ALARM_ALARMTYPES_H

#include <cstdint>

#include "MultiTask/Task.h"

// Alarm kinds, one bit each.
enum emAlarmType {
    emAlarmType_SysErr = 1,
    emAlarmType_Gesture = 2,
    emAlarmType_GPSLostSatellites = 4,
    emAlarmType_GPSConnSatellites = 8,
    emAlarmType_Accelerate = 16,
    emAlarmType_Manual = 32,
    emAlarmType_HW_VoiceWakeUp = 64,
    emAlarmType_SW_VoiceWakeUp = 128,
    emAlarmType_TrafficReport = 256,
    emAlarmType_MAX = 9,       // number of kinds
    emAlarmType_Mask = 4095,   // the bits an alarm value may use
};

// What an alarm sets off, one bit each.
enum emLinkageType {
    emLinkageType_Invalid = 0,
    emLinkageType_PlaySound = 1,
    emLinkageType_Record = 2,
    emLinkageType_Snapshot = 4,
    emLinkageType_LedSpark = 8,
    emLinkageType_MAX = 4,     // number of kinds
    emLinkageType_Mask = 15,
};

// Index 0-8 of the alarm's lowest bit among the nine kinds; -1 when none.
inline int XAlarmTypeIndex(unsigned alarm)
{
    for (int i = 0; i < emAlarmType_MAX; ++i) {
        if (alarm & (1u << i)) {
            return i;
        }
    }
    return -1;
}

// An alarm task as producers post it: TASKTYPE_ALARM, everything else
// zeroed. `time` is SystemGetMSCount() at detection, `lpa` the trigger
// letter ('A', 'G', 'M', ...). Post it with TASK_PRIORITY_HIGHTEST.
TASK XMakeAlarmTask(unsigned type, unsigned time, unsigned wpa, uint32_t lpa);

// An alarm is processed only while at most this many ms old.
constexpr uint32_t kAlarmMaxAgeMs = 999;

// TRUE when an alarm detected at `detected` is too old at `now`: the
// difference is taken on the wrapping 32-bit millisecond counter.
inline bool XAlarmIsStale(uint32_t now, uint32_t detected)
{
    return static_cast<uint32_t>(now - detected) > kAlarmMaxAgeMs;
}

#endif
