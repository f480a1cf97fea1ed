// Many producers, one CThread consumer: every message and task arrives
// exactly once, normal ones in each producer's order.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "MultiTask/Semaphore.h"
#include "TestWorker.h"
#include "Watchdog.h"

namespace {

const unsigned kProducers = 8;
const unsigned kPerProducer = 10000;
const unsigned kTotal = kProducers * kPerProducer;

// Records what the consumer saw; checked after the run.
struct Ledger {
    std::vector<std::vector<unsigned>> seqs{kProducers};  // per producer, in arrival order
    std::vector<std::vector<bool>> normal{kProducers};
    std::atomic<unsigned> count{0};
    bool bad = false;

    void Add(unsigned producer, unsigned seq, bool isNormal)
    {
        if (producer >= kProducers || seq >= kPerProducer) {
            bad = true;
        } else {
            seqs[producer].push_back(seq);
            normal[producer].push_back(isNormal);
        }
        count++;
    }

    bool WaitFor(unsigned total, int limitMs)
    {
        for (int i = 0; i < limitMs && count < total; i++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return count >= total;
    }

    // Every sequence once; normal ones in order.
    void Check(const std::vector<std::vector<bool>>* removed = nullptr)
    {
        EXPECT_FALSE(bad) << "a record came back changed";
        for (unsigned p = 0; p < kProducers; p++) {
            std::vector<int> seen(kPerProducer, 0);
            unsigned lastNormal = 0;
            bool anyNormal = false;
            for (size_t i = 0; i < seqs[p].size(); i++) {
                unsigned s = seqs[p][i];
                seen[s]++;
                if (normal[p][i]) {
                    if (anyNormal) {
                        EXPECT_LT(lastNormal, s) << "producer " << p << " out of order";
                    }
                    lastNormal = s;
                    anyNormal = true;
                }
            }
            for (unsigned s = 0; s < kPerProducer; s++) {
                int expected = (removed != nullptr && (*removed)[p][s]) ? 0 : 1;
                ASSERT_EQ(expected, seen[s]) << "producer " << p << " seq " << s;
            }
        }
    }
};

// Producers take a slot before each put and the consumer gives it back, so
// the queue never holds more than the slots and no put may be refused.
const long kSlots = 1000;

struct StressCase {
    const char* name;
    unsigned highestEvery;  // 0: all normal
};

class QueueStress : public testing::TestWithParam<StressCase> {};

bool IsHighest(unsigned seq, unsigned every)
{
    return every != 0 && seq % every == every - 1;
}

TEST_P(QueueStress, MessagesThroughCThread)
{
    const unsigned every = GetParam().highestEvery;
    TestWorker worker(TestWorker::kMessages, 1024, 0);
    CSemaphore slots(kSlots);
    Ledger ledger;
    worker.m_OnMsg = [&](const XMSG& msg) {
        ledger.Add(msg.wpa, msg.lpa, msg.msg == XM_TIMER);
        slots.Post();
    };
    ASSERT_TRUE(worker.CreateThread(0));
    std::atomic<unsigned> refused{0};
    RunWithin(std::chrono::milliseconds(60000), "message stress", [&] {
        std::vector<std::thread> producers;
        for (unsigned p = 0; p < kProducers; p++) {
            producers.emplace_back([&, p] {
                for (unsigned s = 0; s < kPerProducer; s++) {
                    slots.Wait();
                    bool high = IsHighest(s, every);
                    if (!worker.SendMsg(high ? XM_SNAPSHOT : XM_TIMER, p, s,
                                        high ? MSG_PRIORITY_HIGHTEST : MSG_PRIORITY_NORMAL)) {
                        refused++;
                        slots.Post();
                    }
                }
            });
        }
        for (std::thread& t : producers) {
            t.join();
        }
        EXPECT_TRUE(ledger.WaitFor(kTotal - refused, 30000));
        EXPECT_TRUE(worker.DestroyThread(TRUE));
    });
    EXPECT_EQ(0u, refused.load());
    EXPECT_EQ(kTotal, ledger.count.load());
    ledger.Check();
}

TEST_P(QueueStress, TasksThroughCThread)
{
    const unsigned every = GetParam().highestEvery;
    TestWorker worker(TestWorker::kTasks, 0, 1024);
    CSemaphore slots(kSlots);
    Ledger ledger;
    worker.m_OnTask = [&](const TASK& task) {
        if (task.context.timer.lpa != ~task.context.timer.wpa) {
            ledger.bad = true;
        }
        ledger.Add(task.priv, task.context.timer.wpa, task.priority == TASK_PRIORITY_NORMAL);
        slots.Post();
    };
    ASSERT_TRUE(worker.CreateThread(0));
    std::atomic<unsigned> refused{0};
    RunWithin(std::chrono::milliseconds(60000), "task stress", [&] {
        std::vector<std::thread> producers;
        for (unsigned p = 0; p < kProducers; p++) {
            producers.emplace_back([&, p] {
                TASK task;
                memset(&task, 0, sizeof(task));
                task.type = TASKTYPE_TIMER;
                task.priv = p;
                for (unsigned s = 0; s < kPerProducer; s++) {
                    slots.Wait();
                    task.priority = IsHighest(s, every) ? TASK_PRIORITY_HIGHTEST : TASK_PRIORITY_NORMAL;
                    task.context.timer.wpa = s;
                    task.context.timer.lpa = ~s;
                    if (!worker.PutTask(&task, task.priority)) {
                        refused++;
                        slots.Post();
                    }
                }
            });
        }
        for (std::thread& t : producers) {
            t.join();
        }
        EXPECT_TRUE(ledger.WaitFor(kTotal - refused, 30000));
        EXPECT_TRUE(worker.DestroyThread(TRUE));
    });
    EXPECT_EQ(0u, refused.load());
    EXPECT_EQ(kTotal, ledger.count.load());
    ledger.Check();
    // 1000 in flight at most, plus the quit task: 17 blocks of 63 at most.
    EXPECT_LE(worker.TaskQue()->GetTaskBlockCount(), 17u);
}

INSTANTIATE_TEST_SUITE_P(Mixes, QueueStress,
                         testing::Values(StressCase{"AllNormal", 0}, StressCase{"EverySeventhHighest", 7}),
                         [](const testing::TestParamInfo<StressCase>& info) { return info.param.name; });

// Removal by key from another thread while producers put and the worker
// takes: removal never blocks, and each task is either taken or removed.
std::atomic<unsigned> g_RemovedCount{0};
std::vector<std::vector<bool>>* g_Removed = nullptr;
CSemaphore* g_Slots = nullptr;

int NoteRemoved(TASK* task)
{
    (*g_Removed)[task->priv][task->context.timer.wpa] = true;
    g_RemovedCount++;
    g_Slots->Post();
    return 0;
}

TEST(QueueStressRemove, RemovalRacesTheConsumer)
{
    TestWorker worker(TestWorker::kTasks, 0, 1024);
    CSemaphore slots(kSlots);
    Ledger ledger;
    std::vector<std::vector<bool>> removed(kProducers, std::vector<bool>(kPerProducer, false));
    g_Removed = &removed;
    g_Slots = &slots;
    g_RemovedCount = 0;
    worker.m_OnTask = [&](const TASK& task) {
        ledger.Add(task.priv, task.context.timer.wpa, true);
        slots.Post();
    };
    ASSERT_TRUE(worker.CreateThread(0));
    RunWithin(std::chrono::milliseconds(60000), "removal stress", [&] {
        std::atomic<bool> producing{true};
        std::thread remover([&] {
            while (producing) {
                // Only the remover touches `removed`: the worker never sees
                // a removed task, so the vectors are not shared.
                worker.TaskQue()->RemoveTaskByPrivData(kProducers - 1, NoteRemoved);
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        std::vector<std::thread> producers;
        for (unsigned p = 0; p < kProducers; p++) {
            producers.emplace_back([&, p] {
                TASK task;
                memset(&task, 0, sizeof(task));
                task.type = TASKTYPE_TIMER;
                task.priv = p;
                for (unsigned s = 0; s < kPerProducer; s++) {
                    slots.Wait();
                    task.context.timer.wpa = s;
                    EXPECT_TRUE(worker.PutTask(&task, TASK_PRIORITY_NORMAL));
                }
            });
        }
        for (std::thread& t : producers) {
            t.join();
        }
        producing = false;
        remover.join();
        EXPECT_TRUE(ledger.WaitFor(kTotal - g_RemovedCount, 30000));
        EXPECT_TRUE(worker.DestroyThread(TRUE));
    });
    EXPECT_EQ(kTotal, ledger.count.load() + g_RemovedCount.load());
    ledger.Check(&removed);
    g_Removed = nullptr;
    g_Slots = nullptr;
}

// Senders keep going while the worker is stopped and started again.
TEST(QueueStressRestart, SendersDuringStartStopCycles)
{
    TestWorker worker(TestWorker::kMessages, 64, 0);
    std::atomic<unsigned> handled{0};
    worker.m_OnMsg = [&](const XMSG&) { handled++; };
    std::atomic<bool> sending{true};
    std::atomic<unsigned> accepted{0};
    RunWithin(std::chrono::milliseconds(60000), "cycles with senders", [&] {
        std::vector<std::thread> senders;
        for (unsigned p = 0; p < 4; p++) {
            senders.emplace_back([&] {
                while (sending) {
                    if (worker.SendMsg(XM_TIMER, 0, 0, MSG_PRIORITY_NORMAL)) {
                        accepted++;
                    }
                    std::this_thread::yield();
                }
            });
        }
        for (int i = 1; i <= 100; i++) {
            ASSERT_TRUE(worker.CreateThread(0));
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            ASSERT_TRUE(worker.DestroyThread(TRUE));
            ASSERT_EQ(i, worker.m_Returns.load());
        }
        sending = false;
        for (std::thread& t : senders) {
            t.join();
        }
    });
    EXPECT_GT(handled.load(), 0u);
    EXPECT_LE(handled.load(), accepted.load());
}

}  // namespace
