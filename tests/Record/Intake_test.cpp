// Packet intake: stream records in, cache entries out through the engine's
// sink, on small rings.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "Function/common.h"
#include "Record/RecordIntake.h"
#include "support/TestBoard.h"

namespace {

typedef std::vector<uint8_t> Bytes;

struct tagSeen {
    int av;
    int frameType;
    uint32_t serial;
    uint64_t pts;
    uint64_t arrival;
    uint32_t width;
    uint32_t height;
    int channel;
    int fps;
    uint32_t sample;
    Bytes data;
};

class CCollectSink : public CRecordPacketSink {
public:
    std::vector<tagSeen> seen;
    BOOL ProcessPacket(const tagMediaDataInfo* p) override
    {
        tagSeen s;
        s.av = p->emAVType;
        s.frameType = p->emFrameType;
        s.serial = p->nFrameSerial;
        s.pts = p->nTimestamp;
        s.arrival = p->nTimestamp2;
        s.width = p->nPicWidth;
        s.height = p->nPicHeight;
        s.channel = p->nChannel;
        s.fps = p->nFrameRate;
        s.sample = p->sample;
        s.data.assign(p->lpData, p->lpData + p->nDataSize);
        seen.push_back(s);
        return TRUE;
    }
    std::string Kinds() const
    {
        std::string k;
        for (const tagSeen& s : seen) {
            k += "AVI"[s.av];
        }
        return k;
    }
};

uint64_t g_TestClock = 0;
uint64_t TestClock()
{
    return g_TestClock;
}

// A NAL unit with a 4-byte start code: header byte, then `body` bytes.
Bytes Pack(uint8_t header, size_t body, uint8_t fill = 0x5A)
{
    Bytes b = {0, 0, 0, 1, header};
    b.insert(b.end(), body, fill);
    return b;
}

Bytes BE32(uint32_t v)
{
    return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
            static_cast<uint8_t>(v)};
}

// An ADTS frame of `payload` bytes; `crc` adds the 2 CRC bytes (9-byte header).
Bytes Adts(size_t payload, bool crc = false, uint8_t fill = 0x33)
{
    const size_t header = crc ? 9 : 7;
    const size_t len = header + payload;
    Bytes b(header, 0);
    b[0] = 0xFF;
    b[1] = crc ? 0xF0 : 0xF1;
    b[2] = 0x58;  // AAC-LC, 8000 Hz
    b[3] = static_cast<uint8_t>(0x40 | ((len >> 11) & 0x03));
    b[4] = static_cast<uint8_t>(len >> 3);
    b[5] = static_cast<uint8_t>(((len & 0x07) << 5) | 0x1F);
    b[6] = 0xFC;
    b.insert(b.end(), payload, fill);
    return b;
}

tagChannelConfig Config(AVData_Type av)
{
    tagChannelConfig c;
    memset(&c, 0, sizeof(c));
    c.av_type = av;
    if (av == AVDATA_TYPE_VIDEO) {
        c.enc = PT_H264;
        c.res = PIC_HD1080;
        c.width = 1920;
        c.height = 1080;
        c.fps = 30;
        c.gop = 30;
        c.channel_id = 0;
    } else if (av == AVDATA_TYPE_IMAGE) {
        c.enc = PT_JPEG;
        c.res = PIC_QCIF;
        c.width = 176;
        c.height = 120;
        c.fps = 1;
        c.channel_id = 3;
    } else {
        c.enc = PT_AAC;
        c.channel_id = 4;
        c.sample = 8000;
        c.channel = 1;
        c.bit_width = 16;
    }
    return c;
}

class IntakeTest : public ::testing::Test {
protected:
    void SetUp() override { Make(64 * 1024, 0); }

    // A fresh ring of `ringSize` bytes holding back `caching` video frames.
    void Make(uint32_t ringSize, uint32_t caching)
    {
        m_lpIntake.reset();
        m_lpRing.reset(new CRecordRingBuffer(ringSize));
        m_Sink.seen.clear();
        m_lpIntake.reset(new CRecordIntake(*m_lpRing, &m_Sink));
        m_lpIntake->SetCachingTime(caching);
        m_lpIntake->SetClock(TestClock);
        g_TestClock = 1000000;
    }

    void Video(const std::vector<Bytes>& packs, uint32_t seq, BOOL parking = FALSE, uint64_t pts = 0)
    {
        Stream(packs, seq, m_Video, parking, pts);
    }
    void Jpeg(const std::vector<Bytes>& packs, uint32_t seq, BOOL parking = FALSE)
    {
        Stream(packs, seq, m_Jpeg, parking, 0);
    }
    void Audio(const Bytes& data, uint32_t seq, BOOL parking = FALSE)
    {
        Bytes copy = data;
        AUDIO_STREAM_S s;
        memset(&s, 0, sizeof(s));
        s.pStream = copy.data();
        s.u32Len = static_cast<uint32_t>(copy.size());
        s.u64TimeStamp = 77;
        s.u32Seq = seq;
        m_lpIntake->IncommingPacket(&s, &m_Audio, parking);
    }
    // One P frame of one slice, and one audio frame.
    void Frame(uint32_t seq, BOOL withAudio = TRUE)
    {
        Video({Pack(0x41, 16)}, seq);
        if (withAudio) {
            Audio(Adts(8), seq);
        }
    }

    std::vector<Bytes> m_LastPacks;  // what the caller handed over last
    std::unique_ptr<CRecordRingBuffer> m_lpRing;
    CCollectSink m_Sink;
    std::unique_ptr<CRecordIntake> m_lpIntake;
    tagChannelConfig m_Video = Config(AVDATA_TYPE_VIDEO);
    tagChannelConfig m_Jpeg = Config(AVDATA_TYPE_IMAGE);
    tagChannelConfig m_Audio = Config(AVDATA_TYPE_AUDIO);

private:
    void Stream(const std::vector<Bytes>& packs, uint32_t seq, const tagChannelConfig& cfg, BOOL parking,
                uint64_t pts)
    {
        m_LastPacks = packs;
        std::vector<VENC_PACK_S> p(packs.size());
        for (size_t i = 0; i < packs.size(); ++i) {
            memset(&p[i], 0, sizeof(p[i]));
            p[i].pu8Addr = m_LastPacks[i].data();
            p[i].u32Len = static_cast<uint32_t>(m_LastPacks[i].size());
            p[i].u64PTS = pts + i;
        }
        VENC_STREAM_S s;
        s.pstPack = p.data();
        s.u32PackCount = static_cast<uint32_t>(p.size());
        s.u32Seq = seq;
        m_lpIntake->IncommingPacket(&s, &cfg, parking);
        g_TestClock += 33333;
    }
};

struct tagNalCase {
    uint8_t header;
    char expect;  // 'I' or 'P' stored; 'S' SPS, 'Q' PPS, 'E' SEI held aside; '-' dropped
};

}  // namespace

// Frames are told apart by nal_unit_type, whatever nal_ref_idc the encoder uses.
TEST_F(IntakeTest, ClassificationByNalUnitType)
{
    const tagNalCase cases[] = {
        {0x65, 'I'}, {0x45, 'I'}, {0x25, 'I'}, {0x61, 'P'}, {0x41, 'P'}, {0x21, 'P'}, {0x01, 'P'},
        {0x67, 'S'}, {0x27, 'S'}, {0x68, 'Q'}, {0x48, 'Q'}, {0x06, 'E'}, {0x09, '-'}, {0x0C, '-'},
        {0x0A, '-'}, {0x0B, '-'}, {0x00, '-'}, {0xE5, '-'}, {0x81, '-'},
    };
    uint32_t seq = 0;
    for (const tagNalCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "header 0x" << std::hex << int(c.header));
        Make(4096, 0);
        const Bytes pack = Pack(c.header, 9, static_cast<uint8_t>(c.header ^ 0xA5));
        Video({pack}, ++seq, FALSE, 4242);
        const tagH264SPSPPS& ps = m_lpIntake->GetSpsPps();
        const Bytes unit(pack.begin() + 4, pack.end());
        if (c.expect == 'I' || c.expect == 'P') {
            ASSERT_EQ(m_Sink.seen.size(), 1u);
            const tagSeen& s = m_Sink.seen[0];
            EXPECT_EQ(s.frameType, c.expect == 'I' ? AVDATA_TYPE_I_FRAME : AVDATA_TYPE_P_FRAME);
            Bytes want = BE32(10);
            want.insert(want.end(), unit.begin(), unit.end());
            EXPECT_EQ(s.data, want);
            EXPECT_EQ(s.av, AVDATA_TYPE_VIDEO);
            EXPECT_EQ(s.serial, seq);
            EXPECT_EQ(s.pts, 4242u);
            EXPECT_EQ(s.width, 1920u);
            EXPECT_EQ(s.height, 1080u);
            EXPECT_EQ(s.fps, 30);
        } else {
            EXPECT_TRUE(m_Sink.seen.empty());
            EXPECT_TRUE(m_lpRing->IsEmpty());
        }
        EXPECT_EQ(ps.sps_len, c.expect == 'S' ? 10u : 0u);
        EXPECT_EQ(ps.pps_len, c.expect == 'Q' ? 10u : 0u);
        EXPECT_EQ(ps.cei_len, c.expect == 'E' ? 10u : 0u);
        if (c.expect == 'S') {
            EXPECT_EQ(Bytes(ps.sps, ps.sps + 10), unit);
        }
    }
}

// One stream of SPS, PPS, SEI, IDR: only the slice is cached; a 5-byte pack is
// a 1-byte unit with a 5-byte payload; a pack of just a start code is ignored.
TEST_F(IntakeTest, PacksOfOneStreamAndShortPacks)
{
    Video({Pack(0x67, 11), Pack(0x68, 3), Pack(0x06, 20), {0, 0, 0, 1}, Pack(0x65, 0)}, 7);
    ASSERT_EQ(m_Sink.seen.size(), 1u);
    EXPECT_EQ(m_Sink.seen[0].data, (Bytes{0, 0, 0, 1, 0x65}));
    EXPECT_EQ(m_Sink.seen[0].frameType, AVDATA_TYPE_I_FRAME);
    EXPECT_EQ(m_lpIntake->GetSpsPps().sps_len, 12u);
    EXPECT_EQ(m_lpIntake->GetSpsPps().pps_len, 4u);
    EXPECT_EQ(m_lpIntake->GetSpsPps().cei_len, 21u);
    EXPECT_EQ(m_lpIntake->GetTotalVideoFrame(), 1u);
}

// The parameter-set copies hold 128 bytes: a longer SPS or PPS is refused with
// an error and the previous one kept; a longer SEI is ignored.
TEST_F(IntakeTest, OversizedParameterSets)
{
    Video({Pack(0x67, 127, 0x11), Pack(0x68, 127, 0x22), Pack(0x06, 127, 0x33)}, 1);
    const tagH264SPSPPS& ps = m_lpIntake->GetSpsPps();
    ASSERT_EQ(ps.sps_len, 128u);
    ASSERT_EQ(ps.pps_len, 128u);
    ASSERT_EQ(ps.cei_len, 128u);
    testing::internal::CaptureStderr();
    Video({Pack(0x67, 128, 0x44), Pack(0x68, 600, 0x55), Pack(0x06, 700, 0x66)}, 2);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("SPS OF 129 BYTES REFUSED"), std::string::npos) << err;
    EXPECT_NE(err.find("PPS OF 601 BYTES REFUSED"), std::string::npos) << err;
    EXPECT_EQ(err.find("SEI"), std::string::npos) << err;
    EXPECT_EQ(ps.sps_len, 128u);
    EXPECT_EQ(ps.sps[1], 0x11);
    EXPECT_EQ(ps.sps[127], 0x11);
    EXPECT_EQ(ps.pps[127], 0x22);
    EXPECT_EQ(ps.cei_len, 128u);
    EXPECT_EQ(ps.cei[127], 0x33);
}

// A pack without start code is not taken for a unit.
TEST_F(IntakeTest, PackWithoutStartCodeIsDropped)
{
    testing::internal::CaptureStderr();
    Video({{0, 0, 2, 1, 0x65, 1, 2}, {1, 0, 0, 1, 0x41, 3}}, 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("WITHOUT START CODE"), std::string::npos);
    EXPECT_TRUE(m_Sink.seen.empty());
    // A 3-byte start code is accepted and still gets a 4-byte length.
    Video({{0, 0, 1, 0x65, 9, 9}}, 2);
    ASSERT_EQ(m_Sink.seen.size(), 1u);
    EXPECT_EQ(m_Sink.seen[0].data, (Bytes{0, 0, 0, 3, 0x65, 9, 9}));
}

// fps x 2 = 60 to discard: 59 frames and everything before the 60th are lost.
TEST_F(IntakeTest, StartUpDiscard)
{
    Make(64 * 1024, 180);
    m_lpIntake->SetWillDiscardFrame(60);
    for (uint32_t i = 1; i <= 59; ++i) {
        Audio(Adts(8), i);
        Jpeg({{0xFF, 0xD8, 0xFF, 0xD9}}, i);
        Video({Pack(0x65, 8)}, i);
        EXPECT_TRUE(m_lpRing->IsEmpty()) << i;
    }
    Audio(Adts(8), 60);
    EXPECT_TRUE(m_lpRing->IsEmpty());
    EXPECT_EQ(m_lpIntake->GetWillDiscardFrame(), 1u);
    Video({Pack(0x65, 8)}, 60);
    EXPECT_EQ(m_lpRing->GetCachedVideoFrame(), 1u);
    EXPECT_EQ(m_lpRing->GetHead()->nFrameSerial, 60u);
    Audio(Adts(8), 61);
    EXPECT_EQ(m_lpRing->GetCachedAudioFrame(), 1u);
    EXPECT_EQ(m_lpIntake->GetTotalVideoFrame(), 60u);
    EXPECT_EQ(m_lpIntake->GetWillDiscardFrame(), 0u);
    EXPECT_TRUE(m_lpIntake->ImageSensorActive());
}

TEST_F(IntakeTest, ImageSensorActiveOnlyAfterVideo)
{
    testing::internal::CaptureStdout();
    EXPECT_FALSE(m_lpIntake->ImageSensorActive());
    Audio(Adts(8), 1);
    EXPECT_FALSE(m_lpIntake->ImageSensorActive());
    Video({Pack(0x09, 1)}, 1);  // a stream of an access-unit delimiter still is a video stream
    EXPECT_TRUE(m_lpIntake->ImageSensorActive());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("TOTAL VIDEO FRAME = 0\n"), std::string::npos);
    EXPECT_NE(out.find("TOTAL VIDEO FRAME = 1\n"), std::string::npos);
}

// 180 frames stay cached; the 181st pushes the first one out, and from then
// on each new frame lets one video frame (with what arrived before it) out.
TEST_F(IntakeTest, DrainStartsAtThe181stFrame)
{
    Make(128 * 1024, 180);
    for (uint32_t i = 1; i <= 180; ++i) {
        Frame(i);
    }
    EXPECT_TRUE(m_Sink.seen.empty());
    EXPECT_EQ(m_lpRing->GetCachedVideoFrame(), 180u);
    Frame(181, FALSE);
    ASSERT_EQ(m_Sink.Kinds(), "V");
    EXPECT_EQ(m_Sink.seen[0].serial, 1u);
    Frame(182, FALSE);
    EXPECT_EQ(m_Sink.Kinds(), "VAV");
    EXPECT_EQ(m_Sink.seen[1].serial, 1u);
    EXPECT_EQ(m_Sink.seen[2].serial, 2u);
    // Audio never drains by itself.
    Audio(Adts(8), 500);
    Jpeg({{0xFF, 0xD8}}, 500);
    EXPECT_EQ(m_Sink.seen.size(), 3u);
    EXPECT_EQ(m_lpRing->GetCachedVideoFrame(), 180u);
}

// A flush processes everything up to the last video frame; what came after it
// stays. A flush with no video cached does nothing.
TEST_F(IntakeTest, Flush)
{
    Make(128 * 1024, 180);
    for (uint32_t i = 1; i <= 100; ++i) {
        Frame(i);
    }
    Jpeg({{0xFF, 0xD8, 0x01}, {0x02, 0xFF, 0xD9}}, 1);
    testing::internal::CaptureStdout();
    m_lpIntake->FlushRingBuffer();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(m_Sink.seen.size(), 199u);
    EXPECT_EQ(m_Sink.seen.back().av, AVDATA_TYPE_VIDEO);
    EXPECT_EQ(m_Sink.seen.back().serial, 100u);
    EXPECT_EQ(m_lpRing->GetCachedVideoFrame(), 0u);
    EXPECT_EQ(m_lpRing->GetCachedAudioFrame(), 1u);
    EXPECT_EQ(m_lpRing->GetCachedImageFrame(), 1u);
    m_lpIntake->FlushRingBuffer();
    EXPECT_EQ(m_Sink.seen.size(), 199u);
    // Audio alone behind a drained frame: the flush has nothing to do and says nothing.
    Make(4096, 0);
    Frame(1);
    testing::internal::CaptureStdout();
    m_lpIntake->FlushRingBuffer();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// JPEG packs are joined back to back, with no separators.
TEST_F(IntakeTest, MultiPackJpeg)
{
    Jpeg({{0xFF, 0xD8, 0x01}, {0x02, 0x03}, {0x04, 0xFF, 0xD9}}, 9);
    Video({Pack(0x65, 1)}, 1);
    ASSERT_EQ(m_Sink.Kinds(), "IV");
    EXPECT_EQ(m_Sink.seen[0].data, (Bytes{0xFF, 0xD8, 0x01, 0x02, 0x03, 0x04, 0xFF, 0xD9}));
    EXPECT_EQ(m_Sink.seen[0].frameType, AVDATA_TYPE_I_FRAME);
    EXPECT_EQ(m_Sink.seen[0].width, 176u);
    EXPECT_EQ(m_Sink.seen[0].channel, 3);
}

struct tagAdtsCase {
    const char* name;
    Bytes stream;
    size_t payload;  // 0: dropped
    size_t header;
};

// The ADTS header is 7 bytes, or 9 with CRC; anything else is not audio.
TEST_F(IntakeTest, AdtsHeaders)
{
    Bytes noSync = Adts(20);
    noSync[1] = 0xE1;
    Bytes badLayer = Adts(20);
    badLayer[1] = 0xF3;
    Bytes longer = Adts(20);
    longer.push_back(0);
    Bytes twoBlocks = Adts(20);
    twoBlocks[6] = 0xFD;
    const tagAdtsCase cases[] = {
        {"7-byte header", Adts(20), 20, 7},
        {"9-byte header with CRC", Adts(20, true), 20, 9},
        {"one payload byte", Adts(1), 1, 7},
        {"no syncword", noSync, 0, 0},
        {"layer not 0", badLayer, 0, 0},
        {"frame length shorter than the stream", longer, 0, 0},
        {"two raw data blocks", twoBlocks, 0, 0},
        {"header only", Adts(0), 0, 0},
        {"CRC header only", Adts(0, true), 0, 0},
        {"shorter than 8 bytes", Bytes{0xFF, 0xF1, 0x58, 0x40, 0xE0, 0x1F, 0xFC}, 0, 0},
    };
    for (const tagAdtsCase& c : cases) {
        SCOPED_TRACE(c.name);
        Make(4096, 0);
        testing::internal::CaptureStderr();
        Audio(c.stream, 3);
        Video({Pack(0x65, 1)}, 1);
        testing::internal::GetCapturedStderr();
        if (c.payload == 0) {
            EXPECT_EQ(m_Sink.Kinds(), "V");
            continue;
        }
        ASSERT_EQ(m_Sink.Kinds(), "AV");
        EXPECT_EQ(m_Sink.seen[0].data, Bytes(c.stream.begin() + static_cast<long>(c.header), c.stream.end()));
        EXPECT_EQ(m_Sink.seen[0].sample, 8000u);
        EXPECT_EQ(m_Sink.seen[0].channel, 4);
        EXPECT_EQ(m_Sink.seen[0].pts, 77u);
    }
}

// Parking: nothing is cached, every packet goes on at once; the caller's
// buffers are left as they were; SPS still updates.
TEST_F(IntakeTest, ParkingBypass)
{
    Make(4096, 180);
    Video({Pack(0x67, 5), Pack(0x68, 2), Pack(0x65, 6)}, 1, TRUE);
    ASSERT_EQ(m_Sink.Kinds(), "V");
    EXPECT_EQ(m_lpIntake->GetSpsPps().sps_len, 6u);
    EXPECT_EQ(m_Sink.seen[0].data, (Bytes{0, 0, 0, 7, 0x65, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A}));
    EXPECT_EQ(m_LastPacks[2], Pack(0x65, 6));
    Jpeg({{0xFF, 0xD8, 0x07}, {0x08, 0xFF, 0xD9}}, 2, TRUE);
    Audio(Adts(5), 3, TRUE);
    Video({Pack(0x61, 3)}, 4, TRUE);
    ASSERT_EQ(m_Sink.Kinds(), "VIAV");
    EXPECT_EQ(m_Sink.seen[1].data, (Bytes{0xFF, 0xD8, 0x07, 0x08, 0xFF, 0xD9}));
    EXPECT_EQ(m_Sink.seen[2].data, Bytes(5, 0x33));
    EXPECT_EQ(m_Sink.seen[3].frameType, AVDATA_TYPE_P_FRAME);
    EXPECT_TRUE(m_lpRing->IsEmpty());
    EXPECT_EQ(m_lpIntake->GetTotalVideoFrame(), 2u);
    // A JPEG larger than the ring is dropped, not written past it.
    testing::internal::CaptureStderr();
    Jpeg({Bytes(3000, 1), Bytes(3000, 2)}, 5, TRUE);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("DROP JPEG DATA(SIZE=6000, TOTAL=6128)."),
              std::string::npos);
    EXPECT_EQ(m_Sink.seen.size(), 4u);
}

// What the flush before parking leaves in the cache (audio and JPEG after the
// last video frame) is emptied before parking packets are put together in the
// ring's storage, so no cached entry is overwritten or handed on later.
TEST_F(IntakeTest, EnteringParkingEmptiesTheCache)
{
    Make(4096, 180);
    Frame(1);
    Jpeg({Bytes(100, 0x77)}, 1);
    testing::internal::CaptureStdout();
    m_lpIntake->FlushRingBuffer();
    ASSERT_EQ(m_Sink.Kinds(), "V");
    ASSERT_FALSE(m_lpRing->IsEmpty());
    Jpeg({Bytes(200, 0x12)}, 2, TRUE);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("EMPTY RING CACHE FOR PARKING(VIDEO=0,IMAGE=1,AUDIO=1)"), std::string::npos) << out;
    EXPECT_TRUE(m_lpRing->IsEmpty());
    ASSERT_EQ(m_Sink.Kinds(), "VI");
    EXPECT_EQ(m_Sink.seen[1].data, Bytes(200, 0x12));
    // Leaving parking: the cache fills again from an empty ring.
    m_lpIntake->SetCachingTime(1);
    Frame(3);
    Frame(4);
    EXPECT_EQ(m_Sink.Kinds(), "VIV");
    EXPECT_EQ(m_Sink.seen[2].serial, 3u);
}

// Through the intake on a 2 KiB ring: an entry that finds no room hands the
// oldest entries on first (the pre-record window shrinks), so nothing new is
// lost; only an entry larger than the ring is dropped with its message.
TEST_F(IntakeTest, FullRingHandsOldestOn)
{
    Make(2048, 180);
    testing::internal::CaptureStderr();
    for (uint32_t i = 1; i <= 5; ++i) {
        Video({Pack(0x41, 300, static_cast<uint8_t>(i))}, i);  // 128 + 305 -> 448 bytes each
    }
    EXPECT_EQ(m_Sink.Kinds(), "V") << "the fifth frame makes room for itself";
    Audio(Adts(500), 9);  // 628 bytes: two more frames go
    EXPECT_EQ(m_Sink.Kinds(), "VVV");
    Jpeg({Bytes(1900, 1), Bytes(100, 2)}, 9);  // larger than the ring
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("DROP VIDEO DATA"), std::string::npos) << err;
    EXPECT_EQ(err.find("DROP AUDIO DATA"), std::string::npos) << err;
    EXPECT_NE(err.find("DROP JPEG DATA(SIZE=2000, TOTAL=2128)."), std::string::npos) << err;
    EXPECT_EQ(m_lpRing->GetCachedVideoFrame(), 2u);
    EXPECT_EQ(m_lpRing->GetCachedAudioFrame(), 1u);
    EXPECT_EQ(m_lpRing->GetCachedImageFrame(), 0u);
    testing::internal::CaptureStdout();
    m_lpIntake->FlushRingBuffer();
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(m_Sink.Kinds(), "VVVVV");
    for (uint32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(m_Sink.seen[i].serial, i + 1);
        EXPECT_EQ(m_Sink.seen[i].data.size(), 305u);
        EXPECT_EQ(m_Sink.seen[i].data.back(), static_cast<uint8_t>(i + 1));
    }
    // A picture that fits only an empty ring empties it, oldest first.
    testing::internal::CaptureStderr();
    Jpeg({Bytes(900, 3), Bytes(100, 4)}, 10);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(m_Sink.Kinds(), "VVVVVA");
    EXPECT_EQ(m_Sink.seen[5].data.size(), 500u);
    EXPECT_EQ(m_lpRing->GetCachedImageFrame(), 1u);
    Video({Pack(0x65, 1000, 6)}, 6);  // needs the picture's room
    EXPECT_EQ(m_Sink.Kinds(), "VVVVVAI");
    EXPECT_EQ(m_Sink.seen[6].data.size(), 1000u);
    EXPECT_EQ(m_lpRing->GetCachedVideoFrame(), 1u);
}

// A burst that fills the ring while it holds fewer frames than the caching
// time: recording goes on, every entry reaches the sink once, in arrival
// order and whole, and the cache holds only what fits.
TEST_F(IntakeTest, RecordingContinuesAfterTheRingFilled)
{
    Make(64 * 1024, 180);
    std::vector<std::pair<int, uint32_t>> fed;  // (type, serial) in arrival order
    std::vector<size_t> videoSize;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    for (uint32_t i = 1; i <= 600; ++i) {
        const size_t body = 900 + (i * 397) % 2600;
        Video({Pack(i % 30 == 1 ? 0x65 : 0x41, body, static_cast<uint8_t>(i))}, i);
        fed.push_back({AVDATA_TYPE_VIDEO, i});
        videoSize.push_back(4 + 1 + body);
        Audio(Adts(200 + i % 50, false, static_cast<uint8_t>(i)), i);
        fed.push_back({AVDATA_TYPE_AUDIO, i});
        if (i % 30 == 0) {
            Jpeg({Bytes(3000, static_cast<uint8_t>(i))}, i);
            fed.push_back({AVDATA_TYPE_IMAGE, i});
        }
        EXPECT_LT(m_lpRing->GetCachedVideoFrame(), 180u);
    }
    EXPECT_GT(m_Sink.seen.size(), 0u) << "the full ring lets entries out before 180 frames are cached";
    m_lpIntake->FlushRingBuffer();
    testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("DROP"), std::string::npos) << err;
    // Everything up to the last video frame has left the cache.
    ASSERT_GE(fed.size(), m_Sink.seen.size());
    ASSERT_EQ(m_Sink.seen.size() + m_lpRing->GetCachedAudioFrame() + m_lpRing->GetCachedImageFrame(), fed.size());
    uint32_t videos = 0;
    for (size_t k = 0; k < m_Sink.seen.size(); ++k) {
        const tagSeen& got = m_Sink.seen[k];
        ASSERT_EQ(got.av, fed[k].first) << k;
        ASSERT_EQ(got.serial, fed[k].second) << k;
        ASSERT_FALSE(got.data.empty());
        EXPECT_EQ(got.data.back(), static_cast<uint8_t>(got.serial)) << k;
        if (got.av == AVDATA_TYPE_VIDEO) {
            EXPECT_EQ(got.data.size(), videoSize[got.serial - 1]) << k;
            ++videos;
        }
    }
    EXPECT_EQ(videos, 600u);
}

// The raw dump receives every audio stream after the start-up discard, with
// its ADTS header, even one that is refused for the cache.
TEST_F(IntakeTest, AacDump)
{
    CTestBoard board;
    m_lpIntake->SetWillDiscardFrame(1);
    ASSERT_TRUE(m_lpIntake->StartRecordAAC("/tmp/dump.aac"));
    EXPECT_TRUE(m_lpIntake->StartRecordAAC("/tmp/other.aac"));  // already open: kept
    Audio(Adts(4, false, 0x01), 1);                              // before the first video frame: lost
    Video({Pack(0x65, 1)}, 1);
    const Bytes a = Adts(6, false, 0x02), b = Adts(3, true, 0x03), bad = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    Audio(a, 2);
    Audio(b, 3);
    testing::internal::CaptureStderr();
    Audio(bad, 4);
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(m_lpIntake->StopRecordAAC());
    Audio(a, 5);
    EXPECT_TRUE(m_lpIntake->StopRecordAAC());
    std::ifstream in(board.Path("/tmp/dump.aac"), std::ios::binary);
    const Bytes got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Bytes want = a;
    want.insert(want.end(), b.begin(), b.end());
    want.insert(want.end(), bad.begin(), bad.end());
    EXPECT_EQ(got, want);
    EXPECT_FALSE(XFilePathExists(board.Path("/tmp/other.aac").c_str()));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(m_lpIntake->StartRecordAAC("/no/such/dir/x.aac"));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("OPEN FILE /no/such/dir/x.aac FAILED"),
              std::string::npos);
}

// Arrival times come from the engine's clock; the frame-rate line appears
// once more than 10 s of video units have been counted.
TEST_F(IntakeTest, ArrivalTimesAndFrameRateLine)
{
    Make(64 * 1024, 0);
    testing::internal::CaptureStdout();
    for (uint32_t i = 1; i <= 302; ++i) {
        Video({Pack(0x41, 1)}, i);  // 33333 us apart
    }
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("MAIN H264 FPS=30.00\n"), std::string::npos) << out;
    ASSERT_EQ(m_Sink.seen.size(), 302u);
    EXPECT_EQ(m_Sink.seen[0].arrival, 1000000u);
    EXPECT_EQ(m_Sink.seen[1].arrival, 1033333u);
}
