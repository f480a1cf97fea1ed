#ifndef PLATFORM_MPIVITUNING_H
#define PLATFORM_MPIVITUNING_H

// Picture adjustments of the video input: dynamic contrast (DCI) on a
// channel, colour-space conversion on the device. Included by Platform/MpiVi.h.

#include "Platform/MpiTypes.h"
#include "Platform/MpiVi.h"

struct tagViDciParam {
    HI_BOOL bEnable;
    HI_U32 u32BlackGain;      // 0..63
    HI_U32 u32ContrastGain;   // 0..63
    HI_U32 u32LightGain;      // 0..63
};
typedef tagViDciParam VI_DCI_PARAM_S;

enum emViCscType : uint32_t {
    VI_CSC_TYPE_601 = 0,
    VI_CSC_TYPE_709 = 1,
    VI_CSC_TYPE_BUTT,
};
typedef emViCscType VI_CSC_TYPE_E;

struct tagViCscAttr {
    VI_CSC_TYPE_E enViCscType;
    HI_U32 u32LumaVal;        // 0..100 each
    HI_U32 u32ContrVal;
    HI_U32 u32HueVal;
    HI_U32 u32SatuVal;
};
typedef tagViCscAttr VI_CSC_ATTR_S;

HI_S32 HI_MPI_VI_SetDCIParam(HI_S32 ViChn, const VI_DCI_PARAM_S* pstDciParam);
HI_S32 HI_MPI_VI_GetDCIParam(HI_S32 ViChn, VI_DCI_PARAM_S* pstDciParam);
HI_S32 HI_MPI_VI_SetCSCAttr(HI_S32 ViDev, const VI_CSC_ATTR_S* pstCSCAttr);
HI_S32 HI_MPI_VI_GetCSCAttr(HI_S32 ViDev, VI_CSC_ATTR_S* pstCSCAttr);

#endif
