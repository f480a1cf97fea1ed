#include "Periphery/I2CDevPorts.h"

#include <time.h>
#include <unistd.h>

#include "AVCapture/hi3516cv200/AVCapture.h"
#include "Alarm/Alarm.h"
#include "Function/SystemTime.h"
#include "IniConfig/IniConfig.h"
#include "MultiTask/Msg.h"
#include "Record/Record.h"
#include "Snapshot/Snapshot.h"

uint32_t CI2CDevSystemPorts::MSCount()
{
    return SystemGetMSCount();
}

uint32_t CI2CDevSystemPorts::MonoSeconds()
{
    timespec ts{};
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) {
        return 0;
    }
    return static_cast<uint32_t>(ts.tv_sec);
}

void CI2CDevSystemPorts::SleepUs(unsigned us)
{
    usleep(us);
}

BOOL CI2CDevSystemPorts::PutAlarmTask(TASK* task)
{
    return CAlarmManager::instance()->PutTask(task, TASK_PRIORITY_HIGHTEST);
}

BOOL CI2CDevSystemPorts::SendParkingSnapshot()
{
    return CSnapshotManager::instance()->SendMsg(XM_SNAPSHOT, 2, 0x5000, MSG_PRIORITY_NORMAL);
}

BOOL CI2CDevSystemPorts::ParkingMonitorEnabled()
{
    return CAVCapture::instance()->GetParkingMonitoringEnable();
}

unsigned CI2CDevSystemPorts::ParkingTimeThreshold()
{
    return CAVCapture::instance()->GetParkingMonitoringTimeThreshold();
}

unsigned CI2CDevSystemPorts::SnapshotChannelFps()
{
    return CAVCapture::instance()->GetChannelFps(CCommAVCapture::ENCODE_CHN_JPEG_MAIN);
}

BOOL CI2CDevSystemPorts::ParkingMonitoringEnable(int enable)
{
    return CAVCapture::instance()->ParkingMonitoringEnable(enable);
}

BOOL CI2CDevSystemPorts::GetIsCanbeRecord()
{
    return CRecord::instance()->GetIsCanbeRecord();
}

int CI2CDevSystemPorts::GetIsPauseRecord()
{
    return CRecord::instance()->GetIsPauseRecord();
}

int CI2CDevSystemPorts::GetGSensorLevel()
{
    return CIniConfig::instance()->GetInt("funcset", "gensor_level", 0);
}

int CI2CDevSystemPorts::GetGestureCaptureCfg()
{
    return CIniConfig::instance()->GetGestureCaptureCfg();
}

int CI2CDevSystemPorts::GetGestureTriggerLevel()
{
    return CIniConfig::instance()->GetGestureTriggerLevel();
}
