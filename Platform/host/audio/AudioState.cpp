// Reset and state of the simulated audio modules as a whole.

#include <stdio.h>

#include "Platform/AudioSim.h"
#include "Platform/host/audio/AcodecModel.h"
#include "Platform/host/audio/AudioCore.h"

namespace {

BOOL ValidRate(uint32_t rate)
{
    switch (rate) {
    case 8000: case 11025: case 12000: case 16000: case 22050: case 24000: case 32000: case 44100: case 48000:
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

BOOL XAioAttrOk(const AIO_ATTR_S& a, BOOL bOnly16, uint32_t maxChn)
{
    const bool widthBad = bOnly16 ? a.enBitwidth != AUDIO_BIT_WIDTH_16 : a.enBitwidth > AUDIO_BIT_WIDTH_16;
    return ValidRate(a.enSamplerate) && !widthBad && a.enWorkmode <= AIO_MODE_PCM_MASTER_NSTD &&
           a.enSoundmode <= AUDIO_SOUND_MODE_STEREO && a.u32EXFlag <= 1 && a.u32FrmNum >= 2 && a.u32FrmNum <= 50 &&
           a.u32PtNumPerFrm >= 80 && a.u32PtNumPerFrm <= 2048 && a.u32ChnCnt >= 1 && a.u32ChnCnt <= maxChn &&
           a.u32ClkSel <= 1 && !(a.enSoundmode == AUDIO_SOUND_MODE_STEREO && a.u32ChnCnt != 2);
}

void XAudioSimReset()
{
    // the users of frames first: output, encoder channels, then the input
    XAoReset();
    XAencReset();
    XAiReset();
}

std::string XAudioSimStateJson()
{
    const AcodecState c = CAcodecModel::instance()->State();
    char codec[256];
    snprintf(codec, sizeof(codec),
             "{\"open\":%d,\"resets\":%u,\"rate_code\":%d,\"input_volume\":%d,\"output_volume\":%d,"
             "\"input_mute\":[%d,%d]}",
             c.nOpen, c.nResets, c.nRateCode, c.nInputVolume, c.nOutputVolume, c.nInputMute1, c.nInputMute2);
    return std::string("{\"acodec\":") + codec + ",\"ai\":" + XAiJson() + ",\"aenc\":" + XAencJson() +
           ",\"ao\":" + XAoJson() + "}";
}
