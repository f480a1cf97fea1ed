#include <gtest/gtest.h>

#include <cstring>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "AVCapture/AacEncoder.h"
#include "Platform/Aenc.h"
#include "Platform/AudioSim.h"
#include "Platform/MediaSim.h"
#include "tests/AVCapture/AacTestSupport.h"

namespace {

AACENC_CONFIG Config(int32_t format, int32_t sampleRate, int32_t bitRate, int32_t in, int32_t out)
{
    AACENC_CONFIG c;
    AACInitDefaultConfig(&c);
    c.quality = 1;
    c.coderFormat = format;
    c.bitsPerSample = 16;
    c.sampleRate = sampleRate;
    c.bitRate = bitRate;
    c.nChannelsIn = in;
    c.nChannelsOut = out;
    c.bandWidth = sampleRate / 2;
    return c;
}

}  // namespace

TEST(AacAdapterChecks, AttributesAndConfigurations)
{
    const std::string kInfo = "[Func]:AencCheckAACAttr [Line]:L [Info]:";
    struct Case {
        const char* what;
        AENC_ATTR_AAC_S attr;
        int32_t ret;
        const char* out;
    } attrs[] = {
        {"AAC-LC 8000 16000 mono 16-bit", XAacAttr(AAC_TYPE_AACLC, 16000, 8000, AUDIO_SOUND_MODE_MONO), 0, ""},
        {"8-bit width", XAacAttr(AAC_TYPE_AACLC, 16000, 8000, AUDIO_SOUND_MODE_MONO, AUDIO_BIT_WIDTH_8),
         AENC_ERR_ILLEGAL_PARAM, "invalid bitwidth for AAC encoder\n"},
        {"sound mode 2", XAacAttr(AAC_TYPE_AACLC, 16000, 8000, 2), AENC_ERR_ILLEGAL_PARAM,
         "invalid sound mode for AAC encoder\n"},
        {"EAACPLUS mono", XAacAttr(AAC_TYPE_EAACPLUS, 39999, 44100, AUDIO_SOUND_MODE_MONO), AENC_ERR_ILLEGAL_PARAM,
         "invalid sound mode for AAC encoder\n"},
        {"EAACPLUS stereo", XAacAttr(AAC_TYPE_EAACPLUS, 39999, 44100, AUDIO_SOUND_MODE_STEREO), 0, ""},
    };
    for (const Case& c : attrs) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(AencCheckAACAttr(&c.attr), c.ret) << c.what;
        const std::string out = XWithoutLineNumbers(testing::internal::GetCapturedStdout());
        EXPECT_EQ(out, *c.out ? kInfo + c.out : std::string()) << c.what;
    }

    struct ConfigCase {
        const char* what;
        AACENC_CONFIG config;
        int32_t ret;
        const char* out;
    } configs[] = {
        {"AAC-LC 8000 16000 mono", Config(0, 8000, 16000, 1, 1), 0, ""},
        {"AAC-LC 8000 7999", Config(0, 8000, 7999, 1, 1), AENC_ERR_ILLEGAL_PARAM,
         "AACLC 8000 Hz bitRate(7999) should be 8000 ~ 96000\n"},
        {"EAACPLUS 44100 39999", Config(2, 44100, 39999, 2, 2), 0, ""},
        {"EAACPLUS 44100 40000", Config(2, 44100, 40000, 2, 2), AENC_ERR_ILLEGAL_PARAM,
         "EAACPLUS 44100 Hz bitRate(40000) should  be 18000 ~ 40000\n"},
        {"EAACPLUS 48000 56000", Config(2, 48000, 56000, 2, 2), 0, ""},
        {"EAACPLUS mono channels", Config(2, 44100, 39999, 1, 1), AENC_ERR_ILLEGAL_PARAM,
         "EAACPLUS nChannelsOut(1) and nChannelsIn(1) should be 2\n"},
        {"AAC-LC 11025", Config(0, 11025, 16000, 1, 1), AENC_ERR_ILLEGAL_PARAM,
         "AACLC invalid samplerate(11025) should be 8000~48000\n"},
        {"AAC-LC 48000 32000", Config(0, 48000, 32000, 2, 2), 0, ""},
        {"AAC-LC 48000 31999", Config(0, 48000, 31999, 2, 2), AENC_ERR_ILLEGAL_PARAM,
         "AACLC 48000 Hz bitRate(31999) should be 48000 ~ 320000\n"},
        {"AAC-LC 22050 15999", Config(0, 22050, 15999, 1, 1), AENC_ERR_ILLEGAL_PARAM,
         "AACLC 22025 Hz bitRate(15999) should be 16000 ~ 128000\n"},
        {"AAC-LC channels differ", Config(0, 8000, 16000, 1, 2), AENC_ERR_ILLEGAL_PARAM,
         "AACLC nChannelsOut(2) in not equal to nChannelsIn(1)\n"},
        {"EAAC 32000 23001", Config(1, 32000, 23001, 1, 1), AENC_ERR_ILLEGAL_PARAM,
         "EAAC 32000 Hz bitRate(23001) should be 18000 ~ 23000\n"},
        {"EAAC 16000", Config(1, 16000, 20000, 1, 1), AENC_ERR_ILLEGAL_PARAM,
         "EAAC invalid samplerate(16000) should be 32000/44100/48000\n"},
        {"coder format 3", Config(3, 8000, 1, 1, 2), 0, "aacenc coderFormat(3) invalid\n"},
    };
    for (const ConfigCase& c : configs) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(AencAACCheckConfig(&c.config), c.ret) << c.what;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out) << c.what;
    }

    // The advisory lines come before the result of the range check.
    AACENC_CONFIG advisory = Config(0, 8000, 100, 1, 1);
    advisory.quality = 4;
    advisory.bitsPerSample = 8;
    testing::internal::CaptureStdout();
    EXPECT_EQ(AencAACCheckConfig(&advisory), AENC_ERR_ILLEGAL_PARAM);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "aacenc quality(4) invalid\naacenc bitsPerSample(8) should be 16\n"
              "AACLC 8000 Hz bitRate(100) should be 8000 ~ 96000\n");

    testing::internal::CaptureStdout();
    EXPECT_EQ(AencAACCheckConfig(nullptr), static_cast<int32_t>(0xA0178006u));
    EXPECT_EQ(XWithoutLineNumbers(testing::internal::GetCapturedStdout()),
              "[Func]:AencAACCheckConfig [Line]:L [Info]:pconfig is null\n");
}

TEST(AacAdapterOpen, FailedOpenLeavesNothingAttached)
{
    struct Case {
        const char* what;
        AENC_ATTR_AAC_S attr;
        int32_t ret;
        const char* out;
    } cases[] = {
        // refused before the state is allocated
        {"8-bit", XAacAttr(AAC_TYPE_AACLC, 16000, 8000, AUDIO_SOUND_MODE_MONO, AUDIO_BIT_WIDTH_8),
         AENC_ERR_ILLEGAL_PARAM,
         "[Func]:AencCheckAACAttr [Line]:L [Info]:invalid bitwidth for AAC encoder\n"
         "[Func]:OpenAACEncoder [Line]:L s32Ret:0xa0178003.#########\n"},
        // refused by the configuration check, after the allocation
        {"11025 Hz", XAacAttr(AAC_TYPE_AACLC, 16000, 11025, AUDIO_SOUND_MODE_MONO), AENC_ERR_ILLEGAL_PARAM,
         "AACLC invalid samplerate(11025) should be 8000~48000\n[Func]:OpenAACEncoder [Line]:L #########\n"},
        {"EAACPLUS 44100 40000", XAacAttr(AAC_TYPE_EAACPLUS, 40000, 44100, AUDIO_SOUND_MODE_STEREO),
         AENC_ERR_ILLEGAL_PARAM,
         "EAACPLUS 44100 Hz bitRate(40000) should  be 18000 ~ 40000\n[Func]:OpenAACEncoder [Line]:L #########\n"},
    };
    for (const Case& c : cases) {
        void* enc = reinterpret_cast<void*>(0x1);
        testing::internal::CaptureStdout();
        EXPECT_EQ(OpenAACEncoder(const_cast<AENC_ATTR_AAC_S*>(&c.attr), &enc), c.ret) << c.what;
        EXPECT_EQ(XWithoutLineNumbers(testing::internal::GetCapturedStdout()), c.out) << c.what;
        if (c.ret != 0 && std::string(c.what) != "8-bit") {
            EXPECT_EQ(enc, nullptr) << c.what << ": the failed open's state stays with the caller";
        }
    }
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "a failed open leaked its state";
#endif
}

TEST(AacAdapterAssert, MissingArgumentEndsTheProcess)
{
    XFreshProcessDeathTests();
    AENC_ATTR_AAC_S attr = XAacAttr(AAC_TYPE_AACLC, 16000, 8000, AUDIO_SOUND_MODE_MONO);
    void* enc = nullptr;
    uint8_t out[AAC_MAX_FRAME_LEN];
    uint32_t len = 0;
    AUDIO_FRAME_S frame = {};
    const std::string block = "\nASSERT failed at:\n  >File name: [^\n]*AVCapture/AacEncoder.cpp\n  >Function : ";
    // The block goes to standard output; the child sends it to the checked stream.
    EXPECT_EXIT((dup2(2, 1), OpenAACEncoder(nullptr, &enc)), testing::ExitedWithCode(255),
                block + "OpenAACEncoder\n  >Line No. : [0-9]+\n  >Condition: pEncoderAttr != NULL\n");
    EXPECT_EXIT((dup2(2, 1), OpenAACEncoder(&attr, nullptr)), testing::ExitedWithCode(255),
                block + "OpenAACEncoder\n  >Line No. : [0-9]+\n  >Condition: ppEncoder != NULL\n");
    EXPECT_EXIT((dup2(2, 1), EncodeAACFrm(nullptr, &frame, out, &len)), testing::ExitedWithCode(255),
                block + "EncodeAACFrm\n  >Line No. : [0-9]+\n  >Condition: pEncoder != NULL\n");
    EXPECT_EXIT((dup2(2, 1), EncodeAACFrm(&attr, nullptr, out, &len)), testing::ExitedWithCode(255),
                "Condition: pstData != NULL\n");
    EXPECT_EXIT((dup2(2, 1), EncodeAACFrm(&attr, &frame, nullptr, &len)), testing::ExitedWithCode(255),
                "Condition: pu8Outbuf != NULL\n");
    EXPECT_EXIT((dup2(2, 1), EncodeAACFrm(&attr, &frame, out, nullptr)), testing::ExitedWithCode(255),
                "Condition: pu32OutLen != NULL\n");
    EXPECT_EXIT((dup2(2, 1), CloseAACEncoder(nullptr)), testing::ExitedWithCode(255),
                block + "CloseAACEncoder\n  >Line No. : [0-9]+\n  >Condition: pEncoder != NULL\n");
}

// Registration state belongs to the process: each scenario runs in a fresh one.
TEST(AacAdapterRegistration, BothTypesOncePerProcess)
{
    XFreshProcessDeathTests();
    EXPECT_EXIT(
        {
            const uint32_t before = XAencRegistrationCount();
            bool ok = HI_MPI_AENC_AacInit() == 0 && HI_MPI_AENC_AacInit() == 0;
            ok = ok && XAencRegistrationCount() == before + 2;
            int seen = 0;
            for (const AencRegistration& r : XAencRegistrations()) {
                if ((r.type == PT_AAC && r.name == "Aac") || (r.type == PT_AACLC && r.name == "Aaclc")) {
                    ok = ok && r.maxFrameLength == 1536;
                    seen++;
                }
            }
            // the module itself refuses a second registration of a type
            AENC_ENCODER_S again = {};
            again.enType = PT_AAC;
            again.u32MaxFrmLen = 1536;
            strcpy(again.aszName, "Aac");
            again.pfnOpenEncoder = OpenAACEncoder;
            again.pfnEncodeFrm = EncodeAACFrm;
            again.pfnCloseEncoder = CloseAACEncoder;
            int32_t handle = -1;
            ok = ok && seen == 2 && HI_MPI_AENC_RegisterEncoder(&handle, &again) == AENC_ERR_EXIST;
            exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(AacAdapterRegistration, RetryAfterAFailedRegistration)
{
    XFreshProcessDeathTests();
    const int32_t kCode = static_cast<int32_t>(0xA0178012u);
    EXPECT_EXIT(
        {
            // the first type fails once: nothing registered, its code returned
            XMediaSimFail("HI_MPI_AENC_RegisterEncoder", kCode, -1, 1);
            bool ok = HI_MPI_AENC_AacInit() == kCode && XAencRegistrationCount() == 0;
            ok = ok && HI_MPI_AENC_AacInit() == 0 && XAencRegistrationCount() == 2;
            exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            // the second type is taken: the first stays registered, and the
            // retry registers only the second
            AENC_ENCODER_S other = {};
            other.enType = PT_AACLC;
            other.u32MaxFrmLen = 16;
            strcpy(other.aszName, "Other");
            other.pfnOpenEncoder = OpenAACEncoder;
            other.pfnEncodeFrm = EncodeAACFrm;
            other.pfnCloseEncoder = CloseAACEncoder;
            int32_t handle = -1;
            bool ok = HI_MPI_AENC_RegisterEncoder(&handle, &other) == 0;
            ok = ok && HI_MPI_AENC_AacInit() == AENC_ERR_EXIST && XAencRegistrationCount() == 2;
            ok = ok && HI_MPI_AENC_UnRegisterEncoder(handle) == 0;
            ok = ok && HI_MPI_AENC_AacInit() == 0 && XAencRegistrationCount() == 3;
            int seen = 0;
            for (const AencRegistration& r : XAencRegistrations()) {
                seen += (r.type == PT_AAC && r.name == "Aac") || (r.type == PT_AACLC && r.name == "Aaclc");
            }
            exit(ok && seen == 2 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}
