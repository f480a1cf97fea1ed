#ifndef PLATFORM_AACWRAPPER_H
#define PLATFORM_AACWRAPPER_H

// The media SDK's AAC encoder functions over fdk-aac: one encoder per open,
// one ADTS access unit (7-byte header, no CRC) per call. Each returns 0 or a
// status code of the audio encoder module (AENC_ERR_*); without the codec
// library the open fails with AENC_ERR_NOT_SUPPORT.

#include <cstdint>

// Coder formats.
#define AACENC_FORMAT_AACLC 0
#define AACENC_FORMAT_EAAC 1
#define AACENC_FORMAT_EAACPLUS 2

struct tagAacEncConfig {
    int32_t quality;        // 0..3
    int32_t coderFormat;    // AACENC_FORMAT_*
    int32_t bitsPerSample;  // 16
    int32_t sampleRate;     // Hz
    int32_t bitRate;        // bit/s
    int32_t nChannelsIn;    // 1 or 2, interleaved
    int32_t nChannelsOut;
    int32_t bandWidth;      // Hz
};
typedef tagAacEncConfig AACENC_CONFIG;

// An open encoder.
struct tagAacEncoder;
typedef tagAacEncoder AAC_ENCODER_S;

// The defaults: AAC-LC, 44100 Hz stereo, 16-bit, 128000 bit/s.
int32_t AACInitDefaultConfig(AACENC_CONFIG* config);
// Opens an encoder for `config`; *encoder is null unless it returns 0.
int32_t AACEncoderOpen(AAC_ENCODER_S** encoder, const AACENC_CONFIG* config);
// Encodes one frame (1024 samples per channel for AAC-LC, 2048 for EAAC and
// EAACPLUS; channels interleaved) into `out`, which holds at least 768 bytes
// per channel; *outLen gets the access unit's length.
int32_t AACEncoderFrame(AAC_ENCODER_S* encoder, const int16_t* samples, uint8_t* out, uint32_t* outLen);
int32_t AACEncoderClose(AAC_ENCODER_S* encoder);

#endif
