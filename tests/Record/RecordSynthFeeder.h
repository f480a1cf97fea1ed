#ifndef TESTS_RECORD_RECORDSYNTHFEEDER_H
#define TESTS_RECORD_RECORDSYNTHFEEDER_H

// Capture-thread packets made up without an encoder: per frame one H.264
// slice (an IDR with SPS and PPS every GOP, else a P slice with libx264's
// header 0x41), an ADTS frame now and then and a JPEG every second.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Platform/MediaTypes.h"
#include "Record/Record.h"

class CSynthFeeder {
public:
    // `idrBytes` and `pBytes`: slice sizes of I- and P-frames.
    explicit CSynthFeeder(CRecord& record, int fps = 30, int gop = 30, size_t idrBytes = 600, size_t pBytes = 120)
        : m_Record(record), m_nFps(fps), m_nGop(gop), m_nIdrBytes(idrBytes), m_nPBytes(pBytes)
    {
        Cfg(m_Video, AVDATA_TYPE_VIDEO, PT_H264, 320, 240, 0);
        Cfg(m_Jpeg, AVDATA_TYPE_IMAGE, PT_JPEG, 176, 120, 3);
        Cfg(m_Audio, AVDATA_TYPE_AUDIO, PT_AAC, 0, 0, 4);
    }

    void Feed(int64_t frames)
    {
        for (int64_t i = 0; i < frames; ++i) {
            FeedFrame();
        }
    }
    int64_t FramesFed() const { return m_nFrame; }
    // The encoded size the main stream's description gives from now on.
    void SetPictureSize(uint32_t w, uint32_t h)
    {
        m_Video.width = w;
        m_Video.height = h;
    }

private:
    static void Cfg(tagChannelConfig& c, AVData_Type av, PAYLOAD_TYPE_E enc, uint32_t w, uint32_t h, int chn)
    {
        memset(&c, 0, sizeof(c));
        c.av_type = av;
        c.enc = enc;
        c.width = w;
        c.height = h;
        c.channel_id = chn;
        c.fps = 30;
    }
    static std::vector<uint8_t> Unit(std::vector<uint8_t> head, size_t body, uint8_t seed)
    {
        std::vector<uint8_t> u(4 + head.size() + body, 0);
        u[3] = 1;
        std::copy(head.begin(), head.end(), u.begin() + 4);
        for (size_t i = 0; i < body; ++i) {
            u[4 + head.size() + i] = static_cast<uint8_t>(seed + i * 7);
        }
        return u;
    }

    void FeedFrame()
    {
        const int64_t f = m_nFrame++;
        const uint64_t t = static_cast<uint64_t>(f) * 1000000ULL / static_cast<uint64_t>(m_nFps);
        std::vector<std::vector<uint8_t>> packs;
        if (f % m_nGop == 0) {
            packs.push_back(Unit({0x67, 0x42, 0xC0, 0x1E, 0x8C, 0x8D, 0x40, 0x50}, 4, 1));
            packs.push_back(Unit({0x68, 0xCE, 0x3C, 0x80}, 0, 0));
            packs.push_back(Unit({0x65, 0x88, 0x84}, m_nIdrBytes, static_cast<uint8_t>(f)));
        } else {
            packs.push_back(Unit({0x41, 0x9A}, m_nPBytes, static_cast<uint8_t>(f)));
        }
        std::vector<VENC_PACK_S> p(packs.size());
        for (size_t i = 0; i < packs.size(); ++i) {
            memset(&p[i], 0, sizeof(p[i]));
            p[i].pu8Addr = packs[i].data();
            p[i].u32Len = static_cast<uint32_t>(packs[i].size());
            p[i].u64PTS = 1704443400ULL * 1000000ULL + t;
        }
        VENC_STREAM_S s = {p.data(), static_cast<uint32_t>(p.size()), static_cast<uint32_t>(f + 1)};
        m_Record.IncommingPacket(&s, &m_Video);
        if (f % m_nFps == 0) {
            std::vector<uint8_t> j = {0xFF, 0xD8, static_cast<uint8_t>(f), 0xFF, 0xD9};
            VENC_PACK_S jp;
            memset(&jp, 0, sizeof(jp));
            jp.pu8Addr = j.data();
            jp.u32Len = static_cast<uint32_t>(j.size());
            VENC_STREAM_S js = {&jp, 1, static_cast<uint32_t>(f + 1)};
            m_Record.IncommingPacket(&js, &m_Jpeg);
        }
        if (f % 4 == 0) {
            std::vector<uint8_t> a = {0xFF, 0xF1, 0x58, 0x40, 0x02, 0x1F, 0xFC};  // frame length 16
            a.resize(16, 0x21);
            AUDIO_STREAM_S as;
            memset(&as, 0, sizeof(as));
            as.pStream = a.data();
            as.u32Len = static_cast<uint32_t>(a.size());
            as.u32Seq = static_cast<uint32_t>(f / 4 + 1);
            m_Record.IncommingPacket(&as, &m_Audio);
        }
    }

    CRecord& m_Record;
    int m_nFps;
    int m_nGop;
    size_t m_nIdrBytes;
    size_t m_nPBytes;
    int64_t m_nFrame = 0;
    tagChannelConfig m_Video;
    tagChannelConfig m_Jpeg;
    tagChannelConfig m_Audio;
};

#endif
