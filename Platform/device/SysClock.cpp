#include "Platform/SysClock.h"

#include <time.h>

int XSetSystemClock(time_t when)
{
    struct timespec ts = {};
    ts.tv_sec = when;
    return clock_settime(CLOCK_REALTIME, &ts);
}
