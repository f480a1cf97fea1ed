#ifndef PLATFORM_AUDIOOUT_H
#define PLATFORM_AUDIOOUT_H

// The media SDK's audio output module (AO): the speaker's device and its
// channel. Frames sent to an enabled channel play at the sample rate; the
// channel holds u32FrmNum frames. Every call returns 0 or AO_ERR_*.

#include "Platform/AudioTypes.h"

#define AO_MAX_DEVICES 1
#define AO_MAX_CHANNELS 1
// Longest frame a channel takes, bytes per channel buffer.
#define AO_MAX_FRAME_BYTES 4096

HI_S32 HI_MPI_AO_SetPubAttr(AUDIO_DEV AoDevId, const AIO_ATTR_S* pstAttr);
HI_S32 HI_MPI_AO_GetPubAttr(AUDIO_DEV AoDevId, AIO_ATTR_S* pstAttr);
HI_S32 HI_MPI_AO_Enable(AUDIO_DEV AoDevId);
HI_S32 HI_MPI_AO_Disable(AUDIO_DEV AoDevId);
HI_S32 HI_MPI_AO_EnableChn(AUDIO_DEV AoDevId, AO_CHN AoChn);
HI_S32 HI_MPI_AO_DisableChn(AUDIO_DEV AoDevId, AO_CHN AoChn);
// s32MilliSec: -1 waits while the channel is full, 0 fails at once, more
// waits that long. Disabling the channel or device ends a wait with an error.
HI_S32 HI_MPI_AO_SendFrame(AUDIO_DEV AoDevId, AO_CHN AoChn, const AUDIO_FRAME_S* pstData, HI_S32 s32MilliSec);

#endif
