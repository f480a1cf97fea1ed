// The picture-attribute set log: in the process and on the board.

#include "Platform/host/media/TuningLog.h"

#include <sys/stat.h>
#include <time.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "Platform/BoardRoot.h"
#include "Platform/TuningSim.h"

namespace {

struct tagTuningLog {
    std::mutex mutex;
    std::vector<tagTuningSimSet> sets;
    // last record and result per (function, id), for the board file
    std::map<std::pair<std::string, HI_S32>, std::pair<HI_S32, std::vector<unsigned char>>> last;
};

tagTuningLog& Log()
{
    static tagTuningLog* s = new tagTuningLog;
    return *s;
}

// The process keeps the sets of one run; past this the oldest half goes.
constexpr size_t kMaxSets = 1u << 12;

void AppendBoardLine(const std::string& line)
{
    const std::string root = PlatformBoardRoot();
    if (root.empty()) {
        return;
    }
    const std::string dir = root + "/log";
    mkdir(dir.c_str(), 0755);
    FILE* f = fopen((dir + "/isp.log").c_str(), "a");
    if (f == nullptr) {
        return;
    }
    fputs(line.c_str(), f);
    fclose(f);
}

}  // namespace

void XTuningLogSet(const char* func, HI_S32 id, HI_S32 result, const void* record, size_t size,
                   const std::string& fields)
{
    tagTuningSimSet set;
    set.func = func;
    set.s32Id = id;
    set.s32Result = result;
    const unsigned char* p = static_cast<const unsigned char*>(record);
    if (p != nullptr) {
        set.record.assign(p, p + size);
    }
    BOOL changed = FALSE;
    {
        tagTuningLog& s = Log();
        std::lock_guard<std::mutex> lock(s.mutex);
        auto& last = s.last[std::make_pair(set.func, id)];
        if (last.first != result || last.second != set.record) {
            changed = TRUE;
            last = std::make_pair(result, set.record);
        }
        if (s.sets.size() >= kMaxSets) {
            s.sets.erase(s.sets.begin(), s.sets.begin() + kMaxSets / 2);
        }
        s.sets.push_back(std::move(set));
    }
    if (changed) {
        struct timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        char head[160];
        snprintf(head, sizeof(head), "%lld %s %d %#x", static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000,
                 func, static_cast<int>(id), static_cast<unsigned>(result));
        AppendBoardLine(std::string(head) + (fields.empty() ? "" : " ") + fields + "\n");
    }
}

std::vector<tagTuningSimSet> XTuningSimSets(const char* func)
{
    tagTuningLog& s = Log();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (func == nullptr) {
        return s.sets;
    }
    std::vector<tagTuningSimSet> out;
    for (const tagTuningSimSet& set : s.sets) {
        if (set.func == func) {
            out.push_back(set);
        }
    }
    return out;
}

void XTuningSimClearSets()
{
    tagTuningLog& s = Log();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.sets.clear();
}

void XTuningLogReset()
{
    tagTuningLog& s = Log();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.sets.clear();
    s.last.clear();
}
