#ifndef PLATFORM_AUDIOSIM_H
#define PLATFORM_AUDIOSIM_H

// Observation and injection of the simulated audio modules (simulated board
// only). Failures of audio calls are injected with XMediaSimFail. Safe from
// any thread.
//
// The microphone plays what the board file /standin/mic says ("tone HZ",
// "silence" or "file PATH.wav", set by `sim/board mic`); without it a 1 kHz
// tone at -12 dBFS. It gives zeros while the codec's microphone is muted.

#include <cstdint>
#include <string>
#include <vector>

#include "Platform/AudioIn.h"

// ---- encoder registrations ----
struct tagAencRegistration {
    HI_S32 handle;
    HI_U32 type;
    HI_U32 maxFrameLength;
    std::string name;
};
typedef tagAencRegistration AencRegistration;

// The encoders registered now.
std::vector<AencRegistration> XAencRegistrations();
// Registrations accepted since the process started.
uint32_t XAencRegistrationCount();

// ---- input ----
struct tagAudioSimAi {
    BOOL bAttrSet;
    AIO_ATTR_S stAttr;
    BOOL bEnabled;
    BOOL bChnEnabled[AI_MAX_CHANNELS];
    BOOL bVqeSet;
    BOOL bVqeEnabled;
    AI_VQE_CONFIG_S stVqe;
    uint64_t u64Frames;      // frames made since the last reset
    uint64_t u64MutedFrames; // of which all zeros for the codec's mute
};
typedef tagAudioSimAi AudioSimAi;
void XAudioSimAiInfo(AudioSimAi* info);

// ---- encoder channels ----
struct tagAudioSimAenc {
    BOOL bCreated;
    HI_U32 u32Type;
    HI_U32 u32BufSize;
    uint64_t u64Encoded;     // streams made
    uint64_t u64Dropped;     // streams lost to a full queue
    uint64_t u64Failed;      // frames the encoder refused
    uint64_t u64Got;
    uint64_t u64Released;
    uint32_t u32Queued;
    uint32_t u32Held;
    int nFd;                 // -1 before the first creation
};
typedef tagAudioSimAenc AudioSimAenc;
BOOL XAudioSimAencInfo(int chn, AudioSimAenc* info);
// Channel 0's streams also go to the board's /log/aenc0.aac while on.
void XAudioSimAencDump(BOOL on);

// ---- output ----
struct tagAudioSimAo {
    BOOL bAttrSet;
    AIO_ATTR_S stAttr;
    BOOL bEnabled;
    BOOL bChnEnabled;
    uint64_t u64BytesSent;     // PCM bytes accepted by SendFrame
    uint64_t u64BytesPlayed;   // PCM bytes drained to the board's /log/ao0.pcm
    uint32_t u32Queued;        // frames waiting
};
typedef tagAudioSimAo AudioSimAo;
void XAudioSimAoInfo(AudioSimAo* info);
// A held sink takes no frame from the channel.
void XAudioSimAoHold(BOOL hold);
// Waits up to `ms` until every accepted frame has played.
BOOL XAudioSimAoWaitDrained(int ms);

// Input, encoder channels and output back to their power-on state (the
// registrations and descriptors stay); the codec model is not touched.
void XAudioSimReset();
// Codec, input, encoder channels and output as one JSON object.
std::string XAudioSimStateJson();

#endif
