#include "AVCapture/Audio.h"

#include <fcntl.h>

#include "AVCapture/AacEncoder.h"
#include "Function/XLog.h"
#include "Platform/Acodec.h"
#include "Platform/Aenc.h"
#include "Platform/AudioIn.h"
#include "Platform/AudioOut.h"
#include "Platform/DevFile.h"
#include "Platform/MpiSys.h"

namespace {

const int kAiDev = 0;
const int kAoDev = 0;
const int kAoChn = 0;
const int kAencChn = 0;
const HI_U32 kAiFrames = 50;
const HI_U32 kAoFrames = 5;
const HI_U32 kAoSamplesPerFrame = 256;
const HI_U32 kAencFrames = 30;
const HI_U32 kAencSamplesPerFrame = 1024;
const AAC_BPS_E kAacBitRate = 16000;

// The codec's rate code of a sample rate; -1 for none.
int RateCode(int rate)
{
    switch (rate) {
    case 8000: case 11025: case 12000:
        return ACODEC_RATE_CODE_8K;
    case 16000: case 22050: case 24000:
        return ACODEC_RATE_CODE_16K;
    case 32000: case 44100: case 48000:
        return ACODEC_RATE_CODE_32K;
    default:
        return -1;
    }
}

unsigned Code(HI_S32 ret)
{
    return static_cast<unsigned>(ret);
}

}  // namespace

CAudioCapture::CAudioCapture()
    : m_FDACodec(-1), m_SampleRate(8000), m_SampleWidth(AUDIO_BIT_WIDTH_16), m_SoundMode(AUDIO_SOUND_MODE_MONO),
      m_SamplesPerFrame(1024), m_Channels(1), m_InputVolume(48), m_EnableAudioInFilter(0)
{
}

void CAudioCapture::CloseCodec()
{
    if (m_FDACodec >= 0) {
        XDevClose(m_FDACodec);
    }
    m_FDACodec = -1;
}

BOOL CAudioCapture::InitAudio()
{
    if (m_FDACodec >= 0) {
        return 1;
    }
    m_FDACodec = XDevOpen(ACODEC_DEVICE_PATH, O_RDWR);
    if (m_FDACodec < 0) {
        m_FDACodec = -1;
        XERROR("Can't open /dev/acodec.\n");
        return 0;
    }
    if (XDevIoctl(m_FDACodec, ACODEC_REQ_RESET, nullptr) != 0) {
        XERROR("Reset audio codec error.\n");
        CloseCodec();
        return 0;
    }
    if (HI_MPI_AENC_AacInit() != 0) {
        XERROR("HI_MPI_AENC_AacInit() failed.\n");
        CloseCodec();
        return 0;
    }
    int32_t code = RateCode(m_SampleRate);
    if (code < 0) {
        XERROR("Unsupport Sample Rate %d\n", m_SampleRate);
        CloseCodec();
        return 0;
    }
    if (XDevIoctl(m_FDACodec, ACODEC_REQ_SAMPLE_RATE, &code) != 0) {
        XERROR("Set acodec sample rate failed.\n");
        CloseCodec();
        return 0;
    }
    return 1;
}

BOOL CAudioCapture::CleanupAudio()
{
    CloseCodec();
    return 1;
}

BOOL CAudioCapture::InitAudioInput()
{
    if (m_FDACodec < 0) {
        return 0;
    }
    int32_t volume = m_InputVolume;
    if (XDevIoctl(m_FDACodec, ACODEC_REQ_INPUT_VOLUME, &volume) != 0) {
        XERROR("Set input volume failed.\n");
        return 0;
    }
    AIO_ATTR_S ai = {};
    ai.enSamplerate = static_cast<AUDIO_SAMPLE_RATE_E>(m_SampleRate);
    ai.enBitwidth = static_cast<AUDIO_BIT_WIDTH_E>(m_SampleWidth);
    ai.enWorkmode = AIO_MODE_I2S_MASTER;
    ai.enSoundmode = static_cast<AUDIO_SOUND_MODE_E>(m_SoundMode);
    ai.u32EXFlag = 1;
    ai.u32FrmNum = kAiFrames;
    ai.u32PtNumPerFrm = static_cast<HI_U32>(m_SamplesPerFrame);
    ai.u32ChnCnt = static_cast<HI_U32>(m_Channels);
    ai.u32ClkSel = 0;
    HI_S32 ret = HI_MPI_AI_SetPubAttr(kAiDev, &ai);
    if (ret != 0) {
        XERROR("HI_MPI_AI_SetPubAttr() failed with %#x\n", Code(ret));
        return 0;
    }
    ret = HI_MPI_AI_Enable(kAiDev);
    if (ret != 0) {
        XERROR("HI_MPI_AI_Enable() failed with %#x\n", Code(ret));
        return 0;
    }
    for (int chn = 0; chn < m_Channels; ++chn) {
        ret = HI_MPI_AI_EnableChn(kAiDev, chn);
        if (ret != 0) {
            XERROR("HI_MPI_AI_EnableChn(%d) failed with %#x\n", chn, Code(ret));
            return 0;
        }
    }
    AENC_ATTR_AAC_S aac;
    aac.enAACType = AAC_TYPE_AACLC;
    aac.enBitRate = kAacBitRate;
    aac.enSmpRate = static_cast<AUDIO_SAMPLE_RATE_E>(m_SampleRate);
    aac.enBitWidth = static_cast<AUDIO_BIT_WIDTH_E>(m_SampleWidth);
    aac.enSoundMode = static_cast<AUDIO_SOUND_MODE_E>(m_SoundMode);
    AENC_CHN_ATTR_S aenc;
    aenc.enType = PT_AAC;
    aenc.u32BufSize = kAencFrames;
    aenc.u32PtNumPerFrm = kAencSamplesPerFrame;
    aenc.pValue = &aac;
    ret = HI_MPI_AENC_CreateChn(kAencChn, &aenc);
    if (ret != 0) {
        XERROR("HI_MPI_AENC_CreateChn() failed with %#x\n", Code(ret));
        return 0;
    }
    const MPP_CHN_S src = {HI_ID_AI, kAiDev, 0};
    const MPP_CHN_S dst = {HI_ID_AENC, 0, kAencChn};
    ret = HI_MPI_SYS_Bind(&src, &dst);
    if (ret != 0) {
        XERROR("HI_MPI_SYS_Bind() failed with %#x\n", Code(ret));
        return 0;
    }
    return 1;
}

BOOL CAudioCapture::CleanupAudioInput()
{
    const MPP_CHN_S src = {HI_ID_AI, kAiDev, 0};
    const MPP_CHN_S dst = {HI_ID_AENC, 0, kAencChn};
    HI_S32 ret = HI_MPI_SYS_UnBind(&src, &dst);
    if (ret != 0) {
        XERROR("HI_MPI_SYS_UnBind() failed with %#x\n", Code(ret));
    }
    ret = HI_MPI_AENC_DestroyChn(kAencChn);
    if (ret != 0) {
        XERROR("HI_MPI_AENC_DestroyChn() failed with %#x\n", Code(ret));
    }
    for (int chn = 0; chn < m_Channels; ++chn) {
        ret = HI_MPI_AI_DisableChn(kAiDev, chn);
        if (ret != 0) {
            XERROR("HI_MPI_AI_DisableChn() failed with %#x\n", Code(ret));
        }
    }
    ret = HI_MPI_AI_Disable(kAiDev);
    if (ret != 0) {
        XERROR("HI_MPI_AI_Disable() failed with %#x\n", Code(ret));
    }
    return 1;
}

BOOL CAudioCapture::InitAudioOutput()
{
    if (m_FDACodec < 0) {
        return 0;
    }
    int32_t volume = 0;
    if (XDevIoctl(m_FDACodec, ACODEC_REQ_OUTPUT_VOLUME, &volume) != 0) {
        XERROR("Set output volume failed,\n");
        return 0;
    }
    AIO_ATTR_S ao = {};
    ao.enSamplerate = static_cast<AUDIO_SAMPLE_RATE_E>(m_SampleRate);
    ao.enBitwidth = static_cast<AUDIO_BIT_WIDTH_E>(m_SampleWidth);
    ao.enWorkmode = AIO_MODE_I2S_MASTER;
    ao.enSoundmode = static_cast<AUDIO_SOUND_MODE_E>(m_SoundMode);
    ao.u32EXFlag = 1;
    ao.u32FrmNum = kAoFrames;
    ao.u32PtNumPerFrm = kAoSamplesPerFrame;
    ao.u32ChnCnt = static_cast<HI_U32>(m_Channels);
    ao.u32ClkSel = 1;
    HI_S32 ret = HI_MPI_AO_SetPubAttr(kAoDev, &ao);
    if (ret != 0) {
        XERROR("HI_MPI_AO_SetPubAttr() Failed With %#x\n", Code(ret));
        return 0;
    }
    ret = HI_MPI_AO_Enable(kAoDev);
    if (ret != 0) {
        XERROR("HI_MPI_AO_Enable() Failed With %#x\n", Code(ret));
        return 0;
    }
    ret = HI_MPI_AO_EnableChn(kAoDev, kAoChn);
    if (ret != 0) {
        XERROR("HI_MPI_AO_EnableChn() Failed With %#x\n", Code(ret));
        return 0;
    }
    return 1;
}

BOOL CAudioCapture::CleanupAudioOutput()
{
    HI_S32 ret = HI_MPI_AO_DisableChn(kAoDev, kAoChn);
    if (ret != 0) {
        XERROR("HI_MPI_AO_DisableChn() Failed With %#x\n", Code(ret));
    }
    ret = HI_MPI_AO_Disable(kAoDev);
    if (ret != 0) {
        XERROR("HI_MPI_AO_Disable() Failed With %#x\n", Code(ret));
    }
    return 1;
}

BOOL CAudioCapture::EnableAudioInFilter()
{
    if (m_EnableAudioInFilter) {
        return 1;
    }
    AI_VQE_CONFIG_S vqe = {};
    vqe.u32OpenMask = AI_VQE_MASK_HPF | AI_VQE_MASK_AEC | AI_VQE_MASK_ANR | AI_VQE_MASK_AGC;
    vqe.s32WorkSampleRate = m_SampleRate;
    vqe.s32FrameSample = m_SamplesPerFrame;
    vqe.enWorkstate = VQE_WORKSTATE_COMMON;
    vqe.stHpfCfg.bUsrMode = 1;
    vqe.stHpfCfg.enHpfFreq = AUDIO_HPF_FREQ_150;
    vqe.stAecCfg.bUsrMode = 0;
    vqe.stAecCfg.s8CngMode = 0;
    vqe.stAnrCfg.bUsrMode = 0;
    vqe.stAgcCfg.bUsrMode = 0;
    HI_S32 ret = HI_MPI_AI_SetVqeAttr(kAiDev, 0, kAoDev, kAoChn, &vqe);
    if (ret != 0) {
        XERROR("HI_MPI_AI_SetVqeAttr() Failed With %#x\n", Code(ret));
        return 0;
    }
    ret = HI_MPI_AI_EnableVqe(kAiDev, 0);
    if (ret != 0) {
        XERROR("HI_MPI_AI_EnableVqe() Failed With %#x\n", Code(ret));
        return 0;
    }
    m_EnableAudioInFilter = 1;
    return 1;
}

BOOL CAudioCapture::DisableAudioInFilter()
{
    if (m_EnableAudioInFilter) {
        HI_MPI_AI_DisableVqe(kAiDev, 0);
        m_EnableAudioInFilter = 0;
    }
    return 1;
}
