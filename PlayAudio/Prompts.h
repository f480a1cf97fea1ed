#ifndef PLAYAUDIO_PROMPTS_H
#define PLAYAUDIO_PROMPTS_H

// Voice prompts as every subsystem asks for them: one prompt number
// (pcm_index_t, PlayAudio/PcmIndex.h) at normal priority; the newest
// request replaces a playing prompt.
class CPrompts {
public:
    virtual ~CPrompts() = default;

    virtual void PlayPrompt(int index) = 0;
};

#endif
