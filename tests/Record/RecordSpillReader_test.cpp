// The spilled-cache reader against files written by another writer (the fuzz
// seeds, made with Python's struct and zlib.crc32), cut at every byte and
// garbled.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Function/ByteOrder.h"
#include "Record/RecordSpillReader.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// The two files of a seed: a 32-bit length, the first file, the second.
void ReadSeed(const char* name, Bytes& a, Bytes& b)
{
    std::ifstream in(std::string(DASHCAM_SOURCE_DIR) + "/tests/fuzz/spill-seeds/" + name, std::ios::binary);
    const Bytes all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(all.size(), 4u) << name;
    const size_t first = XGetBE32(all.data());
    a.assign(all.begin() + 4, all.begin() + 4 + static_cast<long>(first));
    b.assign(all.begin() + 4 + static_cast<long>(first), all.end());
}

BOOL Parse(const Bytes& a, const Bytes& b, tagRecordSpillContent& c)
{
    const Bytes* const files[2] = {&a, &b};
    return CRecordSpillReader::Parse(files, c);
}

TEST(RecordSpillReader, FlushesOfOneOrTwoFiles)
{
    struct {
        const char* seed;
        uint64_t keep, next, head;
        uint8_t flags;
        size_t triggers;
    } cases[] = {
        {"one-file", 12, 28, 20, 0x07, 1},
        {"two-files", 12, 28, 20, 0x07, 1},
        // The second flush lost its state: its packets go with it.
        {"torn", 10, 19, 12, 0x01, 0},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.seed);
        Bytes a, b;
        ReadSeed(k.seed, a, b);
        tagRecordSpillContent c;
        ASSERT_TRUE(Parse(a, b, c)) << c.problem;
        EXPECT_EQ(c.state.keep, k.keep);
        EXPECT_EQ(c.state.next, k.next);
        EXPECT_EQ(c.state.head, k.head);
        EXPECT_EQ(c.state.flags, k.flags);
        EXPECT_EQ(c.state.openName, "20240105083002_0.MP4");
        EXPECT_EQ(c.state.triggers.size(), k.triggers);
        ASSERT_EQ(c.packets.size(), k.next - k.keep);
        for (size_t i = 0; i < c.packets.size(); ++i) {
            const tagRecordSpillPacket& p = c.packets[i];
            EXPECT_EQ(p.seq, k.keep + i);
            ASSERT_EQ(p.size, 20u);
            EXPECT_EQ(p.data[0], static_cast<uint8_t>(p.seq));
            EXPECT_EQ(p.pts, p.seq * 33333);
        }
        // Either file alone, or both swapped: the same flushes.
        tagRecordSpillContent swapped;
        ASSERT_TRUE(Parse(b, a, swapped));
        EXPECT_EQ(swapped.packets.size(), c.packets.size());
    }
}

TEST(RecordSpillReader, CutOrGarbledKeepsOnlyWholeFlushes)
{
    Bytes a, b;
    ReadSeed("one-file", a, b);
    for (size_t len = 0; len <= a.size(); ++len) {
        const Bytes cut(a.begin(), a.begin() + static_cast<long>(len));
        tagRecordSpillContent c;
        if (!Parse(cut, Bytes(), c)) {
            EXPECT_TRUE(c.packets.empty());
            EXPECT_FALSE(c.problem.empty());
            continue;
        }
        // A flush is kept whole or not at all.
        EXPECT_TRUE(c.state.next == 19 || c.state.next == 28) << len;
        EXPECT_EQ(c.packets.size(), c.state.next - c.state.keep) << len;
    }
    for (size_t at = 8; at < a.size(); ++at) {
        Bytes bad = a;
        bad[at] ^= 0x10;
        tagRecordSpillContent c;
        if (Parse(bad, Bytes(), c)) {
            EXPECT_TRUE(c.state.next == 19 || c.state.next == 28) << at;
            EXPECT_LE(c.packets.size(), c.state.next - c.state.keep) << at;
        }
    }
}

}  // namespace
