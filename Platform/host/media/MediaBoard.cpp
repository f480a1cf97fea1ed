// The media layer on a board folder: the state as DIR/log/media.json (at
// every change, at least once a second) and the commands of `sim/board media`
// taken from DIR/run/media/*.cmd (one line each, removed once read):
//   fail FUNC CODE CHN TIMES | stall CHN MS | dump 0|1 | scene day|night

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Platform/BoardRoot.h"
#include "Platform/TuningSim.h"
#include "Platform/MediaSim.h"
#include "Platform/host/media/MediaCore.h"
#include "Platform/host/media/MediaModules.h"

namespace {

struct tagBoard {
    std::mutex mutex;
    std::condition_variable cv;
    BOOL bRunning = FALSE;
    std::thread thread;
};

tagBoard& Board()
{
    static tagBoard* s = new tagBoard;
    return *s;
}

void WriteState(const std::string& root)
{
    const std::string dir = root + "/log";
    mkdir(dir.c_str(), 0755);
    const std::string path = dir + "/media.json";
    const std::string tmp = path + ".tmp";
    FILE* f = fopen(tmp.c_str(), "w");
    if (f == nullptr) {
        return;
    }
    const std::string json = XMediaSimStateJson() + "\n";
    fwrite(json.data(), 1, json.size(), f);
    fclose(f);
    rename(tmp.c_str(), path.c_str());
}

void Apply(const std::string& line)
{
    std::istringstream in(line);
    std::string word;
    in >> word;
    if (word == "fail") {
        std::string func;
        std::string code;
        int chn = -1;
        int times = -1;
        in >> func >> code >> chn >> times;
        if (!func.empty() && !code.empty()) {
            const HI_S32 value = static_cast<HI_S32>(static_cast<uint32_t>(strtoul(code.c_str(), nullptr, 0)));
            XMediaSimFail(func.c_str(), value, chn, times);
        }
    } else if (word == "stall") {
        int chn = -1;
        int ms = 0;
        in >> chn >> ms;
        XMediaSimStall(chn, ms);
    } else if (word == "dump") {
        int on = 0;
        in >> on;
        XMediaSimSetDump(on != 0);
    } else if (word == "scene") {
        std::string scene;
        in >> scene;
        if (scene == "day" || scene == "night") {
            XTuningSimSetScene(scene == "day" ? emTuningSimScene_Day : emTuningSimScene_Night);
        }
    }
}

void TakeCommands(const std::string& root)
{
    const std::string dir = root + "/run/media";
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) {
        return;
    }
    std::vector<std::string> names;
    while (struct dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".cmd") == 0) {
            names.push_back(name);
        }
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string path = dir + "/" + name;
        std::ifstream f(path);
        std::string line;
        while (std::getline(f, line)) {
            Apply(line);
        }
        unlink(path.c_str());
    }
}

void Run(std::string root)
{
    tagBoard& b = Board();
    uint64_t written = ~0ull;
    auto last = std::chrono::steady_clock::now() - std::chrono::seconds(2);
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(b.mutex);
            b.cv.wait_for(lock, std::chrono::milliseconds(100), [&] { return !b.bRunning; });
            if (!b.bRunning) {
                break;
            }
        }
        TakeCommands(root);
        const uint64_t gen = XMediaStateGeneration();
        const auto now = std::chrono::steady_clock::now();
        if (gen != written || now - last >= std::chrono::seconds(1)) {
            WriteState(root);
            written = gen;
            last = now;
        }
    }
    WriteState(root);
}

}  // namespace

void XMediaBoardEnsure()
{
    const std::string root = PlatformBoardRoot();
    if (root.empty()) {
        return;  // no board folder: nothing to write to
    }
    tagBoard& b = Board();
    std::lock_guard<std::mutex> lock(b.mutex);
    if (!b.bRunning) {
        b.bRunning = TRUE;
        b.thread = std::thread(Run, root);
    }
}

void XMediaResetBoard()
{
    tagBoard& b = Board();
    std::thread t;
    {
        std::lock_guard<std::mutex> lock(b.mutex);
        b.bRunning = FALSE;
        t.swap(b.thread);
    }
    b.cv.notify_all();
    if (t.joinable()) {
        t.join();
    }
}
