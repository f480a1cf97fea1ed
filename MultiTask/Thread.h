#ifndef MULTITASK_THREAD_H
#define MULTITASK_THREAD_H

#include <atomic>
#include <cstdint>

#include "Function/types.h"
#include "MultiTask/Msg.h"
#include "MultiTask/MsgQue.h"
#include "MultiTask/Mutex.h"
#include "MultiTask/Semaphore.h"
#include "MultiTask/Task.h"
#include "MultiTask/TaskQue.h"
#include "MultiTask/Wrappers.h"

// Worker base. A derived class supplies ThreadProc(), which loops while
// m_bLoop is set. CreateThread and DestroyThread are called by one
// controlling thread at a time; the worker may also stop itself with
// DestroyThread, which then neither waits nor joins.
//
// A detached object runs once: its body does not touch the object after
// ThreadProc returns, so it gives no exit signal, DestroyThread does not wait
// for it, and a second CreateThread returns FALSE.
class CThread {
public:
    CThread(BOOL bDeteched, int nMsgQueSize, int nTaskQueSize);
    virtual ~CThread();

    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Priority 0: default scheduling; otherwise SCHED_FIFO at that priority.
    // Blocks until the previous run's ThreadProc has returned.
    BOOL CreateThread(int priority);
    // Clears m_bLoop and posts XM_QUIT and a TASKTYPE_QUIT task (only to a
    // run still in ThreadProc). With bWaited, from another thread, returns
    // once the thread has ended and is joined, also when an earlier stop did
    // not wait. Never started: returns 1 and sends nothing.
    virtual BOOL DestroyThread(BOOL bWaited);
    BOOL IsThreadOver();
    int GetThreadID();

    // Forwarded to the queues; 0 or nothing without the queue.
    BOOL SendMsg(unsigned int msg, unsigned int wpa = 0, uint32_t lpa = 0,
                 int priority = MSG_PRIORITY_NORMAL);
    BOOL RecvMsg(XMSG* pMsg, BOOL wait = TRUE);
    void QuitMsg();
    void ClearMsg();
    unsigned int GetMsgCount();
    BOOL PutTask(TASK* lpTask, int priority = TASK_PRIORITY_NORMAL);
    BOOL GetTask(TASK* lpTask, BOOL wait = TRUE);

    // 0 clears the deadline, as does a deadline past the 32-bit wrap.
    void SetTimeout(unsigned int milliSeconds);
    // TRUE when a deadline is set and it lies before now.
    BOOL IsTimeout();

    // The derived class's loop; runs on the new thread.
    virtual void ThreadProc() = 0;

protected:

    std::atomic<BOOL> m_bLoop;
    std::atomic<BOOL> m_bWaitThreadExit;
    thread_t m_Thread;
    std::atomic<int> m_ThreadID;
    BOOL m_bDeteched;
    CMsgQue* m_pMsgQue;
    CTaskQue* m_pTaskQue;
    CSemaphore m_cSemaphore;  // run token
    unsigned int m_expectedTime;
    CSemaphore m_desSemaphore;  // exit signal for a waiting stopper
    CMutex m_Mutex;             // free for derived classes

private:
    static void* ThreadBody(void* arg);
    BOOL CalledByWorker();
    // Waits for the current run's body to end, then joins it. Not on the worker.
    void ReapRun();

    CMutex m_ExitMutex;     // pairs the stopper's wait with the body's end
    BOOL m_bThreadEnded;    // the current run's body is past ThreadProc
    BOOL m_bJoinPending;    // the current or last run is not joined yet
};

#endif
