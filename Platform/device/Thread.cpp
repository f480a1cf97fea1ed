#include "Platform/Thread.h"

#include "Platform/common/ThreadAttr.h"

int PlatformCreateThread(pthread_t* thread, int priority, void* (*body)(void*), void* arg)
{
    if (priority == 0) {
        return pthread_create(thread, nullptr, body, arg);
    }
    return XCreateFifoThread(thread, priority, body, arg);
}
