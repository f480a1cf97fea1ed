#ifndef TESTS_RECORD_MP4_MP4CODECFEED_H
#define TESTS_RECORD_MP4_MP4CODECFEED_H

// Real encoder output turned into the packets the recording engine hands to
// its file writer: parameter sets kept aside, every other NAL unit with its
// start code replaced by a 4-byte big-endian length, frame type 4 for a
// 0x61 header and 3 otherwise; AAC without its 7-byte ADTS header.

#include <cstdint>
#include <cstring>
#include <list>
#include <vector>

#include "Record/MP4/MP4Types.h"
#include "Record/MediaDataInfo.h"
#include "support/MediaFixture.h"

namespace mp4test {

class CMP4CodecFeed {
public:
    CMP4CodecFeed(const tagFixtureVideoConfig& video, const tagFixtureAudioConfig& audio)
        : m_Video(video), m_Audio(audio), m_Vos()
    {
    }

    bool IsOpen() const { return m_Video.IsOpen() && m_Audio.IsOpen(); }
    const tagH264SPSPPS& SpsPps() const { return m_Vos; }
    const std::vector<uint8_t>& AudioSpecificConfig() const { return m_Audio.AudioSpecificConfig(); }
    int Fps() const { return m_Video.Config().fps; }

    // Encodes the next picture. The packets stay valid until Clear.
    bool NextVideo(std::vector<const tagMediaDataInfo*>* out)
    {
        tagFixtureVideoFrame frame;
        if (!m_Video.EncodeFrame(&frame)) {
            return false;
        }
        const uint64_t arrival = static_cast<uint64_t>(frame.nFrameIndex) * 1000000ull /
                                 static_cast<uint64_t>(m_Video.Config().fps);
        for (const std::vector<uint8_t>& pack : frame.packs) {
            if (pack.size() < 5) {
                continue;
            }
            const uint8_t header = pack[4];
            if (header == 0x67 || header == 0x68 || header == 0x06) {
                Keep(header == 0x67 ? m_Vos.sps : header == 0x68 ? m_Vos.pps : m_Vos.cei,
                     header == 0x67 ? &m_Vos.sps_len : header == 0x68 ? &m_Vos.pps_len : &m_Vos.cei_len, pack);
                continue;
            }
            const uint32_t len = static_cast<uint32_t>(pack.size() - 4);
            std::vector<uint8_t> data = {static_cast<uint8_t>(len >> 24), static_cast<uint8_t>(len >> 16),
                                         static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len)};
            data.insert(data.end(), pack.begin() + 4, pack.end());
            out->push_back(Add(std::move(data), m_nVideoSerial, arrival, header == 0x61 ? 4 : 3, 1));
        }
        m_nVideoSerial++;
        return true;
    }

    bool NextAudio(const tagMediaDataInfo** out)
    {
        std::vector<uint8_t> adts;
        if (!m_Audio.EncodeFrame(&adts) || adts.size() <= 7) {
            return false;
        }
        std::vector<uint8_t> data(adts.begin() + 7, adts.end());
        const uint64_t arrival = NextAudioArrival();
        *out = Add(std::move(data), m_nAudioSerial++, arrival, 0, 0);
        return true;
    }

    // Arrival time of the audio frame NextAudio gives next.
    uint64_t NextAudioArrival() const { return m_nAudioSerial * 1024ull * 1000000ull / 8000ull; }

    // Forgets the packets handed out so far.
    void Clear() { m_Packets.clear(); }

    uint64_t PayloadBytes() const { return m_nPayload; }

private:
    struct tagPacket {
        std::vector<uint8_t> data;
        tagMediaDataInfo info;
    };

    static void Keep(uint8_t* dst, uint32_t* len, const std::vector<uint8_t>& pack)
    {
        const size_t n = pack.size() - 4;
        if (n <= MP4_VOS_UNIT_MAX) {
            memcpy(dst, pack.data() + 4, n);
            *len = static_cast<uint32_t>(n);
        }
    }

    const tagMediaDataInfo* Add(std::vector<uint8_t> data, uint32_t serial, uint64_t arrival, int frameType, int av)
    {
        m_Packets.emplace_back();
        tagPacket& p = m_Packets.back();
        p.data = std::move(data);
        memset(&p.info, 0, sizeof(p.info));
        p.info.nFrameSerial = serial;
        p.info.nTimestamp = arrival;
        p.info.nTimestamp2 = arrival;
        p.info.emFrameType = frameType;
        p.info.emAVType = av;
        p.info.nDataSize = static_cast<uint32_t>(p.data.size());
        p.info.lpData = p.data.data();
        m_nPayload += p.data.size();
        return &p.info;
    }

    CFixtureH264Encoder m_Video;
    CFixtureAACEncoder m_Audio;
    tagH264SPSPPS m_Vos;
    std::list<tagPacket> m_Packets;
    uint32_t m_nVideoSerial = 1;
    uint32_t m_nAudioSerial = 1;
    uint64_t m_nPayload = 0;
};

}  // namespace mp4test

#endif
