#ifndef PLATFORM_AENC_H
#define PLATFORM_AENC_H

// The media SDK's audio encoder module (AENC). Every call returns 0 or a
// status code (AENC_ERR_*).

#include <cstdint>

#include "Platform/AudioTypes.h"

#define AENC_MAX_ENCODERS 20
#define AENC_MAX_CHANNELS 32

struct tagAencChnAttr {
    PAYLOAD_TYPE_E enType;     // a registered encoder's type
    HI_U32 u32BufSize;         // streams the channel holds, 2..50
    HI_U32 u32PtNumPerFrm;     // samples per frame
    HI_VOID* pValue;           // the encoder's attributes (AENC_ATTR_AAC_S for AAC)
};
typedef tagAencChnAttr AENC_CHN_ATTR_S;

// Registers an external encoder; a type can be registered once.
HI_S32 HI_MPI_AENC_RegisterEncoder(HI_S32* ps32Handle, const AENC_ENCODER_S* pstEncoder);
HI_S32 HI_MPI_AENC_UnRegisterEncoder(HI_S32 s32Handle);

// Opens the registered encoder of the type with the channel's attributes;
// its failure is the result.
HI_S32 HI_MPI_AENC_CreateChn(AENC_CHN AeChn, const AENC_CHN_ATTR_S* pstAttr);
// Closes the encoder; blocked readers get an error.
HI_S32 HI_MPI_AENC_DestroyChn(AENC_CHN AeChn);
// The channel's descriptor: readable while a stream waits. One per channel
// number, kept across destroy and create. Returns it, or an error code.
HI_S32 HI_MPI_AENC_GetFd(AENC_CHN AeChn);
// s32MilliSec: -1 waits, 0 fails at once when empty, more waits that long.
// The stream's data stays valid until it is released.
HI_S32 HI_MPI_AENC_GetStream(AENC_CHN AeChn, AUDIO_STREAM_S* pstStream, HI_S32 s32MilliSec);
// Gives back the oldest stream taken.
HI_S32 HI_MPI_AENC_ReleaseStream(AENC_CHN AeChn, const AUDIO_STREAM_S* pstStream);

#endif
