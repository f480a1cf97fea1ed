// Picture sizes, buffer block sizes, the buffer pools and the media system.

#include <cstdio>
#include <cstring>

#include "AVCapture/CommAVCapture.h"
#include "Function/XLog.h"
#include "Platform/MpiSys.h"

BOOL CCommAVCapture::GetPicSize(VIDEO_NORM_E enNorm, PIC_SIZE_E enPicSize, SIZE_S* pstSize)
{
    if (pstSize == nullptr) {
        return FALSE;
    }
    const BOOL pal = enNorm == VIDEO_ENCODING_MODE_PAL;
    struct tagRow {
        PIC_SIZE_E code;
        HI_U32 width;
        HI_U32 heightPal;
        HI_U32 heightOther;
    };
    static const tagRow kRows[] = {
        {PIC_QCIF, 176, 144, 120},     {PIC_CIF, 352, 288, 240},       {PIC_2CIF, 360, 576, 480},
        {PIC_D1, 720, 576, 480},       {PIC_960H, 960, 576, 480},      {PIC_QVGA, 320, 240, 240},
        {PIC_VGA, 640, 480, 480},      {PIC_XGA, 1024, 768, 768},      {PIC_SXGA, 1400, 1050, 1050},
        {PIC_UXGA, 1600, 1200, 1200},  {PIC_QXGA, 2048, 1536, 1536},   {PIC_WVGA, 854, 480, 480},
        {PIC_WSXGA, 1680, 1050, 1050}, {PIC_WUXGA, 1920, 1200, 1200},  {PIC_WQXGA, 2560, 1600, 1600},
        {PIC_HD720, 1280, 720, 720},   {PIC_HD1080, 1920, 1080, 1080},
    };
    for (const tagRow& r : kRows) {
        if (r.code == enPicSize) {
            pstSize->u32Width = r.width;
            pstSize->u32Height = pal ? r.heightPal : r.heightOther;
            return TRUE;
        }
    }
    return FALSE;
}

BOOL CCommAVCapture::CalcPicVbBlkSize(VIDEO_NORM_E enNorm, PIC_SIZE_E enPicSize, PIXEL_FORMAT_E enPixFmt,
                                      HI_U32 u32AlignWidth, unsigned& size)
{
    if (enPixFmt != PIXEL_FORMAT_YUV_SEMIPLANAR_422 && enPixFmt != PIXEL_FORMAT_YUV_SEMIPLANAR_420) {
        XERROR("invalid pixel format.\n");
        return FALSE;
    }
    if (u32AlignWidth != 16 && u32AlignWidth != 32 && u32AlignWidth != 64) {
        XERROR("invalid memory align width[%d]\n", static_cast<int>(u32AlignWidth));
        return FALSE;
    }
    SIZE_S pic;
    if (!GetPicSize(enNorm, enPicSize, &pic)) {
        XERROR("resolution error.\n");
        return FALSE;
    }
    const uint64_t w = (pic.u32Width + u32AlignWidth - 1) / u32AlignWidth * u32AlignWidth;
    const uint64_t h = (pic.u32Height + u32AlignWidth - 1) / u32AlignWidth * u32AlignWidth;
    size = static_cast<unsigned>(enPixFmt == PIXEL_FORMAT_YUV_SEMIPLANAR_422 ? w * h * 2 : w * h * 3 / 2);
    return TRUE;
}

BOOL CCommAVCapture::InitPools(const unsigned size[3], const unsigned count[3])
{
    HI_MPI_SYS_Exit();
    HI_MPI_VB_Exit();

    VB_CONF_S vb;
    memset(&vb, 0, sizeof(vb));
    vb.u32MaxPoolCnt = 128;
    for (int i = 0; i < 3; ++i) {
        vb.astCommPool[i].u32BlkSize = size[i];
        vb.astCommPool[i].u32BlkCnt = count[i];
    }
    HI_S32 ret = HI_MPI_VB_SetConf(&vb);
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_VB_SetConf() failed with %#x\n", static_cast<unsigned>(ret));
        return FALSE;
    }
    ret = HI_MPI_VB_Init();
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_VB_Init() failed with %#x\n", static_cast<unsigned>(ret));
        return FALSE;
    }
    MPP_SYS_CONF_S sys;
    memset(&sys, 0, sizeof(sys));
    sys.u32AlignWidth = 64;
    ret = HI_MPI_SYS_SetConf(&sys);
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_SYS_SetConf failed with %#x\n", static_cast<unsigned>(ret));
        HI_MPI_VB_Exit();
        return FALSE;
    }
    ret = HI_MPI_SYS_Init();
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_SYS_Init failed with %#x\n", static_cast<unsigned>(ret));
        HI_MPI_VB_Exit();
        return FALSE;
    }
    printf("Init HiSDK OK...\n");
    return TRUE;
}

BOOL CCommAVCapture::InitSDKVideoCache()
{
    unsigned size[3] = {0, 0, 0};
    const unsigned count[3] = {10, m_ChnCfg[ENCODE_CHN_H264_SUB].res == PIC_HD720 ? 3u : 6u, 6};
    if (!CalcPicVbBlkSize(m_enNorm, m_SensorInputResolution, m_PxlFmt, 64, size[0]) ||
        !CalcPicVbBlkSize(m_ChnCfg[ENCODE_CHN_H264_SUB].tv_norm, m_ChnCfg[ENCODE_CHN_H264_SUB].res, m_PxlFmt, 64,
                          size[1]) ||
        !CalcPicVbBlkSize(m_ChnCfg[ENCODE_CHN_JPEG_SUB].tv_norm, m_ChnCfg[ENCODE_CHN_JPEG_SUB].res, m_PxlFmt, 64,
                          size[2])) {
        return FALSE;
    }
    return InitPools(size, count);
}

BOOL CCommAVCapture::CleanUpSDKVideoCache()
{
    HI_MPI_SYS_Exit();
    HI_MPI_VB_Exit();
    printf("CleanUp HiSDK OK...\n");
    return TRUE;
}

