// The engine's own rules with made-up packets and the real MP4 writer on a
// card folder of a simulated board: alarm kinds, snapshot records, quotas,
// the recording LED, the card callback and the scheduling of children.

#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>

#include <memory>
#include <string>
#include <vector>

#include "Function/common.h"
#include "IniConfig/IniConfig.h"
#include "Platform/common/ThreadAttr.h"
#include "Record/MP4/MP4File.h"
#include "Record/Record.h"
#include "RecordSynthFeeder.h"
#include "RecordTestCard.h"
#include "support/TestBoard.h"

namespace {

const int kCard = emSDState_Insert | emSDState_Mount;

class RecordEngine : public ::testing::Test {
protected:
    void Make()
    {
        m_Finished.clear();
        m_lpRecord.reset();
        m_lpCard = new CFolderCard();
        m_lpRecord.reset(new CRecord(new CMP4File(), m_lpCard, new CNoteFinisher(&m_Finished)));
        ASSERT_TRUE(m_lpRecord->Init(30, 30, 320, 240));
    }
    void Start()
    {
        m_lpCard->Notify(kCard);
        m_lpRecord->ResumeCommonRecord();
    }

    CTestBoard m_Board;
    CFolderCard* m_lpCard = nullptr;
    std::vector<tagFinished> m_Finished;
    std::unique_ptr<CRecord> m_lpRecord;
};

CAssociatedData* Snapshot(char type)
{
    CAssociatedData* d = CAssociatedDataManager::instance()->GetNode();
    d->SetRecType(type);
    d->SetGPSPosition("N 1 E 2");
    return d;
}

}  // namespace

// Nothing records until the card callback and the first power-good cycle.
TEST_F(RecordEngine, StartsOnlyWithCardAndResume)
{
    Make();
    EXPECT_EQ(m_lpRecord->GetRecorderFlag(),
              emRecordFileFlag_Continuous | emRecordFileFlag_Stopped | emRecordFileFlag_Paused);
    CSynthFeeder feeder(*m_lpRecord);
    feeder.Feed(400);
    EXPECT_FALSE(m_lpRecord->GetRecorderFlag() & emRecordFileFlag_Recording);
    m_lpCard->Notify(kCard);
    EXPECT_TRUE(m_lpRecord->GetIsCanbeRecord());
    feeder.Feed(100);
    EXPECT_FALSE(m_lpRecord->GetRecorderFlag() & emRecordFileFlag_Recording);
    EXPECT_NE(m_lpRecord->GetIsPauseRecord(), 0);
    m_lpRecord->ResumeCommonRecord();
    EXPECT_EQ(m_lpRecord->GetIsPauseRecord(), 0);
    feeder.Feed(30);
    EXPECT_TRUE(m_lpRecord->GetRecorderFlag() & emRecordFileFlag_Recording);
    // CleanUp closes the file and unregisters: a later card change is not seen.
    EXPECT_TRUE(m_lpRecord->CleanUp());
    EXPECT_FALSE(m_lpRecord->GetRecorderFlag() & emRecordFileFlag_Recording);
    m_lpCard->Notify(0);
    EXPECT_TRUE(m_lpRecord->GetIsCanbeRecord());
}

// A read-only or write-protected card is not recorded on.
TEST_F(RecordEngine, UnusableCardStates)
{
    for (int state : {int(emSDState_Insert), kCard | emSDState_ReadOnly, kCard | emSDState_WriteProtect, 0}) {
        SCOPED_TRACE(state);
        Make();
        m_lpCard->Notify(state);
        m_lpRecord->ResumeCommonRecord();
        CSynthFeeder feeder(*m_lpRecord);
        feeder.Feed(400);
        EXPECT_FALSE(m_lpRecord->GetIsCanbeRecord());
        EXPECT_FALSE(m_lpRecord->GetRecorderFlag() & emRecordFileFlag_Recording);
        EXPECT_TRUE(m_lpRecord->GetRecorderFlag() & emRecordFileFlag_Stopped);
    }
}

struct tagAlarmCase {
    unsigned alarm;
    unsigned long type;
    uint32_t trigger;
};

TEST_F(RecordEngine, AlarmKindsToTriggers)
{
    const tagAlarmCase cases[] = {
        {emAlarmType_Gesture, 'M', emRecordTriggerType_Manual},
        {emAlarmType_Gesture, 'G', emRecordTriggerType_GestureAlarm},
        {emAlarmType_Accelerate, 'A', emRecordTriggerType_AcceleratorAlarm},
        {emAlarmType_HW_VoiceWakeUp, 'V', emRecordTriggerType_VoiceWakeUp},
        {emAlarmType_SW_VoiceWakeUp, 'V', emRecordTriggerType_VoiceWakeUp},
        {emAlarmType_TrafficReport, 'R', emRecordTriggerType_TrafficReport},
        {emAlarmType_Manual, 'M', emRecordTriggerType_GestureAlarm},
        {emAlarmType_SysErr, 'U', emRecordTriggerType_GestureAlarm},
    };
    for (const tagAlarmCase& c : cases) {
        SCOPED_TRACE(c.alarm);
        Make();
        Start();
        CSynthFeeder feeder(*m_lpRecord);
        feeder.Feed(300);
        EXPECT_TRUE(m_lpRecord->StartAlarmRecord(c.alarm, c.type));
        feeder.Feed(600);
        ASSERT_GE(m_Finished.size(), 2u);
        EXPECT_EQ(m_Finished[0].type, emRecordFileType_Common);
        EXPECT_EQ(m_Finished[1].type, emRecordFileType_Alarm);
        EXPECT_EQ(m_Finished[1].triggers, c.trigger);
        EXPECT_EQ(m_Finished[1].frames, 300u);
    }
}

// Snapshot records: refused while paused and while a loop file runs; taken
// for a loop file being cut for an alarm, and by an open alarm file; the
// finished alarm file hands them over.
TEST_F(RecordEngine, SnapshotRecords)
{
    Make();
    CAssociatedData* refused = Snapshot('A');
    EXPECT_FALSE(m_lpRecord->SetAssociatedData(refused));  // paused and stopped
    Start();
    CSynthFeeder feeder(*m_lpRecord);
    feeder.Feed(300);
    EXPECT_FALSE(m_lpRecord->SetAssociatedData(refused));  // a loop file runs
    XPutAssociatedDataList(refused);
    m_lpRecord->StartAlarmRecord(emAlarmType_Accelerate, 'A');
    EXPECT_TRUE(m_lpRecord->SetAssociatedData(Snapshot('A')));  // waits for the alarm file
    feeder.Feed(60);
    EXPECT_TRUE(m_lpRecord->SetAssociatedData(Snapshot('G')));  // the alarm file is open
    feeder.Feed(600);
    ASSERT_GE(m_Finished.size(), 2u);
    EXPECT_EQ(m_Finished[1].type, emRecordFileType_Alarm);
    EXPECT_EQ(m_Finished[1].records, 2);
    m_lpRecord->PauseAllRecord(1, 1);
    CAssociatedData* late = Snapshot('M');
    EXPECT_FALSE(m_lpRecord->SetAssociatedData(late));
    XPutAssociatedDataList(late);
}

// An alarm file reaching fps x 256 frames is continued in a new alarm file
// with the triggers still running and the newest snapshot record.
TEST_F(RecordEngine, LongAlarmContinuesInANewFile)
{
    Make();
    Start();
    CSynthFeeder feeder(*m_lpRecord);
    feeder.Feed(300);
    m_lpRecord->StartAlarmRecord(emAlarmType_Accelerate, 'A');
    m_lpRecord->SetAssociatedData(Snapshot('A'));
    // Keep re-arming so the alarm outlives 256 s.
    for (int i = 0; i < 30; ++i) {
        feeder.Feed(270);
        m_lpRecord->StartAlarmRecord(emAlarmType_Accelerate, 'A');
    }
    feeder.Feed(900);
    std::vector<tagFinished> alarms;
    for (const tagFinished& f : m_Finished) {
        if (f.type == emRecordFileType_Alarm) {
            alarms.push_back(f);
        }
    }
    ASSERT_GE(alarms.size(), 2u);
    EXPECT_EQ(alarms[0].frames, 30u * 256u);
    EXPECT_EQ(alarms[0].records, 1);
    EXPECT_EQ(alarms[1].records, 1);  // the copy of the newest record
    EXPECT_EQ(alarms[1].triggers, static_cast<uint32_t>(emRecordTriggerType_AcceleratorAlarm));
}

// Byte limits are the settings' percentages of the card.
TEST_F(RecordEngine, QuotasFromTheSettings)
{
    Make();
    uint64_t c = 0, a = 0, i = 0;
    m_lpRecord->GetByteLimits(c, a, i);
    EXPECT_EQ(c, ~0ULL);  // no limit before a card is mounted
    // The store not loaded: the defaults.
    m_lpCard->Notify(kCard);
    uint64_t total = 0, freeBytes = 0;
    ASSERT_TRUE(XGetDiskPartitionSpace(m_Board.Path("/tmp/mmc0").c_str(), &total, &freeBytes));
    m_lpRecord->GetByteLimits(c, a, i);
    EXPECT_EQ(c, total / 100 * 65 + total % 100 * 65 / 100);
    EXPECT_EQ(i, total / 100 * 5 + total % 100 * 5 / 100);
    ASSERT_TRUE(CIniConfig::instance()->Init());
    CIniConfig::instance()->SetInt("storageset", "commonvideoonsdquota", 50);
    CIniConfig::instance()->SetInt("storageset", "alarmvideoonsdquota", 40);
    CIniConfig::instance()->SetInt("storageset", "alarmimageonsdquota", 10);
    Make();
    m_lpCard->Notify(kCard);
    m_lpRecord->GetByteLimits(c, a, i);
    EXPECT_EQ(c, total / 100 * 50 + total % 100 * 50 / 100);
    EXPECT_EQ(a, total / 100 * 40 + total % 100 * 40 / 100);
    EXPECT_EQ(i, total / 100 * 10 + total % 100 * 10 / 100);
}

// The recording LED (GPIO 71) changes every fps recorded frames, the first
// time on the first one; never in factory-testing mode.
TEST_F(RecordEngine, RecordingLed)
{
    for (BOOL testing : {FALSE, TRUE}) {
        SCOPED_TRACE(testing);
        Make();
        m_Board.SetPin(RECORD_LED_GPIO, 0);
        m_lpRecord->SetFactoryTesting(testing);
        Start();
        CSynthFeeder feeder(*m_lpRecord);
        feeder.Feed(240);  // the first file opens on frame 60, written once frame 240 arrives
        EXPECT_FALSE(m_lpRecord->GetRecorderFlag() & emRecordFileFlag_Recording);
        feeder.Feed(1);
        EXPECT_EQ(m_Board.GetPin(RECORD_LED_GPIO), testing ? 0 : 1);
        feeder.Feed(29);
        EXPECT_EQ(m_Board.GetPin(RECORD_LED_GPIO), testing ? 0 : 1);
        feeder.Feed(1);
        EXPECT_EQ(m_Board.GetPin(RECORD_LED_GPIO), 0);
        feeder.Feed(30);
        EXPECT_EQ(m_Board.GetPin(RECORD_LED_GPIO), testing ? 0 : 1);
    }
}

// After a switch to 720p the next file is a 720p one; the file open during
// the switch's flush kept its own size.
TEST_F(RecordEngine, ResolutionOfEachFile)
{
    Make();
    Start();
    CSynthFeeder feeder(*m_lpRecord);
    feeder.Feed(400);
    m_lpRecord->SetRecordResolution(PIC_HD720, 1280, 720);
    m_lpRecord->PauseAllRecord(1, 1);
    feeder.SetPictureSize(1280, 720);
    m_lpRecord->ResumeCommonRecord();
    feeder.Feed(400);
    m_lpRecord->StopAllRecord(1, 1);
    ASSERT_EQ(m_Finished.size(), 2u);
    EXPECT_EQ(m_Finished[0].resFlag, 1080);
    EXPECT_EQ(m_Finished[1].resFlag, 720);
}

// Parking: 1 fps time-lapse without cache; loop files of 180 frames.
TEST_F(RecordEngine, ParkingMode)
{
    Make();
    Start();
    CSynthFeeder feeder(*m_lpRecord);
    feeder.Feed(400);
    m_lpRecord->PauseAllRecord(1, 1);
    m_lpRecord->SetParkingMode(TRUE);
    m_lpRecord->ResumeCommonRecord();
    EXPECT_TRUE(m_lpRecord->GetParkingFlag());
    CSynthFeeder parking(*m_lpRecord, 1, 1);
    parking.Feed(1);
    EXPECT_TRUE(m_lpRecord->GetRingBuffer().IsEmpty());
    EXPECT_TRUE(m_lpRecord->GetRecorderFlag() & emRecordFileFlag_Recording);  // no cache to wait for
    parking.Feed(200);
    ASSERT_GE(m_Finished.size(), 2u);
    EXPECT_EQ(m_Finished[1].frames, 180u);
    m_lpRecord->PauseAllRecord(1, 1);
    m_lpRecord->SetParkingMode(FALSE);
    EXPECT_FALSE(m_lpRecord->GetParkingFlag());
}

// Children forked from the capture thread start at default scheduling.
TEST_F(RecordEngine, ChildrenDoNotInheritRealTimePriority)
{
    Make();
    struct tagArgs {
        CRecord* record;
        std::string policy;
    } args = {m_lpRecord.get(), ""};
    pthread_t t;
    const int ret = XCreateFifoThread(&t, 99, [](void* p) -> void* {
        tagArgs* a = static_cast<tagArgs*>(p);
        CSynthFeeder feeder(*a->record);
        feeder.Feed(1);
        std::vector<std::string> out;
        // Field 41 of the child's stat line is its policy (0 = SCHED_OTHER).
        ExecCommand2("awk '{print $41}' /proc/self/stat", out);
        a->policy = out.empty() ? "" : out[0];
        return nullptr;
    }, &args);
    if (ret != 0) {
        GTEST_SKIP() << "SCHED_FIFO is refused on this machine";
    }
    pthread_join(t, nullptr);
    EXPECT_EQ(args.policy, "0");
}
