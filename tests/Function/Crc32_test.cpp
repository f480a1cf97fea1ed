#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Function/common.h"

namespace {

// Bit-at-a-time CRC-32 (reflected 0xEDB88320): a reference that shares no
// table or word loop with the code under test.
uint32_t ReferenceCrc32(uint32_t crc, const unsigned char* p, size_t len)
{
    crc = ~crc;
    for (size_t i = 0; i < len; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc & 1u) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
        }
    }
    return ~crc;
}

// The same pseudo-random bytes as the reference values below were computed
// from (python3: zlib.crc32 over this sequence).
std::vector<unsigned char> LcgBytes(size_t n)
{
    std::vector<unsigned char> out(n);
    uint32_t x = 1;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = static_cast<unsigned char>((x >> 16) & 0xFFu);
    }
    return out;
}

struct CrcVector {
    const char* name;
    std::string data;
    uint32_t expected;
};

TEST(Crc32, KnownVectors)
{
    const std::vector<unsigned char> lcg = LcgBytes(10000);
    const CrcVector cases[] = {
        {"empty", "", 0x00000000u},
        {"digits", "123456789", 0xCBF43926u},
        {"fox", "The quick brown fox jumps over the lazy dog", 0x414FA339u},
        {"lcg-10000", std::string(lcg.begin(), lcg.end()), 0xD4111615u},
        {"lcg-4097", std::string(lcg.begin(), lcg.begin() + 4097), 0x414D51B5u},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, crc32(0, c.data.data(), c.data.size())) << c.name;
        // Same register without the two inversions.
        EXPECT_EQ(c.expected, ~crc32_no_comp(0xFFFFFFFFu, c.data.data(), c.data.size())) << c.name;
    }
}

TEST(Crc32, NoCompKeepsRegisterUninverted)
{
    // CRC-32/JAMCRC of the digits: initial all ones, no final inversion.
    EXPECT_EQ(0x340BC6D9u, crc32_no_comp(0xFFFFFFFFu, "123456789", 9));
    EXPECT_EQ(0u, crc32_no_comp(0u, "", 0));
    EXPECT_EQ(0x12345678u, crc32_no_comp(0x12345678u, "x", 0));
}

TEST(Crc32, EmptyInputKeepsPreviousResult)
{
    EXPECT_EQ(0u, crc32(0, nullptr, 0));
    EXPECT_EQ(0xCBF43926u, crc32(0xCBF43926u, "abc", 0));
}

TEST(Crc32, ContinuationEqualsWhole)
{
    const std::vector<unsigned char> data = LcgBytes(10000);
    const uint32_t whole = crc32(0, data.data(), data.size());
    for (size_t split : {size_t(0), size_t(1), size_t(3), size_t(4), size_t(5), size_t(4096), size_t(5000),
                         size_t(9999), size_t(10000)}) {
        uint32_t first = crc32(0, data.data(), split);
        EXPECT_EQ(whole, crc32(first, data.data() + split, data.size() - split)) << "split at " << split;
    }
    uint32_t halves = crc32(crc32(0, "1234", 4), "56789", 5);
    EXPECT_EQ(0xCBF43926u, halves);
}

TEST(Crc32, EveryAlignmentAndLengthMatchesReference)
{
    const std::vector<unsigned char> src = LcgBytes(64);
    alignas(8) unsigned char buf[64 + 8];
    for (size_t offset = 0; offset < 8; ++offset) {
        memcpy(buf + offset, src.data(), src.size());
        for (size_t len = 0; len <= src.size(); ++len) {
            ASSERT_EQ(ReferenceCrc32(0, src.data(), len), crc32(0, buf + offset, len))
                << "offset " << offset << " length " << len;
        }
        // A continued register also goes through the word loop unchanged.
        ASSERT_EQ(ReferenceCrc32(0xDEADBEEFu, src.data(), 37), crc32(0xDEADBEEFu, buf + offset, 37))
            << "offset " << offset;
    }
}

}  // namespace
