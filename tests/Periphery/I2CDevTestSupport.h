#ifndef TESTS_PERIPHERY_I2CDEVTESTSUPPORT_H
#define TESTS_PERIPHERY_I2CDEVTESTSUPPORT_H

#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "Periphery/I2CDevPorts.h"
#include "Platform/host/devices/I2cModel.h"
#include "Platform/host/devices/I2cSensorModels.h"
#include "support/FakeRoles.h"

// Ports with a hand-driven clock that record what the sensors send out.
// Sleeps are recorded; with `realSleep` they also pass (a tenth of them).
class CFakeI2CDevPorts : public CI2CDevPorts, public CAlarmTasks, public CTestSettings {
public:
    std::atomic<uint32_t> ms{100000};
    std::atomic<uint32_t> sec{1000};
    std::atomic<bool> realSleep{false};
    std::atomic<BOOL> parkingEnabled{FALSE};
    std::atomic<unsigned> parkingMinutes{10};
    std::atomic<unsigned> fps{30};
    std::atomic<BOOL> canRecord{TRUE};
    std::atomic<int> paused{0};
    std::atomic<int> gsensorLevel{12};
    std::atomic<int> gestureCapture{1};
    std::atomic<int> gestureLevel{1};

    uint32_t MSCount() override { return ms; }
    uint32_t MonoSeconds() override { return sec; }
    void SleepUs(unsigned us) override
    {
        Event("sleep " + std::to_string(us));
        if (realSleep) {
            usleep(us / 10);
        }
    }
    BOOL PutAlarmTask(TASK* task) override
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Tasks.push_back(*task);
        return TRUE;
    }
    BOOL SendParkingSnapshot() override
    {
        Event("snapshot");
        return TRUE;
    }
    BOOL ParkingMonitorEnabled() override { return parkingEnabled; }
    unsigned ParkingTimeThreshold() override { return parkingMinutes; }
    unsigned SnapshotChannelFps() override { return fps; }
    BOOL ParkingMonitoringEnable(int enable) override
    {
        Event("parking " + std::to_string(enable));
        return TRUE;
    }
    BOOL GetIsCanbeRecord() override { return canRecord; }
    int GetIsPauseRecord() override { return paused; }
    int GetInt(const char* section, const char* key, int default_int) override
    {
        return std::string(key) == "gensor_level" ? gsensorLevel.load() : CTestSettings::GetInt(section, key, default_int);
    }
    int GetGestureCaptureCfg() override { return gestureCapture; }
    int GetGestureTriggerLevel() override { return gestureLevel; }
    // Every role of the sensors from this double.
    I2CDevRoles Roles() { return {this, this, this}; }

    std::vector<TASK> Tasks()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_Tasks;
    }
    // The snapshot and parking events, without the sleeps unless asked.
    std::vector<std::string> Events(bool sleeps = false)
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        std::vector<std::string> out;
        for (const std::string& e : m_Events) {
            if (sleeps || e.compare(0, 6, "sleep ") != 0) {
                out.push_back(e);
            }
        }
        return out;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Tasks.clear();
        m_Events.clear();
    }

private:
    void Event(const std::string& e)
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Events.push_back(e);
    }
    std::mutex m_Lock;
    std::vector<TASK> m_Tasks;
    std::vector<std::string> m_Events;
};

// Both chip models and the bus back to power-on, with an empty log.
inline void XResetSensorModels()
{
    CI2cModel::instance()->ResetModel();
    CI2cSensorModel::Prox()->ResetModel();
    CI2cSensorModel::Accel()->ResetModel();
    CI2cSensorModel::ClearLog();
}

#endif
