#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Record/MP4/ByteIOFile.h"
#include "Record/MP4/MP4AudioAACTrack.h"
#include "Record/MP4/MP4MovieEntry.h"
#include "Record/MP4/MP4Muxer.h"
#include "Record/MP4/MP4TestFile.h"
#include "Record/MP4/MP4VideoH264Track.h"

namespace {

using namespace mp4test;

struct tagSample {
    uint32_t size;
    uint32_t duration;
    BOOL key;
};

// One track's trak tree, written straight from a table into a file.
class TrackBoxes : public ::testing::Test {
protected:
    std::vector<uint8_t> WriteTrak(CMP4Track& track, CMovieEntry& entry)
    {
        CByteIOFile io;
        std::string path = m_Dir / "trak.bin";
        EXPECT_EQ(0, io.Open(path.c_str(), FALSE));
        EXPECT_GT(track.WriteTrakTag(&io, &entry), 0);
        EXPECT_TRUE(io.FlushBuffer());
        EXPECT_FALSE(io.HasIOError());
        io.Close();
        return XReadAll(path);
    }
    static void Fill(CMovieEntry& e, const std::vector<tagSample>& samples, uint64_t firstOffset = 64)
    {
        uint64_t off = firstOffset;
        for (const tagSample& s : samples) {
            ASSERT_TRUE(e.UpdateEntrys(off, s.size, s.duration, s.key, FALSE));
            off += s.size;
        }
    }
    CScratchDir m_Dir;
};

// ---- sample tables ----

struct tagStscCase {
    const char* name;
    std::vector<uint32_t> chunkSamples;   // samples of each chunk (each starts at a key frame)
    std::vector<uint32_t> stsc;           // expected (first_chunk, samples, 1) triples
};

void PrintTo(const tagStscCase& c, std::ostream* os)
{
    *os << c.name;
}

class StscBoxes : public TrackBoxes, public ::testing::WithParamInterface<tagStscCase> {};

TEST_P(StscBoxes, EntryForFirstChunkAndEveryChange)
{
    const tagStscCase& c = GetParam();
    CMovieEntry e(1024);
    std::vector<tagSample> samples;
    for (uint32_t n : c.chunkSamples) {
        for (uint32_t i = 0; i < n; ++i) {
            samples.push_back({100, 3000, i == 0});
        }
    }
    Fill(e, samples);
    CMP4VideoH264Track t(1);
    tagH264SPSPPS vos = XTestSpsPps();
    ASSERT_TRUE(t.SetVosData(&vos, sizeof(vos)));
    std::vector<uint8_t> b = WriteTrak(t, e);
    tagBox stsc = XFindBox(b, "trak/mdia/minf/stbl/stsc");
    ASSERT_TRUE(stsc.found);
    std::vector<uint32_t> words = XBoxWords(b, stsc, 0);
    ASSERT_FALSE(words.empty());
    EXPECT_EQ(c.stsc.size() / 3, words[0]) << "entry_count";
    EXPECT_EQ(c.stsc, std::vector<uint32_t>(words.begin() + 1, words.end()));
    EXPECT_EQ(16 + c.stsc.size() * 4, stsc.size);

    tagBox stss = XFindBox(b, "trak/mdia/minf/stbl/stss");
    std::vector<uint32_t> keys = XBoxWords(b, stss, 0);
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(c.chunkSamples.size(), keys[0]);
    uint32_t number = 1;
    for (size_t i = 0; i < c.chunkSamples.size(); ++i) {
        EXPECT_EQ(number, keys[i + 1]) << "key frame " << i;
        number += c.chunkSamples[i];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Chunks, StscBoxes,
    ::testing::Values(tagStscCase{"Gop30Tail12", {30, 30, 30, 12}, {1, 30, 1, 4, 12, 1}},
                      tagStscCase{"OneSample", {1}, {1, 1, 1}},
                      tagStscCase{"BackAndForth", {5, 3, 3, 5}, {1, 5, 1, 2, 3, 1, 4, 5, 1}},
                      tagStscCase{"AllEqual", {7, 7, 7}, {1, 7, 1}}),
    [](const ::testing::TestParamInfo<tagStscCase>& i) { return std::string(i.param.name); });

struct tagStszCase {
    const char* name;
    std::vector<uint32_t> sizes;
    std::vector<uint8_t> expect;  // whole box
};

void PrintTo(const tagStszCase& c, std::ostream* os)
{
    *os << c.name;
}

class StszBoxes : public TrackBoxes, public ::testing::WithParamInterface<tagStszCase> {};

TEST_P(StszBoxes, TableOnlyWhenSizesDiffer)
{
    const tagStszCase& c = GetParam();
    CMovieEntry e(64);
    std::vector<tagSample> samples;
    for (size_t i = 0; i < c.sizes.size(); ++i) {
        samples.push_back({c.sizes[i], 1024, i == 0});
    }
    Fill(e, samples);
    CMP4AudioAACTrack t(2);
    std::vector<uint8_t> b = WriteTrak(t, e);
    EXPECT_EQ(c.expect, XBoxBytes(b, XFindBox(b, "trak/mdia/minf/stbl/stsz")));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, StszBoxes,
    ::testing::Values(
        tagStszCase{"AllEqual", {9, 9, 9}, CBytes().u32(20).tag("stsz").u32(0).u32(9).u32(3).Data()},
        tagStszCase{"OneSample", {5}, CBytes().u32(20).tag("stsz").u32(0).u32(5).u32(1).Data()},
        tagStszCase{"ZeroSizeWritesOne", {0, 0}, CBytes().u32(20).tag("stsz").u32(0).u32(1).u32(2).Data()},
        tagStszCase{"LastDiffers", {4, 4, 6},
                    CBytes().u32(32).tag("stsz").u32(0).u32(0).u32(3).u32(4).u32(4).u32(6).Data()},
        tagStszCase{"FirstDiffers", {6, 4, 4},
                    CBytes().u32(32).tag("stsz").u32(0).u32(0).u32(3).u32(6).u32(4).u32(4).Data()},
        tagStszCase{"Empty", {}, CBytes().u32(20).tag("stsz").u32(0).u32(0).u32(0).Data()}),
    [](const ::testing::TestParamInfo<tagStszCase>& i) { return std::string(i.param.name); });

struct tagSttsCase {
    const char* name;
    std::vector<uint32_t> durations;
    std::vector<uint32_t> runs;  // (count, delta) pairs
};

void PrintTo(const tagSttsCase& c, std::ostream* os)
{
    *os << c.name;
}

class SttsBoxes : public TrackBoxes, public ::testing::WithParamInterface<tagSttsCase> {};

TEST_P(SttsBoxes, RunLengthOfDurations)
{
    const tagSttsCase& c = GetParam();
    CMovieEntry e(64);
    std::vector<tagSample> samples;
    for (uint32_t d : c.durations) {
        samples.push_back({10, d, FALSE});
    }
    Fill(e, samples);
    CMP4AudioAACTrack t(2);
    std::vector<uint8_t> b = WriteTrak(t, e);
    CBytes expect;
    expect.u32(16 + 4 * static_cast<uint32_t>(c.runs.size())).tag("stts").u32(0).u32(static_cast<uint32_t>(c.runs.size() / 2));
    for (uint32_t v : c.runs) {
        expect.u32(v);
    }
    EXPECT_EQ(expect.Data(), XBoxBytes(b, XFindBox(b, "trak/mdia/minf/stbl/stts")));
}

INSTANTIATE_TEST_SUITE_P(Durations, SttsBoxes,
                         ::testing::Values(tagSttsCase{"OneRun", {1024, 1024, 1024}, {3, 1024}},
                                           tagSttsCase{"Changes", {3000, 3000, 6000, 3000}, {2, 3000, 1, 6000, 1, 3000}},
                                           tagSttsCase{"Single", {1}, {1, 1}},
                                           tagSttsCase{"Empty", {}, {}}),
                         [](const ::testing::TestParamInfo<tagSttsCase>& i) { return std::string(i.param.name); });

// Runs of a table as (samples, duration) pairs.
std::vector<uint32_t> Runs(const CMovieEntry& e)
{
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < e.GetSampleTimeEntrys(); ++i) {
        out.push_back(e.GetSampleTimes()[i].samples);
        out.push_back(e.GetSampleTimes()[i].duration);
    }
    return out;
}

// The time of lost samples lengthens the last sample only: a longer run is
// split, a single-sample run grows, and the table still fills at its size.
TEST_F(TrackBoxes, LostTimeGoesToTheLastSample)
{
    CMovieEntry e(4);
    EXPECT_FALSE(e.AddToLastDuration(3000)) << "no sample yet";
    EXPECT_EQ(0, e.GetDuration());
    EXPECT_EQ(0u, e.GetSampleTimeEntrys());

    Fill(e, {{10, 3000, TRUE}, {10, 3000, FALSE}, {10, 3000, FALSE}});
    ASSERT_TRUE(e.AddToLastDuration(6000));
    EXPECT_EQ((std::vector<uint32_t>{2, 3000, 1, 9000}), Runs(e));
    ASSERT_TRUE(e.AddToLastDuration(3000));
    EXPECT_EQ((std::vector<uint32_t>{2, 3000, 1, 12000}), Runs(e));
    EXPECT_EQ(18000, e.GetDuration());
    EXPECT_EQ(3u, e.GetEntrys()) << "no sample added";

    Fill(e, {{10, 3000, FALSE}});
    EXPECT_EQ((std::vector<uint32_t>{2, 3000, 1, 12000, 1, 3000}), Runs(e));
    EXPECT_EQ(0u, e.GetFreeEntrys());
    ASSERT_TRUE(e.AddToLastDuration(3000));
    EXPECT_EQ((std::vector<uint32_t>{2, 3000, 1, 12000, 1, 6000}), Runs(e));
    EXPECT_FALSE(e.UpdateEntrys(100, 10, 3000, FALSE, FALSE)) << "a full table still refuses";
    EXPECT_EQ(24000, e.GetDuration());

    CMP4AudioAACTrack t(2);
    std::vector<uint8_t> b = WriteTrak(t, e);
    EXPECT_EQ(CBytes().u32(40).tag("stts").u32(0).u32(3).u32(2).u32(3000).u32(1).u32(12000).u32(1).u32(6000).Data(),
              XBoxBytes(b, XFindBox(b, "trak/mdia/minf/stbl/stts")));
    EXPECT_EQ(24000u, XBE32(b, XFindBox(b, "trak/mdia/mdhd").offset + 24));
}

// Every sample in a run of its own, all lengthened: the runs never outgrow
// the samples.
TEST_F(TrackBoxes, LostTimeAfterEverySampleFitsTheTable)
{
    CMovieEntry e(3);
    for (uint32_t i = 0; i < 3; ++i) {
        Fill(e, {{10, 3000, i == 0}});
        ASSERT_TRUE(e.AddToLastDuration(3000 * (i + 1)));
    }
    EXPECT_EQ((std::vector<uint32_t>{1, 6000, 1, 9000, 1, 12000}), Runs(e));
    EXPECT_EQ(27000, e.GetDuration());
}

// A delta stops at 32 bits; the track duration is summed in 64 bits.
TEST_F(TrackBoxes, LostTimeSaturatesTheDelta)
{
    CMovieEntry e(4);
    Fill(e, {{10, 0xC0000000u, TRUE}, {10, 0xC0000000u, FALSE}});
    ASSERT_TRUE(e.AddToLastDuration(0x40000000u));
    EXPECT_EQ((std::vector<uint32_t>{1, 0xC0000000u, 1, 0xFFFFFFFFu}), Runs(e));
    EXPECT_EQ(static_cast<int64_t>(0xC0000000ull + 0xFFFFFFFFull), e.GetDuration());
    ASSERT_TRUE(e.AddToLastDuration(5));
    EXPECT_EQ((std::vector<uint32_t>{1, 0xC0000000u, 1, 0xFFFFFFFFu}), Runs(e));
    EXPECT_EQ(static_cast<int64_t>(0xC0000000ull + 0xFFFFFFFFull), e.GetDuration());
    CMP4VideoH264Track t(1);
    tagH264SPSPPS vos = XTestSpsPps();
    ASSERT_TRUE(t.SetVosData(&vos, sizeof(vos)));
    t.SetTimeScale(90000);
    std::vector<uint8_t> b = WriteTrak(t, e);
    tagBox mdhd = XFindBox(b, "trak/mdia/mdhd");
    ASSERT_EQ(44u, mdhd.size);
    EXPECT_EQ(0xC0000000ull + 0xFFFFFFFFull, XBE64(b, mdhd.offset + 32));
}

// The 180 s recording of the edge cases: 5400 x 3000 at 90000 and 1400 AAC frames.
TEST_F(TrackBoxes, ThreeMinutesAt30FpsDurations)
{
    CMovieEntry v(5400);
    for (uint32_t i = 0; i < 5400; ++i) {
        ASSERT_TRUE(v.UpdateEntrys(64 + i * 10u, 10, 3000, i % 30 == 0, FALSE));
    }
    CMP4VideoH264Track vt(1);
    tagH264SPSPPS vos = XTestSpsPps();
    ASSERT_TRUE(vt.SetVosData(&vos, sizeof(vos)));
    vt.SetTimes(0x11223344, 0x55667788);
    std::vector<uint8_t> b = WriteTrak(vt, v);

    CBytes tkhd;
    tkhd.u32(92).tag("tkhd").u8(0).u24(0x0F).u32(0x11223344).u32(0x55667788).u32(1).u32(0).u32(180000);
    tkhd.zeros(8).u16(0).u16(0).u16(0).u16(0);
    tkhd.u32(0x10000).u32(0).u32(0).u32(0).u32(0x10000).u32(0).u32(0).u32(0).u32(0x40000000);
    tkhd.u32(1920u << 16).u32(1080u << 16);
    EXPECT_EQ(tkhd.Data(), XBoxBytes(b, XFindBox(b, "trak/tkhd")));

    CBytes mdhd;
    mdhd.u32(32).tag("mdhd").u32(0).u32(0x11223344).u32(0x55667788).u32(90000).u32(16200000).u16(0x55C4).u16(0);
    EXPECT_EQ(mdhd.Data(), XBoxBytes(b, XFindBox(b, "trak/mdia/mdhd")));
    EXPECT_EQ(CBytes().u32(24).tag("stts").u32(0).u32(1).u32(5400).u32(3000).Data(),
              XBoxBytes(b, XFindBox(b, "trak/mdia/minf/stbl/stts")));

    CMovieEntry a(1400);
    for (uint32_t i = 0; i < 1400; ++i) {
        ASSERT_TRUE(a.UpdateEntrys(64 + i * 20u, 20, 1024, i == 0, FALSE));
    }
    CMP4AudioAACTrack at(2);
    at.SetTimeScale(8000);
    at.SetAudioInfo(1, 16, 0);
    b = WriteTrak(at, a);
    tagBox atkhd = XFindBox(b, "trak/tkhd");
    ASSERT_TRUE(atkhd.found);
    EXPECT_EQ(179200u, XBE32(b, atkhd.offset + 28));
    EXPECT_EQ(0x0100, XBE16(b, atkhd.offset + 44)) << "audio volume";
    EXPECT_EQ(0u, XBE32(b, atkhd.offset + 84)) << "audio width";
    tagBox amdhd = XFindBox(b, "trak/mdia/mdhd");
    EXPECT_EQ(8000u, XBE32(b, amdhd.offset + 20));
    EXPECT_EQ(1433600u, XBE32(b, amdhd.offset + 24));
    EXPECT_EQ(CBytes().u32(24).tag("stts").u32(0).u32(1).u32(1400).u32(1024).Data(),
              XBoxBytes(b, XFindBox(b, "trak/mdia/minf/stbl/stts")));
}

// The fixed boxes of both handlers.
TEST_F(TrackBoxes, HandlerAndMediaHeaders)
{
    CMovieEntry e(4);
    Fill(e, {{10, 3000, TRUE}});
    CMP4VideoH264Track vt(1);
    tagH264SPSPPS vos = XTestSpsPps();
    ASSERT_TRUE(vt.SetVosData(&vos, sizeof(vos)));
    std::vector<uint8_t> b = WriteTrak(vt, e);
    CBytes hdlr;
    hdlr.u32(45).tag("hdlr").u32(0).u32(0).tag("vide").zeros(12);
    for (char ch : std::string("VideoHandler")) {
        hdlr.u8(static_cast<uint8_t>(ch));
    }
    hdlr.u8(0);
    EXPECT_EQ(hdlr.Data(), XBoxBytes(b, XFindBox(b, "trak/mdia/hdlr")));
    EXPECT_EQ(CBytes().u32(20).tag("vmhd").u32(1).zeros(8).Data(), XBoxBytes(b, XFindBox(b, "trak/mdia/minf/vmhd")));
    EXPECT_EQ(CBytes().u32(36).tag("dinf").u32(28).tag("dref").u32(0).u32(1).u32(12).tag("url ").u32(1).Data(),
              XBoxBytes(b, XFindBox(b, "trak/mdia/minf/dinf")));
    // Child order of stbl.
    tagBox stbl = XFindBox(b, "trak/mdia/minf/stbl");
    std::vector<std::string> order;
    for (const tagBox& c : XChildren(b, stbl.offset + 8, stbl.offset + static_cast<size_t>(stbl.size))) {
        order.push_back(c.type);
    }
    EXPECT_EQ((std::vector<std::string>{"stsd", "stts", "stss", "stsc", "stsz", "stco"}), order);

    CMP4AudioAACTrack at(2);
    b = WriteTrak(at, e);
    hdlr = CBytes();
    hdlr.u32(45).tag("hdlr").u32(0).u32(0).tag("soun").zeros(12);
    for (char ch : std::string("SoundHandler")) {
        hdlr.u8(static_cast<uint8_t>(ch));
    }
    hdlr.u8(0);
    EXPECT_EQ(hdlr.Data(), XBoxBytes(b, XFindBox(b, "trak/mdia/hdlr")));
    EXPECT_EQ(CBytes().u32(16).tag("smhd").u32(0).u32(0).Data(), XBoxBytes(b, XFindBox(b, "trak/mdia/minf/smhd")));
    stbl = XFindBox(b, "trak/mdia/minf/stbl");
    order.clear();
    for (const tagBox& c : XChildren(b, stbl.offset + 8, stbl.offset + static_cast<size_t>(stbl.size))) {
        order.push_back(c.type);
    }
    EXPECT_EQ((std::vector<std::string>{"stsd", "stts", "stsc", "stsz", "stco"}), order);
}

// ---- language ----

struct tagLangCase {
    const char* code;
    int packed;
    uint16_t stored;
};

void PrintTo(const tagLangCase& c, std::ostream* os)
{
    *os << "\"" << c.code << "\"";
}

class LanguageBoxes : public TrackBoxes, public ::testing::WithParamInterface<tagLangCase> {};

TEST_P(LanguageBoxes, PackedIntoMdhd)
{
    const tagLangCase& c = GetParam();
    EXPECT_EQ(c.packed, CMP4Track::ISO639ToLang(c.code));
    CMovieEntry e(2);
    Fill(e, {{10, 1024, TRUE}});
    CMP4AudioAACTrack t(2);
    t.SetLanguage(c.code);
    std::vector<uint8_t> b = WriteTrak(t, e);
    tagBox mdhd = XFindBox(b, "trak/mdia/mdhd");
    ASSERT_TRUE(mdhd.found);
    EXPECT_EQ(c.stored, XBE16(b, mdhd.offset + 28));
}

INSTANTIATE_TEST_SUITE_P(Codes, LanguageBoxes,
                         ::testing::Values(tagLangCase{"und", 0x55C4, 0x55C4}, tagLangCase{"", 0x55C4, 0x55C4},
                                           tagLangCase{"eng", 0x15C7, 0x15C7}, tagLangCase{"zzz", 0x6B5A, 0x6B5A},
                                           tagLangCase{"Und", -1, 0xFFFF}, tagLangCase{"uNd", -1, 0xFFFF},
                                           tagLangCase{"un", -1, 0xFFFF}, tagLangCase{"\xE9nd", -1, 0xFFFF}));

// ---- sample entries ----

struct tagAvcCase {
    const char* name;
    std::vector<uint8_t> sps;
    std::vector<uint8_t> pps;
    bool accepted;
};

void PrintTo(const tagAvcCase& c, std::ostream* os)
{
    *os << c.name;
}

class AvcCBoxes : public TrackBoxes, public ::testing::WithParamInterface<tagAvcCase> {};

TEST_P(AvcCBoxes, ParameterSetsAndProfileBytes)
{
    const tagAvcCase& c = GetParam();
    tagH264SPSPPS vos;
    memset(&vos, 0, sizeof(vos));
    std::copy_n(c.sps.begin(), std::min<size_t>(c.sps.size(), sizeof(vos.sps)), vos.sps);
    vos.sps_len = static_cast<uint32_t>(c.sps.size());
    std::copy_n(c.pps.begin(), std::min<size_t>(c.pps.size(), sizeof(vos.pps)), vos.pps);
    vos.pps_len = static_cast<uint32_t>(c.pps.size());
    CMP4VideoH264Track t(1);
    ASSERT_EQ(c.accepted ? 1 : 0, t.SetVosData(&vos, sizeof(vos)));
    EXPECT_EQ(c.accepted ? 1 : 0, CMP4VideoH264Track::IsValidSpsPps(&vos));
    if (!c.accepted) {
        return;
    }
    t.SetVideoPictureSize(1280, 720);
    CMovieEntry e(2);
    Fill(e, {{10, 3000, TRUE}});
    std::vector<uint8_t> b = WriteTrak(t, e);

    CBytes avcc;
    avcc.u32(19 + static_cast<uint32_t>(c.sps.size() + c.pps.size())).tag("avcC").u8(1);
    avcc.u8(c.sps[1]).u8(c.sps[2]).u8(c.sps[3]).u8(0xFF).u8(0xE1);
    avcc.u16(static_cast<uint32_t>(c.sps.size())).raw(c.sps).u8(1).u16(static_cast<uint32_t>(c.pps.size())).raw(c.pps);
    CBytes avc1;
    avc1.u32(86 + static_cast<uint32_t>(avcc.Data().size())).tag("avc1").zeros(6).u16(1).u16(0).u16(0).zeros(12);
    avc1.u16(1280).u16(720).u32(0x00480000).u32(0x00480000).u32(0).u16(1).zeros(32).u16(0x18).u16(0xFFFF);
    avc1.raw(avcc.Data());
    EXPECT_EQ(avc1.Data(), XBoxBytes(b, XFindBox(b, "trak/mdia/minf/stbl/stsd/avc1")));
    tagBox stsd = XFindBox(b, "trak/mdia/minf/stbl/stsd");
    EXPECT_EQ(16 + avc1.Data().size(), stsd.size);
    EXPECT_EQ(1u, XBE32(b, stsd.offset + 12)) << "entry_count";
}

std::vector<uint8_t> Bytes(size_t n, uint8_t first)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        v[i] = static_cast<uint8_t>(first + i);
    }
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    Sets, AvcCBoxes,
    ::testing::Values(tagAvcCase{"Typical", {0x67, 0x4D, 0x40, 0x28, 0x95, 0xA0}, {0x68, 0xEE, 0x3C, 0x80}, true},
                      tagAvcCase{"ShortestSps", {0x67, 0x42, 0x00, 0x1F}, {0x68}, true},
                      tagAvcCase{"LongestUnits", Bytes(128, 0x67), Bytes(128, 0x68), true},
                      tagAvcCase{"SpsTooShort", {0x67, 0x42, 0x00}, {0x68}, false},
                      tagAvcCase{"EmptyPps", {0x67, 0x42, 0x00, 0x1F}, {}, false},
                      tagAvcCase{"SpsOver128", Bytes(129, 0x67), {0x68}, false},
                      tagAvcCase{"PpsOver128", {0x67, 0x42, 0x00, 0x1F}, Bytes(129, 0x68), false}),
    [](const ::testing::TestParamInfo<tagAvcCase>& i) { return std::string(i.param.name); });

struct tagEsdsCase {
    const char* name;
    std::vector<uint8_t> asc;
    uint32_t frames;
    uint32_t frameSize;
    uint32_t avgBitrate;
};

void PrintTo(const tagEsdsCase& c, std::ostream* os)
{
    *os << c.name;
}

class EsdsBoxes : public TrackBoxes, public ::testing::WithParamInterface<tagEsdsCase> {};

TEST_P(EsdsBoxes, DescriptorsInFourByteForm)
{
    const tagEsdsCase& c = GetParam();
    CMP4AudioAACTrack t(2);
    t.SetTimeScale(8000);
    t.SetAudioInfo(1, 16, 0);
    ASSERT_TRUE(t.SetVosData(c.asc.data(), static_cast<int>(c.asc.size())));
    CMovieEntry e(c.frames + 1);
    std::vector<tagSample> samples(c.frames, tagSample{c.frameSize, 1024, FALSE});
    Fill(e, samples);
    std::vector<uint8_t> b = WriteTrak(t, e);

    const uint32_t len = static_cast<uint32_t>(c.asc.size());
    const uint32_t d = len > 0 ? len + 5 : 0;
    CBytes esds;
    esds.u32(44 + d).tag("esds").u32(0);
    esds.u8(3).u8(0x80).u8(0x80).u8(0x80).u8(d + 27).u16(2).u8(0);
    esds.u8(4).u8(0x80).u8(0x80).u8(0x80).u8(d + 13).u8(0x40).u8(0x15).u24(0).u32(64000).u32(c.avgBitrate);
    if (len > 0) {
        esds.u8(5).u8(0x80).u8(0x80).u8(0x80).u8(len).raw(c.asc);
    }
    esds.u8(6).u8(0x80).u8(0x80).u8(0x80).u8(1).u8(2);
    CBytes mp4a;
    mp4a.u32(36 + static_cast<uint32_t>(esds.Data().size())).tag("mp4a").zeros(6).u16(1).zeros(8);
    mp4a.u16(1).u16(16).u16(0).u16(0).u32(0x1F400000).raw(esds.Data());
    EXPECT_EQ(mp4a.Data(), XBoxBytes(b, XFindBox(b, "trak/mdia/minf/stbl/stsd/mp4a")));
}

INSTANTIATE_TEST_SUITE_P(
    Configs, EsdsBoxes,
    ::testing::Values(tagEsdsCase{"RecorderConfig", {0x15, 0x88}, 1400, 20, 1250},  // 51-byte esds
                      tagEsdsCase{"NoConfig", {}, 10, 100, 6250},
                      tagEsdsCase{"FiveByteConfig", {0x12, 0x10, 0x56, 0xE5, 0x00}, 3, 7, 437},
                      tagEsdsCase{"NoSamples", {0x15, 0x88}, 0, 0, 0}),
    [](const ::testing::TestParamInfo<tagEsdsCase>& i) { return std::string(i.param.name); });

TEST(TrackSetup, AudioConfigOver128BytesIsRefused)
{
    CMP4AudioAACTrack t(2);
    std::vector<uint8_t> big(129, 1);
    EXPECT_FALSE(t.SetVosData(big.data(), 129));
    EXPECT_TRUE(t.SetVosData(big.data(), 128));
    EXPECT_EQ(128, t.GetSpecificInfo().size);
    EXPECT_FALSE(t.SetVosData(big.data(), -1));
}

// ---- chunk offsets ----

struct tagStcoCase {
    const char* name;
    uint64_t moovAt;     // where the trak is written
    uint64_t lastChunk;  // offset of the last chunk
    bool co64;
};

void PrintTo(const tagStcoCase& c, std::ostream* os)
{
    *os << c.name;
}

class StcoBoxes : public ::testing::TestWithParam<tagStcoCase> {};

// stco while every chunk starts below 4 GiB (so always for a moov below
// 4 GiB, even when the file grows past it), co64 otherwise.
TEST_P(StcoBoxes, OffsetWidthFollowsChunkPositions)
{
    const tagStcoCase& c = GetParam();
    CScratchDir dir;
    std::string path = dir / "sparse.bin";
    CByteIOFile io;
    ASSERT_EQ(0, io.Open(path.c_str(), FALSE));
    ASSERT_EQ(static_cast<int64_t>(c.moovAt), io.URLFSeek(static_cast<int64_t>(c.moovAt), 0));
    CMovieEntry e(4);
    ASSERT_TRUE(e.UpdateEntrys(64, 10, 3000, TRUE, FALSE));
    ASSERT_TRUE(e.UpdateEntrys(0xFFFFFF00ull - 0x10000, 10, 3000, TRUE, FALSE));
    ASSERT_TRUE(e.UpdateEntrys(c.lastChunk, 10, 3000, FALSE, TRUE));
    CMP4VideoH264Track t(1);
    tagH264SPSPPS vos = XTestSpsPps();
    ASSERT_TRUE(t.SetVosData(&vos, sizeof(vos)));
    int64_t size = t.WriteTrakTag(&io, &e);
    ASSERT_GT(size, 0);
    ASSERT_TRUE(io.FlushBuffer());
    io.Close();
    std::vector<uint8_t> b = XReadRange(path, c.moovAt, static_cast<size_t>(size));
    ASSERT_EQ(static_cast<size_t>(size), b.size());
    tagBox box = XFindBox(b, c.co64 ? "trak/mdia/minf/stbl/co64" : "trak/mdia/minf/stbl/stco");
    ASSERT_TRUE(box.found);
    if (c.co64) {
        EXPECT_EQ(CBytes().u32(40).tag("co64").u32(0).u32(3).u64(64).u64(0xFFFFFF00ull - 0x10000).u64(c.lastChunk).Data(),
                  XBoxBytes(b, box));
    } else {
        EXPECT_EQ(CBytes().u32(28).tag("stco").u32(0).u32(3).u32(64).u32(0xFFFFFF00u - 0x10000).u32(
                           static_cast<uint32_t>(c.lastChunk)).Data(),
                  XBoxBytes(b, box));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Positions, StcoBoxes,
    ::testing::Values(tagStcoCase{"MoovCrosses4GiB", 0xFFFFFF00ull, 0xFFFFFE00ull, false},
                      tagStcoCase{"MoovBeyondChunksBelow", 0x100001000ull, 0xFFFFFFFFull, false},
                      tagStcoCase{"ChunkAt4GiB", 0x100001000ull, 0x100000000ull, true}),
    [](const ::testing::TestParamInfo<tagStcoCase>& i) { return std::string(i.param.name); });

// ---- version choice ----

struct tagVersionCase {
    const char* name;
    uint32_t duration;  // one sample at 90000
    uint32_t tkhdSize;
    uint32_t mdhdSize;
    uint32_t mvhdSize;
};

void PrintTo(const tagVersionCase& c, std::ostream* os)
{
    *os << c.name;
}

class VersionBoxes : public ::testing::TestWithParam<tagVersionCase> {};

TEST_P(VersionBoxes, SixtyFourBitFieldsFromTheThresholds)
{
    const tagVersionCase& c = GetParam();
    CScratchDir dir;
    CMP4Muxer mux;
    std::string path = dir / "v.mp4";
    ASSERT_TRUE(XOpenTestMuxer(mux, path));
    std::vector<uint8_t> s = XMarkedSample('V', 0, 16);
    ASSERT_TRUE(mux.WriteVideoPacket(s.data(), 16, c.duration, TRUE));
    ASSERT_TRUE(mux.WriteTrailer(nullptr));
    std::vector<uint8_t> b = XReadAll(path);
    tagBox mvhd = XFindBox(b, "moov/mvhd");
    tagBox tkhd = XFindBox(b, "moov/trak/tkhd");
    tagBox mdhd = XFindBox(b, "moov/trak/mdia/mdhd");
    ASSERT_TRUE(mvhd.found && tkhd.found && mdhd.found);
    EXPECT_EQ(c.mvhdSize, mvhd.size);
    EXPECT_EQ(c.tkhdSize, tkhd.size);
    EXPECT_EQ(c.mdhdSize, mdhd.size);
    const uint64_t movie = static_cast<uint64_t>(c.duration) / 90;
    if (c.mvhdSize == 120) {
        EXPECT_EQ(1, b[mvhd.offset + 8]);
        EXPECT_EQ(1000u, XBE32(b, mvhd.offset + 28));
        EXPECT_EQ(movie, XBE64(b, mvhd.offset + 32));
        EXPECT_EQ(2u, XBE32(b, mvhd.offset + 116));
    } else {
        EXPECT_EQ(0, b[mvhd.offset + 8]);
        EXPECT_EQ(1000u, XBE32(b, mvhd.offset + 20));
        EXPECT_EQ(movie, XBE32(b, mvhd.offset + 24));
        EXPECT_EQ(2u, XBE32(b, mvhd.offset + 104));
    }
    if (c.mdhdSize == 44) {
        EXPECT_EQ(static_cast<uint64_t>(c.duration), XBE64(b, mdhd.offset + 32));
        EXPECT_EQ(movie, XBE64(b, tkhd.offset + 36));
        EXPECT_EQ(1u, XBE32(b, tkhd.offset + 28)) << "track_ID";
    } else {
        EXPECT_EQ(c.duration, XBE32(b, mdhd.offset + 24));
        EXPECT_EQ(movie, XBE32(b, tkhd.offset + 28));
    }
}

INSTANTIATE_TEST_SUITE_P(Durations, VersionBoxes,
                         ::testing::Values(tagVersionCase{"Small", 3000, 92, 32, 108},
                                           tagVersionCase{"BelowTrackLimit", 0x7FFFFFFE, 92, 32, 108},
                                           tagVersionCase{"TrackLimit", 0x7FFFFFFF, 104, 44, 108},
                                           tagVersionCase{"BelowMovieLimit", 0xFFFFFFFE, 104, 44, 108},
                                           tagVersionCase{"MovieLimit", 0xFFFFFFFF, 104, 44, 120}),
                         [](const ::testing::TestParamInfo<tagVersionCase>& i) { return std::string(i.param.name); });

}  // namespace
