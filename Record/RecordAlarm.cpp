// Alarms: cutting the loop file, re-arming triggers, and what the next alarm
// file starts with (triggers and snapshot records).

#include <cstdio>

#include "Function/common.h"
#include "Record/Record.h"

namespace {

emRecordTriggerType XTriggerOfAlarm(unsigned alarm, unsigned long type)
{
    switch (alarm) {
    case emAlarmType_Gesture:
        return type == 'M' ? emRecordTriggerType_Manual : emRecordTriggerType_GestureAlarm;
    case emAlarmType_Accelerate:
        return emRecordTriggerType_AcceleratorAlarm;
    case emAlarmType_HW_VoiceWakeUp:
    case emAlarmType_SW_VoiceWakeUp:
        return emRecordTriggerType_VoiceWakeUp;
    case emAlarmType_TrafficReport:
        return emRecordTriggerType_TrafficReport;
    default:
        return emRecordTriggerType_GestureAlarm;
    }
}

}  // namespace

BOOL CRecord::StartAlarmRecord(unsigned alarm, unsigned long type)
{
    {
        CGuard guard(m_Mutex);
        const int flags = m_lpRecorder->GetFlag();
        const emRecordTriggerType trigger = XTriggerOfAlarm(alarm, type);
        const unsigned length = m_AlarmPreRecordTime + m_AlarmRecordDelayTime;
        if (flags & (emRecordFileFlag_Paused | emRecordFileFlag_Stopped)) {
            // Recording is paused or stopped: the alarm has no file.
        } else if ((flags & emRecordFileFlag_Recording) && m_lpRecorder->GetRecordFileType() == emRecordFileType_Alarm) {
            printf("**********CURRENT RECORDING FILE TYPE:%d \n", m_lpRecorder->GetRecordFileType());
            m_lpRecorder->AddTypeMapping(trigger, length);
        } else if (flags & emRecordFileFlag_Recording) {
            printf("**********PACK COMMON*********\n");
            m_lpRecorder->AddFlag(emRecordFileFlag_StartNext | emRecordFileFlag_Pack);
            m_emNextRecordFileType = emRecordFileType_Alarm;
            MergeTriggerToNext(trigger, static_cast<int>(length));
        } else {
            printf("**********BEGIN ALARM RECORDING...\n");
            m_lpRecorder->AddFlag(emRecordFileFlag_StartNext);
            m_emNextRecordFileType = emRecordFileType_Alarm;
            MergeTriggerToNext(trigger, static_cast<int>(length));
        }
    }
    printf("STARTING ALARM RECORD...\n");
    return TRUE;
}

void CRecord::MergeTriggerToNext(emRecordTriggerType trigger, int lefttime)
{
    TimeTypeMapping* last = nullptr;
    for (TimeTypeMapping* n = m_lpNextRecordFileDuration; n != nullptr; n = n->next) {
        if (n->trigger == trigger) {
            return;  // a pending trigger keeps its first length
        }
        last = n;
    }
    TimeTypeMapping* node = XGetTimeTypeMappingNode();
    if (node == nullptr) {
        if (last == nullptr) {
            XERROR("GetNode Err.\n");
        } else {
            XERROR("Get Node Error...\n");
        }
        return;
    }
    node->lefttime = lefttime;
    node->trigger = trigger;
    node->next = nullptr;
    if (last == nullptr) {
        m_lpNextRecordFileDuration = node;
    } else {
        last->next = node;
    }
}

void CRecord::MergeRecordDurationToNext(const TimeTypeMapping* list)
{
    for (const TimeTypeMapping* n = list; n != nullptr; n = n->next) {
        if (n->trigger == emRecordTriggerType_Common) {
            continue;
        }
        MergeTriggerToNext(n->trigger, n->lefttime);
    }
}

void CRecord::MergeRecordAssociatedDataToNext(const CAssociatedData* record)
{
    if (record == nullptr || CAssociatedDataManager::instance() == nullptr) {
        return;
    }
    CAssociatedData* copy = CAssociatedDataManager::instance()->GetNode();
    if (copy == nullptr) {
        return;
    }
    copy->CopyFrom(*record);
    copy->SetNext(m_lpNextRecordFileAssociatedData);
    m_lpNextRecordFileAssociatedData = copy;
}

BOOL CRecord::SetAssociatedData(CAssociatedData* lpData)
{
    if (lpData == nullptr) {
        return FALSE;
    }
    CGuard guard(m_Mutex);
    const int flags = m_lpRecorder->GetFlag();
    if (flags & (emRecordFileFlag_Paused | emRecordFileFlag_Stopped)) {
        return FALSE;
    }
    if ((flags & emRecordFileFlag_Recording) && m_lpRecorder->GetRecordFileType() == emRecordFileType_Alarm) {
        lpData->SetNext(nullptr);
        m_lpRecorder->SetAssociatedData(lpData);
        return TRUE;
    }
    if ((flags & emRecordFileFlag_Recording) && !(flags & emRecordFileFlag_Pack) &&
        m_emNextRecordFileType == emRecordFileType_Common) {
        return FALSE;
    }
    if ((flags & emRecordFileFlag_StartNext) && m_emNextRecordFileType == emRecordFileType_Alarm) {
        lpData->SetNext(m_lpNextRecordFileAssociatedData);
        m_lpNextRecordFileAssociatedData = lpData;
        return TRUE;
    }
    return FALSE;
}
