// MessageQ across threads: waiting, waking, closing, and many producers.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "MultiTask/MessageQ.h"
#include "Watchdog.h"

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

struct Item {
    uint32_t producer;
    uint32_t seq;
};

class MessageQThreads : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(SUCCEED, m_Q.init());
        ASSERT_EQ(SUCCEED, m_Q.open());
    }

    ERR_CODE_E SendItem(uint32_t producer, uint32_t seq, uint32_t waitMs)
    {
        Item item{producer, seq};
        return m_Q.send(MSG_TYPE_ADD, &item, sizeof(item), waitMs);
    }

    MessageQ m_Q;
};

TEST_F(MessageQThreads, WaitingRecvReturnsWhenAMessageArrives)
{
    for (uint32_t limit : {5000u, MessageQ::MESSAGEQ_WAIT_FOREVER}) {
        std::thread sender([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            EXPECT_EQ(SUCCEED, SendItem(1, 2, 0));
        });
        RunWithin("recv with a pending sender", [&] {
            MSG_NODE_T node;
            ASSERT_EQ(SUCCEED, m_Q.recv(&node, limit));
            ASSERT_EQ(static_cast<int>(sizeof(Item)), node.size);
            Item item;
            memcpy(&item, node.msg, sizeof(item));
            EXPECT_EQ(2u, item.seq);
            m_Q.free(&node);
        });
        sender.join();
    }
}

TEST_F(MessageQThreads, CloseWakesEveryBlockedReceiver)
{
    const int kReceivers = 4;
    std::atomic<int> waiting{0};
    std::atomic<int> failed{0};
    RunWithin("close with blocked receivers", [&] {
        std::vector<std::thread> receivers;
        for (int i = 0; i < kReceivers; i++) {
            receivers.emplace_back([&, i] {
                MSG_NODE_T node;
                waiting++;
                uint32_t limit = i % 2 ? MessageQ::MESSAGEQ_WAIT_FOREVER : 60000u;
                if (m_Q.recv(&node, limit) == FAILED) {
                    failed++;
                } else {
                    m_Q.free(&node);
                }
            });
        }
        while (waiting < kReceivers) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // into the wait
        EXPECT_EQ(SUCCEED, m_Q.close());
        for (std::thread& t : receivers) {
            t.join();
        }
    });
    EXPECT_EQ(kReceivers, failed.load());
}

TEST_F(MessageQThreads, LockLimitsWhileAnotherThreadHoldsTheMutex)
{
    std::atomic<bool> held{false};
    std::atomic<bool> release{false};
    std::thread holder([&] {
        ASSERT_EQ(SUCCEED, m_Q.lock(MessageQ::MESSAGEQ_WAIT_FOREVER));
        held = true;
        while (!release) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        m_Q.unlock();
    });
    while (!held) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    RunWithin("limited locks", [&] {
        EXPECT_EQ(FAILED, m_Q.lock(0));
        Clock::time_point start = Clock::now();
        EXPECT_EQ(FAILED, m_Q.lock(200));
        EXPECT_GE(MsSince(start), 180);

        start = Clock::now();
        EXPECT_EQ(FAILED, SendItem(0, 0, 150)) << "send gives up when the mutex stays taken";
        EXPECT_GE(MsSince(start), 130);

        MSG_NODE_T node;
        start = Clock::now();
        EXPECT_EQ(FAILED, m_Q.recv(&node, 150));
        EXPECT_GE(MsSince(start), 130);
    });
    release = true;
    holder.join();
    MSG_NODE_T node;
    EXPECT_EQ(FAILED, m_Q.recv(&node, 0)) << "the refused send queued nothing";
    EXPECT_EQ(SUCCEED, m_Q.lock(100));
    EXPECT_EQ(SUCCEED, m_Q.unlock());
}

struct StressCase {
    const char* name;
    int consumers;
    uint32_t recvLimitMs;
};

class MessageQStress : public MessageQThreads, public testing::WithParamInterface<StressCase> {};

// 8 producers x 10,000 messages; every message arrives exactly once, and
// with a single consumer each producer's messages arrive in order.
TEST_P(MessageQStress, EveryMessageOnce)
{
    const StressCase& c = GetParam();
    const uint32_t kProducers = 8;
    const uint32_t kPerProducer = 10000;
    const uint32_t kTotal = kProducers * kPerProducer;
    std::atomic<uint32_t> received{0};
    std::atomic<bool> bad{false};
    std::vector<std::vector<std::vector<uint32_t>>> seen(
        static_cast<size_t>(c.consumers), std::vector<std::vector<uint32_t>>(kProducers));

    RunWithin(std::chrono::milliseconds(60000), "MessageQ stress", [&] {
        std::vector<std::thread> consumers;
        for (int k = 0; k < c.consumers; k++) {
            consumers.emplace_back([&, k] {
                while (received < kTotal) {
                    MSG_NODE_T node;
                    if (m_Q.recv(&node, c.recvLimitMs) != SUCCEED) {
                        continue;
                    }
                    Item item;
                    if (node.type != MSG_TYPE_ADD || node.size != static_cast<int>(sizeof(item))) {
                        bad = true;
                    } else {
                        memcpy(&item, node.msg, sizeof(item));
                        if (item.producer < kProducers) {
                            seen[static_cast<size_t>(k)][item.producer].push_back(item.seq);
                        } else {
                            bad = true;
                        }
                    }
                    m_Q.free(&node);
                    received++;
                }
            });
        }
        std::vector<std::thread> producers;
        for (uint32_t p = 0; p < kProducers; p++) {
            producers.emplace_back([&, p] {
                for (uint32_t s = 0; s < kPerProducer; s++) {
                    EXPECT_EQ(SUCCEED, SendItem(p, s, 1000));
                }
            });
        }
        for (std::thread& t : producers) {
            t.join();
        }
        for (std::thread& t : consumers) {
            t.join();
        }
    });

    EXPECT_FALSE(bad.load());
    EXPECT_EQ(kTotal, received.load());
    for (uint32_t p = 0; p < kProducers; p++) {
        std::vector<int> count(kPerProducer, 0);
        for (int k = 0; k < c.consumers; k++) {
            const std::vector<uint32_t>& got = seen[static_cast<size_t>(k)][p];
            for (size_t i = 0; i < got.size(); i++) {
                ASSERT_LT(got[i], kPerProducer);
                count[got[i]]++;
                if (i > 0) {
                    // One consumer sees each producer's messages in order;
                    // so does each of several, within its own share.
                    EXPECT_LT(got[i - 1], got[i]) << "producer " << p << " consumer " << k;
                }
            }
        }
        for (uint32_t s = 0; s < kPerProducer; s++) {
            ASSERT_EQ(1, count[s]) << "producer " << p << " seq " << s;
        }
    }
    MSG_NODE_T node;
    EXPECT_EQ(FAILED, m_Q.recv(&node, 0));
}

INSTANTIATE_TEST_SUITE_P(Consumers, MessageQStress,
                         testing::Values(StressCase{"OneConsumerLimited", 1, 100},
                                         StressCase{"ThreeConsumersLimited", 3, 20},
                                         StressCase{"OneConsumerPolling", 1, 0}),
                         [](const testing::TestParamInfo<StressCase>& info) { return info.param.name; });

}  // namespace
