// Reset and state of the simulated audio modules as a whole.

#include <stdio.h>

#include "Platform/AudioSim.h"
#include "Platform/host/AcodecModel.h"
#include "Platform/host/AudioCore.h"

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
