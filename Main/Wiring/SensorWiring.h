#ifndef MAIN_WIRING_SENSORWIRING_H
#define MAIN_WIRING_SENSORWIRING_H

#include "Periphery/I2CDevPorts.h"

// The motion sensors' clocks are the system's, the parking snapshot goes to
// the snapshot manager, the parking mode is the camera object's and the
// recording state the engine's.
class CCameraI2CDevPorts : public CI2CDevPorts {
public:
    uint32_t MSCount() override;
    uint32_t MonoSeconds() override;
    void SleepUs(unsigned us) override;
    BOOL SendParkingSnapshot() override;
    BOOL ParkingMonitorEnabled() override;
    unsigned ParkingTimeThreshold() override;
    unsigned SnapshotChannelFps() override;
    BOOL ParkingMonitoringEnable(int enable) override;
    BOOL GetIsCanbeRecord() override;
    int GetIsPauseRecord() override;
};

#endif
