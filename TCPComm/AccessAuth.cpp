#include "TCPComm/AccessAuth.h"

#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <string>

#include "Function/XLog.h"
#include "Platform/BoardRoot.h"

namespace {

void XAuthEntry(const unsigned char mac[6], char entry[14])
{
    snprintf(entry, 14, "%02x%02x%02x%02x%02x%02x;", mac[0], mac[1], mac[2], mac[3], mac[4],
             mac[5]);
}

}  // namespace

int search_access_auth(const unsigned char mac[6])
{
    const std::string path = XBoardPath(ACCESS_AUTH_FILE);
    FILE* f = fopen(path.c_str(), "re");
    if (f == nullptr) {
        printf("File:can not open file for read\n");
        return -1;
    }
    char entry[14];
    XAuthEntry(mac, entry);
    std::string text;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof(chunk), f)) > 0) {
        text.append(chunk, n);
    }
    const int found = text.find(entry) != std::string::npos ? 0 : -1;
    fclose(f);
    return found;
}

int save_access_auth(const unsigned char mac[6])
{
    const std::string path = XBoardPath(ACCESS_AUTH_FILE);
    FILE* f = fopen(path.c_str(), "ae");
    if (f == nullptr) {
        return -1;
    }
    char entry[14];
    XAuthEntry(mac, entry);
    const bool ok = fwrite(entry, 1, 13, f) == 13;
    return fclose(f) == 0 && ok ? 0 : -1;
}

bool XAccessAuthFileExists()
{
    struct stat st;
    return stat(XBoardPath(ACCESS_AUTH_FILE).c_str(), &st) == 0;
}
