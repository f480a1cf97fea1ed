#ifndef AVCAPTURE_AACENCODER_H
#define AVCAPTURE_AACENCODER_H

// The AAC encoder the system registers with the audio encoder module, over
// the SDK's AAC wrapper functions. Results: 0, AENC_ERR_ILLEGAL_PARAM,
// AENC_ERR_NULL_PTR (missing configuration), AENC_ERR_NOMEM, or a code of the
// wrapper. Lines go to standard output in the adapter's own forms.

#include <cstdint>

#include "Platform/AacWrapper.h"
#include "Platform/AudioTypes.h"

// The longest access unit the adapter writes.
#define AAC_MAX_FRAME_LEN 1536

// One open encoder: the wrapper's handle and the channel's AAC attributes.
struct tagAacEncoderState {
    AAC_ENCODER_S* pstAACState;
    AENC_ATTR_AAC_S stAACAttr;
};
typedef tagAacEncoderState AAC_ENCODER_STATE_S;

static_assert(sizeof(void*) != 4 || sizeof(tagAacEncoderState) == 24, "24 bytes on the camera");

// Registers the encoder as PT_AAC "Aac" and PT_AACLC "Aaclc". Each type is
// registered at most once per process: a later call registers only what is
// missing and returns 0 when both are there.
int32_t HI_MPI_AENC_AacInit();

int32_t OpenAACEncoder(void* pEncoderAttr, void** ppEncoder);
int32_t EncodeAACFrm(void* pEncoder, const AUDIO_FRAME_S* pstData, uint8_t* pu8Outbuf, uint32_t* pu32OutLen);
int32_t CloseAACEncoder(void* pEncoder);

int32_t AencCheckAACAttr(const AENC_ATTR_AAC_S* pstAACAttr);
int32_t AencAACCheckConfig(const AACENC_CONFIG* pconfig);

#endif
