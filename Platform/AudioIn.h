#ifndef PLATFORM_AUDIOIN_H
#define PLATFORM_AUDIOIN_H

// The media SDK's audio input module (AI): the microphone's device and its
// channels. While device 0 and channel 0 are enabled, frames of
// u32PtNumPerFrm samples come at the sample rate, stamped with the media
// clock, to whatever channel 0 is bound to. Every call returns 0 or AI_ERR_*.

#include "Platform/AudioTypes.h"

#define AI_MAX_DEVICES 1
#define AI_MAX_CHANNELS 2

// ---- voice-quality processing ----
#define AI_VQE_MASK_HPF 0x1u
#define AI_VQE_MASK_AEC 0x2u
#define AI_VQE_MASK_ANR 0x4u
#define AI_VQE_MASK_RNR 0x8u
#define AI_VQE_MASK_AGC 0x10u
#define AI_VQE_MASK_EQ 0x20u
#define AI_VQE_MASK_HDR 0x40u

enum emVqeWorkState : uint32_t {
    VQE_WORKSTATE_COMMON = 0,
    VQE_WORKSTATE_MUSIC = 1,
    VQE_WORKSTATE_NOISY = 2,
};
typedef emVqeWorkState VQE_WORKSTATE_E;

enum emAudioHpfFreq : uint32_t {
    AUDIO_HPF_FREQ_80 = 80,
    AUDIO_HPF_FREQ_120 = 120,
    AUDIO_HPF_FREQ_150 = 150,
};
typedef emAudioHpfFreq AUDIO_HPF_FREQ_E;

struct tagAudioHpfConfig {
    HI_BOOL bUsrMode;
    AUDIO_HPF_FREQ_E enHpfFreq;
};
struct tagAiAecConfig {
    HI_BOOL bUsrMode;
    HI_S32 s8CngMode;   // comfort noise
};
struct tagAudioModeConfig {
    HI_BOOL bUsrMode;   // 0: the module's defaults
};

struct tagAiVqeConfig {
    HI_U32 u32OpenMask;          // AI_VQE_MASK_*
    HI_S32 s32WorkSampleRate;
    HI_S32 s32FrameSample;
    VQE_WORKSTATE_E enWorkstate;
    tagAudioHpfConfig stHpfCfg;
    tagAiAecConfig stAecCfg;
    tagAudioModeConfig stAnrCfg;
    tagAudioModeConfig stAgcCfg;
};
typedef tagAiVqeConfig AI_VQE_CONFIG_S;

HI_S32 HI_MPI_AI_SetPubAttr(AUDIO_DEV AiDevId, const AIO_ATTR_S* pstAttr);
HI_S32 HI_MPI_AI_GetPubAttr(AUDIO_DEV AiDevId, AIO_ATTR_S* pstAttr);
HI_S32 HI_MPI_AI_Enable(AUDIO_DEV AiDevId);
HI_S32 HI_MPI_AI_Disable(AUDIO_DEV AiDevId);
HI_S32 HI_MPI_AI_EnableChn(AUDIO_DEV AiDevId, AI_CHN AiChn);
HI_S32 HI_MPI_AI_DisableChn(AUDIO_DEV AiDevId, AI_CHN AiChn);
// The echo reference is output device AoDevId, channel AoChn.
HI_S32 HI_MPI_AI_SetVqeAttr(AUDIO_DEV AiDevId, AI_CHN AiChn, AUDIO_DEV AoDevId, AO_CHN AoChn,
                            const AI_VQE_CONFIG_S* pstVqeConfig);
HI_S32 HI_MPI_AI_GetVqeAttr(AUDIO_DEV AiDevId, AI_CHN AiChn, AI_VQE_CONFIG_S* pstVqeConfig);
HI_S32 HI_MPI_AI_EnableVqe(AUDIO_DEV AiDevId, AI_CHN AiChn);
HI_S32 HI_MPI_AI_DisableVqe(AUDIO_DEV AiDevId, AI_CHN AiChn);

#endif
