#include "TCPComm/AppCommandPorts.h"

#include "Periphery/I2CDevManager.h"

#include "AVCapture/CommAVCapture.h"
#include "Alarm/Alarm.h"
#include "Function/SystemTime.h"
#include "Function/common.h"
#include "Main/BoardServices.h"
#include "Main/Wiring/CameraWiring.h"
#include "OSD/OSDManager.h"
#include "Periphery/GPIO.h"
#include "Periphery/SDManager.h"
#include "Record/Record.h"
#include "Snapshot/Snapshot.h"
#include "TCPComm/TcpClock.h"

CAppBoardPorts* CAppBoardPorts::instance()
{
    static CAppBoardPorts s_instance;
    return &s_instance;
}

BOOL CAppBoardPorts::GetParkingFlag()
{
    return CRecord::instance()->GetParkingFlag();
}

void CAppBoardPorts::PauseAllRecord(BOOL bFlush, BOOL bImmediately)
{
    CRecord::instance()->PauseAllRecord(bFlush, bImmediately);
}

void CAppBoardPorts::ResumeCommonRecord()
{
    CRecord::instance()->ResumeCommonRecord();
}

BOOL CAppBoardPorts::DeleteCommonVideoFile(const char* name)
{
    return CRecord::instance()->DeleteCommonVideoFile(name);
}

BOOL CAppBoardPorts::DeleteAlarmVideoFile(const char* name)
{
    return CRecord::instance()->DeleteAlarmVideoFile(name);
}

BOOL CAppBoardPorts::DeleteAlarmImgFile(const char* name)
{
    return CRecord::instance()->DeleteAlarmImgFile(name);
}

BOOL CAppBoardPorts::CleanAllCommonVideoFile()
{
    return CRecord::instance()->CleanAllCommonVideoFile();
}

BOOL CAppBoardPorts::CleanAllAlarmVideoFile()
{
    return CRecord::instance()->CleanAllAlarmVideoFile();
}

BOOL CAppBoardPorts::CleanAllAlarmImgFile()
{
    return CRecord::instance()->CleanAllAlarmImgFile();
}

void CAppBoardPorts::GetTotalFileSize(uint64_t& common, uint64_t& alarm, uint64_t& image)
{
    CRecord::instance()->GetTotalFileSize(common, alarm, image);
}

void CAppBoardPorts::GetFileSpaceQuotaOnSD(unsigned& common, unsigned& alarm, unsigned& image)
{
    CRecord::instance()->GetFileSpaceQuotaOnSD(common, alarm, image);
}

BOOL CAppBoardPorts::SetFileSpaceQuotaOnSD(unsigned common, unsigned alarm, unsigned image)
{
    return CRecord::instance()->SetFileSpaceQuotaOnSD(common, alarm, image);
}

BOOL CAppBoardPorts::GetDiskSpaceInfo(uint64_t* total, uint64_t* freeBytes)
{
    return CSDManager::instance()->GetDiskSpaceInfo(total, freeBytes);
}

void CAppBoardPorts::SetFormatStatusFlag(BOOL flag)
{
    CSDManager::instance()->SetFormatStatusFlag(flag);
}

int CAppBoardPorts::Format()
{
    return CSDManager::instance()->Format();
}

void CAppBoardPorts::PostAlarmTask(unsigned type, unsigned wpa, uint32_t lpa)
{
    TASK task = XMakeAlarmTask(type, SystemGetMSCount(), wpa, lpa);
    CAlarmManager::instance()->PutTask(&task, TASK_PRIORITY_HIGHTEST);
}

BOOL CAppBoardPorts::LinkageConfig(emAlarmType alarm, emLinkageType add, emLinkageType remove)
{
    return CAlarmConfigManager::instance()->LinkageConfig(alarm, add, remove);
}

void CAppBoardPorts::PauseSnapshot()
{
    CSnapshotManager::instance()->PauseSnapshot();
}

void CAppBoardPorts::ResumeSnapshot()
{
    CSnapshotManager::instance()->ResumeSnapshot();
}

void CAppBoardPorts::PauseCapture()
{
    if (CCommAVCapture* capture = CCameraWiring::instance()->AttachedCapture()) {
        capture->PauseCapture();
    }
}

void CAppBoardPorts::ResumeCapture()
{
    if (CCommAVCapture* capture = CCameraWiring::instance()->AttachedCapture()) {
        capture->ResumeCapture();
    }
}

BOOL CAppBoardPorts::SetVolume(int volume)
{
    CCommAVCapture* capture = CCameraWiring::instance()->AttachedCapture();
    return capture != nullptr && capture->SetVolume(volume);
}

void CAppBoardPorts::AudioInputMuteEnable()
{
    if (CCommAVCapture* capture = CCameraWiring::instance()->AttachedCapture()) {
        capture->AudioInputMuteEnable();
    }
}

void CAppBoardPorts::AudioInputMuteDisable()
{
    if (CCommAVCapture* capture = CCameraWiring::instance()->AttachedCapture()) {
        capture->AudioInputMuteDisable();
    }
}

BOOL CAppBoardPorts::ResolutionSwitch(int mode)
{
    CCommAVCapture* capture = CCameraWiring::instance()->AttachedCapture();
    return capture != nullptr && capture->ResolutionSwitch(mode);
}

void CAppBoardPorts::SetParkingMonitoringEnable(int enable)
{
    if (CCommAVCapture* capture = CCameraWiring::instance()->AttachedCapture()) {
        capture->SetParkingMonitoringEnable(enable);
    }
}

void CAppBoardPorts::SetParkingMonitoringTimeThreshold(int threshold)
{
    if (CCommAVCapture* capture = CCameraWiring::instance()->AttachedCapture()) {
        capture->SetParkingMonitoringTimeThreshlod(static_cast<unsigned>(threshold));
    }
}

BOOL CAppBoardPorts::TESTSetGSensorParam(float trigger)
{
    return CI2CDevManager::instance()->TESTSetGSensorParam(trigger) == 0;
}

int CAppBoardPorts::TESTCorrectIRSensor()
{
    return CI2CDevManager::instance()->TESTCorrectIRSensor();
}

void CAppBoardPorts::ForceShowSpeed()
{
    COSDManager::instance()->m_forceshowspeed = TRUE;
}

void CAppBoardPorts::PlayAudio(int index)
{
    CBoardServices().PlayAudio(index);
}

void CAppBoardPorts::WriteGpio(int gpio, int level)
{
    CGPIOManager::instance()->Write(gpio, level);
}

int CAppBoardPorts::RunCommand(const char* cmd)
{
    return ExecCommand(cmd);
}

int CAppBoardPorts::SetSystemTime(int year, int month, int day, int hour, int minute, int second)
{
    return SetRtctoSystime(year, month, day, hour, minute, second);
}

void CAppBoardPorts::SyncFS()
{
    ::SyncFS();
}
