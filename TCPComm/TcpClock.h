#ifndef TCPCOMM_TCPCLOCK_H
#define TCPCOMM_TCPCLOCK_H

#include "Platform/Rtc.h"

#define HI_RTC_DEVICE "/dev/hi_rtc"

// The RTC: 0 or -1.
int GetRtctime(rtc_time_t* tm);
int SetRtctime(rtc_time_t* tm);
// Sets the system clock from a UTC date and time: 0 or -1.
int SetRtctoSystime(int year, int month, int date, int hour, int minute, int second);
// -1 when the RTC reads 1970, 0 otherwise, -2 when it cannot be read.
int CheckRtcTimeOk();
// wlan0's hardware address through the socket: 1 or 0.
int GetIFHWAddr(int fd, const char* ifname, unsigned char* mac);

#endif
