// The camera's start-up and clean-up on the simulated board: sensor straps,
// MIPI receiver, ISP and input attributes, one failure per step, the
// settings read at start-up and the threads' scheduling.

#include <gtest/gtest.h>

#include <sched.h>

#include <cstdio>
#include <string>

#include "Platform/MpiIsp.h"
#include "Platform/MpiVenc.h"
#include "Platform/MpiVi.h"
#include "Platform/common/ThreadAttr.h"
#include "Platform/host/media/MediaModules.h"
#include "tests/AVCapture/CaptureRig.h"

namespace {

constexpr HI_S32 kFault = static_cast<HI_S32>(0xA0078015u);

// The MIPI record the board kept, read back by Python's struct.
std::string MipiRecord(const CTestBoard& board)
{
    const std::string path = board.Path("/log/hi_mipi.bin");
    return XTestRun(std::string(DASHCAM_PYTHON) + " -c \"import struct,sys; d=open('" + path +
                    "','rb').read(); print(len(d), *struct.unpack_from('<ii8h', d))\"");
}

// Whether the host grants a real-time policy to a new thread.
bool HostGrants(int policy, int priority)
{
    pthread_t t;
    if (XCreateSchedThread(&t, policy, priority, [](void*) -> void* { return nullptr; }, nullptr) != 0) {
        return false;
    }
    pthread_join(t, nullptr);
    return true;
}

}  // namespace

using CaptureBringUp = CaptureRig;

TEST_F(CaptureBringUp, StrapsSelectSensorMipiInputAndIsp)
{
    struct Case {
        int pin73, pin75;
        int mode;
        std::string mipi;  // length, input mode, raw type, lanes
        VI_INTF_MODE_E intf;
        HI_U32 hsyncAct, vsyncAct, vsyncNeg;
        ISP_BAYER_FORMAT_E bayer;
    } cases[] = {
        {0, 0, 32, "304 0 3 0 1 -1 -1 -1 -1 -1 -1\n", VI_MODE_LVDS, 1280, 720, 1, BAYER_GRBG},
        {1, 0, 29, "304 0 3 0 1 2 3 -1 -1 -1 -1\n", VI_MODE_MIPI, 1920, 1080, 0, BAYER_RGGB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        TearDown();
        SetUp();
        m_Board.SetPin(73, c.pin73);
        m_Board.SetPin(75, c.pin75);
        std::string out;
        ASSERT_TRUE(InitCaptured(&out)) << out;
        EXPECT_EQ(Camera()->m_SensorMode, c.mode);
        EXPECT_EQ(MipiRecord(m_Board), c.mipi);
        VI_DEV_ATTR_S dev;
        ASSERT_EQ(HI_MPI_VI_GetDevAttr(0, &dev), HI_SUCCESS);
        EXPECT_EQ(dev.enIntfMode, c.intf);
        EXPECT_EQ(dev.stDevRect.s32X, 0);
        EXPECT_EQ(dev.stDevRect.s32Y, 0);
        EXPECT_EQ(dev.stDevRect.u32Width, 1920u);
        EXPECT_EQ(dev.stDevRect.u32Height, 1080u);
        EXPECT_EQ(dev.au32CompMask[0], 0xFFF00000u);
        EXPECT_EQ(dev.stSynCfg.enVsyncNeg, c.vsyncNeg);
        EXPECT_EQ(dev.stSynCfg.stTimingBlank.u32HsyncAct, c.hsyncAct);
        EXPECT_EQ(dev.stSynCfg.stTimingBlank.u32VsyncVact, c.vsyncAct);
        EXPECT_EQ(dev.enDataPath, VI_PATH_ISP);
        EXPECT_EQ(dev.enInputDataType, VI_DATA_TYPE_RGB);
        VI_CHN_ATTR_S chn;
        ASSERT_EQ(HI_MPI_VI_GetChnAttr(0, &chn), HI_SUCCESS);
        EXPECT_EQ(chn.stDestSize.u32Width, 1920u);
        EXPECT_EQ(chn.stDestSize.u32Height, 1080u);
        EXPECT_EQ(chn.bMirror, 1);
        EXPECT_EQ(chn.bFlip, 1);
        ISP_PUB_ATTR_S pub;
        ASSERT_EQ(HI_MPI_ISP_GetPubAttr(0, &pub), HI_SUCCESS);
        EXPECT_EQ(pub.stWndRect.u32Width, 1920u);
        EXPECT_EQ(pub.stWndRect.u32Height, 1080u);
        EXPECT_EQ(pub.enBayer, c.bayer);
        EXPECT_FLOAT_EQ(pub.f32FrameRate, 30.0f);
        EXPECT_TRUE(WaitFor([&] { return Camera()->CaptureRunning(); }));
    }
}

TEST_F(CaptureBringUp, RefusedStrapsAndFailedPinRead)
{
    struct Case {
        int pin73, pin75;
        const char* line;
    } cases[] = {
        {0, 1, "Unkonwn Image Sensor Type 2\n"},
        {1, 1, "Unkonwn Image Sensor Type 3\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        TearDown();
        SetUp();
        m_Board.SetPin(73, c.pin73);
        m_Board.SetPin(75, c.pin75);
        std::string out;
        EXPECT_FALSE(InitCaptured(&out));
        EXPECT_NE(out.find(c.line), std::string::npos) << out;
        EXPECT_NE(out.find("InitImageSensorType() Error."), std::string::npos) << out;
        EXPECT_NE(out.find("Init Capture Failed...\n"), std::string::npos) << out;
        EXPECT_EQ(CMipiModel::instance()->SetCount(), 0);
    }
    // no register file: the pins cannot be read
    CGPIOManager::instance()->CleanUp();
    ASSERT_EQ(remove(m_Board.Path("/dev/mem").c_str()), 0);
    std::string out;
    EXPECT_FALSE(InitCaptured(&out));
    EXPECT_NE(out.find("Get Image Sensor Type Error.\n"), std::string::npos) << out;
}

TEST_F(CaptureBringUp, EachFailedStepStopsStartUpAndCleanUpTakesAllDown)
{
    struct Case {
        const char* step;
        std::function<void()> inject;
        const char* line;
    } cases[] = {
        {"pools", [] { XMediaSimFail("HI_MPI_VB_Init", kFault); }, "InitSDKVideoCache() Error."},
        {"sensor", [] { XMediaSimFail("HI_MPI_ISP_SensorRegCallBack", kFault); },
         "RegisterImageSensorCallback() failed.\n"},
        {"mipi", [] { CMipiModel::instance()->FailSet(EIO); }, "set mipi attr failed\n"},
        {"ae", [] { XMediaSimFail("HI_MPI_AE_Register", kFault); }, "HI_MPI_AE_Register failed width 0xa0078015\n"},
        {"isp", [] { XMediaSimFail("HI_MPI_ISP_Init", kFault); }, "HI_MPI_ISP_Init failed with 0xa0078015\n"},
        {"vi", [] { XMediaSimFail("HI_MPI_VI_SetChnAttr", kFault); },
         "HI_MPI_VI_SetChnAttr(0) failed with 0xa0078015\n"},
        {"vpss", [] { XMediaSimFail("HI_MPI_VPSS_CreateGrp", kFault); }, "InitVPSS() Error."},
        {"venc", [] { XMediaSimFail("HI_MPI_VENC_CreateChn", kFault, 0); }, "InitVideoEnc() Error."},
        {"aenc", [] { XMediaSimFail("HI_MPI_AENC_CreateChn", kFault); }, "InitSDKAudioIO() Error."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        TearDown();
        SetUp();
        c.inject();
        std::string out;
        EXPECT_FALSE(InitCaptured(&out));
        EXPECT_NE(out.find(c.line), std::string::npos) << out;
        EXPECT_NE(out.find("Init Capture Failed...\n"), std::string::npos) << out;
        EXPECT_EQ(out.find("Starting CAVCapture thread..."), std::string::npos) << out;
        EXPECT_FALSE(Camera()->CaptureRunning());
        XMediaSimClearFaults();
        CMipiModel::instance()->FailSet(0, 0);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_TRUE(Camera()->CleanUp());
        EXPECT_TRUE(Camera()->CleanUp());  // a second time does no harm
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(Camera()->m_ISPThead, static_cast<pthread_t>(0));
        EXPECT_FALSE(XMediaSimChainLive());
        for (int chn = 0; chn < 4; ++chn) {
            MediaSimVenc info;
            ASSERT_TRUE(XMediaSimVencInfo(chn, &info));
            EXPECT_FALSE(info.bCreated) << chn;
        }
        // the graph is empty: a fresh start-up succeeds
        delete m_lpCapture;
        m_lpCapture = nullptr;
        ASSERT_TRUE(InitCaptured(&out)) << out;
    }
}

TEST_F(CaptureBringUp, SettingsReadAtStartUp)
{
    struct Case {
        int audiorecord;
        BOOL testing, testOK;
        BOOL audioIn;
    } cases[] = {
        {0, FALSE, FALSE, FALSE}, {1, FALSE, FALSE, TRUE}, {0, TRUE, FALSE, TRUE},
        {0, TRUE, TRUE, FALSE},   {1, TRUE, TRUE, TRUE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.audiorecord << c.testing << c.testOK);
        TearDown();
        SetUp();
        m_Links.m_Settings["funcset/audiorecord"] = c.audiorecord;
        m_Links.m_bFactoryTesting = c.testing;
        m_Links.m_bFactoryTestOK = c.testOK;
        m_Links.m_Settings["funcset/enableparkingmonitor"] = 2;
        std::string out;
        ASSERT_TRUE(InitCaptured(&out)) << out;
        EXPECT_EQ(Camera()->m_EnableAudioIn.load(), c.audioIn);
        // the capture thread mutes the microphone when audio is off
        ASSERT_TRUE(WaitFor([&] { return Camera()->CaptureRunning(); }));
        EXPECT_EQ(CAcodecModel::instance()->MicMuted(), !c.audioIn);
        EXPECT_EQ(Camera()->m_ParkingTimeThreshold, 10u);  // absent from the settings
        EXPECT_EQ(Camera()->m_EnableParkingMonitor, 2);    // the value as read
        EXPECT_EQ(m_Sink.m_Init, std::make_tuple(30, 30, 1920u, 1080u));
    }
    TearDown();
    SetUp();
    m_Links.m_Settings["funcset/parkingtimethreshold"] = 25;
    ASSERT_TRUE(InitCaptured(nullptr));
    EXPECT_EQ(Camera()->m_ParkingTimeThreshold, 25u);
}

TEST_F(CaptureBringUp, IspRunsRoundRobinAndCaptureFifoWhereTheHostAllows)
{
    ASSERT_TRUE(InitCaptured(nullptr));
    ASSERT_TRUE(m_Sink.WaitBeyond(0, 0));
    int policy = -1;
    int priority = -1;
    ASSERT_TRUE(XMediaSimCaller("HI_MPI_ISP_Run", &policy, &priority));
    if (HostGrants(SCHED_RR, 50)) {
        EXPECT_EQ(policy, SCHED_RR);
        EXPECT_EQ(priority, 50);
    } else {
        EXPECT_EQ(policy, SCHED_OTHER);
    }
    ASSERT_TRUE(XMediaSimCaller("HI_MPI_VENC_GetStream/0", &policy, &priority));
    if (HostGrants(SCHED_FIFO, 99)) {
        EXPECT_EQ(policy, SCHED_FIFO);
        EXPECT_EQ(priority, 99);
    } else {
        EXPECT_EQ(policy, SCHED_OTHER);
    }
    // every packet comes from the capture thread, with its row
    const std::vector<tagSinkPacket> packets = m_Sink.Packets();
    ASSERT_FALSE(packets.empty());
    for (const tagSinkPacket& p : packets) {
        EXPECT_EQ(p.tid, packets[0].tid);
        EXPECT_TRUE(p.row.channel_id == 0 || p.row.channel_id == 3 || p.row.channel_id == 4) << p.row.channel_id;
    }
    testing::internal::CaptureStdout();
    EXPECT_TRUE(Camera()->CleanUp());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("CAVCapture Thread Quiting..."), std::string::npos);
    EXPECT_FALSE(XMediaIspRunning());
    EXPECT_EQ(m_Sink.m_nCleanUps.load(), 1);
    EXPECT_FALSE(m_Sink.Pauses().empty());
}
