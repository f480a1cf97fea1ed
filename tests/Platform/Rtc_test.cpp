#include <gtest/gtest.h>

#include <stdio.h>
#include <time.h>

#include "Platform/BoardRoot.h"
#include "Platform/Rtc.h"
#include "support/TestBoard.h"

TEST(Rtc, BoardClockForms)
{
    CTestBoard board;
    const std::string dev = XBoardPath("/dev/hi_rtc");

    struct Case {
        const char* text;
        int ret;
        uint32_t year, month, date, hour, minute, second;
    } cases[] = {
        {"2026-12-10 10:07:23", 0, 2026, 12, 10, 10, 7, 23},
        {"1970-01-01 00:00:05", 0, 1970, 1, 1, 0, 0, 5},
        {"fail", -1, 0, 0, 0, 0, 0, 0},
        {"2026-13-01 00:00:00", -1, 0, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        board.Sim("rtc", std::string("'") + c.text + "'");
        int fd = XRtcOpen(dev.c_str());
        ASSERT_GE(fd, 0);
        rtc_time_t t = {};
        int ret = XRtcReadTime(fd, &t);
        XRtcClose(fd);
        EXPECT_EQ(ret < 0 ? -1 : 0, c.ret) << c.text;
        if (c.ret == 0) {
            EXPECT_EQ(t.year, c.year);
            EXPECT_EQ(t.month, c.month);
            EXPECT_EQ(t.date, c.date);
            EXPECT_EQ(t.hour, c.hour);
            EXPECT_EQ(t.minute, c.minute);
            EXPECT_EQ(t.second, c.second);
        }
    }
}

TEST(Rtc, NowFollowsTheHostClockAndMissingDeviceFailsToOpen)
{
    CTestBoard board;
    const std::string dev = XBoardPath("/dev/hi_rtc");
    board.Sim("rtc", "now");
    int fd = XRtcOpen(dev.c_str());
    ASSERT_GE(fd, 0);
    rtc_time_t t = {};
    ASSERT_EQ(XRtcReadTime(fd, &t), 0);
    XRtcClose(fd);
    time_t now = time(nullptr);
    struct tm u;
    gmtime_r(&now, &u);
    EXPECT_EQ(t.year, static_cast<uint32_t>(u.tm_year + 1900));

    board.Sim("rtc", "missing");
    EXPECT_LT(XRtcOpen(dev.c_str()), 0);
}
