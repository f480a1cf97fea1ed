#include "Main/SupervisionLoop.h"

#include <stdio.h>

#include "PlayAudio/PcmIndex.h"

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

CSupervisionLoop::CSupervisionLoop(const LoopRoles& roles)
    : m_Roles(roles),
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

BOOL CSupervisionLoop::Wired() const
{
    const LoopRoles& r = m_Roles;
    return r.services != nullptr && r.pins != nullptr && r.settings != nullptr && r.audio != nullptr &&
           r.prompts != nullptr && r.record != nullptr && r.snapshots != nullptr && r.shell != nullptr &&
           r.factory != nullptr;
}

void CSupervisionLoop::Step()
{
    if (!Wired()) {
        return;
    }
    if (m_Roles.services->TakeUpdateRequest()) {
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
    if (!Wired()) {
        return;
    }
    m_Roles.record->StopAllRecord(1, 1);
    m_Roles.services->PauseGpsSaveData();
    printf("\nQuiting system...\n");
}

void CSupervisionLoop::OnUpdateAnnounced()
{
    // The external updater takes over: prompt, both LEDs lit; no loop state changes.
    m_Roles.prompts->PlayPrompt(PCM_UPDATE_START);
    m_Roles.pins->WriteGpio(GPIO_RECORD_LED, 1);
    m_Roles.pins->WriteGpio(GPIO_CONNECT_LED, 1);
}

void CSupervisionLoop::CheckPowerLine()
{
    m_Roles.pins->ReadGpio(GPIO_POWER_LINE, m_iSysPowerDown);
    if (m_iSysPowerDown == 1) {
        // A loss counts only when the line still reads 1 a moment later.
        m_Roles.services->SleepMs(kPowerConfirmMs);
        m_Roles.pins->ReadGpio(GPIO_POWER_LINE, m_iSysPowerDown);
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
    m_Roles.services->HoldForPowerLine([this] {
        m_Roles.record->PauseAllRecord(1, 1);
        m_Roles.shell->SyncFS();
        m_Roles.settings->SaveFuncSetting();
        m_Roles.prompts->PlayPrompt(PCM_OFF);
        m_Roles.services->PauseGpsSaveData();
        m_Roles.snapshots->PauseSnapshot();
    });
}

void CSupervisionLoop::PowerResume(BOOL bFirst)
{
    printf("\nSYSTEM POWER RESUME...\n");
    m_iPrevSysPowerState = m_iSysPowerDown;
    m_Roles.settings->OpenFuncSetting();
    // Recording and snapshots stay paused while another reason holds them.
    m_Roles.services->ReleasePowerLine([this] {
        m_Roles.record->ResumeCommonRecord();
        m_Roles.services->ResumeGpsSaveData();
        m_Roles.snapshots->ResumeSnapshot();
    });
    // The resume of the first cycle is what starts loop recording: silently.
    if (!bFirst) {
        m_Roles.prompts->PlayPrompt(PCM_ON);
    }
}

void CSupervisionLoop::CheckResetKey()
{
    if (m_bResetting) {
        return;  // the reset has run; the process is ending
    }
    m_Roles.pins->ReadGpio(GPIO_RESET_KEY, m_iSysReset);
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
    if (m_Roles.settings->GetInt("funcset", "volume", kResetVolume) == 0) {
        m_Roles.audio->SetVolume(kResetVolume);  // so that the prompt is heard
    }
    m_Roles.prompts->PlayPrompt(PCM_SYSTEM_RESET);
    m_Roles.services->PauseGpsSaveData();
    m_Roles.snapshots->PauseSnapshot();
    m_Roles.settings->ResetIniConfig();
    m_Roles.services->DeleteAccessAuthFile();
    m_Roles.record->PauseAllRecord(0, 1);
    m_Roles.shell->SyncFS();
    m_Roles.services->SleepMs(kResetRebootDelayMs);
    m_Roles.shell->RunCommand("reboot");
    m_Roles.services->RequestQuit();
    printf("SYSTEM RESET.\n");
}

void CSupervisionLoop::PeriodicChecks()
{
    // Without an SD manager there is no card state to poll or to warn about.
    if (m_Roles.card != nullptr) {
        if (Every(50)) {
            m_iSdState = m_Roles.card->CheckSDCard();
        }
        if (Every(100)) {
            m_Roles.card->CheckSDCardFreeSpace();
        }
        if (Every(1200) && !m_Roles.card->GetFormatStatusFlag()) {
            CheckSDPrompt();
        }
    }
    if (Every(1300) && !m_Roles.services->IsRtcWork()) {
        m_Roles.prompts->PlayPrompt(PCM_SYSTEMTIMEERROR);
    }
    if (Every(500) && m_Roles.factory->GetBurnInTesting() && !m_Roles.factory->GetFactoryTestOK()) {
        m_Roles.prompts->PlayPrompt(PCM_FACTORY_TEST_MODE);
    }
}

void CSupervisionLoop::CheckSDPrompt()
{
    // No card, or one its file-system check could not repair.
    if ((m_iSdState & kSDInsert) == 0 || m_Roles.card->GetCardCheckFailed()) {
        m_Roles.prompts->PlayPrompt(PCM_SD_CHECK_ERROR);
    } else if ((m_iSdState & kSDMount) == 0 || (m_iSdState & (kSDReadOnly | kSDWriteProtect)) != 0) {
        m_Roles.prompts->PlayPrompt(PCM_SD_WRITE_PROTECT);
    } else if (m_Roles.card->GetNoSpaceFlag()) {
        m_Roles.prompts->PlayPrompt(PCM_SD_CHECK_ERROR);  // usable, but too full to record
    }
}

void CSupervisionLoop::BlinkConnectionLed()
{
    if (Every(10) && m_Roles.services->GetLedStatus()) {
        m_iLedOn = !m_iLedOn;
        m_Roles.pins->WriteGpio(GPIO_CONNECT_LED, m_iLedOn);
    }
}

void CSupervisionLoop::CheckModel()
{
    if (Every(100) && m_Roles.factory->GetFactoryCheckModel()) {
        m_Roles.prompts->PlayPrompt(PCM_FACTORY_TEST_MODEL_CHECK);
    }
}
