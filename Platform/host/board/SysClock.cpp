#include "Platform/SysClock.h"

#include <errno.h>
#include <stdio.h>
#include <time.h>

#include <mutex>

#include "Platform/BoardRoot.h"

int XSetSystemClock(time_t when)
{
    struct tm t = {};
    if (gmtime_r(&when, &t) == nullptr) {
        errno = EINVAL;
        return -1;
    }
    static std::mutex s_lock;
    std::lock_guard<std::mutex> hold(s_lock);
    const std::string path = XBoardPath("/log/clock.log");
    FILE* f = fopen(path.c_str(), "ae");
    if (f == nullptr) {
        return -1;
    }
    fprintf(f, "%04d-%02d-%02d %02d:%02d:%02d UTC %lld\n", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
            t.tm_hour, t.tm_min, t.tm_sec, static_cast<long long>(when));
    return fclose(f) == 0 ? 0 : -1;
}
