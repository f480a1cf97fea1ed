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
    return XOn(m_lpSD, 0, [](CSDManager& sd) { return sd.GetSDSate(); });
}

BOOL CCameraCard::GetSDMountPath(char* path, size_t size)
{
    return XOn(m_lpSD, FALSE, [&](CSDManager& sd) { return sd.GetSDMountPath(path, size); });
}

BOOL CCameraCard::RegisterSDStateCallback(int (*fun)(int, void*), void* priv)
{
    return XOn(m_lpSD, FALSE, [&](CSDManager& sd) { return sd.RegisterSDStateCallback(fun, priv); });
}

BOOL CCameraCard::UnregisterSDStateCallback(int (*fun)(int, void*), void* priv)
{
    return XOn(m_lpSD, FALSE, [&](CSDManager& sd) { return sd.UnregisterSDStateCallback(fun, priv); });
}

int CCameraCard::CheckSDCard()
{
    return XOn(m_lpSD, 0, [](CSDManager& sd) { return sd.CheckSDCard(); });
}

void CCameraCard::CheckSDCardFreeSpace()
{
    XOn(m_lpSD, [](CSDManager& sd) { sd.CheckSDCardFreeSpace(); });
}

BOOL CCameraCard::GetDiskSpaceInfo(uint64_t* total, uint64_t* freeBytes)
{
    return XOn(m_lpSD, FALSE, [&](CSDManager& sd) { return sd.GetDiskSpaceInfo(total, freeBytes); });
}

int CCameraCard::Format()
{
    return XOn(m_lpSD, -1, [](CSDManager& sd) { return sd.Format(); });
}

void CCameraCard::SetFormatStatusFlag(BOOL flag)
{
    XOn(m_lpSD, [&](CSDManager& sd) { sd.SetFormatStatusFlag(flag); });
}

BOOL CCameraCard::GetFormatStatusFlag()
{
    return XOn(m_lpSD, FALSE, [](CSDManager& sd) { return sd.GetFormatStatusFlag(); });
}

BOOL CCameraCard::GetNoSpaceFlag()
{
    return XOn(m_lpSD, FALSE, [](CSDManager& sd) { return sd.GetNoSpaceFlag(); });
}

BOOL CCameraCard::GetCardCheckFailed()
{
    return XOn(m_lpSD, FALSE, [](CSDManager& sd) { return sd.GetCardCheckFailed(); });
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
    return XOn(Attached(), FALSE, [&](CCommAVCapture& c) { return c.SetVolume(volume); });
}

BOOL CCameraCapture::GetIsOutputVolumeMute()
{
    return XOn(Attached(), FALSE, [](CCommAVCapture& c) { return c.GetIsOutputVolumeMute(); });
}

void CCameraCapture::AudioInputMuteEnable()
{
    XOn(Attached(), [](CCommAVCapture& c) { c.AudioInputMuteEnable(); });
}

void CCameraCapture::AudioInputMuteDisable()
{
    XOn(Attached(), [](CCommAVCapture& c) { c.AudioInputMuteDisable(); });
}

void CCameraCapture::PauseCapture()
{
    XOn(Attached(), [](CCommAVCapture& c) { c.PauseCapture(); });
}

void CCameraCapture::ResumeCapture()
{
    XOn(Attached(), [](CCommAVCapture& c) { c.ResumeCapture(); });
}

BOOL CCameraCapture::ResolutionSwitch(int mode)
{
    return XOn(Attached(), FALSE, [&](CCommAVCapture& c) { return c.ResolutionSwitch(mode); });
}

void CCameraCapture::SetParkingMonitoringEnable(int enable)
{
    XOn(Attached(), [&](CCommAVCapture& c) { c.SetParkingMonitoringEnable(enable); });
}

void CCameraCapture::SetParkingMonitoringTimeThreshold(unsigned threshold)
{
    XOn(Attached(), [&](CCommAVCapture& c) { c.SetParkingMonitoringTimeThreshlod(threshold); });
}

BOOL CCameraCapture::StartVO()
{
    return XOn(Attached(), FALSE, [](CCommAVCapture& c) { return c.StartVO(); });
}

BOOL CCameraCapture::StopVO()
{
    return XOn(Attached(), FALSE, [](CCommAVCapture& c) { return c.StopVO(); });
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
