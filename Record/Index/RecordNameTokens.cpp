#include "Record/Index/RecordNameTokens.h"

#include <strings.h>

#include <cstring>

#include "Record/Index/DecimalText.h"

namespace {

unsigned XDaysInMonth(unsigned year, unsigned month)
{
    static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

bool XNameDigits(const char*& p, int count, unsigned& value)
{
    unsigned v = 0;
    for (int i = 0; i < count; ++i) {
        if (p[i] < '0' || p[i] > '9') {
            return false;
        }
        v = v * 10 + static_cast<unsigned>(p[i] - '0');
    }
    value = v;
    p += count;
    return true;
}

bool XNameNumber(const char*& p, int maxDigits, bool bLeadingZeros, uint64_t& value)
{
    int count = 0;
    uint64_t v = 0;
    while (p[count] >= '0' && p[count] <= '9') {
        if (++count > maxDigits) {
            return false;
        }
        v = v * 10 + static_cast<uint64_t>(p[count - 1] - '0');
    }
    if (count == 0 || (!bLeadingZeros && count > 1 && p[0] == '0')) {
        return false;
    }
    value = v;
    p += count;
    return true;
}

bool XNameText(const char*& p, const char* text)
{
    const size_t len = strlen(text);
    if (strncasecmp(p, text, len) != 0) {
        return false;
    }
    p += len;
    return true;
}

bool XNameTime(const char*& p, RECTIME& time)
{
    const char* q = p;
    unsigned year, month, day, hour, minute, second;
    if (!XNameDigits(q, 4, year) || !XNameDigits(q, 2, month) || !XNameDigits(q, 2, day) ||
        !XNameDigits(q, 2, hour) || !XNameDigits(q, 2, minute) || !XNameDigits(q, 2, second)) {
        return false;
    }
    if (year < 2000 || year > 2063 || month < 1 || month > 12 || day < 1 || day > XDaysInMonth(year, month) ||
        hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    time = RECTIME::Make(year - 2000, month, day, hour, minute, second);
    p = q;
    return true;
}

char* XWriteNameTime(char* p, const RECTIME& time)
{
    p = XWriteDecimal(p, time.year() + 2000u, 4);
    p = XWriteDecimal(p, time.month(), 2);
    p = XWriteDecimal(p, time.day(), 2);
    p = XWriteDecimal(p, time.hour(), 2);
    p = XWriteDecimal(p, time.minute(), 2);
    return XWriteDecimal(p, time.second(), 2);
}
