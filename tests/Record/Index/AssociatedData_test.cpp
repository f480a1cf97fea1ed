#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include "Record/Index/AssociatedData.h"
#include "Record/Index/RecordFileIndexNode.h"

namespace {

// Takes every free object so that the next request allocates a block.
template <typename Pool, typename T>
std::vector<T*> Drain(Pool* pool)
{
    std::vector<T*> held;
    const int n = pool->GetFreeCount();
    for (int i = 0; i < n; ++i) {
        held.push_back(pool->GetNode());
    }
    return held;
}

template <typename Pool, typename T>
void ExpectBlockOrder(Pool* pool)
{
    std::vector<T*> held = Drain<Pool, T>(pool);
    ASSERT_EQ(pool->GetFreeCount(), 0);
    const int allocated = pool->GetAllocatedCount();
    // A new block: object 0 is handed out, then 255, 254, ... down to 1.
    T* first = pool->GetNode();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(pool->GetAllocatedCount(), allocated + 256);
    EXPECT_EQ(pool->GetFreeCount(), 255);
    T* next = pool->GetNode();
    EXPECT_EQ(next, first + 255);
    EXPECT_EQ(pool->GetNode(), first + 254);
    std::set<T*> seen = {first, first + 255, first + 254};
    for (int i = 253; i >= 1; --i) {
        T* p = pool->GetNode();
        EXPECT_EQ(p, first + i);
        seen.insert(p);
    }
    EXPECT_EQ(seen.size(), 256u);
    EXPECT_EQ(pool->GetFreeCount(), 0);
    // Back in one chain.
    for (int i = 0; i < 255; ++i) {
        first[i].SetNext(&first[i + 1]);
    }
    first[255].SetNext(nullptr);
    pool->PutNode(first, nullptr);  // ignored: no tail
    pool->PutNode(nullptr, first);  // ignored: no head
    EXPECT_EQ(pool->GetFreeCount(), 0);
    pool->PutNode(first, first + 255);
    EXPECT_EQ(pool->GetFreeCount(), 256);
    for (T* p : held) {
        pool->PutNode(p);
    }
    pool->PutNode(static_cast<T*>(nullptr));
    EXPECT_EQ(pool->GetAllocatedCount(), allocated + 256);  // never shrinks
}

TEST(AssociatedDataPool, BlocksOf256HandedOutFromTheEnd)
{
    ExpectBlockOrder<CAssociatedDataManager, CAssociatedData>(CAssociatedDataManager::instance());
}

TEST(AssociatedDataPool, IndexNodePoolToo)
{
    ExpectBlockOrder<CRecordFileIndexNodeManager, CRecordFileIndexNode>(CRecordFileIndexNodeManager::instance());
}

TEST(AssociatedDataPool, ObjectsComeBackReset)
{
    CAssociatedDataManager* pool = CAssociatedDataManager::instance();
    CAssociatedData* d = pool->GetNode();
    d->SetRecType('A');
    d->SetRecIndex(3);
    d->SetRecTime(RECTIME::Make(24, 1, 5, 8, 30, 0));
    d->SetGPSPosition("gps");
    CAssociatedData* e = pool->GetNode();
    d->SetNext(e);
    e->SetNext(nullptr);
    const int before = pool->GetFreeCount();
    pool->PutNodeList(d);
    EXPECT_EQ(pool->GetFreeCount(), before + 2);
    pool->PutNodeList(nullptr);
    CAssociatedData* again = pool->GetNode();
    EXPECT_EQ(again, d);  // the list's first object is the new free head
    EXPECT_EQ(again->GetRecType(), '\0');
    EXPECT_EQ(again->GetRecIndex(), 0);
    EXPECT_EQ(again->GetRecTime().value, 0u);
    EXPECT_STREQ(again->GetGPSPosition(), "");
    EXPECT_EQ(again->GetNext(), nullptr);
    pool->PutNode(again);
}

TEST(AssociatedDataPool, ResettingANodeGivesItsRecordsBack)
{
    CAssociatedDataManager* records = CAssociatedDataManager::instance();
    CRecordFileIndexNodeManager* nodes = CRecordFileIndexNodeManager::instance();
    CRecordFileIndexNode* n = nodes->GetNode();
    CAssociatedData* a = records->GetNode();
    CAssociatedData* b = records->GetNode();
    a->SetNext(b);
    n->AddAssociatedData(a);
    CAssociatedData* c = records->GetNode();
    n->AddAssociatedData(c);  // in front
    EXPECT_EQ(n->GetAssociatedData(), c);
    EXPECT_EQ(c->GetNext(), a);
    const int before = records->GetFreeCount();
    // A node put back keeps its records until it is handed out again.
    nodes->PutNode(n);
    EXPECT_EQ(records->GetFreeCount(), before);
    CRecordFileIndexNode* again = nodes->GetNode();
    EXPECT_EQ(again, n);
    EXPECT_EQ(records->GetFreeCount(), before + 3);
    EXPECT_EQ(again->GetAssociatedData(), nullptr);
    EXPECT_EQ(again->GetRecResolution(), 1080);
    nodes->PutNode(again);
}

}  // namespace
