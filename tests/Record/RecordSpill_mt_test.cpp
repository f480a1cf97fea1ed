// The engine's flusher against the capture thread: it copies the cache every
// few milliseconds while packets go in and leave it, alarms come from another
// thread and a tool asks for flushes of its own; what it put on the card is
// read back whole.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

#include "Record/MP4/MP4File.h"
#include "Record/Record.h"
#include "Record/RecordSpillReader.h"
#include "RecordFileTestSupport.h"
#include "RecordSynthFeeder.h"
#include "RecordTestCard.h"
#include "support/TestBoard.h"

namespace {

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(RecordSpillThreads, FlusherCopiesTheCacheWhileCaptureFillsIt)
{
    CTestBoard board;
    std::vector<tagFinished> finished;
    CFolderCard* card = new CFolderCard();
    std::unique_ptr<CRecord> owner(new CRecord(new CMP4File(), card, new CNoteFinisher(&finished)));
    CRecord& record = *owner;
    ASSERT_TRUE(record.EnableSpill());
    record.SetRecoveryPeriod(2);
    ASSERT_TRUE(record.Init(30, 30, 320, 240));
    card->Notify(emSDState_Insert | emSDState_Mount);
    record.ResumeCommonRecord();

    std::atomic<bool> done{false};
    std::thread capture([&] {
        // A frame a millisecond: packets stay in the cache for 180 ms, many
        // flush periods, as they stay for many on the camera.
        CSynthFeeder feeder(record);
        for (int i = 0; i < 2400; ++i) {
            feeder.Feed(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        done = true;
    });
    std::thread alarms([&] {
        while (!done) {
            record.StartAlarmRecord(emAlarmType_Accelerate, 'A');
            std::this_thread::sleep_for(std::chrono::milliseconds(13));
        }
    });
    std::thread tool([&] {
        while (!done) {
            record.FlushRecoveryData();
            (void)record.GetSpill()->GetStats();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    capture.join();
    alarms.join();
    tool.join();
    ASSERT_TRUE(record.FlushRecoveryData());
    EXPECT_GT(record.GetSpill()->GetStats().flushes, 10u);

    const std::vector<uint8_t> a = ReadBytes(board.Path("/tmp/mmc0/" RECORD_SPILL_NAME0));
    const std::vector<uint8_t> b = ReadBytes(board.Path("/tmp/mmc0/" RECORD_SPILL_NAME1));
    const std::vector<uint8_t>* const files[2] = {&a, &b};
    tagRecordSpillContent c;
    ASSERT_TRUE(CRecordSpillReader::Parse(files, c));
    EXPECT_EQ(c.problem, "");
    // Every packet still cached or needed, up to the newest.
    ASSERT_FALSE(c.packets.empty());
    EXPECT_EQ(c.packets.front().seq, c.state.keep);
    EXPECT_EQ(c.packets.back().seq + 1, c.state.next);
    EXPECT_EQ(c.state.next, record.GetRingBuffer().GetNextSeq());

    record.StopAllRecord(1, 1);
    record.CleanUp();
    owner.reset();
    // Shut down cleanly: nothing is left to recover.
    EXPECT_FALSE(XRecExists(board.Path("/tmp/mmc0/" RECORD_SPILL_NAME0)));
    EXPECT_FALSE(XRecExists(board.Path("/tmp/mmc0/" RECORD_SPILL_NAME1)));
}

}  // namespace
