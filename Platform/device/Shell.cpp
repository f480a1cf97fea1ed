#include "Platform/Shell.h"

int PlatformShellCommand(const char* cmd, std::string& out)
{
    if (cmd == nullptr) {
        out.clear();
        return 0;
    }
    out = cmd;
    return 1;
}
