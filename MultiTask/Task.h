#ifndef MULTITASK_TASK_H
#define MULTITASK_TASK_H

#include <cstdint>

// Task types. The framework itself sends only TASKTYPE_QUIT.
typedef enum {
    TASKTYPE_SYSTEM = 0,
    TASKTYPE_QUIT = 1,
    TASKTYPE_TIMER = 2,
    TASKTYPE_HEART_BEAT = 3,
    TASKTYPE_ALARM = 4,
    TASKTYPE_VOICE_TRAIN = 5,
    TASKTYPE_VOICE_TRAIN_DONE = 6,
    TASKTYPE_ILL = 7,
} emTASKTYPE;

// HIGHTEST goes to the head of the queue (last in, first out among such),
// NORMAL to the tail.
enum {
    TASK_PRIORITY_HIGHTEST = 0,
    TASK_PRIORITY_NORMAL = 1,
};

typedef struct tagTimerContext {
    unsigned int wpa;
    uint32_t lpa;
} TimerContext;

typedef struct tagHeartBeatContext {
    unsigned int wpa;
    uint32_t lpa;
} HeartBeatContext;

typedef struct tagAlarmContext {
    unsigned int type;  // one emAlarmType bit
    unsigned int time;  // SystemGetMSCount() when the alarm was detected
    unsigned int wpa;
    uint32_t lpa;
} AlarmContext;

typedef struct tagVoiceTrainContext {
    int index;
    char name[64];
    unsigned int linkage;
    unsigned int wpa;
    uint32_t lpa;
} VoiceTrainContext;

typedef struct tagVoiceTrainDoneContext {
    unsigned int wpa;
    uint32_t lpa;
} VoiceTrainDoneContext;

typedef union tagTaskContext {
    TimerContext timer;
    HeartBeatContext heartbeat;
    AlarmContext alarm;
    VoiceTrainContext voicetrain;
    VoiceTrainDoneContext voicetraindone;
} TaskContext;

static_assert(sizeof(TaskContext) == sizeof(VoiceTrainContext),
              "the context is as large as its largest record");

typedef struct tagTASK {
    int type;           // an emTASKTYPE value
    int priority;       // carried for the sender; the queue uses PutTask's argument
    unsigned int priv;  // key for RemoveTaskByPrivData
    TaskContext context;
    void* extra;  // free for the sender, carried unchanged
} TASK;

#endif
