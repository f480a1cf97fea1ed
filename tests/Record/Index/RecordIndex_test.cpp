#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "Record/Index/AssociatedData.h"
#include "Record/Index/RecordFileIndex.h"
#include "Record/RecordNotify.h"

namespace {

RECTIME T(unsigned sec) { return RECTIME::Make(24, 1, 5, 8 + sec / 3600, sec / 60 % 60, sec % 60); }

using Key = std::pair<uint32_t, int>;  // (time, index)

std::vector<Key> Order(CRecordFileIndex& idx)
{
    std::vector<Key> out;
    for (const CRecordFileIndexNode* n = idx.GetFileListHead(); n != nullptr; n = n->GetNext()) {
        out.emplace_back(n->GetRecTime2(), n->GetRecIndex());
    }
    return out;
}

// The list must be consistent in both directions.
void ExpectLinked(CRecordFileIndex& idx)
{
    const CRecordFileIndexNode* prev = nullptr;
    int count = 0;
    uint64_t total = 0;
    for (const CRecordFileIndexNode* n = idx.GetFileListHead(); n != nullptr; n = n->GetNext()) {
        EXPECT_EQ(n->GetPrev(), prev);
        if (prev != nullptr) {
            EXPECT_LE(n->GetRecTime2(), prev->GetRecTime2());
        }
        total += n->GetAllSize();
        prev = n;
        ++count;
    }
    EXPECT_EQ(idx.GetFileListTail(), prev);
    EXPECT_EQ(idx.GetFileCount(), count);
    EXPECT_EQ(idx.GetTotalSize(), total);
}

BOOL AddVideo(CRecordFileIndex& idx, unsigned sec, int index, unsigned long size = 100)
{
    return idx.AddRecFile(T(sec), 180u, (1080 << 16) | (index << 8), size);
}

struct tagInsertCase {
    const char* what;
    std::vector<std::pair<unsigned, int>> adds;  // (second, index) in order
    std::vector<std::pair<unsigned, int>> order; // newest first
};

TEST(RecordIndexInsert, SameSecondAndOrderTable)
{
    const tagInsertCase cases[] = {
        {"ascending", {{1, 0}, {2, 0}, {3, 0}}, {{3, 0}, {2, 0}, {1, 0}}},
        {"descending", {{3, 0}, {2, 0}, {1, 0}}, {{3, 0}, {2, 0}, {1, 0}}},
        {"middle", {{1, 0}, {3, 0}, {2, 0}}, {{3, 0}, {2, 0}, {1, 0}}},
        {"same second as the head: newest-added first", {{5, 0}, {5, 1}, {5, 2}}, {{5, 2}, {5, 1}, {5, 0}}},
        {"same second as the tail only: goes last", {{5, 0}, {1, 0}, {1, 1}}, {{5, 0}, {1, 0}, {1, 1}}},
        {"same second in the middle: in front", {{5, 0}, {1, 0}, {3, 0}, {3, 1}}, {{5, 0}, {3, 1}, {3, 0}, {1, 0}}},
        {"middle node in front of an older-added equal one", {{5, 0}, {3, 0}, {1, 0}, {3, 1}, {3, 2}},
         {{5, 0}, {3, 2}, {3, 1}, {3, 0}, {1, 0}}},
        {"head second again after the tail moved", {{5, 0}, {1, 0}, {5, 1}}, {{5, 1}, {5, 0}, {1, 0}}},
    };
    for (const tagInsertCase& c : cases) {
        SCOPED_TRACE(c.what);
        CRecordFileIndex idx(emRecFileType_CommonVideo);
        for (auto& a : c.adds) {
            ASSERT_TRUE(AddVideo(idx, a.first, a.second));
        }
        std::vector<Key> want;
        for (auto& o : c.order) {
            want.emplace_back(T(o.first).value, o.second);
        }
        EXPECT_EQ(Order(idx), want);
        ExpectLinked(idx);
    }
}

// The insertion rules applied literally, one node at a time, on a vector.
class CReferenceList {
public:
    void Insert(uint32_t t, int id)
    {
        if (m_List.empty() || t >= m_List.front().first) {
            m_List.insert(m_List.begin(), {t, id});
        } else if (t <= m_List.back().first) {
            m_List.push_back({t, id});
        } else {
            auto it = m_List.begin();
            while (it->first > t) {
                ++it;
            }
            m_List.insert(it, {t, id});
        }
    }
    void Remove(int id)
    {
        for (auto it = m_List.begin(); it != m_List.end(); ++it) {
            if (it->second == id) {
                m_List.erase(it);
                return;
            }
        }
    }
    std::vector<Key> m_List;
};

TEST(RecordIndexInsert, AnyOrderGivesTheOneByOneResult)
{
    // Many equal seconds, random order, searches and removals in between:
    // the list always equals the literal one-by-one insertion.
    unsigned seed = 99;
    auto rnd = [&seed](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (int round = 0; round < 20; ++round) {
        CRecordFileIndex idx(emRecFileType_CommonVideo);
        CReferenceList ref;
        std::vector<int> ids;
        for (int id = 0; id < 300; ++id) {
            const unsigned sec = rnd(40);
            // The index field carries the id so that nodes can be told apart.
            ASSERT_TRUE(idx.AddRecFile(T(sec), 1u, (1080 << 16) | ((id & 0xFF) << 8), 10ul));
            ref.Insert(T(sec).value, id & 0xFF);
            ids.push_back(id & 0xFF);
            if (rnd(10) == 0) {
                idx.FindNode(T(rnd(40)), static_cast<int>(rnd(256)));
            }
            if (rnd(25) == 0) {
                // Remove a random node (identified by its time and index).
                const Key k = ref.m_List[rnd(static_cast<unsigned>(ref.m_List.size()))];
                RECTIME t;
                t.value = k.first;
                CRecordFileIndexNode* n = idx.FindNode(t, k.second);
                ASSERT_NE(n, nullptr);
                // Equal (time, index) pairs cannot occur twice: ids below 256.
                idx.RemoveNode(n);
                ref.Remove(k.second);
            }
            if (id == 255) {
                break;  // ids stay unique
            }
        }
        EXPECT_EQ(Order(idx), ref.m_List) << "round " << round;
        ExpectLinked(idx);
    }
}

TEST(RecordIndexInsert, PackedWordAndImageFields)
{
    CRecordFileIndex videos(emRecFileType_AlarmVideo);
    const unsigned gesture = emRecordTriggerType_GestureAlarm;
    ASSERT_TRUE(videos.AddRecFile(T(1), 60u, (720 << 16) | (3 << 8) | 1, 5000ul, gesture));
    ASSERT_TRUE(videos.AddRecFile(T(2), 61u, (1080 << 16) | (0 << 8) | 0, 7000ul));
    const CRecordFileIndexNode* n = videos.GetFileListTail();
    EXPECT_EQ(n->GetRecIndex(), 3);
    EXPECT_EQ(n->GetRecResolution(), 720);
    EXPECT_EQ(n->GetRecParkingFlag(), 1);
    EXPECT_EQ(n->GetRecDuration(), 60u);
    EXPECT_EQ(n->GetRecTrigger(), static_cast<uint32_t>(emRecordTriggerType_GestureAlarm));
    EXPECT_EQ(n->GetRecType(), '\0');
    n = videos.GetFileListHead();
    EXPECT_EQ(n->GetRecResolution(), 1080);
    EXPECT_EQ(n->GetRecParkingFlag(), 0);
    EXPECT_EQ(videos.GetTotalSize(), 12000u);

    CRecordFileIndex images(emRecFileType_AlarmImage);
    ASSERT_TRUE(images.AddRecFile(T(1), 0u, 'G', 2, 300ul));
    n = images.GetFileListHead();
    EXPECT_EQ(n->GetRecType(), 'G');
    EXPECT_EQ(n->GetRecIndex(), 2);
    EXPECT_EQ(n->GetRecResolution(), 1080);
}

TEST(RecordIndexInsert, TitleAndArchiveSizesJoinTheTotal)
{
    CRecordFileIndex idx(emRecFileType_CommonVideo);
    ASSERT_TRUE(AddVideo(idx, 10, 0, 1000));
    ASSERT_TRUE(AddVideo(idx, 10, 1, 2000));
    EXPECT_TRUE(idx.AddRecFileTitle(T(10), 1, 30));
    EXPECT_TRUE(idx.AddRecFileTimestamp(T(10), 1, 400));
    EXPECT_FALSE(idx.AddRecFileTitle(T(10), 2, 30));
    EXPECT_FALSE(idx.AddRecFileTimestamp(T(11), 0, 30));
    EXPECT_EQ(idx.GetTotalSize(), 3430u);
    // A second title for the same video replaces the first.
    EXPECT_TRUE(idx.AddRecFileTitle(T(10), 1, 50));
    EXPECT_EQ(idx.GetTotalSize(), 3450u);
    const CRecordFileIndexNode* n = idx.FindNode(T(10), 1);
    ASSERT_NE(n, nullptr);
    EXPECT_TRUE(n->HasTitleFile());
    EXPECT_TRUE(n->HasThumbFile());
    EXPECT_EQ(n->GetRecTitleSize(), 50u);
    EXPECT_EQ(n->GetRecThumbSize(), 400u);
    ExpectLinked(idx);
}

TEST(RecordIndexInsert, AssociatedDataAttachesOnlyToAKnownFile)
{
    CAssociatedDataManager* pool = CAssociatedDataManager::instance();
    CRecordFileIndex idx(emRecFileType_AlarmVideo);
    ASSERT_TRUE(AddVideo(idx, 10, 0));
    CAssociatedData* a = pool->GetNode();
    a->SetRecType('A');
    CAssociatedData* b = pool->GetNode();
    b->SetRecType('G');
    EXPECT_FALSE(idx.AddRecAssociatedData(T(10), 1, a));
    EXPECT_TRUE(idx.AddRecAssociatedData(T(10), 0, a));
    EXPECT_TRUE(idx.AddRecAssociatedData(T(10), 0, b));  // in front
    const CRecordFileIndexNode* n = idx.FindNode(T(10), 0);
    ASSERT_NE(n, nullptr);
    EXPECT_NE(n->GetRecFlag() & emRecFileFlag_HasAssociatedData, 0);
    ASSERT_NE(n->GetAssociatedData(), nullptr);
    EXPECT_EQ(n->GetAssociatedData()->GetRecType(), 'G');
    EXPECT_EQ(n->GetAssociatedData()->GetNext()->GetRecType(), 'A');
    // Removal gives the records back.
    const int freeBefore = pool->GetFreeCount();
    idx.RemoveNode(idx.FindNode(T(10), 0));
    EXPECT_EQ(pool->GetFreeCount(), freeBefore + 2);
}

// A list of the same second on both sides of every possible cursor.
class RecordIndexSearch : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Head to tail: 50(0), 30(3), 30(2), 30(1), 30(0), 10(1), 10(0).
        for (auto& a : std::vector<std::pair<unsigned, int>>{{10, 0}, {10, 1}, {30, 0}, {50, 0}}) {
            AddVideo(m_Index, a.first, a.second);
        }
        for (int i = 1; i <= 3; ++i) {
            AddVideo(m_Index, 30, i);
        }
        for (const CRecordFileIndexNode* n = m_Index.GetFileListHead(); n != nullptr; n = n->GetNext()) {
            m_Keys.emplace_back(n->GetRecTime2(), n->GetRecIndex());
        }
        ASSERT_EQ(m_Keys.size(), 7u);
    }
    static RECTIME R(uint32_t v)
    {
        RECTIME t;
        t.value = v;
        return t;
    }
    CRecordFileIndex m_Index{emRecFileType_CommonVideo};
    std::vector<Key> m_Keys;
};

TEST_F(RecordIndexSearch, EveryNodeFromEveryCursor)
{
    for (const Key& from : m_Keys) {
        for (const Key& to : m_Keys) {
            ASSERT_NE(m_Index.FindNode(R(from.first), from.second), nullptr);
            ASSERT_EQ(m_Index.GetSearchCursor(), m_Index.FindNode(R(from.first), from.second));
            CRecordFileIndexNode* n = m_Index.FindNode(R(to.first), to.second);
            ASSERT_NE(n, nullptr) << "from " << from.second << " to " << to.second;
            EXPECT_EQ(n->GetRecTime2(), to.first);
            EXPECT_EQ(n->GetRecIndex(), to.second);
            EXPECT_EQ(m_Index.GetSearchCursor(), n);
        }
    }
}

struct tagMissCase {
    const char* what;
    int cursorAt;     // index into the list to stand on first, -1 for none
    unsigned sec;     // missing key
    int index;
    int cursorAfter;  // expected cursor position, -1 for none
};

TEST_F(RecordIndexSearch, MissesLeaveTheCursorPastTheKey)
{
    // Positions: 0=50(0) 1=30(3) 2=30(2) 3=30(1) 4=30(0) 5=10(1) 6=10(0).
    const tagMissCase cases[] = {
        {"older than the cursor: first older node", 0, 20, 0, 5},
        {"older than all: ran off the tail", 0, 5, 0, -1},
        {"newer than the cursor: first newer node", 6, 20, 0, 4},
        {"newer than all: ran off the head", 6, 59, 0, -1},
        {"same second, unknown index, from inside the run", 2, 30, 9, 0},
        {"same second, unknown index, from below", 6, 30, 9, 0},
        {"same second, unknown index, from above", 0, 30, 9, 5},
        {"no cursor: starts at the head", -1, 40, 0, 1},
    };
    for (const tagMissCase& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.cursorAt >= 0) {
            const Key& k = m_Keys[static_cast<size_t>(c.cursorAt)];
            ASSERT_NE(m_Index.FindNode(R(k.first), k.second), nullptr);
        } else {
            // Stand on the head, then remove nothing: a miss past the head clears it.
            m_Index.FindNode(T(59), 0);
            ASSERT_EQ(m_Index.GetSearchCursor(), nullptr);
        }
        EXPECT_EQ(m_Index.FindNode(T(c.sec), c.index), nullptr);
        const CRecordFileIndexNode* want = nullptr;
        if (c.cursorAfter >= 0) {
            const Key& k = m_Keys[static_cast<size_t>(c.cursorAfter)];
            want = m_Index.GetFileListHead();
            while (want->GetRecTime2() != k.first || want->GetRecIndex() != k.second) {
                want = want->GetNext();
            }
        }
        EXPECT_EQ(m_Index.GetSearchCursor(), want);
    }
}

TEST_F(RecordIndexSearch, RemovingTheCursorNodeRestartsAtTheHead)
{
    CRecordFileIndexNode* n = m_Index.FindNode(T(30), 2);
    ASSERT_NE(n, nullptr);
    ASSERT_EQ(m_Index.GetSearchCursor(), n);
    m_Index.RemoveNode(n);
    EXPECT_EQ(m_Index.GetSearchCursor(), nullptr);
    EXPECT_EQ(m_Index.FindNode(T(30), 2), nullptr);
    for (const Key& k : m_Keys) {
        if (k.first == T(30).value && k.second == 2) {
            continue;
        }
        EXPECT_NE(m_Index.FindNode(R(k.first), k.second), nullptr);
    }
    // Removing head and tail moves them.
    m_Index.RemoveNode(m_Index.FindNode(T(50), 0));
    m_Index.RemoveNode(m_Index.FindNode(T(10), 0));
    EXPECT_EQ(m_Index.GetFileListHead()->GetRecIndex(), 3);
    EXPECT_EQ(m_Index.GetFileListTail()->GetRecTime2(), T(10).value);
    EXPECT_EQ(m_Index.GetFileListTail()->GetRecIndex(), 1);
    ExpectLinked(m_Index);
}

// The search as a plain walk over the list from the cursor: the match, or
// where the walk stops.
struct tagWalkResult {
    const CRecordFileIndexNode* found;
    const CRecordFileIndexNode* cursor;
};

tagWalkResult ReferenceWalk(const CRecordFileIndexNode* head, const CRecordFileIndexNode* cur, uint32_t t, int index)
{
    if (head == nullptr) {
        return {nullptr, nullptr};
    }
    if (cur == nullptr) {
        cur = head;
    }
    if (t < cur->GetRecTime2()) {
        for (const CRecordFileIndexNode* n = cur->GetNext(); n != nullptr; n = n->GetNext()) {
            if (n->GetRecTime2() < t) {
                return {nullptr, n};
            }
            if (n->GetRecTime2() == t && n->GetRecIndex() == index) {
                return {n, n};
            }
        }
        return {nullptr, nullptr};
    }
    const CRecordFileIndexNode* stop = nullptr;
    for (const CRecordFileIndexNode* n = cur; n != nullptr; n = n->GetPrev()) {
        if (n->GetRecTime2() > t) {
            stop = n;
            break;
        }
        if (n->GetRecIndex() == index && n->GetRecTime2() == t) {
            return {n, n};
        }
    }
    for (const CRecordFileIndexNode* n = cur->GetNext(); n != nullptr && n->GetRecTime2() == t; n = n->GetNext()) {
        if (n->GetRecIndex() == index) {
            return {n, n};
        }
    }
    return {nullptr, stop};
}

TEST(RecordIndexSearchLarge, FarSearchesGiveTheWalksResultAndCursor)
{
    // Lookups far from the cursor take another road; result and cursor stay
    // those of the walk, also while the list changes.
    CRecordFileIndex idx(emRecFileType_CommonVideo);
    unsigned seed = 3;
    auto rnd = [&seed](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    std::vector<std::vector<bool>> used(1000, std::vector<bool>(4, false));
    for (int i = 0; i < 2500; ++i) {
        unsigned sec = rnd(1000);
        int index = static_cast<int>(rnd(4));
        if (!used[sec][static_cast<size_t>(index)]) {
            used[sec][static_cast<size_t>(index)] = true;
            ASSERT_TRUE(idx.AddRecFile(T(sec), 1u, (1080 << 16) | (index << 8), 1ul));
        }
    }
    int hits = 0;
    for (int i = 0; i < 6000; ++i) {
        const unsigned sec = rnd(1010);
        const int index = static_cast<int>(rnd(5));
        const tagWalkResult want = ReferenceWalk(idx.GetFileListHead(), idx.GetSearchCursor(), T(sec).value, index);
        CRecordFileIndexNode* got = idx.FindNode(T(sec), index);
        ASSERT_EQ(got, want.found) << i;
        ASSERT_EQ(idx.GetSearchCursor(), want.cursor) << i;
        hits += got != nullptr;
        if (i % 50 == 0 && got != nullptr) {
            used[sec][static_cast<size_t>(index)] = false;
            idx.RemoveNode(got);
        } else if (i % 70 == 0) {
            const unsigned s2 = rnd(1000);
            if (!used[s2][0]) {
                used[s2][0] = true;
                ASSERT_TRUE(idx.AddRecFile(T(s2), 1u, 1080 << 16, 1ul));
            }
        }
    }
    EXPECT_GT(hits, 1000);
    ExpectLinked(idx);
}

TEST(RecordIndexSearchEmpty, EmptyListFails)
{
    CRecordFileIndex idx(emRecFileType_AlarmImage);
    EXPECT_EQ(idx.FindNode(T(1), 0), nullptr);
    EXPECT_EQ(idx.GetSearchCursor(), nullptr);
    EXPECT_FALSE(idx.AddRecFileTitle(T(1), 0, 1));
}

TEST(RecordIndexSearchImages, TypeLetterBelongsToTheImageKey)
{
    CRecordFileIndex idx(emRecFileType_AlarmImage);
    ASSERT_TRUE(idx.AddRecFile(T(1), 0u, 'A', 0, 10ul));
    ASSERT_TRUE(idx.AddRecFile(T(1), 0u, 'G', 0, 20ul));
    EXPECT_EQ(idx.FindNode(T(1), 0, 'A')->GetRecType(), 'A');
    EXPECT_EQ(idx.FindNode(T(1), 0, 'G')->GetRecType(), 'G');
    EXPECT_EQ(idx.FindNode(T(1), 0, 'M'), nullptr);
    EXPECT_NE(idx.FindNode(T(1), 0), nullptr);  // any letter
}

TEST(RecordIndexPool, CleanAllGivesEverythingBack)
{
    CRecordFileIndexNodeManager* nodes = CRecordFileIndexNodeManager::instance();
    CAssociatedDataManager* records = CAssociatedDataManager::instance();
    // Warm both pools so that the counts below do not include new blocks.
    {
        CRecordFileIndex warm(emRecFileType_AlarmVideo);
        for (int i = 0; i < 600; ++i) {
            AddVideo(warm, static_cast<unsigned>(i), 0);
        }
        CAssociatedData* r = records->GetNode();
        records->PutNode(r);
    }
    const int nodesFree = nodes->GetFreeCount();
    const int recordsFree = records->GetFreeCount();
    {
        CRecordFileIndex idx(emRecFileType_AlarmVideo);
        for (int i = 0; i < 500; ++i) {
            ASSERT_TRUE(AddVideo(idx, static_cast<unsigned>(i * 7 % 500), 0));
        }
        idx.AddRecAssociatedData(T(3), 0, records->GetNode());
        EXPECT_EQ(nodes->GetFreeCount(), nodesFree - 500);
        idx.CleanAllFile();
        EXPECT_EQ(idx.GetTotalSize(), 0u);
        EXPECT_EQ(idx.GetFileCount(), 0);
        EXPECT_EQ(idx.GetFileListHead(), nullptr);
        EXPECT_EQ(idx.GetFileListTail(), nullptr);
        EXPECT_EQ(idx.GetSearchCursor(), nullptr);
        EXPECT_EQ(nodes->GetFreeCount(), nodesFree);
        EXPECT_EQ(records->GetFreeCount(), recordsFree);
        // Usable again.
        ASSERT_TRUE(AddVideo(idx, 5, 0));
        EXPECT_EQ(idx.GetTotalSize(), 100u);
    }
    // The destructor empties the index too.
    EXPECT_EQ(nodes->GetFreeCount(), nodesFree);
}

}  // namespace
