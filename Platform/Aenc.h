#ifndef PLATFORM_AENC_H
#define PLATFORM_AENC_H

// The media SDK's audio encoder module (AENC). Every call returns 0 or a
// status code (AENC_ERR_*).

#include <cstdint>

#include "Platform/AudioTypes.h"

#define AENC_MAX_ENCODERS 20

// Registers an external encoder; a type can be registered once.
int32_t HI_MPI_AENC_RegisterEncoder(int32_t* ps32Handle, const AENC_ENCODER_S* pstEncoder);
int32_t HI_MPI_AENC_UnRegisterEncoder(int32_t s32Handle);

#endif
