#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "MultiTask/Mutex.h"
#include "Record/Index/AssociatedData.h"
#include "Record/Index/RecordFileIndex.h"
#include "Record/TimeTypeMapping.h"

namespace {

// The engine changes an index under its lock while the app's storage report
// reads the totals without it.
TEST(RecordIndexThreads, TotalsReadWhileTheIndexChanges)
{
    CMutex engineLock;
    CRecordFileIndex idx(emRecFileType_CommonVideo);
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    const uint64_t size = 0x7FFFFFFFu;  // both halves of the total change
    std::thread reader([&] {
        while (!stop.load()) {
            uint64_t t = idx.GetTotalSize();
            EXPECT_EQ(t % size, 0u);
            ++reads;
        }
    });
    for (int round = 0; round < 200 || reads.load() < 100; ++round) {
        CGuard guard(engineLock);
        for (unsigned i = 0; i < 20; ++i) {
            ASSERT_TRUE(idx.AddRecFile(RECTIME::Make(24, 1, 5, 8, i, 0), 1u, 1080 << 16,
                                       static_cast<unsigned long>(size)));
        }
        while (idx.GetFileCount() > 0) {
            idx.RemoveNode(idx.FindNode(idx.GetFileListTail()->GetRecTime(), 0));
        }
    }
    stop = true;
    reader.join();
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(idx.GetTotalSize(), 0u);
}

// Pools are used from several threads at once (the snapshot thread takes
// records outside the engine's lock).
template <typename Get, typename Put>
void Hammer(Get get, Put put, int perThread)
{
    std::vector<std::thread> threads;
    std::atomic<bool> failed{false};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            std::vector<void*> held;
            for (int i = 0; i < 2000; ++i) {
                if (held.size() < static_cast<size_t>(perThread)) {
                    void* p = get();
                    if (p != nullptr) {
                        held.push_back(p);
                    }
                } else {
                    put(held.back());
                    held.pop_back();
                    if (i % 3 == 0) {
                        while (!held.empty()) {
                            put(held.back());
                            held.pop_back();
                        }
                    }
                }
            }
            std::set<void*> unique(held.begin(), held.end());
            if (unique.size() != held.size()) {
                failed = true;
            }
            for (void* p : held) {
                put(p);
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    EXPECT_FALSE(failed.load());
}

TEST(RecordIndexThreads, PoolsUnderContention)
{
    CAssociatedDataManager* records = CAssociatedDataManager::instance();
    Hammer([&] { return static_cast<void*>(records->GetNode()); },
           [&](void* p) { records->PutNode(static_cast<CAssociatedData*>(p)); }, 300);
    EXPECT_EQ(records->GetFreeCount(), records->GetAllocatedCount());

    CTimeTypeMappingNodeManager* triggers = CTimeTypeMappingNodeManager::instance();
    Hammer([&] { return static_cast<void*>(triggers->GetNode()); },
           [&](void* p) { triggers->PutNode(static_cast<TimeTypeMappingNode*>(p)); }, 40);
    EXPECT_EQ(triggers->GetFreeCount(), CTimeTypeMappingNodeManager::kNodeCount);
}

}  // namespace
