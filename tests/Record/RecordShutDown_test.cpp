// The engine's shut-down over a card that holds recordings: CleanUp gives
// every pooled object back, and an engine made as a function-local static
// before the pools are first used is torn down after them without touching
// freed memory.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "MP4/MP4TestFile.h"
#include "Record/Index/AssociatedData.h"
#include "Record/MP4/MP4File.h"
#include "Record/Record.h"
#include "Record/RecordPacker.h"
#include "RecordFileTestSupport.h"
#include "RecordTestCard.h"
#include "support/TestBoard.h"

namespace {

using mp4test::CBytes;

const int kCard = emSDState_Insert | emSDState_Mount;

// An alarm video whose private box holds one trigger and two snapshot records.
std::string AlarmVideo()
{
    auto rec = [](char type, unsigned sec) {
        std::vector<uint8_t> r =
            CBytes().u8(static_cast<uint8_t>(type)).u32(RECTIME::Make(24, 1, 5, 9, 0, sec).value).u32(0).Data();
        r.resize(r.size() + 64, 0);
        return r;
    };
    CBytes skip;
    skip.u32(8 + 16 + 16 + 2 * 73).tag("skip").u32(16).tag("altg").u32(0).u32(4);
    skip.u32(16 + 2 * 73).tag("asct").u32(0).u32(2).raw(rec('G', 2)).raw(rec('A', 3));
    const std::vector<uint8_t> bytes = CBytes()
                                           .u32(16).tag("ftyp").tag("isom").u32(0x200)
                                           .raw(skip.Data())
                                           .u32(48).tag("moov").zeros(40)
                                           .Data();
    return std::string(bytes.begin(), bytes.end());
}

// Finished loop videos with a title and an archive, an alarm video with its
// records and a snapshot.
void MakeCard(const CTestBoard& board)
{
    const std::string card = board.Path("/tmp/mmc0/DCIM/");
    XRecWriteFile(card + "100video/20240105083002_180.MP4", std::string(1000, 'v'));
    XRecWriteFile(card + "100video/20240105083302_180.MP4", std::string(1000, 'v'));
    XRecWriteFile(card + "103thumb/20240105083002.JPG", std::string(50, 't'));
    XRecWriteFile(card + "102thumb/20240105083002.TGZ", std::string(70, 'z'));
    XRecWriteFile(card + "101video/20240105090000_10.MP4", AlarmVideo());
    XRecWriteFile(card + "104snap/A20240105090003.JPG", std::string(30, 'j'));
}

template <typename T>
int Outstanding(T* pool)
{
    return pool->GetAllocatedCount() - pool->GetFreeCount();
}

// The engine as CRecord::instance() makes it, over a card folder.
CRecord& StaticEngine(CFolderCard*& card)
{
    static CFolderCard* s_lpCard = new CFolderCard();
    static CRecord s_Record(new CMP4File(), s_lpCard, new CRecordPacker());
    card = s_lpCard;
    return s_Record;
}

}  // namespace

// CleanUp empties the three indexes and gives every node and snapshot record
// back, so nothing taken from a pool is left for the destructors at exit.
TEST(RecordShutDown, CleanUpGivesEveryPooledObjectBack)
{
    CTestBoard board;
    MakeCard(board);
    CRecordFileIndexNodeManager* nodes = CRecordFileIndexNodeManager::instance();
    CAssociatedDataManager* records = CAssociatedDataManager::instance();
    const int nodesBefore = Outstanding(nodes);
    const int recordsBefore = Outstanding(records);

    CFolderCard* card = new CFolderCard();
    std::unique_ptr<CRecord> record(new CRecord(new CMP4File(), card, new CRecordPacker()));
    ASSERT_TRUE(record->Init(30, 30, 320, 240));
    testing::internal::CaptureStdout();
    card->Notify(kCard);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(2, record->GetCommonRecordFileIndex().GetFileCount());
    EXPECT_EQ(1, record->GetAlarmRecordFileIndex().GetFileCount());
    EXPECT_EQ(1, record->GetAlarmImageFileIndex().GetFileCount());
    EXPECT_EQ(nodesBefore + 4, Outstanding(nodes));
    EXPECT_EQ(recordsBefore + 2, Outstanding(records));
    // A trigger and a snapshot waiting for an alarm file that never opens.
    CTimeTypeMappingNodeManager* triggers = CTimeTypeMappingNodeManager::instance();
    const int triggersFree = triggers->GetFreeCount();
    record->ResumeCommonRecord();
    CAssociatedData* pending = records->GetNode();
    ASSERT_NE(nullptr, pending);
    ASSERT_TRUE(record->StartAlarmRecord(emAlarmType_Accelerate, 'A'));
    EXPECT_TRUE(record->SetAssociatedData(pending));
    EXPECT_EQ(triggersFree - 1, triggers->GetFreeCount());

    EXPECT_TRUE(record->CleanUp());
    for (CRecordFileIndex* index : {&record->GetCommonRecordFileIndex(), &record->GetAlarmRecordFileIndex(),
                                    &record->GetAlarmImageFileIndex()}) {
        EXPECT_EQ(0, index->GetFileCount());
        EXPECT_EQ(0u, index->GetTotalSize());
        EXPECT_EQ(nullptr, index->GetFileListHead());
    }
    EXPECT_EQ(nodesBefore, Outstanding(nodes));
    EXPECT_EQ(recordsBefore, Outstanding(records));
    EXPECT_EQ(triggersFree, triggers->GetFreeCount());
    // Every file is still on the card.
    EXPECT_EQ(2u, XRecListDir(board.Path("/tmp/mmc0/DCIM/100video")).size());
    EXPECT_EQ(1u, XRecListDir(board.Path("/tmp/mmc0/DCIM/101video")).size());
    EXPECT_EQ(1u, XRecListDir(board.Path("/tmp/mmc0/DCIM/103thumb")).size());
    EXPECT_EQ(1u, XRecListDir(board.Path("/tmp/mmc0/DCIM/102thumb")).size());
    record.reset();
    EXPECT_EQ(nodesBefore, Outstanding(nodes));
}

// A static engine made before any pool, indexing a card and left to the exit
// handlers, with and without CleanUp: the process ends cleanly (under
// AddressSanitizer a use of freed pool memory ends it with a report and
// status 1). The child is forked from this test's process, which has made no
// pool yet when the test runs on its own (as CTest runs it).
TEST(RecordShutDown, StaticEngineMadeBeforeThePoolsEndsCleanly)
{
    CTestBoard board;
    MakeCard(board);
    for (bool cleanUp : {true, false}) {
        SCOPED_TRACE(cleanUp);
        EXPECT_EXIT(
            {
                CFolderCard* card = nullptr;
                CRecord& record = StaticEngine(card);
                if (!record.Init(30, 30, 320, 240)) {
                    std::_Exit(3);
                }
                card->Notify(kCard);
                if (record.GetCommonRecordFileIndex().GetFileCount() != 2 ||
                    record.GetAlarmRecordFileIndex().GetFileListHead()->GetAssociatedData() == nullptr) {
                    std::_Exit(4);
                }
                if (cleanUp) {
                    record.CleanUp();
                }
                exit(0);
            },
            ::testing::ExitedWithCode(0), "");
    }
}
