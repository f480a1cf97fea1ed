#ifndef MULTITASK_TASKQUE_H
#define MULTITASK_TASKQUE_H

#include "Function/types.h"
#include "MultiTask/Mutex.h"
#include "MultiTask/Semaphore.h"
#include "MultiTask/Task.h"

class CTaskNode {
public:
    CTaskNode();
    virtual ~CTaskNode();

    TASK m_Task;
    CTaskNode* m_lpNext;  // next node in whichever list holds it
};

// Pooled task nodes and the queue that links them. Nodes come in blocks of
// emTaskGroup; node 0 of a block links the block chain, the rest carry tasks.
// Blocks are freed only by the destructor.
class CTaskNodeManager {
    friend class CTaskQue;

public:
    enum { emTaskGroup = 64 };

    CTaskNodeManager();
    ~CTaskNodeManager();

    CTaskNodeManager(const CTaskNodeManager&) = delete;
    CTaskNodeManager& operator=(const CTaskNodeManager&) = delete;

    // A cleared node from the free stack, a new block when it is empty; null
    // when no block can be allocated.
    CTaskNode* GetFreeTask();
    // Back on the free stack; null is ignored.
    void PutFreeTask(CTaskNode* lpNode);
    // Priority 0 at the head, anything else at the tail.
    void PutUsedTask(CTaskNode* lpNode, int priority);
    // Unlinks the head; with bWait, blocks until a task is queued.
    CTaskNode* GetUsedTask(BOOL bWait);
    // Unlinks the first node from the head whose task has this key; null when
    // none matches.
    CTaskNode* GetUsedTask(unsigned int priv, BOOL bWait);
    unsigned int GetUsedTaskNodeCount();
    // Blocks allocated so far.
    unsigned int GetTaskBlockCount();

private:
    CTaskNode* AllocTask();

    CSemaphore m_Semaphore;  // one count per queued task
    CMutex m_Mutex;
    unsigned int m_UsedTaskNode;
    CTaskNode* m_lpOriginalTaskList;
    CTaskNode* m_lpUsedTaskHead;
    CTaskNode* m_lpUsedTaskTail;
    CTaskNode* m_lpFreeTaskList;
};

typedef CTaskNode* TaskToken_t;     // non-null: accepted
typedef int (*SPECTASKPROC)(TASK*);

// Bounded task queue: many producers, one consumer. The capacity test is
// "queued > maxTasks", so a queue built for N takes N + 1 tasks.
class CTaskQue {
public:
    explicit CTaskQue(unsigned int maxTasks);
    ~CTaskQue();

    CTaskQue(const CTaskQue&) = delete;
    CTaskQue& operator=(const CTaskQue&) = delete;

    // Copies the task in; null when refused.
    TaskToken_t PutTask(TASK* lpTask, int priority = TASK_PRIORITY_NORMAL);
    // Copies the head task out; 0 when nothing was taken.
    BOOL GetTask(TASK* lpTask, BOOL bWait = TRUE);
    // Removes every queued task with this key, handing each to proc (when not
    // null) first. Always TRUE.
    BOOL RemoveTaskByPrivData(unsigned int priv, SPECTASKPROC proc);
    unsigned int GetTaskCount();
    unsigned int GetTaskBlockCount();

private:
    unsigned int m_nMaxTasks;
    CTaskNodeManager* m_lpTaskNodeManager;
};

#endif
