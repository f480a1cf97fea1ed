// Encoder channels: attributes, receiving, the per-channel worker that
// encodes, the bounded stream queue and its descriptor.

#include "Platform/MpiVenc.h"
#include "Platform/AudioSim.h"

#include <dirent.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Platform/BoardRoot.h"
#include "Platform/MediaSim.h"
#include "Platform/host/media/MediaCore.h"
#include "Platform/host/media/MediaModules.h"
#include "Platform/host/media/VencCoder.h"

namespace {

constexpr HI_S32 Err(uint32_t number) { return XMpiErrCode(HI_ID_VENC, number); }

// Pictures waiting for a channel's worker before the oldest is dropped.
constexpr size_t kMaxPendingPictures = 8;
// A picture time stamp this far behind the channel's last one is a clock change.
constexpr uint64_t kClockChangeUs = 1000000;

struct tagStream {
    uint32_t seq = 0;
    uint64_t pts = 0;
    size_t bytes = 0;
    std::vector<tagVencPackOut> packs;
};

struct tagChannel {
    explicit tagChannel(int n) : chn(n) {}

    const int chn;
    VENC_CHN_ATTR_S attr = {};
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bufSize = 0;
    uint32_t gop = 1;
    uint32_t srcFps = 30;
    uint32_t dstFps = 30;
    int fd = -1;

    std::mutex mutex;
    std::condition_variable cvReaders;
    std::condition_variable cvWorker;
    std::condition_variable cvIdle;
    BOOL bDestroyed = FALSE;
    BOOL bReceiving = FALSE;
    int32_t recvLeft = -1;
    uint64_t offered = 0;        // pictures offered while receiving (rate drop)
    uint64_t frames = 0;         // pictures encoded since creation (GOP position)
    uint64_t lastPts = 0;
    std::deque<tagVencPicture> pending;
    BOOL bBusy = FALSE;
    std::deque<std::unique_ptr<tagStream>> queue;
    size_t queuedBytes = 0;
    std::deque<std::unique_ptr<tagStream>> held;
    uint32_t seq = 0;
    std::vector<uint8_t> userData;
    BOOL bUserData = FALSE;
    int64_t stallUntilMs = 0;
    size_t padNext = 0;  // filler bytes added to the next stream
    BOOL bSignalled = FALSE;
    VENC_RC_PARAM_S rc = {};
    uint64_t encoded = 0;
    uint64_t dropped = 0;
    uint64_t got = 0;
    uint64_t released = 0;
    std::unique_ptr<CVencCoder> coder;
    std::thread worker;
    // dumps (worker thread only)
    BOOL bDumpStarted = FALSE;
    FILE* dumpFile = nullptr;
    std::string dumpDir;
    ~tagChannel()
    {
        if (dumpFile != nullptr) {
            fclose(dumpFile);
        }
    }
};

struct tagVencState {
    std::mutex mutex;
    std::shared_ptr<tagChannel> chn[VENC_MAX_CHN_NUM];
    int fd[VENC_MAX_CHN_NUM];
    tagVencState()
    {
        for (int& f : fd) {
            f = -1;
        }
    }
};

tagVencState& State()
{
    static tagVencState* s = new tagVencState;
    return *s;
}

int64_t NowMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// The descriptor is readable exactly while a stream waits. Under the channel lock.
void Signal(tagChannel& c)
{
    const BOOL want = !c.queue.empty();
    if (want == c.bSignalled || c.fd < 0) {
        return;
    }
    if (want) {
        uint64_t one = 1;
        ssize_t r = write(c.fd, &one, sizeof(one));
        (void)r;
    } else {
        uint64_t v = 0;
        ssize_t r = read(c.fd, &v, sizeof(v));
        (void)r;
    }
    c.bSignalled = want;
}

HI_S32 Channel(VENC_CHN chn, std::shared_ptr<tagChannel>* out)
{
    if (chn < 0 || chn >= VENC_MAX_CHN_NUM) {
        return Err(EN_ERR_INVALID_CHNID);
    }
    if (!XMediaSysReady()) {
        return Err(EN_ERR_SYS_NOTREADY);
    }
    tagVencState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.chn[chn]) {
        return Err(EN_ERR_UNEXIST);
    }
    *out = s.chn[chn];
    return HI_SUCCESS;
}

// Runs f on the channel under its own lock, then tells the media core when
// it succeeded.
template <class F>
HI_S32 ChangeChannel(VENC_CHN chn, F&& f)
{
    std::shared_ptr<tagChannel> c;
    if (HI_S32 r = Channel(chn, &c)) {
        return r;
    }
    {
        std::lock_guard<std::mutex> lock(c->mutex);
        if (HI_S32 r = f(*c)) {
            return r;
        }
    }
    XMediaStateChanged();
    return HI_SUCCESS;
}

BOOL RateOk(HI_U32 src, HI_FR32 dst)
{
    return src >= 1 && src <= 240 && dst >= 1 && static_cast<HI_U32>(dst) <= src;
}

HI_S32 CheckAttr(const VENC_CHN_ATTR_S& a)
{
    if (a.stVeAttr.enType == PT_H264) {
        const VENC_ATTR_H264_S& h = a.stVeAttr.stAttrH264e;
        if (h.u32PicWidth < 64 || h.u32PicHeight < 64 || h.u32MaxPicWidth > 4096 || h.u32MaxPicHeight > 4096 ||
            h.u32PicWidth > h.u32MaxPicWidth || h.u32PicHeight > h.u32MaxPicHeight || (h.u32PicWidth & 1) != 0 ||
            (h.u32PicHeight & 1) != 0 || h.u32Profile > 2 || h.u32BFrameNum != 0 || h.u32RefNum < 1 ||
            h.u32RefNum > 2 || h.bByFrame != 1 ||
            static_cast<uint64_t>(h.u32BufSize) < static_cast<uint64_t>(h.u32PicWidth) * h.u32PicHeight) {
            return Err(EN_ERR_ILLEGAL_PARAM);
        }
        const VENC_RC_ATTR_S& rc = a.stRcAttr;
        switch (rc.enRcMode) {
        case VENC_RC_MODE_H264CBR: {
            const VENC_ATTR_H264_CBR_S& r = rc.stAttrH264Cbr;
            if (r.u32Gop < 1 || r.u32Gop > 65536 || r.u32StatTime < 1 || r.u32StatTime > 16 ||
                !RateOk(r.u32SrcFrmRate, r.fr32DstFrmRate) || r.u32BitRate < 2 || r.u32BitRate > 40960 ||
                r.u32FluctuateLevel > 5) {
                return Err(EN_ERR_ILLEGAL_PARAM);
            }
            break;
        }
        case VENC_RC_MODE_H264VBR: {
            const VENC_ATTR_H264_VBR_S& r = rc.stAttrH264Vbr;
            if (r.u32Gop < 1 || r.u32Gop > 65536 || r.u32StatTime < 1 || r.u32StatTime > 16 ||
                !RateOk(r.u32SrcFrmRate, r.fr32DstFrmRate) || r.u32MaxBitRate < 2 || r.u32MaxBitRate > 40960 ||
                r.u32MaxQp > 51 || r.u32MinQp > r.u32MaxQp) {
                return Err(EN_ERR_ILLEGAL_PARAM);
            }
            break;
        }
        case VENC_RC_MODE_H264FIXQP: {
            const VENC_ATTR_H264_FIXQP_S& r = rc.stAttrH264FixQp;
            if (r.u32Gop < 1 || r.u32Gop > 65536 || !RateOk(r.u32SrcFrmRate, r.fr32DstFrmRate) || r.u32IQp > 51 ||
                r.u32PQp > 51) {
                return Err(EN_ERR_ILLEGAL_PARAM);
            }
            break;
        }
        default:
            return Err(EN_ERR_NOT_SUPPORT);
        }
        return HI_SUCCESS;
    }
    if (a.stVeAttr.enType == PT_JPEG) {
        const VENC_ATTR_JPEG_S& j = a.stVeAttr.stAttrJpeg;
        if (j.u32PicWidth < 16 || j.u32PicHeight < 16 || j.u32MaxPicWidth > 8192 || j.u32MaxPicHeight > 8192 ||
            j.u32PicWidth > j.u32MaxPicWidth || j.u32PicHeight > j.u32MaxPicHeight || (j.u32PicWidth & 1) != 0 ||
            (j.u32PicHeight & 1) != 0 || j.bByFrame != 1 ||
            static_cast<uint64_t>(j.u32BufSize) < static_cast<uint64_t>(j.u32PicWidth) * j.u32PicHeight / 2) {
            return Err(EN_ERR_ILLEGAL_PARAM);
        }
        return HI_SUCCESS;
    }
    return Err(EN_ERR_NOT_SUPPORT);
}

VENC_RC_PARAM_S DefaultRcParam()
{
    static const HI_U32 kThrd[12] = {0, 0, 0, 0, 3, 3, 5, 5, 8, 8, 8, 15};
    VENC_RC_PARAM_S p;
    memcpy(p.u32ThrdI, kThrd, sizeof(kThrd));
    memcpy(p.u32ThrdP, kThrd, sizeof(kThrd));
    p.u32RowQpDelta = 1;
    p.s32FirstFrameStartQp = -1;
    return p;
}

std::atomic<BOOL> g_bDump{FALSE};

// Writes one encoded picture to the channel's dump under the board.
void Dump(tagChannel* c, uint64_t index, const std::vector<tagVencPackOut>& packs)
{
    const std::string root = PlatformBoardRoot();
    if (root.empty()) {
        return;
    }
    const std::string base = root + "/log/venc" + std::to_string(c->chn);
    if (!c->bDumpStarted) {
        c->bDumpStarted = TRUE;
        mkdir((root + "/log").c_str(), 0755);
        if (c->attr.stVeAttr.enType == PT_H264) {
            c->dumpFile = fopen((base + ".h264").c_str(), "wb");
        } else {
            c->dumpDir = base;
            mkdir(base.c_str(), 0755);
            if (DIR* d = opendir(base.c_str())) {
                while (struct dirent* e = readdir(d)) {
                    const std::string name = e->d_name;
                    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".jpg") == 0) {
                        unlink((base + "/" + name).c_str());
                    }
                }
                closedir(d);
            }
        }
    }
    FILE* f = c->dumpFile;
    BOOL own = FALSE;
    if (!c->dumpDir.empty()) {
        char name[32];
        snprintf(name, sizeof(name), "/%06llu.jpg", static_cast<unsigned long long>(index));
        f = fopen((c->dumpDir + name).c_str(), "wb");
        own = TRUE;
    }
    if (f == nullptr) {
        return;
    }
    for (const tagVencPackOut& p : packs) {
        fwrite(p.data.data(), 1, p.data.size(), f);
    }
    if (own) {
        fclose(f);
    } else {
        fflush(f);
    }
}

void Worker(tagChannel* c)
{
    // the encoder's own thread runs at normal priority, whoever made the channel
    struct sched_param param = {};
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &param);

    std::unique_lock<std::mutex> lock(c->mutex);
    for (;;) {
        c->cvWorker.wait(lock, [&] { return c->bDestroyed || !c->pending.empty(); });
        if (c->bDestroyed) {
            break;
        }
        tagVencPicture pic = c->pending.front();
        c->pending.pop_front();
        pic.u64ChnIndex = c->frames;
        pic.s32Chn = c->chn;
        c->bBusy = TRUE;
        const BOOL idr = c->attr.stVeAttr.enType == PT_H264 && (c->frames % c->gop) == 0;
        std::vector<uint8_t> user;
        BOOL bUser = FALSE;
        if (c->bUserData) {
            user.swap(c->userData);
            c->bUserData = FALSE;
            bUser = TRUE;
        }
        lock.unlock();

        std::unique_ptr<tagStream> st(new tagStream);
        st->pts = pic.u64PTS;
        const BOOL ok = c->coder->Encode(pic, idr, bUser ? &user : nullptr, &st->packs);
        lock.lock();
        const size_t pad = ok ? c->padNext : 0;
        c->padNext = ok ? 0 : c->padNext;
        lock.unlock();
        if (pad > 0) {
            // A filler-data unit: the frame grows, decoders skip it.
            tagVencPackOut filler;
            filler.data.assign(pad, 0xFF);
            filler.data[0] = filler.data[1] = filler.data[2] = 0;
            filler.data[3] = 1;
            filler.data[4] = 0x0C;
            filler.data[pad - 1] = 0x80;
            filler.type = H264E_NALU_BUTT;
            st->packs.push_back(std::move(filler));
        }
        for (const tagVencPackOut& p : st->packs) {
            st->bytes += p.data.size();
        }
        if (ok && g_bDump) {
            Dump(c, pic.u64ChnIndex, st->packs);
        }

        lock.lock();
        c->bBusy = FALSE;
        if (!ok || st->packs.empty()) {
            ++c->dropped;
        } else if (c->queue.size() >= VENC_MAX_QUEUED_PICTURES || c->queuedBytes + st->bytes > c->bufSize) {
            ++c->dropped;  // the stream buffer is full
            ++c->frames;
        } else {
            ++c->frames;
            st->seq = c->seq++;
            c->queuedBytes += st->bytes;
            c->queue.push_back(std::move(st));
            ++c->encoded;
            Signal(*c);
            c->cvReaders.notify_all();
        }
        if (c->pending.empty()) {
            c->cvIdle.notify_all();
        }
    }
    c->cvIdle.notify_all();
}

}  // namespace

HI_S32 HI_MPI_VENC_CreateChn(VENC_CHN VeChn, const VENC_CHN_ATTR_S* pstAttr)
{
    XMEDIA_FAULT(VeChn);
    if (VeChn < 0 || VeChn >= VENC_MAX_CHN_NUM) {
        return Err(EN_ERR_INVALID_CHNID);
    }
    if (!XMediaSysReady()) {
        return Err(EN_ERR_SYS_NOTREADY);
    }
    if (pstAttr == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    if (HI_S32 r = CheckAttr(*pstAttr)) {
        return r;
    }
    std::shared_ptr<tagChannel> c(new tagChannel(VeChn));
    c->attr = *pstAttr;
    if (pstAttr->stVeAttr.enType == PT_H264) {
        const VENC_ATTR_H264_S& h = pstAttr->stVeAttr.stAttrH264e;
        c->width = h.u32PicWidth;
        c->height = h.u32PicHeight;
        c->bufSize = h.u32BufSize;
        const VENC_RC_ATTR_S& rc = pstAttr->stRcAttr;
        switch (rc.enRcMode) {
        case VENC_RC_MODE_H264CBR:
            c->gop = rc.stAttrH264Cbr.u32Gop;
            c->srcFps = rc.stAttrH264Cbr.u32SrcFrmRate;
            c->dstFps = static_cast<uint32_t>(rc.stAttrH264Cbr.fr32DstFrmRate);
            break;
        case VENC_RC_MODE_H264VBR:
            c->gop = rc.stAttrH264Vbr.u32Gop;
            c->srcFps = rc.stAttrH264Vbr.u32SrcFrmRate;
            c->dstFps = static_cast<uint32_t>(rc.stAttrH264Vbr.fr32DstFrmRate);
            break;
        default:
            c->gop = rc.stAttrH264FixQp.u32Gop;
            c->srcFps = rc.stAttrH264FixQp.u32SrcFrmRate;
            c->dstFps = static_cast<uint32_t>(rc.stAttrH264FixQp.fr32DstFrmRate);
            break;
        }
    } else {
        const VENC_ATTR_JPEG_S& j = pstAttr->stVeAttr.stAttrJpeg;
        c->width = j.u32PicWidth;
        c->height = j.u32PicHeight;
        c->bufSize = j.u32BufSize;
        c->gop = 1;
        c->srcFps = c->dstFps = 1;  // every picture given
    }
    c->rc = DefaultRcParam();
    c->coder = XVencCreateCoder(*pstAttr);
    if (!c->coder) {
        return Err(EN_ERR_NOMEM);
    }
    {
        tagVencState& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.chn[VeChn]) {
            return Err(EN_ERR_EXIST);
        }
        if (s.fd[VeChn] < 0) {
            s.fd[VeChn] = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
            if (s.fd[VeChn] < 0) {
                return Err(EN_ERR_NOMEM);
            }
        }
        c->fd = s.fd[VeChn];
        // a descriptor left readable by an earlier channel is drained
        uint64_t v = 0;
        ssize_t r = read(c->fd, &v, sizeof(v));
        (void)r;
        c->worker = std::thread(Worker, c.get());
        s.chn[VeChn] = c;
    }
    XMediaStateChanged();
    return HI_SUCCESS;
}

HI_S32 HI_MPI_VENC_DestroyChn(VENC_CHN VeChn)
{
    XMEDIA_FAULT(VeChn);
    std::shared_ptr<tagChannel> c;
    if (HI_S32 r = Channel(VeChn, &c)) {
        return r;
    }
    {
        std::lock_guard<std::mutex> lock(c->mutex);
        if (c->bReceiving) {
            return Err(EN_ERR_NOT_PERM);  // stop receiving first
        }
    }
    {
        tagVencState& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.chn[VeChn] != c) {
            return Err(EN_ERR_UNEXIST);  // destroyed meanwhile
        }
        s.chn[VeChn].reset();
    }
    {
        std::lock_guard<std::mutex> lock(c->mutex);
        c->bDestroyed = TRUE;
        c->queue.clear();
        c->queuedBytes = 0;
        c->pending.clear();
        Signal(*c);
    }
    c->cvWorker.notify_all();
    c->cvReaders.notify_all();
    if (c->worker.joinable()) {
        c->worker.join();
    }
    XMediaStateChanged();
    return HI_SUCCESS;
}

HI_S32 HI_MPI_VENC_GetChnAttr(VENC_CHN VeChn, VENC_CHN_ATTR_S* pstAttr)
{
    XMEDIA_FAULT(VeChn);
    std::shared_ptr<tagChannel> c;
    if (HI_S32 r = Channel(VeChn, &c)) {
        return r;
    }
    if (pstAttr == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    *pstAttr = c->attr;
    return HI_SUCCESS;
}

HI_S32 HI_MPI_VENC_StartRecvPic(VENC_CHN VeChn)
{
    XMEDIA_FAULT(VeChn);
    return ChangeChannel(VeChn, [](tagChannel& c) -> HI_S32 {
        if (!c.bReceiving) {
            c.offered = 0;
        }
        c.bReceiving = TRUE;
        c.recvLeft = -1;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VENC_StartRecvPicEx(VENC_CHN VeChn, const VENC_RECV_PIC_PARAM_S* pstRecvParam)
{
    XMEDIA_FAULT(VeChn);
    return ChangeChannel(VeChn, [pstRecvParam](tagChannel& c) -> HI_S32 {
        if (pstRecvParam == nullptr) {
            return Err(EN_ERR_NULL_PTR);
        }
        if (pstRecvParam->s32RecvPicNum < 1) {
            return Err(EN_ERR_ILLEGAL_PARAM);
        }
        if (c.bReceiving && c.recvLeft < 0) {
            return Err(EN_ERR_NOT_PERM);  // already receiving every picture
        }
        if (!c.bReceiving) {
            c.offered = 0;
        }
        c.bReceiving = TRUE;
        c.recvLeft = pstRecvParam->s32RecvPicNum;  // a new request replaces an unfinished one
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VENC_StopRecvPic(VENC_CHN VeChn)
{
    XMEDIA_FAULT(VeChn);
    return ChangeChannel(VeChn, [](tagChannel& c) -> HI_S32 {
        c.bReceiving = FALSE;
        c.recvLeft = -1;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VENC_Query(VENC_CHN VeChn, VENC_CHN_STAT_S* pstStat)
{
    XMEDIA_FAULT(VeChn);
    std::shared_ptr<tagChannel> c;
    if (HI_S32 r = Channel(VeChn, &c)) {
        return r;
    }
    if (pstStat == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    MPP_CHN_S me = {HI_ID_VENC, 0, VeChn};
    const BOOL bound = XMediaBindSource(me, nullptr);
    std::lock_guard<std::mutex> lock(c->mutex);
    memset(pstStat, 0, sizeof(*pstStat));
    pstStat->bRegistered = bound;
    pstStat->u32LeftPics = static_cast<HI_U32>(c->pending.size() + (c->bBusy ? 1 : 0));
    pstStat->u32LeftStreamBytes = static_cast<HI_U32>(c->queuedBytes);
    pstStat->u32LeftStreamFrames = static_cast<HI_U32>(c->queue.size());
    pstStat->u32CurPacks = c->queue.empty() ? 0 : static_cast<HI_U32>(c->queue.front()->packs.size());
    pstStat->u32LeftRecvPics = c->bReceiving && c->recvLeft > 0 ? static_cast<HI_U32>(c->recvLeft) : 0;
    pstStat->u32LeftEncPics = pstStat->u32LeftPics;
    return HI_SUCCESS;
}

HI_S32 HI_MPI_VENC_GetFd(VENC_CHN VeChn)
{
    XMEDIA_FAULT(VeChn);
    std::shared_ptr<tagChannel> c;
    if (HI_S32 r = Channel(VeChn, &c)) {
        return r;
    }
    return c->fd;
}

HI_S32 HI_MPI_VENC_GetStream(VENC_CHN VeChn, VENC_STREAM_S* pstStream, HI_S32 s32MilliSec)
{
    XMEDIA_FAULT(VeChn);
    std::shared_ptr<tagChannel> c;
    if (HI_S32 r = Channel(VeChn, &c)) {
        return r;
    }
    if (pstStream == nullptr || pstStream->pstPack == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    if (s32MilliSec < -1) {
        return Err(EN_ERR_ILLEGAL_PARAM);
    }
    XMediaNoteCaller("HI_MPI_VENC_GetStream/" + std::to_string(VeChn));
    std::unique_lock<std::mutex> lock(c->mutex);
    auto ready = [&] { return c->bDestroyed || !c->queue.empty(); };
    if (s32MilliSec < 0) {
        c->cvReaders.wait(lock, ready);
    } else if (s32MilliSec > 0) {
        if (!c->cvReaders.wait_for(lock, std::chrono::milliseconds(s32MilliSec), ready)) {
            return Err(EN_ERR_TIMEOUT);
        }
    }
    if (c->bDestroyed) {
        return Err(EN_ERR_UNEXIST);
    }
    if (c->queue.empty()) {
        return Err(EN_ERR_BUF_EMPTY);
    }
    tagStream& st = *c->queue.front();
    if (pstStream->u32PackCount < st.packs.size()) {
        return Err(EN_ERR_ILLEGAL_PARAM);  // nothing taken, nothing written
    }
    for (size_t i = 0; i < st.packs.size(); ++i) {
        VENC_PACK_S& p = pstStream->pstPack[i];
        memset(&p, 0, sizeof(p));
        p.u32PhyAddr = 0;
        p.pu8Addr = st.packs[i].data.data();
        p.u32Len = static_cast<uint32_t>(st.packs[i].data.size());
        p.u64PTS = st.pts;
        p.bFrameEnd = i + 1 == st.packs.size() ? TRUE : FALSE;
        p.enH264EType = st.packs[i].type;
    }
    pstStream->u32PackCount = static_cast<uint32_t>(st.packs.size());
    pstStream->u32Seq = st.seq;
    c->queuedBytes -= st.bytes;
    c->held.push_back(std::move(c->queue.front()));
    c->queue.pop_front();
    ++c->got;
    Signal(*c);
    return HI_SUCCESS;
}

HI_S32 HI_MPI_VENC_ReleaseStream(VENC_CHN VeChn, VENC_STREAM_S* pstStream)
{
    XMEDIA_FAULT(VeChn);
    std::shared_ptr<tagChannel> c;
    if (HI_S32 r = Channel(VeChn, &c)) {
        return r;
    }
    if (pstStream == nullptr || pstStream->pstPack == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    std::lock_guard<std::mutex> lock(c->mutex);
    if (c->held.empty()) {
        return Err(EN_ERR_ILLEGAL_PARAM);
    }
    const tagStream& st = *c->held.front();
    if (pstStream->u32Seq != st.seq || pstStream->u32PackCount != st.packs.size() ||
        pstStream->pstPack[0].pu8Addr != st.packs[0].data.data()) {
        return Err(EN_ERR_ILLEGAL_PARAM);  // not the oldest stream held
    }
    c->held.pop_front();
    ++c->released;
    return HI_SUCCESS;
}

HI_S32 HI_MPI_VENC_GetRcParam(VENC_CHN VeChn, VENC_RC_PARAM_S* pstRcParam)
{
    XMEDIA_FAULT(VeChn);
    std::shared_ptr<tagChannel> c;
    if (HI_S32 r = Channel(VeChn, &c)) {
        return r;
    }
    if (pstRcParam == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    if (c->attr.stVeAttr.enType != PT_H264) {
        return Err(EN_ERR_NOT_SUPPORT);
    }
    std::lock_guard<std::mutex> lock(c->mutex);
    *pstRcParam = c->rc;
    return HI_SUCCESS;
}

HI_S32 HI_MPI_VENC_SetRcParam(VENC_CHN VeChn, const VENC_RC_PARAM_S* pstRcParam)
{
    XMEDIA_FAULT(VeChn);
    std::shared_ptr<tagChannel> c;
    if (HI_S32 r = Channel(VeChn, &c)) {
        return r;
    }
    if (pstRcParam == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    if (c->attr.stVeAttr.enType != PT_H264) {
        return Err(EN_ERR_NOT_SUPPORT);
    }
    for (int i = 0; i < 12; ++i) {
        if (pstRcParam->u32ThrdI[i] > 255 || pstRcParam->u32ThrdP[i] > 255) {
            return Err(EN_ERR_ILLEGAL_PARAM);
        }
    }
    if (pstRcParam->s32FirstFrameStartQp < -1 || pstRcParam->s32FirstFrameStartQp > 51) {
        return Err(EN_ERR_ILLEGAL_PARAM);
    }
    std::lock_guard<std::mutex> lock(c->mutex);
    c->rc = *pstRcParam;
    return HI_SUCCESS;
}

HI_S32 HI_MPI_VENC_InsertUserData(VENC_CHN VeChn, HI_U8* pu8Data, HI_U32 u32Len)
{
    XMEDIA_FAULT(VeChn);
    std::shared_ptr<tagChannel> c;
    if (HI_S32 r = Channel(VeChn, &c)) {
        return r;
    }
    if (pu8Data == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    if (c->attr.stVeAttr.enType != PT_JPEG) {
        return Err(EN_ERR_NOT_SUPPORT);
    }
    if (u32Len == 0 || u32Len > VENC_MAX_USER_DATA) {
        return Err(EN_ERR_ILLEGAL_PARAM);
    }
    std::lock_guard<std::mutex> lock(c->mutex);
    c->userData.assign(pu8Data, pu8Data + u32Len);  // one block: the newest is kept
    c->bUserData = TRUE;
    return HI_SUCCESS;
}

// ---- for the picture source and the tests ----

void XMediaSimSetDump(BOOL dump)
{
    g_bDump = dump;
    XAudioSimAencDump(dump);
}

void XMediaVencOffer(int chn, const tagVencPicture& picture)
{
    std::shared_ptr<tagChannel> c;
    {
        tagVencState& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (chn < 0 || chn >= VENC_MAX_CHN_NUM || !s.chn[chn]) {
            return;
        }
        c = s.chn[chn];
    }
    BOOL stopped = FALSE;
    {
        std::lock_guard<std::mutex> lock(c->mutex);
        if (!c->bReceiving || c->bDestroyed) {
            return;
        }
        if (c->stallUntilMs != 0) {
            if (NowMs() < c->stallUntilMs) {
                ++c->dropped;
                return;
            }
            c->stallUntilMs = 0;
        }
        // even drop from the source rate to the target rate
        const uint64_t n = c->offered++;
        if ((n + 1) * c->dstFps / c->srcFps == n * c->dstFps / c->srcFps) {
            return;
        }
        tagVencPicture pic = picture;
        if (pic.u64PTS <= c->lastPts && c->lastPts - pic.u64PTS < kClockChangeUs) {
            pic.u64PTS = c->lastPts + 1;
        }
        c->lastPts = pic.u64PTS;
        if (c->recvLeft > 0 && --c->recvLeft == 0) {
            c->bReceiving = FALSE;
            c->recvLeft = -1;
            stopped = TRUE;
        }
        if (c->pending.size() >= kMaxPendingPictures) {
            c->pending.pop_front();
            ++c->dropped;
        }
        c->pending.push_back(pic);
    }
    c->cvWorker.notify_all();
    if (stopped) {
        XMediaStateChanged();
    }
}

void XMediaVencWaitIdle()
{
    std::vector<std::shared_ptr<tagChannel>> all;
    {
        tagVencState& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        for (auto& c : s.chn) {
            if (c) {
                all.push_back(c);
            }
        }
    }
    for (auto& c : all) {
        std::unique_lock<std::mutex> lock(c->mutex);
        c->cvIdle.wait(lock, [&] { return c->bDestroyed || (c->pending.empty() && !c->bBusy); });
    }
}

namespace {

std::shared_ptr<tagChannel> XChannelOf(int chn)
{
    tagVencState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (chn < 0 || chn >= VENC_MAX_CHN_NUM) {
        return nullptr;
    }
    return s.chn[chn];
}

}  // namespace

void XMediaSimStall(int chn, int ms)
{
    std::shared_ptr<tagChannel> c = XChannelOf(chn);
    if (!c) {
        return;
    }
    std::lock_guard<std::mutex> lock(c->mutex);
    c->stallUntilMs = ms > 0 ? NowMs() + ms : 0;
}

void XMediaSimVencPadNext(int chn, size_t bytes)
{
    std::shared_ptr<tagChannel> c = XChannelOf(chn);
    if (!c) {
        return;
    }
    std::lock_guard<std::mutex> lock(c->mutex);
    c->padNext = bytes >= 6 ? bytes : 0;
}

BOOL XMediaSimVencQueueSei(int chn)
{
    std::shared_ptr<tagChannel> c = XChannelOf(chn);
    if (!c) {
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(c->mutex);
    if (c->queue.size() >= VENC_MAX_QUEUED_PICTURES) {
        return FALSE;
    }
    std::unique_ptr<tagStream> st(new tagStream);
    tagVencPackOut sei;
    // user data unregistered: payload type 5, 16-byte UUID, stop bit
    sei.data = {0, 0, 0, 1, 0x06, 0x05, 0x10};
    sei.data.insert(sei.data.end(), 16, 0x11);
    sei.data.push_back(0x80);
    sei.type = H264E_NALU_SEI;
    st->bytes = sei.data.size();
    st->packs.push_back(std::move(sei));
    st->seq = c->seq++;
    c->queuedBytes += st->bytes;
    c->queue.push_back(std::move(st));
    Signal(*c);
    c->cvReaders.notify_all();
    return TRUE;
}

BOOL XMediaSimVencInfo(int chn, tagMediaSimVenc* info)
{
    if (chn < 0 || chn >= VENC_MAX_CHN_NUM || info == nullptr) {
        return FALSE;
    }
    memset(info, 0, sizeof(*info));
    std::shared_ptr<tagChannel> c;
    {
        tagVencState& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        info->nFd = s.fd[chn];
        c = s.chn[chn];
    }
    info->s32RecvLeft = -1;
    if (!c) {
        return TRUE;
    }
    std::lock_guard<std::mutex> lock(c->mutex);
    info->bCreated = TRUE;
    info->bReceiving = c->bReceiving;
    info->s32RecvLeft = c->recvLeft;
    info->u32Width = c->width;
    info->u32Height = c->height;
    info->u64Encoded = c->encoded;
    info->u64Dropped = c->dropped;
    info->u64Got = c->got;
    info->u64Released = c->released;
    info->u32Queued = static_cast<uint32_t>(c->queue.size());
    info->u32Held = static_cast<uint32_t>(c->held.size());
    return TRUE;
}

void XMediaResetVenc()
{
    std::vector<std::shared_ptr<tagChannel>> all;
    {
        tagVencState& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        for (auto& c : s.chn) {
            if (c) {
                all.push_back(c);
                c.reset();
            }
        }
    }
    for (auto& c : all) {
        {
            std::lock_guard<std::mutex> lock(c->mutex);
            c->bDestroyed = TRUE;
            c->queue.clear();
            c->pending.clear();
            Signal(*c);
        }
        c->cvWorker.notify_all();
        c->cvReaders.notify_all();
        if (c->worker.joinable()) {
            c->worker.join();
        }
    }
}
