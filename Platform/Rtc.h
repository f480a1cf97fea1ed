#ifndef PLATFORM_RTC_H
#define PLATFORM_RTC_H

#include <cstdint>

// The RTC driver's time record.
typedef struct tagRtcTime {
    uint32_t year;
    uint32_t month;
    uint32_t date;
    uint32_t hour;
    uint32_t minute;
    uint32_t second;
    uint32_t weekday;
} rtc_time_t;

#define HI_RTC_RD_TIME 0x801C7009u
#define HI_RTC_SET_TIME 0x401C700Au

// open/read-time/close of the RTC device. XRtcOpen returns a descriptor or -1
// (errno set); XRtcReadTime returns the driver's result (negative on failure).
int XRtcOpen(const char* devpath);
int XRtcReadTime(int fd, rtc_time_t* tm);
// Sets the RTC (HI_RTC_SET_TIME); the driver's result.
int XRtcSetTime(int fd, const rtc_time_t* tm);
void XRtcClose(int fd);

#endif
