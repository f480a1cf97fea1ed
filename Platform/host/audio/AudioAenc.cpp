// The simulated audio encoder: registered encoders, and channels that encode
// the input's frames into a bounded queue of streams behind a pollable
// descriptor.

#include "Platform/Aenc.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "Platform/AudioSim.h"
#include "Platform/BoardRoot.h"
#include "Platform/host/audio/AudioCore.h"
#include "Platform/host/media/MediaCore.h"

namespace {

const HI_U32 kMinBufSize = 2;
const HI_U32 kMaxBufSize = 50;

struct tagStream {
    std::vector<uint8_t> data;
    uint64_t stamp;
    uint32_t seq;
};

struct tagChannel {
    BOOL bCreated = FALSE;
    AENC_ENCODER_S encoder = {};
    void* lpEncoder = nullptr;
    HI_U32 u32BufSize = 0;
    std::deque<std::unique_ptr<tagStream>> queue;
    std::deque<std::unique_ptr<tagStream>> held;
    uint32_t seq = 0;
    uint64_t generation = 0;  // raised by every destroy
    int fd = -1;
    bool bSignalled = false;
    AudioSimAenc counters = {};
};

struct tagAencModule {
    std::mutex mutex;
    std::condition_variable cv;
    AENC_ENCODER_S encoders[AENC_MAX_ENCODERS] = {};
    bool used[AENC_MAX_ENCODERS] = {};
    uint32_t registrations = 0;
    tagChannel chn[AENC_MAX_CHANNELS];
    BOOL bDump = FALSE;
    int dumpFd = -1;
};

tagAencModule& Module()
{
    static tagAencModule* m = new tagAencModule;  // outlives every media thread
    return *m;
}

// The descriptor is readable exactly while a stream waits.
void SyncReadable(tagChannel& c)
{
    if (c.fd < 0) {
        return;
    }
    const bool want = !c.queue.empty();
    if (want && !c.bSignalled) {
        uint64_t one = 1;
        ssize_t r = write(c.fd, &one, sizeof(one));
        (void)r;
        c.bSignalled = true;
    } else if (!want && c.bSignalled) {
        uint64_t v = 0;
        ssize_t r = read(c.fd, &v, sizeof(v));
        (void)r;
        c.bSignalled = false;
    }
}

HI_S32 CheckChn(AENC_CHN chn)
{
    return (chn < 0 || chn >= AENC_MAX_CHANNELS) ? AENC_ERR_INVALID_CHNID : 0;
}

// Closes the channel's encoder and drops its streams; the module lock is held.
void Destroy(tagAencModule& m, tagChannel& c)
{
    if (c.lpEncoder != nullptr) {
        c.encoder.pfnCloseEncoder(c.lpEncoder);
    }
    c.lpEncoder = nullptr;
    c.bCreated = FALSE;
    c.queue.clear();
    c.held.clear();
    c.generation++;
    SyncReadable(c);
    m.cv.notify_all();
}

}  // namespace

HI_S32 HI_MPI_AENC_RegisterEncoder(HI_S32* ps32Handle, const AENC_ENCODER_S* pstEncoder)
{
    if (ps32Handle == nullptr || pstEncoder == nullptr) {
        return AENC_ERR_NULL_PTR;
    }
    if (HI_S32 f = XMediaFault(__func__, -1)) {
        return f;
    }
    if (pstEncoder->pfnOpenEncoder == nullptr || pstEncoder->pfnEncodeFrm == nullptr ||
        pstEncoder->pfnCloseEncoder == nullptr || pstEncoder->u32MaxFrmLen == 0 ||
        memchr(pstEncoder->aszName, '\0', sizeof(pstEncoder->aszName)) == nullptr) {
        return AENC_ERR_ILLEGAL_PARAM;
    }
    tagAencModule& m = Module();
    std::lock_guard<std::mutex> lock(m.mutex);
    int free = -1;
    for (int i = 0; i < AENC_MAX_ENCODERS; ++i) {
        if (m.used[i] && m.encoders[i].enType == pstEncoder->enType) {
            return AENC_ERR_EXIST;
        }
        if (!m.used[i] && free < 0) {
            free = i;
        }
    }
    if (free < 0) {
        return AENC_ERR_NOMEM;
    }
    m.encoders[free] = *pstEncoder;
    m.used[free] = true;
    m.registrations++;
    *ps32Handle = free;
    return 0;
}

HI_S32 HI_MPI_AENC_UnRegisterEncoder(HI_S32 s32Handle)
{
    tagAencModule& m = Module();
    std::lock_guard<std::mutex> lock(m.mutex);
    if (s32Handle < 0 || s32Handle >= AENC_MAX_ENCODERS || !m.used[s32Handle]) {
        return AENC_ERR_UNEXIST;
    }
    for (const tagChannel& c : m.chn) {
        if (c.bCreated && c.encoder.enType == m.encoders[s32Handle].enType) {
            return AENC_ERR_NOT_PERM;  // a channel still uses it
        }
    }
    m.used[s32Handle] = false;
    return 0;
}

HI_S32 HI_MPI_AENC_CreateChn(AENC_CHN AeChn, const AENC_CHN_ATTR_S* pstAttr)
{
    if (HI_S32 f = XMediaFault(__func__, AeChn)) {
        return f;
    }
    if (HI_S32 e = CheckChn(AeChn)) {
        return e;
    }
    if (pstAttr == nullptr) {
        return AENC_ERR_NULL_PTR;
    }
    if (!XMediaSysReady()) {
        return AENC_ERR_SYS_NOTREADY;
    }
    if (pstAttr->u32BufSize < kMinBufSize || pstAttr->u32BufSize > kMaxBufSize || pstAttr->u32PtNumPerFrm < 80 ||
        pstAttr->u32PtNumPerFrm > 2048) {
        return AENC_ERR_ILLEGAL_PARAM;
    }
    tagAencModule& m = Module();
    std::lock_guard<std::mutex> lock(m.mutex);
    tagChannel& c = m.chn[AeChn];
    if (c.bCreated) {
        return AENC_ERR_EXIST;
    }
    const AENC_ENCODER_S* enc = nullptr;
    for (int i = 0; i < AENC_MAX_ENCODERS; ++i) {
        if (m.used[i] && m.encoders[i].enType == pstAttr->enType) {
            enc = &m.encoders[i];
        }
    }
    if (enc == nullptr) {
        return AENC_ERR_NOT_SUPPORT;
    }
    void* handle = nullptr;
    HI_S32 ret = enc->pfnOpenEncoder(pstAttr->pValue, &handle);
    if (ret != 0) {
        return ret;  // nothing to close
    }
    if (c.fd < 0) {
        c.fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        c.counters.nFd = c.fd;
    }
    c.bCreated = TRUE;
    c.encoder = *enc;
    c.lpEncoder = handle;
    c.u32BufSize = pstAttr->u32BufSize;
    c.seq = 0;
    const int fd = c.counters.nFd;
    c.counters = AudioSimAenc();
    c.counters.nFd = fd;
    XMediaStateChanged();
    return 0;
}

HI_S32 HI_MPI_AENC_DestroyChn(AENC_CHN AeChn)
{
    if (HI_S32 f = XMediaFault(__func__, AeChn)) {
        return f;
    }
    if (HI_S32 e = CheckChn(AeChn)) {
        return e;
    }
    tagAencModule& m = Module();
    std::lock_guard<std::mutex> lock(m.mutex);
    tagChannel& c = m.chn[AeChn];
    if (!c.bCreated) {
        return AENC_ERR_UNEXIST;
    }
    Destroy(m, c);
    XMediaStateChanged();
    return 0;
}

HI_S32 HI_MPI_AENC_GetFd(AENC_CHN AeChn)
{
    if (HI_S32 e = CheckChn(AeChn)) {
        return e;
    }
    tagAencModule& m = Module();
    std::lock_guard<std::mutex> lock(m.mutex);
    const tagChannel& c = m.chn[AeChn];
    return c.bCreated ? c.fd : AENC_ERR_UNEXIST;
}

HI_S32 HI_MPI_AENC_GetStream(AENC_CHN AeChn, AUDIO_STREAM_S* pstStream, HI_S32 s32MilliSec)
{
    if (HI_S32 f = XMediaFault(__func__, AeChn)) {
        return f;
    }
    if (HI_S32 e = CheckChn(AeChn)) {
        return e;
    }
    if (pstStream == nullptr) {
        return AENC_ERR_NULL_PTR;
    }
    tagAencModule& m = Module();
    std::unique_lock<std::mutex> lock(m.mutex);
    tagChannel& c = m.chn[AeChn];
    if (!c.bCreated) {
        return AENC_ERR_UNEXIST;
    }
    const uint64_t generation = c.generation;
    auto ready = [&] { return c.generation != generation || !c.queue.empty(); };
    if (s32MilliSec < 0) {
        m.cv.wait(lock, ready);
    } else if (s32MilliSec > 0) {
        if (!m.cv.wait_for(lock, std::chrono::milliseconds(s32MilliSec), ready)) {
            return AENC_ERR_TIMEOUT;
        }
    }
    if (c.generation != generation) {
        return AENC_ERR_UNEXIST;  // destroyed while waiting
    }
    if (c.queue.empty()) {
        return AENC_ERR_BUF_EMPTY;
    }
    c.held.push_back(std::move(c.queue.front()));
    c.queue.pop_front();
    SyncReadable(c);
    tagStream& s = *c.held.back();
    pstStream->pStream = s.data.data();
    pstStream->u32PhyAddr = 0;
    pstStream->u32Len = static_cast<uint32_t>(s.data.size());
    pstStream->u64TimeStamp = s.stamp;
    pstStream->u32Seq = s.seq;
    c.counters.u64Got++;
    return 0;
}

HI_S32 HI_MPI_AENC_ReleaseStream(AENC_CHN AeChn, const AUDIO_STREAM_S* pstStream)
{
    if (HI_S32 f = XMediaFault(__func__, AeChn)) {
        return f;
    }
    if (HI_S32 e = CheckChn(AeChn)) {
        return e;
    }
    if (pstStream == nullptr) {
        return AENC_ERR_NULL_PTR;
    }
    tagAencModule& m = Module();
    std::lock_guard<std::mutex> lock(m.mutex);
    tagChannel& c = m.chn[AeChn];
    if (!c.bCreated) {
        return AENC_ERR_UNEXIST;
    }
    if (c.held.empty() || c.held.front()->seq != pstStream->u32Seq ||
        c.held.front()->data.data() != pstStream->pStream) {
        return AENC_ERR_ILLEGAL_PARAM;
    }
    c.held.pop_front();
    c.counters.u64Released++;
    return 0;
}

void XAencFeedFrame(int chn, const AUDIO_FRAME_S* frame)
{
    if (chn < 0 || chn >= AENC_MAX_CHANNELS) {
        return;
    }
    tagAencModule& m = Module();
    std::lock_guard<std::mutex> lock(m.mutex);
    tagChannel& c = m.chn[chn];
    if (!c.bCreated) {
        return;
    }
    std::unique_ptr<tagStream> s(new tagStream);
    s->data.resize(c.encoder.u32MaxFrmLen);
    uint32_t len = 0;
    // the encoder runs under the module lock: a destroy waits for it
    HI_S32 ret = c.encoder.pfnEncodeFrm(c.lpEncoder, frame, s->data.data(), &len);
    if (ret != 0 || len == 0 || len > c.encoder.u32MaxFrmLen) {
        c.counters.u64Failed++;
        return;
    }
    s->data.resize(len);
    s->stamp = frame->u64TimeStamp;
    s->seq = c.seq++;
    if (m.bDump && chn == 0) {
        if (m.dumpFd < 0) {
            m.dumpFd = open(XBoardPath("/log/aenc0.aac").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        }
        for (uint32_t done = 0; m.dumpFd >= 0 && done < len;) {
            ssize_t w = write(m.dumpFd, s->data.data() + done, len - done);
            if (w <= 0) {
                break;
            }
            done += static_cast<uint32_t>(w);
        }
    }
    c.counters.u64Encoded++;
    if (c.queue.size() >= c.u32BufSize) {
        c.counters.u64Dropped++;  // the newest is lost
        return;
    }
    c.queue.push_back(std::move(s));
    SyncReadable(c);
    m.cv.notify_all();
}

std::vector<AencRegistration> XAencRegistrations()
{
    tagAencModule& m = Module();
    std::lock_guard<std::mutex> lock(m.mutex);
    std::vector<AencRegistration> out;
    for (int i = 0; i < AENC_MAX_ENCODERS; ++i) {
        if (m.used[i]) {
            out.push_back({i, m.encoders[i].enType, m.encoders[i].u32MaxFrmLen, m.encoders[i].aszName});
        }
    }
    return out;
}

uint32_t XAencRegistrationCount()
{
    tagAencModule& m = Module();
    std::lock_guard<std::mutex> lock(m.mutex);
    return m.registrations;
}

BOOL XAudioSimAencInfo(int chn, AudioSimAenc* info)
{
    if (chn < 0 || chn >= AENC_MAX_CHANNELS || info == nullptr) {
        return FALSE;
    }
    tagAencModule& m = Module();
    std::lock_guard<std::mutex> lock(m.mutex);
    const tagChannel& c = m.chn[chn];
    *info = c.counters;
    info->bCreated = c.bCreated;
    info->u32Type = c.bCreated ? c.encoder.enType : 0;
    info->u32BufSize = c.u32BufSize;
    info->u32Queued = static_cast<uint32_t>(c.queue.size());
    info->u32Held = static_cast<uint32_t>(c.held.size());
    info->nFd = c.fd;
    return TRUE;
}

void XAudioSimAencDump(BOOL on)
{
    tagAencModule& m = Module();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.bDump = on;
    if (!on && m.dumpFd >= 0) {
        close(m.dumpFd);
        m.dumpFd = -1;
    }
}

void XAencReset()
{
    tagAencModule& m = Module();
    std::lock_guard<std::mutex> lock(m.mutex);
    for (tagChannel& c : m.chn) {
        if (c.bCreated) {
            Destroy(m, c);
        }
        const int fd = c.fd;
        c.counters = AudioSimAenc();
        c.counters.nFd = fd;
        c.u32BufSize = 0;
    }
    m.bDump = FALSE;
    if (m.dumpFd >= 0) {
        close(m.dumpFd);
        m.dumpFd = -1;
    }
}

std::string XAencJson()
{
    std::string out = "[";
    for (int i = 0; i < AENC_MAX_CHANNELS; ++i) {
        AudioSimAenc a;
        XAudioSimAencInfo(i, &a);
        if (!a.bCreated && a.nFd < 0) {
            continue;
        }
        char buf[384];
        snprintf(buf, sizeof(buf),
                 "%s{\"chn\":%d,\"created\":%s,\"type\":%u,\"buf_size\":%u,\"encoded\":%llu,\"dropped\":%llu,"
                 "\"failed\":%llu,\"got\":%llu,\"released\":%llu,\"queued\":%u,\"held\":%u}",
                 out.size() > 1 ? "," : "", i, a.bCreated ? "true" : "false", a.u32Type, a.u32BufSize,
                 static_cast<unsigned long long>(a.u64Encoded), static_cast<unsigned long long>(a.u64Dropped),
                 static_cast<unsigned long long>(a.u64Failed), static_cast<unsigned long long>(a.u64Got),
                 static_cast<unsigned long long>(a.u64Released), a.u32Queued, a.u32Held);
        out += buf;
    }
    return out + "]";
}
