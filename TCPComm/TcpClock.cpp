#include "TCPComm/TcpClock.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <string>

#include "Function/XLog.h"
#include "Platform/BoardRoot.h"
#include "Platform/Net.h"
#include "Platform/SysClock.h"

int GetRtctime(rtc_time_t* tm)
{
    const std::string path = XBoardPath(HI_RTC_DEVICE);
    int fd = XRtcOpen(path.c_str());
    if (fd < 0) {
        printf("open %s failed  %s %d\n", HI_RTC_DEVICE, __FILE__, __LINE__);
        return -1;
    }
    int ret = XRtcReadTime(fd, tm);
    XRtcClose(fd);
    if (ret < 0) {
        printf("ioctl: HI_RTC_RD_TIME failed %s %d\n", __FILE__, __LINE__);
        return -1;
    }
    return 0;
}

int SetRtctime(rtc_time_t* tm)
{
    printf("SetRtctime:%04d/%02d/%02d %02d:%02d:%02d \n", static_cast<int>(tm->year),
           static_cast<int>(tm->month), static_cast<int>(tm->date), static_cast<int>(tm->hour),
           static_cast<int>(tm->minute), static_cast<int>(tm->second));
    const std::string path = XBoardPath(HI_RTC_DEVICE);
    int fd = XRtcOpen(path.c_str());
    if (fd < 0) {
        printf("open %s failed  %s %d\n", HI_RTC_DEVICE, __FILE__, __LINE__);
        return -1;
    }
    int ret = XRtcSetTime(fd, tm);
    XRtcClose(fd);
    if (ret < 0) {
        printf("ioctl: HI_RTC_SET_TIME failed %s %d\n", __FILE__, __LINE__);
        return -1;
    }
    return 0;
}

int SetRtctoSystime(int year, int month, int date, int hour, int minute, int second)
{
    printf("SET SYS TIME:%04d/%02d/%02d %02d:%02d:%02d \n", year, month, date, hour, minute, second);
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = date;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    // The system keeps UTC, as every date of the system does.
    const time_t when = timegm(&t);
    if (when == static_cast<time_t>(-1)) {
        printf("mktime() failed\n");
        return -1;
    }
    return XSetSystemClock(when) == 0 ? 0 : -1;
}

int CheckRtcTimeOk()
{
    rtc_time_t tm = {};
    if (GetRtctime(&tm) != 0) {
        printf("GetRtctime error\n");
        return -2;
    }
    return tm.year == 1970 ? -1 : 0;
}

int GetIFHWAddr(int fd, const char* ifname, unsigned char* mac)
{
    if (fd < 0) {
        return 0;
    }
    char name[16];
    snprintf(name, sizeof(name), "%s", ifname);
    if (XGetIfHwAddr(fd, name, mac) != 0) {
        XERROR("net_get_hwaddr: ioctl SIOCGIFHWADDR\n");
        return 0;
    }
    return 1;
}
