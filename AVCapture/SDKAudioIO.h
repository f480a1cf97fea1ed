#ifndef AVCAPTURE_SDKAUDIOIO_H
#define AVCAPTURE_SDKAUDIOIO_H

// The capture pipeline's audio bring-up over its CAudioCapture member: codec,
// input, output in that order, stopping at the first failure (0); the
// clean-up in the reverse order (always 1).

#include "AVCapture/Audio.h"

BOOL InitSDKAudioIO(CAudioCapture& audio);
BOOL CleanUpSDKAudioIO(CAudioCapture& audio);

#endif
