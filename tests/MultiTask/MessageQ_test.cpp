#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "MultiTask/MessageQ.h"

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

class MessageQTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(SUCCEED, m_Q.init());
        ASSERT_EQ(SUCCEED, m_Q.open());
    }

    ERR_CODE_E SendText(const std::string& text, uint32_t waitMs = 0)
    {
        return m_Q.send(MSG_TYPE_ADD, const_cast<char*>(text.data()), static_cast<int>(text.size()), waitMs);
    }

    // Receives one message and returns its payload as text ("" for none).
    std::string RecvText(uint32_t waitMs = 0)
    {
        MSG_NODE_T node;
        memset(&node, 0, sizeof(node));
        EXPECT_EQ(SUCCEED, m_Q.recv(&node, waitMs));
        std::string text = node.msg != nullptr ? std::string(static_cast<char*>(node.msg), node.size) : "";
        EXPECT_EQ(SUCCEED, m_Q.free(&node));
        EXPECT_EQ(nullptr, node.msg);
        return text;
    }

    MessageQ m_Q;
};

TEST_F(MessageQTest, FirstInFirstOut)
{
    ASSERT_EQ(SUCCEED, SendText("one"));
    ASSERT_EQ(SUCCEED, SendText("two", 100));
    ASSERT_EQ(SUCCEED, SendText("three", MessageQ::MESSAGEQ_WAIT_FOREVER));
    EXPECT_EQ("one", RecvText(0));
    EXPECT_EQ("two", RecvText(100));
    EXPECT_EQ("three", RecvText(MessageQ::MESSAGEQ_WAIT_FOREVER));
    MSG_NODE_T node;
    EXPECT_EQ(FAILED, m_Q.recv(&node, 0));
}

struct BadSend {
    const char* name;
    int type;
    bool nullPayload;
    int size;
};

class MessageQBadSend : public MessageQTest, public testing::WithParamInterface<BadSend> {};

TEST_P(MessageQBadSend, RefusedAndNothingQueued)
{
    const BadSend& c = GetParam();
    char payload[8] = "payload";
    EXPECT_EQ(FAILED, m_Q.send(static_cast<MSG_TYPE_E>(c.type), c.nullPayload ? nullptr : payload, c.size, 0));
    MSG_NODE_T node;
    EXPECT_EQ(FAILED, m_Q.recv(&node, 0));
}

INSTANTIATE_TEST_SUITE_P(Cases, MessageQBadSend,
                         testing::Values(BadSend{"NullPayload", MSG_TYPE_ADD, true, 4},
                                         BadSend{"ZeroSize", MSG_TYPE_ADD, false, 0},
                                         BadSend{"NegativeSize", MSG_TYPE_ADD, false, -1},
                                         BadSend{"NullAndZero", MSG_TYPE_ADD, true, 0},
                                         BadSend{"UnknownTypeZero", 0, false, 4},
                                         BadSend{"UnknownTypeThree", 3, false, 4}),
                         [](const testing::TestParamInfo<BadSend>& info) { return info.param.name; });

TEST_F(MessageQTest, ExitMarkerHasNoPayload)
{
    char ignored[4] = "abc";
    ASSERT_EQ(SUCCEED, m_Q.send(MSG_TYPE_EXIT, ignored, 4, 0));
    ASSERT_EQ(SUCCEED, m_Q.send(MSG_TYPE_EXIT, nullptr, 0, 0));
    for (int i = 0; i < 2; i++) {
        MSG_NODE_T node;
        memset(&node, 0x5A, sizeof(node));
        ASSERT_EQ(SUCCEED, m_Q.recv(&node, 0));
        EXPECT_EQ(MSG_TYPE_EXIT, node.type);
        EXPECT_EQ(nullptr, node.msg);
        EXPECT_EQ(0, node.size);
        EXPECT_EQ(SUCCEED, m_Q.free(&node));
    }
}

TEST_F(MessageQTest, PayloadIsACopy)
{
    char buffer[16];
    memcpy(buffer, "original", 9);
    ASSERT_EQ(SUCCEED, m_Q.send(MSG_TYPE_ADD, buffer, 9, 0));
    memcpy(buffer, "changed!", 9);
    MSG_NODE_T node;
    ASSERT_EQ(SUCCEED, m_Q.recv(&node, 0));
    EXPECT_EQ(MSG_TYPE_ADD, node.type);
    ASSERT_EQ(9, node.size);
    EXPECT_NE(static_cast<void*>(buffer), node.msg);
    EXPECT_STREQ("original", static_cast<char*>(node.msg));
    m_Q.free(&node);
}

TEST_F(MessageQTest, RecvZeroOnEmptyFailsAtOnce)
{
    MSG_NODE_T node;
    Clock::time_point start = Clock::now();
    EXPECT_EQ(FAILED, m_Q.recv(&node, 0));
    EXPECT_LT(MsSince(start), 400) << "no waiting with a limit of 0";
    EXPECT_EQ(FAILED, m_Q.recv(nullptr, 0));
    EXPECT_EQ(FAILED, m_Q.recv(nullptr, MessageQ::MESSAGEQ_WAIT_FOREVER)) << "null out: refused, not waited";
}

TEST_F(MessageQTest, RecvWithLimitFailsAfterTheLimit)
{
    MSG_NODE_T node;
    Clock::time_point start = Clock::now();
    EXPECT_EQ(FAILED, m_Q.recv(&node, 500));
    EXPECT_GE(MsSince(start), 450);
}

TEST_F(MessageQTest, CloseRefusesBothWaysAndDropsQueued)
{
    ASSERT_EQ(SUCCEED, SendText("left behind"));
    ASSERT_EQ(SUCCEED, m_Q.close());
    EXPECT_EQ(FAILED, SendText("late"));
    MSG_NODE_T node;
    EXPECT_EQ(FAILED, m_Q.recv(&node, 0));
    EXPECT_EQ(FAILED, m_Q.recv(&node, 50));

    // Reopened: empty, the message sent before closing is gone.
    ASSERT_EQ(SUCCEED, m_Q.open());
    EXPECT_EQ(FAILED, m_Q.recv(&node, 0));
    ASSERT_EQ(SUCCEED, SendText("fresh"));
    EXPECT_EQ("fresh", RecvText());
}

TEST_F(MessageQTest, ClearRemovesEveryMessage)
{
    for (int i = 0; i < 5; i++) {
        ASSERT_EQ(SUCCEED, SendText("m" + std::to_string(i)));
    }
    m_Q.clear();
    MSG_NODE_T node;
    EXPECT_EQ(FAILED, m_Q.recv(&node, 0));
    ASSERT_EQ(SUCCEED, SendText("after"));
    EXPECT_EQ("after", RecvText());
}

TEST_F(MessageQTest, OpenEmptiesTheQueue)
{
    ASSERT_EQ(SUCCEED, SendText("a"));
    ASSERT_EQ(SUCCEED, SendText("b"));
    ASSERT_EQ(SUCCEED, m_Q.open());
    MSG_NODE_T node;
    EXPECT_EQ(FAILED, m_Q.recv(&node, 0));
}

TEST_F(MessageQTest, DestructionReleasesQueuedPayloads)
{
    // The leak checker of the sanitizer build fails the run if they stay.
    MessageQ* q = new MessageQ();
    ASSERT_EQ(SUCCEED, q->init());
    ASSERT_EQ(SUCCEED, q->open());
    std::string big(4096, 'z');
    for (int i = 0; i < 8; i++) {
        ASSERT_EQ(SUCCEED, q->send(MSG_TYPE_ADD, &big[0], static_cast<int>(big.size()), 0));
    }
    delete q;
}

TEST_F(MessageQTest, LockAndUnlockArePublic)
{
    EXPECT_EQ(SUCCEED, m_Q.lock(0));
    EXPECT_EQ(SUCCEED, m_Q.unlock());
    EXPECT_EQ(SUCCEED, m_Q.lock(MessageQ::MESSAGEQ_WAIT_FOREVER));
    EXPECT_EQ(SUCCEED, m_Q.unlock());
    EXPECT_EQ(SUCCEED, m_Q.lock(100));
    EXPECT_EQ(SUCCEED, m_Q.unlock());
    // lockcond holds the mutex only when a message is there.
    EXPECT_EQ(FAILED, m_Q.lockcond(0));
    ASSERT_EQ(SUCCEED, SendText("x"));
    EXPECT_EQ(SUCCEED, m_Q.lockcond(0));
    EXPECT_EQ(SUCCEED, m_Q.unlock());
    EXPECT_EQ("x", RecvText());
}

TEST(MessageQState, UnusableBeforeInitAndBeforeOpen)
{
    MessageQ q;
    char payload[2] = "p";
    MSG_NODE_T node;
    EXPECT_EQ(FAILED, q.send(MSG_TYPE_ADD, payload, 2, 0)) << "before init";
    EXPECT_EQ(FAILED, q.recv(&node, 0));
    EXPECT_EQ(FAILED, q.lock(0));
    EXPECT_EQ(FAILED, q.open());
    ASSERT_EQ(SUCCEED, q.init());
    EXPECT_EQ(FAILED, q.init()) << "once only";
    EXPECT_EQ(FAILED, q.send(MSG_TYPE_ADD, payload, 2, 0)) << "not available before open";
    EXPECT_EQ(FAILED, q.recv(&node, 0));
    ASSERT_EQ(SUCCEED, q.open());
    EXPECT_EQ(SUCCEED, q.send(MSG_TYPE_ADD, payload, 2, 0));
    EXPECT_EQ(SUCCEED, q.recv(&node, 0));
    EXPECT_EQ(SUCCEED, q.free(&node));
    EXPECT_EQ(SUCCEED, q.free(&node)) << "a released node is left empty";
    EXPECT_EQ(FAILED, q.free(nullptr));
}

}  // namespace
