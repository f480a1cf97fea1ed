#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Main/FakeLoopServices.h"
#include "Main/SupervisionLoop.h"
#include "PlayAudio/PcmIndex.h"
#include "Record/PauseReasons.h"

namespace {

// A loop over a fresh double; Run drives cycles and returns their stdout.
class LoopFixture : public ::testing::Test {
protected:
    CFakeLoopServices m_Services;
    CSupervisionLoop m_Loop{m_Services.Roles()};

    std::string Run(int cycles)
    {
        testing::internal::CaptureStdout();
        for (int i = 0; i < cycles; ++i) {
            m_Loop.Step();
        }
        return testing::internal::GetCapturedStdout();
    }
};

int Occurrences(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) {
        ++n;
    }
    return n;
}

}  // namespace

// ---- power line ----

struct PowerCase {
    const char* name;
    std::vector<int> reads;    // GPIO 0 readings in call order (-1: read fails)
    int steady;                // level once the readings are used up
    int cycles;
    std::vector<int> prompts;
    int downs, resumes;
    int prevState;
};

TEST_F(LoopFixture, PowerLineSequences)
{
    const PowerCase cases[] = {
        // 0 on the first cycle: resume at once, silently; nothing after.
        {"present from boot", {}, 0, 5, {}, 0, 1, 0},
        // loss (confirmed after 5 ms) then return: off, then on.
        {"loss and return", {0, 1, 1, 1, 1}, 0, 5, {PCM_OFF, PCM_ON}, 1, 2, 0},
        // 1 that reads 0 after 5 ms: nothing in that cycle.
        {"glitch while running", {0, 1, 0}, 0, 4, {}, 0, 1, 0},
        // a glitch on the very first cycle: the resume comes on the second, with its prompt.
        {"glitch at boot", {1, 0}, 0, 3, {PCM_ON}, 0, 1, 0},
        // lost on the first cycle: down at once; the return plays on.
        {"lost at boot", {1, 1, 1, 1}, 0, 3, {PCM_OFF, PCM_ON}, 1, 1, 0},
        // stays lost: the down branch runs once.
        {"stays lost", {0}, 1, 50, {PCM_OFF}, 1, 1, 1},
        // failed reads keep the last reading: no spurious resume while down.
        {"reads fail while down", {0, 1, 1}, -1, 10, {PCM_OFF}, 1, 1, 1},
        // failed reads while up: nothing.
        {"reads fail while up", {0}, -1, 10, {}, 0, 1, 0},
        // every read fails from boot: the initial reading 0 counts as present.
        {"no power line", {}, -1, 3, {}, 0, 1, 0},
    };
    for (const PowerCase& c : cases) {
        CFakeLoopServices s;
        s.m_Script[0] = std::deque<int>(c.reads.begin(), c.reads.end());
        s.m_Level[0] = c.steady;
        CSupervisionLoop loop(s.Roles());
        testing::internal::CaptureStdout();
        for (int i = 0; i < c.cycles; ++i) {
            loop.Step();
        }
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(s.Prompts(), c.prompts) << c.name;
        EXPECT_EQ(Occurrences(out, "\nSYSTEM POWER DOWN...\n"), c.downs) << c.name;
        EXPECT_EQ(Occurrences(out, "\nSYSTEM POWER RESUME...\n"), c.resumes) << c.name;
        EXPECT_EQ(s.Count("PauseAllRecord 1 1"), c.downs) << c.name;
        EXPECT_EQ(s.Count("ResumeCommonRecord"), c.resumes) << c.name;
        EXPECT_EQ(loop.GetPrevSysPowerState(), c.prevState) << c.name;
    }
}

TEST_F(LoopFixture, PowerDownAndResumeRunTheirStepsInOrder)
{
    m_Services.m_Script[0] = {0, 1, 1, 0};
    Run(3);
    const std::vector<std::string> expected = {
        // cycle 1: silent resume
        "OpenFuncSetting", "ResumeCommonRecord", "ResumeGps", "ResumeSnapshot",
        // cycle 2: confirmed loss
        "Sleep 5", "PauseAllRecord 1 1", "SyncFS", "SaveFuncSetting", "PCM 11", "PauseGps", "PauseSnapshot",
        // cycle 3: back
        "OpenFuncSetting", "ResumeCommonRecord", "ResumeGps", "ResumeSnapshot", "PCM 10",
    };
    EXPECT_EQ(m_Services.m_Events, expected);
}

// The power line as a pause reason, as the camera's services hold it.
class CReasonLoopServices : public CFakeLoopServices {
public:
    CPauseReasons m_Reasons;
    void HoldForPowerLine(const std::function<void()>& pause) override
    {
        m_Reasons.Add(CPauseReasons::emPauseReason_PowerLine, pause);
    }
    void ReleasePowerLine(const std::function<void()>& resume) override
    {
        m_Reasons.Remove(CPauseReasons::emPauseReason_PowerLine, resume);
    }
};

TEST(SupervisionLoopReasons, PowerBackLeavesThePhonesStopInPlace)
{
    CReasonLoopServices services;
    CSupervisionLoop loop(services.Roles());
    services.m_Script[0] = {0, 1, 1, 0};
    testing::internal::CaptureStdout();
    loop.Step();  // first resume: recording starts
    services.m_Reasons.Add(CPauseReasons::emPauseReason_AppStop, nullptr);
    loop.Step();  // cut
    loop.Step();  // back, while the phone's stop holds
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(services.Count("ResumeCommonRecord"), 1);
    EXPECT_EQ(services.Count("ResumeSnapshot"), 1);
    EXPECT_EQ(services.Count("PauseAllRecord 1 1"), 1);
    EXPECT_EQ(services.Prompts(), (std::vector<int>{PCM_OFF, PCM_ON}));
    EXPECT_TRUE(services.m_Reasons.Holds(CPauseReasons::emPauseReason_AppStop));
    EXPECT_FALSE(services.m_Reasons.Holds(CPauseReasons::emPauseReason_PowerLine));
    // The phone's resume is the last: now everything resumes.
    EXPECT_TRUE(services.m_Reasons.Remove(CPauseReasons::emPauseReason_AppStop, [&] {
        services.ResumeCommonRecord();
    }));
    EXPECT_EQ(services.Count("ResumeCommonRecord"), 2);
}

// ---- reset key ----

TEST_F(LoopFixture, ResetKeyHeldAndReleased)
{
    struct Case {
        std::vector<int> presses;  // runs of pressed cycles, each followed by a release
        int cancels;
        bool reset;
    } cases[] = {
        {{1}, 1, false},
        {{60}, 1, false},
        {{61}, 0, true},
        {{40, 40}, 2, false},      // the count starts again after a release
        {{60, 61}, 1, true},
    };
    for (const Case& c : cases) {
        CFakeLoopServices s;
        std::deque<int> reads;
        for (int n : c.presses) {
            reads.insert(reads.end(), static_cast<size_t>(n), 0);
            reads.push_back(1);
        }
        s.m_Script[80] = reads;
        CSupervisionLoop loop(s.Roles());
        testing::internal::CaptureStdout();
        for (size_t i = 0; i < reads.size(); ++i) {
            loop.Step();
        }
        std::string out = testing::internal::GetCapturedStdout();
        std::string name = std::to_string(c.presses.back());
        EXPECT_EQ(Occurrences(out, "\nSYSTEM RESET Cancel...\n"), c.cancels) << name;
        EXPECT_EQ(s.Count("ResetIniConfig"), c.reset ? 1 : 0) << name;
        EXPECT_EQ(s.Count("Run reboot"), c.reset ? 1 : 0) << name;
        EXPECT_EQ(s.m_bQuit, c.reset ? TRUE : FALSE) << name;
        EXPECT_EQ(Occurrences(out, "SYSTEM RESET.\n"), c.reset ? 1 : 0) << name;
    }
}

TEST_F(LoopFixture, ResetRunsItsStepsOnceAndRaisesAMutedVolume)
{
    for (int volume : {0, 7}) {
        CFakeLoopServices s;
        s.m_iVolume = volume;
        s.m_Level[80] = 0;        // held down, and kept down after the reset
        CSupervisionLoop loop(s.Roles());
        testing::internal::CaptureStdout();
        for (int i = 0; i < 61; ++i) {
            loop.Step();
        }
        std::vector<std::string> tail;
        auto it = std::find(s.m_Events.begin(), s.m_Events.end(), "ResumeSnapshot");
        ASSERT_NE(it, s.m_Events.end());
        tail.assign(it + 1, s.m_Events.end());
        std::vector<std::string> expected;
        if (volume == 0) {
            expected.push_back("SetVolume 13");
        }
        for (const char* e : {"PCM 29", "PauseGps", "PauseSnapshot", "ResetIniConfig", "DeleteAccessAuthFile",
                              "PauseAllRecord 0 1", "SyncFS", "Sleep 1000", "Run reboot", "Quit"}) {
            expected.push_back(e);
        }
        EXPECT_EQ(tail, expected) << volume;
        for (int i = 0; i < 100; ++i) {
            loop.Step();  // a loop that kept going would not reset again
        }
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(s.Count("ResetIniConfig"), 1);
        EXPECT_EQ(s.Count("Run reboot"), 1);
    }
}

TEST_F(LoopFixture, FailedResetKeyReadsKeepTheLastReading)
{
    // pressed, then the reads fail: the key still counts as held.
    m_Services.m_Script[80] = {0};
    m_Services.m_Level[80] = -1;
    std::string out = Run(61);
    EXPECT_EQ(m_Services.Count("ResetIniConfig"), 1);
    EXPECT_EQ(Occurrences(out, "SYSTEM RESET Cancel"), 0);
}

// ---- periodic checks ----

struct PeriodicCase {
    const char* name;
    BOOL hasSD;
    int sdState;
    BOOL formatting, rtcWork, burnIn, testOK, checkModel;
    std::map<int, int> prompts;   // prompt -> times in 2600 cycles
    BOOL noSpace = FALSE;         // recording stopped for want of room
    BOOL checkFailed = FALSE;     // the card's file-system check could not repair it
};

TEST_F(LoopFixture, PeriodicPrompts)
{
    const PeriodicCase cases[] = {
        {"usable card", TRUE, 3, FALSE, TRUE, FALSE, FALSE, FALSE, {}},
        {"no card", TRUE, 0, FALSE, TRUE, FALSE, FALSE, FALSE, {{PCM_SD_CHECK_ERROR, 2}}},
        {"not mounted", TRUE, 1, FALSE, TRUE, FALSE, FALSE, FALSE, {{PCM_SD_WRITE_PROTECT, 2}}},
        {"check failed", TRUE, 1, FALSE, TRUE, FALSE, FALSE, FALSE, {{PCM_SD_CHECK_ERROR, 2}}, FALSE, TRUE},
        {"check failed, write-protected", TRUE, 1 | 8, FALSE, TRUE, FALSE, FALSE, FALSE,
         {{PCM_SD_CHECK_ERROR, 2}}, FALSE, TRUE},
        {"check failed, formatting", TRUE, 1, TRUE, TRUE, FALSE, FALSE, FALSE, {}, FALSE, TRUE},
        {"read-only", TRUE, 1 | 2 | 4, FALSE, TRUE, FALSE, FALSE, FALSE, {{PCM_SD_WRITE_PROTECT, 2}}},
        {"write-protected", TRUE, 1 | 2 | 8, FALSE, TRUE, FALSE, FALSE, FALSE, {{PCM_SD_WRITE_PROTECT, 2}}},
        {"no card, formatting", TRUE, 0, TRUE, TRUE, FALSE, FALSE, FALSE, {}},
        {"no SD manager", FALSE, 0, FALSE, TRUE, FALSE, FALSE, FALSE, {}},
        {"clock broken", TRUE, 3, FALSE, FALSE, FALSE, FALSE, FALSE, {{PCM_SYSTEMTIMEERROR, 2}}},
        {"burn-in, untested", TRUE, 3, FALSE, TRUE, TRUE, FALSE, FALSE, {{PCM_FACTORY_TEST_MODE, 5}}},
        {"burn-in, tested", TRUE, 3, FALSE, TRUE, TRUE, TRUE, FALSE, {}},
        {"model check", TRUE, 3, FALSE, TRUE, FALSE, FALSE, TRUE, {{PCM_FACTORY_TEST_MODEL_CHECK, 26}}},
        {"all at once", TRUE, 0, FALSE, FALSE, TRUE, FALSE, FALSE,
         {{PCM_SD_CHECK_ERROR, 2}, {PCM_SYSTEMTIMEERROR, 2}, {PCM_FACTORY_TEST_MODE, 5}}},
        {"card too full to record", TRUE, 3, FALSE, TRUE, FALSE, FALSE, FALSE, {{PCM_SD_CHECK_ERROR, 2}}, TRUE},
        {"too full, formatting", TRUE, 3, TRUE, TRUE, FALSE, FALSE, FALSE, {}, TRUE},
        {"too full and write-protected", TRUE, 1 | 2 | 8, FALSE, TRUE, FALSE, FALSE, FALSE,
         {{PCM_SD_WRITE_PROTECT, 2}}, TRUE},
    };
    for (const PeriodicCase& c : cases) {
        CFakeLoopServices s;
        s.m_bHasSD = c.hasSD;
        s.m_SDStates = {c.sdState};
        s.m_bFormatting = c.formatting;
        s.m_bNoSpace = c.noSpace;
        s.m_bCardCheckFailed = c.checkFailed;
        s.m_bRtcWork = c.rtcWork;
        s.m_bBurnIn = c.burnIn;
        s.m_bTestOK = c.testOK;
        s.m_bCheckModel = c.checkModel;
        CSupervisionLoop loop(s.Roles());
        testing::internal::CaptureStdout();
        for (int i = 0; i < 2600; ++i) {
            loop.Step();
        }
        testing::internal::GetCapturedStdout();
        std::map<int, int> got;
        for (int p : s.Prompts()) {
            ++got[p];
        }
        EXPECT_EQ(got, c.prompts) << c.name;
        EXPECT_EQ(s.m_iSDChecks, c.hasSD ? 52 : 0) << c.name;
        EXPECT_EQ(s.m_iFreeSpaceChecks, c.hasSD ? 26 : 0) << c.name;
    }
}

TEST_F(LoopFixture, PeriodicPromptsFallOnTheirCycles)
{
    m_Services.m_SDStates = {0};
    m_Services.m_bRtcWork = FALSE;
    m_Services.m_bBurnIn = TRUE;
    std::vector<std::pair<uint32_t, int>> heard;
    testing::internal::CaptureStdout();
    for (int i = 0; i < 2600; ++i) {
        size_t before = m_Services.Prompts().size();
        uint32_t cycle = m_Loop.GetTestCount();
        m_Loop.Step();
        std::vector<int> p = m_Services.Prompts();
        for (size_t k = before; k < p.size(); ++k) {
            heard.emplace_back(cycle, p[k]);
        }
    }
    testing::internal::GetCapturedStdout();
    const std::vector<std::pair<uint32_t, int>> expected = {
        {500, PCM_FACTORY_TEST_MODE},  {1000, PCM_FACTORY_TEST_MODE}, {1200, PCM_SD_CHECK_ERROR},
        {1300, PCM_SYSTEMTIMEERROR},   {1500, PCM_FACTORY_TEST_MODE}, {2000, PCM_FACTORY_TEST_MODE},
        {2400, PCM_SD_CHECK_ERROR},    {2500, PCM_FACTORY_TEST_MODE}, {2600, PCM_SYSTEMTIMEERROR},
    };
    EXPECT_EQ(heard, expected);
}

TEST_F(LoopFixture, CardPromptUsesThePollOfTheSameCycle)
{
    // usable for the first 23 polls (cycles 50..1150), gone at the poll of cycle 1200
    m_Services.m_SDStates.assign(23, 3);
    m_Services.m_SDStates.push_back(0);
    Run(1200);
    EXPECT_EQ(m_Services.Prompts(), std::vector<int>{PCM_SD_CHECK_ERROR});
    EXPECT_EQ(m_Loop.GetSdState(), 0);

    // and back at the poll of cycle 2400: no prompt there
    CFakeLoopServices s;
    s.m_SDStates.assign(47, 0);
    s.m_SDStates.push_back(3);
    CSupervisionLoop loop(s.Roles());
    for (int i = 0; i < 2400; ++i) {
        loop.Step();
    }
    EXPECT_EQ(s.Prompts(), std::vector<int>{PCM_SD_CHECK_ERROR});
}

// ---- connection LED and update announcement ----

TEST_F(LoopFixture, ConnectionLedBlinksWhileAsked)
{
    m_Services.m_bLedStatus = TRUE;
    Run(40);
    EXPECT_EQ(m_Services.m_Events, (std::vector<std::string>{"OpenFuncSetting", "ResumeCommonRecord", "ResumeGps",
                                                              "ResumeSnapshot", "Write 67 0", "Write 67 1",
                                                              "Write 67 0", "Write 67 1"}));
    m_Services.m_bLedStatus = FALSE;
    m_Services.m_Events.clear();
    Run(35);  // keeps its level while not asked
    EXPECT_TRUE(m_Services.m_Events.empty());
    EXPECT_EQ(m_Loop.GetLedOn(), 1);
    m_Services.m_bLedStatus = TRUE;
    Run(10);  // cycles 76..85: the next write at 80 carries on from the last level
    EXPECT_EQ(m_Services.m_Events, std::vector<std::string>{"Write 67 0"});
}

TEST_F(LoopFixture, UpdateAnnouncementLightsBothLedsAtTheNextCycle)
{
    Run(3);
    m_Services.m_Events.clear();
    m_Services.m_iUpdateRequests = 1;
    Run(1);
    EXPECT_EQ(m_Services.m_Events, (std::vector<std::string>{"PCM 15", "Write 71 1", "Write 67 1"}));
    EXPECT_EQ(m_Services.m_Pins[71], 1);
    EXPECT_EQ(m_Services.m_Pins[67], 1);
    EXPECT_EQ(m_Loop.GetTestCount(), 5u);
    EXPECT_EQ(m_Loop.GetPrevSysPowerState(), 0);
    m_Services.m_Events.clear();
    Run(5);  // taken once
    EXPECT_TRUE(m_Services.m_Events.empty());
}

TEST_F(LoopFixture, StopEndsRecordingAndGpsLogging)
{
    testing::internal::CaptureStdout();
    m_Loop.Stop();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(m_Services.m_Events, (std::vector<std::string>{"StopAllRecord 1 1", "PauseGps"}));
    EXPECT_EQ(out, "\nQuiting system...\n");
}

TEST_F(LoopFixture, AnHourOfCyclesWithEverythingQuiet)
{
    // 72,000 cycles (one hour at 50 ms) with a usable card and a good clock:
    // only the boot resume, and the counters stay in step.
    std::string out = Run(72000);
    EXPECT_EQ(m_Services.m_Events.size(), 4u);
    EXPECT_EQ(m_Services.m_iSDChecks, 1440);
    EXPECT_EQ(m_Services.m_iFreeSpaceChecks, 720);
    EXPECT_EQ(m_Loop.GetTestCount(), 72001u);
    EXPECT_EQ(out, "\nSYSTEM POWER RESUME...\n");
}
