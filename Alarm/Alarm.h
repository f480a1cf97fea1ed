#ifndef ALARM_ALARM_H
#define ALARM_ALARM_H

#include <cstdint>

#include "Alarm/AlarmConfigManager.h"
#include "Alarm/AlarmTypes.h"
#include "Function/types.h"
#include "MultiTask/Singleton.h"
#include "MultiTask/Thread.h"

// The road of an alarm:
//   the accelerometer or the proximity sensor (Periphery/GSensor.cpp,
//   Periphery/IRSensor.cpp) or the app's snapshot command (TCPComm) posts a
//   TASKTYPE_ALARM task (XMakeAlarmTask) at the highest priority through its
//   alarm role (CAlarmTasks); this thread takes it, drops it when it is
//   older than 999 ms (ProcessTask), and CAlarmConfigManager runs the
//   linkages of the alarm kind's configuration (AlarmConfig.cpp,
//   AlarmLinkage.cpp): Record starts or extends an alarm recording through
//   its record target (CRecord::StartAlarmRecord on the camera), Snapshot
//   asks for an event image through its snapshot target (XM_SNAPSHOT to the
//   snapshot thread), PlaySound and LedSpark print the alarm.
//
// The alarm thread: takes alarm tasks, drops those older than 999 ms and
// runs the linkages of the rest. Producers post with
//   CAlarmManager::instance()->PutTask(&task, TASK_PRIORITY_HIGHTEST)
// from any thread; the queue is built for 1024 tasks.
class CAlarmManager : public CThread, public CSingleton<CAlarmManager> {
public:
    enum { kTaskQueueSize = 1024 };

    // The thread over the process's configurations.
    CAlarmManager();
    // Tests and tools: a thread over its own configurations (not owned).
    explicit CAlarmManager(CAlarmConfigManager* lpConfig);
    ~CAlarmManager() override;

    // Loads the configurations, then starts the thread; FALSE when either fails.
    BOOL Init();
    // Stops the thread and waits for it; safe when Init never ran.
    BOOL CleanUp();

    // One task as the thread handles it at `now` (SystemGetMSCount()).
    // FALSE for a quit task, TRUE otherwise.
    BOOL ProcessTask(const TASK& task, uint32_t now);

    void ThreadProc() override;

private:
    CAlarmConfigManager* m_lpConfig;
};

#endif
