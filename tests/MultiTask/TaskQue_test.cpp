#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "MultiTask/TaskQue.h"

namespace {

TASK MakeTask(unsigned priv, unsigned seq)
{
    TASK task;
    memset(&task, 0, sizeof(task));
    task.type = TASKTYPE_ALARM;
    task.priority = TASK_PRIORITY_NORMAL;
    task.priv = priv;
    task.context.alarm.wpa = seq;
    return task;
}

std::vector<unsigned> DrainSeqs(CTaskQue& que)
{
    std::vector<unsigned> seqs;
    TASK task;
    while (que.GetTask(&task, FALSE)) {
        seqs.push_back(task.context.alarm.wpa);
    }
    return seqs;
}

TEST(TaskQue, WholeRecordIsCopiedInAndOut)
{
    CTaskQue que(4);
    int marker = 0;
    TASK in;
    memset(&in, 0, sizeof(in));
    in.type = TASKTYPE_VOICE_TRAIN;
    in.priority = TASK_PRIORITY_HIGHTEST;
    in.priv = 0xDEADBEEFu;
    in.context.voicetrain.index = -7;
    memset(in.context.voicetrain.name, 'x', sizeof(in.context.voicetrain.name) - 1);
    in.context.voicetrain.linkage = 0x0F;
    in.context.voicetrain.wpa = 0xFFFFFFFFu;
    in.context.voicetrain.lpa = 0x80000001u;
    in.extra = &marker;

    TaskToken_t token = que.PutTask(&in, TASK_PRIORITY_NORMAL);
    ASSERT_NE(nullptr, token);
    // The queue holds a copy: the sender's record may change afterwards.
    TASK original = in;
    in.context.voicetrain.name[0] = 'y';
    in.priv = 1;

    TASK out;
    memset(&out, 0xA5, sizeof(out));
    ASSERT_TRUE(que.GetTask(&out, TRUE));
    EXPECT_EQ(0, memcmp(&original, &out, sizeof(TASK)));
    EXPECT_EQ(&marker, out.extra);
    EXPECT_EQ(TASK_PRIORITY_HIGHTEST, out.priority) << "the field is carried, not interpreted";
}

// Only 0 goes to the head; every other priority value appends.
class TaskPriorityValue : public testing::TestWithParam<int> {};

TEST_P(TaskPriorityValue, NonZeroAppends)
{
    CTaskQue que(8);
    TASK a = MakeTask(0, 1);
    TASK b = MakeTask(0, 2);
    ASSERT_NE(nullptr, que.PutTask(&a, TASK_PRIORITY_NORMAL));
    ASSERT_NE(nullptr, que.PutTask(&b, GetParam()));
    EXPECT_EQ((std::vector<unsigned>{1, 2}), DrainSeqs(que));
}

INSTANTIATE_TEST_SUITE_P(Values, TaskPriorityValue, testing::Values(1, 2, 7, -1));

struct RemoveCase {
    const char* name;
    std::vector<unsigned> privs;  // queued in order, task i has seq i
    unsigned key;
    std::vector<unsigned> removed;  // seqs handed to the callback, in order
    std::vector<unsigned> left;     // seqs still queued, in order
};

std::vector<unsigned> g_Removed;
std::vector<unsigned> g_RemovedKeys;

int RecordRemoved(TASK* task)
{
    g_Removed.push_back(task->context.alarm.wpa);
    g_RemovedKeys.push_back(task->priv);
    return 0;
}

class TaskRemoveByPriv : public testing::TestWithParam<RemoveCase> {};

TEST_P(TaskRemoveByPriv, RemovesEveryMatchAndKeepsTheRestInOrder)
{
    const RemoveCase& c = GetParam();
    CTaskQue que(64);
    for (size_t i = 0; i < c.privs.size(); i++) {
        TASK task = MakeTask(c.privs[i], static_cast<unsigned>(i));
        ASSERT_NE(nullptr, que.PutTask(&task, TASK_PRIORITY_NORMAL));
    }
    g_Removed.clear();
    g_RemovedKeys.clear();
    testing::internal::CaptureStdout();
    EXPECT_TRUE(que.RemoveTaskByPrivData(c.key, RecordRemoved));
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ(c.removed, g_Removed);
    EXPECT_EQ(std::vector<unsigned>(c.removed.size(), c.key), g_RemovedKeys);
    EXPECT_EQ(c.left.size(), que.GetTaskCount());

    // Head and tail were mended: a new highest goes first, a new normal last.
    TASK first = MakeTask(999, 1000);
    TASK last = MakeTask(999, 1001);
    ASSERT_NE(nullptr, que.PutTask(&first, TASK_PRIORITY_HIGHTEST));
    ASSERT_NE(nullptr, que.PutTask(&last, TASK_PRIORITY_NORMAL));
    std::vector<unsigned> expected;
    expected.push_back(1000);
    expected.insert(expected.end(), c.left.begin(), c.left.end());
    expected.push_back(1001);
    EXPECT_EQ(expected, DrainSeqs(que));
}

const RemoveCase kRemoveCases[] = {
    {"NoMatch", {1, 2, 3}, 9, {}, {0, 1, 2}},
    {"EmptyQueue", {}, 1, {}, {}},
    {"Head", {5, 1, 2}, 5, {0}, {1, 2}},
    {"Tail", {1, 2, 5}, 5, {2}, {0, 1}},
    {"Middle", {1, 5, 2}, 5, {1}, {0, 2}},
    {"Several", {5, 1, 5, 2, 5}, 5, {0, 2, 4}, {1, 3}},
    {"All", {5, 5, 5}, 5, {0, 1, 2}, {}},
    {"OnlyOne", {5}, 5, {0}, {}},
    {"KeyZero", {0, 1, 0}, 0, {0, 2}, {1}},
};

INSTANTIATE_TEST_SUITE_P(Keys, TaskRemoveByPriv, testing::ValuesIn(kRemoveCases),
                         [](const testing::TestParamInfo<RemoveCase>& info) { return info.param.name; });

TEST(TaskQue, RemoveWithoutCallbackStillRemovesAndFreesNodes)
{
    CTaskQue que(200);
    for (unsigned i = 0; i < 60; i++) {
        TASK task = MakeTask(i % 3, i);
        ASSERT_NE(nullptr, que.PutTask(&task, TASK_PRIORITY_NORMAL));
    }
    EXPECT_TRUE(que.RemoveTaskByPrivData(1, nullptr));
    EXPECT_EQ(40u, que.GetTaskCount());
    // The 20 removed nodes went back to the free stack: 23 more fit in the block.
    for (unsigned i = 0; i < 23; i++) {
        TASK task = MakeTask(7, 100 + i);
        ASSERT_NE(nullptr, que.PutTask(&task, TASK_PRIORITY_NORMAL));
    }
    EXPECT_EQ(1u, que.GetTaskBlockCount());
    std::vector<unsigned> seqs = DrainSeqs(que);
    ASSERT_EQ(63u, seqs.size());
    for (unsigned s : seqs) {
        EXPECT_TRUE(s >= 100 || s % 3 != 1) << s;
    }
}

// Blocks of 64 nodes give 63 tasks each.
struct BlockCase {
    unsigned inFlight;
    unsigned blocks;
};

class TaskNodeBlocks : public testing::TestWithParam<BlockCase> {};

TEST_P(TaskNodeBlocks, AllocatedOnDemandAndRecycled)
{
    const BlockCase& c = GetParam();
    CTaskQue que(1024);
    EXPECT_EQ(0u, que.GetTaskBlockCount()) << "nothing before the first task";
    for (int round = 0; round < 3; round++) {
        for (unsigned i = 0; i < c.inFlight; i++) {
            TASK task = MakeTask(0, i);
            ASSERT_NE(nullptr, que.PutTask(&task, TASK_PRIORITY_NORMAL));
        }
        EXPECT_EQ(c.blocks, que.GetTaskBlockCount()) << "round " << round;
        EXPECT_EQ(c.inFlight, DrainSeqs(que).size());
    }
    // A steady trickle reuses the free stack and allocates nothing.
    for (unsigned i = 0; i < 1000; i++) {
        TASK task = MakeTask(0, i);
        ASSERT_NE(nullptr, que.PutTask(&task, TASK_PRIORITY_NORMAL));
        ASSERT_EQ(1u, DrainSeqs(que).size());
    }
    EXPECT_EQ(c.blocks, que.GetTaskBlockCount());
}

INSTANTIATE_TEST_SUITE_P(InFlight, TaskNodeBlocks,
                         testing::Values(BlockCase{1, 1}, BlockCase{63, 1}, BlockCase{64, 2}, BlockCase{126, 2},
                                         BlockCase{127, 3}, BlockCase{1025, 17}),
                         [](const testing::TestParamInfo<BlockCase>& info) {
                             return std::to_string(info.param.inFlight);
                         });

TEST(TaskNodeManager, BlockLayoutAndFreeStack)
{
    CTaskNodeManager mgr;
    // Node 1 of the block first, then 2, 3, ... from the free stack.
    CTaskNode* first = mgr.GetFreeTask();
    ASSERT_NE(nullptr, first);
    std::vector<CTaskNode*> nodes{first};
    for (int i = 2; i < CTaskNodeManager::emTaskGroup; i++) {
        CTaskNode* node = mgr.GetFreeTask();
        ASSERT_EQ(first + (i - 1), node) << "node " << i;
        nodes.push_back(node);
    }
    EXPECT_EQ(1u, mgr.GetTaskBlockCount());
    CTaskNode* next = mgr.GetFreeTask();  // 64th: a second block
    ASSERT_NE(nullptr, next);
    EXPECT_EQ(2u, mgr.GetTaskBlockCount());
    EXPECT_TRUE(next < first - 1 || next > first + 62) << "not inside the first block";

    // The free stack is last in, first out, and a reused node comes back cleared.
    nodes[5]->m_Task.priv = 55;
    nodes[5]->m_Task.context.voicetrain.name[10] = 'q';
    nodes[5]->m_lpNext = nodes[6];
    mgr.PutFreeTask(nodes[7]);
    mgr.PutFreeTask(nodes[5]);
    mgr.PutFreeTask(nullptr);  // ignored
    CTaskNode* reused = mgr.GetFreeTask();
    ASSERT_EQ(nodes[5], reused);
    TASK zero;
    memset(&zero, 0, sizeof(zero));
    EXPECT_EQ(0, memcmp(&zero, &reused->m_Task, sizeof(TASK)));
    EXPECT_EQ(nullptr, reused->m_lpNext);
    EXPECT_EQ(nodes[7], mgr.GetFreeTask());
    EXPECT_EQ(2u, mgr.GetTaskBlockCount());
}

TEST(TaskNodeManager, UsedQueueCountAndKeyedRemoval)
{
    CTaskNodeManager mgr;
    CTaskNode* a = mgr.GetFreeTask();
    CTaskNode* b = mgr.GetFreeTask();
    CTaskNode* c = mgr.GetFreeTask();
    a->m_Task.priv = 1;
    b->m_Task.priv = 2;
    c->m_Task.priv = 1;
    mgr.PutUsedTask(a, TASK_PRIORITY_NORMAL);
    mgr.PutUsedTask(b, TASK_PRIORITY_NORMAL);
    mgr.PutUsedTask(c, TASK_PRIORITY_HIGHTEST);  // c a b
    EXPECT_EQ(3u, mgr.GetUsedTaskNodeCount());

    EXPECT_EQ(nullptr, mgr.GetUsedTask(3u, FALSE));
    EXPECT_EQ(c, mgr.GetUsedTask(1u, FALSE)) << "first match from the head";
    EXPECT_EQ(a, mgr.GetUsedTask(1u, FALSE));
    EXPECT_EQ(nullptr, mgr.GetUsedTask(1u, FALSE));
    EXPECT_EQ(1u, mgr.GetUsedTaskNodeCount());
    // One semaphore count is left for b, so a waiting take returns at once.
    EXPECT_EQ(b, mgr.GetUsedTask(TRUE));
    EXPECT_EQ(0u, mgr.GetUsedTaskNodeCount());
    EXPECT_EQ(nullptr, mgr.GetUsedTask(FALSE));
    for (CTaskNode* node : {a, b, c}) {
        mgr.PutFreeTask(node);
    }
}

}  // namespace
