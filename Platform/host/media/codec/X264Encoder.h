#ifndef PLATFORM_HOST_MEDIA_CODEC_X264ENCODER_H
#define PLATFORM_HOST_MEDIA_CODEC_X264ENCODER_H

// H.264 over libx264 in the form the camera's encoder delivers it: one slice
// a picture, no B-frames, a fixed GOP without scene cuts, the target rate in
// the SPS timing, SPS and PPS before every IDR, one NAL unit per pack with a
// 4-byte start code, P slices with header 0x61. Used by the simulated encoder
// channels, the tests' media fixture and the recording tools.

#include <cstdint>
#include <memory>
#include <vector>

#include "Function/types.h"

struct tagX264Config {
    int width = 320;
    int height = 240;
    int fps = 30;
    int gop = 30;
    int rcMode = 0;            // 0 constant bit rate, 1 variable (ceiling), 2 fixed QP
    int bitrateKbps = 300;     // target (0) or ceiling (1)
    int minQp = 10;            // variable rate
    int maxQp = 40;
    int iQp = 20;              // fixed QP
    int pQp = 23;
    const char* profile = "baseline";  // "baseline", "main" or "high"
    const char* preset = "ultrafast";
    BOOL bDeviceNalRefIdc = TRUE;      // P slices as 0x61
    BOOL bKeepSei = FALSE;             // x264's own SEI (its version text) kept
    BOOL bOwnGop = FALSE;              // IDR pictures only where the caller asks
};
typedef tagX264Config X264Config;

class CX264Encoder {
public:
    explicit CX264Encoder(const tagX264Config& config);
    ~CX264Encoder();
    CX264Encoder(const CX264Encoder&) = delete;
    CX264Encoder& operator=(const CX264Encoder&) = delete;

    BOOL IsOpen() const;
    const tagX264Config& Config() const { return m_Config; }

    // The next picture (I420) is written here before Encode.
    uint8_t* Plane(int i);
    int Stride(int i) const;

    // Encodes the picture in the planes. `bIDR` forces an IDR picture; `idr`
    // (may be null) tells whether one was made. 0 on an encoder failure.
    BOOL Encode(BOOL bIDR, std::vector<std::vector<uint8_t>>* packs, BOOL* idr);

private:
    struct tagImpl;
    tagX264Config m_Config;
    std::unique_ptr<tagImpl> m_lpImpl;
};

#endif
