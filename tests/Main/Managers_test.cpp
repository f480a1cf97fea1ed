#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Function/common.h"
#include "Main/Managers.h"
#include "support/TestBoard.h"

namespace {

std::vector<std::string> g_Calls;

BOOL XOk()
{
    g_Calls.push_back("ok");
    return TRUE;
}

BOOL XFails()
{
    g_Calls.push_back("fails");
    return FALSE;
}

void XCleanA()
{
    g_Calls.push_back("A");
}

void XCleanB()
{
    g_Calls.push_back("B");
}

struct Output {
    BOOL result;
    std::string out, err;
};

Output RunInits(const ManagerInit* steps, size_t n)
{
    g_Calls.clear();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Output o;
    o.result = XRunManagerInits(steps, n);
    o.err = testing::internal::GetCapturedStderr();
    o.out = testing::internal::GetCapturedStdout();
    return o;
}

}  // namespace

TEST(Managers, InitFailuresAreIgnoredLoggedOrFatal)
{
    const ManagerInit steps[] = {
        {XFails, emInitFailure_Ignore, FALSE, nullptr},
        {nullptr, emInitFailure_Fatal, TRUE, "never\n"},  // not part of the system: skipped
        {XFails, emInitFailure_Log, FALSE, "Init Snapshot Manager Failed...\n"},
        {XFails, emInitFailure_Log, TRUE, "Init http Thread Failed...\n"},
        {XOk, emInitFailure_Fatal, TRUE, "never\n"},
        {XFails, emInitFailure_Fatal, TRUE, "Init OSD Manager Failed...\n"},
        {XOk, emInitFailure_Ignore, FALSE, nullptr},     // after a fatal failure: not started
    };
    Output o = RunInits(steps, std::size(steps));
    EXPECT_FALSE(o.result);
    EXPECT_EQ(g_Calls, (std::vector<std::string>{"fails", "fails", "fails", "ok", "fails"}));
    EXPECT_EQ(o.out, "Init Snapshot Manager Failed...\n");
    // error lines: "Error[file:line:function]: " and the text
    EXPECT_NE(o.err.find("Error["), std::string::npos);
    EXPECT_NE(o.err.find("]: Init http Thread Failed...\n"), std::string::npos);
    EXPECT_NE(o.err.find("]: Init OSD Manager Failed...\n"), std::string::npos);
    EXPECT_EQ(o.err.find("never"), std::string::npos);

    Output ok = RunInits(steps + 2, 3);  // only non-fatal failures: start-up goes on
    EXPECT_TRUE(ok.result);
}

TEST(Managers, CleanUpRunsInOrderWithItsLines)
{
    const ManagerCleanUp steps[] = {
        {XCleanA, "A Done...\n"},
        {nullptr, "absent\n"},
        {XCleanB, nullptr},
        {XCleanA, "Play Audio Clean Up Done...\nPT Clean Up Done...\n"},
    };
    g_Calls.clear();
    testing::internal::CaptureStdout();
    XRunManagerCleanUps(steps, std::size(steps));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "A Done...\nPlay Audio Clean Up Done...\nPT Clean Up Done...\n");
    EXPECT_EQ(g_Calls, (std::vector<std::string>{"A", "B", "A"}));
}

TEST(Managers, CleanUpWithoutInitTouchesNothing)
{
    // A fatal start-up failure can come before any manager ran its Init:
    // the whole clean-up still runs and writes no settings file.
    CTestBoard board;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    XCleanUpManagers();
    testing::internal::GetCapturedStderr();
    // every wired manager's line is printed all the same; the camera's
    // tear-down runs on what was never brought up
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Begin Clean Up...\nClean Up GPS Done...\nClean Up OSD Done...\nClean Up Alarm Server Done...\n"
              "Clean Up Snapshot Done...\nCleanUp VENC OK...\nCleanUp VPSS OK...\nCleanUp ISP OK...\n"
              "sensor unregister callback function failed!\n"
              "CleanUp Sensor OK...\nCleanUp HiSDK OK...\nClean Up Capture Done...\n"
              "Play Audio Clean Up Done...\nPT Clean Up Done...\nHTTP Clean Up Done...\nExiting...\n");
    EXPECT_FALSE(XFilePathExists(board.Path("/root/system.ini").c_str()));
}
