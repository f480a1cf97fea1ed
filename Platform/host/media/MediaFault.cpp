// Injected failures of media calls, and the threads seen calling them.

#include <pthread.h>
#include <sched.h>

#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "Platform/MediaSim.h"
#include "Platform/host/media/MediaCore.h"

namespace {

struct tagFault {
    HI_S32 code;
    int times;  // -1: every call
};

struct tagFaults {
    std::mutex mutex;
    std::map<std::pair<std::string, int>, tagFault> faults;  // (function, channel or -1)
    std::map<std::string, std::pair<int, int>> callers;     // what -> (policy, priority)
};

tagFaults& State()
{
    static tagFaults* s = new tagFaults;
    return *s;
}

}  // namespace

HI_S32 XMediaFault(const char* func, int chn)
{
    tagFaults& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.faults.empty()) {
        return 0;
    }
    auto it = s.faults.find(std::make_pair(std::string(func), chn));
    if (it == s.faults.end()) {
        it = s.faults.find(std::make_pair(std::string(func), -1));
    }
    if (it == s.faults.end()) {
        return 0;
    }
    const HI_S32 code = it->second.code;
    if (it->second.times > 0 && --it->second.times == 0) {
        s.faults.erase(it);
    }
    return code;
}

void XMediaSimFail(const char* func, HI_S32 code, int chn, int times)
{
    if (func == nullptr || times == 0) {
        return;
    }
    tagFaults& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.faults[std::make_pair(std::string(func), chn < 0 ? -1 : chn)] = tagFault{code, times < 0 ? -1 : times};
}

void XMediaSimClearFaults()
{
    XMediaResetFaults();
}

void XMediaResetFaults()
{
    tagFaults& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.faults.clear();
}

void XMediaNoteCaller(const std::string& what)
{
    int policy = 0;
    struct sched_param param = {};
    if (pthread_getschedparam(pthread_self(), &policy, &param) != 0) {
        return;
    }
    tagFaults& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.callers[what] = std::make_pair(policy, param.sched_priority);
}

BOOL XMediaSimCaller(const std::string& what, int* policy, int* priority)
{
    tagFaults& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.callers.find(what);
    if (it == s.callers.end()) {
        return FALSE;
    }
    if (policy != nullptr) {
        *policy = it->second.first;
    }
    if (priority != nullptr) {
        *priority = it->second.second;
    }
    return TRUE;
}

void XMediaResetCallers()
{
    tagFaults& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.callers.clear();
}
