#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>

#include "Platform/Thread.h"

namespace {

void* ReportPolicy(void* arg)
{
    int policy = -1;
    struct sched_param param;
    pthread_getschedparam(pthread_self(), &policy, &param);
    *static_cast<int*>(arg) = policy;
    return nullptr;
}

}  // namespace

TEST(PlatformThread, DefaultAndRealTimeRequestsBothStartAThread)
{
    for (int priority : {0, 10, 99}) {
        pthread_t t;
        int policy = -1;
        testing::internal::CaptureStderr();
        ASSERT_EQ(PlatformCreateThread(&t, priority, ReportPolicy, &policy), 0) << priority;
        testing::internal::GetCapturedStderr();
        pthread_join(t, nullptr);
        if (priority == 0) {
            EXPECT_EQ(policy, SCHED_OTHER);
        } else {
            // Real-time where the host grants it, default scheduling where it refuses.
            EXPECT_TRUE(policy == SCHED_FIFO || policy == SCHED_OTHER) << policy;
        }
    }
}
