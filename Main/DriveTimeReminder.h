#ifndef MAIN_DRIVETIMEREMINDER_H
#define MAIN_DRIVETIMEREMINDER_H

#include <cstdint>

#include "Function/types.h"
#include "PlayAudio/Prompts.h"

// Driving-time reminder: due once more than 2 h have passed since the first
// check, then every further 30 min. Times are 32-bit monotonic milliseconds,
// compared by difference, so neither a wall-clock change nor the wrap of the
// millisecond count fires it early.
class CDriveTimeReminder {
public:
    CDriveTimeReminder() : m_iAlarmCheck(0), m_uSinceMs(0) {}

    // TRUE when the reminder is due at `nowMs`; the interval then restarts.
    BOOL Check(uint32_t nowMs);

private:
    int m_iAlarmCheck;   // 0 not started, 1 first interval, 2 repeats
    uint32_t m_uSinceMs; // start of the running interval
};

// Plays PCM_LONGTIMEALARM when the process-wide reminder is due.
void CheckTimeToAlarm(CPrompts& prompts);

#endif
