// The media system: configuration, readiness, the bind graph and the clock.

#include "Platform/MpiSys.h"

#include <sys/time.h>
#include <time.h>

#include <mutex>
#include <vector>

#include "Platform/host/media/MediaCore.h"
#include "Platform/host/media/MediaModules.h"

namespace {

constexpr HI_S32 Err(uint32_t number) { return XMpiErrCode(HI_ID_SYS, number); }

// A small step back of the clock: under one second.
constexpr int64_t kSmallStepBackUs = 1000000;

struct tagSysState {
    std::mutex mutex;
    BOOL bConf = FALSE;
    MPP_SYS_CONF_S conf = {};
    BOOL bInit = FALSE;
    std::vector<std::pair<MPP_CHN_S, MPP_CHN_S>> binds;  // (source, destination)
    // clock: pts = monotonic + offset
    BOOL bAnchored = FALSE;
    int64_t offset = 0;
    uint64_t floor = 0;      // held value after a small step back, 0 when none
    uint64_t lastOut = 0;
};

tagSysState& State()
{
    static tagSysState* s = new tagSysState;  // outlives every media thread
    return *s;
}

int64_t MonoUs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

int64_t WallUs()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return static_cast<int64_t>(tv.tv_sec) * 1000000 + tv.tv_usec;
}

// Range of device and channel ids per module; FALSE for a module without binds.
BOOL Ranges(MOD_ID_E mod, int* devs, int* chns)
{
    switch (mod) {
    case HI_ID_VIU: *devs = 1; *chns = 1; return TRUE;
    case HI_ID_VPSS: *devs = 32; *chns = 8; return TRUE;
    case HI_ID_VENC: *devs = 1; *chns = 16; return TRUE;
    case HI_ID_VOU: *devs = 1; *chns = 16; return TRUE;
    case HI_ID_AI: *devs = 2; *chns = 2; return TRUE;
    case HI_ID_AO: *devs = 2; *chns = 2; return TRUE;
    case HI_ID_AENC: *devs = 1; *chns = 32; return TRUE;
    case HI_ID_ADEC: *devs = 1; *chns = 32; return TRUE;
    default: return FALSE;
    }
}

HI_S32 CheckNode(const MPP_CHN_S& n)
{
    int devs = 0;
    int chns = 0;
    if (!Ranges(n.enModId, &devs, &chns)) {
        return Err(EN_ERR_NOT_SUPPORT);
    }
    if (n.s32DevId < 0 || n.s32DevId >= devs) {
        return Err(EN_ERR_INVALID_DEVID);
    }
    if (n.s32ChnId < 0 || n.s32ChnId >= chns) {
        return Err(EN_ERR_INVALID_CHNID);
    }
    return HI_SUCCESS;
}

BOOL PairOffered(const MPP_CHN_S& src, const MPP_CHN_S& dst)
{
    switch (src.enModId) {
    case HI_ID_VIU:
        return (dst.enModId == HI_ID_VPSS && dst.s32ChnId == 0) || dst.enModId == HI_ID_VOU;
    case HI_ID_VPSS:
        return dst.enModId == HI_ID_VENC || dst.enModId == HI_ID_VOU;
    case HI_ID_AI:
        return dst.enModId == HI_ID_AENC || dst.enModId == HI_ID_AO;
    case HI_ID_ADEC:
        return dst.enModId == HI_ID_AO;
    default:
        return FALSE;
    }
}

BOOL Same(const MPP_CHN_S& a, const MPP_CHN_S& b)
{
    return a.enModId == b.enModId && a.s32DevId == b.s32DevId && a.s32ChnId == b.s32ChnId;
}

// The clock as anchored, under the lock.
uint64_t NowLocked(tagSysState& s)
{
    if (!s.bAnchored) {
        s.offset = WallUs() - MonoUs();
        s.bAnchored = TRUE;
    }
    int64_t v = MonoUs() + s.offset;
    uint64_t out = v > 0 ? static_cast<uint64_t>(v) : 0;
    if (s.floor != 0) {
        if (out <= s.floor) {
            out = s.floor;
        } else {
            s.floor = 0;
        }
    }
    s.lastOut = out;
    return out;
}

void AnchorLocked(tagSysState& s, HI_U64 base)
{
    uint64_t last = s.bAnchored ? NowLocked(s) : 0;
    s.offset = static_cast<int64_t>(base) - MonoUs();
    s.bAnchored = TRUE;
    if (base < last && static_cast<int64_t>(last - base) < kSmallStepBackUs) {
        s.floor = last;
    } else {
        s.floor = 0;
    }
}

}  // namespace

HI_S32 HI_MPI_SYS_SetConf(const MPP_SYS_CONF_S* pstSysConf)
{
    if (HI_S32 f = XMediaFault(__func__, -1)) {
        return f;
    }
    if (pstSysConf == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    const HI_U32 a = pstSysConf->u32AlignWidth;
    if (a != 16 && a != 32 && a != 64) {
        return Err(EN_ERR_ILLEGAL_PARAM);
    }
    return XMediaLocked(State(), [&](tagSysState& s) -> HI_S32 {
        if (s.bInit) {
            return Err(EN_ERR_NOT_PERM);
        }
        s.conf = *pstSysConf;
        s.bConf = TRUE;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_SYS_GetConf(MPP_SYS_CONF_S* pstSysConf)
{
    if (HI_S32 f = XMediaFault(__func__, -1)) {
        return f;
    }
    if (pstSysConf == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    return XMediaLocked(State(), [&](tagSysState& s) -> HI_S32 {
        if (!s.bConf) {
            return Err(EN_ERR_NOT_CONFIG);
        }
        *pstSysConf = s.conf;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_SYS_Init(HI_VOID)
{
    if (HI_S32 f = XMediaFault(__func__, -1)) {
        return f;
    }
    if (!XMediaVbReady()) {
        return Err(EN_ERR_NOT_PERM);
    }
    {
        tagSysState& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.bConf) {
            return Err(EN_ERR_NOT_CONFIG);
        }
        if (s.bInit) {
            return HI_SUCCESS;
        }
        s.bInit = TRUE;
    }
    XMediaSourceEnsure();
    XMediaBoardEnsure();
    XMediaStateChanged();
    return HI_SUCCESS;
}

HI_S32 HI_MPI_SYS_Exit(HI_VOID)
{
    if (HI_S32 f = XMediaFault(__func__, -1)) {
        return f;
    }
    return XMediaChange(State(), [&](tagSysState& s) -> HI_S32 {
        s.bInit = FALSE;
        s.binds.clear();
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_SYS_Bind(const MPP_CHN_S* pstSrcChn, const MPP_CHN_S* pstDestChn)
{
    if (HI_S32 f = XMediaFault(__func__, pstDestChn != nullptr ? pstDestChn->s32ChnId : -1)) {
        return f;
    }
    if (pstSrcChn == nullptr || pstDestChn == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    if (HI_S32 r = CheckNode(*pstSrcChn)) {
        return r;
    }
    if (HI_S32 r = CheckNode(*pstDestChn)) {
        return r;
    }
    if (!PairOffered(*pstSrcChn, *pstDestChn)) {
        return Err(EN_ERR_NOT_SUPPORT);
    }
    return XMediaChange(State(), [&](tagSysState& s) -> HI_S32 {
        if (!s.bInit) {
            return Err(EN_ERR_SYS_NOTREADY);
        }
        for (const auto& b : s.binds) {
            if (Same(b.second, *pstDestChn)) {
                return Err(EN_ERR_EXIST);
            }
        }
        s.binds.emplace_back(*pstSrcChn, *pstDestChn);
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_SYS_UnBind(const MPP_CHN_S* pstSrcChn, const MPP_CHN_S* pstDestChn)
{
    if (HI_S32 f = XMediaFault(__func__, pstDestChn != nullptr ? pstDestChn->s32ChnId : -1)) {
        return f;
    }
    if (pstDestChn == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    if (HI_S32 r = CheckNode(*pstDestChn)) {
        return r;
    }
    return XMediaChange(State(), [&](tagSysState& s) -> HI_S32 {
        if (!s.bInit) {
            return Err(EN_ERR_SYS_NOTREADY);
        }
        auto it = s.binds.begin();
        for (; it != s.binds.end(); ++it) {
            if (Same(it->second, *pstDestChn)) {
                break;
            }
        }
        if (it == s.binds.end()) {
            return Err(EN_ERR_UNEXIST);
        }
        if (pstSrcChn != nullptr && !Same(it->first, *pstSrcChn)) {
            return Err(EN_ERR_ILLEGAL_PARAM);
        }
        s.binds.erase(it);
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_SYS_GetBindbyDest(const MPP_CHN_S* pstDestChn, MPP_CHN_S* pstSrcChn)
{
    if (HI_S32 f = XMediaFault(__func__, pstDestChn != nullptr ? pstDestChn->s32ChnId : -1)) {
        return f;
    }
    if (pstDestChn == nullptr || pstSrcChn == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    tagSysState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.bInit) {
        return Err(EN_ERR_SYS_NOTREADY);
    }
    for (const auto& b : s.binds) {
        if (Same(b.second, *pstDestChn)) {
            *pstSrcChn = b.first;
            return HI_SUCCESS;
        }
    }
    return Err(EN_ERR_UNEXIST);
}

HI_S32 HI_MPI_SYS_InitPtsBase(HI_U64 u64PtsBase)
{
    if (HI_S32 f = XMediaFault(__func__, -1)) {
        return f;
    }
    return XMediaLocked(State(), [&](tagSysState& s) -> HI_S32 {
        if (!s.bInit) {
            return Err(EN_ERR_SYS_NOTREADY);
        }
        AnchorLocked(s, u64PtsBase);
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_SYS_SyncPts(HI_U64 u64PtsBase)
{
    if (HI_S32 f = XMediaFault(__func__, -1)) {
        return f;
    }
    return XMediaLocked(State(), [&](tagSysState& s) -> HI_S32 {
        if (!s.bInit) {
            return Err(EN_ERR_SYS_NOTREADY);
        }
        AnchorLocked(s, u64PtsBase);
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_SYS_GetCurPts(HI_U64* pu64CurPts)
{
    if (HI_S32 f = XMediaFault(__func__, -1)) {
        return f;
    }
    if (pu64CurPts == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    return XMediaLocked(State(), [&](tagSysState& s) -> HI_S32 {
        if (!s.bInit) {
            return Err(EN_ERR_SYS_NOTREADY);
        }
        *pu64CurPts = NowLocked(s);
        return HI_SUCCESS;
    });
}

BOOL XMediaSysReady()
{
    tagSysState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.bInit;
}

HI_U64 XMediaPtsNow()
{
    tagSysState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return NowLocked(s);
}

BOOL XMediaBindSource(const MPP_CHN_S& dst, MPP_CHN_S* src)
{
    tagSysState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (const auto& b : s.binds) {
        if (Same(b.second, dst)) {
            if (src != nullptr) {
                *src = b.first;
            }
            return TRUE;
        }
    }
    return FALSE;
}

std::vector<MPP_CHN_S> XMediaBindSinks(const MPP_CHN_S& src)
{
    std::vector<MPP_CHN_S> out;
    tagSysState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (const auto& b : s.binds) {
        if (Same(b.first, src)) {
            out.push_back(b.second);
        }
    }
    return out;
}

std::vector<std::pair<MPP_CHN_S, MPP_CHN_S>> XMediaBinds()
{
    tagSysState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.binds;
}

void XMediaResetSys()
{
    tagSysState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.bConf = FALSE;
    s.conf = MPP_SYS_CONF_S();
    s.bInit = FALSE;
    s.binds.clear();
    s.bAnchored = FALSE;
    s.offset = 0;
    s.floor = 0;
    s.lastOut = 0;
}
