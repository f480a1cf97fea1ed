#include "AVCapture/CommAVCapture.h"
#include "Function/XLog.h"

BOOL CCommAVCapture::InitSDKAudioIO()
{
    if (!m_AudioCapture.InitAudio()) {
        XERROR("m_AudioCapture.InitAudio()\n");
        return 0;
    }
    if (!m_AudioCapture.InitAudioInput()) {
        XERROR("m_AudioCapture.InitAudioInput()\n");
        return 0;
    }
    if (!m_AudioCapture.InitAudioOutput()) {
        XERROR("m_AudioCapture.InitAudioOutput()\n");
        return 0;
    }
    return 1;
}

BOOL CCommAVCapture::CleanUpSDKAudioIO()
{
    m_AudioCapture.CleanupAudioOutput();
    m_AudioCapture.CleanupAudioInput();
    m_AudioCapture.CleanupAudio();
    return 1;
}
