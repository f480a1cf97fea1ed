// The engine on the capture thread while alarms, snapshots, pauses, card
// changes and the getters come from other threads, as on the camera.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "Record/MP4/MP4File.h"
#include "Record/Record.h"
#include "Record/TimeTypeMapping.h"
#include "RecordSynthFeeder.h"
#include "RecordTestCard.h"
#include "support/TestBoard.h"

TEST(RecordThreads, CaptureAgainstEveryOtherCaller)
{
    CTestBoard board;
    std::vector<tagFinished> finished;
    const int freeNodes = CTimeTypeMappingNodeManager::instance()->GetFreeCount();
    CFolderCard* card = new CFolderCard();
    std::unique_ptr<CRecord> owner(new CRecord(new CMP4File(), card, new CNoteFinisher(&finished)));
    CRecord& record = *owner;
    ASSERT_TRUE(record.Init(30, 30, 320, 240));
    card->Notify(emSDState_Insert | emSDState_Mount);
    record.ResumeCommonRecord();

    std::atomic<bool> done{false};
    std::thread capture([&] {
        CSynthFeeder feeder(record);
        feeder.Feed(3000);
        done = true;
    });
    std::thread alarms([&] {
        const unsigned kinds[] = {emAlarmType_Accelerate, emAlarmType_Gesture, emAlarmType_TrafficReport};
        for (int i = 0; !done; ++i) {
            record.StartAlarmRecord(kinds[i % 3], 'A');
            CAssociatedData* d = CAssociatedDataManager::instance()->GetNode();
            d->SetRecType('A');
            if (!record.SetAssociatedData(d)) {
                XPutAssociatedDataList(d);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(7));
        }
    });
    std::thread app([&] {
        for (int i = 0; !done; ++i) {
            record.PauseAllRecord(i % 2, 1);
            (void)record.GetIsPauseRecord();
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            record.ResumeCommonRecord();
            (void)record.GetParkingFlag();
            (void)record.GetIsCanbeRecord();
            std::this_thread::sleep_for(std::chrono::milliseconds(11));
        }
    });
    std::thread sd([&] {
        for (int i = 0; !done; ++i) {
            card->Notify(i % 2 ? 0 : emSDState_Insert | emSDState_Mount);
            std::this_thread::sleep_for(std::chrono::milliseconds(23));
        }
        card->Notify(emSDState_Insert | emSDState_Mount);
    });
    capture.join();
    alarms.join();
    app.join();
    sd.join();
    record.StopAllRecord(1, 1);
    EXPECT_FALSE(record.GetRecorderFlag() & emRecordFileFlag_Recording);
    EXPECT_FALSE(finished.empty());
    record.CleanUp();
    owner.reset();
    // Every trigger node went back to the pool.
    EXPECT_EQ(CTimeTypeMappingNodeManager::instance()->GetFreeCount(), freeNodes);
}
