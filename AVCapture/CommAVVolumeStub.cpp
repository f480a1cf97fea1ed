// Microphone mute of the camera object (stand-in until the volume controls
// are built): both input-mute requests of the audio codec.

#include <cstdint>
#include <cstdio>

#include "AVCapture/CommAVCapture.h"
#include "Platform/Acodec.h"
#include "Platform/DevFile.h"

BOOL CCommAVCapture::AudioInputMuteEnable()
{
    int32_t value = 1;
    if (XDevIoctl(m_AudioCapture.m_FDACodec, ACODEC_REQ_INPUT_MUTE_1, &value) != 0) {
        printf("ioctl err!\n");
    }
    value = 1;
    if (XDevIoctl(m_AudioCapture.m_FDACodec, ACODEC_REQ_INPUT_MUTE_2, &value) != 0) {
        printf("ioctl err!\n");
    }
    return TRUE;
}
