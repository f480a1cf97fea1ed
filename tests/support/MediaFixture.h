#ifndef TESTS_SUPPORT_MEDIAFIXTURE_H
#define TESTS_SUPPORT_MEDIAFIXTURE_H

// Real encoders for the tests: synthetic pictures through libx264 and a tone
// (or silence) through fdk-aac, delivered in the form the camera's encoders
// deliver them.
//
// Video: one slice per frame, no B-frames, a fixed GOP, every NAL unit as its
// own pack with a 4-byte start code; SPS, PPS (and x264's SEI on the first
// picture) before every IDR; P slices carry nal_ref_idc 3 (header 0x61) like
// the camera's encoder. Audio: AAC-LC access units with 7-byte ADTS headers.

#include <cstdint>
#include <memory>
#include <vector>

#include "Function/types.h"

// NAL unit types seen in the packs.
enum emFixtureNalType {
    emFixtureNalType_Slice = 1,
    emFixtureNalType_IDR = 5,
    emFixtureNalType_SEI = 6,
    emFixtureNalType_SPS = 7,
    emFixtureNalType_PPS = 8,
};

// One encoded picture.
struct tagFixtureVideoFrame {
    std::vector<std::vector<uint8_t>> packs;  // each: 00 00 00 01, one NAL unit
    BOOL bIDR;
    int64_t nFrameIndex;                      // picture number from 0
};
typedef tagFixtureVideoFrame FixtureVideoFrame;

struct tagFixtureVideoConfig {
    int width = 320;
    int height = 240;
    int fps = 30;
    int gop = 30;
    int bitrateKbps = 300;
    const char* profile = "baseline";  // or "main"
    const char* preset = "ultrafast";
    // Rewrite P-slice headers to nal_ref_idc 3 (0x61) as the camera's encoder.
    BOOL bDeviceNalRefIdc = TRUE;
};
typedef tagFixtureVideoConfig FixtureVideoConfig;

class CFixtureH264Encoder {
public:
    explicit CFixtureH264Encoder(const tagFixtureVideoConfig& config = tagFixtureVideoConfig());
    ~CFixtureH264Encoder();
    CFixtureH264Encoder(const CFixtureH264Encoder&) = delete;
    CFixtureH264Encoder& operator=(const CFixtureH264Encoder&) = delete;

    BOOL IsOpen() const;
    // Encodes the next synthetic picture (a moving pattern with noise). 0 on
    // an encoder failure.
    BOOL EncodeFrame(tagFixtureVideoFrame* frame);
    const tagFixtureVideoConfig& Config() const { return m_Config; }

private:
    struct tagImpl;
    tagFixtureVideoConfig m_Config;
    std::unique_ptr<tagImpl> m_lpImpl;
};

struct tagFixtureAudioConfig {
    int sampleRate = 8000;
    int channels = 1;
    int bitrate = 16000;
    double toneHz = 440.0;  // 0 gives silence
};
typedef tagFixtureAudioConfig FixtureAudioConfig;

class CFixtureAACEncoder {
public:
    explicit CFixtureAACEncoder(const tagFixtureAudioConfig& config = tagFixtureAudioConfig());
    ~CFixtureAACEncoder();
    CFixtureAACEncoder(const CFixtureAACEncoder&) = delete;
    CFixtureAACEncoder& operator=(const CFixtureAACEncoder&) = delete;

    BOOL IsOpen() const;
    // Next AAC access unit (1024 samples per channel) with its ADTS header.
    BOOL EncodeFrame(std::vector<uint8_t>* adts);
    // The encoder's AudioSpecificConfig.
    const std::vector<uint8_t>& AudioSpecificConfig() const { return m_ASC; }

private:
    struct tagImpl;
    tagFixtureAudioConfig m_Config;
    std::unique_ptr<tagImpl> m_lpImpl;
    std::vector<uint8_t> m_ASC;
};

// NAL unit type of a pack (the byte after its 4-byte start code); -1 when too short.
int XFixtureNalType(const std::vector<uint8_t>& pack);
// Length of an ADTS header (7, or 9 with CRC); 0 when `adts` is not one.
size_t XFixtureAdtsHeaderSize(const std::vector<uint8_t>& adts);

#endif
