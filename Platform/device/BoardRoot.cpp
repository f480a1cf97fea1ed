#include "Platform/BoardRoot.h"

// On the camera every path is the device's own.

std::string PlatformBoardRoot()
{
    return std::string();
}

void PlatformSetBoardRoot(const char*)
{
}

std::string XBoardPath(const char* path)
{
    return path ? std::string(path) : std::string();
}

std::string XBoardPath(const std::string& path)
{
    return path;
}

int PlatformCheckBoard()
{
    return 1;
}
