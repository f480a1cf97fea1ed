#ifndef PLATFORM_SYSCLOCK_H
#define PLATFORM_SYSCLOCK_H

#include <ctime>

// Sets the system clock to `when` (seconds since the epoch). On the camera
// clock_settime(CLOCK_REALTIME); on the simulated board a line in the
// board's log/clock.log ("YYYY-MM-DD hh:mm:ss UTC <seconds>"), never the
// host's clock. 0, or -1 with errno set.
int XSetSystemClock(time_t when);

#endif
