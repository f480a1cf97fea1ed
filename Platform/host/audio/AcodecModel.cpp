#include "Platform/host/audio/AcodecModel.h"

#include <errno.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "Platform/Acodec.h"

namespace {

const AcodecState kPowerOn = {0, 0, 0, -1, 0, 0, 0, 0};

// Accepted register values.
const int32_t kInputVolumeMin = 0;
const int32_t kInputVolumeMax = 120;
const int32_t kOutputVolumeMin = -121;
const int32_t kOutputVolumeMax = 6;

}  // namespace

CAcodecModel* CAcodecModel::instance()
{
    static CAcodecModel* model = new CAcodecModel;  // outlives every media thread
    return model;
}

CAcodecModel::CAcodecModel() : m_State(kPowerOn), m_OpenFailure{0, 0}
{
}

int CAcodecModel::TakeFailure(tagFailure& f)
{
    if (f.times == 0) {
        return 0;
    }
    if (f.times > 0) {
        f.times--;
    }
    return f.error;
}

int CAcodecModel::Open()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    int err = TakeFailure(m_OpenFailure);
    if (err != 0) {
        errno = err;
        return -1;
    }
    m_State.nOpen++;
    m_State.nOpens++;
    return 0;
}

void CAcodecModel::Close()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_State.nOpen > 0) {
        m_State.nOpen--;
    }
}

int CAcodecModel::Ioctl(unsigned long request, void* arg)
{
    const uint32_t req = static_cast<uint32_t>(request);
    std::lock_guard<std::mutex> lock(m_Lock);
    AcodecRequest entry = {req, 0, 0, 0, static_cast<pid_t>(syscall(SYS_gettid))};
    int32_t* value = static_cast<int32_t*>(arg);
    const bool takesValue = req != ACODEC_REQ_RESET;
    int err = 0;
    if (takesValue && value == nullptr) {
        err = EFAULT;
    } else {
        if (takesValue) {
            entry.value = *value;
        }
        auto it = m_RequestFailures.find(req);
        if (it != m_RequestFailures.end()) {
            err = TakeFailure(it->second);
        }
    }
    if (err == 0) {
        const int32_t v = entry.value;
        switch (req) {
        case ACODEC_REQ_RESET: {
            const AcodecState kept = m_State;
            m_State = kPowerOn;
            m_State.nOpen = kept.nOpen;
            m_State.nOpens = kept.nOpens;
            m_State.nResets = kept.nResets + 1;
            break;
        }
        case ACODEC_REQ_SAMPLE_RATE:
            if (v == ACODEC_RATE_CODE_8K || v == ACODEC_RATE_CODE_16K || v == ACODEC_RATE_CODE_32K) {
                m_State.nRateCode = v;
            } else {
                err = EINVAL;
            }
            break;
        case ACODEC_REQ_INPUT_VOLUME:
            if (v >= kInputVolumeMin && v <= kInputVolumeMax) {
                m_State.nInputVolume = v;
            } else {
                err = EINVAL;
            }
            break;
        case ACODEC_REQ_OUTPUT_VOLUME:
            if (v >= kOutputVolumeMin && v <= kOutputVolumeMax) {
                m_State.nOutputVolume = v;
            } else {
                err = EINVAL;
            }
            break;
        case ACODEC_REQ_INPUT_MUTE_1:
        case ACODEC_REQ_INPUT_MUTE_2:
            if (v == 0 || v == 1) {
                (req == ACODEC_REQ_INPUT_MUTE_1 ? m_State.nInputMute1 : m_State.nInputMute2) = v;
            } else {
                err = EINVAL;
            }
            break;
        default:
            err = ENOTTY;
            break;
        }
    }
    if (err != 0) {
        entry.result = -1;
        entry.error = err;
    }
    m_Log.push_back(entry);
    if (err != 0) {
        errno = err;
        return -1;
    }
    return 0;
}

void CAcodecModel::ResetModel()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    const int open = m_State.nOpen;
    m_State = kPowerOn;
    m_State.nOpen = open;
    m_Log.clear();
    m_OpenFailure = {0, 0};
    m_RequestFailures.clear();
}

AcodecState CAcodecModel::State()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_State;
}

std::vector<AcodecRequest> CAcodecModel::Requests()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Log;
}

void CAcodecModel::FailOpen(int error, int times)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_OpenFailure = {error, times};
}

void CAcodecModel::FailRequest(uint32_t request, int error, int times)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_RequestFailures[request] = {error, times};
}

void CAcodecModel::ClearFailures()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_OpenFailure = {0, 0};
    m_RequestFailures.clear();
}

bool CAcodecModel::MicMuted()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_State.nInputMute1 == 1 || m_State.nInputMute2 == 1;
}
