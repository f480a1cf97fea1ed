#include "Function/RecTime.h"

#include <cstring>
#include <ctime>

void Second2RECTIME(time_t second, RECTIME& rectime)
{
    rectime.value = 0;
    struct tm tmv;
    if (gmtime_r(&second, &tmv) == nullptr) {
        return;
    }
    // tm_year counts from 1900; + 28 makes it year - 2000 modulo 64. The
    // unsigned cast keeps the modulo right for years before 1972.
    rectime.set_year(static_cast<unsigned>(tmv.tm_year + 28));
    rectime.set_month(static_cast<unsigned>(tmv.tm_mon + 1));
    rectime.set_day(static_cast<unsigned>(tmv.tm_mday));
    rectime.set_hour(static_cast<unsigned>(tmv.tm_hour));
    rectime.set_minute(static_cast<unsigned>(tmv.tm_min));
    rectime.set_second(static_cast<unsigned>(tmv.tm_sec));
}

void RECTIME2Second(const RECTIME& rectime, time_t& second)
{
    struct tm tmv;
    memset(&tmv, 0, sizeof(tmv));
    tmv.tm_year = static_cast<int>(rectime.year()) + 2000 - 1900;
    tmv.tm_mon = static_cast<int>(rectime.month()) - 1;
    tmv.tm_mday = static_cast<int>(rectime.day());
    tmv.tm_hour = static_cast<int>(rectime.hour());
    tmv.tm_min = static_cast<int>(rectime.minute());
    tmv.tm_sec = static_cast<int>(rectime.second());
    tmv.tm_isdst = -1;  // let the time zone decide
    second = mktime(&tmv);
}
