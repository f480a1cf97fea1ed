#include "Main/SupervisionLoop.h"

#include <stdio.h>

#include "Main/PcmIndex.h"

namespace {

// SD state bits reported by the SD manager.
constexpr int kSDInsert = 1;
constexpr int kSDMount = 2;
constexpr int kSDReadOnly = 4;
constexpr int kSDWriteProtect = 8;

constexpr unsigned kPowerConfirmMs = 5;
constexpr unsigned kResetRebootDelayMs = 1000;
constexpr int kResetVolume = 13;

}  // namespace

CSupervisionLoop::CSupervisionLoop(CLoopServices& services)
    : m_rServices(services),
      m_iPrevSysPowerState(-1),
      m_iSysPowerDown(0),
      m_iSysReset(1),
      m_iResetDetectCount(0),
      m_uTestCount(1),
      m_iLedOn(1),
      m_iSdState(0),
      m_bResetting(FALSE)
{
}

void CSupervisionLoop::Step()
{
    if (m_rServices.TakeUpdateRequest()) {
        OnUpdateAnnounced();
    }
    CheckPowerLine();
    CheckResetKey();
    PeriodicChecks();
    BlinkConnectionLed();
    CheckModel();
    ++m_uTestCount;
}

void CSupervisionLoop::Stop()
{
    m_rServices.StopAllRecord(1, 1);
    m_rServices.PauseGpsSaveData();
    printf("\nQuiting system...\n");
}

void CSupervisionLoop::OnUpdateAnnounced()
{
    // The external updater takes over: prompt, both LEDs lit; no loop state changes.
    m_rServices.PlayAudio(PCM_UPDATE_START);
    m_rServices.WriteGpio(GPIO_RECORD_LED, 1);
    m_rServices.WriteGpio(GPIO_CONNECT_LED, 1);
}

void CSupervisionLoop::CheckPowerLine()
{
    m_rServices.ReadGpio(GPIO_POWER_LINE, m_iSysPowerDown);
    if (m_iSysPowerDown == 1) {
        // A loss counts only when the line still reads 1 a moment later.
        m_rServices.SleepMs(kPowerConfirmMs);
        m_rServices.ReadGpio(GPIO_POWER_LINE, m_iSysPowerDown);
        if (m_iSysPowerDown == 1 && m_iPrevSysPowerState != 1) {
            PowerDown();
        }
    } else if (m_iSysPowerDown != m_iPrevSysPowerState) {
        PowerResume(m_uTestCount == 1);
    }
}

void CSupervisionLoop::PowerDown()
{
    printf("\nSYSTEM POWER DOWN...\n");
    m_iPrevSysPowerState = 1;
    m_rServices.HoldForPowerLine([this] {
        m_rServices.PauseAllRecord(1, 1);
        m_rServices.SyncFS();
        m_rServices.SaveFuncSetting();
        m_rServices.PlayAudio(PCM_OFF);
        m_rServices.PauseGpsSaveData();
        m_rServices.PauseSnapshot();
    });
}

void CSupervisionLoop::PowerResume(BOOL bFirst)
{
    printf("\nSYSTEM POWER RESUME...\n");
    m_iPrevSysPowerState = m_iSysPowerDown;
    m_rServices.OpenFuncSetting();
    // Recording and snapshots stay paused while another reason holds them.
    m_rServices.ReleasePowerLine([this] {
        m_rServices.ResumeCommonRecord();
        m_rServices.ResumeGpsSaveData();
        m_rServices.ResumeSnapshot();
    });
    // The resume of the first cycle is what starts loop recording: silently.
    if (!bFirst) {
        m_rServices.PlayAudio(PCM_ON);
    }
}

void CSupervisionLoop::CheckResetKey()
{
    if (m_bResetting) {
        return;  // the reset has run; the process is ending
    }
    m_rServices.ReadGpio(GPIO_RESET_KEY, m_iSysReset);
    if (m_iSysReset == 0) {
        ++m_iResetDetectCount;
        if (m_iResetDetectCount > RESET_KEY_CYCLES) {
            FactoryReset();
        }
    } else if (m_iResetDetectCount > 0) {
        printf("\nSYSTEM RESET Cancel...\n");
        m_iResetDetectCount = 0;
    }
}

void CSupervisionLoop::FactoryReset()
{
    m_bResetting = TRUE;
    if (m_rServices.GetInt("funcset", "volume", kResetVolume) == 0) {
        m_rServices.SetVolume(kResetVolume);  // so that the prompt is heard
    }
    m_rServices.PlayAudio(PCM_SYSTEM_RESET);
    m_rServices.PauseGpsSaveData();
    m_rServices.PauseSnapshot();
    m_rServices.ResetIniConfig();
    m_rServices.DeleteAccessAuthFile();
    m_rServices.PauseAllRecord(0, 1);
    m_rServices.SyncFS();
    m_rServices.SleepMs(kResetRebootDelayMs);
    m_rServices.RunCommand("reboot");
    m_rServices.RequestQuit();
    printf("SYSTEM RESET.\n");
}

void CSupervisionLoop::PeriodicChecks()
{
    // Without an SD manager there is no card state to poll or to warn about.
    if (m_rServices.HasSDManager()) {
        if (Every(50)) {
            m_iSdState = m_rServices.CheckSDCard();
        }
        if (Every(100)) {
            m_rServices.CheckSDCardFreeSpace();
        }
        if (Every(1200) && !m_rServices.GetFormatStatusFlag()) {
            CheckSDPrompt();
        }
    }
    if (Every(1300) && !m_rServices.IsRtcWork()) {
        m_rServices.PlayAudio(PCM_SYSTEMTIMEERROR);
    }
    if (Every(500) && m_rServices.GetBurnInTesting() && !m_rServices.GetFactoryTestOK()) {
        m_rServices.PlayAudio(PCM_FACTORY_TEST_MODE);
    }
}

void CSupervisionLoop::CheckSDPrompt()
{
    // No card, or one its file-system check could not repair.
    if ((m_iSdState & kSDInsert) == 0 || m_rServices.GetCardCheckFailed()) {
        m_rServices.PlayAudio(PCM_SD_CHECK_ERROR);
    } else if ((m_iSdState & kSDMount) == 0 || (m_iSdState & (kSDReadOnly | kSDWriteProtect)) != 0) {
        m_rServices.PlayAudio(PCM_SD_WRITE_PROTECT);
    }
}

void CSupervisionLoop::BlinkConnectionLed()
{
    if (Every(10) && m_rServices.GetLedStatus()) {
        m_iLedOn = !m_iLedOn;
        m_rServices.WriteGpio(GPIO_CONNECT_LED, m_iLedOn);
    }
}

void CSupervisionLoop::CheckModel()
{
    if (Every(100) && m_rServices.GetFactoryCheckModel()) {
        m_rServices.PlayAudio(PCM_FACTORY_TEST_MODEL_CHECK);
    }
}
