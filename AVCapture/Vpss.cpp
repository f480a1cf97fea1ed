// The processing group: fed from video input device 0, channel 0, with four
// output channels for the four encoders.

#include <cstdio>
#include <cstring>

#include "AVCapture/CommAVCapture.h"
#include "Function/XLog.h"
#include "Platform/MpiSys.h"
#include "Platform/MpiVpss.h"

BOOL CCommAVCapture::InitVPSS()
{
    SIZE_S input;
    if (!GetPicSize(m_enNorm, m_SensorInputResolution, &input)) {
        printf("Unknown sensor.\n");
        return FALSE;
    }
    VPSS_GRP_ATTR_S grp;
    memset(&grp, 0, sizeof(grp));
    grp.u32MaxW = input.u32Width;
    grp.u32MaxH = input.u32Height;
    grp.enPixFmt = m_PxlFmt;
    grp.bNrEn = TRUE;
    grp.bIeEn = FALSE;
    grp.bDciEn = FALSE;
    grp.bHistEn = FALSE;
    grp.enDieMode = VPSS_DIE_MODE_NODIE;
    HI_S32 ret = HI_MPI_VPSS_CreateGrp(m_VpssGrp, &grp);
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_VPSS_CreateGrp() failed with %#x\n", static_cast<unsigned>(ret));
        return FALSE;
    }
    VPSS_NR_PARAM_S nr;
    ret = HI_MPI_VPSS_GetNRParam(m_VpssGrp, &nr);
    if (ret == HI_SUCCESS) {
        ret = HI_MPI_VPSS_SetNRParam(m_VpssGrp, &nr);
    }
    if (ret != HI_SUCCESS) {
        XERROR("failed with %#x!\n", static_cast<unsigned>(ret));
        CleanUpVPSS();  // the group goes with the failure
        return FALSE;
    }

    ret = HI_MPI_VPSS_StartGrp(m_VpssGrp);
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_VPSS_StartGrp failed with %#x\n", static_cast<unsigned>(ret));
        CleanUpVPSS();
        return FALSE;
    }
    MPP_CHN_S src = {HI_ID_VIU, 0, 0};
    MPP_CHN_S dst = {HI_ID_VPSS, m_VpssGrp, 0};
    ret = HI_MPI_SYS_Bind(&src, &dst);
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_SYS_Bind(vi, vpss) failed with %#x\n", static_cast<unsigned>(ret));
        CleanUpVPSS();
        return FALSE;
    }

    // channel sizes: 0 and 1 the input size, 2 and 3 their rows' sizes
    SIZE_S sizes[4] = {input, input, {0, 0}, {0, 0}};
    GetPicSize(m_ChnCfg[ENCODE_CHN_H264_MAIN].tv_norm, m_SensorInputResolution, &sizes[1]);
    if (!GetPicSize(m_ChnCfg[ENCODE_CHN_JPEG_MAIN].tv_norm, m_ChnCfg[ENCODE_CHN_JPEG_MAIN].res, &sizes[2]) ||
        !GetPicSize(m_ChnCfg[ENCODE_CHN_JPEG_SUB].tv_norm, m_ChnCfg[ENCODE_CHN_JPEG_SUB].res, &sizes[3])) {
        XERROR("GetPicSize() failed.\n");
        CleanUpVPSS();
        return FALSE;
    }
    const COMPRESS_MODE_E compress[4] = {COMPRESS_MODE_SEG, COMPRESS_MODE_SEG, COMPRESS_MODE_SEG, COMPRESS_MODE_NONE};
    for (int n = 0; n < 4; ++n) {
        m_VpssChn[n] = n;
        VPSS_CHN_ATTR_S attr;
        memset(&attr, 0, sizeof(attr));
        attr.s32SrcFrameRate = -1;
        attr.s32DstFrameRate = -1;
        VPSS_CHN_MODE_S mode;
        memset(&mode, 0, sizeof(mode));
        mode.enChnMode = VPSS_CHN_MODE_USER;
        mode.u32Width = sizes[n].u32Width;
        mode.u32Height = sizes[n].u32Height;
        mode.bDouble = FALSE;
        mode.enPixelFormat = m_PxlFmt;
        mode.enCompressMode = compress[n];
        if (n == 0) {
            ret = HI_MPI_VPSS_SetChnMode(m_VpssGrp, n, &mode);
            if (ret != HI_SUCCESS) {
                XERROR("HI_MPI_VPSS_SetChnMode(%d) failed with %#x\n", n, static_cast<unsigned>(ret));
            } else if ((ret = HI_MPI_VPSS_SetChnAttr(m_VpssGrp, n, &attr)) != HI_SUCCESS) {
                XERROR("HI_MPI_VPSS_SetChnAttr(%d) failed with %#x\n", n, static_cast<unsigned>(ret));
            }
        } else {
            ret = HI_MPI_VPSS_SetChnAttr(m_VpssGrp, n, &attr);
            if (ret != HI_SUCCESS) {
                XERROR("HI_MPI_VPSS_SetChnAttr(%d) failed with %#x\n", n, static_cast<unsigned>(ret));
            } else if ((ret = HI_MPI_VPSS_SetChnMode(m_VpssGrp, n, &mode)) != HI_SUCCESS) {
                XERROR("HI_MPI_VPSS_SetChnMode(%d) failed with %#x\n", n, static_cast<unsigned>(ret));
            }
        }
        if (ret == HI_SUCCESS && (ret = HI_MPI_VPSS_EnableChn(m_VpssGrp, n)) != HI_SUCCESS) {
            XERROR("HI_MPI_VPSS_EnableChn(%d) failed with %#x\n", n, static_cast<unsigned>(ret));
        }
        if (ret != HI_SUCCESS) {
            CleanUpVPSS();
            return FALSE;
        }
    }
    printf("Init VPSS OK...\n");
    return TRUE;
}

BOOL CCommAVCapture::CleanUpVPSS()
{
    for (int i = 7; i >= 0; --i) {
        if (m_VpssChn[i] < 0) {
            continue;
        }
        HI_S32 ret = HI_MPI_VPSS_DisableChn(m_VpssGrp, m_VpssChn[i]);
        if (ret != HI_SUCCESS) {
            XERROR("HI_MPI_VPSS_DisableChn(%d) failed with %#x\n", m_VpssChn[i], static_cast<unsigned>(ret));
        }
        m_VpssChn[i] = -1;
    }
    MPP_CHN_S src = {HI_ID_VIU, 0, 0};
    MPP_CHN_S dst = {HI_ID_VPSS, m_VpssGrp, 0};
    HI_S32 ret = HI_MPI_SYS_UnBind(&src, &dst);
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_SYS_UnBind(vi, vpss) failed with %#x\n", static_cast<unsigned>(ret));
    }
    ret = HI_MPI_VPSS_StopGrp(m_VpssGrp);
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_VPSS_StopGrp failed with %#x\n", static_cast<unsigned>(ret));
    }
    ret = HI_MPI_VPSS_DestroyGrp(m_VpssGrp);
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_VPSS_DestroyGrp failed with %#x\n", static_cast<unsigned>(ret));
    }
    printf("CleanUp VPSS OK...\n");
    return TRUE;
}
