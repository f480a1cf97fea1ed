#include "AVCapture/SDKAudioIO.h"

#include "Function/XLog.h"

BOOL InitSDKAudioIO(CAudioCapture& audio)
{
    if (!audio.InitAudio()) {
        XERROR("m_AudioCapture.InitAudio()\n");
        return 0;
    }
    if (!audio.InitAudioInput()) {
        XERROR("m_AudioCapture.InitAudioInput()\n");
        return 0;
    }
    if (!audio.InitAudioOutput()) {
        XERROR("m_AudioCapture.InitAudioOutput()\n");
        return 0;
    }
    return 1;
}

BOOL CleanUpSDKAudioIO(CAudioCapture& audio)
{
    audio.CleanupAudioOutput();
    audio.CleanupAudioInput();
    audio.CleanupAudio();
    return 1;
}
