#ifndef FUNCTION_RECTIME_H
#define FUNCTION_RECTIME_H

#include <cstdint>
#include <ctime>

// A date-time packed into one 32-bit word, from the least significant bit up:
// second 6 bits, minute 6, hour 5, day 5, month 4, year - 2000 (mod 64) 6.
// The most significant fields come first, so comparing the words as unsigned
// integers orders the times. Fields are read and written with shifts and
// masks, so the layout does not depend on the compiler's bit-field rules.
struct tagRECTIME {
    uint32_t value;  // the whole packed word

    static constexpr unsigned kSecondShift = 0, kSecondBits = 6;
    static constexpr unsigned kMinuteShift = 6, kMinuteBits = 6;
    static constexpr unsigned kHourShift = 12, kHourBits = 5;
    static constexpr unsigned kDayShift = 17, kDayBits = 5;
    static constexpr unsigned kMonthShift = 22, kMonthBits = 4;
    static constexpr unsigned kYearShift = 26, kYearBits = 6;

    unsigned second() const { return Get(kSecondShift, kSecondBits); }
    unsigned minute() const { return Get(kMinuteShift, kMinuteBits); }
    unsigned hour() const { return Get(kHourShift, kHourBits); }
    unsigned day() const { return Get(kDayShift, kDayBits); }
    unsigned month() const { return Get(kMonthShift, kMonthBits); }
    // Year minus 2000, modulo 64.
    unsigned year() const { return Get(kYearShift, kYearBits); }

    // Setters keep only the low bits that fit the field.
    void set_second(unsigned v) { Set(kSecondShift, kSecondBits, v); }
    void set_minute(unsigned v) { Set(kMinuteShift, kMinuteBits, v); }
    void set_hour(unsigned v) { Set(kHourShift, kHourBits, v); }
    void set_day(unsigned v) { Set(kDayShift, kDayBits, v); }
    void set_month(unsigned v) { Set(kMonthShift, kMonthBits, v); }
    void set_year(unsigned v) { Set(kYearShift, kYearBits, v); }

    // Packs the fields, each cut to its width; year is year - 2000.
    static tagRECTIME Make(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                           unsigned second)
    {
        tagRECTIME t = {0};
        t.set_year(year);
        t.set_month(month);
        t.set_day(day);
        t.set_hour(hour);
        t.set_minute(minute);
        t.set_second(second);
        return t;
    }

private:
    static constexpr uint32_t Mask(unsigned bits) { return (1u << bits) - 1u; }
    unsigned Get(unsigned shift, unsigned bits) const { return (value >> shift) & Mask(bits); }
    void Set(unsigned shift, unsigned bits, unsigned v)
    {
        value = (value & ~(Mask(bits) << shift)) | ((static_cast<uint32_t>(v) & Mask(bits)) << shift);
    }
};
typedef tagRECTIME RECTIME;

static_assert(sizeof(tagRECTIME) == 4, "RECTIME must be one 32-bit word");

inline bool operator>(const tagRECTIME& a, const tagRECTIME& b) { return a.value > b.value; }
inline bool operator<(const tagRECTIME& a, const tagRECTIME& b) { return a.value < b.value; }
inline bool operator>=(const tagRECTIME& a, const tagRECTIME& b) { return a.value >= b.value; }
inline bool operator<=(const tagRECTIME& a, const tagRECTIME& b) { return a.value <= b.value; }
inline bool operator==(const tagRECTIME& a, const tagRECTIME& b) { return a.value == b.value; }
inline bool operator!=(const tagRECTIME& a, const tagRECTIME& b) { return a.value != b.value; }

// Breaks `second` down as UTC and packs it.
void Second2RECTIME(time_t second, RECTIME& rectime);
// Unpacks into a calendar time (year + 2000) and converts it as local time.
void RECTIME2Second(const RECTIME& rectime, time_t& second);

#endif
