#include "Main/DriveTimeReminder.h"

#include "Function/SystemTime.h"
#include "PlayAudio/PcmIndex.h"

namespace {

constexpr uint32_t kFirstReminderMs = 7200u * 1000u;
constexpr uint32_t kRepeatReminderMs = 1800u * 1000u;

}  // namespace

BOOL CDriveTimeReminder::Check(uint32_t nowMs)
{
    if (m_iAlarmCheck == 0) {
        m_uSinceMs = nowMs;
        m_iAlarmCheck = 1;
        return FALSE;
    }
    const uint32_t elapsed = nowMs - m_uSinceMs;
    const uint32_t limit = m_iAlarmCheck == 1 ? kFirstReminderMs : kRepeatReminderMs;
    if (elapsed <= limit) {
        return FALSE;
    }
    m_uSinceMs = nowMs;
    m_iAlarmCheck = 2;
    return TRUE;
}

void CheckTimeToAlarm(CPrompts& prompts)
{
    static CDriveTimeReminder s_Reminder;
    if (s_Reminder.Check(SystemGetMSCount())) {
        prompts.PlayPrompt(PCM_LONGTIMEALARM);
    }
}
