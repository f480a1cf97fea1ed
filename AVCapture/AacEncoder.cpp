#include "AVCapture/AacEncoder.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "Platform/Aenc.h"

// A missing argument ends the process.
#define AAC_ASSERT(cond)                                                                                   \
    do {                                                                                                   \
        if (!(cond)) {                                                                                     \
            printf("\nASSERT failed at:\n  >File name: %s\n  >Function : %s\n  >Line No. : %d\n  >Condition: %s\n", \
                   __FILE__, __FUNCTION__, __LINE__, #cond);                                               \
            fflush(nullptr);                                                                               \
            _exit(-1);                                                                                     \
        }                                                                                                  \
    } while (0)

#define AAC_INFO(text) printf("[Func]:%s [Line]:%d [Info]:%s\n", __FUNCTION__, __LINE__, text)
#define AAC_RET(ret) printf("[Func]:%s [Line]:%d s32Ret:0x%x.#########\n", __FUNCTION__, __LINE__, static_cast<unsigned>(ret))

namespace {

const uint32_t kAacLcSamples = 1024;
const uint32_t kEaacSamples = 2048;

bool g_bAacRegistered = false;
bool g_bAaclcRegistered = false;

int32_t RegisterOnce(uint32_t type, const char* name, bool& registered)
{
    if (registered) {
        return 0;
    }
    AENC_ENCODER_S enc = {};
    enc.enType = type;
    enc.u32MaxFrmLen = AAC_MAX_FRAME_LEN;
    snprintf(enc.aszName, sizeof(enc.aszName), "%s", name);
    enc.pfnOpenEncoder = OpenAACEncoder;
    enc.pfnEncodeFrm = EncodeAACFrm;
    enc.pfnCloseEncoder = CloseAACEncoder;
    int32_t handle = -1;
    int32_t ret = HI_MPI_AENC_RegisterEncoder(&handle, &enc);
    if (ret == 0) {
        registered = true;
    }
    return ret;
}

}  // namespace

int32_t HI_MPI_AENC_AacInit()
{
    int32_t ret = RegisterOnce(PT_AAC, "Aac", g_bAacRegistered);
    if (ret != 0) {
        return ret;
    }
    return RegisterOnce(PT_AACLC, "Aaclc", g_bAaclcRegistered);
}

int32_t AencCheckAACAttr(const AENC_ATTR_AAC_S* pstAACAttr)
{
    if (pstAACAttr->enBitWidth != AUDIO_BIT_WIDTH_16) {
        AAC_INFO("invalid bitwidth for AAC encoder");
        return AENC_ERR_ILLEGAL_PARAM;
    }
    if ((pstAACAttr->enSoundMode != AUDIO_SOUND_MODE_MONO && pstAACAttr->enSoundMode != AUDIO_SOUND_MODE_STEREO) ||
        (pstAACAttr->enAACType == AAC_TYPE_EAACPLUS && pstAACAttr->enSoundMode == AUDIO_SOUND_MODE_MONO)) {
        AAC_INFO("invalid sound mode for AAC encoder");
        return AENC_ERR_ILLEGAL_PARAM;
    }
    return 0;
}

int32_t AencAACCheckConfig(const AACENC_CONFIG* pconfig)
{
    if (pconfig == nullptr) {
        AAC_INFO("pconfig is null");
        return AENC_ERR_NULL_PTR;
    }
    const int32_t format = pconfig->coderFormat;
    if (format < AACENC_FORMAT_AACLC || format > AACENC_FORMAT_EAACPLUS) {
        printf("aacenc coderFormat(%d) invalid\n", format);
    }
    if (pconfig->quality < 0 || pconfig->quality > 3) {
        printf("aacenc quality(%d) invalid\n", pconfig->quality);
    }
    if (pconfig->bitsPerSample != 16) {
        printf("aacenc bitsPerSample(%d) should be 16\n", pconfig->bitsPerSample);
    }

    const int32_t rate = pconfig->bitRate;
    const int32_t smp = pconfig->sampleRate;
// One sample rate's bit-rate range, with the line printed outside it.
#define AAC_RATE_CASE(hz, ok, text)              \
    case hz:                                     \
        if (!(ok)) {                             \
            printf(text, rate);                  \
            return AENC_ERR_ILLEGAL_PARAM;       \
        }                                        \
        break;

    if (format == AACENC_FORMAT_AACLC) {
        if (pconfig->nChannelsOut != pconfig->nChannelsIn) {
            printf("AACLC nChannelsOut(%d) in not equal to nChannelsIn(%d)\n", pconfig->nChannelsOut,
                   pconfig->nChannelsIn);
            return AENC_ERR_ILLEGAL_PARAM;
        }
        switch (smp) {
            AAC_RATE_CASE(8000, rate >= 8000 && rate <= 96000, "AACLC 8000 Hz bitRate(%d) should be 8000 ~ 96000\n")
            AAC_RATE_CASE(16000, rate >= 16000 && rate <= 96000,
                          "AACLC 16000 Hz bitRate(%d) should be 16000 ~ 96000\n")
            AAC_RATE_CASE(22050, rate >= 16000 && rate <= 128000,
                          "AACLC 22025 Hz bitRate(%d) should be 16000 ~ 128000\n")
            AAC_RATE_CASE(24000, rate >= 20000 && rate <= 128000,
                          "AACLC 24000 Hz bitRate(%d) should be 20000 ~ 128000\n")
            AAC_RATE_CASE(32000, rate >= 24000 && rate <= 256000,
                          "AACLC 32000 Hz bitRate(%d) should be 24000 ~ 256000\n")
            AAC_RATE_CASE(44100, rate >= 32000 && rate <= 320000,
                          "AACLC 44100 Hz bitRate(%d) should be 32000 ~ 320000\n")
            // accepts from 32000 although its line names 48000
            AAC_RATE_CASE(48000, rate >= 32000 && rate <= 320000,
                          "AACLC 48000 Hz bitRate(%d) should be 48000 ~ 320000\n")
        default:
            printf("AACLC invalid samplerate(%d) should be 8000~48000\n", smp);
            return AENC_ERR_ILLEGAL_PARAM;
        }
    } else if (format == AACENC_FORMAT_EAAC) {
        if (pconfig->nChannelsOut != pconfig->nChannelsIn) {
            printf("EAAC nChannelsOut(%d) is not equal to nChannelsIn(%d)\n", pconfig->nChannelsOut,
                   pconfig->nChannelsIn);
            return AENC_ERR_ILLEGAL_PARAM;
        }
        switch (smp) {
            AAC_RATE_CASE(32000, rate >= 18000 && rate <= 23000, "EAAC 32000 Hz bitRate(%d) should be 18000 ~ 23000\n")
            AAC_RATE_CASE(44100, rate >= 24000 && rate <= 51000, "EAAC 44100 Hz bitRate(%d) should be 24000 ~ 51000\n")
            AAC_RATE_CASE(48000, rate >= 24000 && rate <= 51000, "EAAC 48000 Hz bitRate(%d) should be 24000 ~ 51000\n")
        default:
            printf("EAAC invalid samplerate(%d) should be 32000/44100/48000\n", smp);
            return AENC_ERR_ILLEGAL_PARAM;
        }
    } else if (format == AACENC_FORMAT_EAACPLUS) {
        if (pconfig->nChannelsOut != 2 || pconfig->nChannelsIn != 2) {
            printf("EAACPLUS nChannelsOut(%d) and nChannelsIn(%d) should be 2\n", pconfig->nChannelsOut,
                   pconfig->nChannelsIn);
            return AENC_ERR_ILLEGAL_PARAM;
        }
        switch (smp) {
            AAC_RATE_CASE(32000, rate >= 12000 && rate < 18000,
                          "EAACPLUS 32000 Hz bitRate(%d) should  be 12000 ~ 18000\n")
            AAC_RATE_CASE(44100, rate >= 18000 && rate < 40000,
                          "EAACPLUS 44100 Hz bitRate(%d) should  be 18000 ~ 40000\n")
            AAC_RATE_CASE(48000, rate >= 40000 && rate <= 56000,
                          "EAACPLUS 48000 Hz bitRate(%d) should  be 40000 ~ 56000\n")
        default:
            printf("EAACPLUS invalid samplerate(%d) should be 32000/44100/48000\n", smp);
            return AENC_ERR_ILLEGAL_PARAM;
        }
    }
#undef AAC_RATE_CASE
    return 0;
}

int32_t OpenAACEncoder(void* pEncoderAttr, void** ppEncoder)
{
    AAC_ASSERT(pEncoderAttr != NULL);
    AAC_ASSERT(ppEncoder != NULL);
    const AENC_ATTR_AAC_S* attr = static_cast<const AENC_ATTR_AAC_S*>(pEncoderAttr);

    int32_t ret = AencCheckAACAttr(attr);
    if (ret != 0) {
        AAC_RET(ret);
        return ret;
    }
    AAC_ENCODER_STATE_S* state = static_cast<AAC_ENCODER_STATE_S*>(calloc(1, sizeof(AAC_ENCODER_STATE_S)));
    if (state == nullptr) {
        AAC_INFO("no memory");
        return AENC_ERR_NOMEM;
    }
    *ppEncoder = state;

    AACENC_CONFIG config;
    ret = AACInitDefaultConfig(&config);
    if (ret == 0) {
        config.quality = 1;
        config.coderFormat = static_cast<int32_t>(attr->enAACType);
        config.bitsPerSample = static_cast<int32_t>(8u << attr->enBitWidth);
        config.sampleRate = static_cast<int32_t>(attr->enSmpRate);
        config.bitRate = static_cast<int32_t>(attr->enBitRate);
        const bool stereo = attr->enSoundMode == AUDIO_SOUND_MODE_STEREO || attr->enAACType == AAC_TYPE_EAACPLUS;
        config.nChannelsIn = stereo ? 2 : 1;
        config.nChannelsOut = config.nChannelsIn;
        config.bandWidth = config.sampleRate / 2;
        if (AencAACCheckConfig(&config) != 0) {
            printf("[Func]:%s [Line]:%d #########\n", __FUNCTION__, __LINE__);
            ret = AENC_ERR_ILLEGAL_PARAM;
        } else {
            ret = AACEncoderOpen(&state->pstAACState, &config);
            if (ret != 0) {
                AAC_RET(ret);
            }
        }
    } else {
        AAC_RET(ret);
    }
    if (ret != 0) {
        // Nothing of a failed open stays with the caller.
        free(state);
        *ppEncoder = nullptr;
        return ret;
    }
    state->stAACAttr = *attr;
    return 0;
}

int32_t EncodeAACFrm(void* pEncoder, const AUDIO_FRAME_S* pstData, uint8_t* pu8Outbuf, uint32_t* pu32OutLen)
{
    AAC_ASSERT(pEncoder != NULL);
    AAC_ASSERT(pstData != NULL);
    AAC_ASSERT(pu8Outbuf != NULL);
    AAC_ASSERT(pu32OutLen != NULL);
    AAC_ENCODER_STATE_S* state = static_cast<AAC_ENCODER_STATE_S*>(pEncoder);
    const bool stereo = state->stAACAttr.enSoundMode == AUDIO_SOUND_MODE_STEREO;

    if (stereo && pstData->enSoundmode != AUDIO_SOUND_MODE_STEREO) {
        AAC_INFO("AAC encode receive a frame which not match its Soundmode");
        return AENC_ERR_ILLEGAL_PARAM;
    }
    uint32_t expected = 0;
    switch (state->stAACAttr.enAACType) {
    case AAC_TYPE_AACLC:
        expected = kAacLcSamples;
        break;
    case AAC_TYPE_EAAC:
    case AAC_TYPE_EAACPLUS:
        expected = kEaacSamples;
        break;
    default:
        AAC_INFO("invalid AAC coder type");
        return AENC_ERR_ILLEGAL_PARAM;
    }
    // 64-bit divisor: no bit-width code divides by zero.
    const uint64_t count = pstData->u32Len / (static_cast<uint64_t>(pstData->enBitwidth) + 1);
    if (count != expected) {
        printf("[Func]:%s [Line]:%d [Info]:invalid u32PtNums%d for AAC_TYPE_AACLC\n", __FUNCTION__, __LINE__,
               static_cast<int>(count));
        return AENC_ERR_ILLEGAL_PARAM;
    }
    const int16_t* left = static_cast<const int16_t*>(pstData->pVirAddr[0]);
    const int16_t* right = static_cast<const int16_t*>(pstData->pVirAddr[1]);
    if (left == nullptr || (stereo && right == nullptr)) {
        AAC_INFO("AAC encode receive a frame without data");
        return AENC_ERR_NULL_PTR;
    }
    int16_t samples[2 * kEaacSamples];
    if (stereo) {
        for (uint32_t i = expected; i-- > 0;) {
            samples[2 * i] = left[i];
            samples[2 * i + 1] = right[i];
        }
    } else {
        for (uint32_t i = expected; i-- > 0;) {
            samples[i] = left[i];
        }
    }
    int32_t ret = AACEncoderFrame(state->pstAACState, samples, pu8Outbuf, pu32OutLen);
    if (ret != 0) {
        AAC_INFO("AAC encode failed");
    }
    return ret;
}

int32_t CloseAACEncoder(void* pEncoder)
{
    AAC_ASSERT(pEncoder != NULL);
    AAC_ENCODER_STATE_S* state = static_cast<AAC_ENCODER_STATE_S*>(pEncoder);
    AACEncoderClose(state->pstAACState);
    free(state);
    return 0;
}
