#include "Platform/Clock.h"

uint32_t PlatformMSOffset()
{
    return 0;
}

void PlatformSetMSOffset(uint32_t)
{
}
