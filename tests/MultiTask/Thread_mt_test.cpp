// CThread start and stop with a real worker, every step under a watchdog.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "TestWorker.h"
#include "Watchdog.h"

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

struct KindCase {
    const char* name;
    TestWorker::Kind kind;
    int msgs;
    int tasks;
};

const KindCase kKinds[] = {
    {"Messages", TestWorker::kMessages, 32, 0},
    {"Tasks", TestWorker::kTasks, 0, 1024},
    {"Both", TestWorker::kMessages, 8, 1024},
    {"Polls", TestWorker::kPolls, 0, 0},
    {"ReturnsAtOnce", TestWorker::kReturnsAtOnce, 16, 1024},
};

std::string KindName(const testing::TestParamInfo<KindCase>& info)
{
    return info.param.name;
}

class ThreadLifecycle : public testing::TestWithParam<KindCase> {};

// DestroyThread(TRUE) returns only after ThreadProc returned, and the object
// can be started again at once.
TEST_P(ThreadLifecycle, StopWaitsForThreadProcThenRestarts)
{
    const KindCase& c = GetParam();
    TestWorker worker(c.kind, c.msgs, c.tasks);
    worker.m_LingerMs = 150;
    for (int run = 1; run <= 3; run++) {
        ASSERT_TRUE(worker.CreateThread(0));
        if (c.kind != TestWorker::kReturnsAtOnce) {
            EXPECT_FALSE(worker.IsThreadOver());
        }
        // Let the worker reach its blocking call (or return on its own).
        ASSERT_TRUE(worker.WaitSettled(run));
        Clock::time_point start = Clock::now();
        RunWithin("DestroyThread(TRUE)", [&] { EXPECT_TRUE(worker.DestroyThread(TRUE)); });
        EXPECT_EQ(run, worker.m_Returns.load()) << "ThreadProc returned before DestroyThread did";
        if (c.kind != TestWorker::kReturnsAtOnce) {
            EXPECT_GE(MsSince(start), 100) << "waited for the linger after the loop";
        }
        EXPECT_TRUE(worker.IsThreadOver());
        EXPECT_EQ(run, worker.m_Runs.load());
        EXPECT_TRUE(worker.m_IdMatches.load()) << "GetThreadID is the worker's kernel id";
        EXPECT_EQ(0u, worker.GetMsgCount()) << "nothing left queued for the next run";
        RunWithin("second DestroyThread", [&] { EXPECT_TRUE(worker.DestroyThread(TRUE)); });
    }
    if (c.kind == TestWorker::kMessages) {
        EXPECT_EQ(3, worker.m_QuitMsgs.load()) << "XM_QUIT woke the receiver each time";
    }
    if (c.kind == TestWorker::kTasks) {
        EXPECT_EQ(3, worker.m_QuitTasks.load()) << "the quit task woke the receiver each time";
    }
}

// Many quick start/stop cycles, stopping at once (racing the start) or
// after the worker settled.
TEST_P(ThreadLifecycle, ManyCycles)
{
    const KindCase& c = GetParam();
    TestWorker worker(c.kind, c.msgs, c.tasks);
    RunWithin(std::chrono::milliseconds(30000), "start/stop cycles", [&] {
        for (int i = 1; i <= 200; i++) {
            ASSERT_TRUE(worker.CreateThread(0)) << "cycle " << i;
            if (i % 4 == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            ASSERT_TRUE(worker.DestroyThread(TRUE)) << "cycle " << i;
            ASSERT_EQ(i, worker.m_Returns.load()) << "cycle " << i;
        }
    });
    EXPECT_EQ(200, worker.m_Runs.load());
}

INSTANTIATE_TEST_SUITE_P(Kinds, ThreadLifecycle, testing::ValuesIn(kKinds), KindName);

// A body that already returned gives no exit signal later: the stop must not
// wait for one, and must not leave a quit message for the next run.
TEST(ThreadEndedOnItsOwn, StopAfterwardsDoesNotHang)
{
    TestWorker worker(TestWorker::kReturnsAtOnce, 8, 8);
    for (int run = 1; run <= 3; run++) {
        ASSERT_TRUE(worker.CreateThread(0));
        ASSERT_TRUE(worker.WaitReturns(run));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the body's tail too
        EXPECT_FALSE(worker.IsThreadOver()) << "the run flag stays set until DestroyThread";
        RunWithin("DestroyThread(TRUE) after the body ended", [&] { EXPECT_TRUE(worker.DestroyThread(TRUE)); });
        EXPECT_TRUE(worker.IsThreadOver());
        EXPECT_EQ(0u, worker.GetMsgCount());
        EXPECT_EQ(0u, worker.TaskQue()->GetTaskCount());
    }
}

TEST(ThreadEndedOnItsOwn, StopWithoutWaitThenRestart)
{
    TestWorker worker(TestWorker::kMessages, 8, 0);
    worker.m_LingerMs = 50;
    RunWithin("stop without waiting, restart, stop", [&] {
        ASSERT_TRUE(worker.CreateThread(0));
        EXPECT_TRUE(worker.DestroyThread(FALSE));
        EXPECT_TRUE(worker.IsThreadOver());
        // Blocks until the first run has returned, then starts the second.
        ASSERT_TRUE(worker.CreateThread(0));
        EXPECT_EQ(1, worker.m_Returns.load());
        EXPECT_TRUE(worker.DestroyThread(TRUE));
        EXPECT_EQ(2, worker.m_Returns.load());
    });
}

// A waited stop after one that did not wait still returns only after the
// run's ThreadProc returned, so the object may be deleted right after it.
TEST(ThreadEndedOnItsOwn, WaitedStopAfterUnwaitedStop)
{
    TestWorker worker(TestWorker::kMessages, 8, 0);
    worker.m_LingerMs = 150;
    ASSERT_TRUE(worker.CreateThread(0));
    ASSERT_TRUE(worker.WaitSettled(1));
    RunWithin("stop without waiting, then waited stop", [&] {
        EXPECT_TRUE(worker.DestroyThread(FALSE));
        EXPECT_EQ(0, worker.m_Returns.load()) << "did not wait for the linger";
        EXPECT_TRUE(worker.DestroyThread(TRUE));
        EXPECT_EQ(1, worker.m_Returns.load());
        EXPECT_EQ(1, worker.m_QuitMsgs.load()) << "the second stop sent no second quit";
        EXPECT_EQ(0u, worker.GetMsgCount());
    });
}

TEST(ThreadStopsItself, NeitherWaitsNorJoinsAndCanRestart)
{
    TestWorker worker(TestWorker::kStopsItself, 8, 8);
    for (int run = 1; run <= 3; run++) {
        ASSERT_TRUE(worker.CreateThread(0));
        ASSERT_TRUE(worker.WaitReturns(run)) << "the self-stop returned instead of waiting for itself";
        EXPECT_TRUE(worker.m_SelfStop.load());
        EXPECT_TRUE(worker.IsThreadOver());
        RunWithin("DestroyThread(TRUE) after a self-stop", [&] { EXPECT_TRUE(worker.DestroyThread(TRUE)); });
        EXPECT_EQ(0u, worker.GetMsgCount()) << "the quit message was dropped by the body";
    }
}

// Address space in kB (VmSize), or -1.
long VmSizeKb()
{
    FILE* f = fopen("/proc/self/status", "r");
    if (f == nullptr) {
        return -1;
    }
    char line[256];
    long kb = -1;
    while (fgets(line, sizeof(line), f) != nullptr) {
        if (sscanf(line, "VmSize: %ld kB", &kb) == 1) {
            break;
        }
    }
    fclose(f);
    return kb;
}

struct ReapCase {
    const char* name;
    TestWorker::Kind kind;
    BOOL waited;
};

class ThreadReap : public testing::TestWithParam<ReapCase> {};

// Runs that were not joined by their stop (a self-stop, or a stop without
// waiting) are joined by the next start: their stacks do not pile up.
TEST_P(ThreadReap, UnjoinedRunsAreJoinedLater)
{
    const ReapCase& c = GetParam();
    const int kCycles = 100;
    auto cycles = [&](TestWorker& worker, int base) {
        for (int i = 1; i <= kCycles; i++) {
            ASSERT_TRUE(worker.CreateThread(0));
            if (c.kind == TestWorker::kStopsItself) {
                ASSERT_TRUE(worker.WaitReturns(base + i));
            }
            ASSERT_TRUE(worker.DestroyThread(c.waited));
        }
    };
    TestWorker worker(c.kind, 4, 0);
    RunWithin(std::chrono::milliseconds(30000), "unjoined cycles", [&] {
        cycles(worker, 0);  // warm up the allocators and the stack cache
        long before = VmSizeKb();
        cycles(worker, kCycles);
        long after = VmSizeKb();
        ASSERT_GT(before, 0);
        // Each leaked run would keep a stack of several MB mapped (hundreds of MB
        // for the lot); the allowance covers stacks cached by the C library and,
        // under an emulator, the emulator's own per-thread memory.
        EXPECT_LT(after - before, 160L * 1024) << "kB grown over " << kCycles << " runs";
        EXPECT_TRUE(worker.DestroyThread(TRUE));
    });
}

INSTANTIATE_TEST_SUITE_P(Stops, ThreadReap,
                         testing::Values(ReapCase{"StopsItself", TestWorker::kStopsItself, TRUE},
                                         ReapCase{"StopWithoutWait", TestWorker::kMessages, FALSE}),
                         [](const testing::TestParamInfo<ReapCase>& info) { return info.param.name; });

// A body that ends as soon as its run flag is cleared may have emptied its
// queue before the stop's quit message arrives: after a waited stop no quit
// is left over for the next run.
class CSpinner : public CThread {
public:
    CSpinner() : CThread(FALSE, 4, 0) {}

protected:
    void ThreadProc() override
    {
        while (m_bLoop) {
        }
    }
};

TEST(ThreadStop, NoQuitLeftForTheNextRun)
{
    CSpinner worker;
    for (int run = 0; run < 300; run++) {
        ASSERT_TRUE(worker.CreateThread(0));
        std::this_thread::sleep_for(std::chrono::microseconds(run % 7 * 150));
        ASSERT_TRUE(worker.DestroyThread(TRUE));
        ASSERT_EQ(0u, worker.GetMsgCount()) << "run " << run;
    }
}

// The quit message is not queued into a full queue; the worker still sees the
// cleared flag and ends.
TEST(ThreadStop, FullQueueStillStops)
{
    TestWorker worker(TestWorker::kMessages, 4, 0);
    std::atomic<bool> release{false};
    std::atomic<int> handled{0};
    worker.m_OnMsg = [&](const XMSG&) {
        while (!release) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        handled++;
    };
    ASSERT_TRUE(worker.CreateThread(0));
    ASSERT_TRUE(worker.SendMsg(XM_TIMER, 0, 0, MSG_PRIORITY_NORMAL));
    while (worker.GetMsgCount() != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (int i = 0; i < 4; i++) {
        ASSERT_TRUE(worker.SendMsg(XM_TIMER, 1, 0, MSG_PRIORITY_NORMAL));
    }
    EXPECT_FALSE(worker.SendMsg(XM_TIMER, 2, 0, MSG_PRIORITY_NORMAL));
    std::thread releaser([&] {
        while (!worker.IsThreadOver()) {  // the run flag is cleared before the quit is sent
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        release = true;
    });
    RunWithin("DestroyThread(TRUE) with a full queue", [&] { EXPECT_TRUE(worker.DestroyThread(TRUE)); });
    releaser.join();
    EXPECT_EQ(1, worker.m_Returns.load());
    EXPECT_EQ(0, worker.m_QuitMsgs.load());
    EXPECT_EQ(0u, worker.GetMsgCount()) << "the body dropped what was left";
}

class ThreadPriority : public testing::TestWithParam<int> {};

// On the host a refused real-time priority falls back to default scheduling.
TEST_P(ThreadPriority, StartsAndStops)
{
    TestWorker worker(TestWorker::kPolls, 0, 0);
    ASSERT_TRUE(worker.CreateThread(GetParam()));
    for (int i = 0; i < 5000 && worker.m_Runs == 0; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(1, worker.m_Runs.load()) << "the worker runs";
    RunWithin("DestroyThread(TRUE)", [&] { EXPECT_TRUE(worker.DestroyThread(TRUE)); });
    EXPECT_EQ(1, worker.m_Runs.load());
    EXPECT_EQ(1, worker.m_Returns.load());
}

INSTANTIATE_TEST_SUITE_P(Values, ThreadPriority, testing::Values(0, 1, 50, 99));

TEST(ThreadDetached, RunsOnceAndStopDoesNotWait)
{
    TestWorker worker(TestWorker::kPolls, 4, 0, TRUE);
    ASSERT_TRUE(worker.CreateThread(0));
    RunWithin("DestroyThread(TRUE) on a detached worker", [&] { EXPECT_TRUE(worker.DestroyThread(TRUE)); });
    EXPECT_TRUE(worker.WaitReturns(1));
    EXPECT_FALSE(worker.CreateThread(0)) << "a detached object runs once";
    EXPECT_EQ(1, worker.m_Runs.load());
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

TEST(ThreadQueues, WorkerReceivesInPriorityOrder)
{
    TestWorker worker(TestWorker::kTasks, 0, 16);
    std::mutex m;
    std::vector<unsigned> got;
    std::atomic<bool> gate{false};
    worker.m_OnTask = [&](const TASK& task) {
        while (!gate) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::lock_guard<std::mutex> lock(m);
        got.push_back(task.priv);
    };
    ASSERT_TRUE(worker.CreateThread(0));
    TASK task;
    memset(&task, 0, sizeof(task));
    task.type = TASKTYPE_TIMER;
    task.priv = 0;  // held by the worker while the rest queue up
    ASSERT_TRUE(worker.PutTask(&task, TASK_PRIORITY_NORMAL));
    while (worker.TaskQue()->GetTaskCount() != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const int prios[] = {1, 1, 1, 0, 0};
    for (unsigned i = 0; i < 5; i++) {
        task.priv = i + 1;
        ASSERT_TRUE(worker.PutTask(&task, prios[i]));
    }
    gate = true;
    RunWithin("draining", [&] {
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(m);
                if (got.size() == 6) {
                    break;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    RunWithin("DestroyThread(TRUE)", [&] { EXPECT_TRUE(worker.DestroyThread(TRUE)); });
    EXPECT_EQ((std::vector<unsigned>{0, 5, 4, 1, 2, 3}), got);
}

}  // namespace
