#ifndef TESTS_MULTITASK_TESTWORKER_H
#define TESTS_MULTITASK_TESTWORKER_H

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "MultiTask/Thread.h"

// A CThread whose loop is chosen by the test.
class TestWorker : public CThread {
public:
    enum Kind {
        kMessages,       // blocks in RecvMsg
        kTasks,          // blocks in GetTask
        kPolls,          // no queue, polls m_bLoop
        kReturnsAtOnce,  // ThreadProc returns on its own
        kStopsItself,    // calls DestroyThread(TRUE) from ThreadProc
    };

    TestWorker(Kind kind, int msgs, int tasks, BOOL detached = FALSE)
        : CThread(detached, msgs, tasks), m_Kind(kind)
    {
    }

    void ThreadProc() override
    {
        m_Blocking = false;
        m_Runs++;
        m_IdMatches = GetThreadID() == static_cast<int>(syscall(SYS_gettid));
        switch (m_Kind) {
        case kMessages:
            while (m_bLoop) {
                XMSG msg;
                m_Blocking = true;
                if (!RecvMsg(&msg, TRUE)) {
                    continue;
                }
                if (msg.msg == XM_QUIT) {
                    m_QuitMsgs++;
                } else if (m_OnMsg) {
                    m_OnMsg(msg);
                }
            }
            break;
        case kTasks:
            while (m_bLoop) {
                TASK task;
                m_Blocking = true;
                if (!GetTask(&task, TRUE)) {
                    continue;
                }
                if (task.type == TASKTYPE_QUIT) {
                    m_QuitTasks++;
                } else if (m_OnTask) {
                    m_OnTask(task);
                }
            }
            break;
        case kPolls:
            while (m_bLoop) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            break;
        case kReturnsAtOnce:
            break;
        case kStopsItself:
            m_SelfStop = DestroyThread(TRUE);
            break;
        }
        if (m_LingerMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(m_LingerMs));
        }
        m_Returns++;  // last touch of the object
    }

    // Waits (bounded) until ThreadProc has returned `count` times in all.
    bool WaitReturns(int count, int limitMs = 5000)
    {
        for (int i = 0; i < limitMs && m_Returns < count; i++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return m_Returns >= count;
    }

    // Waits (bounded) until run `run` has entered ThreadProc and, for the
    // queue kinds, reached its blocking receive.
    bool WaitSettled(int run, int limitMs = 5000)
    {
        bool blocks = m_Kind == kMessages || m_Kind == kTasks;
        for (int i = 0; i < limitMs; i++) {
            if (m_Runs >= run && (!blocks || m_Blocking || m_Returns >= run)) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    CMsgQue* MsgQue() { return m_pMsgQue; }
    CTaskQue* TaskQue() { return m_pTaskQue; }

    Kind m_Kind;
    unsigned m_LingerMs = 0;
    std::function<void(const XMSG&)> m_OnMsg;
    std::function<void(const TASK&)> m_OnTask;
    std::atomic<int> m_Runs{0};
    std::atomic<int> m_Returns{0};
    std::atomic<int> m_QuitMsgs{0};
    std::atomic<int> m_QuitTasks{0};
    std::atomic<bool> m_IdMatches{false};
    std::atomic<bool> m_Blocking{false};
    std::atomic<BOOL> m_SelfStop{FALSE};
};

#endif
