#include "Main/Wiring/SharedRoles.h"

#include "AVCapture/CommAVCapture.h"
#include "Alarm/Alarm.h"
#include "FactoryTest/FactoryTest.h"
#include "Function/common.h"
#include "IniConfig/IniConfig.h"
#include "OSD/OSDManager.h"
#include "Periphery/GPIO.h"
#include "Periphery/I2CDevManager.h"
#include "Periphery/SDManager.h"
#include "PlayAudio/PlayAudio.h"
#include "Record/Record.h"
#include "Snapshot/Snapshot.h"

void CCameraPrompts::PlayPrompt(int index)
{
    CPlayAudio::instance()->PlayAudio(static_cast<pcm_index_t>(index));
}

BOOL CCameraRecordControl::PauseAllRecord(BOOL bFlushBuffer, BOOL bImmediately)
{
    return CRecord::instance()->PauseAllRecord(bFlushBuffer, bImmediately);
}

BOOL CCameraRecordControl::ResumeCommonRecord()
{
    return CRecord::instance()->ResumeCommonRecord();
}

BOOL CCameraRecordControl::StopAllRecord(BOOL bFlushBuffer, BOOL bImmediately)
{
    return CRecord::instance()->StopAllRecord(bFlushBuffer, bImmediately);
}

BOOL CCameraRecordControl::GetParkingFlag()
{
    return CRecord::instance()->GetParkingFlag();
}

BOOL CCameraRecordFiles::DeleteCommonVideoFile(const char* name)
{
    return CRecord::instance()->DeleteCommonVideoFile(name);
}

BOOL CCameraRecordFiles::DeleteAlarmVideoFile(const char* name)
{
    return CRecord::instance()->DeleteAlarmVideoFile(name);
}

BOOL CCameraRecordFiles::DeleteAlarmImgFile(const char* name)
{
    return CRecord::instance()->DeleteAlarmImgFile(name);
}

BOOL CCameraRecordFiles::CleanAllCommonVideoFile()
{
    return CRecord::instance()->CleanAllCommonVideoFile();
}

BOOL CCameraRecordFiles::CleanAllAlarmVideoFile()
{
    return CRecord::instance()->CleanAllAlarmVideoFile();
}

BOOL CCameraRecordFiles::CleanAllAlarmImgFile()
{
    return CRecord::instance()->CleanAllAlarmImgFile();
}

void CCameraRecordFiles::GetTotalFileSize(uint64_t& common, uint64_t& alarm, uint64_t& image)
{
    CRecord::instance()->GetTotalFileSize(common, alarm, image);
}

void CCameraRecordFiles::GetFileSpaceQuotaOnSD(unsigned& common, unsigned& alarm, unsigned& image)
{
    CRecord::instance()->GetFileSpaceQuotaOnSD(common, alarm, image);
}

BOOL CCameraRecordFiles::SetFileSpaceQuotaOnSD(unsigned common, unsigned alarm, unsigned image)
{
    return CRecord::instance()->SetFileSpaceQuotaOnSD(common, alarm, image);
}

int CCameraCard::GetSDState()
{
    return m_lpSD != nullptr ? m_lpSD->GetSDSate() : 0;
}

BOOL CCameraCard::GetSDMountPath(char* path, size_t size)
{
    return m_lpSD != nullptr && m_lpSD->GetSDMountPath(path, size);
}

BOOL CCameraCard::RegisterSDStateCallback(int (*fun)(int, void*), void* priv)
{
    return m_lpSD != nullptr && m_lpSD->RegisterSDStateCallback(fun, priv);
}

BOOL CCameraCard::UnregisterSDStateCallback(int (*fun)(int, void*), void* priv)
{
    return m_lpSD != nullptr && m_lpSD->UnregisterSDStateCallback(fun, priv);
}

int CCameraCard::CheckSDCard()
{
    return m_lpSD != nullptr ? m_lpSD->CheckSDCard() : 0;
}

void CCameraCard::CheckSDCardFreeSpace()
{
    if (m_lpSD != nullptr) {
        m_lpSD->CheckSDCardFreeSpace();
    }
}

BOOL CCameraCard::GetDiskSpaceInfo(uint64_t* total, uint64_t* freeBytes)
{
    return m_lpSD != nullptr && m_lpSD->GetDiskSpaceInfo(total, freeBytes);
}

int CCameraCard::Format()
{
    return m_lpSD != nullptr ? m_lpSD->Format() : -1;
}

void CCameraCard::SetFormatStatusFlag(BOOL flag)
{
    if (m_lpSD != nullptr) {
        m_lpSD->SetFormatStatusFlag(flag);
    }
}

BOOL CCameraCard::GetFormatStatusFlag()
{
    return m_lpSD != nullptr && m_lpSD->GetFormatStatusFlag();
}

BOOL CCameraPins::ReadGpio(int gpio, int& value)
{
    return CGPIOManager::instance()->Read(gpio, value);
}

BOOL CCameraPins::WriteGpio(int gpio, int value)
{
    return CGPIOManager::instance()->Write(gpio, value);
}

BOOL CCameraFactoryState::GetFactoryTestOK()
{
    return CFactoryTest::instance()->GetFactoryTestOK();
}

BOOL CCameraFactoryState::GetFactoryTesting()
{
    return CFactoryTest::instance()->GetFactoryTesting();
}

BOOL CCameraFactoryState::GetBurnInTesting()
{
    return CFactoryTest::instance()->GetBurnInTesting();
}

BOOL CCameraFactoryState::GetFactoryCheckModel()
{
    return CFactoryTest::instance()->GetFactoryCheckModel();
}

BOOL CCameraFactoryState::GetForceFactoryTest()
{
    return CFactoryTest::instance()->GetForceFactoryTest();
}

BOOL CCameraCapture::SetVolume(int volume)
{
    CCommAVCapture* capture = Attached();
    return capture != nullptr && capture->SetVolume(volume);
}

BOOL CCameraCapture::GetIsOutputVolumeMute()
{
    CCommAVCapture* capture = Attached();
    return capture != nullptr && capture->GetIsOutputVolumeMute();
}

void CCameraCapture::AudioInputMuteEnable()
{
    if (CCommAVCapture* capture = Attached()) {
        capture->AudioInputMuteEnable();
    }
}

void CCameraCapture::AudioInputMuteDisable()
{
    if (CCommAVCapture* capture = Attached()) {
        capture->AudioInputMuteDisable();
    }
}

void CCameraCapture::PauseCapture()
{
    if (CCommAVCapture* capture = Attached()) {
        capture->PauseCapture();
    }
}

void CCameraCapture::ResumeCapture()
{
    if (CCommAVCapture* capture = Attached()) {
        capture->ResumeCapture();
    }
}

BOOL CCameraCapture::ResolutionSwitch(int mode)
{
    CCommAVCapture* capture = Attached();
    return capture != nullptr && capture->ResolutionSwitch(mode);
}

void CCameraCapture::SetParkingMonitoringEnable(int enable)
{
    if (CCommAVCapture* capture = Attached()) {
        capture->SetParkingMonitoringEnable(enable);
    }
}

void CCameraCapture::SetParkingMonitoringTimeThreshold(unsigned threshold)
{
    if (CCommAVCapture* capture = Attached()) {
        capture->SetParkingMonitoringTimeThreshlod(threshold);
    }
}

BOOL CCameraCapture::StartVO()
{
    CCommAVCapture* capture = Attached();
    return capture != nullptr && capture->StartVO();
}

BOOL CCameraCapture::StopVO()
{
    CCommAVCapture* capture = Attached();
    return capture != nullptr && capture->StopVO();
}

BOOL CCameraSnapshotControl::PauseSnapshot()
{
    return CSnapshotManager::instance()->PauseSnapshot();
}

BOOL CCameraSnapshotControl::ResumeSnapshot()
{
    return CSnapshotManager::instance()->ResumeSnapshot();
}

BOOL CCameraAlarms::PutAlarmTask(TASK* task)
{
    return CAlarmManager::instance()->PutTask(task, TASK_PRIORITY_HIGHTEST);
}

BOOL CCameraAlarms::LinkageConfig(emAlarmType alarm, unsigned add, unsigned remove)
{
    return CAlarmConfigManager::instance()->LinkageConfig(alarm, static_cast<emLinkageType>(add),
                                                           static_cast<emLinkageType>(remove));
}

BOOL CCameraSensorTests::IRSensorActive()
{
    return CI2CDevManager::instance()->IRSensorActive();
}

BOOL CCameraSensorTests::GSensorActive()
{
    return CI2CDevManager::instance()->GSensorActive();
}

int CCameraSensorTests::TESTGetIRSensorParam(unsigned& init, unsigned& trigger, unsigned& cur, unsigned& max,
                                             unsigned& min)
{
    CI2CDevManager::instance()->TESTGetIRSensorParam(init, trigger, cur, max, min);
    return 0;
}

int CCameraSensorTests::TESTSetIRSensorParam(unsigned init, unsigned trigger)
{
    return CI2CDevManager::instance()->TESTSetIRSensorParam(init, trigger);
}

int CCameraSensorTests::TESTCorrectIRSensor()
{
    return CI2CDevManager::instance()->TESTCorrectIRSensor();
}

int CCameraSensorTests::TESTGetGSensorParam(float& trigger)
{
    CI2CDevManager::instance()->TESTGetGSensorParam(trigger);
    return 0;
}

int CCameraSensorTests::TESTSetGSensorParam(float trigger)
{
    return CI2CDevManager::instance()->TESTSetGSensorParam(trigger);
}

void CCameraSpeedOverlay::GetDisplayGPSSpeedOSD(int& display)
{
    COSDManager::instance()->GetDisplayGPSSpeedOSD(display);
}

BOOL CCameraSpeedOverlay::SetDisplayGPSSpeedOSD(int display)
{
    return COSDManager::instance()->SetDisplayGPSSpeedOSD(display);
}

void CCameraSpeedOverlay::ForceShowSpeed()
{
    COSDManager::instance()->m_forceshowspeed = TRUE;
}

int CCameraSettings::GetInt(const char* section, const char* key, int default_int)
{
    return CIniConfig::instance()->GetInt(section, key, default_int);
}

int CCameraSettings::GetGpsVoiceCfg()
{
    return CIniConfig::instance()->GetGpsVoiceCfg();
}

int CCameraSettings::GetParkingVoiceCfg()
{
    return CIniConfig::instance()->GetParkingVoiceCfg();
}

int CCameraSettings::GetSnapshotAssociateVideoCfg()
{
    return CIniConfig::instance()->GetSnapshotAssociateVideoCfg();
}

int CCameraSettings::GetGestureCaptureCfg()
{
    return CIniConfig::instance()->GetGestureCaptureCfg();
}

int CCameraSettings::GetGestureTriggerLevel()
{
    return CIniConfig::instance()->GetGestureTriggerLevel();
}

int CCameraSettings::GetIniConfig(char* buf, int len)
{
    return CIniConfig::instance()->GetIniConfig(buf, len);
}

BOOL CCameraSettings::OpenFuncSetting()
{
    return CIniConfig::instance()->OpenFuncSetting();
}

BOOL CCameraSettings::SaveFuncSetting()
{
    return CIniConfig::instance()->SaveFuncSetting();
}

BOOL CCameraSettings::ResetIniConfig()
{
    return CIniConfig::instance()->ResetIniConfig();
}

int CCameraShell::RunCommand(const char* cmd)
{
    return ExecCommand(cmd);
}

int CCameraShell::ExecCommand2(const char* cmd, std::vector<std::string>& lines)
{
    return ::ExecCommand2(cmd, lines);
}

void CCameraShell::SyncFS()
{
    ::SyncFS();
}
