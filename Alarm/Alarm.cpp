#include "Alarm/Alarm.h"

#include <cstdio>
#include <cstring>

#include "Function/SystemTime.h"

TASK XMakeAlarmTask(unsigned type, unsigned time, unsigned wpa, uint32_t lpa)
{
    TASK task;
    memset(&task, 0, sizeof(task));
    task.type = TASKTYPE_ALARM;
    task.priority = TASK_PRIORITY_HIGHTEST;
    task.context.alarm.type = type;
    task.context.alarm.time = time;
    task.context.alarm.wpa = wpa;
    task.context.alarm.lpa = lpa;
    return task;
}

// The configurations are made while it is, so that they outlive the thread.
CAlarmManager::CAlarmManager() : CAlarmManager(CAlarmConfigManager::instance())
{
}

CAlarmManager::CAlarmManager(CAlarmConfigManager* lpConfig)
    : CThread(FALSE, 0, kTaskQueueSize), m_lpConfig(lpConfig)
{
}

CAlarmManager::~CAlarmManager()
{
    DestroyThread(TRUE);
}

BOOL CAlarmManager::Init()
{
    if (!m_lpConfig->Init()) {
        return FALSE;
    }
    return CreateThread(0);
}

BOOL CAlarmManager::CleanUp()
{
    return DestroyThread(TRUE);
}

BOOL CAlarmManager::ProcessTask(const TASK& task, uint32_t now)
{
    switch (task.type) {
    case TASKTYPE_QUIT:
        return FALSE;
    case TASKTYPE_ALARM: {
        const AlarmContext& alarm = task.context.alarm;
        if (XAlarmIsStale(now, alarm.time)) {
            printf("[CAlarmManager] IGNORE ALARM 0x%0x \n", alarm.type);
            fflush(stdout);
        } else {
            m_lpConfig->ProcessLinkage(alarm.type, alarm.wpa, alarm.lpa);
        }
        return TRUE;
    }
    default:
        return TRUE;
    }
}

void CAlarmManager::ThreadProc()
{
    while (m_bLoop) {
        TASK task;
        if (!GetTask(&task, TRUE)) {
            fprintf(stderr, "CAlarmManager Thread GetTask() Error.\n");
            m_bLoop = FALSE;
            break;
        }
        if (!ProcessTask(task, SystemGetMSCount())) {
            m_bLoop = FALSE;
        }
    }
    fprintf(stderr, "CAlarmManager Thread Quiting...\n");
}
