#include "Main/Wiring/LoopWiring.h"

#include "FactoryTest/FactoryTest.h"
#include "Function/SystemTime.h"
#include "Main/RtcCheck.h"
#include "Main/Signals.h"
#include "Main/Wiring/CameraWiring.h"
#include "Periphery/GPS.h"
#include "Record/PauseReasons.h"
#include "TCPComm/TCPComm.h"

void CCameraLoopServices::SleepMs(unsigned ms)
{
    XSleep(ms);
}

void CCameraLoopServices::PauseGpsSaveData()
{
    CGPS::instance()->PauseSaveData();
}

void CCameraLoopServices::ResumeGpsSaveData()
{
    CGPS::instance()->ResumeSaveData();
}

void CCameraLoopServices::HoldForPowerLine(const std::function<void()>& pause)
{
    CPauseReasons::instance()->Add(CPauseReasons::emPauseReason_PowerLine, pause);
}

void CCameraLoopServices::ReleasePowerLine(const std::function<void()>& resume)
{
    CPauseReasons::instance()->Remove(CPauseReasons::emPauseReason_PowerLine, [this, &resume] {
        m_lpCapture->ResumeCapture();
        resume();
    });
}

BOOL CCameraLoopServices::IsRtcWork()
{
    return ::IsRtcWork();
}

BOOL CCameraLoopServices::GetLedStatus()
{
    return CTCPComm::instance()->GetLedStatus();
}

BOOL CCameraLoopServices::DeleteAccessAuthFile()
{
    return CTCPComm::instance()->DeleteAccessAuthFile();
}

void CCameraLoopServices::RequestQuit()
{
    g_SystemQuit = 1;
}

BOOL CCameraLoopServices::TakeUpdateRequest()
{
    return XTakeUpdateRequest();
}

LoopRoles CCameraWiring::ForLoop()
{
    return {&m_LoopServices, &m_Pins,  &m_Settings, &m_Capture, &m_Prompts,
            &m_RecordControl, &m_SnapshotControl, &m_Shell, &m_Card, &m_FactoryState};
}

CBootEnv* CCameraWiring::BootEnv()
{
    return CFactoryTest::instance();
}
