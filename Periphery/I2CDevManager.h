#ifndef PERIPHERY_I2CDEVMANAGER_H
#define PERIPHERY_I2CDEVMANAGER_H

// The sensor thread: calibrates the proximity sensor when asked, then polls
// it and the accelerometer in turn, 10 ms apart. The accessors serve the app
// channel, the web bridges and the factory test from their own threads; they
// answer zeros and -1 while the sensors do not exist.

#include <atomic>
#include <mutex>

#include "Function/types.h"
#include "MultiTask/Singleton.h"
#include "MultiTask/Thread.h"
#include "Periphery/I2CDev.h"
#include "Periphery/I2CDevPorts.h"

class CI2CDevManager : public CThread, public CSingleton<CI2CDevManager> {
public:

    CI2CDevManager();
    ~CI2CDevManager() override;

    // What the sensors reach (not owned), before Init.
    void Bind(const I2CDevRoles& roles) { m_Roles = roles; }
    // Creates and starts both sensors, then the thread; 0 (no thread) only
    // when neither sensor answered, or without ports.
    BOOL Init();
    // Stops the thread, puts both sensors in standby and deletes them; safe
    // without Init.
    BOOL CleanUp();

    BOOL IRSensorActive();
    BOOL GSensorActive();
    void TESTGetIRSensorParam(unsigned& init, unsigned& trigger, unsigned& cur, unsigned& max, unsigned& min);
    int TESTSetIRSensorParam(unsigned init, unsigned trigger);
    int TESTCorrectIRSensor();
    void TESTGetGSensorParam(float& trigger);
    int TESTSetGSensorParam(float trigger);

    // One turn of the thread's loop.
    void RunCycle();
    void ThreadProc() override;

    // Tests: the sensors (null before Init).
    CI2CDev* IRSensor() { return m_IRSensor; }
    CI2CDev* GSensor() { return m_GSensor; }

private:
    I2CDevRoles m_Roles{};
    CI2CDev* m_IRSensor;
    CI2CDev* m_GSensor;
    std::atomic<BOOL> m_bDoDevCorrect;
    std::mutex m_SensorLock;  // the accessors against Init and CleanUp
};

#endif
