#ifndef PLATFORM_AUDIOTYPES_H
#define PLATFORM_AUDIOTYPES_H

// Records and codes shared by the media SDK's audio modules (input, output,
// encoder) and the AAC encoder the system registers with it.

#include <cstdint>

#include "Platform/MpiTypes.h"

// Status codes of the audio encoder module.
constexpr HI_S32 AENC_ERR_INVALID_CHNID = XMpiErrCode(HI_ID_AENC, EN_ERR_INVALID_CHNID);
constexpr HI_S32 AENC_ERR_ILLEGAL_PARAM = XMpiErrCode(HI_ID_AENC, EN_ERR_ILLEGAL_PARAM);
constexpr HI_S32 AENC_ERR_EXIST = XMpiErrCode(HI_ID_AENC, EN_ERR_EXIST);
constexpr HI_S32 AENC_ERR_UNEXIST = XMpiErrCode(HI_ID_AENC, EN_ERR_UNEXIST);
constexpr HI_S32 AENC_ERR_NULL_PTR = XMpiErrCode(HI_ID_AENC, EN_ERR_NULL_PTR);
constexpr HI_S32 AENC_ERR_NOT_SUPPORT = XMpiErrCode(HI_ID_AENC, EN_ERR_NOT_SUPPORT);
constexpr HI_S32 AENC_ERR_NOT_PERM = XMpiErrCode(HI_ID_AENC, EN_ERR_NOT_PERM);
constexpr HI_S32 AENC_ERR_NOMEM = XMpiErrCode(HI_ID_AENC, EN_ERR_NOMEM);
constexpr HI_S32 AENC_ERR_BUF_EMPTY = XMpiErrCode(HI_ID_AENC, EN_ERR_BUF_EMPTY);
constexpr HI_S32 AENC_ERR_SYS_NOTREADY = XMpiErrCode(HI_ID_AENC, EN_ERR_SYS_NOTREADY);
constexpr HI_S32 AENC_ERR_TIMEOUT = XMpiErrCode(HI_ID_AENC, EN_ERR_TIMEOUT);
// The codec library failed to encode (a number of this module's own).
constexpr HI_S32 AENC_ERR_ENCODER = XMpiErrCode(HI_ID_AENC, 0x40);

// Status codes of the audio input and output modules.
constexpr HI_S32 AI_ERR_INVALID_DEVID = XMpiErrCode(HI_ID_AI, EN_ERR_INVALID_DEVID);
constexpr HI_S32 AI_ERR_INVALID_CHNID = XMpiErrCode(HI_ID_AI, EN_ERR_INVALID_CHNID);
constexpr HI_S32 AI_ERR_ILLEGAL_PARAM = XMpiErrCode(HI_ID_AI, EN_ERR_ILLEGAL_PARAM);
constexpr HI_S32 AI_ERR_NULL_PTR = XMpiErrCode(HI_ID_AI, EN_ERR_NULL_PTR);
constexpr HI_S32 AI_ERR_NOT_CONFIG = XMpiErrCode(HI_ID_AI, EN_ERR_NOT_CONFIG);
constexpr HI_S32 AI_ERR_NOT_PERM = XMpiErrCode(HI_ID_AI, EN_ERR_NOT_PERM);
constexpr HI_S32 AI_ERR_SYS_NOTREADY = XMpiErrCode(HI_ID_AI, EN_ERR_SYS_NOTREADY);
constexpr HI_S32 AO_ERR_INVALID_DEVID = XMpiErrCode(HI_ID_AO, EN_ERR_INVALID_DEVID);
constexpr HI_S32 AO_ERR_INVALID_CHNID = XMpiErrCode(HI_ID_AO, EN_ERR_INVALID_CHNID);
constexpr HI_S32 AO_ERR_ILLEGAL_PARAM = XMpiErrCode(HI_ID_AO, EN_ERR_ILLEGAL_PARAM);
constexpr HI_S32 AO_ERR_NULL_PTR = XMpiErrCode(HI_ID_AO, EN_ERR_NULL_PTR);
constexpr HI_S32 AO_ERR_NOT_CONFIG = XMpiErrCode(HI_ID_AO, EN_ERR_NOT_CONFIG);
constexpr HI_S32 AO_ERR_NOT_PERM = XMpiErrCode(HI_ID_AO, EN_ERR_NOT_PERM);
constexpr HI_S32 AO_ERR_BUF_FULL = XMpiErrCode(HI_ID_AO, EN_ERR_BUF_FULL);
constexpr HI_S32 AO_ERR_SYS_NOTREADY = XMpiErrCode(HI_ID_AO, EN_ERR_SYS_NOTREADY);
constexpr HI_S32 AO_ERR_TIMEOUT = XMpiErrCode(HI_ID_AO, EN_ERR_TIMEOUT);

typedef HI_S32 AUDIO_DEV;
typedef HI_S32 AI_CHN;
typedef HI_S32 AO_CHN;
typedef HI_S32 AENC_CHN;

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

// Interface mode of an audio input or output device.
enum emAioMode : uint32_t {
    AIO_MODE_I2S_MASTER = 0,
    AIO_MODE_I2S_SLAVE = 1,
    AIO_MODE_PCM_SLAVE_STD = 2,
    AIO_MODE_PCM_SLAVE_NSTD = 3,
    AIO_MODE_PCM_MASTER_STD = 4,
    AIO_MODE_PCM_MASTER_NSTD = 5,
};
typedef emAioMode AIO_MODE_E;

// Attributes of an audio input or output device.
struct tagAioAttr {
    AUDIO_SAMPLE_RATE_E enSamplerate;
    AUDIO_BIT_WIDTH_E enBitwidth;
    AIO_MODE_E enWorkmode;
    AUDIO_SOUND_MODE_E enSoundmode;
    HI_U32 u32EXFlag;        // 8-bit samples extended to 16
    HI_U32 u32FrmNum;        // frames buffered, 2..50
    HI_U32 u32PtNumPerFrm;   // samples per frame, 80..2048
    HI_U32 u32ChnCnt;        // channels, 1 or 2
    HI_U32 u32ClkSel;        // 0 or 1
};
typedef tagAioAttr AIO_ATTR_S;

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
