#ifndef TESTS_MULTITASK_QUEUEADAPTERS_H
#define TESTS_MULTITASK_QUEUEADAPTERS_H

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "MultiTask/MsgQue.h"
#include "MultiTask/TaskQue.h"

// One face for both bounded queues, so that the rules they share can be
// checked by one table. Priority 0 is "highest", 1 "normal".
class QueueUnderTest {
public:
    virtual ~QueueUnderTest() = default;
    virtual bool Put(uint32_t seq, int priority) = 0;
    // Takes without waiting.
    virtual bool Take(uint32_t* seq) = 0;
};

class MsgQueAdapter : public QueueUnderTest {
public:
    explicit MsgQueAdapter(int capacity) : m_Que(capacity) {}
    bool Put(uint32_t seq, int priority) override
    {
        return m_Que.SendMsg(XM_TIMER, seq, ~seq, static_cast<unsigned>(priority)) == TRUE;
    }
    bool Take(uint32_t* seq) override
    {
        XMSG msg;
        if (!m_Que.RecvMsg(&msg, FALSE)) {
            return false;
        }
        EXPECT_EQ(static_cast<unsigned>(XM_TIMER), msg.msg);
        EXPECT_EQ(~msg.wpa, msg.lpa);
        *seq = msg.wpa;
        return true;
    }

private:
    CMsgQue m_Que;
};

class TaskQueAdapter : public QueueUnderTest {
public:
    explicit TaskQueAdapter(unsigned capacity) : m_Que(capacity) {}
    bool Put(uint32_t seq, int priority) override
    {
        TASK task;
        memset(&task, 0, sizeof(task));
        task.type = TASKTYPE_TIMER;
        task.priority = priority;
        task.priv = seq;
        task.context.timer.wpa = seq;
        task.context.timer.lpa = ~seq;
        return m_Que.PutTask(&task, priority) != nullptr;
    }
    bool Take(uint32_t* seq) override
    {
        TASK task;
        if (!m_Que.GetTask(&task, FALSE)) {
            return false;
        }
        EXPECT_EQ(TASKTYPE_TIMER, task.type);
        EXPECT_EQ(task.priv, task.context.timer.wpa);
        EXPECT_EQ(~task.priv, task.context.timer.lpa);
        *seq = task.priv;
        return true;
    }

private:
    CTaskQue m_Que;
};

enum class QueueKind { Msg, Task };

inline const char* KindName(QueueKind kind)
{
    return kind == QueueKind::Msg ? "Msg" : "Task";
}

inline std::unique_ptr<QueueUnderTest> MakeQueue(QueueKind kind, int capacity)
{
    if (kind == QueueKind::Msg) {
        return std::unique_ptr<QueueUnderTest>(new MsgQueAdapter(capacity));
    }
    return std::unique_ptr<QueueUnderTest>(new TaskQueAdapter(static_cast<unsigned>(capacity)));
}

#endif
