#include "Main/BoardServices.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "AVCapture/CommAVCapture.h"
#include "FactoryTest/FactoryTest.h"
#include "Function/common.h"
#include "IniConfig/IniConfig.h"
#include "Main/RtcCheck.h"
#include "Main/Signals.h"
#include "Periphery/GPIO.h"
#include "Periphery/GPS.h"
#include "Periphery/SDManager.h"
#include "PlayAudio/PlayAudio.h"
#include "Record/PauseReasons.h"
#include "Record/Record.h"
#include "Snapshot/Snapshot.h"
#include "Platform/BoardRoot.h"
#include "TCPComm/AppCommandPorts.h"
#include "TCPComm/TCPComm.h"

BOOL CBoardServices::ReadGpio(int gpio, int& value)
{
    return CGPIOManager::instance()->Read(gpio, value);
}

BOOL CBoardServices::WriteGpio(int gpio, int value)
{
    return CGPIOManager::instance()->Write(gpio, value);
}

void CBoardServices::SleepMs(unsigned ms)
{
    XSleep(ms);
}

int CBoardServices::GetInt(const char* section, const char* key, int default_int)
{
    return CIniConfig::instance()->GetInt(section, key, default_int);
}

BOOL CBoardServices::OpenFuncSetting()
{
    return CIniConfig::instance()->OpenFuncSetting();
}

BOOL CBoardServices::SaveFuncSetting()
{
    return CIniConfig::instance()->SaveFuncSetting();
}

BOOL CBoardServices::ResetIniConfig()
{
    return CIniConfig::instance()->ResetIniConfig();
}

void CBoardServices::SetVolume(int volume)
{
    // the camera object, once one is registered for the speaker controls
    if (CCommAVCapture* capture = XCaptureControls()) {
        capture->SetVolume(volume);
    }
}

void CBoardServices::PlayAudio(int index)
{
    CPlayAudio::instance()->PlayAudio(static_cast<pcm_index_t>(index));
}

void CBoardServices::PauseAllRecord(int flush, int closeNow)
{
    CRecord::instance()->PauseAllRecord(flush, closeNow);
}

void CBoardServices::ResumeCommonRecord()
{
    CRecord::instance()->ResumeCommonRecord();
}

void CBoardServices::StopAllRecord(int flush, int closeNow)
{
    CRecord::instance()->StopAllRecord(flush, closeNow);
}

void CBoardServices::PauseGpsSaveData()
{
    CGPS::instance()->PauseSaveData();
}

void CBoardServices::ResumeGpsSaveData()
{
    CGPS::instance()->ResumeSaveData();
}

void CBoardServices::PauseSnapshot()
{
    CSnapshotManager::instance()->PauseSnapshot();
}

void CBoardServices::ResumeSnapshot()
{
    CSnapshotManager::instance()->ResumeSnapshot();
}

void CBoardServices::SyncFS()
{
    ::SyncFS();
}

void CBoardServices::HoldForPowerLine(const std::function<void()>& pause)
{
    CPauseReasons::instance()->Add(CPauseReasons::emPauseReason_PowerLine, pause);
}

void CBoardServices::ReleasePowerLine(const std::function<void()>& resume)
{
    // Capture resumes with the rest: the phone's stop may have paused it.
    CPauseReasons::instance()->Remove(CPauseReasons::emPauseReason_PowerLine, [&resume] {
        CAppBoardPorts::instance()->ResumeCapture();
        resume();
    });
}

BOOL CBoardServices::HasSDManager()
{
    return TRUE;
}

int CBoardServices::CheckSDCard()
{
    return CSDManager::instance()->CheckSDCard();
}

void CBoardServices::CheckSDCardFreeSpace()
{
    CSDManager::instance()->CheckSDCardFreeSpace();
}

BOOL CBoardServices::GetFormatStatusFlag()
{
    return CSDManager::instance()->GetFormatStatusFlag();
}

BOOL CBoardServices::GetCardCheckFailed()
{
    return CSDManager::instance()->GetCardCheckFailed();
}

BOOL CBoardServices::IsRtcWork()
{
    return ::IsRtcWork();
}

BOOL CBoardServices::GetLedStatus()
{
    return CTCPComm::instance()->GetLedStatus();
}

BOOL CBoardServices::DeleteAccessAuthFile()
{
    return CTCPComm::instance()->DeleteAccessAuthFile();
}

BOOL CBoardServices::GetBurnInTesting()
{
    return CFactoryTest::instance()->GetBurnInTesting();
}

BOOL CBoardServices::GetFactoryTestOK()
{
    return CFactoryTest::instance()->GetFactoryTestOK();
}

BOOL CBoardServices::GetFactoryCheckModel()
{
    return CFactoryTest::instance()->GetFactoryCheckModel();
}

int CBoardServices::RunCommand(const char* cmd)
{
    return ExecCommand(cmd);
}

void CBoardServices::RequestQuit()
{
    g_SystemQuit = 1;
}

BOOL CBoardServices::TakeUpdateRequest()
{
    return XTakeUpdateRequest();
}
