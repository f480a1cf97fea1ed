#include "Main/Wiring/SensorWiring.h"

#include <time.h>
#include <unistd.h>

#include "AVCapture/hi3516cv200/AVCapture.h"
#include "Function/SystemTime.h"
#include "Main/Wiring/CameraWiring.h"
#include "MultiTask/Msg.h"
#include "Periphery/I2CDevManager.h"
#include "Record/Record.h"
#include "Snapshot/Snapshot.h"

uint32_t CCameraI2CDevPorts::MSCount()
{
    return SystemGetMSCount();
}

uint32_t CCameraI2CDevPorts::MonoSeconds()
{
    timespec ts{};
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) {
        return 0;
    }
    return static_cast<uint32_t>(ts.tv_sec);
}

void CCameraI2CDevPorts::SleepUs(unsigned us)
{
    usleep(us);
}

BOOL CCameraI2CDevPorts::SendParkingSnapshot()
{
    return CSnapshotManager::instance()->SendMsg(XM_SNAPSHOT, 2, 0x5000, MSG_PRIORITY_NORMAL);
}

BOOL CCameraI2CDevPorts::ParkingMonitorEnabled()
{
    return CAVCapture::instance()->GetParkingMonitoringEnable();
}

unsigned CCameraI2CDevPorts::ParkingTimeThreshold()
{
    return CAVCapture::instance()->GetParkingMonitoringTimeThreshold();
}

unsigned CCameraI2CDevPorts::SnapshotChannelFps()
{
    return CAVCapture::instance()->GetChannelFps(CCommAVCapture::ENCODE_CHN_JPEG_MAIN);
}

BOOL CCameraI2CDevPorts::ParkingMonitoringEnable(int enable)
{
    return CAVCapture::instance()->ParkingMonitoringEnable(enable);
}

BOOL CCameraI2CDevPorts::GetIsCanbeRecord()
{
    return CRecord::instance()->GetIsCanbeRecord();
}

int CCameraI2CDevPorts::GetIsPauseRecord()
{
    return CRecord::instance()->GetIsPauseRecord();
}

I2CDevRoles CCameraWiring::ForSensors()
{
    return {&m_I2CDevPorts, &m_Alarms, &m_Settings};
}

void CCameraWiring::WireSensors()
{
    CI2CDevManager::instance()->Bind(ForSensors());
}
