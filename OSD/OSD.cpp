#include "OSD/OSD.h"

#include <cstring>

#include "Function/XLog.h"

COSD::COSD(emOSDSize size)
    : m_emOSDSize(size), m_hRgn(-1), m_X(16), m_Y(16), m_Width(0), m_Height(0), m_bEnable(0), m_BoundVencChn(-1)
{
    memset(&m_bmpOSD, 0, sizeof(m_bmpOSD));
}

COSD::~COSD() {}

BOOL COSD::DestroyRgn()
{
    if (m_hRgn < 0) {
        return TRUE;
    }
    BOOL ok = TRUE;
    if (m_BoundVencChn >= 0) {
        const MPP_CHN_S chn = {HI_ID_VENC, 0, m_BoundVencChn};
        const HI_S32 r = HI_MPI_RGN_DetachFromChn(static_cast<RGN_HANDLE>(m_hRgn), &chn);
        if (r != HI_SUCCESS) {
            XERROR("HI_MPI_RGN_DetachFromChn(CHN:%d RGN:%d) failed with %#x \n", m_BoundVencChn, m_hRgn,
                   static_cast<unsigned>(r));
            ok = FALSE;
        }
    }
    const HI_S32 r = HI_MPI_RGN_Destroy(static_cast<RGN_HANDLE>(m_hRgn));
    if (r != HI_SUCCESS) {
        XERROR("HI_MPI_RGN_Destroy [%d] failed with %#x \n", m_hRgn, static_cast<unsigned>(r));
        ok = FALSE;
    }
    m_hRgn = -1;
    m_BoundVencChn = -1;
    m_Width = 0;
    m_Height = 0;
    return ok;
}

BOOL COSD::ShowString(const uint16_t*, int)
{
    return TRUE;
}

BOOL COSD::ShowLogo()
{
    return TRUE;
}

unsigned COSD::GetOSDCharMaxWidth(const uint16_t*, int)
{
    return 0;
}

BOOL COSD::LoadImageDataBase()
{
    return FALSE;
}

BOOL COSD::CreateRgn(unsigned handle, const RGN_ATTR_S* attr)
{
    const HI_S32 r = HI_MPI_RGN_Create(handle, attr);
    if (r != HI_SUCCESS) {
        XERROR("HI_MPI_RGN_Create [%u] failed with %#x \n", handle, static_cast<unsigned>(r));
        return FALSE;
    }
    m_hRgn = static_cast<int>(handle);
    return TRUE;
}

BOOL COSD::AttchToChannel(int chn, int x, int y, int bInvCol, unsigned layer, int alpha, int bEnable)
{
    if (m_hRgn < 0) {
        XERROR("RGN Not Create.\n");
        return FALSE;
    }
    RGN_CHN_ATTR_S a;
    memset(&a, 0, sizeof(a));
    a.bShow = bEnable;
    a.enType = OVERLAY_RGN;
    OVERLAY_CHN_ATTR_S& o = a.unChnAttr.stOverlayChn;
    o.stPoint.s32X = x;
    o.stPoint.s32Y = y;
    o.u32FgAlpha = static_cast<HI_U32>(alpha) % 129;
    o.u32BgAlpha = 0;
    o.u32Layer = layer;
    o.stInvertColor.stInvColArea.u32Width = 16;
    o.stInvertColor.stInvColArea.u32Height = m_Height;
    o.stInvertColor.u32LumThresh = 168;
    o.stInvertColor.enChgMod = MORETHAN_LUM_THRESH;
    o.stInvertColor.bInvColEn = bInvCol;
    const MPP_CHN_S c = {HI_ID_VENC, 0, chn};
    const HI_S32 r = HI_MPI_RGN_AttachToChn(static_cast<RGN_HANDLE>(m_hRgn), &c, &a);
    if (r != HI_SUCCESS) {
        XERROR("HI_MPI_RGN_AttachToChn(CHN:%d RGN:%d) failed with %#x \n", chn, m_hRgn, static_cast<unsigned>(r));
        return FALSE;
    }
    m_X = static_cast<unsigned>(x);
    m_Y = static_cast<unsigned>(y);
    m_bEnable = bEnable;
    m_BoundVencChn = chn;
    return TRUE;
}

BOOL COSD::SetPostion(unsigned x, unsigned y)
{
    if (m_hRgn < 0 || m_BoundVencChn < 0) {
        return FALSE;
    }
    const MPP_CHN_S c = {HI_ID_VENC, 0, m_BoundVencChn};
    RGN_CHN_ATTR_S a;
    HI_S32 r = HI_MPI_RGN_GetDisplayAttr(static_cast<RGN_HANDLE>(m_hRgn), &c, &a);
    if (r != HI_SUCCESS) {
        XERROR("HI_MPI_RGN_GetDisplayAttr failed width %#x\n", static_cast<unsigned>(r));
        return FALSE;
    }
    a.unChnAttr.stOverlayChn.stPoint.s32X = static_cast<HI_S32>(x);
    a.unChnAttr.stOverlayChn.stPoint.s32Y = static_cast<HI_S32>(y);
    r = HI_MPI_RGN_SetDisplayAttr(static_cast<RGN_HANDLE>(m_hRgn), &c, &a);
    if (r != HI_SUCCESS) {
        XERROR("HI_MPI_RGN_SetDisplayAttr(%d) failed width %#x\n", m_hRgn, static_cast<unsigned>(r));
        return FALSE;
    }
    m_X = x;
    m_Y = y;
    return TRUE;
}

BOOL COSD::EnableDisplay(BOOL bEnable)
{
    if (m_hRgn < 0 || m_BoundVencChn < 0) {
        return FALSE;
    }
    if (m_bEnable == bEnable) {
        return TRUE;
    }
    const MPP_CHN_S c = {HI_ID_VENC, 0, m_BoundVencChn};
    RGN_CHN_ATTR_S a;
    HI_S32 r = HI_MPI_RGN_GetDisplayAttr(static_cast<RGN_HANDLE>(m_hRgn), &c, &a);
    if (r != HI_SUCCESS) {
        XERROR("HI_MPI_RGN_GetDisplayAttr failed width %#x\n", static_cast<unsigned>(r));
        return FALSE;
    }
    a.bShow = bEnable;
    r = HI_MPI_RGN_SetDisplayAttr(static_cast<RGN_HANDLE>(m_hRgn), &c, &a);
    if (r != HI_SUCCESS) {
        XERROR("HI_MPI_RGN_SetDisplayAttr failed width %#x\n", static_cast<unsigned>(r));
        return FALSE;
    }
    m_bEnable = bEnable;
    return TRUE;
}
