#include <gtest/gtest.h>

#include <signal.h>
#include <string.h>

#include <string>

#include "Main/Signals.h"

namespace {

// Installs the handlers for one test and puts the defaults back afterwards.
class SignalsFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_SystemQuit = 0;
        g_UpdateRequested = 0;
        ASSERT_TRUE(InitSignals());
    }
    void TearDown() override
    {
        signal(SIGUSR1, SIG_DFL);
        signal(SIGINT, SIG_DFL);
        signal(SIGPIPE, SIG_DFL);
        g_SystemQuit = 0;
        g_UpdateRequested = 0;
    }
};

}  // namespace

TEST_F(SignalsFixture, HandlersOnlySetFlagsAndWriteTheirLine)
{
    testing::internal::CaptureStderr();
    raise(SIGUSR1);
    raise(SIGUSR1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "\nsystem will restart for update\n\nsystem will restart for update\n");
    EXPECT_EQ(g_SystemQuit, 0);
    EXPECT_TRUE(XTakeUpdateRequest());
    EXPECT_FALSE(XTakeUpdateRequest());  // two announcements before a cycle act once

    testing::internal::CaptureStderr();
    raise(SIGINT);
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "\nreceived signal 2\n");
    EXPECT_EQ(g_SystemQuit, 1);
    EXPECT_FALSE(XTakeUpdateRequest());
}

TEST_F(SignalsFixture, SigPipeIsIgnoredAndHandlersKeepEachOtherOut)
{
    raise(SIGPIPE);  // would end the test program otherwise
    struct sigaction act;
    for (int sig : {SIGINT, SIGUSR1}) {
        ASSERT_EQ(sigaction(sig, nullptr, &act), 0);
        EXPECT_EQ(sigismember(&act.sa_mask, SIGINT), 1) << sig;
        EXPECT_EQ(sigismember(&act.sa_mask, SIGPIPE), 1) << sig;
        EXPECT_EQ(sigismember(&act.sa_mask, SIGUSR1), 1) << sig;
        EXPECT_NE(act.sa_flags & SA_RESTART, 0) << sig;
    }
    ASSERT_EQ(sigaction(SIGPIPE, nullptr, &act), 0);
    EXPECT_EQ(act.sa_handler, SIG_IGN);
}

TEST_F(SignalsFixture, BlockedSignalsWaitForTheUnblock)
{
    ASSERT_TRUE(XBlockProcessSignals());
    testing::internal::CaptureStderr();
    raise(SIGINT);
    raise(SIGUSR1);
    EXPECT_EQ(g_SystemQuit, 0);
    EXPECT_EQ(g_UpdateRequested, 0);
    ASSERT_TRUE(XUnblockProcessSignals());
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(g_SystemQuit, 1);
    EXPECT_EQ(g_UpdateRequested, 1);
}
