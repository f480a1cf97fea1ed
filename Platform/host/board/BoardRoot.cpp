#include "Platform/BoardRoot.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <mutex>

namespace {

std::mutex g_RootLock;
bool g_bRootRead = false;
std::string g_strRoot;

std::string TrimRoot(const char* root)
{
    std::string r = root ? root : "";
    while (r.size() > 1 && r.back() == '/') {
        r.pop_back();
    }
    return r;
}

std::string CurrentRoot()
{
    std::lock_guard<std::mutex> lock(g_RootLock);
    if (!g_bRootRead) {
        g_strRoot = TrimRoot(getenv("BOARD_ROOT"));
        g_bRootRead = true;
    }
    return g_strRoot;
}

}  // namespace

std::string PlatformBoardRoot()
{
    return CurrentRoot();
}

void PlatformSetBoardRoot(const char* root)
{
    std::lock_guard<std::mutex> lock(g_RootLock);
    g_strRoot = TrimRoot(root);
    g_bRootRead = true;
}

std::string XBoardPath(const char* path)
{
    if (path == nullptr) {
        return std::string();
    }
    if (path[0] != '/') {
        return path;
    }
    std::string root = CurrentRoot();
    if (root.empty() || root == "/") {
        // No board: never hand out a path of the machine itself.
        return std::string("/nonexistent-board-root") + path;
    }
    return root + path;
}

std::string XBoardPath(const std::string& path)
{
    return XBoardPath(path.c_str());
}

int PlatformCheckBoard()
{
    std::string root = CurrentRoot();
    if (root.empty()) {
        fprintf(stderr, "BOARD_ROOT is not set: the simulated camera needs a board folder "
                        "(create one with sim/board init DIR).\n");
        return 0;
    }
    char real[PATH_MAX];
    if (realpath(root.c_str(), real) == nullptr) {
        fprintf(stderr, "BOARD_ROOT %s does not exist (create it with sim/board init DIR).\n", root.c_str());
        return 0;
    }
    if (std::string(real) == "/") {
        fprintf(stderr, "BOARD_ROOT must not be the machine's own root folder.\n");
        return 0;
    }
    struct stat st;
    if (stat(real, &st) != 0 || !S_ISDIR(st.st_mode)) {
        fprintf(stderr, "BOARD_ROOT %s is not a folder.\n", root.c_str());
        return 0;
    }
    std::string bin = root + "/bin";
    if (stat(bin.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        fprintf(stderr, "BOARD_ROOT %s is not a board folder (no bin/; create it with sim/board init DIR).\n",
                root.c_str());
        return 0;
    }
    return 1;
}
