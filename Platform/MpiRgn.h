#ifndef PLATFORM_MPIRGN_H
#define PLATFORM_MPIRGN_H

// Overlay regions blended by the encoders into every picture of the channels
// they are attached to.
//
// A region is created with its size and pixel format (RGB1555 only) under a
// handle of the caller's choice. It is attached to encoder channels
// {HI_ID_VENC, 0, chn}; an attachment is kept by the handle, so it may be
// made before the encoder exists and lasts while that encoder is destroyed
// and created again. SetBitMap copies the caller's pixels (rows of
// round-up(2 x width, 4) bytes) at the call; a bitmap smaller than the region
// sits at its top-left corner, the rest being transparent.
//
// Blending, per attached channel, at the encoder's picture size, in layer
// order then handle order: a pixel with its alpha bit set is mixed at
// foreground alpha / 128, one without at background alpha / 128; luma per
// pixel, chroma per 2 x 2 with the mean alpha of the four; BT.601 limited
// range; whatever lies past the picture is cut off.

#include "Platform/MpiTypes.h"

typedef HI_U32 RGN_HANDLE;

#define RGN_HANDLE_MAX 1024
#define RGN_MAX_LAYER 7
#define RGN_ALPHA_MAX 128

enum emRgnType : uint32_t {
    OVERLAY_RGN = 0,
    COVER_RGN = 1,
};
typedef emRgnType RGN_TYPE_E;

struct tagPoint {
    HI_S32 s32X;
    HI_S32 s32Y;
};
typedef tagPoint POINT_S;

struct tagOverlayAttr {
    PIXEL_FORMAT_E enPixelFmt;
    HI_U32 u32BgColor;  // RGB1555
    SIZE_S stSize;
};
typedef tagOverlayAttr OVERLAY_ATTR_S;

struct tagRgnAttr {
    RGN_TYPE_E enType;
    union {
        OVERLAY_ATTR_S stOverlay;
    } unAttr;
};
typedef tagRgnAttr RGN_ATTR_S;

enum emInvertColorMode : uint32_t {
    LESSTHAN_LUM_THRESH = 0,
    MORETHAN_LUM_THRESH = 1,
};
typedef emInvertColorMode INVERT_COLOR_MODE_E;

struct tagOverlayQpInfo {
    HI_BOOL bAbsQp;
    HI_S32 s32Qp;
    HI_BOOL bQpDisable;
};
typedef tagOverlayQpInfo OVERLAY_QP_INFO_S;

struct tagOverlayInvertColor {
    SIZE_S stInvColArea;
    HI_U32 u32LumThresh;
    INVERT_COLOR_MODE_E enChgMod;
    HI_BOOL bInvColEn;
};
typedef tagOverlayInvertColor OVERLAY_INVERT_COLOR_S;

struct tagOverlayChnAttr {
    POINT_S stPoint;       // even, not negative
    HI_U32 u32FgAlpha;     // 0..128
    HI_U32 u32BgAlpha;     // 0..128
    HI_U32 u32Layer;       // 0..7
    OVERLAY_QP_INFO_S stQpInfo;
    OVERLAY_INVERT_COLOR_S stInvertColor;
};
typedef tagOverlayChnAttr OVERLAY_CHN_ATTR_S;

struct tagRgnChnAttr {
    HI_BOOL bShow;
    RGN_TYPE_E enType;
    union {
        OVERLAY_CHN_ATTR_S stOverlayChn;
    } unChnAttr;
};
typedef tagRgnChnAttr RGN_CHN_ATTR_S;

struct tagBitmap {
    PIXEL_FORMAT_E enPixelFormat;
    HI_U32 u32Width;
    HI_U32 u32Height;
    HI_VOID* pData;
};
typedef tagBitmap BITMAP_S;

HI_S32 HI_MPI_RGN_Create(RGN_HANDLE Handle, const RGN_ATTR_S* pstRegion);
HI_S32 HI_MPI_RGN_Destroy(RGN_HANDLE Handle);
HI_S32 HI_MPI_RGN_AttachToChn(RGN_HANDLE Handle, const MPP_CHN_S* pstChn, const RGN_CHN_ATTR_S* pstChnAttr);
HI_S32 HI_MPI_RGN_DetachFromChn(RGN_HANDLE Handle, const MPP_CHN_S* pstChn);
HI_S32 HI_MPI_RGN_GetDisplayAttr(RGN_HANDLE Handle, const MPP_CHN_S* pstChn, RGN_CHN_ATTR_S* pstChnAttr);
HI_S32 HI_MPI_RGN_SetDisplayAttr(RGN_HANDLE Handle, const MPP_CHN_S* pstChn, const RGN_CHN_ATTR_S* pstChnAttr);
HI_S32 HI_MPI_RGN_SetBitMap(RGN_HANDLE Handle, const BITMAP_S* pstBitmap);

#endif
