#ifndef PLATFORM_HOST_MEDIAMODULES_H
#define PLATFORM_HOST_MEDIAMODULES_H

// Hooks between the simulated media modules above the system.

#include <cstdint>

#include "Platform/MpiTypes.h"

// Generation of the media state, raised by every XMediaStateChanged.
uint64_t XMediaStateGeneration();
// Waits up to `ms` for the generation to move from `generation`.
BOOL XMediaWaitStateChange(uint64_t generation, int ms);

// Resets encoders, processing, input, ISP and output, in that order.
void XMediaResetModules();

#endif
