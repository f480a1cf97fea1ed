#ifndef PLATFORM_MPIVO_H
#define PLATFORM_MPIVO_H

// Video output: device 0 (analogue CVBS), its video layer 0 and channels.
// Device, then layer, then channel: attributes, then enable; disabled in the
// reverse order. Enabling an enabled device returns 0xA00F8042.

#include "Platform/MpiTypes.h"

#define VO_MAX_DEV_NUM 1
#define VO_MAX_LAYER_NUM 1
#define VO_MAX_CHN_NUM 16

// Interfaces (bits).
#define VO_INTF_CVBS (0x01u << 0)
#define VO_INTF_YPBPR (0x01u << 1)
#define VO_INTF_VGA (0x01u << 2)
#define VO_INTF_BT656 (0x01u << 3)
#define VO_INTF_BT1120 (0x01u << 4)
#define VO_INTF_HDMI (0x01u << 5)
#define VO_INTF_LCD (0x01u << 6)
typedef HI_U32 VO_INTF_TYPE_E;

enum emVoIntfSync : uint32_t {
    VO_OUTPUT_PAL = 0,
    VO_OUTPUT_NTSC = 1,
    VO_OUTPUT_1080P24 = 2,
    VO_OUTPUT_1080P25 = 3,
    VO_OUTPUT_1080P30 = 4,
    VO_OUTPUT_720P50 = 5,
    VO_OUTPUT_720P60 = 6,
    VO_OUTPUT_1080I50 = 7,
    VO_OUTPUT_1080I60 = 8,
    VO_OUTPUT_1080P50 = 9,
    VO_OUTPUT_1080P60 = 10,
    VO_OUTPUT_576P50 = 11,
    VO_OUTPUT_480P60 = 12,
    VO_OUTPUT_800x600_60 = 13,
    VO_OUTPUT_1024x768_60 = 14,
    VO_OUTPUT_1280x1024_60 = 15,
    VO_OUTPUT_1366x768_60 = 16,
    VO_OUTPUT_1440x900_60 = 17,
    VO_OUTPUT_1280x800_60 = 18,
    VO_OUTPUT_BUTT,
};
typedef emVoIntfSync VO_INTF_SYNC_E;

struct tagVoPubAttr {
    HI_U32 u32BgColor;
    VO_INTF_TYPE_E enIntfType;
    VO_INTF_SYNC_E enIntfSync;
};
typedef tagVoPubAttr VO_PUB_ATTR_S;

struct tagVoVideoLayerAttr {
    RECT_S stDispRect;
    SIZE_S stImageSize;
    HI_U32 u32DispFrmRt;
    PIXEL_FORMAT_E enPixFormat;
};
typedef tagVoVideoLayerAttr VO_VIDEO_LAYER_ATTR_S;

struct tagVoChnAttr {
    HI_U32 u32Priority;
    RECT_S stRect;
    HI_BOOL bDeflicker;
};
typedef tagVoChnAttr VO_CHN_ATTR_S;

HI_S32 HI_MPI_VO_SetPubAttr(HI_S32 VoDev, const VO_PUB_ATTR_S* pstPubAttr);
HI_S32 HI_MPI_VO_GetPubAttr(HI_S32 VoDev, VO_PUB_ATTR_S* pstPubAttr);
HI_S32 HI_MPI_VO_Enable(HI_S32 VoDev);
HI_S32 HI_MPI_VO_Disable(HI_S32 VoDev);
HI_S32 HI_MPI_VO_SetVideoLayerAttr(HI_S32 VoLayer, const VO_VIDEO_LAYER_ATTR_S* pstLayerAttr);
HI_S32 HI_MPI_VO_GetVideoLayerAttr(HI_S32 VoLayer, VO_VIDEO_LAYER_ATTR_S* pstLayerAttr);
HI_S32 HI_MPI_VO_EnableVideoLayer(HI_S32 VoLayer);
HI_S32 HI_MPI_VO_DisableVideoLayer(HI_S32 VoLayer);
HI_S32 HI_MPI_VO_SetChnAttr(HI_S32 VoLayer, HI_S32 VoChn, const VO_CHN_ATTR_S* pstChnAttr);
HI_S32 HI_MPI_VO_GetChnAttr(HI_S32 VoLayer, HI_S32 VoChn, VO_CHN_ATTR_S* pstChnAttr);
HI_S32 HI_MPI_VO_EnableChn(HI_S32 VoLayer, HI_S32 VoChn);
HI_S32 HI_MPI_VO_DisableChn(HI_S32 VoLayer, HI_S32 VoChn);

#endif
