#include "Function/SystemTime.h"

#include <errno.h>
#include <time.h>
#include <unistd.h>

#include "Platform/Clock.h"

uint32_t SystemGetMSCount()
{
    struct timespec ts;
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) {
        return 0;
    }
    uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms) + PlatformMSOffset();
}

uint64_t SystemGetUSCount()
{
    struct timespec ts;
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) {
        return 0;
    }
    return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

uint32_t SystemGetSecondCount()
{
    struct timespec ts;
    if (clock_gettime(CLOCK_REALTIME, &ts) != 0) {
        return 0;
    }
    return static_cast<uint32_t>(ts.tv_sec);
}

void XSleep(unsigned ms)
{
    struct timespec req;
    req.tv_sec = ms / 1000u;
    req.tv_nsec = static_cast<long>(ms % 1000u) * 1000000L;
    while (nanosleep(&req, &req) != 0 && errno == EINTR) {
        // interrupted: sleep the rest
    }
}
