#include "Periphery/I2CDevManager.h"

#include <cstdio>

#include "Function/XLog.h"
#include "Periphery/GSensor.h"
#include "Periphery/IRSensor.h"


CI2CDevManager::CI2CDevManager()
    : CThread(FALSE, 0, 0), m_IRSensor(nullptr), m_GSensor(nullptr), m_bDoDevCorrect(TRUE)
{
}

CI2CDevManager::~CI2CDevManager()
{
    DestroyThread(TRUE);
    delete m_IRSensor;
    delete m_GSensor;
}

BOOL CI2CDevManager::Init()
{
    std::lock_guard<std::mutex> lock(m_SensorLock);
    if (m_Roles.ports == nullptr) {
        return FALSE;
    }
    BOOL irOk = TRUE;
    BOOL gOk = TRUE;
    if (m_IRSensor == nullptr) {
        m_IRSensor = new CIRSensor(m_Roles);
        irOk = m_IRSensor->Init();
        if (!irOk) {
            XERROR("INIT IR SENSOR FAILED.\n");
        }
    }
    if (m_GSensor == nullptr) {
        m_GSensor = new CGSensor(m_Roles);
        gOk = m_GSensor->Init();
        if (!gOk) {
            XERROR("INIT G SENSOR FAILED.\n");
        }
    }
    if (!irOk && !gOk) {
        return FALSE;
    }
    return CreateThread(0);
}

BOOL CI2CDevManager::CleanUp()
{
    DestroyThread(TRUE);
    std::lock_guard<std::mutex> lock(m_SensorLock);
    if (m_IRSensor != nullptr) {
        m_IRSensor->Shutdown();
        delete m_IRSensor;
        m_IRSensor = nullptr;
    }
    if (m_GSensor != nullptr) {
        m_GSensor->Shutdown();
        delete m_GSensor;
        m_GSensor = nullptr;
    }
    return TRUE;
}

BOOL CI2CDevManager::IRSensorActive()
{
    std::lock_guard<std::mutex> lock(m_SensorLock);
    return m_IRSensor != nullptr && m_IRSensor->IsActive();
}

BOOL CI2CDevManager::GSensorActive()
{
    std::lock_guard<std::mutex> lock(m_SensorLock);
    return m_GSensor != nullptr && m_GSensor->IsActive();
}

void CI2CDevManager::TESTGetIRSensorParam(unsigned& init, unsigned& trigger, unsigned& cur, unsigned& max,
                                          unsigned& min)
{
    std::lock_guard<std::mutex> lock(m_SensorLock);
    init = trigger = cur = max = min = 0;
    if (m_IRSensor != nullptr) {
        m_IRSensor->TESTGetIRSensorParam(init, trigger, cur, max, min);
    }
}

int CI2CDevManager::TESTSetIRSensorParam(unsigned init, unsigned trigger)
{
    std::lock_guard<std::mutex> lock(m_SensorLock);
    if (m_IRSensor == nullptr) {
        return -1;
    }
    return m_IRSensor->TESTSetIRSensorParam(init, trigger) ? 0 : -1;
}

int CI2CDevManager::TESTCorrectIRSensor()
{
    std::lock_guard<std::mutex> lock(m_SensorLock);
    if (m_IRSensor == nullptr || !m_IRSensor->IsActive()) {
        return -1;
    }
    m_bDoDevCorrect = TRUE;
    return 0;
}

void CI2CDevManager::TESTGetGSensorParam(float& trigger)
{
    std::lock_guard<std::mutex> lock(m_SensorLock);
    trigger = 0.0f;
    if (m_GSensor != nullptr) {
        m_GSensor->TESTGetGSensorParam(trigger);
    }
}

int CI2CDevManager::TESTSetGSensorParam(float trigger)
{
    std::lock_guard<std::mutex> lock(m_SensorLock);
    if (m_GSensor == nullptr) {
        return -1;
    }
    m_GSensor->TESTSetGSensorParam(trigger);
    return 0;
}

void CI2CDevManager::RunCycle()
{
    // A request made during the calibration stays for the next turn.
    if (m_bDoDevCorrect.exchange(FALSE)) {
        printf("DO DEV CORRECT...\n");
        m_IRSensor->DevCorrect();
        m_GSensor->DevCorrect();
        m_Roles.ports->SleepUs(10000);
    }
    m_IRSensor->DoDevAlarmScan();
    m_Roles.ports->SleepUs(10000);
    m_GSensor->DoDevAlarmScan();
    m_Roles.ports->SleepUs(10000);
}

void CI2CDevManager::ThreadProc()
{
    while (m_bLoop) {
        RunCycle();
    }
    fprintf(stderr, "CI2CDevManager Thread Quiting...\n");
}
