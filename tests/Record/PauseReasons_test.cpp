#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Record/PauseReasons.h"

namespace {

typedef CPauseReasons R;

// Steps over one set: each adds or removes a reason; `resumes` tells
// whether that removal resumed.
TEST(PauseReasons, ResumesOnlyWhenNothingHolds)
{
    struct tagStep {
        bool add;
        R::emPauseReason reason;
        bool resumes;
    };
    struct {
        const char* name;
        std::vector<tagStep> steps;
    } cases[] = {
        {"power cut and back", {{true, R::emPauseReason_PowerLine, false}, {false, R::emPauseReason_PowerLine, true}}},
        {"power back while the phone's stop holds",
         {{true, R::emPauseReason_AppStop, false},
          {true, R::emPauseReason_PowerLine, false},
          {false, R::emPauseReason_PowerLine, false},
          {false, R::emPauseReason_AppStop, true}}},
        {"the phone's resume during a power cut",
         {{true, R::emPauseReason_AppStop, false},
          {true, R::emPauseReason_PowerLine, false},
          {false, R::emPauseReason_AppStop, false},
          {false, R::emPauseReason_PowerLine, true}}},
        {"two downloads are counted",
         {{true, R::emPauseReason_SpeedTest, false},
          {true, R::emPauseReason_SpeedTest, false},
          {false, R::emPauseReason_SpeedTest, false},
          {false, R::emPauseReason_SpeedTest, true}}},
        {"a download ends while the web command holds",
         {{true, R::emPauseReason_HttpCommand, false},
          {true, R::emPauseReason_SpeedTest, false},
          {false, R::emPauseReason_SpeedTest, false},
          {false, R::emPauseReason_HttpCommand, true}}},
        {"a reason added twice is one reason",
         {{true, R::emPauseReason_AppStop, false},
          {true, R::emPauseReason_AppStop, false},
          {false, R::emPauseReason_AppStop, true}}},
        {"removing a reason not held removes no other",
         {{true, R::emPauseReason_PowerLine, false}, {false, R::emPauseReason_AppStop, false}}},
        {"first power-up resumes over an empty set", {{false, R::emPauseReason_PowerLine, true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        R set;
        size_t adds = 0;
        int paused = 0;
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const tagStep& s = c.steps[i];
            if (s.add) {
                ++adds;
                set.Add(s.reason, [&] { ++paused; });
                EXPECT_TRUE(set.Holds(s.reason)) << i;
            } else {
                int resumed = 0;
                EXPECT_EQ(set.Remove(s.reason, [&] { ++resumed; }), s.resumes ? TRUE : FALSE) << i;
                EXPECT_EQ(resumed, s.resumes ? 1 : 0) << i;
            }
        }
        EXPECT_EQ(static_cast<size_t>(paused), adds) << "every add runs its own pause";
    }
}

TEST(PauseReasons, SpeedTestHoldsAreCounted)
{
    R set;
    set.Add(R::emPauseReason_SpeedTest, nullptr);
    set.Add(R::emPauseReason_SpeedTest, nullptr);
    set.Add(R::emPauseReason_SpeedTest, nullptr);
    EXPECT_EQ(set.Count(R::emPauseReason_SpeedTest), 3);
    set.Remove(R::emPauseReason_SpeedTest, nullptr);
    EXPECT_EQ(set.Count(R::emPauseReason_SpeedTest), 2);
    set.Add(R::emPauseReason_PowerLine, nullptr);
    set.Add(R::emPauseReason_PowerLine, nullptr);
    EXPECT_EQ(set.Count(R::emPauseReason_PowerLine), 1);
}

TEST(PauseReasons, ReleasedSetResumesNothing)
{
    R set;
    int resumed = 0;
    set.Add(R::emPauseReason_AppStop, nullptr);
    set.Release();
    EXPECT_FALSE(set.Remove(R::emPauseReason_AppStop, [&] { ++resumed; }));
    EXPECT_FALSE(set.ResumeIfClear([&] { ++resumed; }));
    EXPECT_FALSE(set.Holds(R::emPauseReason_AppStop)) << "still removed";
    EXPECT_EQ(resumed, 0);
    set.Reset();
    EXPECT_TRUE(set.ResumeIfClear([&] { ++resumed; }));
    EXPECT_EQ(resumed, 1);
}

TEST(PauseReasons, ResumeIfClearIsForTheEndOfASwitch)
{
    R set;
    std::vector<std::string> log;
    set.Add(R::emPauseReason_AppStop, [&] { log.push_back("pause"); });
    EXPECT_FALSE(set.ResumeIfClear([&] { log.push_back("resume"); }));
    set.Remove(R::emPauseReason_AppStop, [&] { log.push_back("resume by the phone"); });
    EXPECT_TRUE(set.ResumeIfClear([&] { log.push_back("resume"); }));
    EXPECT_EQ(log, (std::vector<std::string>{"pause", "resume by the phone", "resume"}));
}

TEST(PauseReasons, OutOfRangeReasonsChangeNothing)
{
    R set;
    int runs = 0;
    set.Add(static_cast<R::emPauseReason>(R::emPauseReason_MAX), [&] { ++runs; });
    set.Add(static_cast<R::emPauseReason>(-1), [&] { ++runs; });
    EXPECT_TRUE(set.IsEmpty());
    EXPECT_EQ(runs, 0);
    EXPECT_FALSE(set.Remove(static_cast<R::emPauseReason>(R::emPauseReason_MAX), [&] { ++runs; }));
    EXPECT_EQ(runs, 0);
}

}  // namespace
