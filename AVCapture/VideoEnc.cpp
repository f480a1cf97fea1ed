// The four video encoder channels: attributes from the stream table, created,
// started and bound to the processing channel of the same number.

#include <sys/time.h>

#include <cstdio>
#include <cstring>

#include "AVCapture/CommAVCapture.h"
#include "Function/XLog.h"
#include "Platform/MpiSys.h"
#include "Platform/MpiVenc.h"

namespace {

// Rate-control thresholds of both H.264 channels.
const HI_U32 kRcThresholds[12] = {7, 7, 7, 7, 7, 9, 9, 9, 12, 15, 18, 25};

// Names of the rows in the error lines.
const char* const kCreateName[4] = {"(1080p h264)", "(wvga h264)", "(1080p jpeg)", "(qvga jpeg)"};
const char* const kStartName[4] = {"(1080p,h264)", "(wvga,h264)", "(1080p,jpeg)", "(qvga,jpeg)"};

void SetRcThresholds(int chn)
{
    VENC_RC_PARAM_S param;
    HI_S32 ret = HI_MPI_VENC_GetRcParam(chn, &param);
    if (ret != HI_SUCCESS) {
        printf("HI_MPI_VENC_GetRcParam (1080p,h264) faild with %#x\n", static_cast<unsigned>(ret));
        return;
    }
    memcpy(param.u32ThrdI, kRcThresholds, sizeof(kRcThresholds));
    memcpy(param.u32ThrdP, kRcThresholds, sizeof(kRcThresholds));
    HI_MPI_VENC_SetRcParam(chn, &param);
}

}  // namespace

BOOL CCommAVCapture::GetH264ChnAttr(VIDEO_NORM_E enNorm, unsigned vi_fps, PIC_SIZE_E enPicSize, emStreamRCType rc,
                                    unsigned bitrate, unsigned fps, unsigned gop, VENC_CHN_ATTR_S& attr)
{
    SIZE_S pic = {0, 0};
    if (!GetPicSize(enNorm, enPicSize, &pic)) {
        return FALSE;
    }
    memset(&attr, 0, sizeof(attr));
    attr.stVeAttr.enType = PT_H264;
    VENC_ATTR_H264_S& h = attr.stVeAttr.stAttrH264e;
    h.u32MaxPicWidth = pic.u32Width;
    h.u32MaxPicHeight = pic.u32Height;
    h.u32PicWidth = pic.u32Width;
    h.u32PicHeight = pic.u32Height;
    h.u32BufSize = pic.u32Width * pic.u32Height * 2;
    h.u32Profile = 2;
    h.bByFrame = TRUE;
    h.u32BFrameNum = 0;
    h.u32RefNum = 1;
    VENC_RC_ATTR_S& r = attr.stRcAttr;
    switch (rc) {
    case RCTYPE_CBR:
        r.enRcMode = VENC_RC_MODE_H264CBR;
        r.stAttrH264Cbr.u32Gop = gop;
        r.stAttrH264Cbr.u32StatTime = 1;
        r.stAttrH264Cbr.u32SrcFrmRate = vi_fps;
        r.stAttrH264Cbr.fr32DstFrmRate = static_cast<HI_FR32>(fps);
        r.stAttrH264Cbr.u32BitRate = bitrate;
        r.stAttrH264Cbr.u32FluctuateLevel = 0;
        return TRUE;
    case RCTYPE_VBR:
        r.enRcMode = VENC_RC_MODE_H264VBR;
        r.stAttrH264Vbr.u32Gop = gop;
        r.stAttrH264Vbr.u32StatTime = 1;
        r.stAttrH264Vbr.u32SrcFrmRate = vi_fps;
        r.stAttrH264Vbr.fr32DstFrmRate = static_cast<HI_FR32>(fps);
        r.stAttrH264Vbr.u32MaxBitRate = bitrate;
        r.stAttrH264Vbr.u32MinQp = 10;
        r.stAttrH264Vbr.u32MaxQp = 40;
        return TRUE;
    case RCTYPE_FIXQP:
        r.enRcMode = VENC_RC_MODE_H264FIXQP;
        r.stAttrH264FixQp.u32Gop = gop;
        r.stAttrH264FixQp.u32SrcFrmRate = vi_fps;
        r.stAttrH264FixQp.fr32DstFrmRate = static_cast<HI_FR32>(fps);
        r.stAttrH264FixQp.u32IQp = 20;
        r.stAttrH264FixQp.u32PQp = 23;
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL CCommAVCapture::GetJpegChnAttr(VIDEO_NORM_E enNorm, PIC_SIZE_E enPicSize, VENC_CHN_ATTR_S& attr)
{
    SIZE_S pic = {0, 0};
    GetPicSize(enNorm, enPicSize, &pic);  // an unknown code leaves 0 x 0, which the encoder refuses
    memset(&attr, 0, sizeof(attr));
    attr.stVeAttr.enType = PT_JPEG;
    VENC_ATTR_JPEG_S& j = attr.stVeAttr.stAttrJpeg;
    j.u32MaxPicWidth = pic.u32Width;
    j.u32MaxPicHeight = pic.u32Height;
    j.u32PicWidth = pic.u32Width;
    j.u32PicHeight = pic.u32Height;
    j.u32BufSize = pic.u32Width * pic.u32Height * 2;
    j.bByFrame = TRUE;
    j.bSupportDCF = FALSE;
    return TRUE;
}

BOOL CCommAVCapture::InitVideoEnc()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    const HI_U64 now = static_cast<HI_U64>(tv.tv_sec) * 1000000 + static_cast<HI_U64>(tv.tv_usec);
    HI_S32 ret = HI_MPI_SYS_InitPtsBase(now);
    if (ret != HI_SUCCESS) {
        printf("HI_MPI_SYS_InitPtsBase() failed with %#x\n", static_cast<unsigned>(ret));
    }

    for (int k = 0; k < 4; ++k) {
        tagChannelConfig& row = m_ChnCfg[k];
        VENC_CHN_ATTR_S attr;
        BOOL ok;
        if (k < 2) {
            ok = GetH264ChnAttr(row.tv_norm, row.vi_fps, row.res, row.rc, row.bitrate, row.fps, row.gop, attr);
        } else {
            ok = GetJpegChnAttr(row.tv_norm, row.res, attr);
        }
        if (!ok) {
            switch (k) {
            case 0: XERROR("GetH264Attr() 1080p h264 failed.\n"); break;
            case 1: XERROR("GetH264Attr() wvga h264 failed.\n"); break;
            case 2: XERROR("GetJpegChnAttr() 1080p jpeg failed.\n"); break;
            default: XERROR("GetJpegChnAttr() qvga jpeg failed.\n"); break;
            }
            CleanUpVideoEnc();
            return FALSE;
        }
        ret = HI_MPI_VENC_CreateChn(k, &attr);
        if (ret != HI_SUCCESS) {
            XERROR("HI_MPI_VENC_CreateChn [%d] %s faild with %#x\n", k, kCreateName[k], static_cast<unsigned>(ret));
            CleanUpVideoEnc();
            return FALSE;
        }
        m_VencChn[k] = k;

        if (k == 0) {
            SetRcThresholds(k);
        }
        if (row.auto_enc) {
            ret = HI_MPI_VENC_StartRecvPic(k);
            if (ret != HI_SUCCESS) {
                XERROR("HI_MPI_VENC_StartRecvPic %sfaild with%#x\n", kStartName[k], static_cast<unsigned>(ret));
                CleanUpVideoEnc();
                return FALSE;
            }
        }
        if (k == 1) {
            SetRcThresholds(k);
        }

        MPP_CHN_S src = {HI_ID_VPSS, m_VpssGrp, k};
        MPP_CHN_S dst = {HI_ID_VENC, 0, k};
        ret = HI_MPI_SYS_Bind(&src, &dst);
        if (ret != HI_SUCCESS) {
            XERROR("HI_MPI_SYS_Bind(vpss %d, venc %d) failed with %#x\n", k, k, static_cast<unsigned>(ret));
            CleanUpVideoEnc();
            return FALSE;
        }
        m_VencBindChn[k] = k;
        row.channel_id = k;
        row.av_type = k < 2 ? AVDATA_TYPE_VIDEO : AVDATA_TYPE_IMAGE;
        if (k < 2) {
            row.width = attr.stVeAttr.stAttrH264e.u32PicWidth;
            row.height = attr.stVeAttr.stAttrH264e.u32PicHeight;
        } else {
            row.width = attr.stVeAttr.stAttrJpeg.u32PicWidth;
            row.height = attr.stVeAttr.stAttrJpeg.u32PicHeight;
        }
    }
    m_ChnNum = 4;
    printf("Init VENC OK...\n");
    return TRUE;
}

BOOL CCommAVCapture::CleanUpVideoEnc()
{
    for (int k = 0; k < 4; ++k) {
        if (m_VencChn[k] < 0) {
            continue;
        }
        HI_S32 ret;
        if (m_VencBindChn[k] >= 0) {
            MPP_CHN_S src = {HI_ID_VPSS, m_VpssGrp, m_VencBindChn[k]};
            MPP_CHN_S dst = {HI_ID_VENC, 0, m_VencChn[k]};
            ret = HI_MPI_SYS_UnBind(&src, &dst);
            if (ret != HI_SUCCESS) {
                XERROR("HI_MPI_SYS_UnBind(%d) failed with %#x\n", m_VencChn[k], static_cast<unsigned>(ret));
            }
        }
        ret = HI_MPI_VENC_StopRecvPic(m_VencChn[k]);
        if (ret != HI_SUCCESS) {
            XERROR("HI_MPI_VENC_StopRecvPic vechn[%d] failed with %#x\n", m_VencChn[k], static_cast<unsigned>(ret));
        }
        ret = HI_MPI_VENC_DestroyChn(m_VencChn[k]);
        if (ret != HI_SUCCESS) {
            XERROR("HI_MPI_VENC_DestroyChn vechn[%d] failed with %#x!\n", m_VencChn[k], static_cast<unsigned>(ret));
        }
    }
    for (int k = 0; k < 4; ++k) {
        m_VencChn[k] = -1;
        m_VencBindChn[k] = -1;
        m_VencGrp[k] = -1;
    }
    printf("CleanUp VENC OK...\n");
    return TRUE;
}
