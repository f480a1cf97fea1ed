#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "Main/DriveTimeReminder.h"

TEST(DriveTimeReminder, FirstAfterTwoHoursThenEveryHalfHour)
{
    const uint32_t s = 1000;
    // start points: an ordinary one and one just before the millisecond wrap
    for (uint32_t t0 : {12345u, 0xFFFFFFFFu - 3000u * s}) {
        struct Step {
            uint32_t at;   // ms after t0
            BOOL due;
        } steps[] = {
            {0, FALSE},                      // starts the interval
            {3600 * s, FALSE},
            {7200 * s, FALSE},               // not yet: more than 2 h is needed
            {7200 * s + 1, TRUE},
            {7200 * s + 1 + 1800 * s, FALSE},
            {7200 * s + 2 + 1800 * s, TRUE},
            {7200 * s + 2 + 3000 * s, FALSE},
            {7200 * s + 3 + 3600 * s, TRUE},
        };
        CDriveTimeReminder r;
        for (const Step& st : steps) {
            EXPECT_EQ(r.Check(t0 + st.at), st.due) << t0 << " +" << st.at;
        }
    }
}
