#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>

#include <string>
#include <thread>

#include "Platform/Thread.h"

namespace {

struct tagSchedSeen {
    int policy = -1;
    int priority = -1;
};

void* ReportPolicy(void* arg)
{
    tagSchedSeen* seen = static_cast<tagSchedSeen*>(arg);
    struct sched_param param = {};
    pthread_getschedparam(pthread_self(), &seen->policy, &param);
    seen->priority = param.sched_priority;
    return nullptr;
}

// Whether the kernel lets a thread of this process run at SCHED_FIFO
// `priority`, asked directly on a plain thread.
bool FifoGranted(int priority)
{
    bool granted = false;
    std::thread t([&] {
        struct sched_param param = {};
        param.sched_priority = priority;
        granted = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
    });
    t.join();
    return granted;
}

}  // namespace

// Where the host grants SCHED_FIFO the thread runs at the asked priority;
// where it refuses, at default scheduling after one warning line. These are
// the only real-time requests of this program, so the warning is still due.
TEST(PlatformThread, RealTimeWhereGrantedElseDefaultWithOneWarning)
{
    const int priorities[] = {0, 10, 99};
    bool granted[3];
    for (int i = 0; i < 3; ++i) {
        granted[i] = priorities[i] != 0 && FifoGranted(priorities[i]);
    }
    tagSchedSeen seen[3];
    testing::internal::CaptureStderr();
    for (int i = 0; i < 3; ++i) {
        pthread_t t;
        ASSERT_EQ(PlatformCreateThread(&t, priorities[i], ReportPolicy, &seen[i]), 0) << priorities[i];
        pthread_join(t, nullptr);
    }
    const std::string err = testing::internal::GetCapturedStderr();
    std::string warning;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(priorities[i]);
        if (granted[i]) {
            EXPECT_EQ(seen[i].policy, SCHED_FIFO);
            EXPECT_EQ(seen[i].priority, priorities[i]);
        } else {
            EXPECT_EQ(seen[i].policy, SCHED_OTHER);
            EXPECT_EQ(seen[i].priority, 0);
            if (priorities[i] != 0 && warning.empty()) {
                warning = "SCHED_FIFO " + std::to_string(priorities[i]) +
                          " refused on this host, threads use default scheduling.\n";
            }
        }
    }
    EXPECT_EQ(err, warning);
}
