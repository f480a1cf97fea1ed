#include "Platform/AacWrapper.h"

#include <cstring>
#include <new>

#include "Platform/AudioTypes.h"

#if defined(DASHCAM_HAVE_FDK_AAC)
#include <fdk-aac/aacenc_lib.h>
#endif

int32_t AACInitDefaultConfig(AACENC_CONFIG* config)
{
    if (config == nullptr) {
        return AENC_ERR_NULL_PTR;
    }
    config->quality = 1;
    config->coderFormat = AACENC_FORMAT_AACLC;
    config->bitsPerSample = 16;
    config->sampleRate = 44100;
    config->bitRate = 128000;
    config->nChannelsIn = 2;
    config->nChannelsOut = 2;
    config->bandWidth = 22050;
    return 0;
}

#if defined(DASHCAM_HAVE_FDK_AAC)

struct tagAacEncoder {
    HANDLE_AACENCODER handle;
    uint32_t frameLength;  // samples per channel
    uint32_t channels;
    uint32_t maxOutBytes;
};

namespace {

// Object type of each coder format.
int ObjectType(int32_t coderFormat)
{
    switch (coderFormat) {
    case AACENC_FORMAT_AACLC:
        return AOT_AAC_LC;
    case AACENC_FORMAT_EAAC:
        return AOT_SBR;
    case AACENC_FORMAT_EAACPLUS:
        return AOT_PS;
    default:
        return -1;
    }
}

}  // namespace

int32_t AACEncoderOpen(AAC_ENCODER_S** encoder, const AACENC_CONFIG* config)
{
    if (encoder == nullptr || config == nullptr) {
        return AENC_ERR_NULL_PTR;
    }
    *encoder = nullptr;
    const int aot = ObjectType(config->coderFormat);
    if (aot < 0 || config->bitsPerSample != 16 || config->nChannelsIn < 1 || config->nChannelsIn > 2 ||
        config->nChannelsOut != config->nChannelsIn || config->sampleRate <= 0 || config->bitRate <= 0) {
        return AENC_ERR_ILLEGAL_PARAM;
    }
    HANDLE_AACENCODER h = nullptr;
    if (aacEncOpen(&h, 0, static_cast<UINT>(config->nChannelsIn)) != AACENC_OK) {
        return AENC_ERR_NOMEM;
    }
    const CHANNEL_MODE mode = config->nChannelsIn == 1 ? MODE_1 : MODE_2;
    AACENC_InfoStruct info;
    memset(&info, 0, sizeof(info));
    if (aacEncoder_SetParam(h, AACENC_AOT, static_cast<UINT>(aot)) != AACENC_OK ||
        aacEncoder_SetParam(h, AACENC_SAMPLERATE, static_cast<UINT>(config->sampleRate)) != AACENC_OK ||
        aacEncoder_SetParam(h, AACENC_CHANNELMODE, mode) != AACENC_OK ||
        aacEncoder_SetParam(h, AACENC_CHANNELORDER, 1) != AACENC_OK ||
        aacEncoder_SetParam(h, AACENC_BITRATE, static_cast<UINT>(config->bitRate)) != AACENC_OK ||
        aacEncoder_SetParam(h, AACENC_TRANSMUX, TT_MP4_ADTS) != AACENC_OK ||
        aacEncoder_SetParam(h, AACENC_PROTECTION, 0) != AACENC_OK ||
        aacEncEncode(h, nullptr, nullptr, nullptr, nullptr) != AACENC_OK ||
        aacEncInfo(h, &info) != AACENC_OK) {
        aacEncClose(&h);
        return AENC_ERR_ILLEGAL_PARAM;
    }
    AAC_ENCODER_S* enc = new (std::nothrow) AAC_ENCODER_S;
    if (enc == nullptr) {
        aacEncClose(&h);
        return AENC_ERR_NOMEM;
    }
    enc->handle = h;
    enc->frameLength = info.frameLength;
    enc->channels = static_cast<uint32_t>(config->nChannelsIn);
    enc->maxOutBytes = info.maxOutBufBytes;
    *encoder = enc;
    return 0;
}

int32_t AACEncoderFrame(AAC_ENCODER_S* encoder, const int16_t* samples, uint8_t* out, uint32_t* outLen)
{
    if (encoder == nullptr || samples == nullptr || out == nullptr || outLen == nullptr) {
        return AENC_ERR_NULL_PTR;
    }
    *outLen = 0;
    void* inPtr = const_cast<int16_t*>(samples);
    INT inId = IN_AUDIO_DATA;
    INT inSize = static_cast<INT>(encoder->frameLength * encoder->channels * sizeof(INT_PCM));
    INT inElSize = static_cast<INT>(sizeof(INT_PCM));
    AACENC_BufDesc inBuf;
    memset(&inBuf, 0, sizeof(inBuf));
    inBuf.numBufs = 1;
    inBuf.bufs = &inPtr;
    inBuf.bufferIdentifiers = &inId;
    inBuf.bufSizes = &inSize;
    inBuf.bufElSizes = &inElSize;

    void* outPtr = out;
    INT outId = OUT_BITSTREAM_DATA;
    INT outSize = static_cast<INT>(encoder->maxOutBytes);
    INT outElSize = 1;
    AACENC_BufDesc outBuf;
    memset(&outBuf, 0, sizeof(outBuf));
    outBuf.numBufs = 1;
    outBuf.bufs = &outPtr;
    outBuf.bufferIdentifiers = &outId;
    outBuf.bufSizes = &outSize;
    outBuf.bufElSizes = &outElSize;

    AACENC_InArgs inArgs;
    memset(&inArgs, 0, sizeof(inArgs));
    inArgs.numInSamples = static_cast<INT>(encoder->frameLength * encoder->channels);
    AACENC_OutArgs outArgs;
    memset(&outArgs, 0, sizeof(outArgs));
    if (aacEncEncode(encoder->handle, &inBuf, &outBuf, &inArgs, &outArgs) != AACENC_OK ||
        outArgs.numOutBytes < 0) {
        return AENC_ERR_ENCODER;
    }
    *outLen = static_cast<uint32_t>(outArgs.numOutBytes);
    return 0;
}

int32_t AACEncoderClose(AAC_ENCODER_S* encoder)
{
    if (encoder == nullptr) {
        return AENC_ERR_NULL_PTR;
    }
    aacEncClose(&encoder->handle);
    delete encoder;
    return 0;
}

#else  // no codec library: nothing opens

struct tagAacEncoder {
    int unused;
};

int32_t AACEncoderOpen(AAC_ENCODER_S** encoder, const AACENC_CONFIG* config)
{
    if (encoder == nullptr || config == nullptr) {
        return AENC_ERR_NULL_PTR;
    }
    *encoder = nullptr;
    return AENC_ERR_NOT_SUPPORT;
}

int32_t AACEncoderFrame(AAC_ENCODER_S* encoder, const int16_t* samples, uint8_t* out, uint32_t* outLen)
{
    if (outLen != nullptr) {
        *outLen = 0;
    }
    return (encoder == nullptr || samples == nullptr || out == nullptr) ? AENC_ERR_NULL_PTR : AENC_ERR_NOT_SUPPORT;
}

int32_t AACEncoderClose(AAC_ENCODER_S* encoder)
{
    return encoder == nullptr ? AENC_ERR_NULL_PTR : AENC_ERR_NOT_SUPPORT;
}

#endif
