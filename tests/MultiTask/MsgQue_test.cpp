#include <gtest/gtest.h>

#include <climits>

#include "Function/SystemTime.h"
#include "MultiTask/MsgQue.h"

namespace {

class MsgQueRefusedPriority : public testing::TestWithParam<unsigned> {};

TEST_P(MsgQueRefusedPriority, QueuesNothing)
{
    CMsgQue que(8);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(que.SendMsg(XM_TIMER, 1, 2, GetParam()));
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ(0, que.GetMsgCount());
    XMSG msg;
    EXPECT_FALSE(que.RecvMsg(&msg, FALSE));
    // The refusal leaves no stray semaphore count behind: a later message is
    // still the only one.
    ASSERT_TRUE(que.SendMsg(XM_SNAPSHOT, 3, 4, MSG_PRIORITY_NORMAL));
    ASSERT_TRUE(que.RecvMsg(&msg, TRUE));
    EXPECT_EQ(static_cast<unsigned>(XM_SNAPSHOT), msg.msg);
    EXPECT_FALSE(que.RecvMsg(&msg, FALSE));
}

INSTANTIATE_TEST_SUITE_P(IllAndAbove, MsgQueRefusedPriority,
                         testing::Values(static_cast<unsigned>(MSG_PRIORITY_ILL), 3u, 100u, UINT_MAX));

TEST(MsgQue, FieldsCarryFull32BitValuesAndTimeIsStampedByQueue)
{
    CMsgQue que(4);
    uint32_t before = SystemGetMSCount();
    ASSERT_TRUE(que.SendMsg(XM_WIRELESS_KEY, 0xFFFFFFFFu, 0xFFFFFFFEu, MSG_PRIORITY_NORMAL));
    uint32_t after = SystemGetMSCount();
    XMSG msg;
    ASSERT_TRUE(que.RecvMsg(&msg, FALSE));
    EXPECT_EQ(static_cast<unsigned>(XM_WIRELESS_KEY), msg.msg);
    EXPECT_EQ(0xFFFFFFFFu, msg.wpa);
    EXPECT_EQ(0xFFFFFFFEu, msg.lpa);
    EXPECT_LE(msg.time - before, after - before) << "stamped between the calls around SendMsg";
}

TEST(MsgQue, QuitRefusesSendsButQueuedMessagesStillArrive)
{
    CMsgQue que(8);
    ASSERT_TRUE(que.SendMsg(XM_TIMER, 1, 0, MSG_PRIORITY_NORMAL));
    ASSERT_TRUE(que.SendMsg(XM_TIMER, 2, 0, MSG_PRIORITY_HIGHTEST));
    que.QuitMsg();
    EXPECT_FALSE(que.SendMsg(XM_TIMER, 3, 0, MSG_PRIORITY_NORMAL));
    EXPECT_FALSE(que.SendMsg(XM_TIMER, 4, 0, MSG_PRIORITY_HIGHTEST));
    EXPECT_EQ(2, que.GetMsgCount());
    XMSG msg;
    ASSERT_TRUE(que.RecvMsg(&msg, TRUE));
    EXPECT_EQ(2u, msg.wpa);
    ASSERT_TRUE(que.RecvMsg(&msg, FALSE));
    EXPECT_EQ(1u, msg.wpa);
    EXPECT_FALSE(que.RecvMsg(&msg, FALSE));
    // Closed for good: emptying it does not reopen it.
    EXPECT_FALSE(que.SendMsg(XM_TIMER, 5, 0, MSG_PRIORITY_NORMAL));
}

TEST(MsgQue, ClearDropsEverythingAndKeepsCountsConsistent)
{
    CMsgQue que(16);
    for (unsigned i = 0; i < 10; i++) {
        ASSERT_TRUE(que.SendMsg(XM_TIMER, i, 0, i % 2));
    }
    que.ClearMsg();
    EXPECT_EQ(0, que.GetMsgCount());
    XMSG msg;
    EXPECT_FALSE(que.RecvMsg(&msg, FALSE));
    // The full capacity is free again, and each message is delivered once.
    for (unsigned i = 0; i < 16; i++) {
        ASSERT_TRUE(que.SendMsg(XM_TIMER, 100 + i, 0, MSG_PRIORITY_NORMAL)) << i;
    }
    EXPECT_FALSE(que.SendMsg(XM_TIMER, 200, 0, MSG_PRIORITY_NORMAL));
    for (unsigned i = 0; i < 16; i++) {
        ASSERT_TRUE(que.RecvMsg(&msg, TRUE));
        EXPECT_EQ(100 + i, msg.wpa);
    }
    EXPECT_FALSE(que.RecvMsg(&msg, FALSE));
    que.ClearMsg();  // on an empty queue: nothing to do
    EXPECT_EQ(0, que.GetMsgCount());
}

TEST(MsgQue, CountAndSizeAccessors)
{
    CMsgQue que(3);
    EXPECT_EQ(3, que.GetMsgSize());
    EXPECT_EQ(0, que.GetMsgCount());
    ASSERT_TRUE(que.SendMsg(XM_TIMER, 1, 0, MSG_PRIORITY_NORMAL));
    ASSERT_TRUE(que.SendMsg(XM_TIMER, 2, 0, MSG_PRIORITY_NORMAL));
    EXPECT_EQ(2, que.GetMsgCount());

    que.SetMsgSize(2);  // shrinking below the count refuses further sends
    EXPECT_EQ(2, que.GetMsgSize());
    EXPECT_FALSE(que.SendMsg(XM_TIMER, 3, 0, MSG_PRIORITY_NORMAL));
    que.SetMsgSize(5);
    EXPECT_TRUE(que.SendMsg(XM_TIMER, 3, 0, MSG_PRIORITY_NORMAL));
    EXPECT_EQ(3, que.GetMsgCount());

    CMsgQue none(0);
    EXPECT_FALSE(none.SendMsg(XM_TIMER, 1, 0, MSG_PRIORITY_HIGHTEST)) << "capacity 0 takes nothing";
}

}  // namespace
