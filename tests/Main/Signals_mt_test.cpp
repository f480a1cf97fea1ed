#include <gtest/gtest.h>

#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "Main/Signals.h"

// Threads started while the process signals are blocked (as the managers'
// threads are, during their Init) never see SIGINT or SIGUSR1: a blocking
// read there is never cut short by EINTR, and the main thread gets them.
TEST(SignalsThreads, WorkersStartedDuringInitNeverSeeTheSignals)
{
    g_SystemQuit = 0;
    g_UpdateRequested = 0;
    ASSERT_TRUE(InitSignals());
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);

    ASSERT_TRUE(XBlockProcessSignals());
    std::atomic<int> readResult{0};
    std::atomic<int> readErrno{0};
    std::atomic<int> maskedBoth{0};
    std::atomic<bool> started{false};
    std::thread worker([&] {
        sigset_t cur;
        pthread_sigmask(SIG_SETMASK, nullptr, &cur);
        maskedBoth = sigismember(&cur, SIGINT) == 1 && sigismember(&cur, SIGUSR1) == 1;
        started = true;
        char c;
        ssize_t r = read(fds[0], &c, 1);  // blocks until the main thread writes
        readResult = static_cast<int>(r);
        readErrno = r < 0 ? errno : 0;
    });
    ASSERT_TRUE(XUnblockProcessSignals());
    while (!started) {
        std::this_thread::yield();
    }
    usleep(20 * 1000);

    for (int i = 0; i < 20; ++i) {
        kill(getpid(), SIGUSR1);
        kill(getpid(), SIGINT);
        usleep(1000);
    }
    for (int i = 0; i < 1000 && (g_SystemQuit == 0 || g_UpdateRequested == 0); ++i) {
        usleep(1000);
    }
    EXPECT_EQ(g_SystemQuit, 1);
    EXPECT_EQ(g_UpdateRequested, 1);

    char c = 'x';
    ASSERT_EQ(write(fds[1], &c, 1), 1);
    worker.join();
    EXPECT_TRUE(maskedBoth);
    EXPECT_EQ(readResult, 1);
    EXPECT_EQ(readErrno, 0);
    close(fds[0]);
    close(fds[1]);
    signal(SIGUSR1, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    signal(SIGPIPE, SIG_DFL);
}
