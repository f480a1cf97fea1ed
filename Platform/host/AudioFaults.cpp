#include "Platform/host/AudioFaults.h"

#include <mutex>

namespace {
std::mutex g_FaultLock;
}

CAudioFaults* CAudioFaults::instance()
{
    static CAudioFaults faults;
    return &faults;
}

void CAudioFaults::Fail(const std::string& func, int32_t code, int chn, int times)
{
    std::lock_guard<std::mutex> lock(g_FaultLock);
    for (tagFault& f : m_Faults) {
        if (f.func == func && f.chn == chn) {
            f.code = code;
            f.times = times;
            return;
        }
    }
    m_Faults.push_back({func, code, chn, times});
}

void CAudioFaults::Clear()
{
    std::lock_guard<std::mutex> lock(g_FaultLock);
    m_Faults.clear();
}

int32_t CAudioFaults::Take(const char* func, int chn)
{
    std::lock_guard<std::mutex> lock(g_FaultLock);
    for (auto it = m_Faults.begin(); it != m_Faults.end(); ++it) {
        if (it->func != func || (it->chn >= 0 && it->chn != chn) || it->times == 0) {
            continue;
        }
        const int32_t code = it->code;
        if (it->times > 0 && --it->times == 0) {
            m_Faults.erase(it);
        }
        return code;
    }
    return 0;
}
