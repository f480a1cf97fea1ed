#include "Platform/Thread.h"

#include <errno.h>
#include <stdio.h>

#include <atomic>

#include "Platform/common/ThreadAttr.h"

int PlatformCreateSchedThread(pthread_t* thread, int policy, int priority, void* (*body)(void*), void* arg)
{
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
