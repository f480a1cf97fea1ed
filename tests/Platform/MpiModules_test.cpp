// Video input, ISP life cycle, processing group and video output on the
// simulated media layer: order of the steps, their errors, values read back.

#include <gtest/gtest.h>

#include <sched.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "Platform/MediaSim.h"
#include "Platform/MpiIsp.h"
#include "Platform/MpiSns.h"
#include "Platform/MpiSys.h"
#include "Platform/MpiVi.h"
#include "Platform/MpiVo.h"
#include "Platform/MpiVpss.h"
#include "tests/Platform/MediaChain.h"

namespace {

constexpr HI_S32 ViErr(uint32_t n) { return XMpiErrCode(HI_ID_VIU, n); }
constexpr HI_S32 IspErr(uint32_t n) { return XMpiErrCode(HI_ID_ISP, n); }
constexpr HI_S32 VpssErr(uint32_t n) { return XMpiErrCode(HI_ID_VPSS, n); }
constexpr HI_S32 VoErr(uint32_t n) { return XMpiErrCode(HI_ID_VOU, n); }

struct Step {
    const char* what;
    std::function<HI_S32()> call;
    HI_S32 expect;
};

void RunSteps(const std::vector<Step>& steps)
{
    for (const Step& s : steps) {
        EXPECT_EQ(static_cast<uint32_t>(s.call()), static_cast<uint32_t>(s.expect)) << s.what;
    }
}

ALG_LIB_S Lib(const char* name)
{
    ALG_LIB_S lib;
    memset(&lib, 0, sizeof(lib));
    lib.s32Id = 0;
    strncpy(lib.acLibName, name, sizeof(lib.acLibName) - 1);
    return lib;
}

class MpiModules : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(m_Chain.System(), HI_SUCCESS); }
    CTestMediaChain m_Chain;
};

}  // namespace

TEST_F(MpiModules, VideoInputStepsAndValuesReadBack)
{
    VI_DEV_ATTR_S dev;
    memset(&dev, 0, sizeof(dev));
    dev.enIntfMode = VI_MODE_LVDS;
    dev.au32CompMask[0] = 0xFFF00000;
    dev.stSynCfg.stTimingBlank.u32HsyncAct = 1280;
    dev.stDevRect = {0, 0, 1920, 1080};
    VI_DEV_ATTR_S badRect = dev;
    badRect.stDevRect.u32Width = 0;
    VI_CHN_ATTR_S chn;
    memset(&chn, 0, sizeof(chn));
    chn.stCapRect = {0, 0, 1920, 1080};
    chn.stDestSize = {1920, 1080};
    chn.enCapSel = VI_CAPSEL_BOTH;
    chn.enPixFormat = PIXEL_FORMAT_YUV_SEMIPLANAR_420;
    chn.bMirror = 1;
    chn.bFlip = 1;
    chn.s32SrcFrameRate = chn.s32DstFrameRate = -1;
    VI_CHN_ATTR_S outside = chn;
    outside.stCapRect.s32X = 8;
    VI_CHN_ATTR_S upscale = chn;
    upscale.stCapRect.u32Width = 1280;
    VI_CHN_ATTR_S resized = chn;
    resized.stDestSize = {1280, 720};
    VI_CHN_ATTR_S unmirrored = chn;
    unmirrored.bMirror = 0;
    unmirrored.bFlip = 0;
    VI_LDC_ATTR_S ldc = {1, {LDC_VIEW_TYPE_CROP, 10, -20, 300}};
    VI_LDC_ATTR_S badLdc = {1, {LDC_VIEW_TYPE_CROP, 10, -20, 512}};
    RunSteps({
        {"channel before its device", [&] { return HI_MPI_VI_SetChnAttr(0, &chn); }, ViErr(EN_ERR_NOT_PERM)},
        {"enable without attributes", [] { return HI_MPI_VI_EnableDev(0); }, ViErr(EN_ERR_NOT_CONFIG)},
        {"device 1", [&] { return HI_MPI_VI_SetDevAttr(1, &dev); }, ViErr(EN_ERR_INVALID_DEVID)},
        {"empty rectangle", [&] { return HI_MPI_VI_SetDevAttr(0, &badRect); }, ViErr(EN_ERR_ILLEGAL_PARAM)},
        {"device attributes", [&] { return HI_MPI_VI_SetDevAttr(0, &dev); }, HI_SUCCESS},
        {"enable device", [] { return HI_MPI_VI_EnableDev(0); }, HI_SUCCESS},
        {"device attributes while enabled", [&] { return HI_MPI_VI_SetDevAttr(0, &dev); }, ViErr(EN_ERR_NOT_PERM)},
        {"enable channel without attributes", [] { return HI_MPI_VI_EnableChn(0); }, ViErr(EN_ERR_NOT_CONFIG)},
        {"capture outside the device", [&] { return HI_MPI_VI_SetChnAttr(0, &outside); }, ViErr(EN_ERR_ILLEGAL_PARAM)},
        {"destination above the capture", [&] { return HI_MPI_VI_SetChnAttr(0, &upscale); }, ViErr(EN_ERR_ILLEGAL_PARAM)},
        {"lens correction before the channel", [&] { return HI_MPI_VI_SetLDCAttr(0, &ldc); }, ViErr(EN_ERR_NOT_CONFIG)},
        {"channel attributes", [&] { return HI_MPI_VI_SetChnAttr(0, &chn); }, HI_SUCCESS},
        {"rotation 4", [] { return HI_MPI_VI_SetRotate(0, static_cast<ROTATE_E>(4)); }, ViErr(EN_ERR_ILLEGAL_PARAM)},
        {"rotation 180", [] { return HI_MPI_VI_SetRotate(0, ROTATE_180); }, HI_SUCCESS},
        {"enable channel", [] { return HI_MPI_VI_EnableChn(0); }, HI_SUCCESS},
        {"new size while running", [&] { return HI_MPI_VI_SetChnAttr(0, &resized); }, ViErr(EN_ERR_NOT_PERM)},
        {"mirror and flip while running", [&] { return HI_MPI_VI_SetChnAttr(0, &unmirrored); }, HI_SUCCESS},
        {"lens ratio 512", [&] { return HI_MPI_VI_SetLDCAttr(0, &badLdc); }, ViErr(EN_ERR_ILLEGAL_PARAM)},
        {"lens correction", [&] { return HI_MPI_VI_SetLDCAttr(0, &ldc); }, HI_SUCCESS},
        {"device off under its channel", [] { return HI_MPI_VI_DisableDev(0); }, ViErr(EN_ERR_NOT_PERM)},
    });
    VI_DEV_ATTR_S devBack;
    ASSERT_EQ(HI_MPI_VI_GetDevAttr(0, &devBack), HI_SUCCESS);
    EXPECT_EQ(devBack.enIntfMode, VI_MODE_LVDS);
    EXPECT_EQ(devBack.au32CompMask[0], 0xFFF00000u);
    EXPECT_EQ(devBack.stSynCfg.stTimingBlank.u32HsyncAct, 1280u);
    VI_CHN_ATTR_S chnBack;
    ASSERT_EQ(HI_MPI_VI_GetChnAttr(0, &chnBack), HI_SUCCESS);
    EXPECT_EQ(chnBack.bMirror, 0);
    EXPECT_EQ(chnBack.bFlip, 0);
    EXPECT_EQ(chnBack.stDestSize.u32Width, 1920u);
    ROTATE_E rot = ROTATE_NONE;
    ASSERT_EQ(HI_MPI_VI_GetRotate(0, &rot), HI_SUCCESS);
    EXPECT_EQ(rot, ROTATE_180);
    VI_LDC_ATTR_S ldcBack;
    ASSERT_EQ(HI_MPI_VI_GetLDCAttr(0, &ldcBack), HI_SUCCESS);
    EXPECT_EQ(0, memcmp(&ldcBack, &ldc, sizeof(ldc)));
    RunSteps({
        {"disable channel", [] { return HI_MPI_VI_DisableChn(0); }, HI_SUCCESS},
        {"disable device", [] { return HI_MPI_VI_DisableDev(0); }, HI_SUCCESS},
        {"disable device again", [] { return HI_MPI_VI_DisableDev(0); }, HI_SUCCESS},
    });
}

TEST_F(MpiModules, IspLifeCycleInTheBringUpOrder)
{
    // tables with every slot empty: the ISP skips them
    static ISP_SENSOR_REGISTER_S sensorTable = {};
    static AE_SENSOR_REGISTER_S aeTable = {};
    static AWB_SENSOR_REGISTER_S awbTable = {};
    const ISP_SENSOR_REGISTER_S* isp = &sensorTable;
    const AE_SENSOR_REGISTER_S* ae = &aeTable;
    const AWB_SENSOR_REGISTER_S* awb = &awbTable;
    const ALG_LIB_S aeLib = Lib("hisi_ae_lib");
    const ALG_LIB_S awbLib = Lib("hisi_awb_lib");
    const ALG_LIB_S afLib = Lib("hisi_af_lib");
    const ALG_LIB_S noName = Lib("");
    ISP_WDR_MODE_S wdr = {WDR_MODE_NONE};
    ISP_PUB_ATTR_S pub = {{0, 0, 1920, 1080}, 30.0f, BAYER_GRBG};
    ISP_PUB_ATTR_S noRate = pub;
    noRate.f32FrameRate = 0.0f;
    ISP_RGBIR_ATTR_S rgbir;
    RunSteps({
        {"run before init", [] { return HI_MPI_ISP_Run(0); }, IspErr(EN_ERR_NOT_PERM)},
        {"WDR mode before memory", [&] { return HI_MPI_ISP_SetWDRMode(0, &wdr); }, IspErr(EN_ERR_NOT_PERM)},
        // the sensor driver comes first: its AE and AWB tables name libraries not registered yet
        {"sensor table", [&] { return HI_MPI_ISP_SensorRegCallBack(0, 290, isp); }, HI_SUCCESS},
        {"sensor table twice", [&] { return HI_MPI_ISP_SensorRegCallBack(0, 290, isp); }, IspErr(EN_ERR_EXIST)},
        {"AE table", [&] { return HI_MPI_AE_SensorRegCallBack(0, &aeLib, 290, ae); }, HI_SUCCESS},
        {"AWB table", [&] { return HI_MPI_AWB_SensorRegCallBack(0, &awbLib, 290, awb); }, HI_SUCCESS},
        {"AE library", [&] { return HI_MPI_AE_Register(0, &aeLib); }, HI_SUCCESS},
        {"AE library twice", [&] { return HI_MPI_AE_Register(0, &aeLib); }, IspErr(EN_ERR_EXIST)},
        {"library without a name", [&] { return HI_MPI_AWB_Register(0, &noName); }, IspErr(EN_ERR_ILLEGAL_PARAM)},
        {"AWB library", [&] { return HI_MPI_AWB_Register(0, &awbLib); }, HI_SUCCESS},
        {"AF library", [&] { return HI_MPI_AF_Register(0, &afLib); }, HI_SUCCESS},
        {"memory", [] { return HI_MPI_ISP_MemInit(0); }, HI_SUCCESS},
        {"init without public attributes", [] { return HI_MPI_ISP_Init(0); }, IspErr(EN_ERR_NOT_CONFIG)},
        {"WDR mode", [&] { return HI_MPI_ISP_SetWDRMode(0, &wdr); }, HI_SUCCESS},
        {"frame rate 0", [&] { return HI_MPI_ISP_SetPubAttr(0, &noRate); }, IspErr(EN_ERR_ILLEGAL_PARAM)},
        {"public attributes", [&] { return HI_MPI_ISP_SetPubAttr(0, &pub); }, HI_SUCCESS},
        {"RGB-IR before init", [&] { return HI_MPI_ISP_GetRgbirAttr(0, &rgbir); }, IspErr(EN_ERR_NOT_PERM)},
        {"init", [] { return HI_MPI_ISP_Init(0); }, HI_SUCCESS},
        {"RGB-IR read", [&] { return HI_MPI_ISP_GetRgbirAttr(0, &rgbir); }, HI_SUCCESS},
        {"RGB-IR off", [&] { rgbir.bEnable = 0; return HI_MPI_ISP_SetRgbirAttr(0, &rgbir); }, HI_SUCCESS},
        {"sensor table away while the ISP drives it", [] { return HI_MPI_ISP_SensorUnRegCallBack(0, 290); }, IspErr(EN_ERR_NOT_PERM)},
    });

    // Run blocks on its own thread (real-time where the host allows) until Exit
    HI_S32 runResult = -1;
    std::atomic<bool> returned{false};
    std::thread run([&] {
        struct sched_param p = {};
        p.sched_priority = 50;
        pthread_setschedparam(pthread_self(), SCHED_RR, &p);  // refused without the right: default then
        runResult = HI_MPI_ISP_Run(0);
        returned = true;
    });
    for (int i = 0; i < 2000 && !(XMediaSimCaller("HI_MPI_ISP_Run", nullptr, nullptr) && XMediaIspRunning()); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned) << "Run returned before Exit";
    EXPECT_EQ(HI_MPI_ISP_Run(0), IspErr(EN_ERR_BUSY)) << "a second Run";
    int policy = -1;
    int priority = -1;
    ASSERT_TRUE(XMediaSimCaller("HI_MPI_ISP_Run", &policy, &priority));
    EXPECT_TRUE((policy == SCHED_RR && priority == 50) || policy == SCHED_OTHER) << policy << " " << priority;
    EXPECT_EQ(HI_MPI_ISP_Exit(0), HI_SUCCESS);
    run.join();
    EXPECT_EQ(runResult, HI_SUCCESS);

    RunSteps({
        {"second exit", [] { return HI_MPI_ISP_Exit(0); }, HI_SUCCESS},
        {"run after exit", [] { return HI_MPI_ISP_Run(0); }, IspErr(EN_ERR_NOT_PERM)},
        // clean-up: libraries leave first, then the sensor's tables
        {"AE library away", [&] { return HI_MPI_AE_UnRegister(0, &aeLib); }, HI_SUCCESS},
        {"AWB library away", [&] { return HI_MPI_AWB_UnRegister(0, &awbLib); }, HI_SUCCESS},
        {"AF library away", [&] { return HI_MPI_AF_UnRegister(0, &afLib); }, HI_SUCCESS},
        {"AF library away twice", [&] { return HI_MPI_AF_UnRegister(0, &afLib); }, IspErr(EN_ERR_UNEXIST)},
        {"sensor table away", [] { return HI_MPI_ISP_SensorUnRegCallBack(0, 290); }, HI_SUCCESS},
        {"AE table away after its library", [&] { return HI_MPI_AE_SensorUnRegCallBack(0, &aeLib, 290); }, HI_SUCCESS},
        {"AWB table of another sensor", [&] { return HI_MPI_AWB_SensorUnRegCallBack(0, &awbLib, 222); }, IspErr(EN_ERR_UNEXIST)},
        {"AWB table away", [&] { return HI_MPI_AWB_SensorUnRegCallBack(0, &awbLib, 290); }, HI_SUCCESS},
        {"memory again", [] { return HI_MPI_ISP_MemInit(0); }, HI_SUCCESS},
        {"public attributes again", [&] { return HI_MPI_ISP_SetPubAttr(0, &pub); }, HI_SUCCESS},
        {"init without a sensor table", [] { return HI_MPI_ISP_Init(0); }, IspErr(EN_ERR_NOT_CONFIG)},
    });
}

TEST_F(MpiModules, ProcessingGroupStepsAndNoiseReduction)
{
    VPSS_GRP_ATTR_S grp = {1920, 1080, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 0, 0, 1, 0, VPSS_DIE_MODE_NODIE};
    VPSS_GRP_ATTR_S badFmt = grp;
    badFmt.enPixFmt = static_cast<PIXEL_FORMAT_E>(5);
    VPSS_CHN_ATTR_S attr = {0, 0, 0, 0, -1, -1};
    VPSS_CHN_MODE_S mode = {VPSS_CHN_MODE_USER, 176, 120, 0, PIXEL_FORMAT_YUV_SEMIPLANAR_420, COMPRESS_MODE_NONE};
    VPSS_CHN_MODE_S tooBig = mode;
    tooBig.u32Width = 2560;
    VPSS_NR_PARAM_S nr;
    RunSteps({
        {"channel of a missing group", [&] { return HI_MPI_VPSS_SetChnAttr(0, 3, &attr); }, VpssErr(EN_ERR_UNEXIST)},
        {"start a missing group", [] { return HI_MPI_VPSS_StartGrp(0); }, VpssErr(EN_ERR_UNEXIST)},
        {"group 32", [&] { return HI_MPI_VPSS_CreateGrp(32, &grp); }, VpssErr(EN_ERR_INVALID_DEVID)},
        {"pixel format 5", [&] { return HI_MPI_VPSS_CreateGrp(0, &badFmt); }, VpssErr(EN_ERR_ILLEGAL_PARAM)},
        {"create", [&] { return HI_MPI_VPSS_CreateGrp(0, &grp); }, HI_SUCCESS},
        {"create again", [&] { return HI_MPI_VPSS_CreateGrp(0, &grp); }, VpssErr(EN_ERR_EXIST)},
        {"noise reduction read", [&] { return HI_MPI_VPSS_GetNRParam(0, &nr); }, HI_SUCCESS},
        {"noise reduction written back", [&] { return HI_MPI_VPSS_SetNRParam(0, &nr); }, HI_SUCCESS},
        {"start", [] { return HI_MPI_VPSS_StartGrp(0); }, HI_SUCCESS},
        {"enable a channel without mode", [] { return HI_MPI_VPSS_EnableChn(0, 3); }, VpssErr(EN_ERR_NOT_CONFIG)},
        {"channel 8", [&] { return HI_MPI_VPSS_SetChnAttr(0, 8, &attr); }, VpssErr(EN_ERR_INVALID_CHNID)},
        {"channel attributes", [&] { return HI_MPI_VPSS_SetChnAttr(0, 3, &attr); }, HI_SUCCESS},
        {"mode above the group", [&] { return HI_MPI_VPSS_SetChnMode(0, 3, &tooBig); }, VpssErr(EN_ERR_ILLEGAL_PARAM)},
        {"mode", [&] { return HI_MPI_VPSS_SetChnMode(0, 3, &mode); }, HI_SUCCESS},
        {"enable", [] { return HI_MPI_VPSS_EnableChn(0, 3); }, HI_SUCCESS},
        {"mode while enabled", [&] { return HI_MPI_VPSS_SetChnMode(0, 3, &mode); }, VpssErr(EN_ERR_NOT_PERM)},
        {"destroy while started", [] { return HI_MPI_VPSS_DestroyGrp(0); }, VpssErr(EN_ERR_NOT_PERM)},
        {"disable", [] { return HI_MPI_VPSS_DisableChn(0, 3); }, HI_SUCCESS},
        {"stop", [] { return HI_MPI_VPSS_StopGrp(0); }, HI_SUCCESS},
        {"destroy", [] { return HI_MPI_VPSS_DestroyGrp(0); }, HI_SUCCESS},
        {"destroy again", [] { return HI_MPI_VPSS_DestroyGrp(0); }, VpssErr(EN_ERR_UNEXIST)},
    });
    ASSERT_EQ(HI_MPI_VPSS_CreateGrp(0, &grp), HI_SUCCESS);
    struct Level {
        HI_S32 ysf, ytf, smth;
    } levels[] = {{88, 48, 0}, {132, 90, 32}, {172, 108, 64}};
    for (const Level& l : levels) {
        ASSERT_EQ(HI_MPI_VPSS_GetNRParam(0, &nr), HI_SUCCESS);
        const HI_S32 keep = nr.s32CSFStr;
        nr.s32YSFStr = l.ysf;
        nr.s32YTFStr = l.ytf;
        nr.s32YSmthStr = l.smth;
        ASSERT_EQ(HI_MPI_VPSS_SetNRParam(0, &nr), HI_SUCCESS);
        VPSS_NR_PARAM_S back;
        ASSERT_EQ(HI_MPI_VPSS_GetNRParam(0, &back), HI_SUCCESS);
        EXPECT_EQ(back.s32YSFStr, l.ysf);
        EXPECT_EQ(back.s32YTFStr, l.ytf);
        EXPECT_EQ(back.s32YSmthStr, l.smth);
        EXPECT_EQ(back.s32CSFStr, keep);
    }
    nr.s32YTFStr = 256;
    EXPECT_EQ(HI_MPI_VPSS_SetNRParam(0, &nr), VpssErr(EN_ERR_ILLEGAL_PARAM));
}

TEST_F(MpiModules, VideoOutputStepsAndTheSecondEnable)
{
    VO_PUB_ATTR_S pub = {0x0000FF, VO_INTF_CVBS, VO_OUTPUT_PAL};
    VO_PUB_ATTR_S hdmi = {0x0000FF, VO_INTF_HDMI, VO_OUTPUT_1080P30};
    VO_VIDEO_LAYER_ATTR_S layer = {{0, 0, 720, 576}, {720, 576}, 30, PIXEL_FORMAT_YUV_SEMIPLANAR_420};
    VO_VIDEO_LAYER_ATTR_S tooTall = layer;
    tooTall.stDispRect.u32Height = 600;
    VO_CHN_ATTR_S chn = {0, {0, 0, 720, 576}, 0};
    VO_CHN_ATTR_S odd = {0, {0, 0, 719, 576}, 0};
    RunSteps({
        {"enable without attributes", [] { return HI_MPI_VO_Enable(0); }, VoErr(EN_ERR_NOT_CONFIG)},
        {"HDMI on this board", [&] { return HI_MPI_VO_SetPubAttr(0, &hdmi); }, VoErr(EN_ERR_ILLEGAL_PARAM)},
        {"public attributes", [&] { return HI_MPI_VO_SetPubAttr(0, &pub); }, HI_SUCCESS},
        {"layer before the device", [&] { return HI_MPI_VO_SetVideoLayerAttr(0, &layer); }, VoErr(EN_ERR_NOT_PERM)},
        {"enable", [] { return HI_MPI_VO_Enable(0); }, HI_SUCCESS},
        {"enable again", [] { return HI_MPI_VO_Enable(0); }, static_cast<HI_S32>(0xA00F8042u)},
        {"layer taller than PAL", [&] { return HI_MPI_VO_SetVideoLayerAttr(0, &tooTall); }, VoErr(EN_ERR_ILLEGAL_PARAM)},
        {"layer", [&] { return HI_MPI_VO_SetVideoLayerAttr(0, &layer); }, HI_SUCCESS},
        {"channel before its layer", [&] { return HI_MPI_VO_SetChnAttr(0, 0, &chn); }, VoErr(EN_ERR_NOT_PERM)},
        {"enable layer", [] { return HI_MPI_VO_EnableVideoLayer(0); }, HI_SUCCESS},
        {"odd channel width", [&] { return HI_MPI_VO_SetChnAttr(0, 0, &odd); }, VoErr(EN_ERR_ILLEGAL_PARAM)},
        {"channel", [&] { return HI_MPI_VO_SetChnAttr(0, 0, &chn); }, HI_SUCCESS},
        {"enable channel", [] { return HI_MPI_VO_EnableChn(0, 0); }, HI_SUCCESS},
        {"layer off under its channel", [] { return HI_MPI_VO_DisableVideoLayer(0); }, VoErr(EN_ERR_NOT_PERM)},
        {"device off under its layer", [] { return HI_MPI_VO_Disable(0); }, VoErr(EN_ERR_NOT_PERM)},
        {"disable channel", [] { return HI_MPI_VO_DisableChn(0, 0); }, HI_SUCCESS},
        {"disable layer", [] { return HI_MPI_VO_DisableVideoLayer(0); }, HI_SUCCESS},
        {"disable", [] { return HI_MPI_VO_Disable(0); }, HI_SUCCESS},
        {"enable after disable", [] { return HI_MPI_VO_Enable(0); }, HI_SUCCESS},
    });
}
