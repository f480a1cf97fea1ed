// Resolution and parking switches of the main stream, and the analogue
// output, on a camera brought up on the simulated board.

#include <gtest/gtest.h>

#include <string>

#include "Platform/MpiSys.h"
#include "Platform/MpiVenc.h"
#include "Platform/MpiVo.h"
#include "Platform/host/media/MediaModules.h"
#include "Record/PauseReasons.h"
#include "tests/AVCapture/CaptureRig.h"

namespace {

constexpr HI_S32 kFault = static_cast<HI_S32>(0xA0078015u);

struct tagMainAttr {
    unsigned width, height, bitrate, gop, fps;
};

tagMainAttr MainAttr()
{
    VENC_CHN_ATTR_S a;
    EXPECT_EQ(HI_MPI_VENC_GetChnAttr(0, &a), HI_SUCCESS);
    const VENC_ATTR_H264_S& h = a.stVeAttr.stAttrH264e;
    const auto& cbr = a.stRcAttr.stAttrH264Cbr;
    return {h.u32PicWidth, h.u32PicHeight, cbr.u32BitRate, cbr.u32Gop, static_cast<unsigned>(cbr.fr32DstFrmRate)};
}

}  // namespace

class CaptureSwitch : public CaptureRig {
protected:
    void SetUp() override
    {
        CaptureRig::SetUp();
        XMediaSimUsePlaceholders(TRUE);
    }
    void Start()
    {
        std::string out;
        ASSERT_TRUE(InitCaptured(&out)) << out;
        ASSERT_TRUE(m_Sink.WaitBeyond(0, 2));
    }
    // The switch's result with its standard output.
    BOOL Switch(const std::function<BOOL()>& call, std::string* out)
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const BOOL ok = call();
        *out = testing::internal::GetCapturedStdout();
        *out += testing::internal::GetCapturedStderr();
        return ok;
    }
    // Main-stream packets arrive again, described with the row's new figures.
    void ExpectFlowing(unsigned width, unsigned bitrate)
    {
        const size_t n = m_Sink.Count(0);
        MediaSimVenc info = {};
        ASSERT_TRUE(m_Sink.WaitBeyond(0, n + 2))
            << "paused " << Camera()->m_PauseCapture.load() << " running " << Camera()->CaptureRunning()
            << " encoded " << (XMediaSimVencInfo(0, &info) ? info.u64Encoded : 0) << " got " << info.u64Got
            << " queued " << info.u32Queued << " live " << XMediaSimChainLive();
        const tagSinkPacket last = m_Sink.Packets(0).back();
        EXPECT_EQ(last.row.width, width);
        EXPECT_EQ(last.row.bitrate, bitrate);
        EXPECT_FALSE(m_Sink.IsPaused());
    }
};

TEST_F(CaptureSwitch, AtStartUpOnlySizesChange)
{
    CRigCapture* cam = Camera();
    std::string out;
    EXPECT_TRUE(Switch([&] { return cam->ResolutionSwitch(1); }, &out));
    EXPECT_EQ(out,
              "=========PIC_HD1080============\n"
              "****** NewResolutionMode == OldResolutionMode, Needn't switch ! *******\n");
    EXPECT_TRUE(m_Sink.Resolutions().empty());

    delete m_lpCapture;
    m_lpCapture = nullptr;
    cam = Camera();
    EXPECT_TRUE(Switch([&] { return cam->ResolutionSwitch(0); }, &out));
    EXPECT_EQ(out, "=========PIC_HD720============\n");
    ASSERT_EQ(m_Sink.Resolutions().size(), 1u);
    EXPECT_EQ(m_Sink.Resolutions()[0], std::make_tuple(PIC_HD720, 1280u, 720u));
    EXPECT_EQ(cam->Row(0).res, PIC_HD720);
    EXPECT_EQ(cam->Row(0).bitrate, 4096u);
    MediaSimVenc info;
    ASSERT_TRUE(XMediaSimVencInfo(0, &info));
    EXPECT_FALSE(info.bCreated);
    EXPECT_TRUE(m_Sink.Pauses().empty());

    // the sizes the overlays read
    struct Case {
        int chn;
        BOOL ok;
        unsigned w, h;
    } cases[] = {{0, TRUE, 1280, 720}, {1, TRUE, 640, 480}, {2, TRUE, 1920, 1080}, {3, TRUE, 176, 120},
                 {4, FALSE, 0, 0},     {-1, FALSE, 0, 0}};
    for (const Case& c : cases) {
        unsigned w = 0;
        unsigned h = 0;
        EXPECT_EQ(cam->GetChannelResolution(c.chn, w, h), c.ok) << c.chn;
        EXPECT_EQ(w, c.w) << c.chn;
        EXPECT_EQ(h, c.h) << c.chn;
    }
}

TEST_F(CaptureSwitch, ResolutionAtRunTime)
{
    Start();
    std::string out;
    EXPECT_TRUE(Switch([&] { return Camera()->ResolutionSwitch(0); }, &out)) << out;
    tagMainAttr a = MainAttr();
    EXPECT_EQ(a.width, 1280u);
    EXPECT_EQ(a.height, 720u);
    EXPECT_EQ(a.bitrate, 4096u);
    EXPECT_EQ(m_Sink.Resolutions().back(), std::make_tuple(PIC_HD720, 1280u, 720u));
    EXPECT_EQ(m_Sink.Pauses().back(), std::make_pair(TRUE, TRUE));
    EXPECT_EQ(m_Links.Calls().back(), "LayoutOSD(0)");
    ExpectFlowing(1280, 4096);

    // the same mode again: no rebuild (a rebuild would fail here)
    XMediaSimFail("HI_MPI_VENC_CreateChn", kFault, 0);
    EXPECT_TRUE(Switch([&] { return Camera()->ResolutionSwitch(0); }, &out));
    EXPECT_NE(out.find("Needn't switch"), std::string::npos);
    XMediaSimClearFaults();

    // 2 selects 1080p without the banner
    EXPECT_TRUE(Switch([&] { return Camera()->ResolutionSwitch(2); }, &out)) << out;
    EXPECT_EQ(out.find("PIC_HD1080"), std::string::npos) << out;
    a = MainAttr();
    EXPECT_EQ(a.width, 1920u);
    EXPECT_EQ(a.bitrate, 8192u);
    ExpectFlowing(1920, 8192);
}

TEST_F(CaptureSwitch, FailedRebuildRestoresThePreviousMode)
{
    Start();
    XMediaSimFail("HI_MPI_VENC_CreateChn", kFault, 0, 1);
    std::string out;
    EXPECT_FALSE(Switch([&] { return Camera()->ResolutionSwitch(0); }, &out));
    EXPECT_NE(out.find("InitVideoEnc() Error.\n"), std::string::npos) << out;
    tagMainAttr a = MainAttr();
    EXPECT_EQ(a.width, 1920u);
    EXPECT_EQ(a.bitrate, 8192u);
    EXPECT_EQ(Camera()->Row(0).res, PIC_HD1080);
    EXPECT_EQ(Camera()->m_SensorInputResolution, PIC_HD1080);
    EXPECT_EQ(m_Sink.Resolutions().back(), std::make_tuple(PIC_HD1080, 1920u, 1080u));
    ExpectFlowing(1920, 8192);
    // a retry rebuilds
    EXPECT_TRUE(Switch([&] { return Camera()->ResolutionSwitch(0); }, &out)) << out;
    EXPECT_EQ(out.find("Needn't switch"), std::string::npos) << out;
    EXPECT_EQ(MainAttr().width, 1280u);
    ExpectFlowing(1280, 4096);
}

TEST_F(CaptureSwitch, FailedLayoutStillResumes)
{
    Start();
    m_Links.m_bLayoutResult = FALSE;
    std::string out;
    EXPECT_FALSE(Switch([&] { return Camera()->ResolutionSwitch(0); }, &out));
    EXPECT_NE(out.find("g_OSDManager.LayoutOSD Error.\n"), std::string::npos) << out;
    ExpectFlowing(1280, 4096);
    EXPECT_FALSE(Switch([&] { return Camera()->ParkingMonitoringEnable(1); }, &out));
    EXPECT_NE(out.find("g_OSDManager.LayoutOSD Error.\n"), std::string::npos) << out;
    ExpectFlowing(1280, 1024);
}

// A switch made while a pause reason holds (the phone's stop) leaves
// capture and recording paused; they go on once the reason is dropped.
TEST_F(CaptureSwitch, AHeldPauseSurvivesBothSwitches)
{
    Start();
    CPauseReasons* reasons = CPauseReasons::instance();
    reasons->Reset();
    reasons->Add(CPauseReasons::emPauseReason_AppStop, [&] { Camera()->PauseCapture(); });
    const int resumes = m_Sink.Resumes();
    std::string out;
    EXPECT_TRUE(Switch([&] { return Camera()->ResolutionSwitch(0); }, &out)) << out;
    EXPECT_TRUE(Switch([&] { return Camera()->ParkingMonitoringEnable(1); }, &out)) << out;
    EXPECT_EQ(m_Sink.Resumes(), resumes);
    EXPECT_TRUE(Camera()->m_PauseCapture.load());
    EXPECT_TRUE(reasons->Remove(CPauseReasons::emPauseReason_AppStop, [&] {
        Camera()->ResumeCapture();
        m_Sink.ResumeCommonRecord();
    }));
    ExpectFlowing(1280, 1024);
    reasons->Reset();
}

TEST_F(CaptureSwitch, ParkingEnterAndLeave)
{
    struct Case {
        int voice, associate;
        std::vector<std::string> enter, leave;
    } cases[] = {
        {1, 0,
         {"PlayAudio(31)", "LinkageConfig(16,0,2)", "LinkageConfig(256,0,2)", "LayoutOSD()"},
         {"PlayAudio(32)", "LinkageConfig(16,2,0)", "LinkageConfig(256,2,0)", "LayoutOSD()"}},
        {0, 1,
         {"LinkageConfig(2,0,2)", "LinkageConfig(32,0,2)", "LinkageConfig(16,0,2)", "LinkageConfig(256,0,2)",
          "LayoutOSD()"},
         {"LinkageConfig(16,2,0)", "LinkageConfig(256,2,0)", "LinkageConfig(2,2,0)", "LinkageConfig(32,2,0)",
          "LayoutOSD()"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.associate);
        TearDown();
        SetUp();
        m_Links.m_Settings["funcset/voice_parking"] = c.voice;
        m_Links.m_Settings["funcset/snapshot_associate_video"] = c.associate;
        Start();
        m_Links.ClearCalls();
        std::string out;
        EXPECT_TRUE(Switch([&] { return Camera()->ParkingMonitoringEnable(1); }, &out)) << out;
        EXPECT_NE(out.find("===========ParkingEnable: 1==========LastParkingFlag: 0===========\n"),
                  std::string::npos)
            << out;
        EXPECT_EQ(m_Links.Calls(), c.enter);
        EXPECT_EQ(m_Sink.ParkingModes(), std::vector<BOOL>{TRUE});
        EXPECT_EQ(m_Sink.Pauses().back(), std::make_pair(TRUE, TRUE));
        tagMainAttr a = MainAttr();
        EXPECT_EQ(a.fps, 1u);
        EXPECT_EQ(a.gop, 1u);
        EXPECT_EQ(a.bitrate, 1024u);
        EXPECT_EQ(Camera()->Row(0).vi_fps, 30u);

        // 720p in parking keeps 1024
        EXPECT_TRUE(Switch([&] { return Camera()->ResolutionSwitch(0); }, &out)) << out;
        EXPECT_EQ(MainAttr().bitrate, 1024u);
        EXPECT_EQ(MainAttr().width, 1280u);

        m_Links.ClearCalls();
        EXPECT_TRUE(Switch([&] { return Camera()->ParkingMonitoringEnable(0); }, &out)) << out;
        EXPECT_NE(out.find("===========ParkingEnable: 0==========LastParkingFlag: 1===========\n"),
                  std::string::npos)
            << out;
        // leaving parking flushes nothing
        EXPECT_EQ(m_Sink.Pauses().back(), std::make_pair(FALSE, TRUE));
        EXPECT_EQ(m_Links.Calls(), c.leave);
        a = MainAttr();
        EXPECT_EQ(a.fps, 30u);
        EXPECT_EQ(a.gop, 30u);
        EXPECT_EQ(a.bitrate, 8192u);  // also at 720p
        EXPECT_EQ(a.width, 1280u);
        ExpectFlowing(1280, 8192);
    }
}

TEST_F(CaptureSwitch, FailedParkingSwitchResumes)
{
    Start();
    XMediaSimFail("HI_MPI_VENC_CreateChn", kFault, 0, 1);
    std::string out;
    EXPECT_FALSE(Switch([&] { return Camera()->ParkingMonitoringEnable(1); }, &out));
    EXPECT_NE(out.find("InitVideoEnc() Error.\n"), std::string::npos) << out;
    EXPECT_FALSE(m_Sink.IsPaused());
    EXPECT_FALSE(Camera()->m_PauseCapture.load());
    // a retry succeeds
    EXPECT_TRUE(Switch([&] { return Camera()->ParkingMonitoringEnable(1); }, &out)) << out;
    ExpectFlowing(1920, 1024);
}

TEST_F(CaptureSwitch, AnalogueOutput)
{
    Start();
    EXPECT_TRUE(Camera()->StartVO());
    EXPECT_TRUE(XMediaVoChnEnabled(0));
    VO_PUB_ATTR_S pub;
    ASSERT_EQ(HI_MPI_VO_GetPubAttr(0, &pub), HI_SUCCESS);
    EXPECT_EQ(pub.u32BgColor, 0x0000FFu);
    EXPECT_EQ(pub.enIntfType, VO_INTF_CVBS);
    EXPECT_EQ(pub.enIntfSync, VO_OUTPUT_PAL);
    MPP_CHN_S dst = {HI_ID_VOU, 0, 0};
    MPP_CHN_S src;
    ASSERT_EQ(HI_MPI_SYS_GetBindbyDest(&dst, &src), HI_SUCCESS);
    EXPECT_EQ(src.enModId, HI_ID_VIU);
    // a second start configures nothing (every step would fail)
    XMediaSimFail("HI_MPI_VO_SetPubAttr", kFault);
    XMediaSimFail("HI_MPI_VO_SetChnAttr", kFault);
    XMediaSimFail("HI_MPI_SYS_Bind", kFault);
    EXPECT_TRUE(Camera()->StartVO());
    XMediaSimClearFaults();
    EXPECT_TRUE(Camera()->StopVO());
    EXPECT_NE(HI_MPI_SYS_GetBindbyDest(&dst, &src), HI_SUCCESS);
    EXPECT_FALSE(XMediaVoChnEnabled(0));
    // once stopped it starts again
    EXPECT_TRUE(Camera()->StartVO());
    EXPECT_TRUE(XMediaVoChnEnabled(0));
}

TEST(CaptureVoParam, SyncTable)
{
    struct Case {
        int sync;
        BOOL ok;
        unsigned w, h, rate;
    } cases[] = {
        {0, TRUE, 720, 576, 25},     {1, TRUE, 720, 480, 30},     {2, TRUE, 1920, 1080, 24},
        {3, TRUE, 1920, 1080, 25},   {4, TRUE, 1920, 1080, 30},   {5, TRUE, 1280, 720, 50},
        {6, TRUE, 1280, 720, 60},    {7, FALSE, 0, 0, 0},         {8, FALSE, 0, 0, 0},
        {9, TRUE, 1920, 1080, 50},   {10, TRUE, 1920, 1080, 60},  {11, FALSE, 0, 0, 0},
        {12, FALSE, 0, 0, 0},        {13, TRUE, 800, 600, 60},    {14, TRUE, 1024, 768, 60},
        {15, TRUE, 1280, 1024, 60},  {16, TRUE, 1366, 768, 60},   {17, TRUE, 1440, 900, 60},
        {18, TRUE, 1280, 800, 60},   {19, FALSE, 0, 0, 0},
    };
    for (const Case& c : cases) {
        unsigned w = 0;
        unsigned h = 0;
        unsigned rate = 0;
        EXPECT_EQ(CCommAVCapture::GetVOParam(static_cast<VO_INTF_SYNC_E>(c.sync), &w, &h, &rate), c.ok) << c.sync;
        EXPECT_EQ(w, c.w) << c.sync;
        EXPECT_EQ(h, c.h) << c.sync;
        EXPECT_EQ(rate, c.rate) << c.sync;
    }
}
