// Capacity and ordering rules shared by CMsgQue and CTaskQue.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QueueAdapters.h"

namespace {

const char kMaxTasks[] = "CTaskQue::PutTask() Max Tasks Reached.\n";

struct CapacityCase {
    QueueKind kind;
    int priority;
    int capacity;
};

std::string CapacityName(const testing::TestParamInfo<CapacityCase>& info)
{
    return std::string(KindName(info.param.kind)) + (info.param.priority == 0 ? "_Highest_" : "_Normal_") +
           std::to_string(info.param.capacity);
}

class QueueCapacity : public testing::TestWithParam<CapacityCase> {};

// A message queue built for N refuses the (N+1)th; a task queue built for N
// takes N + 1 and refuses from the (N+2)th on.
TEST_P(QueueCapacity, EdgesAndRecovery)
{
    const CapacityCase& c = GetParam();
    std::unique_ptr<QueueUnderTest> que = MakeQueue(c.kind, c.capacity);
    const int accepted = c.kind == QueueKind::Msg ? c.capacity : c.capacity + 1;
    const std::string refusal = c.kind == QueueKind::Msg ? "" : kMaxTasks;

    testing::internal::CaptureStdout();
    int taken = 0;
    for (int i = 0; i < accepted; i++) {
        if (que->Put(static_cast<uint32_t>(i), c.priority)) {
            taken++;
        }
    }
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(accepted, taken);
    EXPECT_EQ("", printed) << "nothing is printed while there is room";

    // N+1 / N+2 and one more: refused, each refusal of a task printed once.
    for (int extra = 0; extra < 2; extra++) {
        testing::internal::CaptureStdout();
        EXPECT_FALSE(que->Put(1000000u + static_cast<uint32_t>(extra), c.priority)) << "extra " << extra;
        EXPECT_EQ(refusal, testing::internal::GetCapturedStdout());
    }

    // Taking one makes room for exactly one more.
    uint32_t seq = 0;
    ASSERT_TRUE(que->Take(&seq));
    EXPECT_EQ(c.priority == 0 ? static_cast<uint32_t>(accepted - 1) : 0u, seq);
    EXPECT_TRUE(que->Put(2000000u, c.priority));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(que->Put(2000001u, c.priority));
    EXPECT_EQ(refusal, testing::internal::GetCapturedStdout());

    // Nothing refused was queued, nothing accepted was lost.
    std::vector<uint32_t> rest;
    while (que->Take(&seq)) {
        rest.push_back(seq);
    }
    ASSERT_EQ(static_cast<size_t>(accepted), rest.size());
    std::vector<uint32_t> expected;
    if (c.priority == 0) {
        expected.push_back(2000000u);  // last in, first out
        for (int i = accepted - 2; i >= 0; i--) {
            expected.push_back(static_cast<uint32_t>(i));
        }
    } else {
        for (int i = 1; i < accepted; i++) {
            expected.push_back(static_cast<uint32_t>(i));
        }
        expected.push_back(2000000u);
    }
    EXPECT_EQ(expected, rest);
}

std::vector<CapacityCase> CapacityCases()
{
    std::vector<CapacityCase> cases;
    for (QueueKind kind : {QueueKind::Msg, QueueKind::Task}) {
        for (int priority : {0, 1}) {
            for (int capacity : {1, 32, 1024}) {
                cases.push_back({kind, priority, capacity});
            }
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(BothQueues, QueueCapacity, testing::ValuesIn(CapacityCases()), CapacityName);

// Scripts of puts ("N<seq>" normal, "H<seq>" highest) and takes ("<"); each
// take must yield the next expected sequence number.
struct OrderCase {
    const char* name;
    std::vector<std::string> script;
    std::vector<uint32_t> taken;  // in order, the final drain included
};

class QueueOrder : public testing::TestWithParam<std::tuple<QueueKind, OrderCase>> {};

TEST_P(QueueOrder, Script)
{
    const QueueKind kind = std::get<0>(GetParam());
    const OrderCase& c = std::get<1>(GetParam());
    std::unique_ptr<QueueUnderTest> que = MakeQueue(kind, 64);
    std::vector<uint32_t> got;
    for (const std::string& step : c.script) {
        uint32_t seq = 0;
        if (step == "<") {
            ASSERT_TRUE(que->Take(&seq));
            got.push_back(seq);
        } else {
            ASSERT_TRUE(que->Put(static_cast<uint32_t>(std::stoul(step.substr(1))), step[0] == 'H' ? 0 : 1));
        }
    }
    uint32_t seq = 0;
    while (que->Take(&seq)) {
        got.push_back(seq);
    }
    EXPECT_EQ(c.taken, got);
}

const OrderCase kOrderCases[] = {
    {"NormalsThenHighests", {"N1", "N2", "N3", "H4", "H5"}, {5, 4, 1, 2, 3}},
    {"Interleaved", {"N1", "H2", "N3", "H4", "N5"}, {4, 2, 1, 3, 5}},
    {"NormalsOnly", {"N1", "N2", "N3", "N4"}, {1, 2, 3, 4}},
    {"HighestsOnly", {"H1", "H2", "H3"}, {3, 2, 1}},
    {"TakesBetween", {"N1", "N2", "<", "H3", "<", "N4", "<", "H5", "H6"}, {1, 3, 2, 6, 5, 4}},
    {"HighestAfterDrain", {"N1", "<", "H2", "N3", "<"}, {1, 2, 3}},
};

INSTANTIATE_TEST_SUITE_P(BothQueues, QueueOrder,
                         testing::Combine(testing::Values(QueueKind::Msg, QueueKind::Task),
                                          testing::ValuesIn(kOrderCases)),
                         [](const testing::TestParamInfo<std::tuple<QueueKind, OrderCase>>& info) {
                             return std::string(KindName(std::get<0>(info.param))) + "_" +
                                    std::get<1>(info.param).name;
                         });

TEST(QueueEmpty, TakeWithoutWaitReturnsZeroAndPrintsNothing)
{
    for (QueueKind kind : {QueueKind::Msg, QueueKind::Task}) {
        std::unique_ptr<QueueUnderTest> que = MakeQueue(kind, 4);
        uint32_t seq = 0;
        testing::internal::CaptureStdout();
        EXPECT_FALSE(que->Take(&seq)) << KindName(kind);
        ASSERT_TRUE(que->Put(7, 1));
        ASSERT_TRUE(que->Take(&seq));
        EXPECT_FALSE(que->Take(&seq)) << KindName(kind) << ": empty again";
        EXPECT_EQ("", testing::internal::GetCapturedStdout()) << KindName(kind);
    }
}

}  // namespace
