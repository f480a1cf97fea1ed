// The codec part of the audio capture against the simulated board.

#include <gtest/gtest.h>

#include <errno.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "AVCapture/Audio.h"
#include "Platform/Acodec.h"
#include "support/AudioRig.h"
#include "tests/AVCapture/AacTestSupport.h"
#include "tests/AVCapture/AudioTestCapture.h"

namespace {

// In a death test's child: a failed check ends it with status 1.
#define CHILD_CHECK(cond)                                           \
    do {                                                            \
        if (!(cond)) {                                              \
            fprintf(stderr, "check failed at %d: %s\n", __LINE__, #cond); \
            _exit(1);                                               \
        }                                                           \
    } while (0)

// Standard error of `fn`, through a file of its own (a death test's child
// cannot use the test framework's capture).
template <typename F>
std::string StderrOf(F fn)
{
    fflush(stderr);
    FILE* tmp = tmpfile();
    const int saved = dup(2);
    dup2(fileno(tmp), 2);
    fn();
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string out;
    rewind(tmp);
    char buf[1024];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), tmp)) > 0) {
        out.append(buf, n);
    }
    fclose(tmp);
    return out;
}

class AudioCapture : public CAudioRig {
protected:
    static size_t Count(uint32_t request)
    {
        size_t n = 0;
        for (const AcodecRequest& r : CAcodecModel::instance()->Requests()) {
            n += r.request == request;
        }
        return n;
    }
    static bool Registered()
    {
        int seen = 0;
        for (const AencRegistration& r : XAencRegistrations()) {
            seen += (r.type == PT_AAC && r.name == "Aac") || (r.type == PT_AACLC && r.name == "Aaclc");
        }
        return seen == 2;
    }
};

}  // namespace

TEST_F(AudioCapture, SecondInitAudioDoesNothing)
{
    XFreshProcessDeathTests();
    EXPECT_EXIT(
        {
            CAudioCapture audio;
            CHILD_CHECK(audio.m_FDACodec == -1);
            CHILD_CHECK(audio.InitAudio() == 1);
            CHILD_CHECK(audio.InitAudio() == 1);
            CHILD_CHECK(XAencRegistrationCount() == 2);
            CHILD_CHECK(Registered());
            CHILD_CHECK(Count(ACODEC_REQ_RESET) == 1);
            CHILD_CHECK(Count(ACODEC_REQ_SAMPLE_RATE) == 1);
            CHILD_CHECK(CAcodecModel::instance()->State().nRateCode == ACODEC_RATE_CODE_8K);
            CHILD_CHECK(CAcodecModel::instance()->State().nOpen == 1);
            // a second capture in the process registers nothing again
            CAudioCapture other;
            CHILD_CHECK(other.InitAudio() == 1);
            CHILD_CHECK(XAencRegistrationCount() == 2);
            CHILD_CHECK(audio.CleanupAudio() == 1 && other.CleanupAudio() == 1);
            CHILD_CHECK(audio.m_FDACodec == -1);
            CHILD_CHECK(CAcodecModel::instance()->State().nOpen == 0);
            _exit(0);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(AudioCapture, UnsupportedRateSendsNoRateRequest)
{
    CAudioCapture audio;
    audio.m_SampleRate = 96000;
    testing::internal::CaptureStderr();
    EXPECT_EQ(audio.InitAudio(), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Error["), std::string::npos);
    EXPECT_NE(err.find(":InitAudio]: Unsupport Sample Rate 96000\n"), std::string::npos) << err;
    EXPECT_EQ(Count(ACODEC_REQ_SAMPLE_RATE), 0u);
    EXPECT_EQ(audio.m_FDACodec, -1);
    EXPECT_EQ(CAcodecModel::instance()->State().nOpen, 0);
    // the rates of each code
    const int rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
    const int codes[] = {24, 24, 24, 25, 25, 25, 26, 26, 26};
    for (size_t i = 0; i < 9; ++i) {
        CAudioCapture a;
        a.m_SampleRate = rates[i];
        ASSERT_EQ(a.InitAudio(), 1) << rates[i];
        EXPECT_EQ(CAcodecModel::instance()->State().nRateCode, codes[i]) << rates[i];
        a.CleanupAudio();
    }
}

// Every failure closes the codec: a later call does every step again.
TEST_F(AudioCapture, FailedInitAudioIsRetriedWhole)
{
    XFreshProcessDeathTests();
    struct Case {
        const char* what;
        const char* line;
        void (*inject)(int times);
    } cases[] = {
        {"open", "Can't open /dev/acodec.\n", [](int t) { CAcodecModel::instance()->FailOpen(ENODEV, t); }},
        {"reset", "Reset audio codec error.\n",
         [](int t) { CAcodecModel::instance()->FailRequest(ACODEC_REQ_RESET, EIO, t); }},
        {"registration", "HI_MPI_AENC_AacInit() failed.\n",
         [](int t) { XMediaSimFail("HI_MPI_AENC_RegisterEncoder", static_cast<HI_S32>(0xA0178012u), -1, t); }},
        {"rate", "Set acodec sample rate failed.\n",
         [](int t) { CAcodecModel::instance()->FailRequest(ACODEC_REQ_SAMPLE_RATE, EIO, t); }},
    };
    for (const Case& c : cases) {
        // a fresh process: the registration has not been done yet
        EXPECT_EXIT(
            {
                CAudioCapture audio;
                c.inject(2);
                for (int attempt = 0; attempt < 2; ++attempt) {
                    const size_t resets = Count(ACODEC_REQ_RESET);
                    BOOL ret = 1;
                    const std::string err = StderrOf([&] { ret = audio.InitAudio(); });
                    CHILD_CHECK(ret == 0);
                    CHILD_CHECK(err.find(std::string(":InitAudio]: ") + c.line) != std::string::npos);
                    CHILD_CHECK(audio.m_FDACodec == -1);
                    CHILD_CHECK(CAcodecModel::instance()->State().nOpen == 0);
                    // the open failing is the only case without a reset
                    CHILD_CHECK(Count(ACODEC_REQ_RESET) == resets + (std::string(c.what) == "open" ? 0 : 1));
                }
                // the failure is gone: everything done, registration and rate seen
                CHILD_CHECK(audio.InitAudio() == 1);
                CHILD_CHECK(Registered());
                CHILD_CHECK(XAencRegistrationCount() == 2);
                CHILD_CHECK(CAcodecModel::instance()->State().nRateCode == ACODEC_RATE_CODE_8K);
                CHILD_CHECK(audio.m_FDACodec >= 0);
                _exit(0);
            },
            testing::ExitedWithCode(0), "")
            << c.what;
    }
}

TEST_F(AudioCapture, InputAndOutputNeedTheCodec)
{
    CAudioCapture audio;
    EXPECT_EQ(audio.InitAudioInput(), 0);
    EXPECT_EQ(audio.InitAudioOutput(), 0);
    EXPECT_TRUE(CAcodecModel::instance()->Requests().empty());
    // after the clean-up the descriptor is gone, not reused
    ASSERT_EQ(audio.InitAudio(), 1);
    EXPECT_EQ(audio.CleanupAudio(), 1);
    EXPECT_EQ(audio.m_FDACodec, -1);
    EXPECT_EQ(audio.InitAudioInput(), 0);
    EXPECT_EQ(audio.CleanupAudio(), 1);
}

TEST_F(AudioCapture, BringUpStopsAtTheFirstFailure)
{
    struct Case {
        const char* what;
        const char* line;
        void (*inject)();
    } cases[] = {
        {"codec", ":InitSDKAudioIO]: m_AudioCapture.InitAudio()\n",
         [] { CAcodecModel::instance()->FailOpen(ENODEV, 1); }},
        {"input", ":InitSDKAudioIO]: m_AudioCapture.InitAudioInput()\n",
         [] { XMediaSimFail("HI_MPI_AI_SetPubAttr", static_cast<HI_S32>(0xA0158010u), -1, 1); }},
    };
    for (const Case& c : cases) {
        CAudioTestCapture cap;
        c.inject();
        testing::internal::CaptureStderr();
        EXPECT_EQ(cap.InitSDKAudioIO(), 0) << c.what;
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(c.line), std::string::npos) << err;
        // nothing of the output was touched
        AudioSimAo ao;
        XAudioSimAoInfo(&ao);
        EXPECT_FALSE(ao.bAttrSet) << c.what;
        testing::internal::CaptureStderr();
        EXPECT_EQ(cap.CleanUpSDKAudioIO(), 1);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(cap.m_AudioCapture.m_FDACodec, -1);
        EXPECT_EQ(CAcodecModel::instance()->State().nOpen, 0);
    }
}
