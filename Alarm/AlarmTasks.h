#ifndef ALARM_ALARMTASKS_H
#define ALARM_ALARMTASKS_H

#include "Function/types.h"
#include "MultiTask/Task.h"

// Alarm tasks for the alarm thread (the sensors, the app channel), posted
// at the highest priority; 0 when the queue refuses it.
class CAlarmTasks {
public:
    virtual ~CAlarmTasks() = default;

    virtual BOOL PutAlarmTask(TASK* task) = 0;
};

#endif
