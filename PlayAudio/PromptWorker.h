#ifndef PLAYAUDIO_PROMPTWORKER_H
#define PLAYAUDIO_PROMPTWORKER_H

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "Function/types.h"
#include "MultiTask/Singleton.h"
#include "PlayAudio/PromptFile.h"
#include "PlayAudio/PromptRoles.h"

// Sends one frame of up to 512 bytes (padded with silence to 512) to audio
// output device 0 channel 0, waiting while the channel is full. A failure is
// printed and followed by about one frame time of silence. Always 0.
int PlayPCM(const uint8_t* buffer, unsigned length);

// The worker that plays the prompts: one thread, started with the first
// request and stopped by Stop. The newest request wins: it cuts a prompt
// being played and replaces one still waiting. Around a prompt it drives
// the speaker amplifier (GPIO 1) high and mutes the microphone when audio is
// recorded on a tested device; both are released when the prompt ends, is
// dropped, or pauses while the speaker is muted.
class CPromptWorker : public CSingleton<CPromptWorker> {
public:
    // The pins, audio, flags, card and environment it reaches (not owned),
    // before Start.
    void Bind(const PromptRoles& roles) { m_Roles = roles; }
    // Stores the prompt number, then raises the request flag.
    void Request(int index);
    // Starts the thread unless it runs; FALSE when it cannot be created.
    BOOL Start();
    BOOL Running();
    // Stops the thread (ending a wait for room in the output) and joins it;
    // the amplifier is switched off and any request is dropped.
    void Stop();
    // A stopping worker cuts waits short.
    bool Stopping() const { return m_bStop.load(std::memory_order_acquire); }
    // Sleeps up to `ms`, less when the worker is told to stop.
    void Nap(unsigned ms);

    CPromptWorker(const CPromptWorker&) = delete;
    CPromptWorker& operator=(const CPromptWorker&) = delete;

    std::atomic<int> recv_audio_msg_flag;  // a request is waiting
    std::atomic<int> play_audio_flag;      // a prompt is loaded and being played

private:
    friend class CSingleton<CPromptWorker>;
    CPromptWorker();
    // Stops the thread first: PlayPCM may run until it is joined.
    ~CPromptWorker();

    static void* Body(void* arg);
    void Play_Audio();
    // Loads the newest request; false when it was dropped.
    bool Load();
    // Plays the next frame; false at the end of the prompt.
    bool PlayNext();
    void DropData();
    // Amplifier on and microphone muted (as the settings say), or both back.
    void TakeOutputs();
    void ReleaseOutputs();
    bool SpeakerMuted();
    bool MuteMicrophone();
    void SetAmplifier(int level);

    std::atomic<int> m_Index;  // the newest request's prompt number
    std::atomic<bool> m_bStop;
    std::mutex m_Lock;         // the thread's start and stop, and naps
    std::condition_variable m_Wake;
    pthread_t m_Thread;
    bool m_bRunning;
    PromptRoles m_Roles{};

    // Worker thread only.
    char m_Path[256];
    CPromptFile m_File;
    std::unique_ptr<uint8_t[]> m_Data;
    size_t m_DataCap;
    size_t m_DataLen;   // valid bytes in m_Data
    size_t m_DataPos;   // next byte to play in m_Data
    bool m_bHeld;       // amplifier on (and microphone muted) for a prompt
};

#endif
