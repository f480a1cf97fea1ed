#include "Main/Version.h"

#include <stdio.h>
#include <string.h>

#include <string>

#include "Function/common.h"
#include "Platform/BoardRoot.h"

int get_ver(const char* path, const char* name, char* value, size_t size)
{
    if (path == nullptr || name == nullptr || name[0] == '\0' || value == nullptr || size == 0) {
        return -1;
    }
    char buf[VERSION_FILE_SCAN + 1];
    memset(buf, 0, sizeof(buf));
    FILE* fp = fopen(XBoardPath(path).c_str(), "re");
    if (fp == nullptr) {
        printf("File:can not open file for read\n");
        return -1;
    }
    size_t n = fread(buf, 1, VERSION_FILE_SCAN, fp);
    fclose(fp);
    buf[n] = '\0';

    const char* item = strstr(buf, name);
    if (item == nullptr) {
        return -1;
    }
    const char* start = item + strlen(name);
    if (*start == '\0') {
        return -1;  // no separator
    }
    ++start;
    const char* end = strchr(start, '$');
    if (end == nullptr) {
        return -1;
    }
    size_t len = static_cast<size_t>(end - start);
    if (len >= size) {
        XERROR("%s value of %u characters, at most %u\n", name, static_cast<unsigned>(len),
               static_cast<unsigned>(size - 1));
        return -1;
    }
    memcpy(value, start, len);
    value[len] = '\0';
    return 0;
}

int write_version(CBootEnv* store)
{
    char ver_value[VERSION_FW_SIZE];
    char arg_value[VERSION_ARG_SIZE];
    char cmd_value[VERSION_ARG_SIZE];
    memset(ver_value, 0, sizeof(ver_value));
    memset(arg_value, 0, sizeof(arg_value));
    memset(cmd_value, 0, sizeof(cmd_value));

    int ret = get_ver(VERSION_FILE, "firmware_ver", ver_value, sizeof(ver_value));
    printf("get ver_value = %s\n", ver_value);
    ret |= get_ver(VERSION_FILE, "bootargs", arg_value, sizeof(arg_value));
    printf("get arg_value = %s\n", arg_value);
    ret |= get_ver(VERSION_FILE, "bootcmd", cmd_value, sizeof(cmd_value));
    printf("get cmd_value = %s\n", cmd_value);
    if (ret != 0) {
        return -1;
    }

    if (store == nullptr || !store->ReadEnvData()) {
        printf("READENV ERR\n");
        return -1;
    }
    if (!store->SetEnv("firmware_ver", ver_value) || !store->SetEnv("bootargs", arg_value) ||
        !store->SetEnv("bootcmd", cmd_value)) {
        printf("SETENV ERR\n");
        return -1;
    }
    if (!store->SaveEnvData()) {
        printf("SAVEENV ERR\n");
        return -1;
    }
    printf("SETENV OK\n");
    return 0;
}

void XHandOverVersion(CBootEnv* store)
{
    const std::string path = XBoardPath(VERSION_FILE);
    if (!XFilePathExists(path.c_str())) {
        return;
    }
    printf("first start write version\n");
    if (write_version(store) == 0) {
        printf("write version ok!\n");
        XDeleteFile(path.c_str());
    } else {
        printf("write version fail!\n");
    }
}
