#include "Platform/Thread.h"

#include <errno.h>
#include <stdio.h>

#include <atomic>

#include "Platform/common/ThreadAttr.h"

int PlatformCreateThread(pthread_t* thread, int priority, void* (*body)(void*), void* arg)
{
    if (priority == 0) {
        return pthread_create(thread, nullptr, body, arg);
    }
    int ret = XCreateFifoThread(thread, priority, body, arg);
    if (ret == EPERM || ret == EINVAL || ret == ENOTSUP) {
        static std::atomic<bool> warned{false};
        if (!warned.exchange(true)) {
            fprintf(stderr, "SCHED_FIFO %d refused on this host, threads use default scheduling.\n", priority);
        }
        ret = pthread_create(thread, nullptr, body, arg);
    }
    return ret;
}
