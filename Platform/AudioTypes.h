#ifndef PLATFORM_AUDIOTYPES_H
#define PLATFORM_AUDIOTYPES_H

// Records and codes shared by the media SDK's audio modules (input, output,
// encoder) and the AAC encoder the system registers with it.

#include <cstdint>

#include "Platform/MediaTypes.h"

// SDK status codes: 0xA0000000 | module << 16 | 0x8000 | number.
constexpr int32_t XAudioErrCode(uint32_t module, uint32_t number)
{
    return static_cast<int32_t>(0xA0000000u | (module << 16) | 0x8000u | number);
}

// Modules.
#define AUDIO_MODULE_AI 0x15u
#define AUDIO_MODULE_AO 0x16u
#define AUDIO_MODULE_AENC 0x17u

// Numbers.
#define AUDIO_ERRNO_INVALID_DEVID 0x1u
#define AUDIO_ERRNO_INVALID_CHNID 0x2u
#define AUDIO_ERRNO_ILLEGAL_PARAM 0x3u
#define AUDIO_ERRNO_EXIST 0x4u
#define AUDIO_ERRNO_UNEXIST 0x5u
#define AUDIO_ERRNO_NULL_PTR 0x6u
#define AUDIO_ERRNO_NOT_CONFIG 0x7u
#define AUDIO_ERRNO_NOT_SUPPORT 0x8u
#define AUDIO_ERRNO_NOT_PERM 0x9u
#define AUDIO_ERRNO_NOMEM 0xCu
#define AUDIO_ERRNO_BUF_EMPTY 0xEu
#define AUDIO_ERRNO_BUF_FULL 0xFu
#define AUDIO_ERRNO_NOT_ENABLED 0x10u
#define AUDIO_ERRNO_BUSY 0x12u
#define AUDIO_ERRNO_ENCODER 0x40u  // the codec library failed

constexpr int32_t AENC_ERR_INVALID_CHNID = XAudioErrCode(AUDIO_MODULE_AENC, AUDIO_ERRNO_INVALID_CHNID);
constexpr int32_t AENC_ERR_ILLEGAL_PARAM = XAudioErrCode(AUDIO_MODULE_AENC, AUDIO_ERRNO_ILLEGAL_PARAM);
constexpr int32_t AENC_ERR_EXIST = XAudioErrCode(AUDIO_MODULE_AENC, AUDIO_ERRNO_EXIST);
constexpr int32_t AENC_ERR_UNEXIST = XAudioErrCode(AUDIO_MODULE_AENC, AUDIO_ERRNO_UNEXIST);
constexpr int32_t AENC_ERR_NULL_PTR = XAudioErrCode(AUDIO_MODULE_AENC, AUDIO_ERRNO_NULL_PTR);
constexpr int32_t AENC_ERR_NOT_SUPPORT = XAudioErrCode(AUDIO_MODULE_AENC, AUDIO_ERRNO_NOT_SUPPORT);
constexpr int32_t AENC_ERR_NOT_PERM = XAudioErrCode(AUDIO_MODULE_AENC, AUDIO_ERRNO_NOT_PERM);
constexpr int32_t AENC_ERR_NOMEM = XAudioErrCode(AUDIO_MODULE_AENC, AUDIO_ERRNO_NOMEM);
constexpr int32_t AENC_ERR_BUF_EMPTY = XAudioErrCode(AUDIO_MODULE_AENC, AUDIO_ERRNO_BUF_EMPTY);
constexpr int32_t AENC_ERR_ENCODER = XAudioErrCode(AUDIO_MODULE_AENC, AUDIO_ERRNO_ENCODER);

// ---- samples ----
enum emAudioBitWidth : uint32_t {
    AUDIO_BIT_WIDTH_8 = 0,
    AUDIO_BIT_WIDTH_16 = 1,
    AUDIO_BIT_WIDTH_24 = 2,
};
typedef emAudioBitWidth AUDIO_BIT_WIDTH_E;

enum emAudioSoundMode : uint32_t {
    AUDIO_SOUND_MODE_MONO = 0,
    AUDIO_SOUND_MODE_STEREO = 1,
};
typedef emAudioSoundMode AUDIO_SOUND_MODE_E;

// Sample rates in Hz.
enum emAudioSampleRate : uint32_t {
    AUDIO_SAMPLE_RATE_8000 = 8000,
    AUDIO_SAMPLE_RATE_11025 = 11025,
    AUDIO_SAMPLE_RATE_12000 = 12000,
    AUDIO_SAMPLE_RATE_16000 = 16000,
    AUDIO_SAMPLE_RATE_22050 = 22050,
    AUDIO_SAMPLE_RATE_24000 = 24000,
    AUDIO_SAMPLE_RATE_32000 = 32000,
    AUDIO_SAMPLE_RATE_44100 = 44100,
    AUDIO_SAMPLE_RATE_48000 = 48000,
};
typedef emAudioSampleRate AUDIO_SAMPLE_RATE_E;

// One frame of PCM: a buffer per channel, u32Len bytes each.
struct tagAudioFrame {
    AUDIO_BIT_WIDTH_E enBitwidth;
    AUDIO_SOUND_MODE_E enSoundmode;
    void* pVirAddr[2];        // left (or mono), right
    uint32_t u32PhyAddr[2];   // 0 on the simulated board
    uint64_t u64TimeStamp;    // microseconds
    uint32_t u32Seq;
    uint32_t u32Len;          // bytes in each channel's buffer
    uint32_t u32PoolId[2];
};
typedef tagAudioFrame AUDIO_FRAME_S;

// ---- AAC ----
enum emAACType : uint32_t {
    AAC_TYPE_AACLC = 0,
    AAC_TYPE_EAAC = 1,
    AAC_TYPE_EAACPLUS = 2,
};
typedef emAACType AAC_TYPE_E;

// Bit rates in bit/s.
typedef uint32_t AAC_BPS_E;

struct tagAencAttrAac {
    AAC_TYPE_E enAACType;
    AAC_BPS_E enBitRate;
    AUDIO_SAMPLE_RATE_E enSmpRate;
    AUDIO_BIT_WIDTH_E enBitWidth;
    AUDIO_SOUND_MODE_E enSoundMode;
};
typedef tagAencAttrAac AENC_ATTR_AAC_S;

// ---- an encoder registered with the audio encoder module ----
#define AENC_ENCODER_NAME_LEN 16

struct tagAencEncoder {
    uint32_t enType;          // payload type
    uint32_t u32MaxFrmLen;    // longest frame the encoder writes, bytes
    char aszName[AENC_ENCODER_NAME_LEN];
    // Open gets the channel's codec attributes; each returns 0 or a status code.
    int32_t (*pfnOpenEncoder)(void* pEncoderAttr, void** ppEncoder);
    int32_t (*pfnEncodeFrm)(void* pEncoder, const AUDIO_FRAME_S* pstData, uint8_t* pu8Outbuf,
                            uint32_t* pu32OutLen);
    int32_t (*pfnCloseEncoder)(void* pEncoder);
};
typedef tagAencEncoder AENC_ENCODER_S;

#endif
