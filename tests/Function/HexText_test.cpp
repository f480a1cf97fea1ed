#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "Function/common.h"

namespace {

struct HexCase {
    const char* text;
    int len;
    std::vector<unsigned char> expected;
};

TEST(CharToHex, DecodesPairsHighDigitFirst)
{
    const HexCase cases[] = {
        {"0aFf", 4, {0x0A, 0xFF}},
        {"zz", 2, {0x00}},
        {"1234abcd", 8, {0x12, 0x34, 0xAB, 0xCD}},
        {"ABCDEF", 6, {0xAB, 0xCD, 0xEF}},
        {"g1", 2, {0x01}},     // invalid high digit counts as 0
        {"1g", 2, {0x10}},     // invalid low digit counts as 0
        {"9:@G`g", 6, {0x90, 0x00, 0x00}},  // neighbours of the digit ranges
        {"20170731", 8, {0x20, 0x17, 0x07, 0x31}},
        {"0102", 4, {0x01, 0x02}},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> dest(c.expected.size() + 2, 0xEE);
        CharToHex(dest.data(), c.text, c.len);
        std::vector<unsigned char> got(dest.begin(), dest.begin() + c.expected.size());
        EXPECT_EQ(c.expected, got) << c.text;
        // Nothing written past len / 2 bytes.
        EXPECT_EQ(0xEE, dest[c.expected.size()]) << c.text;
    }
}

TEST(CharToHex, LengthLimitsTheInput)
{
    unsigned char dest[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    CharToHex(dest, "abcdef", 0);
    EXPECT_EQ(0xEE, dest[0]);
    // Only the first len characters count; an odd last digit is left out.
    CharToHex(dest, "abcdef", 3);
    EXPECT_EQ(0xAB, dest[0]);
    EXPECT_EQ(0xEE, dest[1]);
    CharToHex(dest, "abcdef", 4);
    EXPECT_EQ(0xCD, dest[1]);
    EXPECT_EQ(0xEE, dest[2]);
}

bool LooksLikeUuid(const char* s)
{
    if (strlen(s) != 36) {
        return false;
    }
    for (int i = 0; i < 36; ++i) {
        bool dash = (i == 8 || i == 13 || i == 18 || i == 23);
        if (dash ? s[i] != '-' : !isxdigit(static_cast<unsigned char>(s[i]))) {
            return false;
        }
    }
    return true;
}

TEST(GetUUID, ReadsKernelUuidWithoutWhiteSpace)
{
    char a[64];
    char b[64];
    memset(a, 'X', sizeof(a));
    ASSERT_EQ(1, GetUUID(a, sizeof(a)));
    EXPECT_TRUE(LooksLikeUuid(a)) << a;
    ASSERT_EQ(1, GetUUID(b, sizeof(b)));
    EXPECT_TRUE(LooksLikeUuid(b)) << b;
    EXPECT_STRNE(a, b);  // a fresh random UUID on every read
}

TEST(GetUUID, BufferMustExceedTheRawText)
{
    // The kernel text is 36 characters and a newline: 37 bytes.
    struct {
        int size;
        int expected;
    } cases[] = {{0, 0}, {1, 0}, {36, 0}, {37, 0}, {38, 1}, {128, 1}};
    for (const auto& c : cases) {
        std::vector<char> buf(static_cast<size_t>(c.size) + 8, 'X');
        EXPECT_EQ(c.expected, GetUUID(buf.data(), c.size)) << "size " << c.size;
        if (c.expected == 1) {
            EXPECT_TRUE(LooksLikeUuid(buf.data()));
        } else {
            // Refused reads leave the buffer alone.
            EXPECT_EQ(std::string(buf.size(), 'X'), std::string(buf.begin(), buf.end())) << "size " << c.size;
        }
    }
    EXPECT_EQ(0, GetUUID(nullptr, 64));
}

}  // namespace
