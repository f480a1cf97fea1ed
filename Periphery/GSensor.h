#ifndef PERIPHERY_GSENSOR_H
#define PERIPHERY_GSENSOR_H

#include <atomic>

#include "Periphery/I2CDev.h"

// The mCube accelerometer on bus 2 (0x98), MC3213 or MC3232 by product id:
// a jolt raises an acceleration alarm, and stillness switches parking mode.
class CGSensor : public CI2CDev {
public:
    enum {
        emUnknown = 0,
        emFront = 1,
        emBack = 2,
        emUp = 3,
        emDown = 4,
        emLeft = 5,
        emRight = 6,
    };
    static const char* const curOrienStr[7];

    explicit CGSensor(const I2CDevRoles& roles);
    ~CGSensor() override;

    BOOL DoDevAlarmScan() override;
    BOOL Init() override;
    BOOL Shutdown() override;
    void SetSensitivity(int sensitivity) override;
    void TESTGetGSensorParam(float& trigger) override;
    void TESTSetGSensorParam(float trigger) override;

    BOOL MC3213_Init();
    BOOL MC3232_Init();
    BOOL MC3213_DevAlarmScan();
    BOOL MC3232_DevAlarmScan();
    // One parking step over the signed axis values (before scaling).
    BOOL CheckParking(int x, int y, int z);

    BOOL IsArmed() const { return m_NextValid; }
    BOOL IsParked() const { return m_bParkingFlag; }
    unsigned ProductId() const { return m_ProductId; }

private:
    // Low-pass gravity and the acceleration left over, per axis.
    struct tagFilter {
        float gravity[3];
        float linear[3];
        float alpha;
    };
    BOOL Scan(tagFilter& filter, const int axis[3], unsigned tilt, double scale);

    int m_zOrien;
    int m_xyOrien;
    std::atomic<float> m_TriggerThreshold;
    BOOL m_NextValid;
    unsigned m_ProductId;

    tagFilter m_MC3213Filter;
    tagFilter m_MC3232Filter;
    BOOL m_bFirstCheck;
    uint32_t m_ParkTime;  // monotonic seconds of the last movement
    int m_LastSum;
    BOOL m_bParkingFlag;
};

#endif
