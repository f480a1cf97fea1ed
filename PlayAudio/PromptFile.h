#ifndef PLAYAUDIO_PROMPTFILE_H
#define PLAYAUDIO_PROMPTFILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The canonical RIFF/WAVE header of a prompt file (little-endian on disk).
struct _WAVE_FILE_HEADER {
    char chRIFF[4];
    uint32_t dwRIFFLen;
    char chWAVE[4];
    char chFMT[4];
    uint32_t dwFMTLen;
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    char chDATA[4];
    uint32_t dwDATALen;
};

// One prompt file open for playing: a regular file with a whole 44-byte
// header whose data part is min(dwDATALen, file size - 44) bytes, read in
// pieces from the file.
class CPromptFile {
public:
    static const size_t kHeaderBytes = 44;

    CPromptFile() = default;
    ~CPromptFile();
    CPromptFile(const CPromptFile&) = delete;
    CPromptFile& operator=(const CPromptFile&) = delete;

    // Opens the device path `path` (resolved under the board root); FALSE
    // (nothing left open) for a file that is missing, not regular, shorter
    // than the header or with no data.
    bool Open(const char* path);
    void Close();
    // Bytes of the data part.
    uint32_t Length() const { return m_Length; }
    // The next up to `size` bytes of the data part; 0 at its end or when the
    // file cannot be read any more.
    size_t Read(uint8_t* buf, size_t size);

    // The data length a header gives for a file of `fileSize` bytes.
    static uint32_t DataLength(const uint8_t header[kHeaderBytes], uint64_t fileSize);

private:
    FILE* m_File = nullptr;
    uint32_t m_Length = 0;
    uint32_t m_Left = 0;  // data bytes not read yet
};

#endif
