#include "MultiTask/MsgQue.h"

#include "Function/SystemTime.h"
#include "MultiTask/Verify.h"

// Semaphore accounting: every accepted message posts one count after the
// mutex is released. A waiting receiver takes a count first and retries when
// it then finds the list empty; a non-waiting one only takes a count that is
// already there, under the mutex together with the removal. Counts can thus
// run ahead of the list (a retry), never behind it for longer than a sender's
// post, and nothing holding the mutex ever blocks on the semaphore.

CMsgQue::CMsgQue(int size)
    : m_bMsgFlg(TRUE), m_Semaphore(0), m_nMsg(0), m_nMaxMsg(size)
{
}

CMsgQue::~CMsgQue()
{
}

BOOL CMsgQue::SendMsg(unsigned int msg, unsigned int wpa, uint32_t lpa, unsigned int priority)
{
    {
        CGuard guard(m_Mutex);
        if (m_nMsg >= m_nMaxMsg || priority >= MSG_PRIORITY_ILL || !m_bMsgFlg) {
            return FALSE;
        }
        XMSG item;
        item.msg = msg;
        item.wpa = wpa;
        item.lpa = lpa;
        item.time = SystemGetMSCount();
        if (priority == MSG_PRIORITY_NORMAL) {
            m_Queue.push_front(item);
        } else {
            m_Queue.push_back(item);
        }
        m_nMsg++;
    }
    m_Semaphore.Post();
    return TRUE;
}

BOOL CMsgQue::RecvMsg(XMSG* pMsg, BOOL wait)
{
    for (;;) {
        if (wait && m_Semaphore.Wait() != 0) {
            return FALSE;
        }
        CGuard guard(m_Mutex);
        if (m_Queue.empty()) {
            if (wait) {
                continue;  // a count without a message: wait again
            }
            return FALSE;
        }
        if (!wait) {
            m_Semaphore.TryWait();
        }
        MULTITASK_VERIFY(m_nMsg);
        *pMsg = m_Queue.back();
        m_Queue.pop_back();
        m_nMsg--;
        return TRUE;
    }
}

void CMsgQue::QuitMsg()
{
    CGuard guard(m_Mutex);
    m_bMsgFlg = FALSE;
}

void CMsgQue::ClearMsg()
{
    CGuard guard(m_Mutex);
    int count = m_nMsg;
    for (int i = 0; i < count && !m_Queue.empty(); i++) {
        m_Semaphore.TryWait();
        m_Queue.pop_back();
        m_nMsg--;
    }
}

int CMsgQue::GetMsgCount()
{
    CGuard guard(m_Mutex);
    return m_nMsg;
}

int CMsgQue::GetMsgSize()
{
    CGuard guard(m_Mutex);
    return m_nMaxMsg;
}

void CMsgQue::SetMsgSize(int size)
{
    CGuard guard(m_Mutex);
    m_nMaxMsg = size;
}
