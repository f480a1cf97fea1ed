// Speaker volume and microphone mute of the camera object on the codec model.

#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>

#include <string>

#include "Main/Wiring/SharedRoles.h"
#include "Platform/Acodec.h"
#include "Platform/DevFile.h"
#include "support/AudioRig.h"
#include "tests/AVCapture/AudioTestCapture.h"

namespace {

class CaptureVolume : public CAudioRig {
protected:
    void SetUp() override
    {
        CAudioRig::SetUp();
        m_Capture.m_AudioCapture.m_FDACodec = XDevOpen(ACODEC_DEVICE_PATH, O_RDWR);
        ASSERT_GE(m_Capture.m_AudioCapture.m_FDACodec, 0);
    }
    void TearDown() override
    {
        CloseCodec();
        CAudioRig::TearDown();
    }
    void CloseCodec()
    {
        if (m_Capture.m_AudioCapture.m_FDACodec >= 0) {
            XDevClose(m_Capture.m_AudioCapture.m_FDACodec);
        }
        m_Capture.m_AudioCapture.m_FDACodec = -1;
    }
    static std::vector<AcodecRequest> Requests(uint32_t code)
    {
        std::vector<AcodecRequest> out;
        for (const AcodecRequest& r : CAcodecModel::instance()->Requests()) {
            if (r.request == code) {
                out.push_back(r);
            }
        }
        return out;
    }

    CAudioTestCapture m_Capture;
};

TEST_F(CaptureVolume, VolumeRangeMuteAndCodecLevel)
{
    struct {
        int volume;
        BOOL result;
        const char* printed;
        bool request;     // the codec got volume - 17
        BOOL muted;
    } const cases[] = {
        {10, 1, "volume is : 10\n", true, 0},
        {0, 1, "volume is : 0\n", false, 1},  // muted, the codec keeps its level
        {1, 1, "volume is : 1\n", true, 0},
        {17, 1, "volume is : 17\n", true, 0},
        {20, 1, "volume is : 20\n", true, 0},
        {21, 0, "volume is : 21\nvolume is  Illegal\n", false, 0},  // the mute stays as it was
        {-1, 0, "volume is : -1\nvolume is  Illegal\n", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("volume " + std::to_string(c.volume));
        const size_t before = Requests(ACODEC_REQ_OUTPUT_VOLUME).size();
        const int32_t level = CAcodecModel::instance()->State().nOutputVolume;
        testing::internal::CaptureStdout();
        EXPECT_EQ(m_Capture.SetVolume(c.volume), c.result);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
        const auto after = Requests(ACODEC_REQ_OUTPUT_VOLUME);
        ASSERT_EQ(after.size(), before + (c.request ? 1 : 0));
        EXPECT_EQ(CAcodecModel::instance()->State().nOutputVolume, c.request ? c.volume - 17 : level);
        EXPECT_EQ(m_Capture.GetIsOutputVolumeMute(), c.muted);
    }
    // out of range after a mute: still muted
    ASSERT_TRUE(m_Capture.SetVolume(0));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(m_Capture.SetVolume(30));
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(m_Capture.GetIsOutputVolumeMute());
}

TEST_F(CaptureVolume, FailedCodecRequestFailsTheVolume)
{
    CAcodecModel::instance()->FailRequest(ACODEC_REQ_OUTPUT_VOLUME, EIO, 1);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(m_Capture.SetVolume(12));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "volume is : 12\nSetVolume: set acodec output volume failed\n");
    EXPECT_FALSE(m_Capture.GetIsOutputVolumeMute());
    // a closed codec (capture not brought up) fails the same way
    CloseCodec();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(m_Capture.SetVolume(12));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "volume is : 12\nSetVolume: set acodec output volume failed\n");
    testing::internal::CaptureStdout();
    EXPECT_TRUE(m_Capture.SetVolume(0));
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(m_Capture.GetIsOutputVolumeMute());
}

TEST_F(CaptureVolume, MicrophoneMuteSendsBothRequests)
{
    EXPECT_EQ(m_Capture.AudioInputMuteEnable(), 1);
    EXPECT_TRUE(CAcodecModel::instance()->MicMuted());
    AcodecState s = CAcodecModel::instance()->State();
    EXPECT_EQ(s.nInputMute1, 1);
    EXPECT_EQ(s.nInputMute2, 1);
    EXPECT_EQ(m_Capture.AudioInputMuteDisable(), 1);
    EXPECT_FALSE(CAcodecModel::instance()->MicMuted());
    s = CAcodecModel::instance()->State();
    EXPECT_EQ(s.nInputMute1, 0);
    EXPECT_EQ(s.nInputMute2, 0);
    EXPECT_EQ(Requests(ACODEC_REQ_INPUT_MUTE_1).size(), 2u);
    EXPECT_EQ(Requests(ACODEC_REQ_INPUT_MUTE_2).size(), 2u);

    // each failed request is printed; the result stays 1
    CAcodecModel::instance()->FailRequest(ACODEC_REQ_INPUT_MUTE_2, EIO, 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(m_Capture.AudioInputMuteEnable(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ioctl err!\n");
    EXPECT_EQ(CAcodecModel::instance()->State().nInputMute1, 1);
    CloseCodec();
    testing::internal::CaptureStdout();
    EXPECT_EQ(m_Capture.AudioInputMuteDisable(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ioctl err!\nioctl err!\n");
}

TEST(CaptureControls, AttachedObjectIsHandedOut)
{
    CCameraCapture controls;
    EXPECT_EQ(controls.Attached(), nullptr);
    EXPECT_FALSE(controls.SetVolume(10));  // no camera object: refused
    EXPECT_FALSE(controls.GetIsOutputVolumeMute());
    CAudioTestCapture capture;
    controls.Attach(&capture);
    EXPECT_EQ(controls.Attached(), &capture);
    controls.Attach(nullptr);
    EXPECT_EQ(controls.Attached(), nullptr);
}

}  // namespace
