#ifndef AVCAPTURE_AUDIO_H
#define AVCAPTURE_AUDIO_H

// The audio side of the capture pipeline: the SoC's audio codec (/dev/acodec),
// the microphone's input device with its encoder channel, and the speaker's
// output device. Operations return 1 or 0; the clean-ups always 1.

#include "Function/types.h"

class CAudioCapture {
public:
    CAudioCapture();
    ~CAudioCapture() = default;
    CAudioCapture(const CAudioCapture&) = delete;
    CAudioCapture& operator=(const CAudioCapture&) = delete;

    // Opens and resets the codec, registers the AAC encoder, sets the rate.
    // Any failure after the open closes the codec again.
    BOOL InitAudio();
    BOOL CleanupAudio();
    // Input volume, input device and channels, encoder channel 0, the bind.
    BOOL InitAudioInput();
    BOOL CleanupAudioInput();
    // Output volume 0, output device and channel 0.
    BOOL InitAudioOutput();
    BOOL CleanupAudioOutput();
    // Voice-quality processing of input channel 0.
    BOOL EnableAudioInFilter();
    BOOL DisableAudioInFilter();

    // The settings below are fixed at construction; the capture's volume and
    // mute requests use the codec descriptor (-1 while the codec is closed).
    int m_FDACodec;
    int m_SampleRate;
    int m_SampleWidth;
    int m_SoundMode;
    int m_SamplesPerFrame;
    int m_Channels;
    int m_InputVolume;
    BOOL m_EnableAudioInFilter;

private:
    void CloseCodec();
};

#endif
