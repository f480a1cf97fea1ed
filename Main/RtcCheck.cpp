#include "Main/RtcCheck.h"

#include <stdio.h>

#include <string>

#include "Platform/BoardRoot.h"
#include "Platform/Rtc.h"

BOOL IsRtcWork()
{
    static const char kDevice[] = "/dev/hi_rtc";
    const std::string dev = XBoardPath(kDevice);
    int fd = XRtcOpen(dev.c_str());
    if (fd < 0) {
        fprintf(stderr, "open %s failed\n", kDevice);
        return FALSE;
    }
    rtc_time_t tm = {};
    int ret = XRtcReadTime(fd, &tm);
    XRtcClose(fd);
    if (ret < 0) {
        fprintf(stderr, "ioctl: HI_RTC_RD_TIME failed ret = %d\n", ret);
        return FALSE;
    }
    return tm.year != 1970 ? TRUE : FALSE;
}
