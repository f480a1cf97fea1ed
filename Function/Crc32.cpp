#include "Function/Crc32.h"

#include <array>
#include <cstring>

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;

constexpr std::array<uint32_t, 256> MakeTable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1u) ? (kPolynomial ^ (c >> 1)) : (c >> 1);
        }
        table[n] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();
static_assert(kTable[1] == 0x77073096u && kTable[255] == 0x2D02EF8Du, "standard CRC-32 table");

inline uint32_t Step(uint32_t crc)
{
    return kTable[crc & 0xFFu] ^ (crc >> 8);
}

// The next four bytes as a little-endian word: the first byte in the low bits,
// which is the order the reflected register consumes them in.
inline uint32_t LoadLE32(const unsigned char* p)
{
    uint32_t w;
    memcpy(&w, p, sizeof(w));
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    w = __builtin_bswap32(w);
#endif
    return w;
}

}  // namespace

uint32_t crc32_no_comp(uint32_t crc, const void* buf, size_t len)
{
    const unsigned char* p = static_cast<const unsigned char*>(buf);
    if (p == nullptr) {
        return crc;
    }
    // Bytes up to a 4-byte boundary, then a word per step, then the tail.
    while (len > 0 && (reinterpret_cast<uintptr_t>(p) & 3u) != 0) {
        crc = Step(crc ^ *p++);
        --len;
    }
    while (len >= 4) {
        crc ^= LoadLE32(p);
        crc = Step(crc);
        crc = Step(crc);
        crc = Step(crc);
        crc = Step(crc);
        p += 4;
        len -= 4;
    }
    while (len > 0) {
        crc = Step(crc ^ *p++);
        --len;
    }
    return crc;
}

uint32_t crc32(uint32_t crc, const void* p, size_t len)
{
    return ~crc32_no_comp(~crc, p, len);
}
