#ifndef ROLES_CAPTUREAUDIO_H
#define ROLES_CAPTUREAUDIO_H

#include "Function/types.h"

// The camera's speaker and microphone on the audio codec.
class CCaptureAudio {
public:
    virtual ~CCaptureAudio() = default;

    // Speaker volume 0..20 (0 mutes the speaker); 0 when refused or failed.
    virtual BOOL SetVolume(int volume) = 0;
    virtual BOOL GetIsOutputVolumeMute() = 0;
    virtual void AudioInputMuteEnable() = 0;
    virtual void AudioInputMuteDisable() = 0;
};

#endif
