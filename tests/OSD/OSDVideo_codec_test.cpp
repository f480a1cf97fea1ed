// Overlays in the encoded video: the simulated pipeline with the real
// encoders in process, the overlay manager on it, the channel dumps decoded
// with ffmpeg and checked in Python.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Platform/MediaSim.h"
#include "Platform/MpiVenc.h"
#include "tests/AVCapture/TestCapture.h"
#include "tests/OSD/OSDTestSupport.h"

namespace {

const std::string kFrames = std::string(DASHCAM_PYTHON " ") + DASHCAM_SOURCE_DIR + "/tests/OSD/osd_frames.py";
const std::string kData = std::string(DASHCAM_SOURCE_DIR) + "/OSD/data/";

std::string Sh(const std::string& cmd)
{
    int status = -1;
    std::string out = XTestRun(cmd, &status);
    EXPECT_EQ(status, 0) << cmd << "\n" << out;
    return out;
}

class OSDVideoCodec : public ::testing::Test {
protected:
    void SetUp() override
    {
        XMediaSimSetDump(TRUE);
        m_Osd.Bind(&m_Sources);
        testing::internal::CaptureStdout();
        const BOOL up = m_Cap.UpToEncoders();
        testing::internal::GetCapturedStdout();
        ASSERT_TRUE(up);
    }
    void TearDown() override
    {
        testing::internal::CaptureStdout();
        m_Osd.CleanUp();
        testing::internal::GetCapturedStdout();
        XTestSetModel(nullptr);
        XMediaSimSetDump(FALSE);
    }

    BOOL InitOSD()
    {
        testing::internal::CaptureStdout();
        const BOOL ok = m_Osd.Init();
        testing::internal::GetCapturedStdout();
        return ok;
    }

    // `n` pictures about `gapMs` apart, every stream taken; the main stream's
    // time stamps kept.
    void Pictures(int n, int gapMs)
    {
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(1, XMediaSimPump(1));
            for (int k = 0; k < 4; ++k) {
                for (;;) {
                    tagTestStream s = XTestTakeStream(k);
                    if (s.status != HI_SUCCESS) {
                        break;
                    }
                    if (k == 0) {
                        m_Pts.push_back(s.pts.back());
                    }
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        }
    }

    std::string Log(const std::string& name) const { return m_Board.Dir() + "/log/" + name; }

    // ffmpeg's frames of a dump, as `fmt` raw video, piped into osd_frames.py
    // (yuvj444p for the JPEGs keeps their sample values as the encoder had them).
    std::string Check(const std::string& file, const std::string& fmt, const std::string& args)
    {
        return Sh("ffmpeg -v error -i " + file + " -f rawvideo -pix_fmt " + fmt + " - | " + kFrames + " " + args);
    }

    std::string PtsFile()
    {
        const std::string f = m_Board.Dir() + "/pts.txt";
        std::ofstream out(f);
        for (uint64_t p : m_Pts) {
            out << p << "\n";
        }
        return f;
    }

    CTestBoard m_Board;
    CTestAVCapture m_Cap{FALSE};
    CTestOSDSources m_Sources{true};
    CTestOSDManager m_Osd;
    std::vector<uint64_t> m_Pts;
};

TEST_F(OSDVideoCodec, TimestampSpeedAndLogoInTheMainStream)
{
    ASSERT_TRUE(InitOSD());
    ASSERT_TRUE(XTestWaitFor([] { return XTestRgn(0).u64SetBitMap > 0; }));
    Pictures(30, 70);  // over about two seconds of the clock
    const std::string ts = Check(Log("venc0.h264"), "gray",
                                 "timestamp 1920 1080 752 1040 " + kData + "CharImageDataBase32.bin " + PtsFile());
    EXPECT_NE(std::string::npos, ts.find("\"ok\": true")) << ts;

    // the GPS reader's messages: a receiver, the speed shown, 100 km/h
    ASSERT_TRUE(m_Osd.SendMsg(XM_GPS_MODULE_ACTIVE, 1, 0));
    ASSERT_TRUE(m_Osd.SendMsg(XM_DISPLAY_GPS_SPEED_OSD, 1, 0));
    ASSERT_TRUE(m_Osd.SendMsg(XM_GPS_SPEED, 0, 100));
    ASSERT_TRUE(XTestWaitFor([] { return XTestRgn(4).u64SetBitMap > 0 && XTestPlace(4, 0).show == 1; }));
    const size_t before = m_Pts.size();
    Pictures(5, 0);
    // the new pictures only: the dump begun afresh at the next channel creation is not needed here
    const std::string tail = Sh("ffmpeg -v error -i " + Log("venc0.h264") + " -vf select='gte(n\\," +
                                std::to_string(before) + ")' -vsync 0 -f rawvideo -pix_fmt gray - | " + kFrames +
                                " text 1920 1080 1072 1040 " + kData + "CharImageDataBase32.bin '100 km/h'");
    EXPECT_NE(std::string::npos, tail.find("\"ok\": true")) << tail;
    const std::string logo = Check(Log("venc0.h264"), "yuv444p", "logo 1920 1080 48 32 " + kData +
                                                                     "LogoImageDataBase48.bin");
    EXPECT_NE(std::string::npos, logo.find("\"ok\": true")) << logo;
    const std::string sub = Check(Log("venc1.h264"), "yuv444p", "logo 640 480 24 16 " + kData +
                                                                    "LogoImageDataBase32.bin");
    EXPECT_NE(std::string::npos, sub.find("\"ok\": true")) << sub;

    // one frame kept for people to look at
    const std::string dir = std::string(DASHCAM_BINARY_DIR) + "/artifacts";
    mkdir(dir.c_str(), 0755);
    Sh("ffmpeg -v error -y -i " + Log("venc0.h264") + " -vf select='eq(n\\," + std::to_string(m_Pts.size() - 1) +
       ")' -vsync 0 -frames:v 1 " + dir + "/osd_main_stream.png");

    // the thumbnail channel shows none of its overlays: no white text where
    // its timestamp would be
    const std::string none = Sh("ffmpeg -v error -i " + Log("venc3/000003.jpg") + " -f rawvideo -pix_fmt gray - | " +
                                kFrames + " none 176 120 0 16 176 64");
    EXPECT_NE(std::string::npos, none.find("\"ok\": true")) << none;
}

TEST_F(OSDVideoCodec, SnapshotChannelCarriesTheTimestamp)
{
    ASSERT_TRUE(InitOSD());
    ASSERT_TRUE(XTestWaitFor([] { return XTestRgn(2).u64SetBitMap > 0; }));
    VENC_RECV_PIC_PARAM_S one = {1};
    ASSERT_EQ(HI_SUCCESS, HI_MPI_VENC_StartRecvPicEx(2, &one));
    Pictures(2, 0);
    m_Pts.resize(1);  // the snapshot is of the first picture
    const std::string text = Check(Log("venc2/000000.jpg"), "gray",
                                   "timestamp 1920 1080 752 1040 " + kData + "CharImageDataBase32.bin " + PtsFile());
    EXPECT_NE(std::string::npos, text.find("\"ok\": true")) << text;
    const std::string logo =
        Check(Log("venc2/000000.jpg"), "yuvj444p", "logo 1920 1080 48 32 " + kData + "LogoImageDataBase48.bin");
    EXPECT_NE(std::string::npos, logo.find("\"ok\": true")) << logo;
}

TEST_F(OSDVideoCodec, AfterA720pSwitch)
{
    ASSERT_TRUE(InitOSD());
    // the resolution switch: encoders rebuilt, regions kept, one layout without speed
    testing::internal::CaptureStdout();
    m_Cap.CleanUpVideoEnc();
    m_Cap.m_ChnCfg[0].res = PIC_HD720;
    const BOOL rebuilt = m_Cap.InitVideoEnc();
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(rebuilt);
    EXPECT_TRUE(m_Osd.LayoutOSD(0));
    EXPECT_EQ(432, XTestPlace(0, 0).x);
    EXPECT_EQ(688, XTestPlace(0, 0).y);
    ASSERT_TRUE(XTestWaitFor([] { return XTestRgn(0).u64SetBitMap > 0; }));
    Pictures(12, 50);
    const std::string ts = Check(Log("venc0.h264"), "gray",
                                 "timestamp 1280 720 432 688 " + kData + "CharImageDataBase32.bin " + PtsFile());
    EXPECT_NE(std::string::npos, ts.find("\"ok\": true")) << ts;
}

TEST_F(OSDVideoCodec, ModelLeftOfTheTimestamp)
{
    XTestSetModel("MX1");
    ASSERT_TRUE(InitOSD());
    const unsigned mw = XTestRgn(12).attr.unAttr.stOverlay.stSize.u32Width;
    const unsigned x0 = ((1920 - (mw + 400)) / 2) & ~15u;
    const unsigned tx = (x0 + mw + 15) & ~15u;
    EXPECT_EQ(tx, static_cast<unsigned>(XTestPlace(0, 0).x));
    EXPECT_NE(752u, tx);
    ASSERT_TRUE(XTestWaitFor([] { return XTestRgn(0).u64SetBitMap > 0; }));
    Pictures(8, 50);
    const std::string model = Check(Log("venc0.h264"), "gray",
                                    "text 1920 1080 " + std::to_string(x0) + " 1040 " + kData +
                                        "CharImageDataBase32.bin MX1");
    EXPECT_NE(std::string::npos, model.find("\"ok\": true")) << model;
    const std::string ts = Check(Log("venc0.h264"), "gray",
                                 "timestamp 1920 1080 " + std::to_string(tx) + " 1040 " + kData +
                                     "CharImageDataBase32.bin " + PtsFile());
    EXPECT_NE(std::string::npos, ts.find("\"ok\": true")) << ts;
}

}  // namespace
