#include "PlayAudio/PromptFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <string>

#include "Platform/BoardRoot.h"

static_assert(sizeof(_WAVE_FILE_HEADER) == CPromptFile::kHeaderBytes, "WAVE header is 44 bytes");
static_assert(offsetof(_WAVE_FILE_HEADER, dwDATALen) == 40, "data length at byte 40");

CPromptFile::~CPromptFile()
{
    Close();
}

uint32_t CPromptFile::DataLength(const uint8_t header[kHeaderBytes], uint64_t fileSize)
{
    const uint8_t* p = header + offsetof(_WAVE_FILE_HEADER, dwDATALen);
    const uint32_t declared = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    if (fileSize <= kHeaderBytes) {
        return 0;
    }
    const uint64_t present = fileSize - kHeaderBytes;
    return present < declared ? static_cast<uint32_t>(present) : declared;
}

bool CPromptFile::Open(const char* path)
{
    Close();
    if (path == nullptr || path[0] == '\0') {
        return false;
    }
    // without waiting: a pipe or device would block the open
    const int fd = open(XBoardPath(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, 0) != 0) {
        close(fd);
        return false;
    }
    FILE* f = fdopen(fd, "rb");
    if (f == nullptr) {
        close(fd);
        return false;
    }
    uint8_t header[kHeaderBytes];
    uint32_t length = 0;
    if (fread(header, 1, sizeof(header), f) == sizeof(header)) {
        length = DataLength(header, static_cast<uint64_t>(st.st_size));
    }
    if (length == 0) {
        fclose(f);
        return false;
    }
    m_File = f;
    m_Length = length;
    m_Left = length;
    return true;
}

void CPromptFile::Close()
{
    if (m_File != nullptr) {
        fclose(m_File);
    }
    m_File = nullptr;
    m_Length = 0;
    m_Left = 0;
}

size_t CPromptFile::Read(uint8_t* buf, size_t size)
{
    if (m_File == nullptr || m_Left == 0) {
        return 0;
    }
    const size_t want = size < m_Left ? size : m_Left;
    const size_t got = fread(buf, 1, want, m_File);
    m_Left = got == want ? m_Left - static_cast<uint32_t>(got) : 0;  // a short read ends the data
    return got;
}
