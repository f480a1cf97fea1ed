#include <gtest/gtest.h>

#include <string>

#include "Main/RtcCheck.h"
#include "support/TestBoard.h"

TEST(RtcCheck, ClockStates)
{
    CTestBoard board;
    struct Case {
        const char* setting;
        BOOL works;
        const char* err;
    } cases[] = {
        {"now", TRUE, ""},
        {"'2026-03-01 08:00:00'", TRUE, ""},
        {"'1971-01-01 00:00:00'", TRUE, ""},
        {"'1970-01-01 00:00:07'", FALSE, ""},
        {"'1970-12-31 23:59:59'", FALSE, ""},
        {"fail", FALSE, "ioctl: HI_RTC_RD_TIME failed ret = -1\n"},
        {"missing", FALSE, "open /dev/hi_rtc failed\n"},
    };
    for (const Case& c : cases) {
        board.Sim("rtc", c.setting);
        testing::internal::CaptureStderr();
        BOOL works = IsRtcWork();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(works, c.works) << c.setting;
        EXPECT_EQ(err, c.err) << c.setting;
    }
}
