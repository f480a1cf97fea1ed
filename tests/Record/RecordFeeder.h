#ifndef TESTS_RECORD_RECORDFEEDER_H
#define TESTS_RECORD_RECORDFEEDER_H

// Feeds a recording engine as the capture thread does: the main H.264 stream
// (libx264), the small JPEG stream at 1 picture a second and the AAC stream
// (fdk-aac), interleaved by time, on a recorded clock so that minutes of
// video pass in seconds. A pool of encoded pictures is replayed with running
// sequence numbers and time stamps; every fed frame's sample size is kept
// for comparing with what the files hold.

#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Platform/MediaTypes.h"
#include "Record/Record.h"
#include "support/MediaFixture.h"

inline std::atomic<uint64_t> g_RecordFeederClockUs{0};

inline uint64_t XRecordFeederClock()
{
    return g_RecordFeederClockUs.load();
}

struct tagRecordFeederConfig {
    int width = 320;
    int height = 240;
    int fps = 30;
    int gop = 30;
    int bitrateKbps = 300;
    int poolFrames = 300;            // encoded pictures replayed (a multiple of the GOP)
    uint64_t wallStartUs = 1704443400ULL * 1000000ULL;  // 2024-01-05 08:30:00 UTC, encoder time of frame 0
    uint64_t clockStartUs = 5000000000ULL;              // arrival clock of frame 0
    BOOL bAudio = TRUE;
    BOOL bJpeg = TRUE;
    BOOL bDeviceNalRefIdc = FALSE;   // FALSE: libx264's own P-slice headers (0x41)
};
typedef tagRecordFeederConfig RecordFeederConfig;

class CRecordFeeder {
public:
    CRecordFeeder(CRecord& record, const tagRecordFeederConfig& config = tagRecordFeederConfig())
        : m_Record(record), m_Config(config)
    {
        tagFixtureVideoConfig vc;
        vc.width = config.width;
        vc.height = config.height;
        vc.fps = config.fps;
        vc.gop = config.gop;
        vc.bitrateKbps = config.bitrateKbps;
        vc.bDeviceNalRefIdc = config.bDeviceNalRefIdc;
        CFixtureH264Encoder enc(vc);
        m_bOk = enc.IsOpen();
        for (int i = 0; m_bOk && i < config.poolFrames; ++i) {
            tagFixtureVideoFrame f;
            m_bOk = enc.EncodeFrame(&f);
            m_Pool.push_back(f);
        }
        CFixtureAACEncoder aac;
        m_bOk = m_bOk && aac.IsOpen();
        for (int i = 0; m_bOk && i < 64; ++i) {
            std::vector<uint8_t> a;
            m_bOk = aac.EncodeFrame(&a);
            m_AudioPool.push_back(a);
        }
        memset(&m_VideoCfg, 0, sizeof(m_VideoCfg));
        m_VideoCfg.enc = PT_H264;
        m_VideoCfg.res = config.height == 720 ? PIC_HD720 : PIC_HD1080;
        m_VideoCfg.gop = static_cast<uint32_t>(config.gop);
        m_VideoCfg.fps = static_cast<uint32_t>(config.fps);
        m_VideoCfg.vi_fps = static_cast<uint32_t>(config.fps);
        m_VideoCfg.av_type = AVDATA_TYPE_VIDEO;
        m_VideoCfg.width = static_cast<uint32_t>(config.width);
        m_VideoCfg.height = static_cast<uint32_t>(config.height);
        memset(&m_JpegCfg, 0, sizeof(m_JpegCfg));
        m_JpegCfg.enc = PT_JPEG;
        m_JpegCfg.res = PIC_QCIF;
        m_JpegCfg.fps = 1;
        m_JpegCfg.channel_id = 3;
        m_JpegCfg.av_type = AVDATA_TYPE_IMAGE;
        m_JpegCfg.width = 176;
        m_JpegCfg.height = 120;
        memset(&m_AudioCfg, 0, sizeof(m_AudioCfg));
        m_AudioCfg.enc = PT_AAC;
        m_AudioCfg.channel_id = 4;
        m_AudioCfg.av_type = AVDATA_TYPE_AUDIO;
        g_RecordFeederClockUs = config.clockStartUs;
        m_Record.SetPacketClock(XRecordFeederClock);
    }

    BOOL Ok() const { return m_bOk; }
    int64_t FramesFed() const { return m_nFrame; }
    // Sample size (length prefix + unit) of every fed frame, by frame number.
    const std::vector<uint32_t>& SampleSizes() const { return m_SampleSizes; }
    // The JPEG fed at second `s` (its bytes carry the second).
    static std::vector<uint8_t> Jpeg(uint32_t s)
    {
        std::vector<uint8_t> j = {0xFF, 0xD8, 0xFF, 0xE0};
        for (int i = 0; i < 400; ++i) {
            j.push_back(static_cast<uint8_t>(s + static_cast<uint32_t>(i)));
        }
        j.push_back(0xFF);
        j.push_back(0xD9);
        return j;
    }

    // Feeds `frames` more video frames with the audio and JPEG of their time.
    void Feed(int64_t frames)
    {
        for (int64_t k = 0; k < frames; ++k) {
            FeedFrame();
        }
    }

private:
    uint64_t VideoTimeUs(int64_t frame) const
    {
        return static_cast<uint64_t>(frame) * 1000000ULL / static_cast<uint64_t>(m_Config.fps);
    }

    void FeedFrame()
    {
        const int64_t f = m_nFrame;
        const uint64_t t = VideoTimeUs(f);
        g_RecordFeederClockUs = m_Config.clockStartUs + t;
        tagFixtureVideoFrame& pic = m_Pool[static_cast<size_t>(f % static_cast<int64_t>(m_Pool.size()))];
        std::vector<std::vector<uint8_t>> packs = pic.packs;  // the engine may not keep the caller's buffers
        std::vector<VENC_PACK_S> p(packs.size());
        uint32_t sample = 0;
        for (size_t i = 0; i < packs.size(); ++i) {
            memset(&p[i], 0, sizeof(p[i]));
            p[i].pu8Addr = packs[i].data();
            p[i].u32Len = static_cast<uint32_t>(packs[i].size());
            p[i].u64PTS = m_Config.wallStartUs + t;
            p[i].bFrameEnd = i + 1 == packs.size();
            const int type = XFixtureNalType(packs[i]);
            if (type == emFixtureNalType_Slice || type == emFixtureNalType_IDR) {
                sample += static_cast<uint32_t>(packs[i].size());
            }
        }
        m_SampleSizes.push_back(sample);
        VENC_STREAM_S s;
        s.pstPack = p.data();
        s.u32PackCount = static_cast<uint32_t>(p.size());
        s.u32Seq = static_cast<uint32_t>(f + 1);
        m_Record.IncommingPacket(&s, &m_VideoCfg);
        if (m_Config.bJpeg && f % m_Config.fps == 0) {
            std::vector<uint8_t> j = Jpeg(static_cast<uint32_t>(f / m_Config.fps));
            VENC_PACK_S jp;
            memset(&jp, 0, sizeof(jp));
            jp.pu8Addr = j.data();
            jp.u32Len = static_cast<uint32_t>(j.size());
            jp.u64PTS = m_Config.wallStartUs + t;
            VENC_STREAM_S js;
            js.pstPack = &jp;
            js.u32PackCount = 1;
            js.u32Seq = static_cast<uint32_t>(f / m_Config.fps + 1);
            m_Record.IncommingPacket(&js, &m_JpegCfg);
        }
        // Audio frames of 1024 samples at 8000 Hz up to the next video frame.
        const uint64_t next = VideoTimeUs(f + 1);
        while (m_Config.bAudio && static_cast<uint64_t>(m_nAudio) * 1024ULL * 1000000ULL / 8000ULL < next) {
            std::vector<uint8_t> a = m_AudioPool[static_cast<size_t>(m_nAudio % 64)];
            AUDIO_STREAM_S as;
            memset(&as, 0, sizeof(as));
            as.pStream = a.data();
            as.u32Len = static_cast<uint32_t>(a.size());
            as.u64TimeStamp = m_Config.wallStartUs + static_cast<uint64_t>(m_nAudio) * 128000ULL;
            as.u32Seq = static_cast<uint32_t>(m_nAudio + 1);
            m_Record.IncommingPacket(&as, &m_AudioCfg);
            ++m_nAudio;
        }
        ++m_nFrame;
    }

    CRecord& m_Record;
    tagRecordFeederConfig m_Config;
    BOOL m_bOk = FALSE;
    std::vector<tagFixtureVideoFrame> m_Pool;
    std::vector<std::vector<uint8_t>> m_AudioPool;
    std::vector<uint32_t> m_SampleSizes;
    tagChannelConfig m_VideoCfg;
    tagChannelConfig m_JpegCfg;
    tagChannelConfig m_AudioCfg;
    int64_t m_nFrame = 0;
    int64_t m_nAudio = 0;
};

#endif
