#ifndef PLATFORM_MPIVPSS_H
#define PLATFORM_MPIVPSS_H

// Video processing: groups fed from the video input through a bind, each with
// output channels at their own sizes. A group is created, started, stopped
// and destroyed in that order; a channel takes attributes and mode, then is
// enabled. Noise-reduction parameters are read and written at any time.

#include "Platform/MpiTypes.h"

#define VPSS_MAX_GRP_NUM 32
#define VPSS_MAX_CHN_NUM 8

enum emVpssDieMode : uint32_t {
    VPSS_DIE_MODE_AUTO = 0,
    VPSS_DIE_MODE_NODIE = 1,
    VPSS_DIE_MODE_DIE = 2,
    VPSS_DIE_MODE_BUTT,
};
typedef emVpssDieMode VPSS_DIE_MODE_E;

struct tagVpssGrpAttr {
    HI_U32 u32MaxW;
    HI_U32 u32MaxH;
    PIXEL_FORMAT_E enPixFmt;
    HI_BOOL bIeEn;
    HI_BOOL bDciEn;
    HI_BOOL bNrEn;
    HI_BOOL bHistEn;
    VPSS_DIE_MODE_E enDieMode;
};
typedef tagVpssGrpAttr VPSS_GRP_ATTR_S;

struct tagVpssChnAttr {
    HI_BOOL bSpEn;
    HI_BOOL bBorderEn;
    HI_BOOL bMirror;
    HI_BOOL bFlip;
    HI_FR32 s32SrcFrameRate;
    HI_FR32 s32DstFrameRate;
};
typedef tagVpssChnAttr VPSS_CHN_ATTR_S;

enum emVpssChnMode : uint32_t {
    VPSS_CHN_MODE_AUTO = 0,
    VPSS_CHN_MODE_USER = 1,
};
typedef emVpssChnMode VPSS_CHN_MODE_E;

struct tagVpssChnMode {
    VPSS_CHN_MODE_E enChnMode;
    HI_U32 u32Width;
    HI_U32 u32Height;
    HI_BOOL bDouble;
    PIXEL_FORMAT_E enPixelFormat;
    COMPRESS_MODE_E enCompressMode;
};
typedef tagVpssChnMode VPSS_CHN_MODE_S;

// Noise reduction; strengths 0..255.
struct tagVpssNrParam {
    HI_S32 s32YPKStr;
    HI_S32 s32YSFStr;
    HI_S32 s32YTFStr;
    HI_S32 s32TFStrMax;
    HI_S32 s32YSmthStr;
    HI_S32 s32YSmthRat;
    HI_S32 s32YSFStrDlt;
    HI_S32 s32YTFStrDlt;
    HI_S32 s32YTFStrDl;
    HI_S32 s32YSFBriRat;
    HI_S32 s32CSFStr;
    HI_S32 s32CTFstr;
};
typedef tagVpssNrParam VPSS_NR_PARAM_S;

HI_S32 HI_MPI_VPSS_CreateGrp(HI_S32 VpssGrp, const VPSS_GRP_ATTR_S* pstGrpAttr);
HI_S32 HI_MPI_VPSS_DestroyGrp(HI_S32 VpssGrp);
HI_S32 HI_MPI_VPSS_StartGrp(HI_S32 VpssGrp);
HI_S32 HI_MPI_VPSS_StopGrp(HI_S32 VpssGrp);
HI_S32 HI_MPI_VPSS_GetGrpAttr(HI_S32 VpssGrp, VPSS_GRP_ATTR_S* pstGrpAttr);
HI_S32 HI_MPI_VPSS_SetChnAttr(HI_S32 VpssGrp, HI_S32 VpssChn, const VPSS_CHN_ATTR_S* pstChnAttr);
HI_S32 HI_MPI_VPSS_GetChnAttr(HI_S32 VpssGrp, HI_S32 VpssChn, VPSS_CHN_ATTR_S* pstChnAttr);
HI_S32 HI_MPI_VPSS_SetChnMode(HI_S32 VpssGrp, HI_S32 VpssChn, const VPSS_CHN_MODE_S* pstVpssMode);
HI_S32 HI_MPI_VPSS_GetChnMode(HI_S32 VpssGrp, HI_S32 VpssChn, VPSS_CHN_MODE_S* pstVpssMode);
HI_S32 HI_MPI_VPSS_EnableChn(HI_S32 VpssGrp, HI_S32 VpssChn);
HI_S32 HI_MPI_VPSS_DisableChn(HI_S32 VpssGrp, HI_S32 VpssChn);
HI_S32 HI_MPI_VPSS_GetNRParam(HI_S32 VpssGrp, VPSS_NR_PARAM_S* pstNrParam);
HI_S32 HI_MPI_VPSS_SetNRParam(HI_S32 VpssGrp, const VPSS_NR_PARAM_S* pstNrParam);

#endif
