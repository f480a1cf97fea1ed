// Video input: device and channel attributes, enable state, rotation and
// lens correction.

#include "Platform/MpiVi.h"

#include <mutex>

#include "Platform/host/media/MediaCore.h"
#include "Platform/host/media/MediaModules.h"

namespace {

constexpr HI_S32 Err(uint32_t number) { return XMpiErrCode(HI_ID_VIU, number); }

struct tagViState {
    std::mutex mutex;
    BOOL bDevAttr = FALSE;
    VI_DEV_ATTR_S dev = {};
    BOOL bDevEnabled = FALSE;
    BOOL bChnAttr = FALSE;
    VI_CHN_ATTR_S chn = {};
    BOOL bChnEnabled = FALSE;
    ROTATE_E rotate = ROTATE_NONE;
    VI_LDC_ATTR_S ldc = {};
};

tagViState& State()
{
    static tagViState* s = new tagViState;
    return *s;
}

HI_S32 CheckDev(HI_S32 dev)
{
    if (dev < 0 || dev >= VIU_MAX_DEV_NUM) {
        return Err(EN_ERR_INVALID_DEVID);
    }
    return XMediaSysReady() ? HI_SUCCESS : Err(EN_ERR_SYS_NOTREADY);
}

HI_S32 CheckChn(HI_S32 chn)
{
    if (chn < 0 || chn >= VIU_MAX_CHN_NUM) {
        return Err(EN_ERR_INVALID_CHNID);
    }
    return XMediaSysReady() ? HI_SUCCESS : Err(EN_ERR_SYS_NOTREADY);
}

BOOL RectFits(const RECT_S& r, uint32_t maxW, uint32_t maxH)
{
    return r.s32X >= 0 && r.s32Y >= 0 && r.u32Width >= 32 && r.u32Height >= 32 &&
           static_cast<uint64_t>(r.s32X) + r.u32Width <= maxW &&
           static_cast<uint64_t>(r.s32Y) + r.u32Height <= maxH;
}

// A getter: the id's check, then the value once `ready` is set.
template <class T>
HI_S32 Read(HI_S32 (*check)(HI_S32), HI_S32 id, T* out, BOOL tagViState::*ready, T tagViState::*value)
{
    if (HI_S32 r = check(id)) {
        return r;
    }
    if (out == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    return XMediaLocked(State(), [&](tagViState& s) -> HI_S32 {
        if (!(s.*ready)) {
            return Err(EN_ERR_NOT_CONFIG);
        }
        *out = s.*value;
        return HI_SUCCESS;
    });
}

}  // namespace

HI_S32 HI_MPI_VI_SetDevAttr(HI_S32 ViDev, const VI_DEV_ATTR_S* pstDevAttr)
{
    XMEDIA_FAULT(ViDev);
    if (HI_S32 r = CheckDev(ViDev)) {
        return r;
    }
    if (pstDevAttr == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    if (pstDevAttr->enIntfMode >= VI_MODE_BUTT || !RectFits(pstDevAttr->stDevRect, 4096, 4096)) {
        return Err(EN_ERR_ILLEGAL_PARAM);
    }
    return XMediaLocked(State(), [&](tagViState& s) -> HI_S32 {
        if (s.bDevEnabled) {
            return Err(EN_ERR_NOT_PERM);
        }
        s.dev = *pstDevAttr;
        s.bDevAttr = TRUE;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VI_GetDevAttr(HI_S32 ViDev, VI_DEV_ATTR_S* pstDevAttr)
{
    XMEDIA_FAULT(ViDev);
    return Read(CheckDev, ViDev, pstDevAttr, &tagViState::bDevAttr, &tagViState::dev);
}

HI_S32 HI_MPI_VI_EnableDev(HI_S32 ViDev)
{
    XMEDIA_FAULT(ViDev);
    if (HI_S32 r = CheckDev(ViDev)) {
        return r;
    }
    return XMediaChange(State(), [&](tagViState& s) -> HI_S32 {
        if (!s.bDevAttr) {
            return Err(EN_ERR_NOT_CONFIG);
        }
        s.bDevEnabled = TRUE;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VI_DisableDev(HI_S32 ViDev)
{
    XMEDIA_FAULT(ViDev);
    if (HI_S32 r = CheckDev(ViDev)) {
        return r;
    }
    return XMediaChange(State(), [&](tagViState& s) -> HI_S32 {
        if (s.bChnEnabled) {
            return Err(EN_ERR_NOT_PERM);  // its channel still runs
        }
        s.bDevEnabled = FALSE;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VI_SetChnAttr(HI_S32 ViChn, const VI_CHN_ATTR_S* pstAttr)
{
    XMEDIA_FAULT(ViChn);
    if (HI_S32 r = CheckChn(ViChn)) {
        return r;
    }
    if (pstAttr == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    const VI_CHN_ATTR_S& a = *pstAttr;
    if ((a.enPixFormat != PIXEL_FORMAT_YUV_SEMIPLANAR_420 && a.enPixFormat != PIXEL_FORMAT_YUV_SEMIPLANAR_422) ||
        a.enCapSel > VI_CAPSEL_BOTH || a.stDestSize.u32Width == 0 || a.stDestSize.u32Height == 0 ||
        a.stDestSize.u32Width > a.stCapRect.u32Width || a.stDestSize.u32Height > a.stCapRect.u32Height) {
        return Err(EN_ERR_ILLEGAL_PARAM);
    }
    return XMediaLocked(State(), [&](tagViState& s) -> HI_S32 {
        if (!s.bDevEnabled) {
            return Err(EN_ERR_NOT_PERM);
        }
        if (!RectFits(a.stCapRect, s.dev.stDevRect.u32Width, s.dev.stDevRect.u32Height)) {
            return Err(EN_ERR_ILLEGAL_PARAM);
        }
        if (s.bChnEnabled && (a.stDestSize.u32Width != s.chn.stDestSize.u32Width ||
                              a.stDestSize.u32Height != s.chn.stDestSize.u32Height)) {
            return Err(EN_ERR_NOT_PERM);  // only mirror, flip and rates change while it runs
        }
        s.chn = a;
        s.bChnAttr = TRUE;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VI_GetChnAttr(HI_S32 ViChn, VI_CHN_ATTR_S* pstAttr)
{
    XMEDIA_FAULT(ViChn);
    return Read(CheckChn, ViChn, pstAttr, &tagViState::bChnAttr, &tagViState::chn);
}

HI_S32 HI_MPI_VI_EnableChn(HI_S32 ViChn)
{
    XMEDIA_FAULT(ViChn);
    if (HI_S32 r = CheckChn(ViChn)) {
        return r;
    }
    return XMediaChange(State(), [&](tagViState& s) -> HI_S32 {
        if (!s.bChnAttr) {
            return Err(EN_ERR_NOT_CONFIG);
        }
        if (!s.bDevEnabled) {
            return Err(EN_ERR_NOT_PERM);
        }
        s.bChnEnabled = TRUE;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VI_DisableChn(HI_S32 ViChn)
{
    XMEDIA_FAULT(ViChn);
    if (HI_S32 r = CheckChn(ViChn)) {
        return r;
    }
    return XMediaChange(State(), [&](tagViState& s) -> HI_S32 {
        s.bChnEnabled = FALSE;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VI_SetRotate(HI_S32 ViChn, ROTATE_E enRotate)
{
    XMEDIA_FAULT(ViChn);
    if (HI_S32 r = CheckChn(ViChn)) {
        return r;
    }
    if (enRotate > ROTATE_270) {
        return Err(EN_ERR_ILLEGAL_PARAM);
    }
    return XMediaLocked(State(), [&](tagViState& s) -> HI_S32 {
        if (!s.bChnAttr) {
            return Err(EN_ERR_NOT_CONFIG);
        }
        s.rotate = enRotate;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VI_GetRotate(HI_S32 ViChn, ROTATE_E* penRotate)
{
    XMEDIA_FAULT(ViChn);
    if (HI_S32 r = CheckChn(ViChn)) {
        return r;
    }
    if (penRotate == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    return XMediaLocked(State(), [&](tagViState& s) -> HI_S32 {
        *penRotate = s.rotate;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VI_SetLDCAttr(HI_S32 ViChn, const VI_LDC_ATTR_S* pstLDCAttr)
{
    XMEDIA_FAULT(ViChn);
    if (HI_S32 r = CheckChn(ViChn)) {
        return r;
    }
    if (pstLDCAttr == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    const tagLdcAttr& a = pstLDCAttr->stAttr;
    if ((pstLDCAttr->bEnable != 0 && pstLDCAttr->bEnable != 1) || a.enViewType > LDC_VIEW_TYPE_CROP ||
        a.s32CenterXOffset < -127 || a.s32CenterXOffset > 127 || a.s32CenterYOffset < -127 ||
        a.s32CenterYOffset > 127 || a.s32Ratio < 0 || a.s32Ratio > 511) {
        return Err(EN_ERR_ILLEGAL_PARAM);
    }
    return XMediaLocked(State(), [&](tagViState& s) -> HI_S32 {
        if (!s.bChnAttr) {
            return Err(EN_ERR_NOT_CONFIG);
        }
        s.ldc = *pstLDCAttr;
        return HI_SUCCESS;
    });
}

HI_S32 HI_MPI_VI_GetLDCAttr(HI_S32 ViChn, VI_LDC_ATTR_S* pstLDCAttr)
{
    XMEDIA_FAULT(ViChn);
    return Read(CheckChn, ViChn, pstLDCAttr, &tagViState::bChnAttr, &tagViState::ldc);
}

BOOL XMediaViLive(SIZE_S* size)
{
    tagViState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!(s.bDevEnabled && s.bChnEnabled)) {
        return FALSE;
    }
    if (size != nullptr) {
        *size = s.chn.stDestSize;
    }
    return TRUE;
}

void XMediaResetVi()
{
    tagViState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.bDevAttr = FALSE;
    s.dev = VI_DEV_ATTR_S();
    s.bDevEnabled = FALSE;
    s.bChnAttr = FALSE;
    s.chn = VI_CHN_ATTR_S();
    s.bChnEnabled = FALSE;
    s.rotate = ROTATE_NONE;
    s.ldc = VI_LDC_ATTR_S();
}
