#ifndef MULTITASK_MSGQUE_H
#define MULTITASK_MSGQUE_H

#include <cstdint>
#include <list>

#include "Function/types.h"
#include "MultiTask/Msg.h"
#include "MultiTask/Mutex.h"
#include "MultiTask/Semaphore.h"

typedef std::list<XMSG> MSGQUEUE;

// Bounded message queue: many senders, one receiver. The list is filled at
// the front for normal messages and at the back for highest-priority ones,
// and always taken from the back.
class CMsgQue {
public:
    explicit CMsgQue(int size);
    virtual ~CMsgQue();

    CMsgQue(const CMsgQue&) = delete;
    CMsgQue& operator=(const CMsgQue&) = delete;

    // 0 when full, closed, or priority >= MSG_PRIORITY_ILL; the queue stamps `time`.
    BOOL SendMsg(unsigned int msg, unsigned int wpa = 0, uint32_t lpa = 0,
                 unsigned int priority = MSG_PRIORITY_NORMAL);
    // With wait, blocks until a message is queued. 0 when nothing was taken.
    BOOL RecvMsg(XMSG* pMsg, BOOL wait = TRUE);
    // Stops accepting for good; queued messages can still be received.
    void QuitMsg();
    // Drops every message queued when it starts.
    void ClearMsg();
    int GetMsgCount();
    int GetMsgSize();
    void SetMsgSize(int size);

private:
    MSGQUEUE m_Queue;
    BOOL m_bMsgFlg;
    CMutex m_Mutex;
    CSemaphore m_Semaphore;
    int m_nMsg;
    int m_nMaxMsg;
};

#endif
