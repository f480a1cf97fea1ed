#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "Record/MP4/ByteIOFile.h"
#include "Record/MP4/MP4TestFile.h"

namespace {

using mp4test::CScratchDir;
using mp4test::XBE32;
using mp4test::XReadAll;

// Write fails on demand: either entirely, or after the given number of bytes.
class CFailingIO : public CByteIOFile {
public:
    ssize_t Write(const void* buf, size_t size) override
    {
        if (m_nFailWrites > 0) {
            m_nFailWrites--;
            if (m_nShortBytes > 0 && m_nShortBytes < size) {
                return CByteIOFile::Write(buf, m_nShortBytes);
            }
            errno = ENOSPC;
            return -1;
        }
        return CByteIOFile::Write(buf, size);
    }
    int m_nFailWrites = 0;
    size_t m_nShortBytes = 0;
};

uint8_t Pattern(size_t i)
{
    return static_cast<uint8_t>((i * 7 + 3) & 0xFF);
}

struct tagPatchCase {
    int64_t patchPos;   // where the size placeholder starts
    size_t totalLen;    // logical length when the size is patched
};

void PrintTo(const tagPatchCase& c, std::ostream* os)
{
    *os << c.patchPos << "+" << c.totalLen;
}

class ByteIOPatch : public ::testing::TestWithParam<tagPatchCase> {};

// A placeholder written early and patched late lands in the file whether it
// is still in the buffer, already flushed, or straddles a buffer boundary.
TEST_P(ByteIOPatch, SizeLandsAndNothingElseChanges)
{
    const tagPatchCase c = GetParam();
    CScratchDir dir;
    CByteIOFile io;
    ASSERT_EQ(0, io.Open((dir / "patch.bin").c_str(), FALSE));

    std::vector<uint8_t> expect(c.totalLen);
    for (size_t i = 0; i < c.totalLen; ++i) {
        expect[i] = Pattern(i);
    }
    for (int64_t i = 0; i < c.patchPos; ++i) {
        ASSERT_TRUE(io.PutByte(expect[static_cast<size_t>(i)]));
    }
    ASSERT_TRUE(io.PutBE32(0));
    ASSERT_TRUE(io.PutBuffer(expect.data() + c.patchPos + 4, c.totalLen - static_cast<size_t>(c.patchPos) - 4));
    ASSERT_EQ(static_cast<int64_t>(c.totalLen), io.URLFTell());

    uint32_t size = static_cast<uint32_t>(c.totalLen - static_cast<size_t>(c.patchPos));
    EXPECT_EQ(static_cast<int64_t>(size), io.UpdateSize(c.patchPos));
    EXPECT_EQ(static_cast<int64_t>(c.totalLen), io.URLFTell());
    for (int k = 0; k < 4; ++k) {
        expect[static_cast<size_t>(c.patchPos) + k] = static_cast<uint8_t>(size >> (24 - 8 * k));
    }
    ASSERT_TRUE(io.FlushBuffer());
    EXPECT_FALSE(io.HasIOError());
    EXPECT_EQ(static_cast<int64_t>(c.totalLen), io.URLFSize());
    ASSERT_EQ(0, io.Close());
    EXPECT_EQ(expect, XReadAll(dir / "patch.bin"));
}

INSTANTIATE_TEST_SUITE_P(AcrossTheBuffer, ByteIOPatch,
                         ::testing::Values(tagPatchCase{0, 100},           // all in the buffer
                                           tagPatchCase{0, 65536},         // buffer exactly full
                                           tagPatchCase{0, 65537},         // flushed once
                                           tagPatchCase{65534, 140000},    // placeholder straddles the boundary
                                           tagPatchCase{65536, 65540},     // placeholder opens the second buffer
                                           tagPatchCase{131070, 200000})); // straddles the second boundary

// Inside the bytes buffered since the last flush a seek only moves the write
// pointer: nothing reaches the file, and the furthest byte is kept.
TEST(ByteIOSeek, InsideTheBufferTouchesNoFile)
{
    CScratchDir dir;
    CByteIOFile io;
    ASSERT_EQ(0, io.Open((dir / "seek.bin").c_str(), FALSE));
    ASSERT_TRUE(io.PutBuffer("abcdefgh", 8));
    EXPECT_EQ(2, io.URLFSeek(2, 0));
    ASSERT_TRUE(io.PutByte('X'));
    EXPECT_EQ(3, io.URLFTell());
    EXPECT_EQ(0, io.URLFSize());  // still all buffered
    EXPECT_EQ(8, io.URLFSeek(5, 1));
    ASSERT_TRUE(io.FlushBuffer());
    EXPECT_EQ(8, io.URLFSize());
    io.Close();
    std::vector<uint8_t> got = XReadAll(dir / "seek.bin");
    EXPECT_EQ(std::string("abXdefgh"), std::string(got.begin(), got.end()));
}

// A flush with the write pointer before the furthest byte writes every
// buffered byte and continues at the logical position.
TEST(ByteIOSeek, FlushAfterSeekBackContinuesAtLogicalPosition)
{
    CScratchDir dir;
    CByteIOFile io;
    ASSERT_EQ(0, io.Open((dir / "seek.bin").c_str(), FALSE));
    ASSERT_TRUE(io.PutBuffer("0123456789", 10));
    EXPECT_EQ(4, io.URLFSeek(4, 0));
    ASSERT_TRUE(io.FlushBuffer());
    EXPECT_EQ(4, io.URLFTell());
    ASSERT_TRUE(io.PutBuffer("ab", 2));
    ASSERT_TRUE(io.FlushBuffer());
    io.Close();
    std::vector<uint8_t> got = XReadAll(dir / "seek.bin");
    EXPECT_EQ(std::string("0123ab6789"), std::string(got.begin(), got.end()));
}

TEST(ByteIOSeek, RefusesOtherWhenceAndNegativeTargets)
{
    CScratchDir dir;
    CByteIOFile io;
    ASSERT_EQ(0, io.Open((dir / "seek.bin").c_str(), FALSE));
    ASSERT_TRUE(io.PutBuffer("abcd", 4));
    EXPECT_EQ(-1, io.URLFSeek(0, 2));
    EXPECT_EQ(-1, io.URLFSeek(-1, 0));
    EXPECT_EQ(-1, io.URLFSeek(-5, 1));
    EXPECT_EQ(4, io.URLFTell());
}

struct tagDescrCase {
    uint32_t size;
    std::vector<uint8_t> bytes;
};

void PrintTo(const tagDescrCase& c, std::ostream* os)
{
    *os << c.size;
}

class ByteIODescr : public ::testing::TestWithParam<tagDescrCase> {};

TEST_P(ByteIODescr, FourSevenBitGroupsHighFirst)
{
    CScratchDir dir;
    CByteIOFile io;
    ASSERT_EQ(0, io.Open((dir / "d.bin").c_str(), FALSE));
    EXPECT_EQ(5, io.PutDescr(0x04, GetParam().size));
    ASSERT_TRUE(io.FlushBuffer());
    io.Close();
    std::vector<uint8_t> expect = {0x04};
    expect.insert(expect.end(), GetParam().bytes.begin(), GetParam().bytes.end());
    EXPECT_EQ(expect, XReadAll(dir / "d.bin"));
}

INSTANTIATE_TEST_SUITE_P(Sizes, ByteIODescr,
                         ::testing::Values(tagDescrCase{0, {0x80, 0x80, 0x80, 0x00}},
                                           tagDescrCase{34, {0x80, 0x80, 0x80, 0x22}},
                                           tagDescrCase{127, {0x80, 0x80, 0x80, 0x7F}},
                                           tagDescrCase{128, {0x80, 0x80, 0x81, 0x00}},
                                           tagDescrCase{(1u << 21) + 5, {0x81, 0x80, 0x80, 0x05}},
                                           tagDescrCase{(1u << 28) - 1, {0xFF, 0xFF, 0xFF, 0x7F}}));

// A failed flush keeps the bytes and the position; the retry writes every
// byte once, also after a short write that left some of them in the file.
class ByteIOFlushFailure : public ::testing::TestWithParam<size_t> {};

TEST_P(ByteIOFlushFailure, RetryWritesEverythingOnce)
{
    CScratchDir dir;
    CFailingIO io;
    ASSERT_EQ(0, io.Open((dir / "f.bin").c_str(), FALSE));
    ASSERT_TRUE(io.PutBuffer("header--", 8));
    ASSERT_TRUE(io.FlushBuffer());
    ASSERT_TRUE(io.PutBuffer("0123456789", 10));

    io.m_nFailWrites = 1;
    io.m_nShortBytes = GetParam();
    EXPECT_FALSE(io.FlushBuffer());
    EXPECT_TRUE(io.HasIOError());
    EXPECT_EQ(18, io.URLFTell());

    io.ClearIOError();
    ASSERT_TRUE(io.FlushBuffer());
    EXPECT_EQ(18, io.URLFTell());
    ASSERT_TRUE(io.PutBuffer("!", 1));
    ASSERT_TRUE(io.FlushBuffer());
    io.Close();
    std::vector<uint8_t> got = XReadAll(dir / "f.bin");
    EXPECT_EQ(std::string("header--0123456789!"), std::string(got.begin(), got.end()));
}

INSTANTIATE_TEST_SUITE_P(FailedAndShort, ByteIOFlushFailure, ::testing::Values(0u, 3u));

// A full buffer that cannot be flushed refuses more bytes instead of
// overwriting the ones it holds.
TEST(ByteIOFlushFailureFull, FullBufferRefusesPut)
{
    CScratchDir dir;
    CFailingIO io;
    ASSERT_EQ(0, io.Open((dir / "f.bin").c_str(), FALSE));
    std::vector<uint8_t> block(CByteIOFile::kDataBufferSize, 0x5A);
    ASSERT_TRUE(io.PutBuffer(block.data(), block.size()));
    io.m_nFailWrites = 1;
    EXPECT_FALSE(io.PutByte(0x11));
    EXPECT_TRUE(io.HasIOError());
    ASSERT_TRUE(io.PutByte(0x22));
    ASSERT_TRUE(io.FlushBuffer());
    io.Close();
    std::vector<uint8_t> got = XReadAll(dir / "f.bin");
    ASSERT_EQ(block.size() + 1, got.size());
    EXPECT_EQ(0x5A, got[block.size() - 1]);
    EXPECT_EQ(0x22, got.back());
}

TEST(ByteIOOpen, ReopenClosesThePreviousFileAndStartsAtZero)
{
    CScratchDir dir;
    CByteIOFile io;
    ASSERT_EQ(0, io.Open((dir / "a.bin").c_str(), FALSE));
    ASSERT_TRUE(io.PutBuffer("aaaa", 4));
    ASSERT_TRUE(io.FlushBuffer());
    int first = io.GetFD();
    ASSERT_EQ(0, io.Open((dir / "b.bin").c_str(), FALSE));
    EXPECT_EQ(0, io.URLFTell());
    // The first descriptor number is free again.
    EXPECT_EQ(first, io.GetFD());
    EXPECT_EQ(-1, CByteIOFile().Open((dir / "missing/x.bin").c_str(), FALSE));
}

}  // namespace
