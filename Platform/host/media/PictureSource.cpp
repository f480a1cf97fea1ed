// The picture source: 30 pictures a second while the chain is live (ISP
// running, input device and channel 0 enabled and bound to a started group),
// handed along the binds to every encoder fed by an enabled group channel.

#include <time.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "Platform/AudioSim.h"
#include "Platform/MediaSim.h"
#include "Platform/MpiVenc.h"
#include "Platform/host/media/MediaCore.h"
#include "Platform/host/media/MediaModules.h"
#include "Platform/host/media/TuningLog.h"
#include "Platform/host/media/VencCoder.h"

namespace {

constexpr uint32_t kSourceFps = 30;
constexpr int64_t kPeriodNs = 1000000000 / kSourceFps;

struct tagSource {
    std::mutex mutex;           // guards the fields below; never held while pictures go out
    std::mutex tickMutex;       // one tick at a time (clock thread or pump)
    std::condition_variable cv;
    BOOL bManual = FALSE;
    BOOL bStarted = FALSE;
    uint64_t pictures = 0;
    uint64_t lastPts = 0;
    std::thread thread;
};

tagSource& Source()
{
    static tagSource* s = new tagSource;
    return *s;
}

// Delivers one picture along the binds; FALSE when the chain is not live.
BOOL Tick(BOOL bPumped)
{
    SIZE_S viSize = {};
    if (!XMediaSysReady() || !XMediaIspRunning() || !XMediaViLive(&viSize)) {
        return FALSE;
    }
    const MPP_CHN_S vi = {HI_ID_VIU, 0, 0};
    const std::vector<MPP_CHN_S> groups = XMediaBindSinks(vi);
    BOOL live = FALSE;
    tagSource& s = Source();
    std::lock_guard<std::mutex> tick(s.tickMutex);
    tagVencPicture pic = {};
    for (const MPP_CHN_S& g : groups) {
        if (g.enModId != HI_ID_VPSS || !XMediaVpssGrpStarted(g.s32DevId)) {
            continue;
        }
        if (!live) {
            live = TRUE;
            std::lock_guard<std::mutex> lock(s.mutex);
            pic.u64Index = s.pictures++;
            uint64_t pts = XMediaPtsNow();
            if (bPumped && pts < s.lastPts + 1000000 / kSourceFps) {
                pts = s.lastPts + 1000000 / kSourceFps;  // pumped pictures keep the source's spacing
            }
            pic.u64PTS = pts;
            s.lastPts = pts;
        }
        for (int c = 0; c < 8; ++c) {
            SIZE_S size = {};
            if (!XMediaVpssChnLive(g.s32DevId, c, &size)) {
                continue;
            }
            const MPP_CHN_S from = {HI_ID_VPSS, g.s32DevId, c};
            for (const MPP_CHN_S& d : XMediaBindSinks(from)) {
                if (d.enModId == HI_ID_VENC) {
                    tagVencPicture p = pic;
                    p.u32SrcWidth = size.u32Width;
                    p.u32SrcHeight = size.u32Height;
                    XMediaVencOffer(d.s32ChnId, p);
                }
            }
        }
    }
    return live;
}

void AddNs(struct timespec* t, int64_t ns)
{
    t->tv_nsec += ns;
    while (t->tv_nsec >= 1000000000) {
        t->tv_nsec -= 1000000000;
        ++t->tv_sec;
    }
}

BOOL Before(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

void Run()
{
    tagSource& s = Source();
    struct timespec next = {};
    BOOL bLive = FALSE;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(s.mutex);
            if (!s.bStarted) {
                return;
            }
            if (s.bManual) {
                s.cv.wait_for(lock, std::chrono::milliseconds(100));
                bLive = FALSE;
                continue;
            }
        }
        if (!bLive) {
            const uint64_t gen = XMediaStateGeneration();
            bLive = Tick(FALSE);
            clock_gettime(CLOCK_MONOTONIC, &next);
            if (!bLive) {
                XMediaWaitStateChange(gen, 50);
                continue;
            }
        } else {
            bLive = Tick(FALSE);
        }
        AddNs(&next, kPeriodNs);
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (Before(next, now)) {
            next = now;  // fell behind (a loaded host): no burst to catch up
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
}

}  // namespace

// Started with the first state change: a process without media never runs it.
void XMediaSourceEnsure()
{
    tagSource& s = Source();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.bStarted) {
        s.bStarted = TRUE;
        s.thread = std::thread(Run);
    }
}

void XMediaSimSetManual(BOOL manual)
{
    tagSource& s = Source();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.bManual = manual;
    }
    s.cv.notify_all();
}

int XMediaSimPump(int count)
{
    int made = 0;
    for (int i = 0; i < count; ++i) {
        if (Tick(TRUE)) {
            ++made;
        }
        XMediaVencWaitIdle();  // one picture at a time: no encoder falls behind
    }
    return made;
}

BOOL XMediaSimChainLive()
{
    SIZE_S size;
    if (!XMediaSysReady() || !XMediaIspRunning() || !XMediaViLive(&size)) {
        return FALSE;
    }
    const MPP_CHN_S vi = {HI_ID_VIU, 0, 0};
    for (const MPP_CHN_S& g : XMediaBindSinks(vi)) {
        if (g.enModId == HI_ID_VPSS && XMediaVpssGrpStarted(g.s32DevId)) {
            return TRUE;
        }
    }
    return FALSE;
}

uint64_t XMediaSimPictures()
{
    tagSource& s = Source();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.pictures;
}

void XMediaResetSource()
{
    tagSource& s = Source();
    std::thread t;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.bStarted = FALSE;
        s.bManual = FALSE;
        t.swap(s.thread);
    }
    s.cv.notify_all();
    XMediaStateChanged();
    if (t.joinable()) {
        t.join();
    }
    std::lock_guard<std::mutex> lock(s.mutex);
    s.pictures = 0;
    s.lastPts = 0;
}

void XMediaResetModules()
{
    XMediaResetBoard();
    XAudioSimReset();
    XMediaResetSource();
    XMediaResetVenc();
    XMediaResetVpss();
    XMediaResetVi();
    XMediaResetIsp();
    XMediaResetVo();
    XMediaResetViTuning();
    XMediaResetIspTuning();
    XTuningLogReset();
    XMediaResetRgn();
}
