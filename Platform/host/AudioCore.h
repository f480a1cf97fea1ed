#ifndef PLATFORM_HOST_AUDIOCORE_H
#define PLATFORM_HOST_AUDIOCORE_H

// What the simulated audio modules share among themselves. Not for code
// outside Platform/host.

#include <string>

#include "Platform/AudioTypes.h"

// An input frame for encoder channel `chn` (bound from the input).
void XAencFeedFrame(int chn, const AUDIO_FRAME_S* frame);

void XAiReset();
void XAencReset();
void XAoReset();
std::string XAiJson();
std::string XAencJson();
std::string XAoJson();

#endif
