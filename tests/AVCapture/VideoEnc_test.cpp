// Buffer pools, processing group and encoder channels of the camera object on
// the simulated media layer.

#include <gtest/gtest.h>

#include <sys/time.h>

#include <cstring>
#include <string>

#include "Platform/MediaSim.h"
#include "Platform/MpiSys.h"
#include "Platform/MpiVenc.h"
#include "Platform/MpiVpss.h"
#include "tests/AVCapture/TestCapture.h"

namespace {

constexpr HI_S32 VencErr(uint32_t n) { return XMpiErrCode(HI_ID_VENC, n); }
constexpr HI_S32 SysErr(uint32_t n) { return XMpiErrCode(HI_ID_SYS, n); }

uint64_t WallUs()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return static_cast<uint64_t>(tv.tv_sec) * 1000000 + tv.tv_usec;
}

BOOL Bound(int vpssChn, int vencChn)
{
    MPP_CHN_S dst = {HI_ID_VENC, 0, vencChn};
    MPP_CHN_S src;
    if (HI_MPI_SYS_GetBindbyDest(&dst, &src) != HI_SUCCESS) {
        return FALSE;
    }
    return src.enModId == HI_ID_VPSS && src.s32DevId == 0 && src.s32ChnId == vpssChn;
}

// Width and height from a JPEG's SOF0 segment.
BOOL JpegSize(const std::vector<uint8_t>& head, unsigned* w, unsigned* h)
{
    for (size_t i = 2; i + 9 < head.size();) {
        if (head[i] != 0xFF) {
            return FALSE;
        }
        const size_t len = (static_cast<size_t>(head[i + 2]) << 8) | head[i + 3];
        if (head[i + 1] == 0xC0) {
            *h = (static_cast<unsigned>(head[i + 5]) << 8) | head[i + 6];
            *w = (static_cast<unsigned>(head[i + 7]) << 8) | head[i + 8];
            return TRUE;
        }
        i += 2 + len;
    }
    return FALSE;
}

}  // namespace

TEST(CaptureVideo, PictureSizeTable)
{
    struct Case {
        int code;
        unsigned w, hPal, hNtsc;
    } cases[] = {
        {0, 176, 144, 120},     {1, 352, 288, 240},     {2, 360, 576, 480},     {4, 720, 576, 480},
        {5, 960, 576, 480},     {6, 320, 240, 240},     {7, 640, 480, 480},     {8, 1024, 768, 768},
        {9, 1400, 1050, 1050},  {10, 1600, 1200, 1200}, {11, 2048, 1536, 1536}, {12, 854, 480, 480},
        {13, 1680, 1050, 1050}, {14, 1920, 1200, 1200}, {15, 2560, 1600, 1600}, {16, 1280, 720, 720},
        {17, 1920, 1080, 1080},
    };
    for (const Case& c : cases) {
        SIZE_S pal = {0, 0};
        SIZE_S ntsc = {0, 0};
        SIZE_S autoNorm = {0, 0};
        const PIC_SIZE_E code = static_cast<PIC_SIZE_E>(c.code);
        ASSERT_TRUE(CCommAVCapture::GetPicSize(VIDEO_ENCODING_MODE_PAL, code, &pal)) << c.code;
        ASSERT_TRUE(CCommAVCapture::GetPicSize(VIDEO_ENCODING_MODE_NTSC, code, &ntsc)) << c.code;
        ASSERT_TRUE(CCommAVCapture::GetPicSize(VIDEO_ENCODING_MODE_AUTO, code, &autoNorm)) << c.code;
        EXPECT_EQ(pal.u32Width, c.w) << c.code;
        EXPECT_EQ(pal.u32Height, c.hPal) << c.code;
        EXPECT_EQ(ntsc.u32Width, c.w) << c.code;
        EXPECT_EQ(ntsc.u32Height, c.hNtsc) << c.code;
        EXPECT_EQ(autoNorm.u32Height, c.hNtsc) << "any norm but PAL: " << c.code;
    }
    for (int code : {3, 18, 19, 255}) {
        SIZE_S s = {7, 7};
        EXPECT_FALSE(CCommAVCapture::GetPicSize(VIDEO_ENCODING_MODE_NTSC, static_cast<PIC_SIZE_E>(code), &s)) << code;
    }
}

TEST(CaptureVideo, BlockSizesAndTheirErrors)
{
    CTestAVCapture cap;
    CTestCommAVCapture base;
    struct Case {
        int code;
        PIXEL_FORMAT_E fmt;
        unsigned align;
        BOOL ok;
        unsigned soc;   // the SoC class's size
        unsigned plain; // the base class's size
        const char* error;
    } cases[] = {
        {17, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 64, TRUE, 3159360, 3133440, ""},
        {7, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 64, TRUE, 503040, 491520, ""},
        {0, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 64, TRUE, 39744, 36864, ""},
        {16, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 64, TRUE, 1491840, 1474560, ""},
        {17, PIXEL_FORMAT_YUV_SEMIPLANAR_422, 16, TRUE, 1920 * 1088 * 2 + 1080 * 32, 1920 * 1088 * 2, ""},
        {0, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 16, TRUE, 176 * 128 * 3 / 2 + 120 * 24, 176 * 128 * 3 / 2, ""},
        {0, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 32, TRUE, 39744, 36864, ""},
        {17, static_cast<PIXEL_FORMAT_E>(21), 64, FALSE, 0, 0, "invalid pixel format.\n"},
        {17, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 8, FALSE, 0, 0, "invalid memory align width[8]\n"},
        {3, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 64, FALSE, 0, 0, "resolution error.\n"},
        {18, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 64, FALSE, 0, 0, "resolution error.\n"},
    };
    for (const Case& c : cases) {
        unsigned soc = 0;
        unsigned plain = 0;
        testing::internal::CaptureStderr();
        const BOOL r1 = cap.CalcPicVbBlkSize(VIDEO_ENCODING_MODE_NTSC, static_cast<PIC_SIZE_E>(c.code), c.fmt, c.align, soc);
        const BOOL r2 = base.CalcPicVbBlkSize(VIDEO_ENCODING_MODE_NTSC, static_cast<PIC_SIZE_E>(c.code), c.fmt, c.align, plain);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(r1, c.ok) << c.code;
        EXPECT_EQ(r2, c.ok) << c.code;
        if (c.ok) {
            EXPECT_EQ(soc, c.soc) << c.code;
            EXPECT_EQ(plain, c.plain) << c.code;
            EXPECT_EQ(err, "");
        } else {
            EXPECT_NE(err.find("Error["), std::string::npos) << err;
            EXPECT_NE(err.find(std::string("]: ") + c.error), std::string::npos) << err;
        }
    }
}

TEST(CaptureVideo, PoolsTheSystemReceives)
{
    struct Case {
        const char* what;
        PIC_SIZE_E row1;
        unsigned size2, count2;
    } cases[] = {
        {"start-up", PIC_VGA, 503040, 6},
        {"row 1 at 720p", PIC_HD720, 1491840, 3},
    };
    for (const Case& c : cases) {
        CTestAVCapture cap;
        cap.m_ChnCfg[1].res = c.row1;
        testing::internal::CaptureStdout();
        ASSERT_TRUE(cap.InitSDKVideoCache()) << c.what;
        EXPECT_NE(testing::internal::GetCapturedStdout().find("Init HiSDK OK...\n"), std::string::npos);
        VB_CONF_S vb;
        ASSERT_EQ(HI_MPI_VB_GetConf(&vb), HI_SUCCESS);
        EXPECT_EQ(vb.u32MaxPoolCnt, 128u);
        EXPECT_EQ(vb.astCommPool[0].u32BlkSize, 3159360u) << c.what;
        EXPECT_EQ(vb.astCommPool[0].u32BlkCnt, 10u);
        EXPECT_EQ(vb.astCommPool[1].u32BlkSize, c.size2) << c.what;
        EXPECT_EQ(vb.astCommPool[1].u32BlkCnt, c.count2) << c.what;
        EXPECT_EQ(vb.astCommPool[2].u32BlkSize, 39744u);
        EXPECT_EQ(vb.astCommPool[2].u32BlkCnt, 6u);
        EXPECT_EQ(vb.astCommPool[3].u32BlkCnt, 0u);
        EXPECT_EQ(vb.astCommPool[0].acMmzName[0], '\0') << "no memory zone";
        MPP_SYS_CONF_S sys;
        ASSERT_EQ(HI_MPI_SYS_GetConf(&sys), HI_SUCCESS);
        EXPECT_EQ(sys.u32AlignWidth, 64u);
        // a second bring-up drops the first
        ASSERT_TRUE(cap.InitSDKVideoCache()) << c.what;
        testing::internal::CaptureStdout();
        EXPECT_TRUE(cap.CleanUpSDKVideoCache());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "CleanUp HiSDK OK...\n");
        HI_U64 pts;
        EXPECT_EQ(HI_MPI_SYS_GetCurPts(&pts), SysErr(EN_ERR_SYS_NOTREADY)) << "system down";
    }
    // the base class sizes pool 1 from the input size
    CTestCommAVCapture base;
    base.m_SensorInputResolution = PIC_HD720;
    ASSERT_TRUE(base.InitSDKVideoCache());
    VB_CONF_S vb;
    ASSERT_EQ(HI_MPI_VB_GetConf(&vb), HI_SUCCESS);
    EXPECT_EQ(vb.astCommPool[0].u32BlkSize, 1280u * 768 * 3 / 2);
    EXPECT_EQ(vb.astCommPool[1].u32BlkSize, 491520u);
}

TEST(CaptureVideo, PoolAndSystemFailures)
{
    struct Case {
        const char* func;
        const char* line;
        BOOL bPoolsLeft;   // pools still up afterwards
    } cases[] = {
        {"HI_MPI_VB_SetConf", "HI_MPI_VB_SetConf() failed with 0xa0018003\n", FALSE},
        {"HI_MPI_VB_Init", "HI_MPI_VB_Init() failed with 0xa0018003\n", FALSE},
        {"HI_MPI_SYS_SetConf", "HI_MPI_SYS_SetConf failed with 0xa0018003\n", FALSE},
        {"HI_MPI_SYS_Init", "HI_MPI_SYS_Init failed with 0xa0018003\n", FALSE},
    };
    for (const Case& c : cases) {
        CTestAVCapture cap;
        XMediaSimFail(c.func, XMpiErrCode(HI_ID_VB, EN_ERR_ILLEGAL_PARAM), -1, 1);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(cap.InitSDKVideoCache()) << c.func;
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(c.line), std::string::npos) << err;
        // with the pools down the system cannot come up
        MPP_SYS_CONF_S sys = {64};
        HI_MPI_SYS_SetConf(&sys);
        EXPECT_NE(HI_MPI_SYS_Init(), HI_SUCCESS) << c.func << ": pools left up";
    }
    // a size code without a row stops before any SDK call
    CTestAVCapture cap;
    cap.m_ChnCfg[3].res = static_cast<PIC_SIZE_E>(18);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(cap.InitSDKVideoCache());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("resolution error."), std::string::npos);
    VB_CONF_S vb;
    EXPECT_NE(HI_MPI_VB_GetConf(&vb), HI_SUCCESS) << "no configuration reached the pools";
}

TEST(CaptureVideo, ProcessingGroupAsBuilt)
{
    CTestAVCapture cap;
    ASSERT_TRUE(cap.InitSDKVideoCache());
    ASSERT_TRUE(cap.InitISP());
    testing::internal::CaptureStdout();
    ASSERT_TRUE(cap.InitVPSS());
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Init VPSS OK...\n"), std::string::npos);
    VPSS_GRP_ATTR_S grp;
    ASSERT_EQ(HI_MPI_VPSS_GetGrpAttr(0, &grp), HI_SUCCESS);
    EXPECT_EQ(grp.u32MaxW, 1920u);
    EXPECT_EQ(grp.u32MaxH, 1080u);
    EXPECT_EQ(grp.enPixFmt, PIXEL_FORMAT_YUV_SEMIPLANAR_420);
    EXPECT_EQ(grp.bNrEn, 1);
    EXPECT_EQ(grp.bIeEn + grp.bDciEn + grp.bHistEn, 0);
    EXPECT_EQ(grp.enDieMode, VPSS_DIE_MODE_NODIE);
    struct Chn {
        unsigned w, h;
        COMPRESS_MODE_E compress;
    } chns[4] = {{1920, 1080, COMPRESS_MODE_SEG}, {1920, 1080, COMPRESS_MODE_SEG}, {1920, 1080, COMPRESS_MODE_SEG},
                 {176, 120, COMPRESS_MODE_NONE}};
    for (int n = 0; n < 4; ++n) {
        VPSS_CHN_MODE_S mode;
        ASSERT_EQ(HI_MPI_VPSS_GetChnMode(0, n, &mode), HI_SUCCESS) << n;
        EXPECT_EQ(mode.enChnMode, VPSS_CHN_MODE_USER);
        EXPECT_EQ(mode.u32Width, chns[n].w) << n;
        EXPECT_EQ(mode.u32Height, chns[n].h) << n;
        EXPECT_EQ(mode.enCompressMode, chns[n].compress) << n;
        EXPECT_EQ(mode.bDouble, 0);
        VPSS_CHN_ATTR_S attr;
        ASSERT_EQ(HI_MPI_VPSS_GetChnAttr(0, n, &attr), HI_SUCCESS);
        EXPECT_EQ(attr.s32SrcFrameRate, -1);
        EXPECT_EQ(attr.s32DstFrameRate, -1);
        EXPECT_EQ(attr.bSpEn + attr.bBorderEn + attr.bMirror + attr.bFlip, 0);
        EXPECT_EQ(cap.m_VpssChn[n], n);
    }
    MPP_CHN_S dst = {HI_ID_VPSS, 0, 0};
    MPP_CHN_S src;
    ASSERT_EQ(HI_MPI_SYS_GetBindbyDest(&dst, &src), HI_SUCCESS);
    EXPECT_EQ(src.enModId, HI_ID_VIU);
    EXPECT_TRUE(XMediaSimChainLive());

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(cap.CleanUpVPSS());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "CleanUp VPSS OK...\n");
    EXPECT_EQ(HI_MPI_VPSS_GetGrpAttr(0, &grp), XMpiErrCode(HI_ID_VPSS, EN_ERR_UNEXIST));
    for (int n = 0; n < 8; ++n) {
        EXPECT_EQ(cap.m_VpssChn[n], -1);
    }
    EXPECT_FALSE(XMediaSimChainLive());
}

TEST(CaptureVideo, ProcessingGroupFailures)
{
    {
        CTestAVCapture cap;
        ASSERT_TRUE(cap.InitSDKVideoCache());
        cap.m_SensorInputResolution = static_cast<PIC_SIZE_E>(3);
        testing::internal::CaptureStdout();
        EXPECT_FALSE(cap.InitVPSS());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unknown sensor.\n");
        VPSS_GRP_ATTR_S grp;
        EXPECT_NE(HI_MPI_VPSS_GetGrpAttr(0, &grp), HI_SUCCESS);
    }
    struct Case {
        const char* func;
        int chn;
    } cases[] = {
        {"HI_MPI_VPSS_CreateGrp", -1}, {"HI_MPI_VPSS_SetNRParam", -1}, {"HI_MPI_VPSS_StartGrp", -1},
        {"HI_MPI_SYS_Bind", -1},       {"HI_MPI_VPSS_SetChnMode", 0},  {"HI_MPI_VPSS_EnableChn", 2},
        {"HI_MPI_VPSS_SetChnAttr", 3},
    };
    for (const Case& c : cases) {
        CTestAVCapture cap;
        ASSERT_TRUE(cap.InitSDKVideoCache());
        ASSERT_TRUE(cap.InitISP());
        const HI_S32 code = XMpiErrCode(HI_ID_VPSS, EN_ERR_NOMEM);
        XMediaSimFail(c.func, code, c.chn, 1);
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        EXPECT_FALSE(cap.InitVPSS()) << c.func;
        testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("0xa007800c"), std::string::npos) << c.func << ": " << err;
        // nothing is left behind: the group can be built again
        VPSS_GRP_ATTR_S grp;
        EXPECT_NE(HI_MPI_VPSS_GetGrpAttr(0, &grp), HI_SUCCESS) << c.func;
        MPP_CHN_S dst = {HI_ID_VPSS, 0, 0};
        MPP_CHN_S src;
        EXPECT_NE(HI_MPI_SYS_GetBindbyDest(&dst, &src), HI_SUCCESS) << c.func;
        for (int n = 0; n < 8; ++n) {
            EXPECT_EQ(cap.m_VpssChn[n], -1) << c.func;
        }
        testing::internal::CaptureStdout();
        EXPECT_TRUE(cap.InitVPSS()) << c.func;
        testing::internal::GetCapturedStdout();
    }
}

TEST(CaptureVideo, H264AttributesByRateControl)
{
    CTestAVCapture cap;
    VENC_CHN_ATTR_S a;
    ASSERT_TRUE(cap.GetH264ChnAttr(VIDEO_ENCODING_MODE_NTSC, 30, PIC_HD1080, RCTYPE_CBR, 8192, 30, 30, a));
    EXPECT_EQ(a.stVeAttr.enType, PT_H264);
    EXPECT_EQ(a.stVeAttr.stAttrH264e.u32PicWidth, 1920u);
    EXPECT_EQ(a.stVeAttr.stAttrH264e.u32MaxPicHeight, 1080u);
    EXPECT_EQ(a.stVeAttr.stAttrH264e.u32BufSize, 1920u * 1080 * 2);
    EXPECT_EQ(a.stVeAttr.stAttrH264e.u32Profile, 2u);
    EXPECT_EQ(a.stVeAttr.stAttrH264e.bByFrame, 1);
    EXPECT_EQ(a.stVeAttr.stAttrH264e.u32BFrameNum, 0u);
    EXPECT_EQ(a.stVeAttr.stAttrH264e.u32RefNum, 1u);
    EXPECT_EQ(a.stRcAttr.enRcMode, VENC_RC_MODE_H264CBR);
    const VENC_ATTR_H264_CBR_S& cbr = a.stRcAttr.stAttrH264Cbr;
    EXPECT_EQ(cbr.u32Gop, 30u);
    EXPECT_EQ(cbr.u32StatTime, 1u);
    EXPECT_EQ(cbr.u32SrcFrmRate, 30u);
    EXPECT_EQ(cbr.fr32DstFrmRate, 30);
    EXPECT_EQ(cbr.u32BitRate, 8192u);
    EXPECT_EQ(cbr.u32FluctuateLevel, 0u);

    ASSERT_TRUE(cap.GetH264ChnAttr(VIDEO_ENCODING_MODE_NTSC, 30, PIC_VGA, RCTYPE_VBR, 1024, 25, 25, a));
    EXPECT_EQ(a.stRcAttr.enRcMode, VENC_RC_MODE_H264VBR);
    const VENC_ATTR_H264_VBR_S& vbr = a.stRcAttr.stAttrH264Vbr;
    EXPECT_EQ(vbr.u32Gop, 25u);
    EXPECT_EQ(vbr.u32SrcFrmRate, 30u);
    EXPECT_EQ(vbr.fr32DstFrmRate, 25);
    EXPECT_EQ(vbr.u32MaxBitRate, 1024u);
    EXPECT_EQ(vbr.u32MinQp, 10u);
    EXPECT_EQ(vbr.u32MaxQp, 40u);
    EXPECT_EQ(a.stVeAttr.stAttrH264e.u32PicWidth, 640u);

    ASSERT_TRUE(cap.GetH264ChnAttr(VIDEO_ENCODING_MODE_NTSC, 30, PIC_HD720, RCTYPE_FIXQP, 1024, 1, 1, a));
    EXPECT_EQ(a.stRcAttr.enRcMode, VENC_RC_MODE_H264FIXQP);
    EXPECT_EQ(a.stRcAttr.stAttrH264FixQp.u32IQp, 20u);
    EXPECT_EQ(a.stRcAttr.stAttrH264FixQp.u32PQp, 23u);
    EXPECT_EQ(a.stRcAttr.stAttrH264FixQp.fr32DstFrmRate, 1);

    EXPECT_FALSE(cap.GetH264ChnAttr(VIDEO_ENCODING_MODE_NTSC, 30, PIC_HD1080, static_cast<emStreamRCType>(3), 8192, 30, 30, a));
    EXPECT_FALSE(cap.GetH264ChnAttr(VIDEO_ENCODING_MODE_NTSC, 30, static_cast<PIC_SIZE_E>(18), RCTYPE_CBR, 8192, 30, 30, a));

    ASSERT_TRUE(cap.GetJpegChnAttr(VIDEO_ENCODING_MODE_NTSC, PIC_QCIF, a));
    EXPECT_EQ(a.stVeAttr.enType, PT_JPEG);
    EXPECT_EQ(a.stVeAttr.stAttrJpeg.u32PicWidth, 176u);
    EXPECT_EQ(a.stVeAttr.stAttrJpeg.u32PicHeight, 120u);
    EXPECT_EQ(a.stVeAttr.stAttrJpeg.u32BufSize, 176u * 120 * 2);
    EXPECT_EQ(a.stVeAttr.stAttrJpeg.bSupportDCF, 0);
    EXPECT_TRUE(cap.GetJpegChnAttr(VIDEO_ENCODING_MODE_NTSC, static_cast<PIC_SIZE_E>(3), a)) << "always 1";
}

TEST(CaptureVideo, EncodersAsBuilt)
{
    CTestAVCapture cap;
    const uint64_t before = WallUs();
    testing::internal::CaptureStdout();
    ASSERT_TRUE(cap.UpToEncoders());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Init VENC OK...\n"), std::string::npos);
    EXPECT_EQ(cap.m_ChnNum, 4);
    HI_U64 pts = 0;
    ASSERT_EQ(HI_MPI_SYS_GetCurPts(&pts), HI_SUCCESS);
    EXPECT_GE(pts, before);
    EXPECT_LT(pts, WallUs() + 1000000) << "the clock is wall-clock microseconds";

    const BOOL receiving[4] = {TRUE, TRUE, FALSE, TRUE};
    const unsigned w[4] = {1920, 640, 1920, 176};
    const unsigned h[4] = {1080, 480, 1080, 120};
    const HI_U32 thrd[12] = {7, 7, 7, 7, 7, 9, 9, 9, 12, 15, 18, 25};
    for (int k = 0; k < 4; ++k) {
        tagMediaSimVenc info;
        ASSERT_TRUE(XMediaSimVencInfo(k, &info));
        EXPECT_TRUE(info.bCreated) << k;
        EXPECT_EQ(info.bReceiving, receiving[k]) << k;
        EXPECT_EQ(info.u32Width, w[k]) << k;
        EXPECT_EQ(info.u32Height, h[k]) << k;
        EXPECT_TRUE(Bound(k, k)) << k;
        EXPECT_EQ(cap.m_VencChn[k], k);
        EXPECT_EQ(cap.m_VencBindChn[k], k);
        const tagChannelConfig& row = cap.m_ChnCfg[k];
        EXPECT_EQ(row.channel_id, k);
        EXPECT_EQ(row.av_type, k < 2 ? AVDATA_TYPE_VIDEO : AVDATA_TYPE_IMAGE);
        EXPECT_EQ(row.width, w[k]);
        EXPECT_EQ(row.height, h[k]);
        VENC_RC_PARAM_S rc;
        if (k < 2) {
            ASSERT_EQ(HI_MPI_VENC_GetRcParam(k, &rc), HI_SUCCESS);
            EXPECT_EQ(0, memcmp(rc.u32ThrdI, thrd, sizeof(thrd))) << k;
            EXPECT_EQ(0, memcmp(rc.u32ThrdP, thrd, sizeof(thrd))) << k;
        } else {
            EXPECT_EQ(HI_MPI_VENC_GetRcParam(k, &rc), VencErr(EN_ERR_NOT_SUPPORT)) << k;
        }
    }
    // the stream table as the constructor left it, apart from the filled fields
    const tagChannelConfig& r0 = cap.m_ChnCfg[0];
    EXPECT_EQ(r0.enc, PT_H264);
    EXPECT_EQ(r0.bitrate, 8192u);
    EXPECT_EQ(r0.gop, 30u);
    EXPECT_EQ(r0.vi_fps, 30u);
    EXPECT_EQ(r0.fps, 30u);
    EXPECT_EQ(r0.tv_norm, VIDEO_ENCODING_MODE_NTSC);
    const tagChannelConfig& r1 = cap.m_ChnCfg[1];
    EXPECT_EQ(r1.res, PIC_VGA);
    EXPECT_EQ(r1.bitrate, 1024u);
    EXPECT_EQ(r1.gop, 25u);
    EXPECT_EQ(r1.fps, 25u);
    const tagChannelConfig& r2 = cap.m_ChnCfg[2];
    EXPECT_EQ(r2.enc, PT_JPEG);
    EXPECT_EQ(r2.qp, 90u);
    EXPECT_EQ(r2.fps, 5u);
    EXPECT_EQ(r2.auto_enc, 0);
    const tagChannelConfig& r3 = cap.m_ChnCfg[3];
    EXPECT_EQ(r3.res, PIC_QCIF);
    EXPECT_EQ(r3.fps, 1u);
    EXPECT_EQ(r3.auto_enc, 1);
    const tagChannelConfig& r4 = cap.m_ChnCfg[4];
    EXPECT_EQ(r4.enc, PT_AAC);
    EXPECT_EQ(r4.channel_id, 4);
    EXPECT_EQ(r4.av_type, AVDATA_TYPE_AUDIO);
    EXPECT_EQ(r4.tv_norm, VIDEO_ENCODING_MODE_PAL);
    EXPECT_EQ(r4.sample, 0u);

    // pictures flow: channel 1 gets 1080p pictures and encodes them at 640 x 480
    ASSERT_EQ(XMediaSimPump(30), 30);
    int counts[4] = {0, 0, 0, 0};
    for (int k = 0; k < 4; ++k) {
        for (tagTestStream st = XTestTakeStream(k); st.status == HI_SUCCESS; st = XTestTakeStream(k)) {
            if (k == 3) {
                unsigned jw = 0;
                unsigned jh = 0;
                ASSERT_TRUE(JpegSize(st.packs[0], &jw, &jh));
                EXPECT_EQ(jw, 176u);
                EXPECT_EQ(jh, 120u);
            }
            ++counts[k];
        }
    }
    EXPECT_EQ(counts[0], 30);
    EXPECT_EQ(counts[1], 25);
    EXPECT_EQ(counts[2], 0);
    EXPECT_EQ(counts[3], 30) << "a JPEG channel encodes every picture it is given";
}

TEST(CaptureVideo, EncoderFailuresRollBack)
{
    struct Case {
        const char* func;
        int chn;
        const char* line;
    } cases[] = {
        {"HI_MPI_VENC_CreateChn", 0, "HI_MPI_VENC_CreateChn [0] (1080p h264) faild with 0xa0088012\n"},
        {"HI_MPI_VENC_CreateChn", 2, "HI_MPI_VENC_CreateChn [2] (1080p jpeg) faild with 0xa0088012\n"},
        {"HI_MPI_VENC_CreateChn", 3, "HI_MPI_VENC_CreateChn [3] (qvga jpeg) faild with 0xa0088012\n"},
        {"HI_MPI_VENC_StartRecvPic", 0, "HI_MPI_VENC_StartRecvPic (1080p,h264)faild with0xa0088012\n"},
        {"HI_MPI_VENC_StartRecvPic", 1, "HI_MPI_VENC_StartRecvPic (wvga,h264)faild with0xa0088012\n"},
        {"HI_MPI_VENC_StartRecvPic", 3, "HI_MPI_VENC_StartRecvPic (qvga,jpeg)faild with0xa0088012\n"},
        {"HI_MPI_SYS_Bind", 1, "failed with 0xa0088012\n"},
        {"HI_MPI_SYS_Bind", 3, "failed with 0xa0088012\n"},
    };
    for (const Case& c : cases) {
        CTestAVCapture cap;
        testing::internal::CaptureStdout();
        ASSERT_TRUE(cap.InitSDKVideoCache() && cap.InitISP() && cap.InitVPSS());
        testing::internal::GetCapturedStdout();
        XMediaSimFail(c.func, XMpiErrCode(HI_ID_VENC, EN_ERR_BUSY), c.chn, 1);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_FALSE(cap.InitVideoEnc()) << c.func << " " << c.chn;
        const std::string err = testing::internal::GetCapturedStderr();
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(err.find(c.line), std::string::npos) << err;
        EXPECT_NE(out.find("CleanUp VENC OK...\n"), std::string::npos) << out;
        EXPECT_EQ(out.find("Init VENC OK..."), std::string::npos);
        for (int k = 0; k < 4; ++k) {
            tagMediaSimVenc info;
            ASSERT_TRUE(XMediaSimVencInfo(k, &info));
            EXPECT_FALSE(info.bCreated) << c.func << " " << c.chn << ": channel " << k << " left";
            MPP_CHN_S dst = {HI_ID_VENC, 0, k};
            MPP_CHN_S src;
            EXPECT_NE(HI_MPI_SYS_GetBindbyDest(&dst, &src), HI_SUCCESS) << "channel " << k << " still bound";
            EXPECT_EQ(cap.m_VencChn[k], -1);
            EXPECT_EQ(cap.m_VencBindChn[k], -1);
            EXPECT_EQ(cap.m_VencGrp[k], -1);
        }
        // the next attempt builds all four
        testing::internal::CaptureStdout();
        EXPECT_TRUE(cap.InitVideoEnc()) << c.func;
        testing::internal::GetCapturedStdout();
    }
    // an unknown size on row 1 fails at its attributes
    CTestAVCapture cap;
    ASSERT_TRUE(cap.InitSDKVideoCache() && cap.InitISP() && cap.InitVPSS());
    cap.m_ChnCfg[1].res = static_cast<PIC_SIZE_E>(18);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(cap.InitVideoEnc());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("GetH264Attr() wvga h264 failed.\n"), std::string::npos);
    tagMediaSimVenc info;
    ASSERT_TRUE(XMediaSimVencInfo(0, &info));
    EXPECT_FALSE(info.bCreated);
}

TEST(CaptureVideo, CleanUpTwiceAndRebuildAt720p)
{
    CTestAVCapture cap;
    ASSERT_TRUE(cap.UpToEncoders());
    const int fd0 = HI_MPI_VENC_GetFd(0);
    ASSERT_GE(fd0, 0);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(cap.CleanUpVideoEnc());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "CleanUp VENC OK...\n");
    for (int k = 0; k < 4; ++k) {
        tagMediaSimVenc info;
        ASSERT_TRUE(XMediaSimVencInfo(k, &info));
        EXPECT_FALSE(info.bCreated);
        EXPECT_FALSE(Bound(k, k));
    }
    EXPECT_EQ(cap.m_ChnNum, 4) << "kept";
    EXPECT_EQ(cap.m_ChnCfg[0].width, 1920u) << "kept";
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(cap.CleanUpVideoEnc());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "CleanUp VENC OK...\n");

    // row 0 at 720p: the group channel still delivers 1080p, the encoder scales
    cap.m_ChnCfg[0].res = PIC_HD720;
    cap.m_ChnCfg[0].bitrate = 4096;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(cap.InitVideoEnc());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(HI_MPI_VENC_GetFd(0), fd0) << "same descriptor";
    tagMediaSimVenc info;
    ASSERT_TRUE(XMediaSimVencInfo(0, &info));
    EXPECT_EQ(info.u32Width, 1280u);
    EXPECT_EQ(info.u32Height, 720u);
    EXPECT_EQ(cap.m_ChnCfg[0].width, 1280u);
    EXPECT_EQ(cap.m_ChnCfg[0].height, 720u);
    VPSS_CHN_MODE_S mode;
    ASSERT_EQ(HI_MPI_VPSS_GetChnMode(0, 0, &mode), HI_SUCCESS);
    EXPECT_EQ(mode.u32Width, 1920u);
    ASSERT_EQ(XMediaSimPump(1), 1);
    tagTestStream st = XTestTakeStream(0);
    ASSERT_EQ(st.status, HI_SUCCESS);
    EXPECT_EQ(st.seq, 0u);
    ASSERT_GT(st.packs[0].size(), 4u);
    EXPECT_EQ(st.packs[0][4], 0x67);
}

TEST(CaptureVideo, BaseSensorHooks)
{
    CTestCommAVCapture base;
    EXPECT_EQ(sensor_register_callback(), 0);
    EXPECT_EQ(sensor_unregister_callback(), 0);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(base.InitImageSensor());
    EXPECT_TRUE(base.CleanUpImageSensor());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Init Sensor OK...\nCleanUp Sensor OK...\n");
}
