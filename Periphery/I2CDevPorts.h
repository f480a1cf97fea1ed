#ifndef PERIPHERY_I2CDEVPORTS_H
#define PERIPHERY_I2CDEVPORTS_H

// What the motion sensors reach outside themselves: the clocks, the alarm
// and snapshot threads, the capture's parking mode, the recording state and
// the settings. The process uses CI2CDevSystemPorts over the singletons;
// tests bring their own clock and capture.

#include <cstdint>

#include "Function/types.h"
#include "MultiTask/Task.h"

class CI2CDevPorts {
public:
    virtual ~CI2CDevPorts() = default;

    // SystemGetMSCount(): wrapping 32-bit milliseconds.
    virtual uint32_t MSCount() = 0;
    // Monotonic seconds, unmoved by any setting of the wall clock.
    virtual uint32_t MonoSeconds() = 0;
    virtual void SleepUs(unsigned us) = 0;

    virtual BOOL PutAlarmTask(TASK* task) = 0;
    // The parking snapshot: channel 2, image letter 'P', no recording.
    virtual BOOL SendParkingSnapshot() = 0;

    // The capture's parking settings and the snapshot channel's frame rate.
    virtual BOOL ParkingMonitorEnabled() = 0;
    virtual unsigned ParkingTimeThreshold() = 0;  // minutes
    virtual unsigned SnapshotChannelFps() = 0;
    virtual BOOL ParkingMonitoringEnable(int enable) = 0;

    virtual BOOL GetIsCanbeRecord() = 0;
    virtual int GetIsPauseRecord() = 0;

    virtual int GetGSensorLevel() = 0;       // funcset/gensor_level, 0 if missing
    virtual int GetGestureCaptureCfg() = 0;
    virtual int GetGestureTriggerLevel() = 0;
};

// The system's clocks, alarm and snapshot managers, capture, recording
// engine and settings.
class CI2CDevSystemPorts : public CI2CDevPorts {
public:
    uint32_t MSCount() override;
    uint32_t MonoSeconds() override;
    void SleepUs(unsigned us) override;
    BOOL PutAlarmTask(TASK* task) override;
    BOOL SendParkingSnapshot() override;
    BOOL ParkingMonitorEnabled() override;
    unsigned ParkingTimeThreshold() override;
    unsigned SnapshotChannelFps() override;
    BOOL ParkingMonitoringEnable(int enable) override;
    BOOL GetIsCanbeRecord() override;
    int GetIsPauseRecord() override;
    int GetGSensorLevel() override;
    int GetGestureCaptureCfg() override;
    int GetGestureTriggerLevel() override;
};

#endif
