#ifndef FUNCTION_SYSTEMTIME_H
#define FUNCTION_SYSTEMTIME_H

#include <cstdint>

// Monotonic milliseconds, 32-bit, wrapping about every 49.7 days; 0 when the
// clock cannot be read. Compare differences, never absolute values.
uint32_t SystemGetMSCount();
// Monotonic microseconds, 64-bit; 0 on error.
uint64_t SystemGetUSCount();
// Wall-clock seconds since the epoch; 0 on error.
uint32_t SystemGetSecondCount();
// Sleeps ms milliseconds.
void XSleep(unsigned ms);

#endif
