#ifndef PERIPHERY_I2CDEVPORTS_H
#define PERIPHERY_I2CDEVPORTS_H

// What the motion sensors reach outside themselves of their own: the
// clocks, the parking snapshot, the capture's parking mode and the
// recording state.

#include <cstdint>

#include "Alarm/AlarmTasks.h"
#include "Function/types.h"
#include "IniConfig/Settings.h"

class CI2CDevPorts {
public:
    virtual ~CI2CDevPorts() = default;

    // SystemGetMSCount(): wrapping 32-bit milliseconds.
    virtual uint32_t MSCount() = 0;
    // Monotonic seconds, unmoved by any setting of the wall clock.
    virtual uint32_t MonoSeconds() = 0;
    virtual void SleepUs(unsigned us) = 0;

    // The parking snapshot: channel 2, image letter 'P', no recording.
    virtual BOOL SendParkingSnapshot() = 0;

    // The capture's parking settings and the snapshot channel's frame rate.
    virtual BOOL ParkingMonitorEnabled() = 0;
    virtual unsigned ParkingTimeThreshold() = 0;  // minutes
    virtual unsigned SnapshotChannelFps() = 0;
    virtual BOOL ParkingMonitoringEnable(int enable) = 0;

    virtual BOOL GetIsCanbeRecord() = 0;
    virtual int GetIsPauseRecord() = 0;
};

// Everything the sensors need, bound before Init (the manager starts no
// sensor without ports). Without an alarm queue alarms are dropped; without
// settings the store's defaults hold.
typedef struct tagI2CDevRoles {
    CI2CDevPorts* ports;
    CAlarmTasks* alarms;
    CSettings* settings;  // gensor_level, gesture_capture, gesture_trigger_level
} I2CDevRoles;

#endif
