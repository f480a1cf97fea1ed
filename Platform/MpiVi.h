#ifndef PLATFORM_MPIVI_H
#define PLATFORM_MPIVI_H

// Video input: one device with one channel. The device takes its attributes
// while disabled; a channel takes its attributes once its device is enabled
// (mirror and flip may change while it runs).

#include "Platform/MpiTypes.h"

#define VIU_MAX_DEV_NUM 1
#define VIU_MAX_CHN_NUM 1

enum emViIntfMode : uint32_t {
    VI_MODE_BT656 = 0,
    VI_MODE_BT601 = 1,
    VI_MODE_DIGITAL_CAMERA = 2,
    VI_MODE_BT1120_STANDARD = 3,
    VI_MODE_BT1120_INTERLEAVED = 4,
    VI_MODE_MIPI = 5,
    VI_MODE_LVDS = 6,
    VI_MODE_HISPI = 7,
    VI_MODE_BUTT,
};
typedef emViIntfMode VI_INTF_MODE_E;

enum emViWorkMode : uint32_t { VI_WORK_MODE_1Multiplex = 0, VI_WORK_MODE_2Multiplex, VI_WORK_MODE_4Multiplex };
typedef emViWorkMode VI_WORK_MODE_E;
enum emViScanMode : uint32_t { VI_SCAN_INTERLACED = 0, VI_SCAN_PROGRESSIVE = 1 };
typedef emViScanMode VI_SCAN_MODE_E;
enum emViDataSeq : uint32_t { VI_INPUT_DATA_VUVU = 0, VI_INPUT_DATA_UVUV, VI_INPUT_DATA_YUYV, VI_INPUT_DATA_UYVY };
typedef emViDataSeq VI_DATA_YUV_SEQ_E;
enum emViDataPath : uint32_t { VI_PATH_BYPASS = 0, VI_PATH_ISP = 1, VI_PATH_RAW = 2 };
typedef emViDataPath VI_PATH_E;
enum emViDataType : uint32_t { VI_DATA_TYPE_YUV = 0, VI_DATA_TYPE_RGB = 1 };
typedef emViDataType VI_DATA_TYPE_E;
enum emViCapSel : uint32_t { VI_CAPSEL_TOP = 0, VI_CAPSEL_BOTTOM, VI_CAPSEL_BOTH };
typedef emViCapSel VI_CAPSEL_E;

struct tagViTimingBlank {
    HI_U32 u32HsyncHfb;
    HI_U32 u32HsyncAct;
    HI_U32 u32HsyncHbb;
    HI_U32 u32VsyncVfb;
    HI_U32 u32VsyncVact;
    HI_U32 u32VsyncVbb;
    HI_U32 u32VsyncVbfb;
    HI_U32 u32VsyncVbact;
    HI_U32 u32VsyncVbbb;
};

struct tagViSyncCfg {
    HI_U32 enVsync;
    HI_U32 enVsyncNeg;
    HI_U32 enHsync;
    HI_U32 enHsyncNeg;
    HI_U32 enVsyncValid;
    HI_U32 enVsyncValidNeg;
    tagViTimingBlank stTimingBlank;
};

struct tagViDevAttr {
    VI_INTF_MODE_E enIntfMode;
    VI_WORK_MODE_E enWorkMode;
    HI_U32 au32CompMask[2];
    VI_SCAN_MODE_E enScanMode;
    HI_S32 s32AdChnId[4];
    VI_DATA_YUV_SEQ_E enDataSeq;
    tagViSyncCfg stSynCfg;
    VI_PATH_E enDataPath;
    VI_DATA_TYPE_E enInputDataType;
    HI_BOOL bDataRev;
    RECT_S stDevRect;
};
typedef tagViDevAttr VI_DEV_ATTR_S;

struct tagViChnAttr {
    RECT_S stCapRect;
    SIZE_S stDestSize;
    VI_CAPSEL_E enCapSel;
    PIXEL_FORMAT_E enPixFormat;
    COMPRESS_MODE_E enCompressMode;
    HI_BOOL bMirror;
    HI_BOOL bFlip;
    HI_FR32 s32SrcFrameRate;
    HI_FR32 s32DstFrameRate;
};
typedef tagViChnAttr VI_CHN_ATTR_S;

enum emLdcViewType : uint32_t { LDC_VIEW_TYPE_ALL = 0, LDC_VIEW_TYPE_CROP = 1 };
typedef emLdcViewType LDC_VIEW_TYPE_E;

struct tagLdcAttr {
    LDC_VIEW_TYPE_E enViewType;
    HI_S32 s32CenterXOffset;   // -127..127
    HI_S32 s32CenterYOffset;   // -127..127
    HI_S32 s32Ratio;           // 0..511
};

struct tagViLdcAttr {
    HI_BOOL bEnable;
    tagLdcAttr stAttr;
};
typedef tagViLdcAttr VI_LDC_ATTR_S;

HI_S32 HI_MPI_VI_SetDevAttr(HI_S32 ViDev, const VI_DEV_ATTR_S* pstDevAttr);
HI_S32 HI_MPI_VI_GetDevAttr(HI_S32 ViDev, VI_DEV_ATTR_S* pstDevAttr);
HI_S32 HI_MPI_VI_EnableDev(HI_S32 ViDev);
HI_S32 HI_MPI_VI_DisableDev(HI_S32 ViDev);
HI_S32 HI_MPI_VI_SetChnAttr(HI_S32 ViChn, const VI_CHN_ATTR_S* pstAttr);
HI_S32 HI_MPI_VI_GetChnAttr(HI_S32 ViChn, VI_CHN_ATTR_S* pstAttr);
HI_S32 HI_MPI_VI_EnableChn(HI_S32 ViChn);
HI_S32 HI_MPI_VI_DisableChn(HI_S32 ViChn);
HI_S32 HI_MPI_VI_SetRotate(HI_S32 ViChn, ROTATE_E enRotate);
HI_S32 HI_MPI_VI_GetRotate(HI_S32 ViChn, ROTATE_E* penRotate);
HI_S32 HI_MPI_VI_SetLDCAttr(HI_S32 ViChn, const VI_LDC_ATTR_S* pstLDCAttr);
HI_S32 HI_MPI_VI_GetLDCAttr(HI_S32 ViChn, VI_LDC_ATTR_S* pstLDCAttr);

// Dynamic contrast and colour-space conversion.
#include "Platform/MpiViTuning.h"

#endif
