#include "AVCapture/hi3516cv200/AVCapture.h"

#include <cstring>

CAVCapture::CAVCapture()
{
    memset(&m_WdrMode, 0, sizeof(m_WdrMode));
    m_WdrMode.enWDRMode = WDR_MODE_NONE;
}

CAVCapture::~CAVCapture()
{
}

BOOL CAVCapture::CalcPicVbBlkSize(VIDEO_NORM_E enNorm, PIC_SIZE_E enPicSize, PIXEL_FORMAT_E enPixFmt,
                                  HI_U32 u32AlignWidth, unsigned& size)
{
    if (!CCommAVCapture::CalcPicVbBlkSize(enNorm, enPicSize, enPixFmt, u32AlignWidth, size)) {
        return FALSE;
    }
    SIZE_S pic;
    GetPicSize(enNorm, enPicSize, &pic);
    // room for the processing's line data
    size += pic.u32Height * (enPixFmt == PIXEL_FORMAT_YUV_SEMIPLANAR_422 ? 32 : 24);
    return TRUE;
}

BOOL CAVCapture::InitSDKVideoCache()
{
    const int rows[3] = {ENCODE_CHN_H264_MAIN, ENCODE_CHN_H264_SUB, ENCODE_CHN_JPEG_SUB};
    unsigned size[3] = {0, 0, 0};
    const unsigned count[3] = {10, m_ChnCfg[ENCODE_CHN_H264_SUB].res == PIC_HD720 ? 3u : 6u, 6};
    for (int i = 0; i < 3; ++i) {
        const tagChannelConfig& row = m_ChnCfg[rows[i]];
        if (!CalcPicVbBlkSize(row.tv_norm, row.res, m_PxlFmt, 64, size[i])) {
            return FALSE;
        }
    }
    return InitPools(size, count);
}
