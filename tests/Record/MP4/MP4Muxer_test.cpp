#include <gtest/gtest.h>

#include <cerrno>
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "Record/Index/AssociatedData.h"
#include "Record/MP4/MP4Muxer.h"
#include "Record/MP4/MP4TestFile.h"

namespace {

using namespace mp4test;

// Feeds a script of packets: K key video, P other video, a audio (of
// `audioSize` bytes), numbered per track in order.
struct tagFeed {
    uint32_t video = 0;
    uint32_t audio = 0;
};

bool Feed(CMP4Muxer& mux, const std::string& script, tagFeed& n, uint32_t videoSize = 300, uint32_t audioSize = 40)
{
    for (char c : script) {
        if (c == 'K' || c == 'P') {
            std::vector<uint8_t> s = XMarkedSample('V', n.video, videoSize + n.video % 7);
            if (!mux.WriteVideoPacket(s.data(), static_cast<uint32_t>(s.size()), 3000, c == 'K')) {
                return false;
            }
            n.video++;
        } else if (c == 'a') {
            std::vector<uint8_t> s = XMarkedSample('A', n.audio, audioSize);
            if (!mux.WriteAudioPacket(s.data(), audioSize, 1024)) {
                return false;
            }
            n.audio++;
        }
    }
    return true;
}

std::string Repeat(char c, int n)
{
    return std::string(static_cast<size_t>(n), c);
}

// Checks that every table entry points at the sample of that number (the
// sample bytes name their track and number) and returns the samples in file
// order, e.g. "V0 A0 A1 V1". An entry pointing elsewhere shows as "?".
std::string FileOrder(const std::vector<uint8_t>& b, const std::string& path, int tracks)
{
    std::vector<std::pair<uint64_t, std::string>> all;
    for (int t = 0; t < tracks; ++t) {
        const char letter = t == 0 ? 'V' : 'A';
        std::vector<tagSampleRef> map = XSampleMap(b, t);
        for (size_t i = 0; i < map.size(); ++i) {
            std::vector<uint8_t> want = XMarkedSample(letter, static_cast<uint32_t>(i), map[i].size);
            bool same = false;
            if (map[i].offset + map[i].size <= b.size()) {
                same = std::equal(want.begin(), want.end(), b.begin() + static_cast<std::ptrdiff_t>(map[i].offset));
            } else {
                // Beyond what was read (a sparse file): read the sample itself.
                same = XReadRange(path, map[i].offset, map[i].size) == want;
            }
            all.emplace_back(map[i].offset, same ? letter + std::to_string(i) : std::string("?"));
        }
    }
    std::sort(all.begin(), all.end());
    std::string out;
    for (const auto& e : all) {
        out += (out.empty() ? "" : " ") + e.second;
    }
    return out;
}

std::vector<std::string> TopLevel(const std::vector<uint8_t>& b)
{
    std::vector<std::string> out;
    for (const tagBox& box : XChildren(b, 0, b.size())) {
        out.push_back(box.type);
    }
    return out;
}

class MuxerFile : public ::testing::Test {
protected:
    std::string Path() const { return m_Dir / "f.mp4"; }
    CScratchDir m_Dir;
    CMP4Muxer m_Mux;
};

TEST_F(MuxerFile, HeaderIsFlushedAtOnce)
{
    ASSERT_TRUE(XOpenTestMuxer(m_Mux, Path()));
    CBytes head;
    head.u32(36).tag("ftyp").tag("isom").u32(0x200).tag("isom").tag("iso2").tag("avc1").tag("mp41").tag("mp42");
    head.u32(12).tag("free").tag("#*Q#").u32(8).tag("free").u32(0).tag("mdat");
    EXPECT_EQ(head.Data(), XReadAll(Path()));
    EXPECT_EQ(64, m_Mux.URLFTell());
}

// A common file: mdat then moov, every sample where the tables say, and
// the mdat size from the moov position.
TEST_F(MuxerFile, CommonFileLayout)
{
    ASSERT_TRUE(XOpenTestMuxer(m_Mux, Path()));
    tagFeed n;
    ASSERT_TRUE(Feed(m_Mux, "KaPaaPaKaPP", n));
    int64_t total = 0;
    ASSERT_TRUE(m_Mux.WriteTrailer(&total));
    EXPECT_FALSE(m_Mux.IsOpen());
    std::vector<uint8_t> b = XReadAll(Path());
    EXPECT_EQ(static_cast<int64_t>(b.size()), total);
    EXPECT_EQ((std::vector<std::string>{"ftyp", "free", "free", "mdat", "moov"}), TopLevel(b));
    tagBox mdat = XFindBox(b, "mdat");
    tagBox moov = XFindBox(b, "moov");
    EXPECT_EQ(56u, mdat.offset);
    EXPECT_EQ(moov.offset - 56, mdat.size);
    EXPECT_EQ("V0 V1 V2 A0 A1 A2 A3 V3 V4 V5 A4", FileOrder(b, Path(), 2));
    EXPECT_EQ(3u, XBE32(b, XFindBox(b, "moov/mvhd").offset + 104)) << "next_track_ID";
    EXPECT_EQ(1u, XBE32(b, XFindBox(b, "moov/trak[0]/tkhd").offset + 20));
    EXPECT_EQ(2u, XBE32(b, XFindBox(b, "moov/trak[1]/tkhd").offset + 20));
    // Track times are the movie's.
    tagBox mvhd = XFindBox(b, "moov/mvhd");
    tagBox tkhd = XFindBox(b, "moov/trak[1]/tkhd");
    EXPECT_EQ(XBE32(b, mvhd.offset + 12), XBE32(b, tkhd.offset + 12));
    EXPECT_EQ(XBE32(b, mvhd.offset + 16), XBE32(b, tkhd.offset + 16));
}

TEST_F(MuxerFile, NoAudioNoAudioTrak)
{
    ASSERT_TRUE(XOpenTestMuxer(m_Mux, Path()));
    tagFeed n;
    ASSERT_TRUE(Feed(m_Mux, "KPPKP", n));
    ASSERT_TRUE(m_Mux.WriteTrailer(nullptr));
    std::vector<uint8_t> b = XReadAll(Path());
    EXPECT_TRUE(XFindBox(b, "moov/trak[0]").found);
    EXPECT_FALSE(XFindBox(b, "moov/trak[1]").found);
    EXPECT_EQ(2u, XBE32(b, XFindBox(b, "moov/mvhd").offset + 104));
    EXPECT_EQ("V0 V1 V2 V3 V4", FileOrder(b, Path(), 1));
}

struct tagInterleaveCase {
    const char* name;
    std::string script;
    uint32_t audioSize;
    std::string order;  // empty: not checked (long scripts)
    std::vector<uint32_t> videoChunks;
    std::vector<uint32_t> audioChunks;
};

void PrintTo(const tagInterleaveCase& c, std::ostream* os)
{
    *os << c.name;
}

class Interleaving : public MuxerFile, public ::testing::WithParamInterface<tagInterleaveCase> {};

TEST_P(Interleaving, RunsAndChunks)
{
    const tagInterleaveCase& c = GetParam();
    ASSERT_TRUE(XOpenTestMuxer(m_Mux, Path()));
    tagFeed n;
    ASSERT_TRUE(Feed(m_Mux, c.script, n, 300, c.audioSize));
    ASSERT_TRUE(m_Mux.WriteTrailer(nullptr));
    std::vector<uint8_t> b = XReadAll(Path());
    std::string order = FileOrder(b, Path(), 2);
    EXPECT_EQ(std::string::npos, order.find('?')) << order;
    if (!c.order.empty()) {
        EXPECT_EQ(c.order, order);
    }
    EXPECT_EQ(c.videoChunks, XChunkSamples(b, 0));
    EXPECT_EQ(c.audioChunks, XChunkSamples(b, 1));
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, Interleaving,
    ::testing::Values(
        // Held audio goes right before the next key frame, the rest at the trailer.
        tagInterleaveCase{"BeforeKeyFrame", "KaaPaPKaP", 40, "V0 V1 V2 A0 A1 A2 V3 V4 A3", {3, 2}, {3, 1}},
        tagInterleaveCase{"AudioFirst", "aaKP", 40, "A0 A1 V0 V1", {2}, {2}},
        tagInterleaveCase{"TrailerLast", "KPaa", 40, "V0 V1 A0 A1", {2}, {2}},
        // 256 held frames go out at once; the next video sample opens a chunk.
        tagInterleaveCase{"Full256", "K" + Repeat('a', 300) + "P", 40, "", {1, 1}, {256, 44}},
        // Runs with no video between them continue one chunk.
        tagInterleaveCase{"Full256Twice", "K" + Repeat('a', 600), 40, "", {1}, {600}},
        tagInterleaveCase{"FullThenKey", "K" + Repeat('a', 257) + "K", 40, "", {1, 1}, {257}},
        // 131 frames of 8000 bytes fit 1 MiB, the 132nd does not.
        tagInterleaveCase{"OneMiB", "K" + Repeat('a', 140) + "P", 8000, "", {1, 1}, {131, 9}},
        tagInterleaveCase{"PFramesJoin", "KPPPPKPP", 40, "V0 V1 V2 V3 V4 V5 V6 V7", {5, 3}, {}}),
    [](const ::testing::TestParamInfo<tagInterleaveCase>& i) { return std::string(i.param.name); });

// A moov far larger than the 64 KiB buffer: its box sizes are patched after
// their starts have been flushed, and the file still tiles exactly.
TEST_F(MuxerFile, MoovLargerThanTheBuffer)
{
    ASSERT_TRUE(XOpenTestMuxer(m_Mux, Path(), 90000, 30000, 12800));
    std::string script;
    for (int gop = 0; gop < 800; ++gop) {
        script += "K" + Repeat('P', 24) + "aaa";
    }
    tagFeed n;
    ASSERT_TRUE(Feed(m_Mux, script, n, 8, 9));
    ASSERT_TRUE(m_Mux.WriteTrailer(nullptr));
    std::vector<uint8_t> b = XReadAll(Path());
    tagBox moov = XFindBox(b, "moov");
    ASSERT_TRUE(moov.found);
    EXPECT_GT(moov.size, CByteIOFile::kDataBufferSize);
    EXPECT_EQ(b.size(), moov.offset + moov.size);
    EXPECT_EQ((std::vector<std::string>{"ftyp", "free", "free", "mdat", "moov"}), TopLevel(b));
    // Every box inside tiles its parent.
    for (const char* path : {"moov/trak[0]/mdia/minf/stbl", "moov/trak[1]/mdia/minf/stbl"}) {
        tagBox stbl = XFindBox(b, path);
        ASSERT_TRUE(stbl.found) << path;
        uint64_t sum = 8;
        for (const tagBox& c : XChildren(b, stbl.offset + 8, stbl.offset + static_cast<size_t>(stbl.size))) {
            sum += c.size;
        }
        EXPECT_EQ(stbl.size, sum) << path;
    }
    std::string order = FileOrder(b, Path(), 2);
    EXPECT_EQ(std::string::npos, order.find('?'));
    EXPECT_EQ(20000u, XSampleMap(b, 0).size());
    EXPECT_EQ(2400u, XSampleMap(b, 1).size());
}

// ---- the private box ----

struct tagSkipCase {
    const char* name;
    uint32_t mask;
    int records;
    uint32_t skipSize;  // 0: no skip box
};

void PrintTo(const tagSkipCase& c, std::ostream* os)
{
    *os << c.name;
}

class SkipBox : public MuxerFile, public ::testing::WithParamInterface<tagSkipCase> {};

TEST_P(SkipBox, TriggerMaskAndSnapshotRecords)
{
    const tagSkipCase& c = GetParam();
    ASSERT_TRUE(XOpenTestMuxer(m_Mux, Path()));
    tagFeed n;
    ASSERT_TRUE(Feed(m_Mux, "KPaP", n));

    std::vector<CAssociatedData> recs(static_cast<size_t>(c.records));
    for (int i = 0; i < c.records; ++i) {
        recs[i].SetRecType(i == 0 ? 'G' : 'A');
        recs[i].SetRecTime(RECTIME::Make(26, 12, 10 + i, 8, 30, 59));
        recs[i].SetRecIndex(i + 1);
        recs[i].SetGPSPosition(i == 0 ? "N22.5,E113.9" : "");
        if (i > 0) {
            recs[i - 1].SetNext(&recs[i]);
        }
    }
    m_Mux.SetAlarmTrigger(c.mask);
    m_Mux.SetAssociatedData(c.records > 0 ? &recs[0] : nullptr);
    ASSERT_TRUE(m_Mux.WriteTrailer(nullptr));

    std::vector<uint8_t> b = XReadAll(Path());
    if (c.skipSize == 0) {
        EXPECT_EQ((std::vector<std::string>{"ftyp", "free", "free", "mdat", "moov"}), TopLevel(b));
        return;
    }
    EXPECT_EQ((std::vector<std::string>{"ftyp", "free", "free", "mdat", "skip", "moov"}), TopLevel(b));
    tagBox skip = XFindBox(b, "skip");
    tagBox mdat = XFindBox(b, "mdat");
    EXPECT_EQ(mdat.offset + mdat.size, skip.offset);
    CBytes expect;
    expect.u32(c.skipSize).tag("skip");
    if (c.mask != 0) {
        expect.u32(16).tag("altg").u32(0).u32(c.mask);
    }
    if (c.records > 0) {
        expect.u32(16 + 73 * static_cast<uint32_t>(c.records)).tag("asct").u32(0).u32(static_cast<uint32_t>(c.records));
        for (const CAssociatedData& r : recs) {
            expect.u8(static_cast<uint8_t>(r.GetRecType())).u32(r.GetRecTime().value).u32(static_cast<uint32_t>(r.GetRecIndex()));
            std::vector<uint8_t> gps(r.GetGPSPosition(), r.GetGPSPosition() + 64);
            expect.raw(gps);
        }
    }
    EXPECT_EQ(expect.Data(), XBoxBytes(b, skip));
    EXPECT_EQ("V0 V1 V2 A0", FileOrder(b, Path(), 2));

    // Cleared by the trailer: the next file has no private box.
    ASSERT_TRUE(XOpenTestMuxer(m_Mux, Path()));
    n = tagFeed();
    ASSERT_TRUE(Feed(m_Mux, "KP", n));
    ASSERT_TRUE(m_Mux.WriteTrailer(nullptr));
    EXPECT_FALSE(XFindBox(XReadAll(Path()), "skip").found);
}

INSTANTIATE_TEST_SUITE_P(Alarms, SkipBox,
                         ::testing::Values(tagSkipCase{"Common", 0, 0, 0},
                                           tagSkipCase{"MaskOnly", 6, 0, 24},
                                           tagSkipCase{"RecordsOnly", 0, 2, 8 + 16 + 146},
                                           tagSkipCase{"MaskAndTwoRecords", 6, 2, 186},
                                           tagSkipCase{"AllTriggers", 0x7F, 1, 24 + 16 + 73}),
                         [](const ::testing::TestParamInfo<tagSkipCase>& i) { return std::string(i.param.name); });

// ---- mdat size forms ----

struct tagMdatCase {
    const char* name;
    uint64_t payload;
    bool large;
};

void PrintTo(const tagMdatCase& c, std::ostream* os)
{
    *os << c.name;
}

class MdatSize : public MuxerFile, public ::testing::WithParamInterface<tagMdatCase> {};

// The payload is made by skipping ahead (a sparse file): the size comes from
// where moov starts.
TEST_P(MdatSize, ThirtyTwoOrSixtyFourBit)
{
    const tagMdatCase& c = GetParam();
    ASSERT_TRUE(XOpenTestMuxer(m_Mux, Path()));
    tagFeed n;
    ASSERT_TRUE(Feed(m_Mux, "K", n));
    const int64_t end = 64 + static_cast<int64_t>(c.payload);
    ASSERT_EQ(end, m_Mux.URLFSeek(end, 0));
    ASSERT_TRUE(m_Mux.WriteTrailer(nullptr));

    std::vector<uint8_t> head = XReadRange(Path(), 0, 64);
    ASSERT_EQ(64u, head.size());
    if (c.large) {
        EXPECT_EQ(CBytes().u32(1).tag("mdat").u64(c.payload + 16).Data(),
                  std::vector<uint8_t>(head.begin() + 48, head.end()));
    } else {
        EXPECT_EQ(CBytes().u32(8).tag("free").u32(static_cast<uint32_t>(c.payload + 8)).tag("mdat").Data(),
                  std::vector<uint8_t>(head.begin() + 48, head.end()));
    }
    std::vector<uint8_t> moov = XReadRange(Path(), static_cast<uint64_t>(end), 8);
    ASSERT_EQ(8u, moov.size());
    EXPECT_EQ("moov", XFourCC(moov, 4));
    // The first sample is intact.
    EXPECT_EQ(XMarkedSample('V', 0, 300), XReadRange(Path(), 64, 300));
}

INSTANTIATE_TEST_SUITE_P(Boundary, MdatSize,
                         ::testing::Values(tagMdatCase{"Small", 1000, false},
                                           tagMdatCase{"Largest32Bit", 0xFFFFFFF7ull, false},
                                           tagMdatCase{"First64Bit", 0xFFFFFFF8ull, true}),
                         [](const ::testing::TestParamInfo<tagMdatCase>& i) { return std::string(i.param.name); });

// ---- tables ----

TEST_F(MuxerFile, FullTablesRefuseSamples)
{
    ASSERT_TRUE(XOpenTestMuxer(m_Mux, Path(), 90000, 4, 3));
    tagFeed n;
    ASSERT_TRUE(Feed(m_Mux, "KPPaaa", n));
    EXPECT_FALSE(m_Mux.IsVideoTableFull());
    EXPECT_TRUE(m_Mux.IsAudioTableFull());
    std::vector<uint8_t> s = XMarkedSample('A', 3, 40);
    EXPECT_FALSE(m_Mux.WriteAudioPacket(s.data(), 40, 1024));
    ASSERT_TRUE(Feed(m_Mux, "P", n));
    EXPECT_TRUE(m_Mux.IsVideoTableFull());
    s = XMarkedSample('V', 4, 300);
    EXPECT_FALSE(m_Mux.WriteVideoPacket(s.data(), 300, 3000, TRUE));
    ASSERT_TRUE(m_Mux.WriteTrailer(nullptr));
    std::vector<uint8_t> b = XReadAll(Path());
    EXPECT_EQ("V0 V1 V2 V3 A0 A1 A2", FileOrder(b, Path(), 2));
}

// Samples refused by a full table are not lost ones: they add no time.
TEST_F(MuxerFile, FullTableRefusalAddsNoTime)
{
    ASSERT_TRUE(XOpenTestMuxer(m_Mux, Path(), 90000, 3, 2));
    tagFeed n;
    ASSERT_TRUE(Feed(m_Mux, "KaaPP", n));
    ASSERT_TRUE(m_Mux.IsVideoTableFull());
    std::vector<uint8_t> s = XMarkedSample('V', 3, 300);
    EXPECT_FALSE(m_Mux.WriteVideoPacket(s.data(), 300, 3000, FALSE));
    s = XMarkedSample('A', 2, 40);
    EXPECT_FALSE(m_Mux.WriteAudioPacket(s.data(), 40, 1024));
    ASSERT_TRUE(m_Mux.WriteTrailer(nullptr));
    std::vector<uint8_t> b = XReadAll(Path());
    EXPECT_EQ((std::vector<uint32_t>{1, 3, 3000}),
              XBoxWords(b, XFindBox(b, "moov/trak[0]/mdia/minf/stbl/stts"), 0));
    EXPECT_EQ((std::vector<uint32_t>{1, 2, 1024}),
              XBoxWords(b, XFindBox(b, "moov/trak[1]/mdia/minf/stbl/stts"), 0));
}

// Init grows the tables and the holding buffer, never shrinks them.
TEST_F(MuxerFile, InitOnlyGrows)
{
    ASSERT_TRUE(m_Mux.Init(10, 10, 100));
    ASSERT_TRUE(m_Mux.Init(5, 5, 50));
    EXPECT_EQ(10u, m_Mux.GetVideoClusters()->GetMaxFrames());
    ASSERT_TRUE(m_Mux.Init(20, 12, 200));
    EXPECT_EQ(20u, m_Mux.GetVideoClusters()->GetMaxFrames());
    EXPECT_EQ(12u, m_Mux.GetAudioClusters()->GetMaxFrames());
}

TEST_F(MuxerFile, TrackSetupErrors)
{
    ASSERT_TRUE(m_Mux.Init(10, 10, 100));
    EXPECT_FALSE(m_Mux.SetVideoVosData(nullptr, 0)) << "no track yet";
    EXPECT_FALSE(m_Mux.AddVideoTrack(emAVMediaCodecType_None, 90000, 1920, 1080));
    EXPECT_FALSE(m_Mux.AddVideoTrack(emAVMediaCodecType_AAC, 90000, 1920, 1080));
    EXPECT_FALSE(m_Mux.AddVideoTrack(emAVMediaCodecType_H264, 0, 1920, 1080));
    EXPECT_FALSE(m_Mux.AddAudioTrack(emAVMediaCodecType_H264, 8000, 1, 16, 0));
    EXPECT_TRUE(m_Mux.AddAudioTrack(emAVMediaCodecType_AAC, 8000, 1, 16, 0));
    EXPECT_FALSE(m_Mux.WriteHeader((m_Dir / "no/such/dir.mp4").c_str()));
    EXPECT_FALSE(m_Mux.WriteTrailer(nullptr)) << "no file open";
}

// Two muxers in one process both number their tracks 1 and 2.
TEST(MuxerTracks, IdsPerMuxer)
{
    CScratchDir dir;
    for (int i = 0; i < 2; ++i) {
        CMP4Muxer mux;
        std::string path = dir / ("t" + std::to_string(i) + ".mp4");
        ASSERT_TRUE(XOpenTestMuxer(mux, path));
        tagFeed n;
        ASSERT_TRUE(Feed(mux, "KaP", n));
        ASSERT_TRUE(mux.WriteTrailer(nullptr));
        std::vector<uint8_t> b = XReadAll(path);
        EXPECT_EQ(1u, XBE32(b, XFindBox(b, "moov/trak[0]/tkhd").offset + 20));
        EXPECT_EQ(2u, XBE32(b, XFindBox(b, "moov/trak[1]/tkhd").offset + 20));
        tagBox esds = XFindBox(b, "moov/trak[1]/mdia/minf/stbl/stsd/mp4a/esds");
        ASSERT_TRUE(esds.found);
        EXPECT_EQ(2u, XBE16(b, esds.offset + 17)) << "ES_ID";
    }
}

// ---- write failures ----

// Write fails on demand: after `m_nAllowed` more successful writes, the next
// `m_nFailures` writes fail (writing `m_nShortBytes` first when not 0).
class CFaultyMuxer : public CMP4Muxer {
public:
    ssize_t Write(const void* buf, size_t size) override
    {
        if (m_nAllowed > 0) {
            m_nAllowed--;
            return CMP4Muxer::Write(buf, size);
        }
        if (m_nFailures > 0) {
            m_nFailures--;
            if (m_nShortBytes > 0 && m_nShortBytes < size) {
                return CMP4Muxer::Write(buf, m_nShortBytes);
            }
            errno = ENOSPC;
            return -1;
        }
        return CMP4Muxer::Write(buf, size);
    }
    void FailNext(int allowed, int failures, size_t shortBytes)
    {
        m_nAllowed = allowed;
        m_nFailures = failures;
        m_nShortBytes = shortBytes;
    }

private:
    int m_nAllowed = 0;
    int m_nFailures = 0;
    size_t m_nShortBytes = 0;
};

struct tagSampleFailCase {
    const char* name;
    std::string before;  // fed before the failing packet
    char failing;        // 'P', or 'K' (a key frame, after its held audio)
    int allowed;         // writes that still succeed before the failure
    size_t shortBytes;   // bytes the failing write gets through (0: none)
    std::string after;   // fed after; starts with a key frame
    std::string order;
};

void PrintTo(const tagSampleFailCase& c, std::ostream* os)
{
    *os << c.name;
}

class SampleWriteFailure : public ::testing::TestWithParam<tagSampleFailCase> {};

// The failed packet leaves nothing behind: the next write starts at its
// first byte, frames that depend on it are refused until a key frame, and
// the finished file maps every sample correctly.
TEST_P(SampleWriteFailure, NextWriteOverwritesStrayBytes)
{
    const tagSampleFailCase& c = GetParam();
    CScratchDir dir;
    std::string path = dir / "f.mp4";
    CFaultyMuxer mux;
    ASSERT_TRUE(XOpenTestMuxer(mux, path));
    tagFeed n;
    ASSERT_TRUE(Feed(mux, c.before, n));

    mux.FailNext(c.allowed, 1, c.shortBytes);
    std::vector<uint8_t> s = XMarkedSample('V', n.video, 5000);
    EXPECT_FALSE(mux.WriteVideoPacket(s.data(), 5000, 3000, c.failing == 'K'));
    const int64_t after = mux.URLFTell();
    EXPECT_EQ(after, static_cast<int64_t>(XReadAll(path).size())) << "stray bytes are cut";
    EXPECT_EQ(static_cast<uint64_t>(after - 64), mux.GetMdatSize());

    // A P-frame now would reference the lost frame.
    s = XMarkedSample('V', n.video, 300);
    EXPECT_FALSE(mux.WriteVideoPacket(s.data(), 300, 3000, FALSE));
    EXPECT_EQ(after, mux.URLFTell());

    ASSERT_TRUE(Feed(mux, c.after, n));
    ASSERT_TRUE(mux.WriteTrailer(nullptr));
    std::vector<uint8_t> b = XReadAll(path);
    EXPECT_EQ(c.order, FileOrder(b, path, 2));
    tagBox mdat = XFindBox(b, "mdat");
    EXPECT_EQ(XFindBox(b, "moov").offset, mdat.offset + mdat.size);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SampleWriteFailure,
    ::testing::Values(tagSampleFailCase{"VideoFails", "KaP", 'P', 0, 0, "KaP", "V0 V1 A0 V2 V3 A1"},
                      tagSampleFailCase{"VideoShort", "KaP", 'P', 0, 1234, "KaP", "V0 V1 A0 V2 V3 A1"},
                      // The key frame's held audio cannot be written: the frame
                      // is refused and the audio stays held for the next one.
                      tagSampleFailCase{"HeldAudioFails", "KaaP", 'K', 0, 0, "aK", "V0 V1 A0 A1 A2 V2"},
                      tagSampleFailCase{"HeldAudioShort", "KaaP", 'K', 0, 30, "aK", "V0 V1 A0 A1 A2 V2"},
                      // The audio got out, the key frame did not: the next run
                      // continues the audio chunk right behind it.
                      tagSampleFailCase{"KeyFrameAfterAudio", "KaaP", 'K', 1, 100, "aK", "V0 V1 A0 A1 A2 V2"}),
    [](const ::testing::TestParamInfo<tagSampleFailCase>& i) { return std::string(i.param.name); });

// stts of trak `trak` as (samples, delta) pairs.
std::vector<uint32_t> SttsRuns(const std::vector<uint8_t>& b, int trak)
{
    return XBoxWords(b, XFindBox(b, "moov/trak[" + std::to_string(trak) + "]/mdia/minf/stbl/stts"), 4);
}

// Decode time of sample `index` (0-based) from stts runs.
uint64_t SampleTime(const std::vector<uint32_t>& runs, uint32_t index)
{
    uint64_t t = 0;
    for (size_t i = 0; i + 1 < runs.size() && index > 0; i += 2) {
        const uint32_t n = std::min(runs[i], index);
        t += static_cast<uint64_t>(n) * runs[i + 1];
        index -= n;
    }
    return t;
}

// Durations of trak `trak` (version 0 boxes): mdhd in its own timescale,
// tkhd in the movie's.
uint32_t MdhdDuration(const std::vector<uint8_t>& b, int trak)
{
    return XBE32(b, XFindBox(b, "moov/trak[" + std::to_string(trak) + "]/mdia/mdhd").offset + 24);
}

uint32_t TkhdDuration(const std::vector<uint8_t>& b, int trak)
{
    return XBE32(b, XFindBox(b, "moov/trak[" + std::to_string(trak) + "]/tkhd").offset + 28);
}

struct tagLostTimeCase {
    const char* name;
    std::string before;          // fed before the failing packet
    char failing;                // 'P' or 'K'
    int refused;                 // P-frames refused after it
    std::string after;           // fed after; starts with a key frame
    std::vector<uint32_t> stts;  // expected video runs
    uint32_t written;            // video samples in the file
    std::vector<uint32_t> audioStts;
};

void PrintTo(const tagLostTimeCase& c, std::ostream* os)
{
    *os << c.name;
}

class LostVideoTime : public ::testing::TestWithParam<tagLostTimeCase> {};

// A failed video write and the P-frames refused after it leave their time
// on the sample before them: the key frame after the gap keeps its time and
// the durations count the gap. Audio is untouched.
TEST_P(LostVideoTime, KeptOnThePreviousSample)
{
    const tagLostTimeCase& c = GetParam();
    CScratchDir dir;
    std::string path = dir / "f.mp4";
    CFaultyMuxer mux;
    ASSERT_TRUE(XOpenTestMuxer(mux, path));
    tagFeed n;
    ASSERT_TRUE(Feed(mux, c.before, n));
    const uint32_t gapAt = n.video;
    mux.FailNext(0, 1, 0);
    std::vector<uint8_t> s = XMarkedSample('V', n.video, 5000);
    EXPECT_FALSE(mux.WriteVideoPacket(s.data(), 5000, 3000, c.failing == 'K'));
    for (int i = 0; i < c.refused; ++i) {
        s = XMarkedSample('V', n.video, 300);
        EXPECT_FALSE(mux.WriteVideoPacket(s.data(), 300, 3000, FALSE));
    }
    ASSERT_TRUE(Feed(mux, c.after, n));
    ASSERT_TRUE(mux.WriteTrailer(nullptr));

    std::vector<uint8_t> b = XReadAll(path);
    ASSERT_EQ(c.written, XSampleMap(b, 0).size());
    const std::vector<uint32_t> runs = SttsRuns(b, 0);
    EXPECT_EQ(c.stts, runs);
    const uint32_t lost = 1 + static_cast<uint32_t>(c.refused);
    EXPECT_EQ(static_cast<uint64_t>(gapAt + lost) * 3000u, SampleTime(runs, gapAt)) << "first sample after the gap";
    const uint32_t total = (c.written + lost) * 3000u;
    EXPECT_EQ(total, MdhdDuration(b, 0));
    EXPECT_EQ(total / 90u, TkhdDuration(b, 0));
    EXPECT_EQ(total / 90u, XBE32(b, XFindBox(b, "moov/mvhd").offset + 24));
    EXPECT_EQ(c.audioStts, SttsRuns(b, 1));
}

INSTANTIATE_TEST_SUITE_P(
    Gaps, LostVideoTime,
    ::testing::Values(
        // The last run of 4 is split: 3 x 3000, then 1 x (1 + 3) x 3000.
        tagLostTimeCase{"RunSplit", "KaPPP", 'P', 2, "KaP", {3, 3000, 1, 12000, 2, 3000}, 6, {2, 1024}},
        tagLostTimeCase{"SingleSample", "K", 'P', 0, "KP", {1, 6000, 2, 3000}, 3, {}},
        // The key frame's held audio cannot be written: the frame is lost.
        tagLostTimeCase{"KeyFrameLost", "KaaP", 'K', 1, "aK", {1, 3000, 1, 9000, 1, 3000}, 3, {3, 1024}}),
    [](const ::testing::TestParamInfo<tagLostTimeCase>& i) { return std::string(i.param.name); });

// An audio frame refused because the full holding buffer cannot be written
// leaves its time on the last held frame.
TEST(LostAudioTime, KeptOnTheLastHeldFrame)
{
    CScratchDir dir;
    std::string path = dir / "f.mp4";
    CFaultyMuxer mux;
    ASSERT_TRUE(XOpenTestMuxer(mux, path));
    tagFeed n;
    ASSERT_TRUE(Feed(mux, "K" + Repeat('a', CMP4Muxer::kMaxTmpAudioFrames), n));
    mux.FailNext(0, 1, 0);
    std::vector<uint8_t> s = XMarkedSample('A', n.audio, 40);
    EXPECT_FALSE(mux.WriteAudioPacket(s.data(), 40, 1024));
    EXPECT_EQ(CMP4Muxer::kMaxTmpAudioFrames, mux.GetHeldAudioFrames());
    ASSERT_TRUE(Feed(mux, "aKP", n));
    ASSERT_TRUE(mux.WriteTrailer(nullptr));

    std::vector<uint8_t> b = XReadAll(path);
    const uint32_t held = static_cast<uint32_t>(CMP4Muxer::kMaxTmpAudioFrames);
    EXPECT_EQ((std::vector<uint32_t>{held - 1, 1024, 1, 2048, 1, 1024}), SttsRuns(b, 1));
    EXPECT_EQ((held + 2) * 1024u, MdhdDuration(b, 1));
    EXPECT_EQ((std::vector<uint32_t>{3, 3000}), SttsRuns(b, 0));
    EXPECT_EQ(9000u, MdhdDuration(b, 0));
}

// Held audio dropped at a failed trailer leaves its time on the last audio
// sample in the table.
TEST(LostAudioTime, DroppedAtTheTrailer)
{
    CScratchDir dir;
    std::string path = dir / "f.mp4";
    CFaultyMuxer mux;
    ASSERT_TRUE(XOpenTestMuxer(mux, path));
    tagFeed n;
    ASSERT_TRUE(Feed(mux, "KaPaKPaaa", n));
    mux.FailNext(0, 1, 10);
    EXPECT_FALSE(mux.WriteTrailer(nullptr));
    std::vector<uint8_t> b = XReadAll(path);
    EXPECT_EQ("V0 V1 A0 A1 V2 V3", FileOrder(b, path, 2));
    EXPECT_EQ((std::vector<uint32_t>{1, 1024, 1, 4096}), SttsRuns(b, 1));
    EXPECT_EQ(5u * 1024u, MdhdDuration(b, 1));
}

// A video sample lost before any was written leaves no time (nothing to
// lengthen); the first written key frame starts the track.
TEST(LostVideoTime, BeforeTheFirstSampleLeavesNoTime)
{
    CScratchDir dir;
    std::string path = dir / "f.mp4";
    CFaultyMuxer mux;
    ASSERT_TRUE(XOpenTestMuxer(mux, path));
    mux.FailNext(0, 1, 0);
    std::vector<uint8_t> s = XMarkedSample('V', 0, 300);
    EXPECT_FALSE(mux.WriteVideoPacket(s.data(), 300, 3000, TRUE));
    EXPECT_FALSE(mux.WriteVideoPacket(s.data(), 300, 3000, FALSE));
    tagFeed n;
    ASSERT_TRUE(Feed(mux, "KP", n));
    ASSERT_TRUE(mux.WriteTrailer(nullptr));
    std::vector<uint8_t> b = XReadAll(path);
    EXPECT_EQ((std::vector<uint32_t>{2, 3000}), SttsRuns(b, 0));
    EXPECT_EQ(6000u, MdhdDuration(b, 0));
}

// Any failed write of the trailer is reported; the file is closed either way
// and the next file starts clean.
class TrailerFailure : public ::testing::TestWithParam<int> {};

TEST_P(TrailerFailure, ReportedAndClosed)
{
    CScratchDir dir;
    std::string path = dir / "f.mp4";
    CFaultyMuxer mux;
    ASSERT_TRUE(XOpenTestMuxer(mux, path));
    tagFeed n;
    ASSERT_TRUE(Feed(mux, "KaPPa", n));
    // Trailer writes: held audio, mdat size, moov.
    mux.FailNext(GetParam(), 1000, 0);
    int64_t total = -1;
    EXPECT_FALSE(mux.WriteTrailer(&total));
    EXPECT_FALSE(mux.IsOpen());
    EXPECT_EQ(static_cast<int64_t>(XReadAll(path).size()), total);

    mux.FailNext(0, 0, 0);
    std::string next = dir / "g.mp4";
    ASSERT_TRUE(mux.WriteHeader(next.c_str()));
    n = tagFeed();
    ASSERT_TRUE(Feed(mux, "KP", n));
    ASSERT_TRUE(mux.WriteTrailer(nullptr));
    std::vector<uint8_t> b = XReadAll(next);
    EXPECT_EQ("V0 V1", FileOrder(b, next, 1));
    EXPECT_FALSE(XFindBox(b, "moov/trak[1]").found) << "nothing of the failed file carried over";
}

INSTANTIATE_TEST_SUITE_P(AtEachWrite, TrailerFailure, ::testing::Values(0, 1, 2));

// A failed held-audio write at the trailer still leaves a readable file
// (without that audio), but the trailer counts as failed.
TEST(TrailerFailureAudio, IndexStillWritten)
{
    CScratchDir dir;
    std::string path = dir / "f.mp4";
    CFaultyMuxer mux;
    ASSERT_TRUE(XOpenTestMuxer(mux, path));
    tagFeed n;
    ASSERT_TRUE(Feed(mux, "KaPa", n));
    mux.FailNext(0, 1, 10);
    EXPECT_FALSE(mux.WriteTrailer(nullptr));
    std::vector<uint8_t> b = XReadAll(path);
    EXPECT_EQ("V0 V1", FileOrder(b, path, 2));
    EXPECT_EQ((std::vector<std::string>{"ftyp", "free", "free", "mdat", "moov"}), TopLevel(b));
}

}  // namespace
