// The simulated audio input: the microphone's device, its channels and the
// worker that makes frames while device 0 and channel 0 are enabled.

#include "Platform/AudioIn.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "Platform/AudioSim.h"
#include "Platform/host/audio/AcodecModel.h"
#include "Platform/host/audio/AudioCore.h"
#include "Platform/host/audio/MicSource.h"
#include "Platform/host/media/MediaCore.h"

namespace {

// A time stamp further than this from the expected one follows the clock.
const int64_t kStampSlackUs = 50000;

struct tagAiState {
    std::mutex mutex;
    std::condition_variable cv;
    AudioSimAi info = {};
    std::thread worker;
    bool bStop = false;
    CMicSource mic;
};

tagAiState& State()
{
    static tagAiState* s = new tagAiState;  // outlives every media thread
    return *s;
}

HI_S32 CheckDevChn(AUDIO_DEV dev, int chn)
{
    if (dev < 0 || dev >= AI_MAX_DEVICES) {
        return AI_ERR_INVALID_DEVID;
    }
    if (chn != -1 && (chn < 0 || chn >= AI_MAX_CHANNELS)) {
        return AI_ERR_INVALID_CHNID;
    }
    return 0;
}

// The fault injected into call fn, then the device and channel check.
HI_S32 Admit(const char* fn, AUDIO_DEV dev, int chn)
{
    if (HI_S32 f = XMediaFault(fn, chn)) {
        return f;
    }
    return CheckDevChn(dev, chn);
}

void WorkerBody()
{
    tagAiState& s = State();
    std::vector<int16_t> left, right;
    std::chrono::steady_clock::time_point next = std::chrono::steady_clock::now();
    uint64_t lastStamp = 0;
    bool haveStamp = false;
    uint32_t seq = 0;
    std::unique_lock<std::mutex> lock(s.mutex);
    while (!s.bStop) {
        if (!s.info.bChnEnabled[0]) {
            s.cv.wait(lock);
            next = std::chrono::steady_clock::now();
            haveStamp = false;
            continue;
        }
        const AIO_ATTR_S attr = s.info.stAttr;
        const auto period = std::chrono::nanoseconds(static_cast<int64_t>(attr.u32PtNumPerFrm) * 1000000000LL /
                                                     attr.enSamplerate);
        next += period;
        if (s.cv.wait_until(lock, next, [&] { return s.bStop || !s.info.bChnEnabled[0]; })) {
            continue;
        }
        // one frame of the samples of the period that just ended
        left.resize(attr.u32PtNumPerFrm);
        s.mic.Fill(left.data(), attr.u32PtNumPerFrm, attr.enSamplerate);
        const bool muted = CAcodecModel::instance()->MicMuted();
        if (muted) {
            std::fill(left.begin(), left.end(), 0);
        }
        const bool stereo = attr.enSoundmode == AUDIO_SOUND_MODE_STEREO;
        if (stereo) {
            right = left;
        }
        const int64_t periodUs = static_cast<int64_t>(attr.u32PtNumPerFrm) * 1000000 / attr.enSamplerate;
        // The frame's stamp is the end of its sample period, however late
        // this worker got to run (the device stamps by its sample clock).
        const int64_t lateUs =
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - next).count();
        uint64_t stamp = XMediaPtsNow();
        if (lateUs > 0 && static_cast<uint64_t>(lateUs) < stamp) {
            stamp -= static_cast<uint64_t>(lateUs);
        }
        if (haveStamp) {
            const int64_t expected = static_cast<int64_t>(lastStamp) + periodUs;
            const int64_t diff = static_cast<int64_t>(stamp) - expected;
            if (diff > -kStampSlackUs && diff < kStampSlackUs) {
                stamp = static_cast<uint64_t>(expected);
            }
        }
        lastStamp = stamp;
        haveStamp = true;
        s.info.u64Frames++;
        if (muted) {
            s.info.u64MutedFrames++;
        }
        lock.unlock();

        AUDIO_FRAME_S frame = {};
        frame.enBitwidth = AUDIO_BIT_WIDTH_16;
        frame.enSoundmode = stereo ? AUDIO_SOUND_MODE_STEREO : AUDIO_SOUND_MODE_MONO;
        frame.pVirAddr[0] = left.data();
        frame.pVirAddr[1] = stereo ? right.data() : nullptr;
        frame.u64TimeStamp = stamp;
        frame.u32Seq = seq++;
        frame.u32Len = attr.u32PtNumPerFrm * 2;
        const MPP_CHN_S src = {HI_ID_AI, 0, 0};
        for (const MPP_CHN_S& dst : XMediaBindSinks(src)) {
            if (dst.enModId == HI_ID_AENC) {
                XAencFeedFrame(dst.s32ChnId, &frame);
            }
        }
        lock.lock();
    }
}

void StopWorker(std::unique_lock<std::mutex>& lock)
{
    tagAiState& s = State();
    if (!s.worker.joinable()) {
        return;
    }
    s.bStop = true;
    s.cv.notify_all();
    std::thread t = std::move(s.worker);
    lock.unlock();
    t.join();
    lock.lock();
    s.bStop = false;
}

}  // namespace

HI_S32 HI_MPI_AI_SetPubAttr(AUDIO_DEV AiDevId, const AIO_ATTR_S* pstAttr)
{
    if (HI_S32 e = Admit(__func__, AiDevId, -1)) {
        return e;
    }
    if (pstAttr == nullptr) {
        return AI_ERR_NULL_PTR;
    }
    const AIO_ATTR_S& a = *pstAttr;
    if (!XAioAttrOk(a, FALSE, AI_MAX_CHANNELS)) {
        return AI_ERR_ILLEGAL_PARAM;
    }
    tagAiState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.info.bEnabled) {
        return AI_ERR_NOT_PERM;
    }
    s.info.stAttr = a;
    s.info.bAttrSet = TRUE;
    XMediaStateChanged();
    return 0;
}

HI_S32 HI_MPI_AI_GetPubAttr(AUDIO_DEV AiDevId, AIO_ATTR_S* pstAttr)
{
    if (HI_S32 e = CheckDevChn(AiDevId, -1)) {
        return e;
    }
    if (pstAttr == nullptr) {
        return AI_ERR_NULL_PTR;
    }
    tagAiState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.info.bAttrSet) {
        return AI_ERR_NOT_CONFIG;
    }
    *pstAttr = s.info.stAttr;
    return 0;
}

HI_S32 HI_MPI_AI_Enable(AUDIO_DEV AiDevId)
{
    if (HI_S32 e = Admit(__func__, AiDevId, -1)) {
        return e;
    }
    if (!XMediaSysReady()) {
        return AI_ERR_SYS_NOTREADY;
    }
    tagAiState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.info.bAttrSet) {
        return AI_ERR_NOT_CONFIG;
    }
    if (!s.info.bEnabled) {
        s.info.bEnabled = TRUE;
        s.worker = std::thread(WorkerBody);
    }
    XMediaStateChanged();
    return 0;
}

HI_S32 HI_MPI_AI_Disable(AUDIO_DEV AiDevId)
{
    if (HI_S32 e = Admit(__func__, AiDevId, -1)) {
        return e;
    }
    tagAiState& s = State();
    std::unique_lock<std::mutex> lock(s.mutex);
    for (BOOL& on : s.info.bChnEnabled) {
        on = FALSE;
    }
    s.info.bEnabled = FALSE;
    s.info.bVqeEnabled = FALSE;
    StopWorker(lock);
    XMediaStateChanged();
    return 0;
}

HI_S32 HI_MPI_AI_EnableChn(AUDIO_DEV AiDevId, AI_CHN AiChn)
{
    if (HI_S32 e = Admit(__func__, AiDevId, AiChn)) {
        return e;
    }
    tagAiState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.info.bEnabled) {
        return AI_ERR_NOT_PERM;
    }
    if (static_cast<HI_U32>(AiChn) >= s.info.stAttr.u32ChnCnt) {
        return AI_ERR_INVALID_CHNID;
    }
    s.info.bChnEnabled[AiChn] = TRUE;
    s.cv.notify_all();
    XMediaStateChanged();
    return 0;
}

HI_S32 HI_MPI_AI_DisableChn(AUDIO_DEV AiDevId, AI_CHN AiChn)
{
    if (HI_S32 e = Admit(__func__, AiDevId, AiChn)) {
        return e;
    }
    tagAiState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.info.bChnEnabled[AiChn] = FALSE;
    if (AiChn == 0) {
        s.info.bVqeEnabled = FALSE;
    }
    s.cv.notify_all();
    XMediaStateChanged();
    return 0;
}

HI_S32 HI_MPI_AI_SetVqeAttr(AUDIO_DEV AiDevId, AI_CHN AiChn, AUDIO_DEV AoDevId, AO_CHN AoChn,
                            const AI_VQE_CONFIG_S* pstVqeConfig)
{
    if (HI_S32 e = Admit(__func__, AiDevId, AiChn)) {
        return e;
    }
    if (pstVqeConfig == nullptr) {
        return AI_ERR_NULL_PTR;
    }
    if (AoDevId != 0 || AoChn != 0) {
        return AI_ERR_ILLEGAL_PARAM;
    }
    tagAiState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.info.bChnEnabled[AiChn]) {
        return AI_ERR_NOT_PERM;
    }
    if (pstVqeConfig->s32WorkSampleRate != static_cast<HI_S32>(s.info.stAttr.enSamplerate) ||
        pstVqeConfig->s32FrameSample != static_cast<HI_S32>(s.info.stAttr.u32PtNumPerFrm)) {
        return AI_ERR_ILLEGAL_PARAM;
    }
    s.info.stVqe = *pstVqeConfig;
    s.info.bVqeSet = TRUE;
    XMediaStateChanged();
    return 0;
}

HI_S32 HI_MPI_AI_GetVqeAttr(AUDIO_DEV AiDevId, AI_CHN AiChn, AI_VQE_CONFIG_S* pstVqeConfig)
{
    if (HI_S32 e = CheckDevChn(AiDevId, AiChn)) {
        return e;
    }
    if (pstVqeConfig == nullptr) {
        return AI_ERR_NULL_PTR;
    }
    tagAiState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.info.bVqeSet) {
        return AI_ERR_NOT_CONFIG;
    }
    *pstVqeConfig = s.info.stVqe;
    return 0;
}

HI_S32 HI_MPI_AI_EnableVqe(AUDIO_DEV AiDevId, AI_CHN AiChn)
{
    if (HI_S32 e = Admit(__func__, AiDevId, AiChn)) {
        return e;
    }
    tagAiState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.info.bVqeSet) {
        return AI_ERR_NOT_CONFIG;
    }
    s.info.bVqeEnabled = TRUE;
    XMediaStateChanged();
    return 0;
}

HI_S32 HI_MPI_AI_DisableVqe(AUDIO_DEV AiDevId, AI_CHN AiChn)
{
    if (HI_S32 e = Admit(__func__, AiDevId, AiChn)) {
        return e;
    }
    tagAiState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.info.bVqeEnabled = FALSE;
    XMediaStateChanged();
    return 0;
}

void XAudioSimAiInfo(AudioSimAi* info)
{
    tagAiState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    *info = s.info;
}

void XAiReset()
{
    tagAiState& s = State();
    std::unique_lock<std::mutex> lock(s.mutex);
    StopWorker(lock);
    s.info = AudioSimAi();
    s.mic = CMicSource();
}

std::string XAiJson()
{
    AudioSimAi i;
    XAudioSimAiInfo(&i);
    char buf[512];
    snprintf(buf, sizeof(buf),
             "{\"attr_set\":%s,\"sample_rate\":%u,\"samples_per_frame\":%u,\"channels\":%u,\"enabled\":%s,"
             "\"chn_enabled\":[%s,%s],\"vqe_set\":%s,\"vqe_enabled\":%s,\"frames\":%llu,\"muted_frames\":%llu}",
             i.bAttrSet ? "true" : "false", i.stAttr.enSamplerate, i.stAttr.u32PtNumPerFrm, i.stAttr.u32ChnCnt,
             i.bEnabled ? "true" : "false", i.bChnEnabled[0] ? "true" : "false", i.bChnEnabled[1] ? "true" : "false",
             i.bVqeSet ? "true" : "false", i.bVqeEnabled ? "true" : "false",
             static_cast<unsigned long long>(i.u64Frames), static_cast<unsigned long long>(i.u64MutedFrames));
    return buf;
}
