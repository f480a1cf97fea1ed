#include "Platform/Clock.h"

#include <stdlib.h>

#include <atomic>
#include <mutex>

namespace {

std::atomic<uint32_t> g_Offset{0};
std::once_flag g_OffsetOnce;

void ReadOffsetFromEnvironment()
{
    const char* text = getenv("BOARD_MS_OFFSET");
    if (text != nullptr && *text != '\0') {
        g_Offset.store(static_cast<uint32_t>(strtoull(text, nullptr, 0)));
    }
}

}  // namespace

uint32_t PlatformMSOffset()
{
    std::call_once(g_OffsetOnce, ReadOffsetFromEnvironment);
    return g_Offset.load(std::memory_order_relaxed);
}

void PlatformSetMSOffset(uint32_t offset)
{
    std::call_once(g_OffsetOnce, ReadOffsetFromEnvironment);
    g_Offset.store(offset);
}
