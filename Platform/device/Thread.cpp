#include "Platform/Thread.h"

#include "Platform/common/ThreadAttr.h"

int PlatformCreateSchedThread(pthread_t* thread, int policy, int priority, void* (*body)(void*), void* arg)
{
    if (priority == 0 || (policy != SCHED_FIFO && policy != SCHED_RR)) {
        return pthread_create(thread, nullptr, body, arg);
    }
    return XCreateSchedThread(thread, policy, priority, body, arg);
}

int PlatformCreateThread(pthread_t* thread, int priority, void* (*body)(void*), void* arg)
{
    return PlatformCreateSchedThread(thread, SCHED_FIFO, priority, body, arg);
}
