#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "Record/Index/AssociatedData.h"
#include "Record/RecordFileBase.h"
#include "Record/TimeTypeMapping.h"

namespace {

// A writer without a file: frames only move the counters, as the MP4 writer
// moves them.
class CCountingRecordFile : public CRecordFile {
public:
    BOOL StartRecord(const char*, int, int framerate, unsigned, unsigned, const TimeTypeMappingNode* duration,
                     unsigned thumbGranularity, emRecordFileType type, const tagH264SPSPPS*) override
    {
        m_emRecordFileType = type;
        m_Flag |= emRecordFileFlag_Recording | emRecordFileFlag_NeedTitle;
        m_Flag &= ~(emRecordFileFlag_StartNext | emRecordFileFlag_Pack | emRecordFileFlag_NeedThumb);
        m_Fps = framerate;
        m_MaxLimitFrames = static_cast<unsigned>(framerate) * 256u;
        m_TotalFrames = 0;
        m_LeftFrames = 0;
        m_curTriggerType = 0;
        m_totalTriggerType = 0;
        ++m_Context;
        ReleaseAssociatedData();
        ReleaseTypeMappings();
        SetDurationTime(duration);
        m_ThumbGranularity = m_LeftThumb = static_cast<int>(thumbGranularity);
        return 1;
    }
    BOOL WriteAudioPacket(const tagMediaDataInfo*) override { return 1; }
    BOOL WriteVideoPacket(const tagMediaDataInfo*) override
    {
        if ((m_Flag & emRecordFileFlag_Recording) == 0) {
            return 0;
        }
        ++m_TotalFrames;
        --m_LeftFrames;
        CheckTypeMapping(1);
        return 1;
    }
    uint64_t GetFileSize() override { return (m_Flag & emRecordFileFlag_Recording) ? 5000000000ull : 0; }
    BOOL StopRecord() override
    {
        ++m_nStops;
        if ((m_Flag & emRecordFileFlag_Recording) == 0) {
            return 0;
        }
        m_Flag &= ~(emRecordFileFlag_Recording | emRecordFileFlag_Pack | emRecordFileFlag_NeedTitle |
                    emRecordFileFlag_NeedThumb);
        if (m_Flag & emRecordFileFlag_Continuous) {
            m_Flag |= emRecordFileFlag_StartNext;
        }
        return 1;
    }

    void Start(emRecordFileType type, int fps = 30, const TimeTypeMappingNode* list = nullptr)
    {
        ASSERT_TRUE(StartRecord("x", fps * 3000, fps, 1920, 1080, list, 600, type, nullptr));
    }
    void Frames(int n)
    {
        for (int i = 0; i < n; ++i) {
            WriteVideoPacket(nullptr);
        }
    }
    void SetLeft(int left) { m_LeftFrames = left; }
    void SetTotal(unsigned total) { m_TotalFrames = total; }
    // (trigger, lefttime) of the list in order.
    std::vector<std::pair<int, int>> List() const
    {
        std::vector<std::pair<int, int>> out;
        for (const TimeTypeMapping* n = GetTypeMappings(); n != nullptr; n = n->next) {
            out.emplace_back(n->trigger, n->lefttime);
        }
        return out;
    }

    int m_nStops = 0;
};

using Pairs = std::vector<std::pair<int, int>>;
constexpr emRecordTriggerType G = emRecordTriggerType_GestureAlarm;
constexpr emRecordTriggerType A = emRecordTriggerType_AcceleratorAlarm;
constexpr emRecordTriggerType M = emRecordTriggerType_Manual;

int FreeNodes() { return CTimeTypeMappingNodeManager::instance()->GetFreeCount(); }

// Every test must leave all 112 trigger nodes free: a node that leaks per
// alarm would silently disable alarms after a while.
class RecordFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(FreeNodes(), CTimeTypeMappingNodeManager::kNodeCount); }
    void TearDown() override { EXPECT_EQ(FreeNodes(), CTimeTypeMappingNodeManager::kNodeCount); }
};

TEST_F(RecordFileTest, ConstructionStateAndDefaults)
{
    CCountingRecordFile f;
    EXPECT_EQ(f.GetFlag(), emRecordFileFlag_Stopped | emRecordFileFlag_Paused);
    EXPECT_EQ(f.GetFps(), 30);
    // Not recording: even a forced check leaves Pack clear and CheckPack does nothing.
    f.CheckNeedPack(1);
    EXPECT_EQ(f.GetFlag() & emRecordFileFlag_Pack, 0);
    EXPECT_EQ(f.CheckPack(), 0);
    EXPECT_EQ(f.m_nStops, 0);
}

struct tagArmStep {
    const char* what;
    emRecordTriggerType trigger;
    unsigned duration;
    Pairs list;       // expected list afterwards
    int leftFrames;   // expected m_LeftFrames afterwards
};

TEST_F(RecordFileTest, ArmAndReArmKeepsTheListSortedAndOnlyGrowsTheFile)
{
    const std::vector<tagArmStep> steps = {
        {"first trigger", G, 100, {{G, 100}}, 100},
        {"second, longer", A, 200, {{G, 100}, {A, 200}}, 200},
        {"re-arm the first longer: it moves behind", G, 300, {{A, 200}, {G, 300}}, 300},
        {"re-arm shorter: moves ahead, the file does not shrink", G, 50, {{G, 50}, {A, 200}}, 300},
        {"equal time goes ahead of the equal node", M, 200, {{G, 50}, {M, 200}, {A, 200}}, 300},
        {"below fps with more left: unchanged", A, 10, {{A, 10}, {G, 50}, {M, 200}}, 300},
    };
    CCountingRecordFile f;
    f.Start(emRecordFileType_Alarm);
    for (const tagArmStep& s : steps) {
        SCOPED_TRACE(s.what);
        EXPECT_EQ(f.AddTypeMapping(s.trigger, s.duration), 1);
        EXPECT_EQ(f.List(), s.list);
        EXPECT_EQ(f.GetLeftFrames(), s.leftFrames);
    }
    EXPECT_EQ(f.GetCurrentAlarmTrigger(), static_cast<unsigned>(G | A | M));
    EXPECT_EQ(f.GetTotalAlarmTrigger(), static_cast<uint32_t>(G | A | M));
    EXPECT_EQ(FreeNodes(), CTimeTypeMappingNodeManager::kNodeCount - 3);
}

struct tagDurationCase {
    const char* what;
    int leftBefore;
    unsigned duration;
    int leftAfter;
};

TEST_F(RecordFileTest, SetDurationTimeFloorsAtFpsAndComparesSigned)
{
    const tagDurationCase cases[] = {
        {"below fps from 0: fps", 0, 10, 30},
        {"below fps with fewer left: fps", 5, 10, 30},
        {"at least the duration already, below fps: unchanged", 20, 10, 20},
        {"equal: nothing", 300, 300, 300},
        {"more left: nothing", 301, 300, 301},
        {"grows", 100, 300, 300},
        {"overrun (negative) file still grows", -5, 10, 30},
        {"overrun, long duration", -1, 4000, 4000},
        {"huge duration is clamped, not negative", 0, 0xFFFFFFFFu, INT_MAX},
    };
    for (const tagDurationCase& c : cases) {
        SCOPED_TRACE(c.what);
        CCountingRecordFile f;
        f.Start(emRecordFileType_Common);
        f.SetLeft(c.leftBefore);
        f.SetDurationTime(c.duration);
        EXPECT_EQ(f.GetLeftFrames(), c.leftAfter);
    }
}

TEST_F(RecordFileTest, CommonTriggerIsRefusedForAlarmFiles)
{
    CCountingRecordFile alarm;
    alarm.Start(emRecordFileType_Alarm);
    EXPECT_EQ(alarm.AddTypeMapping(emRecordTriggerType_Common, 5400), 0);
    EXPECT_TRUE(alarm.List().empty());
    EXPECT_EQ(alarm.GetLeftFrames(), 0);

    CCountingRecordFile common;
    common.Start(emRecordFileType_Common);
    EXPECT_EQ(common.AddTypeMapping(emRecordTriggerType_Common, 5400), 1);
    EXPECT_EQ(common.GetLeftFrames(), 5400);
}

TEST_F(RecordFileTest, EqualTimesExpireInTheSameFrame)
{
    CCountingRecordFile f;
    f.Start(emRecordFileType_Alarm);
    f.AddTypeMapping(G, 100);
    f.AddTypeMapping(A, 100);
    f.AddTypeMapping(M, 150);
    f.Frames(99);
    EXPECT_EQ(f.List(), (Pairs{{A, 1}, {G, 1}, {M, 51}}));
    f.Frames(1);
    EXPECT_EQ(f.List(), (Pairs{{M, 50}}));
    EXPECT_EQ(f.GetCurrentAlarmTrigger(), static_cast<unsigned>(M));
    EXPECT_EQ(f.GetTotalAlarmTrigger(), static_cast<uint32_t>(G | A | M));
    f.Frames(50);
    EXPECT_TRUE(f.List().empty());
    EXPECT_EQ(f.GetCurrentAlarmTrigger(), 0u);
    EXPECT_EQ(f.GetLeftFrames(), 0);
}

struct tagPackCase {
    const char* what;
    int fps;
    int left;
    unsigned total;
    BOOL immediately;
    bool pack;
};

TEST_F(RecordFileTest, PackBoundaries)
{
    const tagPackCase cases[] = {
        {"exactly fps left", 30, 30, 100, 0, false},
        {"fps - 1 left", 30, 29, 100, 0, true},
        {"overrun", 30, -3, 100, 0, true},
        {"fps x 256 - 1 frames", 30, 1000, 30 * 256 - 1, 0, false},
        {"fps x 256 frames", 30, 1000, 30 * 256, 0, true},
        {"forced", 30, 1000, 10, 1, true},
        {"parking 1 fps, 1 left", 1, 1, 10, 0, false},
        {"parking 1 fps, 0 left", 1, 0, 10, 0, true},
        {"parking 1 fps, 256 frames", 1, 1000, 256, 0, true},
    };
    for (const tagPackCase& c : cases) {
        SCOPED_TRACE(c.what);
        CCountingRecordFile f;
        f.Start(emRecordFileType_Common, c.fps);
        f.SetLeft(c.left);
        f.SetTotal(c.total);
        f.CheckNeedPack(c.immediately);
        EXPECT_EQ((f.GetFlag() & emRecordFileFlag_Pack) != 0, c.pack);
    }
}

TEST_F(RecordFileTest, CheckPackStopsTheFileAndPrints)
{
    CCountingRecordFile f;
    f.AddFlag(emRecordFileFlag_Continuous);
    f.Start(emRecordFileType_Common);
    f.AddTypeMapping(emRecordTriggerType_Common, 40);
    f.Frames(11);
    EXPECT_EQ(f.CheckPack(), 0);  // Pack not set
    f.CheckNeedPack(0);
    ASSERT_NE(f.GetFlag() & emRecordFileFlag_Pack, 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(f.CheckPack(), 1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("PACKING(SIZE=5000000000, TOTAL=11, LEFT=29)...\n"), std::string::npos) << out;
    EXPECT_EQ(f.GetFlag() & (emRecordFileFlag_Pack | emRecordFileFlag_Recording), 0);
    EXPECT_NE(f.GetFlag() & emRecordFileFlag_StartNext, 0);
    // Pack set without an open file: StopRecord's 0 comes back.
    f.AddFlag(emRecordFileFlag_Pack);
    EXPECT_EQ(f.CheckPack(), 0);
}

TEST_F(RecordFileTest, AlarmFileRunsTenSecondsAfterTheLastTrigger)
{
    // 30 fps, GOP 30: the engine checks at every 30th frame.
    CCountingRecordFile f;
    f.Start(emRecordFileType_Alarm);
    f.AddTypeMapping(A, 300);
    int frames = 0;
    auto runToPack = [&] {
        for (;;) {
            if (frames % 30 == 0) {
                f.CheckNeedPack(0);
                if (f.GetFlag() & emRecordFileFlag_Pack) {
                    return;
                }
            }
            f.Frames(1);
            ++frames;
        }
    };
    f.Frames(100);
    frames = 100;
    f.AddTypeMapping(G, 300);  // second trigger: end moves to 100 + 300
    runToPack();
    EXPECT_EQ(frames, 390);  // first GOP start with fewer than 30 left
    EXPECT_EQ(f.GetLeftFrames(), 10);
}

TEST_F(RecordFileTest, GetLeftFramesCopiesTheRunningTriggers)
{
    CCountingRecordFile f;
    f.Start(emRecordFileType_Alarm);
    f.AddTypeMapping(G, 120);
    f.AddTypeMapping(A, 300);
    f.Frames(20);
    TimeTypeMapping* copy = nullptr;
    int maxLeft = -1;
    int left = -1;
    f.GetLeftFrames(copy, maxLeft, left);
    std::vector<std::pair<int, int>> got;
    for (TimeTypeMapping* n = copy; n != nullptr; n = n->next) {
        got.emplace_back(n->trigger, n->lefttime);
    }
    EXPECT_EQ(got, (Pairs{{G, 100}, {A, 280}}));
    EXPECT_EQ(maxLeft, 280);
    EXPECT_EQ(left, 280);
    EXPECT_EQ(f.List(), got);  // the file keeps its own nodes
    CTimeTypeMappingNodeManager::instance()->PutNodeList(copy);

    CCountingRecordFile idle;
    idle.GetLeftFrames(copy, maxLeft, left);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(maxLeft, 0);
    EXPECT_EQ(left, 0);
}

TEST_F(RecordFileTest, PoolExhaustion)
{
    CTimeTypeMappingNodeManager* pool = CTimeTypeMappingNodeManager::instance();
    CCountingRecordFile f;
    f.Start(emRecordFileType_Alarm);
    ASSERT_EQ(f.AddTypeMapping(G, 100), 1);
    ASSERT_EQ(f.AddTypeMapping(A, 200), 1);
    std::vector<TimeTypeMappingNode*> held;
    while (TimeTypeMappingNode* n = pool->GetNode()) {
        EXPECT_EQ(n->lefttime, 0);
        EXPECT_EQ(n->next, nullptr);
        held.push_back(n);
    }
    EXPECT_EQ(held.size(), static_cast<size_t>(CTimeTypeMappingNodeManager::kNodeCount - 2));
    // A new trigger is not armed; re-arming one that runs needs no node.
    EXPECT_EQ(f.AddTypeMapping(M, 300), 0);
    EXPECT_EQ(f.AddTypeMapping(G, 400), 1);
    EXPECT_EQ(f.List(), (Pairs{{A, 200}, {G, 400}}));
    // The copy stops with its error line.
    TimeTypeMapping* copy = reinterpret_cast<TimeTypeMapping*>(1);
    int maxLeft = -1;
    int left = -1;
    testing::internal::CaptureStderr();
    f.GetLeftFrames(copy, maxLeft, left);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("GetNode Error."), std::string::npos);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(maxLeft, 0);
    EXPECT_EQ(left, 400);
    // One node back: the copy gets the first trigger only.
    pool->PutNode(held.back());
    held.pop_back();
    f.GetLeftFrames(copy, maxLeft, left);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->trigger, A);
    EXPECT_EQ(copy->next, nullptr);
    EXPECT_EQ(maxLeft, 200);
    pool->PutNode(copy);
    for (TimeTypeMappingNode* n : held) {
        pool->PutNode(n);
    }
}

TEST_F(RecordFileTest, PoolRefusesForeignAndDoubleReturns)
{
    CTimeTypeMappingNodeManager* pool = CTimeTypeMappingNodeManager::instance();
    TimeTypeMappingNode foreign = {10, G, nullptr};
    testing::internal::CaptureStderr();
    pool->PutNode(&foreign);
    TimeTypeMappingNode* n = pool->GetNode();
    ASSERT_NE(n, nullptr);
    pool->PutNode(n);
    pool->PutNode(n);  // twice
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("not from the pool"), std::string::npos);
    EXPECT_NE(err.find("already free"), std::string::npos);
    EXPECT_EQ(FreeNodes(), CTimeTypeMappingNodeManager::kNodeCount);
    // The free list is not corrupted: every node comes out once.
    std::vector<TimeTypeMappingNode*> all;
    while (TimeTypeMappingNode* p = pool->GetNode()) {
        for (TimeTypeMappingNode* q : all) {
            ASSERT_NE(p, q);
        }
        all.push_back(p);
    }
    EXPECT_EQ(all.size(), static_cast<size_t>(CTimeTypeMappingNodeManager::kNodeCount));
    for (TimeTypeMappingNode* p : all) {
        pool->PutNode(p);
    }
}

// The engine's use over many alarms: a pending list from the pool loaded into
// each new file, triggers re-armed while it runs, the remaining triggers
// copied out at every close and merged into the next pending list.
TEST_F(RecordFileTest, ScriptedAlarmCyclesGiveEveryNodeBack)
{
    CTimeTypeMappingNodeManager* pool = CTimeTypeMappingNodeManager::instance();
    const emRecordTriggerType kinds[] = {G, A, M, emRecordTriggerType_VoiceWakeUp, emRecordTriggerType_TrafficReport,
                                         emRecordTriggerType_WirelessKey};
    CCountingRecordFile f;
    f.AddFlag(emRecordFileFlag_Continuous);
    TimeTypeMapping* pending = nullptr;
    unsigned seed = 12345;
    auto rnd = [&seed](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    int files = 0;
    for (int cycle = 0; cycle < 400; ++cycle) {
        // A common file cut by an alarm: the pending list holds one trigger.
        pending = pool->GetNode();
        ASSERT_NE(pending, nullptr);
        pending->trigger = kinds[rnd(6)];
        pending->lefttime = 300;
        emRecordFileType type = emRecordFileType_Alarm;
        while (type == emRecordFileType_Alarm) {
            f.Start(type, 30, pending);
            ++files;
            pool->PutNodeList(pending);
            pending = nullptr;
            // Frames in GOPs of 30; some triggers arrive meanwhile.
            for (;;) {
                f.CheckNeedPack(0);
                if (f.GetFlag() & emRecordFileFlag_Pack) {
                    break;
                }
                for (int i = 0; i < 30; ++i) {
                    if (rnd(100) == 0) {
                        f.AddTypeMapping(kinds[rnd(6)], 300);
                    }
                    f.Frames(1);
                }
            }
            ASSERT_EQ(f.CheckPack(), 1);
            TimeTypeMapping* left = nullptr;
            int maxLeft = 0;
            int leftFrames = 0;
            f.GetLeftFrames(left, maxLeft, leftFrames);
            int remain = leftFrames < maxLeft ? leftFrames : maxLeft;
            if (remain < 30) {
                pool->PutNodeList(left);
                type = emRecordFileType_Common;
            } else {
                pending = left;  // carried over into the next alarm file
            }
        }
    }
    EXPECT_GT(files, 400);
    // The writer still holds the list of its last file until the next start.
    f.Start(emRecordFileType_Common);
    EXPECT_EQ(FreeNodes(), CTimeTypeMappingNodeManager::kNodeCount);
}

TEST_F(RecordFileTest, DestructorGivesTheTriggerListBack)
{
    {
        CCountingRecordFile f;
        f.Start(emRecordFileType_Alarm);
        f.AddTypeMapping(G, 100);
        f.AddTypeMapping(A, 100);
        EXPECT_EQ(FreeNodes(), CTimeTypeMappingNodeManager::kNodeCount - 2);
    }
}

class CRecordFileAssocTest : public RecordFileTest {
protected:
    CAssociatedData* Make(char type, int index)
    {
        CAssociatedData* d = CAssociatedDataManager::instance()->GetNode();
        d->SetRecType(type);
        d->SetRecIndex(index);
        return d;
    }
    static std::string Order(const CAssociatedData* p)
    {
        std::string s;
        for (; p != nullptr; p = p->GetNext()) {
            s += p->GetRecType();
        }
        return s;
    }
};

TEST_F(CRecordFileAssocTest, HandOverKeepsOrderAndOwnership)
{
    CAssociatedDataManager* pool = CAssociatedDataManager::instance();
    CCountingRecordFile f;
    CAssociatedData* a = Make('A', 0);
    CAssociatedData* b = Make('B', 0);
    a->SetNext(b);
    f.SetAssociatedData(a);
    CAssociatedData* c = Make('C', 0);
    CAssociatedData* d = Make('D', 0);
    c->SetNext(d);
    f.SetAssociatedData(c);
    CAssociatedData* head = nullptr;
    f.GetAssociatedData(head, 0);
    EXPECT_EQ(Order(head), "CDAB");
    f.SetAssociatedData(nullptr);
    f.GetAssociatedData(head, 1);
    EXPECT_EQ(Order(head), "CDAB");
    CAssociatedData* none = reinterpret_cast<CAssociatedData*>(1);
    f.GetAssociatedData(none, 0);
    EXPECT_EQ(none, nullptr);
    // After a reset the first list's last record becomes the tail again: a
    // later hand-over links behind nothing.
    CAssociatedData* e = Make('E', 0);
    f.SetAssociatedData(e);
    f.GetAssociatedData(none, 0);
    EXPECT_EQ(Order(none), "E");
    pool->PutNodeList(head);
    // `e` goes back with the writer.
}

TEST_F(CRecordFileAssocTest, RecordsGoBackToThePoolWithTheWriter)
{
    CAssociatedDataManager* pool = CAssociatedDataManager::instance();
    CAssociatedData* probe = pool->GetNode();  // make sure a block exists
    pool->PutNode(probe);
    const int before = pool->GetFreeCount();
    {
        CCountingRecordFile f;
        CAssociatedData* a = Make('A', 1);
        a->SetNext(Make('G', 2));
        f.SetAssociatedData(a);
        EXPECT_EQ(pool->GetFreeCount(), before - 2);
    }
    EXPECT_EQ(pool->GetFreeCount(), before);
}

TEST_F(RecordFileTest, FileNameDurationRoundsUp)
{
    const struct {
        int fps;
        unsigned frames;
        unsigned seconds;
    } cases[] = {{30, 0, 0}, {30, 1, 1}, {30, 30, 1}, {30, 31, 2}, {30, 5400, 180}, {1, 1, 1}, {1, 180, 180}, {0, 9, 0}};
    for (const auto& c : cases) {
        CCountingRecordFile f;
        f.StartRecord("x", c.fps * 3000, c.fps, 0, 0, nullptr, 600, emRecordFileType_Common, nullptr);
        f.SetTotal(c.frames);
        EXPECT_EQ(f.GetFileNameDuration(), c.seconds) << c.fps << " fps, " << c.frames << " frames";
    }
}

}  // namespace
