// The alarm routing over fakes: alarm value, wpa and letter with the
// snapshot_associate_video setting give the recording and snapshot calls,
// in order, with their arguments.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Alarm/Alarm.h"
#include "AlarmFakes.h"
#include "IniConfig/IniConfig.h"
#include "support/TestBoard.h"

namespace {

class AlarmLinkage : public ::testing::Test {
protected:
    // Fresh configurations loaded with the setting.
    void Load(int associate)
    {
        ASSERT_TRUE(CIniConfig::instance()->Init());
        CIniConfig::instance()->SetInt("funcset", "snapshot_associate_video", associate);
        m_lpConfig.reset(new CAlarmConfigManager());
        m_lpConfig->Bind({&m_Log, &m_Log});
        ASSERT_TRUE(m_lpConfig->Init());
    }

    // Calls and printed text of one alarm.
    std::vector<std::string> Run(unsigned alarm, unsigned wpa, char letter, std::string* out = nullptr,
                                 BOOL* result = nullptr)
    {
        m_Log.Clear();
        testing::internal::CaptureStdout();
        const BOOL r = m_lpConfig->ProcessLinkage(alarm, wpa, static_cast<unsigned long>(letter));
        const std::string o = testing::internal::GetCapturedStdout();
        if (out != nullptr) {
            *out = o;
        }
        if (result != nullptr) {
            *result = r;
        }
        return m_Log.Calls();
    }

    CTestBoard m_Board;
    CAlarmCallLog m_Log;
    std::unique_ptr<CAlarmConfigManager> m_lpConfig;
};

typedef std::vector<std::string> Calls;

struct tagRoute {
    const char* name;
    int associate;  // snapshot_associate_video
    unsigned alarm;
    unsigned wpa;
    char letter;
    BOOL result;
    Calls calls;
    const char* printed;  // a line the alarm prints, or null
};

TEST_F(AlarmLinkage, RoutesEachAlarmToItsCallsInOrder)
{
    const tagRoute routes[] = {
        {"acceleration", 0, emAlarmType_Accelerate, 0, 'A', TRUE, {"Record(16,A)", "Snapshot(2,2,A)"},
         "PROCESS RECORD(ALARM=0x10)\n"},
        {"gesture alone", 0, emAlarmType_Gesture, 312, 'G', TRUE, {"Snapshot(2,0,G)"}, nullptr},
        {"gesture with video", 1, emAlarmType_Gesture, 312, 'G', TRUE, {"Record(2,G)", "Snapshot(2,2,G)"},
         "PROCESS RECORD(ALARM=0x2)\n"},
        {"phone request", 0, emAlarmType_Gesture, 1111, 'M', TRUE, {"Snapshot(2,0,M)"}, nullptr},
        {"phone request with video", 1, emAlarmType_Gesture, 1111, 'M', TRUE, {"Record(2,M)", "Snapshot(2,2,M)"},
         nullptr},
        {"two kinds: the lowest, full value", 0, 0x30, 0, 'A', TRUE, {"Record(48,A)", "Snapshot(2,2,A)"},
         "PROCESS RECORD(ALARM=0x30)\n"},
        {"bit 9 only", 1, 512, 0, 'A', FALSE, {}, nullptr},
        {"no bit", 1, 0, 0, 'A', FALSE, {}, nullptr},
        {"outside the mask", 1, 4096, 0, 'A', FALSE, {}, nullptr},
        {"GPS lost", 1, emAlarmType_GPSLostSatellites, 0, 'U', TRUE, {}, "PLAY AUDIO ALARM=0x4\n"},
        {"GPS found", 1, emAlarmType_GPSConnSatellites, 0, 'U', TRUE, {}, "PLAY AUDIO ALARM=0x8\n"},
        {"HW voice brings its mask", 0, emAlarmType_HW_VoiceWakeUp, emLinkageType_Snapshot, 'V', TRUE,
         {"Snapshot(2,0,V)"}, nullptr},
        {"SW voice with video", 1, emAlarmType_SW_VoiceWakeUp, 0, 'V', TRUE, {"Record(128,V)", "Snapshot(2,2,V)"},
         nullptr},
        {"traffic report", 0, emAlarmType_TrafficReport, 0, 'R', TRUE, {"Record(256,R)", "Snapshot(2,2,R)"},
         nullptr},
        {"system error", 1, emAlarmType_SysErr, 0, 'U', TRUE, {}, nullptr},
        {"manual", 1, emAlarmType_Manual, 0, 'M', TRUE, {}, nullptr},
    };
    for (const tagRoute& r : routes) {
        SCOPED_TRACE(r.name);
        Load(r.associate);
        std::string out;
        BOOL result = -1;
        EXPECT_EQ(Run(r.alarm, r.wpa, r.letter, &out, &result), r.calls);
        EXPECT_EQ(result, r.result);
        if (r.printed != nullptr) {
            EXPECT_NE(out.find(r.printed), std::string::npos) << out;
        }
        if (r.calls.empty()) {
            EXPECT_EQ(out.find("PROCESS RECORD"), std::string::npos) << out;
        }
    }
}

TEST_F(AlarmLinkage, StartMasksFollowTheSetting)
{
    const unsigned kinds[] = {1, 2, 4, 8, 16, 32, 64, 128, 256};
    const unsigned without[] = {0, 4, 1, 1, 6, 0, 0, 4, 6};
    const unsigned with[] = {0, 6, 1, 1, 6, 0, 0, 6, 6};
    for (int associate = 0; associate < 2; ++associate) {
        Load(associate);
        for (size_t i = 0; i < std::size(kinds); ++i) {
            CAlarmConfig* c = m_lpConfig->GetAlarmConfig(kinds[i]);
            ASSERT_NE(c, nullptr);
            EXPECT_EQ(c->GetAlarm(), kinds[i]);
            EXPECT_EQ(c->GetLinkage(), associate ? with[i] : without[i]) << "kind " << kinds[i];
        }
    }
    // Before Init, every linkage is on.
    CAlarmConfigManager fresh;
    fresh.Bind({&m_Log, &m_Log});
    EXPECT_EQ(fresh.GetAlarmConfig(emAlarmType_Manual)->GetLinkage(), 15u);
    EXPECT_EQ(fresh.GetAlarmConfig(0x30), fresh.GetAlarmConfig(emAlarmType_Accelerate));
    EXPECT_EQ(fresh.GetAlarmConfig(512), nullptr);
}

TEST_F(AlarmLinkage, HwVoiceMaskStaysForLaterAlarms)
{
    Load(0);
    EXPECT_EQ(Run(emAlarmType_HW_VoiceWakeUp, emLinkageType_Snapshot, 'V'), Calls({"Snapshot(2,0,V)"}));
    EXPECT_EQ(m_lpConfig->GetAlarmConfig(emAlarmType_HW_VoiceWakeUp)->GetLinkage(), 4u);
    // A value with another bit beside it is not an HW voice alarm: the mask is not replaced.
    EXPECT_EQ(Run(emAlarmType_HW_VoiceWakeUp | 512, emLinkageType_Record, 'V'), Calls({"Snapshot(2,0,V)"}));
    EXPECT_EQ(m_lpConfig->GetAlarmConfig(emAlarmType_HW_VoiceWakeUp)->GetLinkage(), 4u);
    EXPECT_EQ(Run(emAlarmType_HW_VoiceWakeUp, emLinkageType_Record | emLinkageType_Snapshot, 'V'),
              Calls({"Record(64,V)", "Snapshot(2,2,V)"}));
    EXPECT_EQ(m_lpConfig->GetAlarmConfig(emAlarmType_HW_VoiceWakeUp)->GetLinkage(), 6u);
}

TEST_F(AlarmLinkage, LinkageConfigAddsThenRemoves)
{
    Load(0);
    // The parking switch on entry: acceleration takes snapshots only.
    EXPECT_TRUE(m_lpConfig->LinkageConfig(emAlarmType_Accelerate, emLinkageType_Invalid, emLinkageType_Record));
    EXPECT_EQ(Run(emAlarmType_Accelerate, 0, 'A'), Calls({"Snapshot(2,0,A)"}));
    EXPECT_EQ(Run(emAlarmType_Accelerate, 0, 'A'), Calls({"Snapshot(2,0,A)"}));
    // On exit, Record comes back.
    EXPECT_TRUE(m_lpConfig->LinkageConfig(emAlarmType_Accelerate, emLinkageType_Record, emLinkageType_Invalid));
    EXPECT_EQ(Run(emAlarmType_Accelerate, 0, 'A'), Calls({"Record(16,A)", "Snapshot(2,2,A)"}));
    // Remove wins over add of the same bit.
    EXPECT_TRUE(m_lpConfig->LinkageConfig(emAlarmType_Accelerate, emLinkageType_Record, emLinkageType_Record));
    EXPECT_EQ(m_lpConfig->GetAlarmConfig(emAlarmType_Accelerate)->GetLinkage(), 4u);
    EXPECT_FALSE(m_lpConfig->LinkageConfig(static_cast<emAlarmType>(512), emLinkageType_Record,
                                           emLinkageType_Invalid));
}

TEST_F(AlarmLinkage, LedSparkAndPlaySoundOnlyPrint)
{
    Load(0);
    EXPECT_TRUE(m_lpConfig->LinkageConfig(emAlarmType_Manual,
                                          static_cast<emLinkageType>(emLinkageType_Mask), emLinkageType_Invalid));
    std::string out;
    EXPECT_EQ(Run(emAlarmType_Manual, 0, 'M', &out), Calls({"Record(32,M)", "Snapshot(2,2,M)"}));
    const size_t play = out.find("PLAY AUDIO ALARM=0x20\n");
    const size_t rec = out.find("PROCESS RECORD(ALARM=0x20)\n");
    const size_t led = out.find("PROCESS LED SPARK(ALARM=0x20)\n");
    ASSERT_NE(play, std::string::npos) << out;
    ASSERT_NE(rec, std::string::npos) << out;
    ASSERT_NE(led, std::string::npos) << out;
    EXPECT_LT(play, rec);
    EXPECT_LT(rec, led);
}

TEST(AlarmLinkagePlaySound, FileSlotsAreBounded)
{
    CAlarmLinkagePlaySound play;
    EXPECT_STREQ(play.GetSoundFile(0), "system_error.wav");
    EXPECT_STREQ(play.GetSoundFile(1), "ir_sensor.wav");
    EXPECT_STREQ(play.GetSoundFile(8), "");
    const std::string longName(100, 'x');
    EXPECT_TRUE(play.SetPlaySoundCfg(emAlarmType_Accelerate | emAlarmType_Manual, longName.c_str()));
    EXPECT_EQ(std::string(play.GetSoundFile(4)), std::string(63, 'x'));
    EXPECT_STREQ(play.GetSoundFile(5), "");
    EXPECT_FALSE(play.SetPlaySoundCfg(512, "a.wav"));
    EXPECT_FALSE(play.SetPlaySoundCfg(emAlarmType_Gesture, nullptr));
    EXPECT_STREQ(play.GetSoundFile(1), "ir_sensor.wav");
    // The other setters store and succeed; the base's too.
    CAlarmLinkageLedSpark led;
    EXPECT_TRUE(led.SetLedSparkCfg(50, 1000, 1));
    EXPECT_TRUE(led.SetPlaySoundCfg(1, "unused.wav"));
    EXPECT_TRUE(led.LoadConfig(1));
}

struct tagAge {
    uint32_t now;
    uint32_t detected;
    bool stale;
};

TEST(AlarmStaleness, OnTheWrappingMillisecondCounter)
{
    const tagAge ages[] = {
        {1999, 1000, false},            // 999 ms: kept
        {2000, 1000, true},             // 1000 ms: dropped
        {1000, 1000, false},            // at once
        {20, 0xFFFFFFF6u, false},       // 10 ms before the wrap, 20 ms after: 30 ms
        {1000, 0xFFFFFFF6u, true},      // 1010 ms across the wrap
        {0xFFFFFFFFu, 0xFFFFFC18u, false},  // 999 ms just before the wrap
        {999, 1000, true},              // stamped after now: a huge age
    };
    for (const tagAge& a : ages) {
        EXPECT_EQ(XAlarmIsStale(a.now, a.detected), a.stale) << a.now << " " << a.detected;
    }
}

TEST_F(AlarmLinkage, ManagerDropsStaleTasksAndStopsOnQuit)
{
    Load(0);
    CAlarmManager manager(m_lpConfig.get());
    const TASK fresh = XMakeAlarmTask(emAlarmType_Accelerate, 5000, 0, 'A');
    EXPECT_EQ(fresh.type, TASKTYPE_ALARM);
    EXPECT_EQ(fresh.priority, TASK_PRIORITY_HIGHTEST);
    EXPECT_EQ(fresh.priv, 0u);
    EXPECT_EQ(fresh.extra, nullptr);

    testing::internal::CaptureStdout();
    EXPECT_TRUE(manager.ProcessTask(fresh, 6500));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("[CAlarmManager] IGNORE ALARM 0x10 \n"), std::string::npos) << out;
    EXPECT_TRUE(m_Log.Calls().empty());

    testing::internal::CaptureStdout();
    EXPECT_TRUE(manager.ProcessTask(fresh, 5999));
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(m_Log.Calls(), Calls({"Record(16,A)", "Snapshot(2,2,A)"}));

    TASK other = fresh;
    other.type = TASKTYPE_TIMER;
    m_Log.Clear();
    EXPECT_TRUE(manager.ProcessTask(other, 5000));
    EXPECT_TRUE(m_Log.Calls().empty());
    TASK quit = fresh;
    quit.type = TASKTYPE_QUIT;
    EXPECT_FALSE(manager.ProcessTask(quit, 5000));
    // Never started: clean-up is harmless.
    EXPECT_TRUE(manager.CleanUp());
}

}  // namespace
