#ifndef PLATFORM_COMMON_THREADATTR_H
#define PLATFORM_COMMON_THREADATTR_H

#include <pthread.h>
#include <sched.h>

// Creates a thread with the explicit real-time `policy` (SCHED_FIFO or
// SCHED_RR) at `priority`. Returns 0 or an error number.
inline int XCreateSchedThread(pthread_t* thread, int policy, int priority, void* (*body)(void*), void* arg)
{
    pthread_attr_t attr;
    int ret = pthread_attr_init(&attr);
    if (ret != 0) {
        return ret;
    }
    struct sched_param param = {};
    param.sched_priority = priority;
    ret = pthread_attr_setinheritsched(&attr, PTHREAD_EXPLICIT_SCHED);
    if (ret == 0) {
        ret = pthread_attr_setschedpolicy(&attr, policy);
    }
    if (ret == 0) {
        ret = pthread_attr_setschedparam(&attr, &param);
    }
    if (ret == 0) {
        ret = pthread_create(thread, &attr, body, arg);
    }
    pthread_attr_destroy(&attr);
    return ret;
}

// Creates a thread with explicit SCHED_FIFO at `priority`. Returns 0 or an error number.
inline int XCreateFifoThread(pthread_t* thread, int priority, void* (*body)(void*), void* arg)
{
    return XCreateSchedThread(thread, SCHED_FIFO, priority, body, arg);
}

#endif
