#include "Platform/Rtc.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

int XRtcOpen(const char* devpath)
{
    return open(devpath, O_RDWR | O_CLOEXEC);
}

int XRtcReadTime(int fd, rtc_time_t* tm)
{
    return ioctl(fd, HI_RTC_RD_TIME, tm);
}

int XRtcSetTime(int fd, const rtc_time_t* tm)
{
    return ioctl(fd, HI_RTC_SET_TIME, const_cast<rtc_time_t*>(tm));
}

void XRtcClose(int fd)
{
    if (fd >= 0) {
        close(fd);
    }
}
