// CThread without a running worker: forwarding, the timeout, stopping an idle
// object, and a failed start.
#include <gtest/gtest.h>

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "Function/SystemTime.h"
#include "MultiTask/Thread.h"
#include "Platform/Clock.h"

namespace {

class IdleThread : public CThread {
public:
    IdleThread(int msgs, int tasks) : CThread(FALSE, msgs, tasks) {}
    void ThreadProc() override
    {
        while (m_bLoop) {
            XMSG msg;
            RecvMsg(&msg, TRUE);
        }
    }
    CMsgQue* MsgQue() { return m_pMsgQue; }
    CTaskQue* TaskQue() { return m_pTaskQue; }
};

struct QueueSizes {
    int msgs;
    int tasks;
};

class ThreadQueues : public testing::TestWithParam<QueueSizes> {};

TEST_P(ThreadQueues, CreatedOnlyAboveZeroAndForwarded)
{
    const QueueSizes& c = GetParam();
    IdleThread thread(c.msgs, c.tasks);
    const bool hasMsgs = c.msgs > 0;
    const bool hasTasks = c.tasks > 0;
    EXPECT_EQ(hasMsgs, thread.MsgQue() != nullptr);
    EXPECT_EQ(hasTasks, thread.TaskQue() != nullptr);
    if (hasMsgs) {
        EXPECT_EQ(c.msgs, thread.MsgQue()->GetMsgSize());
    }

    EXPECT_EQ(hasMsgs, thread.SendMsg(XM_TIMER, 1, 0xFFFFFFFFu, MSG_PRIORITY_NORMAL) == TRUE);
    EXPECT_EQ(hasMsgs ? 1u : 0u, thread.GetMsgCount());
    EXPECT_FALSE(thread.SendMsg(XM_TIMER, 1, 0, -1)) << "a negative priority is out of range";
    EXPECT_FALSE(thread.SendMsg(XM_TIMER, 1, 0, MSG_PRIORITY_ILL));
    XMSG msg;
    memset(&msg, 0, sizeof(msg));
    EXPECT_EQ(hasMsgs, thread.RecvMsg(&msg, FALSE) == TRUE);
    if (hasMsgs) {
        EXPECT_EQ(0xFFFFFFFFu, msg.lpa);
    }
    EXPECT_FALSE(thread.RecvMsg(&msg, FALSE));
    thread.SendMsg(XM_TIMER, 2, 0, MSG_PRIORITY_NORMAL);
    thread.ClearMsg();
    EXPECT_EQ(0u, thread.GetMsgCount());
    thread.QuitMsg();
    EXPECT_FALSE(thread.SendMsg(XM_TIMER, 3, 0, MSG_PRIORITY_NORMAL));

    TASK task;
    memset(&task, 0, sizeof(task));
    task.type = TASKTYPE_HEART_BEAT;
    task.context.heartbeat.wpa = 77;
    EXPECT_EQ(hasTasks, thread.PutTask(&task, TASK_PRIORITY_NORMAL) == TRUE);
    TASK out;
    memset(&out, 0, sizeof(out));
    EXPECT_EQ(hasTasks, thread.GetTask(&out, FALSE) == TRUE);
    if (hasTasks) {
        EXPECT_EQ(77u, out.context.heartbeat.wpa);
    }
    EXPECT_FALSE(thread.GetTask(&out, FALSE));
}

INSTANTIATE_TEST_SUITE_P(Sizes, ThreadQueues,
                         testing::Values(QueueSizes{0, 0}, QueueSizes{32, 0}, QueueSizes{0, 1024},
                                         QueueSizes{1024, 1024}, QueueSizes{-1, -5}));

TEST(ThreadIdle, DestroyWithoutStartSendsNothing)
{
    IdleThread thread(4, 4);
    EXPECT_TRUE(thread.IsThreadOver());
    EXPECT_EQ(0, thread.GetThreadID());
    EXPECT_TRUE(thread.DestroyThread(TRUE));
    EXPECT_TRUE(thread.DestroyThread(FALSE));
    EXPECT_EQ(0u, thread.GetMsgCount());
    EXPECT_EQ(0u, thread.TaskQue()->GetTaskCount());
    EXPECT_TRUE(thread.IsThreadOver());
}

// The timeout is tested by moving the board's millisecond clock.
class ThreadTimeout : public testing::Test {
protected:
    void SetUp() override { m_SavedOffset = PlatformMSOffset(); }
    void TearDown() override { PlatformSetMSOffset(m_SavedOffset); }

    // Makes SystemGetMSCount() read about `now`.
    static void SetNow(uint32_t now)
    {
        uint32_t raw = SystemGetMSCount() - PlatformMSOffset();
        PlatformSetMSOffset(now - raw);
    }

    uint32_t m_SavedOffset = 0;
    IdleThread m_Thread{0, 0};
};

TEST_F(ThreadTimeout, NoDeadlineNeverTimesOut)
{
    EXPECT_FALSE(m_Thread.IsTimeout()) << "none after construction";
    SetNow(1000);
    m_Thread.SetTimeout(0);
    SetNow(0xF0000000u);
    EXPECT_FALSE(m_Thread.IsTimeout());
}

TEST_F(ThreadTimeout, DeadlinePassesOnlyAfterItsTime)
{
    SetNow(100000);
    m_Thread.SetTimeout(500);
    EXPECT_FALSE(m_Thread.IsTimeout());
    SetNow(100400);
    EXPECT_FALSE(m_Thread.IsTimeout());
    SetNow(100700);
    EXPECT_TRUE(m_Thread.IsTimeout());
    m_Thread.SetTimeout(0);
    EXPECT_FALSE(m_Thread.IsTimeout()) << "cleared";
}

struct WrapCase {
    uint32_t now;
    uint32_t ms;
    bool deadlineSet;
};

class ThreadTimeoutWrap : public ThreadTimeout, public testing::WithParamInterface<WrapCase> {};

// A deadline past 2^32 is treated as none.
TEST_P(ThreadTimeoutWrap, WrappingDeadlineIsNone)
{
    const WrapCase& c = GetParam();
    SetNow(c.now);
    m_Thread.SetTimeout(c.ms);
    SetNow(c.now + c.ms + 100000u);  // well past the deadline (or past the wrap)
    EXPECT_EQ(c.deadlineSet, m_Thread.IsTimeout() == TRUE);
}

INSTANTIATE_TEST_SUITE_P(NearWrap, ThreadTimeoutWrap,
                         testing::Values(WrapCase{0x10000000u, 60000u, true},
                                         WrapCase{0xFFF00000u, 60000u, true},
                                         WrapCase{0xFFFFF000u, 0x2000u, false},
                                         WrapCase{0xFFFFFFF0u, 0xFFFFFFF0u, false}));

// Starting fails for good when the process may not create any more threads:
// in a child dropped to an unprivileged user with RLIMIT_NPROC at 1.
enum ChildResult { kPassed = 0, kNoSetup = 2, kStartedDespiteLimit = 3, kStateWrong = 4, kNoRestart = 5 };

int FailedStartInChild()
{
    alarm(10);  // a hang fails the child instead of blocking the test
    if (setgroups(0, nullptr) != 0 && geteuid() == 0) {
        return kNoSetup;
    }
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
        return kNoSetup;
    }
    struct rlimit saved;
    if (getrlimit(RLIMIT_NPROC, &saved) != 0) {
        return kNoSetup;
    }
    struct rlimit tight = saved;
    tight.rlim_cur = 1;
    if (setrlimit(RLIMIT_NPROC, &tight) != 0) {
        return kNoSetup;
    }

    IdleThread thread(8, 8);
    for (int attempt = 0; attempt < 3; attempt++) {
        if (thread.CreateThread(0)) {
            return kStartedDespiteLimit;
        }
        // Run flag clear, token back: a stop returns at once, sending nothing.
        if (!thread.IsThreadOver() || !thread.DestroyThread(TRUE) || thread.GetMsgCount() != 0 ||
            thread.TaskQue()->GetTaskCount() != 0) {
            return kStateWrong;
        }
    }

    if (setrlimit(RLIMIT_NPROC, &saved) != 0) {
        return kNoSetup;
    }
    if (!thread.CreateThread(0) || thread.IsThreadOver()) {
        return kNoRestart;
    }
    if (!thread.DestroyThread(TRUE) || !thread.IsThreadOver()) {
        return kStateWrong;
    }
    return kPassed;
}

TEST(ThreadStart, FailureLeavesObjectUsable)
{
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        _exit(FailedStartInChild());
    }
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    ASSERT_FALSE(WIFSIGNALED(status)) << "child killed by signal " << WTERMSIG(status);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kNoSetup) {
        GTEST_SKIP() << "cannot limit thread creation here";
    }
    EXPECT_EQ(kPassed, WEXITSTATUS(status));
}

}  // namespace
