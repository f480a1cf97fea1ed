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
#include <string>
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

// The engine spilling to a folder card with its flusher's period, recording.
class CSpillingEngine {
public:
    explicit CSpillingEngine(unsigned periodMs)
    {
        CFolderCard* card = new CFolderCard();
        m_lpRecord.reset(new CRecord(new CMP4File(), card, new CNoteFinisher(&m_Finished)));
        m_bOk = m_lpRecord->EnableSpill();
        m_lpRecord->SetRecoveryPeriod(periodMs);
        m_bOk = m_bOk && m_lpRecord->Init(30, 30, 320, 240);
        card->Notify(emSDState_Insert | emSDState_Mount);
        m_lpRecord->ResumeCommonRecord();
    }
    bool Ok() const { return m_bOk; }
    CRecord& Record() { return *m_lpRecord; }
    const CTestBoard& Board() const { return m_Board; }
    // Both spill files read back.
    BOOL ReadSpill(tagRecordSpillContent& c) const
    {
        const std::vector<uint8_t> a = ReadBytes(m_Board.Path("/tmp/mmc0/" RECORD_SPILL_NAME0));
        const std::vector<uint8_t> b = ReadBytes(m_Board.Path("/tmp/mmc0/" RECORD_SPILL_NAME1));
        const std::vector<uint8_t>* const files[2] = {&a, &b};
        return CRecordSpillReader::Parse(files, c);
    }
    // A clean shut-down, the engine gone.
    void Close()
    {
        m_lpRecord->StopAllRecord(1, 1);
        m_lpRecord->CleanUp();
        m_lpRecord.reset();
    }

private:
    CTestBoard m_Board;
    std::vector<tagFinished> m_Finished;
    std::unique_ptr<CRecord> m_lpRecord;
    bool m_bOk = false;
};

TEST(RecordSpillThreads, FlusherCopiesTheCacheWhileCaptureFillsIt)
{
    CSpillingEngine engine(2);
    ASSERT_TRUE(engine.Ok());
    CRecord& record = engine.Record();

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

    tagRecordSpillContent c;
    ASSERT_TRUE(engine.ReadSpill(c));
    EXPECT_EQ(c.problem, "");
    // Every packet still cached or needed, up to the newest.
    ASSERT_FALSE(c.packets.empty());
    EXPECT_EQ(c.packets.front().seq, c.state.keep);
    EXPECT_EQ(c.packets.back().seq + 1, c.state.next);
    EXPECT_EQ(c.state.next, record.GetRingBuffer().GetNextSeq());

    engine.Close();
    // Shut down cleanly: nothing is left to recover.
    EXPECT_FALSE(XRecExists(engine.Board().Path("/tmp/mmc0/" RECORD_SPILL_NAME0)));
    EXPECT_FALSE(XRecExists(engine.Board().Path("/tmp/mmc0/" RECORD_SPILL_NAME1)));
}

// A file begun is flushed at once, not a period later: its names, its
// journal's head and the spill naming it as the open file reach the card
// while capture goes on.
TEST(RecordSpillThreads, FileBegunIsFlushedAtOnce)
{
    CSpillingEngine engine(3600 * 1000);
    ASSERT_TRUE(engine.Ok());
    CRecord& record = engine.Record();
    CSynthFeeder feeder(record);
    for (int i = 0; i < 600 && !(record.GetRecorderFlag() & emRecordFileFlag_Recording); ++i) {
        feeder.Feed(1);
    }
    ASSERT_TRUE(record.GetRecorderFlag() & emRecordFileFlag_Recording);
    for (int i = 0; i < 1000 && record.GetSpill()->GetStats().flushes == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(record.GetSpill()->GetStats().flushes, 1u);

    tagRecordSpillContent c;
    ASSERT_TRUE(engine.ReadSpill(c));
    EXPECT_TRUE(c.state.flags & RECORD_SPILL_RECORDING);
    const std::vector<std::string> videos = XRecListDir(engine.Board().Path("/tmp/mmc0/DCIM/100video"));
    ASSERT_EQ(videos.size(), 1u);
    EXPECT_EQ(c.state.openName, videos[0]);
    engine.Close();
}

}  // namespace
