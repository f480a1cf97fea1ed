// The simulated audio output: the speaker's device and channel, and a sink
// that drains the channel at the sample rate into the board's /log/ao0.pcm.

#include "Platform/AudioOut.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "Platform/AudioSim.h"
#include "Platform/BoardRoot.h"
#include "Platform/host/audio/AudioCore.h"
#include "Platform/host/media/MediaCore.h"

namespace {

struct tagPcm {
    std::vector<uint8_t> bytes;  // s16le, channels interleaved
    uint32_t samples;            // per channel
};

struct tagAoState {
    std::mutex mutex;
    std::condition_variable cv;
    AudioSimAo info = {};
    std::deque<tagPcm> queue;
    bool bPlaying = false;       // the sink is in a frame
    bool bHold = false;
    bool bStop = false;
    uint64_t generation = 0;     // raised by every disable
    std::thread sink;
    int fd = -1;
};

tagAoState& State()
{
    static tagAoState* s = new tagAoState;  // outlives every media thread
    return *s;
}

HI_S32 CheckDevChn(AUDIO_DEV dev, int chn)
{
    if (dev < 0 || dev >= AO_MAX_DEVICES) {
        return AO_ERR_INVALID_DEVID;
    }
    if (chn != -1 && (chn < 0 || chn >= AO_MAX_CHANNELS)) {
        return AO_ERR_INVALID_CHNID;
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

void WriteAll(int fd, const uint8_t* data, size_t len)
{
    while (fd >= 0 && len > 0) {
        ssize_t w = write(fd, data, len);
        if (w <= 0) {
            return;
        }
        data += w;
        len -= static_cast<size_t>(w);
    }
}

void SinkBody()
{
    tagAoState& s = State();
    std::unique_lock<std::mutex> lock(s.mutex);
    while (!s.bStop) {
        if (s.queue.empty() || s.bHold) {
            s.cv.wait(lock);
            continue;
        }
        tagPcm pcm = std::move(s.queue.front());
        s.queue.pop_front();
        s.bPlaying = true;
        s.cv.notify_all();  // room for a sender
        const uint32_t rate = s.info.stAttr.enSamplerate;
        const auto end = std::chrono::steady_clock::now() +
                         std::chrono::microseconds(static_cast<int64_t>(pcm.samples) * 1000000 / rate);
        WriteAll(s.fd, pcm.bytes.data(), pcm.bytes.size());
        s.info.u64BytesPlayed += pcm.bytes.size();
        s.cv.wait_until(lock, end, [&] { return s.bStop; });
        s.bPlaying = false;
        s.cv.notify_all();
    }
}

// Ends the channel: queued frames dropped, waiting senders woken.
void DisableChnLocked(tagAoState& s)
{
    s.info.bChnEnabled = FALSE;
    s.queue.clear();
    s.generation++;
    s.cv.notify_all();
}

void StopSink(std::unique_lock<std::mutex>& lock)
{
    tagAoState& s = State();
    if (!s.sink.joinable()) {
        return;
    }
    s.bStop = true;
    s.cv.notify_all();
    std::thread t = std::move(s.sink);
    lock.unlock();
    t.join();
    lock.lock();
    s.bStop = false;
}

}  // namespace

HI_S32 HI_MPI_AO_SetPubAttr(AUDIO_DEV AoDevId, const AIO_ATTR_S* pstAttr)
{
    if (HI_S32 e = Admit(__func__, AoDevId, -1)) {
        return e;
    }
    if (pstAttr == nullptr) {
        return AO_ERR_NULL_PTR;
    }
    const AIO_ATTR_S& a = *pstAttr;
    if (!XAioAttrOk(a, TRUE, 2)) {
        return AO_ERR_ILLEGAL_PARAM;
    }
    tagAoState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.info.bEnabled) {
        return AO_ERR_NOT_PERM;
    }
    s.info.stAttr = a;
    s.info.bAttrSet = TRUE;
    XMediaStateChanged();
    return 0;
}

HI_S32 HI_MPI_AO_GetPubAttr(AUDIO_DEV AoDevId, AIO_ATTR_S* pstAttr)
{
    if (HI_S32 e = CheckDevChn(AoDevId, -1)) {
        return e;
    }
    if (pstAttr == nullptr) {
        return AO_ERR_NULL_PTR;
    }
    tagAoState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.info.bAttrSet) {
        return AO_ERR_NOT_CONFIG;
    }
    *pstAttr = s.info.stAttr;
    return 0;
}

HI_S32 HI_MPI_AO_Enable(AUDIO_DEV AoDevId)
{
    if (HI_S32 e = Admit(__func__, AoDevId, -1)) {
        return e;
    }
    if (!XMediaSysReady()) {
        return AO_ERR_SYS_NOTREADY;
    }
    tagAoState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.info.bAttrSet) {
        return AO_ERR_NOT_CONFIG;
    }
    if (!s.info.bEnabled) {
        // the output of this enable, from its start
        s.fd = open(XBoardPath("/log/ao0.pcm").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        s.info.u64BytesSent = 0;
        s.info.u64BytesPlayed = 0;
        s.info.bEnabled = TRUE;
        s.sink = std::thread(SinkBody);
    }
    XMediaStateChanged();
    return 0;
}

HI_S32 HI_MPI_AO_Disable(AUDIO_DEV AoDevId)
{
    if (HI_S32 e = Admit(__func__, AoDevId, -1)) {
        return e;
    }
    tagAoState& s = State();
    std::unique_lock<std::mutex> lock(s.mutex);
    DisableChnLocked(s);
    s.info.bEnabled = FALSE;
    StopSink(lock);
    if (s.fd >= 0) {
        close(s.fd);
        s.fd = -1;
    }
    XMediaStateChanged();
    return 0;
}

HI_S32 HI_MPI_AO_EnableChn(AUDIO_DEV AoDevId, AO_CHN AoChn)
{
    if (HI_S32 e = Admit(__func__, AoDevId, AoChn)) {
        return e;
    }
    tagAoState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.info.bEnabled) {
        return AO_ERR_NOT_PERM;
    }
    s.info.bChnEnabled = TRUE;
    XMediaStateChanged();
    return 0;
}

HI_S32 HI_MPI_AO_DisableChn(AUDIO_DEV AoDevId, AO_CHN AoChn)
{
    if (HI_S32 e = Admit(__func__, AoDevId, AoChn)) {
        return e;
    }
    tagAoState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    DisableChnLocked(s);
    XMediaStateChanged();
    return 0;
}

HI_S32 HI_MPI_AO_SendFrame(AUDIO_DEV AoDevId, AO_CHN AoChn, const AUDIO_FRAME_S* pstData, HI_S32 s32MilliSec)
{
    if (HI_S32 e = Admit(__func__, AoDevId, AoChn)) {
        return e;
    }
    if (pstData == nullptr || pstData->pVirAddr[0] == nullptr) {
        return AO_ERR_NULL_PTR;
    }
    if (pstData->u32Len == 0 || pstData->u32Len > AO_MAX_FRAME_BYTES || pstData->enBitwidth != AUDIO_BIT_WIDTH_16 ||
        pstData->u32Len % 2 != 0) {
        return AO_ERR_ILLEGAL_PARAM;
    }
    tagAoState& s = State();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (!s.info.bEnabled || !s.info.bChnEnabled) {
        return AO_ERR_NOT_PERM;
    }
    const bool stereo = s.info.stAttr.enSoundmode == AUDIO_SOUND_MODE_STEREO;
    if (stereo && (pstData->enSoundmode != AUDIO_SOUND_MODE_STEREO || pstData->pVirAddr[1] == nullptr)) {
        return AO_ERR_ILLEGAL_PARAM;
    }
    const uint64_t generation = s.generation;
    auto room = [&] { return s.generation != generation || s.queue.size() < s.info.stAttr.u32FrmNum; };
    if (s32MilliSec < 0) {
        s.cv.wait(lock, room);
    } else if (s32MilliSec == 0) {
        if (!room()) {
            return AO_ERR_BUF_FULL;
        }
    } else if (!s.cv.wait_for(lock, std::chrono::milliseconds(s32MilliSec), room)) {
        return AO_ERR_TIMEOUT;
    }
    if (s.generation != generation) {
        return AO_ERR_NOT_PERM;  // the channel went down while waiting
    }
    tagPcm pcm;
    pcm.samples = pstData->u32Len / 2;
    const uint8_t* left = static_cast<const uint8_t*>(pstData->pVirAddr[0]);
    if (stereo) {
        const uint8_t* right = static_cast<const uint8_t*>(pstData->pVirAddr[1]);
        pcm.bytes.resize(pstData->u32Len * 2u);
        for (uint32_t i = 0; i < pcm.samples; ++i) {
            pcm.bytes[4 * i] = left[2 * i];
            pcm.bytes[4 * i + 1] = left[2 * i + 1];
            pcm.bytes[4 * i + 2] = right[2 * i];
            pcm.bytes[4 * i + 3] = right[2 * i + 1];
        }
    } else {
        pcm.bytes.assign(left, left + pstData->u32Len);
    }
    s.info.u64BytesSent += pcm.bytes.size();
    s.queue.push_back(std::move(pcm));
    s.cv.notify_all();
    return 0;
}

void XAudioSimAoInfo(AudioSimAo* info)
{
    tagAoState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    *info = s.info;
    info->u32Queued = static_cast<uint32_t>(s.queue.size());
}

void XAudioSimAoHold(BOOL hold)
{
    tagAoState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.bHold = hold != 0;
    s.cv.notify_all();
}

BOOL XAudioSimAoWaitDrained(int ms)
{
    tagAoState& s = State();
    std::unique_lock<std::mutex> lock(s.mutex);
    return s.cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return s.queue.empty() && !s.bPlaying; });
}

void XAoReset()
{
    tagAoState& s = State();
    std::unique_lock<std::mutex> lock(s.mutex);
    DisableChnLocked(s);
    StopSink(lock);
    if (s.fd >= 0) {
        close(s.fd);
        s.fd = -1;
    }
    s.info = AudioSimAo();
    s.bHold = false;
    s.bPlaying = false;
}

std::string XAoJson()
{
    AudioSimAo a;
    XAudioSimAoInfo(&a);
    char buf[320];
    snprintf(buf, sizeof(buf),
             "{\"attr_set\":%s,\"sample_rate\":%u,\"frames_held\":%u,\"enabled\":%s,\"chn_enabled\":%s,"
             "\"bytes_sent\":%llu,\"bytes_played\":%llu,\"queued\":%u}",
             a.bAttrSet ? "true" : "false", a.stAttr.enSamplerate, a.stAttr.u32FrmNum, a.bEnabled ? "true" : "false",
             a.bChnEnabled ? "true" : "false", static_cast<unsigned long long>(a.u64BytesSent),
             static_cast<unsigned long long>(a.u64BytesPlayed), a.u32Queued);
    return buf;
}
