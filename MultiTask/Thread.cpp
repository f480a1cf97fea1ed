#include "MultiTask/Thread.h"

#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "Function/SystemTime.h"
#include "Platform/Thread.h"

CThread::CThread(BOOL bDeteched, int nMsgQueSize, int nTaskQueSize)
    : m_bLoop(FALSE),
      m_bWaitThreadExit(FALSE),
      m_Thread(),
      m_ThreadID(0),
      m_bDeteched(bDeteched),
      m_pMsgQue(nMsgQueSize > 0 ? new CMsgQue(nMsgQueSize) : nullptr),
      m_pTaskQue(nTaskQueSize > 0 ? new CTaskQue(static_cast<unsigned int>(nTaskQueSize)) : nullptr),
      m_cSemaphore(1),
      m_expectedTime(0),
      m_desSemaphore(0),
      m_bThreadEnded(TRUE),
      m_bJoinPending(FALSE)
{
}

CThread::~CThread()
{
    // A run that no waited stop joined (a self-stop, or a stop without
    // waiting) and that has ended, its token back, is joined here.
    if (m_bJoinPending && m_cSemaphore.TryWait() == 0) {
        thread_destroy(m_Thread);
        m_bJoinPending = FALSE;
    }
    delete m_pMsgQue;
    delete m_pTaskQue;
}

BOOL CThread::CalledByWorker()
{
    int id = m_ThreadID;
    return id != 0 && id == static_cast<int>(syscall(SYS_gettid));
}

BOOL CThread::CreateThread(int priority)
{
    if (m_bDeteched) {
        if (m_cSemaphore.TryWait() != 0) {
            return FALSE;
        }
    } else if (m_cSemaphore.Wait() != 0) {
        return FALSE;
    }

    // The previous run stopped without a join (itself, or bWaited FALSE); its
    // body has given the token back, so it is at its very end.
    if (m_bJoinPending) {
        thread_destroy(m_Thread);
        m_bJoinPending = FALSE;
    }

    {
        CGuard guard(m_ExitMutex);
        m_bThreadEnded = FALSE;
        m_bWaitThreadExit = FALSE;
    }
    m_ThreadID = 0;
    m_bLoop = TRUE;

    pthread_t thread;
    if (PlatformCreateThread(&thread, priority, ThreadBody, this) != 0) {
        m_bLoop = FALSE;
        {
            CGuard guard(m_ExitMutex);
            m_bThreadEnded = TRUE;
        }
        m_cSemaphore.Post();
        return FALSE;
    }

    m_Thread = thread;
    if (m_bDeteched) {
        pthread_detach(thread);
    } else {
        m_bJoinPending = TRUE;
    }
    return TRUE;
}

void* CThread::ThreadBody(void* arg)
{
    CThread* self = static_cast<CThread*>(arg);
    BOOL detached = self->m_bDeteched;
    self->m_ThreadID = static_cast<int>(syscall(SYS_gettid));

    self->ThreadProc();

    // A detached object may be gone by now.
    if (detached) {
        return nullptr;
    }

    self->ClearMsg();
    BOOL signal;
    {
        CGuard guard(self->m_ExitMutex);
        self->m_bThreadEnded = TRUE;
        signal = self->m_bWaitThreadExit;
    }
    self->m_cSemaphore.Post();
    if (signal) {
        self->m_desSemaphore.Post();  // last touch: the stopper may delete the object next
    }
    return nullptr;
}

BOOL CThread::DestroyThread(BOOL bWaited)
{
    const BOOL running = m_bLoop;
    BOOL ended;
    BOOL self;
    {
        CGuard guard(m_ExitMutex);
        ended = m_bThreadEnded;
        self = !ended && CalledByWorker();
        m_bLoop = FALSE;
    }

    // A body that already ended reads no more messages or tasks.
    if (running && !ended) {
        SendMsg(XM_QUIT, 0, 0, MSG_PRIORITY_NORMAL);
        if (m_pTaskQue != nullptr) {
            TASK quit;
            memset(&quit, 0, sizeof(quit));
            quit.type = TASKTYPE_QUIT;
            quit.priority = TASK_PRIORITY_NORMAL;
            m_pTaskQue->PutTask(&quit, TASK_PRIORITY_NORMAL);
        }
    }

    // Also after an earlier stop without waiting (or a self-stop): a waited
    // stop returns only once no run of this object is left.
    if (bWaited && !self && !m_bDeteched && m_bJoinPending) {
        ReapRun();
        // A quit sent after the body had cleared its queue would reach the
        // next run.
        ClearMsg();
    }
    return TRUE;
}

void CThread::ReapRun()
{
    BOOL wait;
    {
        CGuard guard(m_ExitMutex);
        wait = m_bThreadEnded ? FALSE : TRUE;  // an ended body gives no further signal
        m_bWaitThreadExit = wait;
    }
    if (wait) {
        m_desSemaphore.Wait();
        m_bWaitThreadExit = FALSE;
    }
    thread_destroy(m_Thread);
    m_bJoinPending = FALSE;
}

BOOL CThread::IsThreadOver()
{
    return m_bLoop ? FALSE : TRUE;
}

int CThread::GetThreadID()
{
    return m_ThreadID;
}

BOOL CThread::SendMsg(unsigned int msg, unsigned int wpa, uint32_t lpa, int priority)
{
    if (m_pMsgQue == nullptr) {
        return FALSE;
    }
    return m_pMsgQue->SendMsg(msg, wpa, lpa, static_cast<unsigned int>(priority));
}

BOOL CThread::RecvMsg(XMSG* pMsg, BOOL wait)
{
    if (m_pMsgQue == nullptr) {
        return FALSE;
    }
    return m_pMsgQue->RecvMsg(pMsg, wait);
}

void CThread::QuitMsg()
{
    if (m_pMsgQue != nullptr) {
        m_pMsgQue->QuitMsg();
    }
}

void CThread::ClearMsg()
{
    if (m_pMsgQue != nullptr) {
        m_pMsgQue->ClearMsg();
    }
}

unsigned int CThread::GetMsgCount()
{
    if (m_pMsgQue == nullptr) {
        return 0;
    }
    return static_cast<unsigned int>(m_pMsgQue->GetMsgCount());
}

BOOL CThread::PutTask(TASK* lpTask, int priority)
{
    if (m_pTaskQue == nullptr) {
        return FALSE;
    }
    return m_pTaskQue->PutTask(lpTask, priority) != nullptr ? TRUE : FALSE;
}

BOOL CThread::GetTask(TASK* lpTask, BOOL wait)
{
    if (m_pTaskQue == nullptr) {
        return FALSE;
    }
    return m_pTaskQue->GetTask(lpTask, wait);
}

void CThread::SetTimeout(unsigned int milliSeconds)
{
    if (milliSeconds == 0) {
        m_expectedTime = 0;
        return;
    }
    unsigned int deadline = SystemGetMSCount() + milliSeconds;
    m_expectedTime = deadline < milliSeconds ? 0 : deadline;
}

BOOL CThread::IsTimeout()
{
    return (m_expectedTime != 0 && m_expectedTime < SystemGetMSCount()) ? TRUE : FALSE;
}
