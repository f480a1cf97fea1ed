#include "Platform/Net.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "Platform/BoardRoot.h"

namespace {

// The first line of the interface's board file, without its line end.
bool XReadIfFile(const char* ifname, const char* leaf, std::string& text)
{
    if (ifname == nullptr || ifname[0] == '\0' || strchr(ifname, '/') != nullptr ||
        strlen(ifname) > 15) {
        errno = ENODEV;
        return false;
    }
    const std::string path =
        XBoardPath(std::string("/sys/class/net/") + ifname + "/" + leaf);
    FILE* f = fopen(path.c_str(), "re");
    if (f == nullptr) {
        errno = ENODEV;
        return false;
    }
    char line[64];
    const bool ok = fgets(line, sizeof(line), f) != nullptr;
    fclose(f);
    if (!ok) {
        errno = ENODEV;
        return false;
    }
    line[strcspn(line, "\r\n")] = '\0';
    text = line;
    return true;
}

}  // namespace

int XGetIfHwAddr(int fd, const char* ifname, unsigned char mac[6])
{
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    std::string text;
    if (!XReadIfFile(ifname, "address", text)) {
        return -1;
    }
    unsigned v[6];
    char tail;
    if (sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
               &tail) != 6) {
        errno = ENODEV;
        return -1;
    }
    for (int i = 0; i < 6; ++i) {
        mac[i] = static_cast<unsigned char>(v[i]);
    }
    return 0;
}

int XGetIfIpv4Addr(int fd, const char* ifname, char* buf, size_t size)
{
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    std::string text;
    if (!XReadIfFile(ifname, "ipv4", text)) {
        return -1;
    }
    if (text.size() + 1 > size) {
        errno = ENOSPC;
        return -1;
    }
    memcpy(buf, text.c_str(), text.size() + 1);
    return 0;
}
