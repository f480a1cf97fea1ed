#ifndef PLATFORM_CLOCK_H
#define PLATFORM_CLOCK_H

#include <cstdint>

// Offset added to the 32-bit millisecond clock. Always 0 on the camera; on
// the simulated board it comes from BOARD_MS_OFFSET or the setter, so tests
// can start near the 32-bit wrap.
uint32_t PlatformMSOffset();
void PlatformSetMSOffset(uint32_t offset);

#endif
