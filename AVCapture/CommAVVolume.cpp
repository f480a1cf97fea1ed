// Speaker volume and microphone mute of the camera object, on the audio codec.

#include <cstdio>

#include "AVCapture/CommAVCapture.h"
#include "Platform/Acodec.h"
#include "Platform/DevFile.h"

namespace {

// Both input-mute requests with the same value; each failure is printed.
void SetInputMute(int fd, int32_t value)
{
    int32_t v = value;
    if (XDevIoctl(fd, ACODEC_REQ_INPUT_MUTE_1, &v) != 0) {
        printf("ioctl err!\n");
    }
    v = value;
    if (XDevIoctl(fd, ACODEC_REQ_INPUT_MUTE_2, &v) != 0) {
        printf("ioctl err!\n");
    }
}

}  // namespace

BOOL CCommAVCapture::SetVolume(int volume)
{
    printf("volume is : %d\n", volume);
    if (volume < 0 || volume > 20) {
        printf("volume is  Illegal\n");
        return 0;
    }
    if (volume == 0) {
        m_isoutputvolumemute = 1;
        return 1;
    }
    m_isoutputvolumemute = 0;
    int32_t level = volume - 17;
    if (XDevIoctl(m_AudioCapture.m_FDACodec, ACODEC_REQ_OUTPUT_VOLUME, &level) != 0) {
        printf("%s: set acodec output volume failed\n", "SetVolume");
        return 0;
    }
    return 1;
}

BOOL CCommAVCapture::GetIsOutputVolumeMute()
{
    return m_isoutputvolumemute;
}

BOOL CCommAVCapture::AudioInputMuteEnable()
{
    SetInputMute(m_AudioCapture.m_FDACodec, 1);
    return 1;
}

BOOL CCommAVCapture::AudioInputMuteDisable()
{
    SetInputMute(m_AudioCapture.m_FDACodec, 0);
    return 1;
}
