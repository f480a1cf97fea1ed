// Video processing groups and their output channels.

#include "Platform/MpiVpss.h"

#include <cstdio>
#include <mutex>
#include <utility>

#include "Platform/host/media/MediaCore.h"
#include "Platform/host/media/MediaModules.h"
#include "Platform/host/media/TuningLog.h"

namespace {

constexpr HI_S32 Err(uint32_t number) { return XMpiErrCode(HI_ID_VPSS, number); }

struct tagChn {
    BOOL bAttr = FALSE;
    VPSS_CHN_ATTR_S attr = {};
    BOOL bMode = FALSE;
    VPSS_CHN_MODE_S mode = {};
    BOOL bEnabled = FALSE;
};

struct tagGrp {
    BOOL bCreated = FALSE;
    VPSS_GRP_ATTR_S attr = {};
    BOOL bStarted = FALSE;
    VPSS_NR_PARAM_S nr = {};
    tagChn chn[VPSS_MAX_CHN_NUM];
};

struct tagVpssState {
    std::mutex mutex;
    tagGrp grp[VPSS_MAX_GRP_NUM];
};

tagVpssState& State()
{
    static tagVpssState* s = new tagVpssState;
    return *s;
}

// The processing's own defaults.
VPSS_NR_PARAM_S DefaultNr()
{
    VPSS_NR_PARAM_S nr;
    nr.s32YPKStr = 0;
    nr.s32YSFStr = 100;
    nr.s32YTFStr = 64;
    nr.s32TFStrMax = 12;
    nr.s32YSmthStr = 0;
    nr.s32YSmthRat = 16;
    nr.s32YSFStrDlt = 0;
    nr.s32YTFStrDlt = 0;
    nr.s32YTFStrDl = 0;
    nr.s32YSFBriRat = 24;
    nr.s32CSFStr = 32;
    nr.s32CTFstr = 0;
    return nr;
}

BOOL PixFmtOk(PIXEL_FORMAT_E f)
{
    return f == PIXEL_FORMAT_YUV_SEMIPLANAR_420 || f == PIXEL_FORMAT_YUV_SEMIPLANAR_422;
}

// The group, or an error: id out of range, system down, not created.
HI_S32 Group(HI_S32 grp, tagGrp** out)
{
    if (grp < 0 || grp >= VPSS_MAX_GRP_NUM) {
        return Err(EN_ERR_INVALID_DEVID);
    }
    if (!XMediaSysReady()) {
        return Err(EN_ERR_SYS_NOTREADY);
    }
    tagGrp& g = State().grp[grp];
    if (!g.bCreated) {
        return Err(EN_ERR_UNEXIST);
    }
    *out = &g;
    return HI_SUCCESS;
}

HI_S32 ChnId(HI_S32 chn)
{
    return chn >= 0 && chn < VPSS_MAX_CHN_NUM ? HI_SUCCESS : Err(EN_ERR_INVALID_CHNID);
}

// Runs f on the group under the module lock; f gives the result.
template <class F>
HI_S32 OnGrp(HI_S32 id, F&& f)
{
    tagVpssState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    tagGrp* p = nullptr;
    if (HI_S32 r = Group(id, &p)) {
        return r;
    }
    return f(*p);
}

// The same, then tells the media core when it succeeded.
template <class F>
HI_S32 ChangeGrp(HI_S32 id, F&& f)
{
    HI_S32 r = OnGrp(id, std::forward<F>(f));
    if (r == HI_SUCCESS) {
        XMediaStateChanged();
    }
    return r;
}

}  // namespace

HI_S32 HI_MPI_VPSS_CreateGrp(HI_S32 VpssGrp, const VPSS_GRP_ATTR_S* pstGrpAttr)
{
    XMEDIA_FAULT(VpssGrp);
    if (VpssGrp < 0 || VpssGrp >= VPSS_MAX_GRP_NUM) {
        return Err(EN_ERR_INVALID_DEVID);
    }
    if (!XMediaSysReady()) {
        return Err(EN_ERR_SYS_NOTREADY);
    }
    if (pstGrpAttr == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    const VPSS_GRP_ATTR_S& a = *pstGrpAttr;
    if (a.u32MaxW < 64 || a.u32MaxW > 4096 || a.u32MaxH < 64 || a.u32MaxH > 4096 || !PixFmtOk(a.enPixFmt) ||
        a.enDieMode >= VPSS_DIE_MODE_BUTT) {
        return Err(EN_ERR_ILLEGAL_PARAM);
    }
    {
        tagVpssState& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        tagGrp& g = s.grp[VpssGrp];
        if (g.bCreated) {
            return Err(EN_ERR_EXIST);
        }
        g = tagGrp();
        g.bCreated = TRUE;
        g.attr = a;
        g.nr = DefaultNr();
    }
    XMediaStateChanged();
    return HI_SUCCESS;
}

HI_S32 HI_MPI_VPSS_DestroyGrp(HI_S32 VpssGrp)
{
    XMEDIA_FAULT(VpssGrp);
    return ChangeGrp(VpssGrp, [&](tagGrp& g) -> HI_S32 {
        if (g.bStarted) {
            return Err(EN_ERR_NOT_PERM);
        }
        g = tagGrp();
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VPSS_StartGrp(HI_S32 VpssGrp)
{
    XMEDIA_FAULT(VpssGrp);
    return ChangeGrp(VpssGrp, [&](tagGrp& g) -> HI_S32 {
        g.bStarted = TRUE;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VPSS_StopGrp(HI_S32 VpssGrp)
{
    XMEDIA_FAULT(VpssGrp);
    return ChangeGrp(VpssGrp, [&](tagGrp& g) -> HI_S32 {
        g.bStarted = FALSE;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VPSS_GetGrpAttr(HI_S32 VpssGrp, VPSS_GRP_ATTR_S* pstGrpAttr)
{
    XMEDIA_FAULT(VpssGrp);
    if (pstGrpAttr == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    return OnGrp(VpssGrp, [&](tagGrp& g) -> HI_S32 {
        *pstGrpAttr = g.attr;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VPSS_SetChnAttr(HI_S32 VpssGrp, HI_S32 VpssChn, const VPSS_CHN_ATTR_S* pstChnAttr)
{
    XMEDIA_FAULT(VpssChn);
    if (HI_S32 r = ChnId(VpssChn)) {
        return r;
    }
    if (pstChnAttr == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    const VPSS_CHN_ATTR_S& a = *pstChnAttr;
    if (a.s32SrcFrameRate < -1 || a.s32SrcFrameRate == 0 || a.s32DstFrameRate < -1 || a.s32DstFrameRate == 0 ||
        (a.s32SrcFrameRate > 0 && a.s32DstFrameRate > a.s32SrcFrameRate)) {
        return Err(EN_ERR_ILLEGAL_PARAM);
    }
    return OnGrp(VpssGrp, [&](tagGrp& g) -> HI_S32 {
        g.chn[VpssChn].attr = a;
        g.chn[VpssChn].bAttr = TRUE;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VPSS_GetChnAttr(HI_S32 VpssGrp, HI_S32 VpssChn, VPSS_CHN_ATTR_S* pstChnAttr)
{
    XMEDIA_FAULT(VpssChn);
    if (HI_S32 r = ChnId(VpssChn)) {
        return r;
    }
    if (pstChnAttr == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    return OnGrp(VpssGrp, [&](tagGrp& g) -> HI_S32 {
        if (!g.chn[VpssChn].bAttr) {
            return Err(EN_ERR_NOT_CONFIG);
        }
        *pstChnAttr = g.chn[VpssChn].attr;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VPSS_SetChnMode(HI_S32 VpssGrp, HI_S32 VpssChn, const VPSS_CHN_MODE_S* pstVpssMode)
{
    XMEDIA_FAULT(VpssChn);
    if (HI_S32 r = ChnId(VpssChn)) {
        return r;
    }
    if (pstVpssMode == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    const VPSS_CHN_MODE_S& m = *pstVpssMode;
    if (m.enChnMode > VPSS_CHN_MODE_USER || !PixFmtOk(m.enPixelFormat) || m.enCompressMode > COMPRESS_MODE_FRAME ||
        m.u32Width < 32 || m.u32Height < 32 || (m.u32Width & 1) != 0 || (m.u32Height & 1) != 0) {
        return Err(EN_ERR_ILLEGAL_PARAM);
    }
    return OnGrp(VpssGrp, [&](tagGrp& g) -> HI_S32 {
        if (m.u32Width > g.attr.u32MaxW || m.u32Height > g.attr.u32MaxH) {
            return Err(EN_ERR_ILLEGAL_PARAM);
        }
        tagChn& c = g.chn[VpssChn];
        if (c.bEnabled) {
            return Err(EN_ERR_NOT_PERM);
        }
        c.mode = m;
        c.bMode = TRUE;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VPSS_GetChnMode(HI_S32 VpssGrp, HI_S32 VpssChn, VPSS_CHN_MODE_S* pstVpssMode)
{
    XMEDIA_FAULT(VpssChn);
    if (HI_S32 r = ChnId(VpssChn)) {
        return r;
    }
    if (pstVpssMode == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    return OnGrp(VpssGrp, [&](tagGrp& g) -> HI_S32 {
        if (!g.chn[VpssChn].bMode) {
            return Err(EN_ERR_NOT_CONFIG);
        }
        *pstVpssMode = g.chn[VpssChn].mode;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VPSS_EnableChn(HI_S32 VpssGrp, HI_S32 VpssChn)
{
    XMEDIA_FAULT(VpssChn);
    if (HI_S32 r = ChnId(VpssChn)) {
        return r;
    }
    return ChangeGrp(VpssGrp, [&](tagGrp& g) -> HI_S32 {
        tagChn& c = g.chn[VpssChn];
        if (!c.bAttr || !c.bMode) {
            return Err(EN_ERR_NOT_CONFIG);
        }
        c.bEnabled = TRUE;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VPSS_DisableChn(HI_S32 VpssGrp, HI_S32 VpssChn)
{
    XMEDIA_FAULT(VpssChn);
    if (HI_S32 r = ChnId(VpssChn)) {
        return r;
    }
    return ChangeGrp(VpssGrp, [&](tagGrp& g) -> HI_S32 {
        g.chn[VpssChn].bEnabled = FALSE;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VPSS_GetNRParam(HI_S32 VpssGrp, VPSS_NR_PARAM_S* pstNrParam)
{
    XMEDIA_FAULT(VpssGrp);
    if (pstNrParam == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    return OnGrp(VpssGrp, [&](tagGrp& g) -> HI_S32 {
        *pstNrParam = g.nr;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VPSS_SetNRParam(HI_S32 VpssGrp, const VPSS_NR_PARAM_S* pstNrParam)
{
    XMEDIA_FAULT(VpssGrp);
    if (pstNrParam == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    const HI_S32* v = &pstNrParam->s32YPKStr;
    for (size_t i = 0; i < sizeof(VPSS_NR_PARAM_S) / sizeof(HI_S32); ++i) {
        if (v[i] < 0 || v[i] > 255) {
            return Err(EN_ERR_ILLEGAL_PARAM);
        }
    }
    const HI_S32 r = OnGrp(VpssGrp, [&](tagGrp& g) -> HI_S32 {
        g.nr = *pstNrParam;
        return HI_SUCCESS;
    });
    char fields[96];
    snprintf(fields, sizeof(fields), "ysf=%d ytf=%d ysmth=%d", static_cast<int>(pstNrParam->s32YSFStr),
             static_cast<int>(pstNrParam->s32YTFStr), static_cast<int>(pstNrParam->s32YSmthStr));
    XTuningLogSet(__func__, VpssGrp, r, pstNrParam, sizeof(*pstNrParam), fields);
    return r;
}

BOOL XMediaVpssChnLive(int grp, int chn, SIZE_S* size)
{
    if (grp < 0 || grp >= VPSS_MAX_GRP_NUM || chn < 0 || chn >= VPSS_MAX_CHN_NUM) {
        return FALSE;
    }
    tagVpssState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    const tagGrp& g = s.grp[grp];
    const tagChn& c = g.chn[chn];
    if (!(g.bCreated && g.bStarted && c.bEnabled)) {
        return FALSE;
    }
    if (size != nullptr) {
        size->u32Width = c.mode.u32Width;
        size->u32Height = c.mode.u32Height;
    }
    return TRUE;
}

BOOL XMediaVpssGrpStarted(int grp)
{
    if (grp < 0 || grp >= VPSS_MAX_GRP_NUM) {
        return FALSE;
    }
    tagVpssState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.grp[grp].bCreated && s.grp[grp].bStarted;
}

void XMediaResetVpss()
{
    tagVpssState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (tagGrp& g : s.grp) {
        g = tagGrp();
    }
}
