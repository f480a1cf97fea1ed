// The encoder channels with the real codecs, a few seconds through the
// camera's own set-up with dumps on, read back with ffprobe, ffmpeg and
// Python.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Platform/MediaSim.h"
#include "Platform/MpiVenc.h"
#include "support/TestBoard.h"
#include "tests/AVCapture/TestCapture.h"

namespace {

const std::string kCheck = std::string(DASHCAM_PYTHON " ") + DASHCAM_SOURCE_DIR + "/tests/AVCapture/media_check.py";

// Takes every waiting stream of the four channels.
void Drain()
{
    for (int k = 0; k < 4; ++k) {
        while (XTestTakeStream(k).status == HI_SUCCESS) {
        }
    }
}

void Pictures(int pictures)
{
    for (int i = 0; i < pictures; ++i) {
        ASSERT_EQ(XMediaSimPump(1), 1);
        Drain();
    }
}

std::string Sh(const std::string& cmd)
{
    int status = -1;
    std::string out = XTestRun(cmd, &status);
    EXPECT_EQ(status, 0) << cmd << "\n" << out;
    return out;
}

std::string Probe(const std::string& file)
{
    return Sh("ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,width,height,r_frame_rate "
              "-of default=noprint_wrappers=1 " + file);
}

// Key-frame flags of every decoded picture, "1" or "0" each.
std::string KeyFrames(const std::string& file)
{
    std::string out = Sh("ffprobe -v error -select_streams v:0 -show_entries frame=key_frame -of csv=p=0 " + file);
    std::string flags;
    for (char c : out) {
        if (c == '0' || c == '1') {
            flags += c;
        }
    }
    return flags;
}

std::string Expected(int pictures, int gop)
{
    std::string s;
    for (int i = 0; i < pictures; ++i) {
        s += i % gop == 0 ? '1' : '0';
    }
    return s;
}

std::string IndexList(int n)
{
    std::string s = "[";
    for (int i = 0; i < n; ++i) {
        s += (i ? ", " : "") + std::to_string(i);
    }
    return s + "]";
}

class VideoEncCodec : public ::testing::Test {
protected:
    void SetUp() override
    {
        XMediaSimSetDump(TRUE);
        testing::internal::CaptureStdout();
        ASSERT_TRUE(m_Cap.UpToEncoders());
        testing::internal::GetCapturedStdout();
    }
    void TearDown() override { XMediaSimSetDump(FALSE); }

    std::string Log(const std::string& name) const { return m_Board.Dir() + "/log/" + name; }

    CTestBoard m_Board;
    CTestAVCapture m_Cap{FALSE};
};

}  // namespace

TEST_F(VideoEncCodec, StreamsAsTheToolsReadThem)
{
    Pictures(90);  // three seconds

    EXPECT_EQ(Probe(Log("venc0.h264")), "codec_name=h264\nwidth=1920\nheight=1080\nr_frame_rate=30/1\n");
    EXPECT_EQ(Probe(Log("venc1.h264")), "codec_name=h264\nwidth=640\nheight=480\nr_frame_rate=25/1\n");
    EXPECT_EQ(KeyFrames(Log("venc0.h264")), Expected(90, 30));
    EXPECT_EQ(KeyFrames(Log("venc1.h264")), Expected(75, 25));
    // a full decode of each
    Sh("ffmpeg -v error -i " + Log("venc0.h264") + " -f null -");
    Sh("ffmpeg -v error -i " + Log("venc1.h264") + " -f null -");

    for (const char* name : {"venc0.h264", "venc1.h264"}) {
        const std::string walk = Sh(kCheck + " nal " + Log(name));
        EXPECT_NE(walk.find("\"three_byte_start_codes\": 0"), std::string::npos) << name << walk;
        EXPECT_NE(walk.find("\"starts_with_4_byte\": true"), std::string::npos) << walk;
        EXPECT_NE(walk.find("\"p_headers\": [97]"), std::string::npos) << name << walk;
        EXPECT_NE(walk.find("\"sei_sizes\": []"), std::string::npos) << name << walk;
        EXPECT_NE(walk.find("\"types\": [7, 8, 5, 1"), std::string::npos) << name << walk;
    }

    // the barcode gives every picture's number in order
    struct Bar {
        const char* file;
        int w, h, cw, ch, n;
    } bars[] = {{"venc0.h264", 1920, 1080, 16, 16, 90}, {"venc1.h264", 640, 480, 16, 16, 75}};
    for (const Bar& b : bars) {
        const std::string out = Sh("ffmpeg -v error -i " + Log(b.file) + " -f rawvideo -pix_fmt gray - | " + kCheck +
                                   " barcode " + std::to_string(b.w) + " " + std::to_string(b.h) + " " +
                                   std::to_string(b.cw) + " " + std::to_string(b.ch));
        EXPECT_NE(out.find("\"indices\": " + IndexList(b.n) + "}"), std::string::npos) << b.file << " " << out;
    }

    // channel 3: 176 x 120 JPEGs that decode, with the barcode scaled down
    for (int i : {0, 45, 89}) {
        char name[32];
        snprintf(name, sizeof(name), "venc3/%06d.jpg", i);
        EXPECT_EQ(Sh("ffprobe -v error -show_entries stream=codec_name,width,height -of default=noprint_wrappers=1 " +
                     Log(name)),
                  "codec_name=mjpeg\nwidth=176\nheight=120\n");
        const std::string out = Sh("ffmpeg -v error -i " + Log(name) + " -f rawvideo -pix_fmt gray - | " + kCheck +
                                   " barcode 176 120 4 16");
        EXPECT_NE(out.find("\"indices\": [" + std::to_string(i) + "]"), std::string::npos) << name << out;
    }
    EXPECT_EQ(XTestRun("ls " + Log("venc2") + " 2>/dev/null | wc -l"), "0\n") << "channel 2 waits for a request";
}

TEST_F(VideoEncCodec, OneSnapshotWithItsUserData)
{
    Pictures(3);
    const std::string gps = "$GPRMC,083559.00,A,4717.11437,N,00833.91522,E,0.004,77.52,091202,,,A*57";
    std::vector<uint8_t> bytes(gps.begin(), gps.end());
    ASSERT_EQ(HI_MPI_VENC_InsertUserData(2, bytes.data(), static_cast<HI_U32>(bytes.size())), HI_SUCCESS);
    VENC_RECV_PIC_PARAM_S one = {1};
    ASSERT_EQ(HI_MPI_VENC_StartRecvPicEx(2, &one), HI_SUCCESS);
    Pictures(10);
    EXPECT_EQ(XTestRun("ls " + Log("venc2")), "000000.jpg\n") << "exactly one picture";
    const std::string file = Log("venc2/000000.jpg");
    EXPECT_EQ(Sh("ffprobe -v error -show_entries stream=width,height -of default=noprint_wrappers=1 " + file),
              "width=1920\nheight=1080\n");
    Sh("ffmpeg -v error -i " + file + " -f null -");
    std::string hex;
    for (unsigned char c : gps) {
        char b[3];
        snprintf(b, sizeof(b), "%02x", c);
        hex += b;
    }
    const std::string walk = Sh(kCheck + " jpeg " + file);
    EXPECT_NE(walk.find("\"com\": [\"" + hex + "\"]"), std::string::npos) << walk;
    EXPECT_NE(walk.find("\"first_marker\": 254"), std::string::npos) << "COM right after SOI: " << walk;
    EXPECT_NE(walk.find("\"eoi\": true"), std::string::npos) << walk;
}

TEST_F(VideoEncCodec, RebuiltAt720pOnTheSameDescriptor)
{
    Pictures(5);
    const int fd = HI_MPI_VENC_GetFd(0);
    testing::internal::CaptureStdout();
    ASSERT_TRUE(m_Cap.CleanUpVideoEnc());
    m_Cap.m_ChnCfg[0].res = PIC_HD720;
    m_Cap.m_ChnCfg[0].bitrate = 4096;
    ASSERT_TRUE(m_Cap.InitVideoEnc());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(HI_MPI_VENC_GetFd(0), fd);
    Pictures(31);
    EXPECT_EQ(Probe(Log("venc0.h264")), "codec_name=h264\nwidth=1280\nheight=720\nr_frame_rate=30/1\n");
    EXPECT_EQ(KeyFrames(Log("venc0.h264")), Expected(31, 30));
}
