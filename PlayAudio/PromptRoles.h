#ifndef PLAYAUDIO_PROMPTROLES_H
#define PLAYAUDIO_PROMPTROLES_H

#include "Roles/BootEnv.h"
#include "Roles/CaptureAudio.h"
#include "Roles/CardFiles.h"
#include "Roles/FactoryState.h"
#include "Roles/Pins.h"

// What the prompt player needs from the others, bound before Init. A part
// left null answers as a missing one: no amplifier pin, no speaker or
// microphone mute, the device untested, no card and no devmodel.
typedef struct tagPromptRoles {
    CPins* pins;             // the speaker amplifier, GPIO 1
    CCaptureAudio* audio;    // the speaker's mute, the microphone mute around a prompt
    CFactoryState* factory;  // the microphone is muted only on a tested device
    CCardFiles* card;        // prompts 8 and 17 are files of the card
    CBootEnv* env;           // devmodel chooses the file of prompt 17
} PromptRoles;

#endif
