#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <sstream>
#include <string>
#include <vector>

#include "Record/Index/AssociatedData.h"
#include "Record/MP4/MP4File.h"
#include "Record/MP4/MP4TestFile.h"

namespace {

using namespace mp4test;

// Packets as the engine hands them over, with payloads that name themselves.
class CPackets {
public:
    tagMediaDataInfo Video(uint32_t serial, bool iframe, uint32_t size = 200)
    {
        m_Payloads.push_back(XMarkedSample('V', m_nVideo++, size));
        return Make(serial, iframe ? 3 : 4, 1);
    }
    tagMediaDataInfo Audio(uint32_t serial, uint32_t size = 30)
    {
        m_Payloads.push_back(XMarkedSample('A', m_nAudio++, size));
        return Make(serial, 0, 0);
    }
    // The sample numbers handed out follow the accepted packets only.
    void Unsend(char track)
    {
        (track == 'V' ? m_nVideo : m_nAudio)--;
    }

private:
    tagMediaDataInfo Make(uint32_t serial, int frameType, int avType)
    {
        tagMediaDataInfo p;
        memset(&p, 0, sizeof(p));
        p.nFrameSerial = serial;
        p.nTimestamp2 = 1000000ull + 33333ull * serial;
        p.emFrameType = frameType;
        p.emAVType = avType;
        p.nDataSize = static_cast<uint32_t>(m_Payloads.back().size());
        p.lpData = m_Payloads.back().data();
        return p;
    }
    std::list<std::vector<uint8_t>> m_Payloads;
    uint32_t m_nVideo = 0;
    uint32_t m_nAudio = 0;
};

// Samples in file order, "V0 A0 ..."; "?" for an entry pointing elsewhere.
std::string FileOrderOf(const std::vector<uint8_t>& b, const std::string& path)
{
    std::vector<std::pair<uint64_t, std::string>> all;
    for (int t = 0; t < 2; ++t) {
        const char letter = t == 0 ? 'V' : 'A';
        std::vector<tagSampleRef> map = XSampleMap(b, t);
        for (size_t i = 0; i < map.size(); ++i) {
            bool ok = XReadRange(path, map[i].offset, map[i].size) ==
                      XMarkedSample(letter, static_cast<uint32_t>(i), map[i].size);
            all.emplace_back(map[i].offset, ok ? letter + std::to_string(i) : std::string("?"));
        }
    }
    std::sort(all.begin(), all.end());
    std::string out;
    for (const auto& e : all) {
        out += (out.empty() ? "" : " ") + e.second;
    }
    return out;
}

class MP4FileTest : public ::testing::Test {
protected:
    BOOL Start(const std::string& name, int fps = 30, emRecordFileType type = emRecordFileType_Common,
               const TimeTypeMappingNode* list = nullptr, unsigned thumb = 600)
    {
        tagH264SPSPPS vos = XTestSpsPps();
        return m_File.StartRecord((m_Dir / name).c_str(), fps * 3000, fps, 1920, 1080, list, thumb, type, &vos);
    }
    std::vector<uint8_t> Read(const std::string& name) { return XReadAll(m_Dir / name); }
    bool Exists(const std::string& name)
    {
        struct stat st;
        return stat((m_Dir / name).c_str(), &st) == 0;
    }

    CScratchDir m_Dir;
    CMP4File m_File;
};

struct tagVosCase {
    const char* name;
    uint32_t spsLen;
    uint32_t ppsLen;
    bool null;
};

void PrintTo(const tagVosCase& c, std::ostream* os)
{
    *os << c.name;
}

class StartRecordRefuses : public MP4FileTest, public ::testing::WithParamInterface<tagVosCase> {};

// Parameter sets that cannot make an avcC are refused before a file exists.
TEST_P(StartRecordRefuses, BadParameterSets)
{
    const tagVosCase& c = GetParam();
    tagH264SPSPPS vos = XTestSpsPps();
    vos.sps_len = c.spsLen;
    vos.pps_len = c.ppsLen;
    EXPECT_FALSE(m_File.StartRecord((m_Dir / "x.mp4").c_str(), 90000, 30, 1920, 1080, nullptr, 600,
                                    emRecordFileType_Common, c.null ? nullptr : &vos));
    EXPECT_FALSE(Exists("x.mp4"));
    EXPECT_EQ(0, m_File.GetFlag() & emRecordFileFlag_Recording);
    tagMediaDataInfo p;
    memset(&p, 0, sizeof(p));
    EXPECT_FALSE(m_File.WriteVideoPacket(&p)) << "not recording";
    EXPECT_FALSE(m_File.StopRecord());
}

INSTANTIATE_TEST_SUITE_P(Sets, StartRecordRefuses,
                         ::testing::Values(tagVosCase{"ShortSps", 3, 4, false}, tagVosCase{"EmptySps", 0, 4, false},
                                           tagVosCase{"EmptyPps", 9, 0, false},
                                           tagVosCase{"SpsOverflow", 129, 4, false},
                                           tagVosCase{"PpsOverflow", 9, 4000, false},
                                           tagVosCase{"Missing", 9, 4, true}),
                         [](const ::testing::TestParamInfo<tagVosCase>& i) { return std::string(i.param.name); });

TEST_F(MP4FileTest, StartSetsTheFileState)
{
    m_File.SetFlag(emRecordFileFlag_StartNext | emRecordFileFlag_Pack | emRecordFileFlag_NeedThumb |
                   emRecordFileFlag_Continuous);
    const unsigned context = m_File.GetContext();
    ASSERT_TRUE(Start("a.mp4", 25));
    EXPECT_EQ(emRecordFileFlag_Recording | emRecordFileFlag_NeedTitle | emRecordFileFlag_Continuous,
              m_File.GetFlag());
    EXPECT_EQ(context + 1, m_File.GetContext());
    EXPECT_EQ(25, m_File.GetFps());
    EXPECT_EQ(0u, m_File.GetErrorCount());
    EXPECT_EQ(64u, m_File.GetFileSize());
    CPackets pk;
    tagMediaDataInfo v = pk.Video(1, true);
    ASSERT_TRUE(m_File.WriteVideoPacket(&v));
    EXPECT_EQ(64u + 200u, m_File.GetFileSize());
    EXPECT_EQ(1033u, m_File.GetStartTime()) << "arrival of the first frame, ms";
    ASSERT_TRUE(m_File.StopRecord());
    EXPECT_EQ(0u, m_File.GetFileSize());
    EXPECT_EQ(emRecordFileFlag_Continuous | emRecordFileFlag_StartNext, m_File.GetFlag());
    EXPECT_EQ(static_cast<int64_t>(Read("a.mp4").size()), m_File.GetTotalSize());
    EXPECT_FALSE(m_File.StopRecord()) << "nothing open";
}

// ---- serial numbers ----

struct tagSerialCase {
    const char* name;
    std::string script;            // V<serial> or A<serial>, separated by spaces
    std::vector<int> accepted;     // 1 taken, 0 dropped, per packet
    std::string order;
};

void PrintTo(const tagSerialCase& c, std::ostream* os)
{
    *os << c.name;
}

class Serials : public MP4FileTest, public ::testing::WithParamInterface<tagSerialCase> {};

TEST_P(Serials, RepeatsDroppedFirstPacketsTaken)
{
    const tagSerialCase& c = GetParam();
    ASSERT_TRUE(Start("s.mp4"));
    CPackets pk;
    std::stringstream ss(c.script);
    std::string tok;
    std::vector<int> got;
    bool firstVideo = true;
    while (ss >> tok) {
        uint32_t serial = static_cast<uint32_t>(std::stoul(tok.substr(1)));
        const unsigned before = m_File.GetTotalFrames();
        if (tok[0] == 'V') {
            tagMediaDataInfo p = pk.Video(serial, firstVideo);
            firstVideo = false;
            ASSERT_TRUE(m_File.WriteVideoPacket(&p));
            got.push_back(m_File.GetTotalFrames() != before ? 1 : 0);
            if (got.back() == 0) {
                pk.Unsend('V');
            }
        } else {
            tagMediaDataInfo p = pk.Audio(serial);
            const CMP4Muxer* mux = m_File.GetMuxer();
            const uint32_t held = mux->GetAudioClusters()->GetEntrys() + static_cast<uint32_t>(mux->GetHeldAudioFrames());
            ASSERT_TRUE(m_File.WriteAudioPacket(&p));
            if (mux->GetAudioClusters()->GetEntrys() + static_cast<uint32_t>(mux->GetHeldAudioFrames()) == held) {
                pk.Unsend('A');
            }
            got.push_back(-1);
        }
    }
    ASSERT_TRUE(m_File.StopRecord());
    EXPECT_EQ(0u, m_File.GetErrorCount());
    std::vector<int> videoOnly;
    for (int g : got) {
        if (g >= 0) {
            videoOnly.push_back(g);
        }
    }
    EXPECT_EQ(c.accepted, videoOnly);
    EXPECT_EQ(c.order, FileOrderOf(Read("s.mp4"), m_Dir / "s.mp4"));
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, Serials,
    ::testing::Values(
        // An encoder restart gives serial 0: the opening I-frame and audio are kept.
        tagSerialCase{"FirstSerialZero", "A0 V0 V1 A1 V2", {1, 1, 1}, "A0 V0 V1 V2 A1"},
        tagSerialCase{"RepeatDropped", "V5 V6 V6 V7", {1, 1, 0, 1}, "V0 V1 V2"},
        // After a repeat the next packet is taken whatever its serial, 0 included.
        tagSerialCase{"ZeroAfterRepeat", "V5 V6 V6 V0 V1", {1, 1, 0, 1, 1}, "V0 V1 V2 V3"},
        tagSerialCase{"RepeatAfterReset", "V5 V6 V6 V3 V3", {1, 1, 0, 1, 0}, "V0 V1 V2"},
        tagSerialCase{"OlderSerialDropped", "V9 V4 V10", {1, 0, 1}, "V0 V1"},
        // Audio repeats are dropped; a video repeat lets the next audio through.
        tagSerialCase{"AudioRepeat", "V1 A3 A3 A2 A4", {1}, "V0 A0 A1"},
        tagSerialCase{"AudioAfterVideoRepeat", "V1 A7 V1 A0 V2", {1, 0, 1}, "V0 V1 A0 A1"}),
    [](const ::testing::TestParamInfo<tagSerialCase>& i) { return std::string(i.param.name); });

// ---- sample tables ----

// Parking mode first (1 fps) and then 30 fps: the tables follow every start.
TEST_F(MP4FileTest, TablesGrowWithTheFrameRate)
{
    ASSERT_TRUE(Start("park.mp4", 1));
    const uint32_t parked = m_File.GetMuxer()->GetVideoClusters()->GetMaxFrames();
    EXPECT_GE(parked, 256u + 2u);
    ASSERT_TRUE(m_File.StopRecord());

    ASSERT_TRUE(Start("loop.mp4", 30));
    EXPECT_GE(m_File.GetMuxer()->GetVideoClusters()->GetMaxFrames(), 30u * 256u + 60u);
    CPackets pk;
    for (uint32_t i = 1; i <= 30 * 256 + 30; ++i) {
        tagMediaDataInfo p = pk.Video(i, i % 30 == 1, 8);
        ASSERT_TRUE(m_File.WriteVideoPacket(&p)) << i;
    }
    EXPECT_EQ(0u, m_File.GetErrorCount());
    EXPECT_EQ(0, m_File.GetFlag() & emRecordFileFlag_Pack);
    ASSERT_TRUE(m_File.StopRecord());
    std::vector<uint8_t> b = Read("loop.mp4");
    EXPECT_EQ(30u * 256u + 30u, XSampleMap(b, 0).size());
}

// A full table asks for a pack and drops the frame without counting errors.
TEST_F(MP4FileTest, FullTableAsksForPack)
{
    ASSERT_TRUE(Start("full.mp4", 1));
    const uint32_t cap = m_File.GetMuxer()->GetVideoClusters()->GetMaxFrames();
    CPackets pk;
    for (uint32_t i = 1; i <= cap + 5; ++i) {
        tagMediaDataInfo p = pk.Video(i, true, 8);
        ASSERT_TRUE(m_File.WriteVideoPacket(&p)) << i;
    }
    EXPECT_EQ(0u, m_File.GetErrorCount());
    EXPECT_NE(0, m_File.GetFlag() & emRecordFileFlag_Pack);
    EXPECT_TRUE(m_File.CheckPack());
    EXPECT_EQ(cap, XSampleMap(Read("full.mp4"), 0).size());
}

// ---- write failures ----

class OneFailedWrite : public MP4FileTest, public ::testing::WithParamInterface<int> {};

// One failed sample write (none of it, or a part, reaches the file) is one
// write error; the frames after it that wait for the key frame are dropped
// without errors and are not counted; the file holds and counts what was
// written.
TEST_P(OneFailedWrite, OnlyTheLostFrameIsAnError)
{
    ASSERT_TRUE(Start("e.mp4"));
    CPackets pk;
    uint32_t serial = 0;
    for (int i = 0; i < 3; ++i) {
        tagMediaDataInfo p = pk.Video(++serial, i == 0);
        ASSERT_TRUE(m_File.WriteVideoPacket(&p));
    }
    tagMediaDataInfo a = pk.Audio(1);
    ASSERT_TRUE(m_File.WriteAudioPacket(&a));
    const int left = m_File.GetLeftFrames();
    const uint64_t size = m_File.GetFileSize();
    testing::internal::CaptureStderr();
    {
        CFileSizeLimit limit(static_cast<rlim_t>(size + static_cast<uint64_t>(GetParam())));
        ASSERT_TRUE(limit.Ok());
        tagMediaDataInfo p = pk.Video(++serial, false);
        EXPECT_FALSE(m_File.WriteVideoPacket(&p));
        pk.Unsend('V');
    }
    EXPECT_NE(testing::internal::GetCapturedStderr().find("MP4 WriteVideoPacket() failed"), std::string::npos);
    EXPECT_EQ(1u, m_File.GetErrorCount());
    EXPECT_EQ(size, m_File.GetFileSize()) << "nothing of the lost frame stays";
    for (int i = 0; i < 5; ++i) {
        tagMediaDataInfo p = pk.Video(++serial, false);
        EXPECT_TRUE(m_File.WriteVideoPacket(&p)) << "dropped, not an error";
        pk.Unsend('V');
    }
    EXPECT_EQ(1u, m_File.GetErrorCount());
    EXPECT_EQ(3u, m_File.GetTotalFrames());
    EXPECT_EQ(left, m_File.GetLeftFrames());
    EXPECT_EQ(size, m_File.GetFileSize());
    for (int i = 0; i < 2; ++i) {
        tagMediaDataInfo p = pk.Video(++serial, i == 0);
        ASSERT_TRUE(m_File.WriteVideoPacket(&p));
    }
    EXPECT_EQ(1u, m_File.GetErrorCount());
    EXPECT_EQ(5u, m_File.GetTotalFrames());
    EXPECT_EQ(left - 2, m_File.GetLeftFrames());
    EXPECT_EQ(0, m_File.GetFlag() & emRecordFileFlag_Pack);
    ASSERT_TRUE(m_File.StopRecord());
    std::vector<uint8_t> b = Read("e.mp4");
    EXPECT_EQ(5u, XSampleMap(b, 0).size());
    EXPECT_EQ("V0 V1 V2 A0 V3 V4", FileOrderOf(b, (m_Dir / "e.mp4")));
    // The lost frame and the 5 dropped ones stay as time on V2: the key
    // frame after them keeps its place (frame 9 at 9 x 3000).
    EXPECT_EQ((std::vector<uint32_t>{3, 2, 3000, 1, 7 * 3000, 2, 3000}),
              XBoxWords(b, XFindBox(b, "moov/trak[0]/mdia/minf/stbl/stts"), 0));
    EXPECT_EQ(11u * 3000u, XBE32(b, XFindBox(b, "moov/trak[0]/mdia/mdhd").offset + 24));
    EXPECT_EQ(11u * 3000u / 90u, XBE32(b, XFindBox(b, "moov/trak[0]/tkhd").offset + 28));
    EXPECT_EQ(11u * 3000u / 90u, XBE32(b, XFindBox(b, "moov/mvhd").offset + 24));
}

INSTANTIATE_TEST_SUITE_P(Writes, OneFailedWrite, ::testing::Values(0, 77),
                         [](const ::testing::TestParamInfo<int>& i) {
                             return std::string(i.param == 0 ? "NothingWritten" : "ShortWrite");
                         });

// ---- alarm files ----

TEST_F(MP4FileTest, AlarmFileCarriesTriggersAndSnapshots)
{
    TimeTypeMappingNode second = {300, emRecordTriggerType_AcceleratorAlarm, nullptr};
    TimeTypeMappingNode first = {200, emRecordTriggerType_GestureAlarm, &second};
    ASSERT_TRUE(Start("alarm.mp4", 30, emRecordFileType_Alarm, &first));
    EXPECT_EQ(300, m_File.GetLeftFrames());

    CAssociatedDataManager* pool = CAssociatedDataManager::instance();
    ASSERT_NE(nullptr, pool);
    CAssociatedData* a = pool->GetNode();
    CAssociatedData* b = pool->GetNode();
    ASSERT_TRUE(a && b);
    a->SetRecType('G');
    a->SetRecTime(RECTIME::Make(26, 1, 2, 3, 4, 5));
    a->SetRecIndex(0);
    a->SetGPSPosition("N22.54,E113.95");
    b->SetRecType('A');
    b->SetRecTime(RECTIME::Make(26, 1, 2, 3, 4, 6));
    b->SetRecIndex(2);
    a->SetNext(b);
    m_File.SetAssociatedData(a);

    CPackets pk;
    tagMediaDataInfo v = pk.Video(1, true);
    ASSERT_TRUE(m_File.WriteVideoPacket(&v));
    ASSERT_TRUE(m_File.StopRecord());
    EXPECT_EQ(0, m_File.GetFlag() & emRecordFileFlag_NeedThumb) << "alarm files take no thumbnails";

    std::vector<uint8_t> f = Read("alarm.mp4");
    tagBox skip = XFindBox(f, "skip");
    ASSERT_TRUE(skip.found);
    EXPECT_EQ(186u, skip.size);
    EXPECT_EQ(CBytes().u32(16).tag("altg").u32(0).u32(6).Data(),
              std::vector<uint8_t>(f.begin() + static_cast<long>(skip.offset) + 8,
                                   f.begin() + static_cast<long>(skip.offset) + 24));
    const size_t rec = skip.offset + 24 + 16;
    EXPECT_EQ('G', f[rec]);
    EXPECT_EQ(RECTIME::Make(26, 1, 2, 3, 4, 5).value, XBE32(f, rec + 1));
    EXPECT_EQ(0u, XBE32(f, rec + 5));
    EXPECT_EQ("N22.54,E113.95", std::string(reinterpret_cast<const char*>(&f[rec + 9])));
    EXPECT_EQ('A', f[rec + 73]);
    EXPECT_EQ(2u, XBE32(f, rec + 73 + 5));
    // The records stay the file's: the next start gives them back to the pool.
    CAssociatedData* head = nullptr;
    m_File.GetAssociatedData(head, FALSE);
    EXPECT_EQ(a, head);
}

TEST_F(MP4FileTest, CommonFilesAskForThumbnails)
{
    ASSERT_TRUE(Start("t.mp4", 30, emRecordFileType_Common, nullptr, 3));
    CPackets pk;
    for (uint32_t i = 1; i <= 2; ++i) {
        tagMediaDataInfo p = pk.Video(i, i == 1);
        ASSERT_TRUE(m_File.WriteVideoPacket(&p));
    }
    EXPECT_EQ(0, m_File.GetFlag() & emRecordFileFlag_NeedThumb);
    tagMediaDataInfo p = pk.Video(3, false);
    ASSERT_TRUE(m_File.WriteVideoPacket(&p));
    EXPECT_NE(0, m_File.GetFlag() & emRecordFileFlag_NeedThumb);
}

// A file left open is finished, not lost: by the next start or the destructor.
TEST_F(MP4FileTest, OpenFilesAreFinished)
{
    ASSERT_TRUE(Start("one.mp4"));
    CPackets pk;
    tagMediaDataInfo v = pk.Video(1, true);
    ASSERT_TRUE(m_File.WriteVideoPacket(&v));
    ASSERT_TRUE(Start("two.mp4"));
    EXPECT_TRUE(XFindBox(Read("one.mp4"), "moov").found);
    {
        CMP4File other;
        tagH264SPSPPS vos = XTestSpsPps();
        ASSERT_TRUE(other.StartRecord((m_Dir / "three.mp4").c_str(), 90000, 30, 1920, 1080, nullptr, 600,
                                      emRecordFileType_Common, &vos));
        CPackets pk2;
        tagMediaDataInfo p = pk2.Video(1, true);
        ASSERT_TRUE(other.WriteVideoPacket(&p));
    }
    EXPECT_TRUE(XFindBox(Read("three.mp4"), "moov").found);
}

TEST_F(MP4FileTest, HeaderFailureLeavesNoRecording)
{
    tagH264SPSPPS vos = XTestSpsPps();
    EXPECT_FALSE(m_File.StartRecord((m_Dir / "missing/dir/x.mp4").c_str(), 90000, 30, 1920, 1080, nullptr, 600,
                                    emRecordFileType_Common, &vos));
    EXPECT_EQ(0, m_File.GetFlag() & emRecordFileFlag_Recording);
    // The next start works.
    EXPECT_TRUE(Start("ok.mp4"));
}

}  // namespace
