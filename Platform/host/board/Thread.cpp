#include "Platform/Thread.h"

#include <errno.h>
#include <stdio.h>

#include <atomic>

#include "Platform/ThreadSim.h"
#include "Platform/common/ThreadAttr.h"

namespace {

std::atomic<int> s_FailTimes{0};
std::atomic<int> s_FailError{0};

// Takes one injected failure: its error, or 0.
int TakeFailure()
{
    int left = s_FailTimes.load();
    while (left > 0) {
        if (s_FailTimes.compare_exchange_weak(left, left - 1)) {
            return s_FailError.load();
        }
    }
    return 0;
}

}  // namespace

void XThreadSimFail(int error, int times)
{
    s_FailError.store(error);
    s_FailTimes.store(times);
}

int PlatformCreateSchedThread(pthread_t* thread, int policy, int priority, void* (*body)(void*), void* arg)
{
    if (int e = TakeFailure()) {
        return e;
    }
    if (priority == 0 || (policy != SCHED_FIFO && policy != SCHED_RR)) {
        return pthread_create(thread, nullptr, body, arg);
    }
    int ret = XCreateSchedThread(thread, policy, priority, body, arg);
    if (ret == EPERM || ret == EINVAL || ret == ENOTSUP) {
        static std::atomic<bool> warned{false};
        if (!warned.exchange(true)) {
            fprintf(stderr, "%s %d refused on this host, threads use default scheduling.\n",
                    policy == SCHED_RR ? "SCHED_RR" : "SCHED_FIFO", priority);
        }
        ret = pthread_create(thread, nullptr, body, arg);
    }
    return ret;
}

int PlatformCreateThread(pthread_t* thread, int priority, void* (*body)(void*), void* arg)
{
    return PlatformCreateSchedThread(thread, SCHED_FIFO, priority, body, arg);
}
