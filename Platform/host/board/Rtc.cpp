#include "Platform/Rtc.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

// The simulated RTC is a text file: "now" (the host's UTC clock), a time
// "YYYY-MM-DD hh:mm:ss", "now+N" (the host's clock plus N seconds, what a
// set leaves), or anything else for a driver that fails to read.

int XRtcOpen(const char* devpath)
{
    return open(devpath, O_RDWR | O_CLOEXEC);
}

int XRtcReadTime(int fd, rtc_time_t* tm)
{
    char text[64];
    ssize_t n = pread(fd, text, sizeof(text) - 1, 0);
    if (n < 0) {
        return -1;
    }
    text[n] = '\0';
    struct tm t = {};
    if (strncmp(text, "now", 3) == 0) {
        time_t now = time(nullptr) + static_cast<time_t>(strtoll(text + 3, nullptr, 10));
        if (gmtime_r(&now, &t) == nullptr) {
            return -1;
        }
    } else {
        int y, mo, d, h, mi, s;
        if (sscanf(text, "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6 || y < 1900 || mo < 1 ||
            mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 60) {
            errno = EIO;
            return -1;
        }
        t.tm_year = y - 1900;
        t.tm_mon = mo - 1;
        t.tm_mday = d;
        t.tm_hour = h;
        t.tm_min = mi;
        t.tm_sec = s;
        time_t secs = timegm(&t);
        struct tm norm = {};
        gmtime_r(&secs, &norm);
        t.tm_wday = norm.tm_wday;
    }
    tm->year = static_cast<uint32_t>(t.tm_year + 1900);
    tm->month = static_cast<uint32_t>(t.tm_mon + 1);
    tm->date = static_cast<uint32_t>(t.tm_mday);
    tm->hour = static_cast<uint32_t>(t.tm_hour);
    tm->minute = static_cast<uint32_t>(t.tm_min);
    tm->second = static_cast<uint32_t>(t.tm_sec);
    tm->weekday = static_cast<uint32_t>(t.tm_wday);
    return 0;
}

// Writes the time into the RTC file; a file that reads as a failing driver
// ("fail") refuses the request too.
int XRtcSetTime(int fd, const rtc_time_t* tm)
{
    rtc_time_t now;
    if (XRtcReadTime(fd, &now) != 0) {
        errno = EIO;
        return -1;
    }
    if (tm->month < 1 || tm->month > 12 || tm->date < 1 || tm->date > 31 || tm->hour > 23 ||
        tm->minute > 59 || tm->second > 59) {
        errno = EINVAL;
        return -1;
    }
    struct tm t = {};
    t.tm_year = static_cast<int>(tm->year) - 1900;
    t.tm_mon = static_cast<int>(tm->month) - 1;
    t.tm_mday = static_cast<int>(tm->date);
    t.tm_hour = static_cast<int>(tm->hour);
    t.tm_min = static_cast<int>(tm->minute);
    t.tm_sec = static_cast<int>(tm->second);
    // The RTC keeps running from the time set: stored as an offset to the host's clock.
    const long long offset = static_cast<long long>(timegm(&t)) - static_cast<long long>(time(nullptr));
    char text[64];
    int n = snprintf(text, sizeof(text), "now%+lld\n", offset);
    if (ftruncate(fd, 0) != 0 || pwrite(fd, text, static_cast<size_t>(n), 0) != n) {
        return -1;
    }
    return 0;
}

void XRtcClose(int fd)
{
    if (fd >= 0) {
        close(fd);
    }
}
