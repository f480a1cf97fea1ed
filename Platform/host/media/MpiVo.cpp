// Video output: device, video layer and channels.

#include "Platform/MpiVo.h"

#include <mutex>

#include "Platform/host/media/MediaCore.h"
#include "Platform/host/media/MediaModules.h"

namespace {

constexpr HI_S32 Err(uint32_t number) { return XMpiErrCode(HI_ID_VOU, number); }

struct tagVoChn {
    BOOL bAttr = FALSE;
    VO_CHN_ATTR_S attr = {};
    BOOL bEnabled = FALSE;
};

struct tagVoState {
    std::mutex mutex;
    BOOL bPub = FALSE;
    VO_PUB_ATTR_S pub = {};
    BOOL bDevEnabled = FALSE;
    BOOL bLayerAttr = FALSE;
    VO_VIDEO_LAYER_ATTR_S layer = {};
    BOOL bLayerEnabled = FALSE;
    tagVoChn chn[VO_MAX_CHN_NUM];
};

tagVoState& State()
{
    static tagVoState* s = new tagVoState;
    return *s;
}

HI_S32 Ready()
{
    return XMediaSysReady() ? HI_SUCCESS : Err(EN_ERR_SYS_NOTREADY);
}

// Output size of a sync; FALSE for one the analogue output does not drive.
BOOL SyncSize(VO_INTF_SYNC_E sync, uint32_t* w, uint32_t* h)
{
    switch (sync) {
    case VO_OUTPUT_PAL: *w = 720; *h = 576; return TRUE;
    case VO_OUTPUT_NTSC: *w = 720; *h = 480; return TRUE;
    default: return FALSE;
    }
}

BOOL AnyChnEnabled(const tagVoState& s)
{
    for (const tagVoChn& c : s.chn) {
        if (c.bEnabled) {
            return TRUE;
        }
    }
    return FALSE;
}

}  // namespace

HI_S32 HI_MPI_VO_SetPubAttr(HI_S32 VoDev, const VO_PUB_ATTR_S* pstPubAttr)
{
    XMEDIA_FAULT(VoDev);
    if (VoDev < 0 || VoDev >= VO_MAX_DEV_NUM) {
        return Err(EN_ERR_INVALID_DEVID);
    }
    if (HI_S32 r = Ready()) {
        return r;
    }
    if (pstPubAttr == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    uint32_t w = 0;
    uint32_t h = 0;
    if (pstPubAttr->enIntfType != VO_INTF_CVBS || !SyncSize(pstPubAttr->enIntfSync, &w, &h) ||
        pstPubAttr->u32BgColor > 0xFFFFFFu) {
        return Err(EN_ERR_ILLEGAL_PARAM);  // this board drives CVBS only
    }
    return XMediaLocked(State(), [&](tagVoState& s) -> HI_S32 {
        if (s.bDevEnabled) {
            return Err(EN_ERR_NOT_PERM);
        }
        s.pub = *pstPubAttr;
        s.bPub = TRUE;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VO_GetPubAttr(HI_S32 VoDev, VO_PUB_ATTR_S* pstPubAttr)
{
    XMEDIA_FAULT(VoDev);
    if (VoDev < 0 || VoDev >= VO_MAX_DEV_NUM) {
        return Err(EN_ERR_INVALID_DEVID);
    }
    if (pstPubAttr == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    return XMediaLocked(State(), [&](tagVoState& s) -> HI_S32 {
        if (!s.bPub) {
            return Err(EN_ERR_NOT_CONFIG);
        }
        *pstPubAttr = s.pub;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VO_Enable(HI_S32 VoDev)
{
    XMEDIA_FAULT(VoDev);
    if (VoDev < 0 || VoDev >= VO_MAX_DEV_NUM) {
        return Err(EN_ERR_INVALID_DEVID);
    }
    if (HI_S32 r = Ready()) {
        return r;
    }
    return XMediaChange(State(), [&](tagVoState& s) -> HI_S32 {
        if (s.bDevEnabled) {
            return Err(EN_ERR_VO_DEV_HAS_ENABLED);
        }
        if (!s.bPub) {
            return Err(EN_ERR_NOT_CONFIG);
        }
        s.bDevEnabled = TRUE;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VO_Disable(HI_S32 VoDev)
{
    XMEDIA_FAULT(VoDev);
    if (VoDev < 0 || VoDev >= VO_MAX_DEV_NUM) {
        return Err(EN_ERR_INVALID_DEVID);
    }
    return XMediaChange(State(), [&](tagVoState& s) -> HI_S32 {
        if (s.bLayerEnabled) {
            return Err(EN_ERR_NOT_PERM);
        }
        s.bDevEnabled = FALSE;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VO_SetVideoLayerAttr(HI_S32 VoLayer, const VO_VIDEO_LAYER_ATTR_S* pstLayerAttr)
{
    XMEDIA_FAULT(VoLayer);
    if (VoLayer < 0 || VoLayer >= VO_MAX_LAYER_NUM) {
        return Err(EN_ERR_INVALID_DEVID);
    }
    if (pstLayerAttr == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    const VO_VIDEO_LAYER_ATTR_S& a = *pstLayerAttr;
    return XMediaLocked(State(), [&](tagVoState& s) -> HI_S32 {
        if (!s.bDevEnabled || s.bLayerEnabled) {
            return Err(EN_ERR_NOT_PERM);
        }
        uint32_t w = 0;
        uint32_t h = 0;
        SyncSize(s.pub.enIntfSync, &w, &h);
        if (a.stDispRect.s32X < 0 || a.stDispRect.s32Y < 0 || a.stDispRect.u32Width == 0 || a.stDispRect.u32Height == 0 ||
            a.stDispRect.s32X + a.stDispRect.u32Width > w || a.stDispRect.s32Y + a.stDispRect.u32Height > h ||
            a.stImageSize.u32Width == 0 || a.stImageSize.u32Height == 0 || a.stImageSize.u32Width > w ||
            a.stImageSize.u32Height > h || a.u32DispFrmRt == 0 || a.u32DispFrmRt > 60 ||
            (a.enPixFormat != PIXEL_FORMAT_YUV_SEMIPLANAR_420 && a.enPixFormat != PIXEL_FORMAT_YUV_SEMIPLANAR_422)) {
            return Err(EN_ERR_ILLEGAL_PARAM);
        }
        s.layer = a;
        s.bLayerAttr = TRUE;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VO_GetVideoLayerAttr(HI_S32 VoLayer, VO_VIDEO_LAYER_ATTR_S* pstLayerAttr)
{
    XMEDIA_FAULT(VoLayer);
    if (VoLayer < 0 || VoLayer >= VO_MAX_LAYER_NUM) {
        return Err(EN_ERR_INVALID_DEVID);
    }
    if (pstLayerAttr == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    return XMediaLocked(State(), [&](tagVoState& s) -> HI_S32 {
        if (!s.bLayerAttr) {
            return Err(EN_ERR_NOT_CONFIG);
        }
        *pstLayerAttr = s.layer;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VO_EnableVideoLayer(HI_S32 VoLayer)
{
    XMEDIA_FAULT(VoLayer);
    if (VoLayer < 0 || VoLayer >= VO_MAX_LAYER_NUM) {
        return Err(EN_ERR_INVALID_DEVID);
    }
    return XMediaChange(State(), [&](tagVoState& s) -> HI_S32 {
        if (!s.bDevEnabled) {
            return Err(EN_ERR_NOT_PERM);
        }
        if (!s.bLayerAttr) {
            return Err(EN_ERR_NOT_CONFIG);
        }
        s.bLayerEnabled = TRUE;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VO_DisableVideoLayer(HI_S32 VoLayer)
{
    XMEDIA_FAULT(VoLayer);
    if (VoLayer < 0 || VoLayer >= VO_MAX_LAYER_NUM) {
        return Err(EN_ERR_INVALID_DEVID);
    }
    return XMediaChange(State(), [&](tagVoState& s) -> HI_S32 {
        if (AnyChnEnabled(s)) {
            return Err(EN_ERR_NOT_PERM);
        }
        s.bLayerEnabled = FALSE;
        s.bLayerAttr = FALSE;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VO_SetChnAttr(HI_S32 VoLayer, HI_S32 VoChn, const VO_CHN_ATTR_S* pstChnAttr)
{
    XMEDIA_FAULT(VoChn);
    if (VoLayer < 0 || VoLayer >= VO_MAX_LAYER_NUM) {
        return Err(EN_ERR_INVALID_DEVID);
    }
    if (VoChn < 0 || VoChn >= VO_MAX_CHN_NUM) {
        return Err(EN_ERR_INVALID_CHNID);
    }
    if (pstChnAttr == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    const RECT_S& r = pstChnAttr->stRect;
    return XMediaLocked(State(), [&](tagVoState& s) -> HI_S32 {
        if (!s.bLayerEnabled) {
            return Err(EN_ERR_NOT_PERM);
        }
        if (r.s32X < 0 || r.s32Y < 0 || (r.s32X & 1) != 0 || (r.s32Y & 1) != 0 || (r.u32Width & 1) != 0 ||
            (r.u32Height & 1) != 0 || r.u32Width < 32 || r.u32Height < 32 ||
            r.s32X + r.u32Width > s.layer.stImageSize.u32Width || r.s32Y + r.u32Height > s.layer.stImageSize.u32Height ||
            pstChnAttr->u32Priority > 1) {
            return Err(EN_ERR_ILLEGAL_PARAM);
        }
        s.chn[VoChn].attr = *pstChnAttr;
        s.chn[VoChn].bAttr = TRUE;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VO_GetChnAttr(HI_S32 VoLayer, HI_S32 VoChn, VO_CHN_ATTR_S* pstChnAttr)
{
    XMEDIA_FAULT(VoChn);
    if (VoLayer < 0 || VoLayer >= VO_MAX_LAYER_NUM) {
        return Err(EN_ERR_INVALID_DEVID);
    }
    if (VoChn < 0 || VoChn >= VO_MAX_CHN_NUM) {
        return Err(EN_ERR_INVALID_CHNID);
    }
    if (pstChnAttr == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    return XMediaLocked(State(), [&](tagVoState& s) -> HI_S32 {
        if (!s.chn[VoChn].bAttr) {
            return Err(EN_ERR_NOT_CONFIG);
        }
        *pstChnAttr = s.chn[VoChn].attr;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VO_EnableChn(HI_S32 VoLayer, HI_S32 VoChn)
{
    XMEDIA_FAULT(VoChn);
    if (VoLayer < 0 || VoLayer >= VO_MAX_LAYER_NUM) {
        return Err(EN_ERR_INVALID_DEVID);
    }
    if (VoChn < 0 || VoChn >= VO_MAX_CHN_NUM) {
        return Err(EN_ERR_INVALID_CHNID);
    }
    return XMediaChange(State(), [&](tagVoState& s) -> HI_S32 {
        if (!s.bLayerEnabled) {
            return Err(EN_ERR_NOT_PERM);
        }
        if (!s.chn[VoChn].bAttr) {
            return Err(EN_ERR_NOT_CONFIG);
        }
        s.chn[VoChn].bEnabled = TRUE;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VO_DisableChn(HI_S32 VoLayer, HI_S32 VoChn)
{
    XMEDIA_FAULT(VoChn);
    if (VoLayer < 0 || VoLayer >= VO_MAX_LAYER_NUM) {
        return Err(EN_ERR_INVALID_DEVID);
    }
    if (VoChn < 0 || VoChn >= VO_MAX_CHN_NUM) {
        return Err(EN_ERR_INVALID_CHNID);
    }
    return XMediaChange(State(), [&](tagVoState& s) -> HI_S32 {
        s.chn[VoChn].bEnabled = FALSE;
        s.chn[VoChn].bAttr = FALSE;
        return HI_SUCCESS;
    });
}

BOOL XMediaVoChnEnabled(int chn)
{
    if (chn < 0 || chn >= VO_MAX_CHN_NUM) {
        return FALSE;
    }
    tagVoState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.bLayerEnabled && s.chn[chn].bEnabled;
}

void XMediaResetVo()
{
    tagVoState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.bPub = FALSE;
    s.pub = VO_PUB_ATTR_S();
    s.bDevEnabled = FALSE;
    s.bLayerAttr = FALSE;
    s.layer = VO_VIDEO_LAYER_ATTR_S();
    s.bLayerEnabled = FALSE;
    for (tagVoChn& c : s.chn) {
        c = tagVoChn();
    }
}
