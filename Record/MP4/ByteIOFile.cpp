#include "Record/MP4/ByteIOFile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <new>

#include "Function/common.h"

static_assert(sizeof(off_t) == 8, "64-bit file offsets are required");

CByteIOFile::CByteIOFile()
    : m_Fd(-1),
      m_DataBufferSize(kDataBufferSize),
      m_lpOriginDataBuffer(new uint8_t[kDataBufferSize + kDataBufferAlign]()),
      m_lpDataBuffer(nullptr),
      m_lpData(nullptr),
      m_lpDataBufferEnd(nullptr),
      m_Pos(0),
      m_lpDataFilled(nullptr),
      m_bIOError(FALSE)
{
    uintptr_t base = reinterpret_cast<uintptr_t>(m_lpOriginDataBuffer.get());
    size_t pad = (kDataBufferAlign - (base % kDataBufferAlign)) % kDataBufferAlign;
    m_lpDataBuffer = m_lpOriginDataBuffer.get() + pad;
    m_lpDataBufferEnd = m_lpDataBuffer + m_DataBufferSize;
    ResetBuffer();
}

CByteIOFile::~CByteIOFile()
{
    if (m_Fd >= 0) {
        close(m_Fd);
        m_Fd = -1;
    }
}

void CByteIOFile::ResetBuffer()
{
    m_lpData = m_lpDataBuffer;
    m_lpDataFilled = m_lpDataBuffer;
}

int CByteIOFile::Open(const char* filename, BOOL readonly)
{
    return OpenWith(filename, readonly ? O_RDONLY : (O_RDWR | O_CREAT | O_TRUNC));
}

int CByteIOFile::OpenExisting(const char* filename)
{
    return OpenWith(filename, O_RDWR);
}

int CByteIOFile::OpenWith(const char* filename, int flags)
{
    if (m_Fd >= 0) {
        Close();
    }
    if (filename == nullptr) {
        return -1;
    }
    int fd;
    do {
        fd = open(filename, flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return -1;
    }
    m_Fd = fd;
    m_Pos = 0;
    m_bIOError = FALSE;
    ResetBuffer();
    return 0;
}

ssize_t CByteIOFile::Read(void* buf, size_t size)
{
    return SafeRead(m_Fd, buf, size);
}

ssize_t CByteIOFile::Write(const void* buf, size_t size)
{
    if (m_Fd < 0) {
        errno = EBADF;
        return -1;
    }
    ssize_t w = FullWrite(m_Fd, buf, size);
    if (w > 0) {
        m_Pos += w;
    }
    return w;
}

int64_t CByteIOFile::Seek(int64_t offset, int whence)
{
    return lseek(m_Fd, static_cast<off_t>(offset), whence);
}

int CByteIOFile::Close()
{
    int r = 0;
    if (m_Fd >= 0) {
        r = close(m_Fd);
    }
    m_Fd = -1;
    m_Pos = 0;
    ResetBuffer();
    return r == 0 ? 0 : -1;
}

BOOL CByteIOFile::FlushBuffer()
{
    size_t filled = static_cast<size_t>(m_lpDataFilled - m_lpDataBuffer);
    int64_t logical = Logical();
    if (filled > 0) {
        int64_t start = m_Pos;
        ssize_t w = Write(m_lpDataBuffer, filled);
        if (w != static_cast<ssize_t>(filled)) {
            // Keep the bytes and the position so that a retry rewrites them all.
            if (w > 0) {
                m_Pos = start;
                Seek(start, SEEK_SET);
            }
            m_bIOError = TRUE;
            return 0;
        }
        // The write pointer may stand before the end of the flushed bytes.
        if (logical != m_Pos) {
            if (Seek(logical, SEEK_SET) != logical) {
                m_bIOError = TRUE;
                return 0;
            }
            m_Pos = logical;
        }
    }
    ResetBuffer();
    return 1;
}

BOOL CByteIOFile::PutByte(uint8_t b)
{
    if (m_lpData >= m_lpDataBufferEnd && !FlushBuffer()) {
        m_bIOError = TRUE;
        return 0;
    }
    *m_lpData++ = b;
    if (m_lpData > m_lpDataFilled) {
        m_lpDataFilled = m_lpData;
    }
    return 1;
}

BOOL CByteIOFile::PutBuffer(const void* buf, size_t size)
{
    const uint8_t* p = static_cast<const uint8_t*>(buf);
    while (size > 0) {
        if (m_lpData >= m_lpDataBufferEnd && !FlushBuffer()) {
            m_bIOError = TRUE;
            return 0;
        }
        size_t room = static_cast<size_t>(m_lpDataBufferEnd - m_lpData);
        size_t n = size < room ? size : room;
        memcpy(m_lpData, p, n);
        m_lpData += n;
        if (m_lpData > m_lpDataFilled) {
            m_lpDataFilled = m_lpData;
        }
        p += n;
        size -= n;
    }
    return 1;
}

BOOL CByteIOFile::PutBE16(uint16_t v)
{
    uint8_t b[2] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    return PutBuffer(b, sizeof(b));
}

BOOL CByteIOFile::PutBE24(uint32_t v)
{
    uint8_t b[3] = {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    return PutBuffer(b, sizeof(b));
}

BOOL CByteIOFile::PutBE32(uint32_t v)
{
    uint8_t b[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                    static_cast<uint8_t>(v)};
    return PutBuffer(b, sizeof(b));
}

BOOL CByteIOFile::PutBE64(uint64_t v)
{
    return PutBE32(static_cast<uint32_t>(v >> 32)) && PutBE32(static_cast<uint32_t>(v));
}

BOOL CByteIOFile::PutTag(const char* fourcc)
{
    return PutBuffer(fourcc, 4);
}

BOOL CByteIOFile::PutZeros(size_t count)
{
    static const uint8_t kZeros[64] = {0};
    while (count > 0) {
        size_t n = count < sizeof(kZeros) ? count : sizeof(kZeros);
        if (!PutBuffer(kZeros, n)) {
            return 0;
        }
        count -= n;
    }
    return 1;
}

BOOL CByteIOFile::PutData(const void* buf, size_t size, BOOL bCache)
{
    if (bCache) {
        return PutBuffer(buf, size);
    }
    // A direct write goes to the logical position: nothing may stay buffered.
    if (m_lpDataFilled != m_lpDataBuffer && !FlushBuffer()) {
        return 0;
    }
    if (size == 0) {
        return 1;
    }
    ssize_t w = Write(buf, size);
    if (w != static_cast<ssize_t>(size)) {
        m_bIOError = TRUE;
        return 0;
    }
    return 1;
}

int64_t CByteIOFile::URLFSeek(int64_t offset, int whence)
{
    int64_t target;
    if (whence == 0) {
        target = offset;
    } else if (whence == 1) {
        target = Logical() + offset;
    } else {
        return -1;
    }
    if (target < 0) {
        return -1;
    }
    int64_t filledEnd = m_Pos + (m_lpDataFilled - m_lpDataBuffer);
    if (target >= m_Pos && target <= filledEnd) {
        m_lpData = m_lpDataBuffer + (target - m_Pos);
        return target;
    }
    // Everything buffered goes out first, then the buffer restarts at the target.
    uint8_t* saved = m_lpData;
    m_lpData = m_lpDataFilled;
    if (!FlushBuffer()) {
        m_lpData = saved;
        return -1;
    }
    if (Seek(target, SEEK_SET) != target) {
        m_bIOError = TRUE;
        return -1;
    }
    m_Pos = target;
    ResetBuffer();
    return target;
}

int64_t CByteIOFile::URLFSize()
{
    if (m_Fd < 0) {
        return -1;
    }
    struct stat st;
    if (fstat(m_Fd, &st) == 0) {
        return st.st_size;
    }
    int64_t end = Seek(-1, SEEK_END);
    if (end < 0) {
        return end;
    }
    Seek(m_Pos, SEEK_SET);
    return end + 1;
}

int64_t CByteIOFile::BeginBox(const char* fourcc)
{
    const int64_t pos = URLFTell();
    PutBE32(0);
    PutTag(fourcc);
    return pos;
}

void CByteIOFile::PatchBE32(int64_t pos, uint32_t v)
{
    const int64_t end = URLFTell();
    URLFSeek(pos, 0);
    PutBE32(v);
    URLFSeek(end, 0);
}

int64_t CByteIOFile::UpdateSize(int64_t pos)
{
    int64_t cur = URLFTell();
    if (cur < 0 || pos < 0 || pos > cur) {
        m_bIOError = TRUE;
        return -1;
    }
    int64_t size = cur - pos;
    if (URLFSeek(pos, 0) != pos || !PutBE32(static_cast<uint32_t>(size)) || URLFSeek(cur, 0) != cur) {
        m_bIOError = TRUE;
        return -1;
    }
    return size;
}

int CByteIOFile::PutDescr(int tag, uint32_t size)
{
    PutByte(static_cast<uint8_t>(tag));
    PutByte(static_cast<uint8_t>(0x80 | ((size >> 21) & 0x7F)));
    PutByte(static_cast<uint8_t>(0x80 | ((size >> 14) & 0x7F)));
    PutByte(static_cast<uint8_t>(0x80 | ((size >> 7) & 0x7F)));
    PutByte(static_cast<uint8_t>(size & 0x7F));
    return 5;
}

BOOL CByteIOFile::TruncateHere()
{
    if (!FlushBuffer()) {
        return 0;
    }
    if (ftruncate(m_Fd, static_cast<off_t>(m_Pos)) != 0) {
        m_bIOError = TRUE;
        return 0;
    }
    return 1;
}

BOOL CByteIOFile::SyncFile()
{
    if (m_Fd < 0 || fsync(m_Fd) != 0) {
        m_bIOError = TRUE;
        return 0;
    }
    return 1;
}
