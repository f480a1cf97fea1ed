// Change notification and the reset of the whole simulated media layer.

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "Platform/AudioSim.h"
#include "Platform/MediaSim.h"
#include "Platform/RgnSim.h"
#include "Platform/host/media/MediaCore.h"
#include "Platform/host/media/MediaModules.h"

namespace {

struct tagChange {
    std::mutex mutex;
    std::condition_variable cv;
    uint64_t generation = 0;
};

tagChange& Change()
{
    static tagChange* s = new tagChange;
    return *s;
}

}  // namespace

void XMediaStateChanged()
{
    tagChange& c = Change();
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        ++c.generation;
    }
    c.cv.notify_all();
}

uint64_t XMediaStateGeneration()
{
    tagChange& c = Change();
    std::lock_guard<std::mutex> lock(c.mutex);
    return c.generation;
}

BOOL XMediaWaitStateChange(uint64_t generation, int ms)
{
    tagChange& c = Change();
    std::unique_lock<std::mutex> lock(c.mutex);
    return c.cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return c.generation != generation; });
}

void XMediaSimReset()
{
    // users of pictures first, then their sources, then the system
    XMediaResetModules();
    XMediaResetSys();
    XMediaResetVb();
    XMediaResetFaults();
    XMediaResetCallers();
    XMediaStateChanged();
}

namespace {

const char* ModName(MOD_ID_E m)
{
    switch (m) {
    case HI_ID_VIU: return "vi";
    case HI_ID_VPSS: return "vpss";
    case HI_ID_VENC: return "venc";
    case HI_ID_VOU: return "vo";
    case HI_ID_AI: return "ai";
    case HI_ID_AO: return "ao";
    case HI_ID_AENC: return "aenc";
    case HI_ID_ADEC: return "adec";
    default: return "other";
    }
}

std::string Node(const MPP_CHN_S& n)
{
    char buf[64];
    snprintf(buf, sizeof(buf), "{\"mod\":\"%s\",\"dev\":%d,\"chn\":%d}", ModName(n.enModId),
             static_cast<int>(n.s32DevId), static_cast<int>(n.s32ChnId));
    return buf;
}

}  // namespace

std::string XMediaSimStateJson()
{
    std::string j = "{";
    j += "\"sys\":";
    j += XMediaSysReady() ? "true" : "false";
    j += ",\"isp_running\":";
    j += XMediaIspRunning() ? "true" : "false";
    j += ",\"chain_live\":";
    j += XMediaSimChainLive() ? "true" : "false";
    j += ",\"pictures\":" + std::to_string(XMediaSimPictures());
    j += ",\"binds\":[";
    BOOL first = TRUE;
    for (const auto& b : XMediaBinds()) {
        if (!first) {
            j += ",";
        }
        first = FALSE;
        j += "{\"src\":" + Node(b.first) + ",\"dst\":" + Node(b.second) + "}";
    }
    j += "],\"venc\":[";
    first = TRUE;
    for (int c = 0; c < 16; ++c) {
        tagMediaSimVenc v;
        if (!XMediaSimVencInfo(c, &v) || !v.bCreated) {
            continue;
        }
        if (!first) {
            j += ",";
        }
        first = FALSE;
        char buf[320];
        snprintf(buf, sizeof(buf),
                 "{\"chn\":%d,\"width\":%u,\"height\":%u,\"receiving\":%s,\"recv_left\":%d,"
                 "\"encoded\":%llu,\"dropped\":%llu,\"got\":%llu,\"released\":%llu,\"queued\":%u,\"held\":%u}",
                 c, v.u32Width, v.u32Height, v.bReceiving ? "true" : "false", static_cast<int>(v.s32RecvLeft),
                 static_cast<unsigned long long>(v.u64Encoded), static_cast<unsigned long long>(v.u64Dropped),
                 static_cast<unsigned long long>(v.u64Got), static_cast<unsigned long long>(v.u64Released),
                 v.u32Queued, v.u32Held);
        j += buf;
    }
    j += "],\"rgn\":[";
    first = TRUE;
    for (RGN_HANDLE h : XRgnSimHandles()) {
        tagRgnSimInfo r;
        if (!XRgnSimInfo(h, &r) || !r.bCreated) {
            continue;
        }
        if (!first) {
            j += ",";
        }
        first = FALSE;
        char buf[160];
        snprintf(buf, sizeof(buf), "{\"handle\":%u,\"width\":%u,\"height\":%u,\"set_bitmap\":%llu,\"attach\":[", h,
                 r.attr.unAttr.stOverlay.stSize.u32Width, r.attr.unAttr.stOverlay.stSize.u32Height,
                 static_cast<unsigned long long>(r.u64SetBitMap));
        j += buf;
        for (size_t k = 0; k < r.attach.size(); ++k) {
            const OVERLAY_CHN_ATTR_S& o = r.attach[k].attr.unChnAttr.stOverlayChn;
            snprintf(buf, sizeof(buf), "%s{\"chn\":%d,\"x\":%d,\"y\":%d,\"show\":%s,\"layer\":%u,\"alpha\":%u}",
                     k ? "," : "", r.attach[k].chn, static_cast<int>(o.stPoint.s32X), static_cast<int>(o.stPoint.s32Y),
                     r.attach[k].attr.bShow ? "true" : "false", o.u32Layer, o.u32FgAlpha);
            j += buf;
        }
        j += "]}";
    }
    j += "],\"audio\":" + XAudioSimStateJson() + "}";
    return j;
}
