#ifndef PLAYAUDIO_PLAYAUDIO_H
#define PLAYAUDIO_PLAYAUDIO_H

#include "MultiTask/Singleton.h"
#include "MultiTask/Thread.h"
#include "PlayAudio/PcmIndex.h"
#include "PlayAudio/PromptRoles.h"

// The voice-prompt player: a thread that takes the prompt requests from its
// queue and hands the newest to the prompt worker (started with the first
// request, tried again on the next when it could not be created).
class CPlayAudio : public CThread, public CSingleton<CPlayAudio> {
public:
    // What its worker reaches (not owned), before Init.
    void Bind(const PromptRoles& roles);
    // Starts the player thread; 1 or 0.
    BOOL Init();
    // Stops the player thread and then the worker, waiting for both.
    BOOL CleanUp();
    // Posts the request; 0 when the queue is full.
    BOOL PlayAudio(pcm_index_t index);
    // The same with a caller's value; 10000 or more posts nothing and gives 0.
    BOOL PlayAudio(pcm_index_t index, unsigned value);

    void ThreadProc() override;

private:
    friend class CSingleton<CPlayAudio>;
    CPlayAudio();
    ~CPlayAudio() override;
};

#endif
