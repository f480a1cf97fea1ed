#ifndef RECORD_MP4_BYTEIOFILE_H
#define RECORD_MP4_BYTEIOFILE_H

// Buffered big-endian file writer with a logical write position.
//
// Box headers and the movie index go through a 64 KiB aligned buffer; media
// samples are written straight to the file with Write. A logical seek that
// stays inside the bytes buffered since the last flush only moves the write
// pointer, so back-patching a box size there never touches the file.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "Function/types.h"

class CByteIOFile {
public:
    CByteIOFile();
    virtual ~CByteIOFile();
    CByteIOFile(const CByteIOFile&) = delete;
    CByteIOFile& operator=(const CByteIOFile&) = delete;

    // Opens read-write, created and truncated, mode 0666 (read-only when
    // asked). A file still open is closed first. 0 or -1.
    virtual int Open(const char* filename, BOOL readonly);
    // Opens an existing file read-write, keeping its bytes. 0 or -1.
    int OpenExisting(const char* filename);
    virtual ssize_t Read(void* buf, size_t size);
    // All bytes straight to the file at its own position; a positive result
    // advances m_Pos. The byte count (short on a failure after progress) or a
    // negative error.
    virtual ssize_t Write(const void* buf, size_t size);
    virtual int64_t Seek(int64_t offset, int whence);
    // Closes the file (buffered bytes are dropped: flush first). 0 or -1.
    virtual int Close();
    virtual int GetFD() const { return m_Fd; }

    // Writes the bytes buffered since the last flush and restarts the buffer
    // at the logical position. 1, or 0 when the write fails (the bytes stay
    // buffered and the file position is unchanged).
    BOOL FlushBuffer();

    BOOL PutByte(uint8_t b);
    BOOL PutBuffer(const void* buf, size_t size);
    BOOL PutBE16(uint16_t v);
    BOOL PutBE24(uint32_t v);
    BOOL PutBE32(uint32_t v);
    BOOL PutBE64(uint64_t v);
    // Four characters of a box type or brand.
    BOOL PutTag(const char* fourcc);
    BOOL PutZeros(size_t count);
    // Buffered when bCache, else one direct write at the logical position.
    BOOL PutData(const void* buf, size_t size, BOOL bCache);

    // Logical seek, whence 0 (start) or 1 (logical position). The new
    // position, or a negative value on error (also for any other whence).
    int64_t URLFSeek(int64_t offset, int whence);
    int64_t URLFSkip(int64_t offset) { return URLFSeek(offset, 1); }
    int64_t URLFTell() { return URLFSeek(0, 1); }
    // Size of the file on disk (buffered bytes not included); negative on error.
    int64_t URLFSize();

    // Starts a box: a size of 0 and the type, to be patched by UpdateSize
    // with the position returned (the box's start).
    int64_t BeginBox(const char* fourcc);
    // Writes (logical position - pos) as 32 bits at pos and returns to the
    // logical position. The size, or a negative value on error.
    int64_t UpdateSize(int64_t pos);
    // Writes `v` as 32 bits at pos (before the logical position) and returns
    // to the logical position.
    void PatchBE32(int64_t pos, uint32_t v);
    // MPEG-4 descriptor header: the tag, then the size in four 7-bit groups,
    // high group first, the first three with bit 7 set. Returns 5.
    int PutDescr(int tag, uint32_t size);

    // Cuts the file at the logical position (after a flush); 1 or 0.
    BOOL TruncateHere();
    // Flushes the file to the medium; 1 or 0.
    BOOL SyncFile();

    // Sticky error: set by every failed flush, write, seek or put since the
    // last ClearIOError (or Open).
    BOOL HasIOError() const { return m_bIOError; }
    void ClearIOError() { m_bIOError = FALSE; }

    // Size of the write buffer.
    static constexpr unsigned kDataBufferSize = 65536;
    static constexpr unsigned kDataBufferAlign = 64;

protected:
    int m_Fd;
    const unsigned m_DataBufferSize;
    std::unique_ptr<uint8_t[]> m_lpOriginDataBuffer;
    uint8_t* m_lpDataBuffer;
    uint8_t* m_lpData;
    uint8_t* m_lpDataBufferEnd;
    // File offset of m_lpDataBuffer (the flushed position).
    int64_t m_Pos;
    // Furthest byte written to the buffer since the last flush.
    uint8_t* m_lpDataFilled;
    BOOL m_bIOError;

private:
    int OpenWith(const char* filename, int flags);
    void ResetBuffer();
    int64_t Logical() const { return m_Pos + (m_lpData - m_lpDataBuffer); }
};

// One box from construction to the end of the scope: the header goes in at
// once (BeginBox), the size when the scope ends (UpdateSize). Boxes nested in
// one scope end innermost first.
class CByteIOBox {
public:
    CByteIOBox(CByteIOFile* io, const char* fourcc) : m_lpIO(io), m_Pos(io->BeginBox(fourcc)) {}
    ~CByteIOBox() { m_lpIO->UpdateSize(m_Pos); }
    CByteIOBox(const CByteIOBox&) = delete;
    CByteIOBox& operator=(const CByteIOBox&) = delete;

private:
    CByteIOFile* m_lpIO;
    int64_t m_Pos;
};

#endif
