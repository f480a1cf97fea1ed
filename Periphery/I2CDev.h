#ifndef PERIPHERY_I2CDEV_H
#define PERIPHERY_I2CDEV_H

// A register device on one of the SoC's I2C buses, polled by the sensor
// thread. Each register sequence (a poll, a calibration, a level setting)
// runs under the device's own lock, so accessors on other threads never
// interleave with the polling thread.

#include <atomic>
#include <cstdint>
#include <mutex>

#include "Function/types.h"
#include "Periphery/I2CDevPorts.h"

enum {
    emSenstivity_Low = 0,
    emSenstivity_Medium = 1,
    emSenstivity_Height = 2,
};

class CI2CDev {
public:
    CI2CDev(int bus, unsigned char devAddr, unsigned regWidth, unsigned dataWidth, const I2CDevRoles& roles);
    virtual ~CI2CDev();

    CI2CDev(const CI2CDev&) = delete;
    CI2CDev& operator=(const CI2CDev&) = delete;

    virtual BOOL DoDevAlarmScan() = 0;
    virtual BOOL Init() = 0;
    virtual BOOL Shutdown() = 0;
    virtual BOOL DevCorrect();
    virtual void SetSensitivity(int sensitivity);
    virtual void TESTGetIRSensorParam(unsigned& init, unsigned& trigger, unsigned& cur, unsigned& max,
                                      unsigned& min);
    virtual BOOL TESTSetIRSensorParam(unsigned init, unsigned trigger);
    virtual void TESTGetGSensorParam(float& trigger);
    virtual void TESTSetGSensorParam(float trigger);

    BOOL Open();
    BOOL Close();
    BOOL Write(unsigned reg, unsigned data);
    BOOL Read(unsigned reg, unsigned& data);

    BOOL IsActive() const { return m_DevActive.load(); }

protected:
    // An alarm task for the alarm thread; 0 without a queue.
    BOOL PostAlarm(TASK* task);
    // A funcset value, the default without settings.
    int Setting(const char* key, int default_int);

    unsigned char m_DevAddr;
    unsigned m_RegWidth;
    unsigned m_DataWidth;
    int m_FD;
    int m_Sensitivity;
    BOOL m_ContinueAlarm;
    std::atomic<BOOL> m_DevActive;
    unsigned m_LastCheckTime;
    unsigned m_CheckCount;
    unsigned m_I2CNum;

    CI2CDevPorts* m_lpPorts;       // not owned, as the roles
    I2CDevRoles m_Roles;
    std::recursive_mutex m_Lock;   // one register sequence at a time
};

#endif
