// The analogue (CVBS, PAL) output of the camera picture.

#include <cstdio>
#include <cstring>

#include "AVCapture/CommAVCapture.h"
#include "Function/XLog.h"
#include "Platform/MpiSys.h"
#include "Platform/MpiVo.h"

namespace {

const HI_S32 kVoDevHasEnabled = static_cast<HI_S32>(0xA00F8042u);

}  // namespace

BOOL CCommAVCapture::GetVOParam(VO_INTF_SYNC_E enIntfSync, unsigned* width, unsigned* height, unsigned* frameRate)
{
    struct Row {
        VO_INTF_SYNC_E sync;
        unsigned w, h, rate;
    };
    static const Row kRows[] = {
        {VO_OUTPUT_PAL, 720, 576, 25},           {VO_OUTPUT_NTSC, 720, 480, 30},
        {VO_OUTPUT_1080P24, 1920, 1080, 24},     {VO_OUTPUT_1080P25, 1920, 1080, 25},
        {VO_OUTPUT_1080P30, 1920, 1080, 30},     {VO_OUTPUT_720P50, 1280, 720, 50},
        {VO_OUTPUT_720P60, 1280, 720, 60},       {VO_OUTPUT_1080P50, 1920, 1080, 50},
        {VO_OUTPUT_1080P60, 1920, 1080, 60},     {VO_OUTPUT_800x600_60, 800, 600, 60},
        {VO_OUTPUT_1024x768_60, 1024, 768, 60},  {VO_OUTPUT_1280x1024_60, 1280, 1024, 60},
        {VO_OUTPUT_1366x768_60, 1366, 768, 60},  {VO_OUTPUT_1440x900_60, 1440, 900, 60},
        {VO_OUTPUT_1280x800_60, 1280, 800, 60},
    };
    for (const Row& r : kRows) {
        if (r.sync == enIntfSync) {
            *width = r.w;
            *height = r.h;
            *frameRate = r.rate;
            return TRUE;
        }
    }
    return FALSE;
}

BOOL CCommAVCapture::StartVO()
{
    CGuard guard(m_Mutex);
    unsigned w = 0;
    unsigned h = 0;
    unsigned rate = 0;
    GetVOParam(VO_OUTPUT_PAL, &w, &h, &rate);
    if (m_VoCfg.voDev < 0) {
        VO_PUB_ATTR_S pub;
        memset(&pub, 0, sizeof(pub));
        pub.u32BgColor = 0x0000FF;
        pub.enIntfType = VO_INTF_CVBS;
        pub.enIntfSync = VO_OUTPUT_PAL;
        HI_S32 ret = HI_MPI_VO_SetPubAttr(0, &pub);
        if (ret != HI_SUCCESS) {
            XERROR("HI_MPI_VO_SetPubAttr failed with %#x\n", static_cast<unsigned>(ret));
            return FALSE;
        }
        ret = HI_MPI_VO_Enable(0);
        if (ret != HI_SUCCESS && ret != kVoDevHasEnabled) {
            XERROR("HI_MPI_VO_Enable failed with %#x\n", static_cast<unsigned>(ret));
            return FALSE;
        }
        VO_VIDEO_LAYER_ATTR_S layer;
        memset(&layer, 0, sizeof(layer));
        layer.stDispRect = {0, 0, w, h};
        layer.stImageSize = {w, h};
        layer.u32DispFrmRt = static_cast<HI_U32>(m_nSensorInputFrameRate);
        layer.enPixFormat = m_PxlFmt;
        ret = HI_MPI_VO_SetVideoLayerAttr(0, &layer);
        if (ret != HI_SUCCESS) {
            XERROR("HI_MPI_VO_SetVideoLayerAttr failed with %#x\n", static_cast<unsigned>(ret));
            return FALSE;
        }
        ret = HI_MPI_VO_EnableVideoLayer(0);
        if (ret != HI_SUCCESS) {
            XERROR("HI_MPI_VO_EnableVideoLayer failed with %#x\n", static_cast<unsigned>(ret));
            return FALSE;
        }
        m_VoCfg.voDev = 0;
    }
    if (m_VoCfg.voChn < 0) {
        VO_CHN_ATTR_S chn;
        memset(&chn, 0, sizeof(chn));
        chn.u32Priority = 0;
        chn.stRect = {0, 0, w & ~1u, h & ~1u};
        chn.bDeflicker = 0;
        HI_S32 ret = HI_MPI_VO_SetChnAttr(0, 0, &chn);
        if (ret != HI_SUCCESS) {
            XERROR("HI_MPI_VO_SetChnAttr(%d) failed with %#x\n", 0, static_cast<unsigned>(ret));
            return FALSE;
        }
        ret = HI_MPI_VO_EnableChn(0, 0);
        if (ret != HI_SUCCESS) {
            XERROR("HI_MPI_VO_EnableChn(%d) failed with %#x\n", 0, static_cast<unsigned>(ret));
            return FALSE;
        }
        m_VoCfg.voChn = 0;
    }
    if (m_VoCfg.bindViChn < 0) {
        MPP_CHN_S src = {HI_ID_VIU, 0, 0};
        MPP_CHN_S dst = {HI_ID_VOU, 0, 0};
        HI_S32 ret = HI_MPI_SYS_Bind(&src, &dst);
        if (ret != HI_SUCCESS) {
            XERROR("HI_MPI_SYS_Bind() failed with %#x\n", static_cast<unsigned>(ret));
            return FALSE;
        }
        m_VoCfg.bindViChn = 0;
    }
    return TRUE;
}

BOOL CCommAVCapture::StopVO()
{
    CGuard guard(m_Mutex);
    if (m_VoCfg.bindViChn >= 0) {
        MPP_CHN_S dst = {HI_ID_VOU, m_VoCfg.voDev < 0 ? 0 : m_VoCfg.voDev, m_VoCfg.voChn < 0 ? 0 : m_VoCfg.voChn};
        if (HI_MPI_SYS_UnBind(nullptr, &dst) != HI_SUCCESS) {
            printf("HI_MPI_SYS_UnBind() Failed.\n");
        }
        m_VoCfg.bindViChn = -1;
    }
    if (m_VoCfg.voChn >= 0) {
        if (HI_MPI_VO_DisableChn(0, m_VoCfg.voChn) != HI_SUCCESS) {
            printf("HI_MPI_VO_DisableChn() Failed.\n");
        }
        m_VoCfg.voChn = -1;
    }
    if (m_VoCfg.voDev >= 0) {
        if (HI_MPI_VO_DisableVideoLayer(m_VoCfg.voDev) != HI_SUCCESS) {
            printf("HI_MPI_VO_DisableVideoLayer() Failed.\n");
        }
        if (HI_MPI_VO_Disable(m_VoCfg.voDev) != HI_SUCCESS) {
            printf("HI_MPI_VO_Disable() Failed.\n");
        }
        m_VoCfg.voDev = -1;
    }
    return TRUE;
}
