// Change notification and the reset of the whole simulated media layer.

#include <condition_variable>
#include <mutex>

#include "Platform/MediaSim.h"
#include "Platform/host/MediaCore.h"
#include "Platform/host/MediaModules.h"

namespace {

struct tagChange {
    std::mutex mutex;
    std::condition_variable cv;
    uint64_t generation = 0;
};

tagChange& Change()
{
    static tagChange* s = new tagChange;
    return *s;
}

}  // namespace

void XMediaStateChanged()
{
    tagChange& c = Change();
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        ++c.generation;
    }
    c.cv.notify_all();
}

uint64_t XMediaStateGeneration()
{
    tagChange& c = Change();
    std::lock_guard<std::mutex> lock(c.mutex);
    return c.generation;
}

BOOL XMediaWaitStateChange(uint64_t generation, int ms)
{
    tagChange& c = Change();
    std::unique_lock<std::mutex> lock(c.mutex);
    return c.cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return c.generation != generation; });
}

void XMediaSimReset()
{
    // users of pictures first, then their sources, then the system
    XMediaResetModules();
    XMediaResetSys();
    XMediaResetVb();
    XMediaResetFaults();
    XMediaResetCallers();
    XMediaStateChanged();
}
