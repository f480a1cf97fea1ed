#ifndef TESTS_PLAYAUDIO_PROMPTWAV_H
#define TESTS_PLAYAUDIO_PROMPTWAV_H

// Prompt files for the tests: a canonical 44-byte header and data bytes.

#include <cstdint>
#include <fstream>
#include <string>

// `n` data bytes of a pattern of its own for each seed.
inline std::string XPromptData(size_t n, unsigned seed)
{
    std::string d(n, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        d[i] = static_cast<char>((x >> 16) | 1);  // never 0: silence padding stays apart
    }
    return d;
}

inline std::string XWavHeader(uint32_t dataLen)
{
    auto le32 = [](uint32_t v) {
        std::string s(4, '\0');
        for (int i = 0; i < 4; ++i) {
            s[i] = static_cast<char>(v >> (8 * i));
        }
        return s;
    };
    auto le16 = [](uint16_t v) { return std::string{static_cast<char>(v), static_cast<char>(v >> 8)}; };
    return "RIFF" + le32(36 + dataLen) + "WAVEfmt " + le32(16) + le16(1) + le16(1) + le32(8000) + le32(16000) +
           le16(2) + le16(16) + "data" + le32(dataLen);
}

// A WAV file at `file` whose header declares `declared` data bytes.
inline void XWriteWav(const std::string& file, const std::string& data, uint32_t declared)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    const std::string h = XWavHeader(declared);
    out.write(h.data(), static_cast<std::streamsize>(h.size()));
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

inline void XWriteWav(const std::string& file, const std::string& data)
{
    XWriteWav(file, data, static_cast<uint32_t>(data.size()));
}

#endif
