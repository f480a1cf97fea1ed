#ifndef PLATFORM_HOST_AUDIO_ACODECMODEL_H
#define PLATFORM_HOST_AUDIO_ACODECMODEL_H

// The simulated board's audio codec behind /dev/acodec: its registers as
// state, a log of every request with the thread that made it, and injected
// failures. Tests reach it through instance(); the microphone of the audio
// input reads its mute state.

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "Platform/host/devices/DevModel.h"

struct tagAcodecState {
    int nOpen;              // descriptors open now
    uint32_t nOpens;        // successful opens since the model's reset
    uint32_t nResets;       // reset requests done
    int32_t nRateCode;      // last rate code, -1 before any
    int32_t nInputVolume;
    int32_t nOutputVolume;  // signed
    int32_t nInputMute1;    // the microphone is muted while either is 1
    int32_t nInputMute2;
};
typedef tagAcodecState AcodecState;

// One request as the codec saw it.
struct tagAcodecRequest {
    uint32_t request;
    int32_t value;    // the argument's value (0 for the reset or a missing argument)
    int result;       // 0, or -1 when it failed
    int error;        // errno of a failure
    pid_t tid;        // calling thread
};
typedef tagAcodecRequest AcodecRequest;

class CAcodecModel : public CDevModel {
public:
    static CAcodecModel* instance();

    int Open() override;
    int Ioctl(unsigned long request, void* arg) override;
    void Close() override;

    // Power-on state: registers cleared, log and failures dropped. Open
    // descriptors stay open.
    void ResetModel();
    AcodecState State();
    std::vector<AcodecRequest> Requests();
    // The next `times` opens (every one with -1) fail with `error`.
    void FailOpen(int error, int times = -1);
    // The next `times` requests of this code (every one with -1) fail with `error`.
    void FailRequest(uint32_t request, int error, int times = -1);
    void ClearFailures();
    bool MicMuted();

private:
    CAcodecModel();
    struct tagFailure {
        int error;
        int times;
    };
    // 0 when no failure is set; else takes one and returns its errno.
    static int TakeFailure(tagFailure& f);

    std::mutex m_Lock;
    AcodecState m_State;
    std::vector<AcodecRequest> m_Log;
    tagFailure m_OpenFailure;
    std::map<uint32_t, tagFailure> m_RequestFailures;
};

#endif
