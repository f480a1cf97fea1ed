#ifndef TESTS_PERIPHERY_GPIOTESTSUPPORT_H
#define TESTS_PERIPHERY_GPIOTESTSUPPORT_H

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>

// Mappings of `file` in this process, as the kernel lists them.
inline int XCountMappings(const std::string& file)
{
    std::ifstream maps("/proc/self/maps");
    std::string line;
    int n = 0;
    while (std::getline(maps, line)) {
        size_t at = line.find(file);
        if (at != std::string::npos && at + file.size() == line.size()) {
            ++n;
        }
    }
    return n;
}

// The little-endian word at `offset` of the register file, read with pread.
inline uint32_t XFileWord(const std::string& file, uint32_t offset)
{
    unsigned char b[4] = {0, 0, 0, 0};
    int fd = open(file.c_str(), O_RDONLY);
    if (fd >= 0) {
        if (pread(fd, b, 4, static_cast<off_t>(offset)) != 4) {
            b[0] = b[1] = b[2] = b[3] = 0xEE;
        }
        close(fd);
    }
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

#endif
