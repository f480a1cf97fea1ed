#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "Function/common.h"

namespace {

struct PackCase {
    time_t utc;
    unsigned year, month, day, hour, minute, second;
};

uint32_t Word(unsigned y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s)
{
    return (y << 26) | (mo << 22) | (d << 17) | (h << 12) | (mi << 6) | s;
}

const PackCase kPackCases[] = {
    {0, 34, 1, 1, 0, 0, 0},                 // 1970 - 2000 modulo 64
    {1501513712, 17, 7, 31, 15, 8, 32},
    {1456749296, 16, 2, 29, 12, 34, 56},    // leap day
    {946684800, 0, 1, 1, 0, 0, 0},          // 2000-01-01
    {946684799, 63, 12, 31, 23, 59, 59},    // 1999 wraps to 63
    {2966371199, 63, 12, 31, 23, 59, 59},   // 2063-12-31 23:59:59
    {2966371200, 0, 1, 1, 0, 0, 0},         // 2064 wraps to 0
    {2147483648, 38, 1, 19, 3, 14, 8},      // past the signed 32-bit second count
};

TEST(RecTime, Second2RECTIMEPacksUtcFields)
{
    for (const auto& c : kPackCases) {
        RECTIME t;
        t.value = 0xFFFFFFFFu;
        Second2RECTIME(c.utc, t);
        EXPECT_EQ(c.year, t.year()) << c.utc;
        EXPECT_EQ(c.month, t.month()) << c.utc;
        EXPECT_EQ(c.day, t.day()) << c.utc;
        EXPECT_EQ(c.hour, t.hour()) << c.utc;
        EXPECT_EQ(c.minute, t.minute()) << c.utc;
        EXPECT_EQ(c.second, t.second()) << c.utc;
        // The exact bit layout, as stored in files and on the wire.
        EXPECT_EQ(Word(c.year, c.month, c.day, c.hour, c.minute, c.second), t.value) << c.utc;
    }
}

TEST(RecTime, SettersTouchOnlyTheirFieldAndCutToWidth)
{
    RECTIME t = RECTIME::Make(17, 7, 31, 15, 8, 32);
    EXPECT_EQ(Word(17, 7, 31, 15, 8, 32), t.value);

    struct {
        const char* field;
        void (RECTIME::*set)(unsigned);
        unsigned (RECTIME::*get)() const;
        unsigned shift;
        unsigned width;
    } fields[] = {
        {"second", &RECTIME::set_second, &RECTIME::second, 0, 6},
        {"minute", &RECTIME::set_minute, &RECTIME::minute, 6, 6},
        {"hour", &RECTIME::set_hour, &RECTIME::hour, 12, 5},
        {"day", &RECTIME::set_day, &RECTIME::day, 17, 5},
        {"month", &RECTIME::set_month, &RECTIME::month, 22, 4},
        {"year", &RECTIME::set_year, &RECTIME::year, 26, 6},
    };
    for (const auto& f : fields) {
        const uint32_t mask = ((1u << f.width) - 1u) << f.shift;
        RECTIME u = t;
        (u.*f.set)(0xFFFFFFFFu);
        EXPECT_EQ(t.value | mask, u.value) << f.field;
        (u.*f.set)(0);
        EXPECT_EQ(t.value & ~mask, u.value) << f.field;
        // One above the field's range keeps only the low bits.
        (u.*f.set)((1u << f.width) + 1u);
        EXPECT_EQ(1u, (u.*f.get)()) << f.field;
        EXPECT_EQ(t.value & ~mask, u.value & ~mask) << f.field;
    }
}

TEST(RecTime, OneSecondApartOrdersAcrossBoundaries)
{
    const time_t earlier[] = {
        1501545599,  // 2017-07-31 23:59:59 -> August
        1514764799,  // 2017-12-31 23:59:59 -> 2018
        1456703999,  // 2016-02-28 23:59:59 -> leap day
        1456749296,  // a plain second
        1501513712,
    };
    for (time_t s : earlier) {
        RECTIME a;
        RECTIME b;
        Second2RECTIME(s, a);
        Second2RECTIME(s + 1, b);
        EXPECT_TRUE(a < b) << s;
        EXPECT_TRUE(a <= b) << s;
        EXPECT_TRUE(b > a) << s;
        EXPECT_TRUE(b >= a) << s;
        EXPECT_TRUE(a != b) << s;
        EXPECT_FALSE(a == b) << s;
        EXPECT_FALSE(a > b) << s;
        EXPECT_FALSE(a >= b) << s;
        EXPECT_FALSE(b < a) << s;
        EXPECT_FALSE(b <= a) << s;
        RECTIME c = a;
        EXPECT_TRUE(a == c && a <= c && a >= c && !(a != c) && !(a < c) && !(a > c)) << s;
    }
}

TEST(RecTime, ComparesAsUnsignedWord)
{
    // Year 63 sets the top bit: a signed comparison would put it first.
    RECTIME late = RECTIME::Make(63, 1, 1, 0, 0, 0);
    RECTIME early = RECTIME::Make(1, 1, 1, 0, 0, 0);
    EXPECT_TRUE(late > early);
    EXPECT_TRUE(early < late);
}

// Sets TZ for one test and restores it afterwards.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz)
    {
        const char* old = getenv("TZ");
        m_bHadOld = old != nullptr;
        if (m_bHadOld) {
            m_strOld = old;
        }
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTimeZone()
    {
        if (m_bHadOld) {
            setenv("TZ", m_strOld.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    bool m_bHadOld = false;
    std::string m_strOld;
};

TEST(RecTime, RECTIME2SecondConvertsAsLocalTime)
{
    struct {
        const char* tz;
        long offset;  // local time minus UTC, seconds
    } zones[] = {{"UTC0", 0}, {"XST-2", 7200}, {"YST+5", -5 * 3600}};
    const time_t samples[] = {946684800, 1456749296, 1501513712, 2147483648, 2966371199};
    for (const auto& z : zones) {
        ScopedTimeZone scoped(z.tz);
        for (time_t s : samples) {
            RECTIME t;
            Second2RECTIME(s, t);
            time_t back = 0;
            RECTIME2Second(t, back);
            // The packed fields are UTC; read as local time they are off by
            // the zone's offset.
            EXPECT_EQ(static_cast<long long>(s - z.offset), static_cast<long long>(back))
                << z.tz << " " << s;
        }
    }
}

}  // namespace
