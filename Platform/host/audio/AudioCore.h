#ifndef PLATFORM_HOST_AUDIO_AUDIOCORE_H
#define PLATFORM_HOST_AUDIO_AUDIOCORE_H

// What the simulated audio modules share among themselves. Not for code
// outside Platform/host.

#include <string>

#include "Platform/AudioTypes.h"

// An input frame for encoder channel `chn` (bound from the input).
void XAencFeedFrame(int chn, const AUDIO_FRAME_S* frame);

// A device attribute within the limits both devices share: a known rate,
// 8 or 16 bit samples (16 only with `bOnly16`), 1 to `maxChn` channels and
// stereo with exactly two.
BOOL XAioAttrOk(const AIO_ATTR_S& a, BOOL bOnly16, uint32_t maxChn);

void XAiReset();
void XAencReset();
void XAoReset();
std::string XAiJson();
std::string XAencJson();
std::string XAoJson();

#endif
