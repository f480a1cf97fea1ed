// Microphone to encoded AAC through the audio bring-up, checked with ffprobe,
// ffmpeg and Python.

#include <gtest/gtest.h>

#include <sys/select.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/AVCapture/AudioTestCapture.h"
#include "Platform/Acodec.h"
#include "Platform/Aenc.h"
#include "Platform/DevFile.h"
#include "support/AudioRig.h"
#include "tests/AVCapture/AacTestSupport.h"

namespace {

struct tagGot {
    uint32_t len;
    uint64_t stamp;
};

class AudioPipeline : public CAudioRig {
protected:
    // Takes `count` streams of encoder channel 0 as the capture thread does.
    std::vector<tagGot> Take(int count)
    {
        std::vector<tagGot> got;
        const int fd = HI_MPI_AENC_GetFd(0);
        EXPECT_GE(fd, 0);
        while (static_cast<int>(got.size()) < count) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(fd, &set);
            struct timeval tv = {2, 0};
            if (select(fd + 1, &set, nullptr, nullptr, &tv) <= 0) {
                ADD_FAILURE() << "no stream within 2 s";
                break;
            }
            AUDIO_STREAM_S s;
            if (HI_MPI_AENC_GetStream(0, &s, 0) != 0) {
                ADD_FAILURE() << "readable but no stream";
                break;
            }
            got.push_back({s.u32Len, s.u64TimeStamp});
            EXPECT_EQ(HI_MPI_AENC_ReleaseStream(0, &s), 0);
        }
        return got;
    }

    static double Rms(const std::vector<int16_t>& s, size_t from, size_t to)
    {
        double sum = 0;
        for (size_t i = from; i < to && i < s.size(); ++i) {
            sum += static_cast<double>(s[i]) * s[i];
        }
        return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
    }
};

std::vector<int16_t> ReadPcm(const std::string& path)
{
    std::vector<int16_t> s;
    FILE* f = fopen(path.c_str(), "rb");
    if (f != nullptr) {
        int16_t buf[4096];
        size_t n;
        while ((n = fread(buf, 2, 4096, f)) > 0) {
            s.insert(s.end(), buf, buf + n);
        }
        fclose(f);
    }
    return s;
}

}  // namespace

TEST_F(AudioPipeline, MicrophoneToAacStreams)
{
    CAudioTestCapture cap;
    CAudioCapture& audio = cap.m_AudioCapture;
    ASSERT_EQ(cap.InitSDKAudioIO(), 1);
    const AcodecState codec = CAcodecModel::instance()->State();
    EXPECT_EQ(codec.nResets, 1u);
    EXPECT_EQ(codec.nRateCode, ACODEC_RATE_CODE_8K);
    EXPECT_EQ(codec.nInputVolume, 48);
    EXPECT_EQ(codec.nOutputVolume, 0);
    AudioSimAi ai;
    XAudioSimAiInfo(&ai);
    EXPECT_TRUE(ai.bEnabled && ai.bChnEnabled[0]);
    EXPECT_EQ(ai.stAttr.u32FrmNum, 50u);
    EXPECT_EQ(ai.stAttr.u32PtNumPerFrm, 1024u);
    AudioSimAenc aenc;
    XAudioSimAencInfo(0, &aenc);
    EXPECT_TRUE(aenc.bCreated);
    EXPECT_EQ(aenc.u32Type, static_cast<HI_U32>(PT_AAC));
    EXPECT_EQ(aenc.u32BufSize, 30u);
    AudioSimAo ao;
    XAudioSimAoInfo(&ao);
    EXPECT_TRUE(ao.bEnabled && ao.bChnEnabled);
    EXPECT_EQ(ao.stAttr.u32FrmNum, 5u);
    EXPECT_EQ(ao.stAttr.u32PtNumPerFrm, 256u);
    EXPECT_EQ(ao.stAttr.u32ClkSel, 1u);

    // a tone, then the microphone muted by the codec
    XAudioSimAencDump(TRUE);
    std::vector<tagGot> got = Take(20);
    int32_t one = 1;
    ASSERT_EQ(XDevIoctl(audio.m_FDACodec, ACODEC_REQ_INPUT_MUTE_2, &one), 0);
    const std::vector<tagGot> muted = Take(14);
    got.insert(got.end(), muted.begin(), muted.end());
    XAudioSimAencDump(FALSE);
    ASSERT_EQ(got.size(), 34u);
    for (size_t i = 1; i < got.size(); ++i) {
        EXPECT_EQ(got[i].stamp - got[i - 1].stamp, 128000u) << "stream " << i;
    }

    const std::string dump = m_Board.Path("/log/aenc0.aac");
    const std::string lengths = m_Board.Path("/log/lengths.txt");
    FILE* f = fopen(lengths.c_str(), "w");
    ASSERT_NE(f, nullptr);
    for (const tagGot& g : got) {
        fprintf(f, "%u\n", g.len);
    }
    fclose(f);
    // the recorder's AudioSpecificConfig: AAC-LC, 8000 Hz, one channel
    const std::string check = XTestRun(std::string(DASHCAM_PYTHON " ") + DASHCAM_SOURCE_DIR +
                                       "/tests/AVCapture/AdtsCheck.py " + dump + " " + lengths + " 1588");
    EXPECT_EQ(check, "OK 34\n");
    const std::string probe = XTestRun("ffprobe -v error -show_entries stream=codec_name,profile,sample_rate,channels "
                                       "-of default=nw=1 " + dump);
    EXPECT_NE(probe.find("codec_name=aac"), std::string::npos) << probe;
    EXPECT_NE(probe.find("profile=LC"), std::string::npos) << probe;
    EXPECT_NE(probe.find("sample_rate=8000"), std::string::npos) << probe;
    EXPECT_NE(probe.find("channels=1"), std::string::npos) << probe;

    const std::string pcmPath = m_Board.Path("/log/decoded.pcm");
    int st = -1;
    XTestRun("ffmpeg -v error -y -f aac -i " + dump + " -f s16le -ac 1 " + pcmPath, &st);
    ASSERT_EQ(st, 0);
    const std::vector<int16_t> pcm = ReadPcm(pcmPath);
    ASSERT_GE(pcm.size(), 30u * 1024);
    const std::vector<int16_t> tone(pcm.begin() + 3 * 1024, pcm.begin() + 19 * 1024);
    EXPECT_NEAR(XToneFrequency(tone, 8000), 1000.0, 5.0);
    EXPECT_GT(Rms(pcm, 3 * 1024, 19 * 1024), 4000.0);  // -12 dBFS: about 5800
    EXPECT_LT(Rms(pcm, 24 * 1024, 34 * 1024), 30.0) << "the mute reaches the recording";

    EXPECT_EQ(cap.CleanUpSDKAudioIO(), 1);
    EXPECT_EQ(audio.m_FDACodec, -1);
    EXPECT_EQ(CAcodecModel::instance()->State().nOpen, 0);
}

TEST_F(AudioPipeline, BoardMicrophoneSources)
{
    CAudioTestCapture cap;
    m_Board.Sim("mic", "tone 440");
    ASSERT_EQ(cap.InitSDKAudioIO(), 1);
    XAudioSimAencDump(TRUE);
    Take(20);
    XAudioSimAencDump(FALSE);
    cap.CleanUpSDKAudioIO();
    const std::string dump = m_Board.Path("/log/aenc0.aac");
    const std::string pcmPath = m_Board.Path("/log/decoded.pcm");
    int st = -1;
    XTestRun("ffmpeg -v error -y -f aac -i " + dump + " -f s16le -ac 1 " + pcmPath, &st);
    ASSERT_EQ(st, 0);
    std::vector<int16_t> pcm = ReadPcm(pcmPath);
    ASSERT_GE(pcm.size(), 18u * 1024);
    EXPECT_NEAR(XToneFrequency(std::vector<int16_t>(pcm.begin() + 3 * 1024, pcm.begin() + 18 * 1024), 8000), 440.0,
                3.0);
    unlink(dump.c_str());

    m_Board.Sim("mic", "silence");
    ASSERT_EQ(cap.InitSDKAudioIO(), 1);
    XAudioSimAencDump(TRUE);
    Take(8);
    XAudioSimAencDump(FALSE);
    cap.CleanUpSDKAudioIO();
    XTestRun("ffmpeg -v error -y -f aac -i " + dump + " -f s16le -ac 1 " + pcmPath, &st);
    pcm = ReadPcm(pcmPath);
    EXPECT_LT(Rms(pcm, 0, pcm.size()), 5.0);
    unlink(dump.c_str());

    // a WAV file (Python's wave module) of 0.3 s of 600 Hz, looped
    const std::string wav = m_Board.Path("/log/tone600.wav");
    XTestRun(std::string(DASHCAM_PYTHON) + " -c \"import wave,struct,math\n"
             "w=wave.open('" + wav + "','wb'); w.setnchannels(1); w.setsampwidth(2); w.setframerate(8000)\n"
             "w.writeframes(b''.join(struct.pack('<h', int(8000*math.sin(2*math.pi*600*i/8000))) for i in range(2400)))\n"
             "w.close()\"", &st);
    ASSERT_EQ(st, 0);
    m_Board.Sim("mic", wav);
    ASSERT_EQ(cap.InitSDKAudioIO(), 1);
    XAudioSimAencDump(TRUE);
    Take(20);
    XAudioSimAencDump(FALSE);
    cap.CleanUpSDKAudioIO();
    XTestRun("ffmpeg -v error -y -f aac -i " + dump + " -f s16le -ac 1 " + pcmPath, &st);
    pcm = ReadPcm(pcmPath);
    ASSERT_GE(pcm.size(), 18u * 1024);
    EXPECT_NEAR(XToneFrequency(std::vector<int16_t>(pcm.begin() + 3 * 1024, pcm.begin() + 18 * 1024), 8000), 600.0,
                3.0);
}

TEST_F(AudioPipeline, BoardDumpSwitch)
{
    CAudioTestCapture cap;
    ASSERT_EQ(cap.InitSDKAudioIO(), 1);
    const std::string dump = m_Board.Path("/log/aenc0.aac");
    unlink(dump.c_str());
    m_Board.Sim("media", "dump on");
    // the board's command is taken within a tenth of a second
    usleep(400000);
    const std::vector<tagGot> got = Take(6);
    m_Board.Sim("media", "dump off");
    usleep(400000);
    Take(2);
    cap.CleanUpSDKAudioIO();
    struct stat st;
    ASSERT_EQ(stat(dump.c_str(), &st), 0);
    EXPECT_GE(static_cast<size_t>(st.st_size), 5u * got[0].len) << "streams while on are in the dump";
    const std::string probe = XTestRun("ffprobe -v error -show_entries stream=codec_name,sample_rate "
                                       "-of default=nw=1 " + dump);
    EXPECT_NE(probe.find("codec_name=aac\nsample_rate=8000"), std::string::npos) << probe;
}

TEST_F(AudioPipeline, InputStepsFailWithTheirLines)
{
    const HI_S32 kCode = static_cast<HI_S32>(0xA0158010u);
    struct Case {
        const char* func;
        int chn;
        const char* line;
    } cases[] = {
        {"HI_MPI_AI_SetPubAttr", -1, "HI_MPI_AI_SetPubAttr() failed with 0xa0158010\n"},
        {"HI_MPI_AI_Enable", -1, "HI_MPI_AI_Enable() failed with 0xa0158010\n"},
        {"HI_MPI_AI_EnableChn", 0, "HI_MPI_AI_EnableChn(0) failed with 0xa0158010\n"},
        {"HI_MPI_AENC_CreateChn", 0, "HI_MPI_AENC_CreateChn() failed with 0xa0158010\n"},
        {"HI_MPI_SYS_Bind", 0, "HI_MPI_SYS_Bind() failed with 0xa0158010\n"},
    };
    for (const Case& c : cases) {
        CAudioCapture audio;
        ASSERT_EQ(audio.InitAudio(), 1);
        XMediaSimFail(c.func, kCode, c.chn, 1);
        testing::internal::CaptureStderr();
        EXPECT_EQ(audio.InitAudioInput(), 0) << c.func;
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(std::string(":InitAudioInput]: ") + c.line), std::string::npos) << err;
        XMediaSimClearFaults();
        testing::internal::CaptureStderr();
        audio.CleanupAudioInput();
        audio.CleanupAudio();
        testing::internal::GetCapturedStderr();
    }
    CAudioCapture audio;
    ASSERT_EQ(audio.InitAudio(), 1);
    CAcodecModel::instance()->FailRequest(ACODEC_REQ_INPUT_VOLUME, EIO, 1);
    CAcodecModel::instance()->FailRequest(ACODEC_REQ_OUTPUT_VOLUME, EIO, 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(audio.InitAudioInput(), 0);
    EXPECT_EQ(audio.InitAudioOutput(), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(":InitAudioInput]: Set input volume failed.\n"), std::string::npos) << err;
    EXPECT_NE(err.find(":InitAudioOutput]: Set output volume failed,\n"), std::string::npos) << err;
    audio.CleanupAudio();
}

TEST_F(AudioPipeline, OutputFailureStopsTheBringUp)
{
    CAudioTestCapture cap;
    XMediaSimFail("HI_MPI_AO_Enable", static_cast<HI_S32>(0xA0168010u), -1, 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(cap.InitSDKAudioIO(), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(":InitAudioOutput]: HI_MPI_AO_Enable() Failed With 0xa0168010\n"), std::string::npos) << err;
    EXPECT_NE(err.find(":InitSDKAudioIO]: m_AudioCapture.InitAudioOutput()\n"), std::string::npos) << err;
    testing::internal::CaptureStderr();
    EXPECT_EQ(cap.CleanUpSDKAudioIO(), 1);
    testing::internal::GetCapturedStderr();
}

TEST_F(AudioPipeline, CleanUpsGoOnPastFailures)
{
    CAudioTestCapture cap;
    CAudioCapture& audio = cap.m_AudioCapture;
    ASSERT_EQ(cap.InitSDKAudioIO(), 1);
    const HI_S32 kCode = static_cast<HI_S32>(0xA0028012u);
    XMediaSimFail("HI_MPI_AO_DisableChn", kCode, -1, 1);
    XMediaSimFail("HI_MPI_SYS_UnBind", kCode, -1, 1);
    XMediaSimFail("HI_MPI_AENC_DestroyChn", kCode, -1, 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(cap.CleanUpSDKAudioIO(), 1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("HI_MPI_AO_DisableChn() Failed With 0xa0028012\n"), std::string::npos) << err;
    EXPECT_NE(err.find("HI_MPI_SYS_UnBind() failed with 0xa0028012\n"), std::string::npos) << err;
    EXPECT_NE(err.find("HI_MPI_AENC_DestroyChn() failed with 0xa0028012\n"), std::string::npos) << err;
    // the steps after each failure ran
    AudioSimAo ao;
    XAudioSimAoInfo(&ao);
    EXPECT_FALSE(ao.bEnabled);
    AudioSimAi ai;
    XAudioSimAiInfo(&ai);
    EXPECT_FALSE(ai.bEnabled);
    EXPECT_FALSE(ai.bChnEnabled[0]);
    EXPECT_EQ(audio.m_FDACodec, -1);
    EXPECT_EQ(CAcodecModel::instance()->State().nOpen, 0);
    // the encoder channel whose destroy failed goes with a second clean-up
    AudioSimAenc aenc;
    XAudioSimAencInfo(0, &aenc);
    EXPECT_TRUE(aenc.bCreated);
    testing::internal::CaptureStderr();
    audio.CleanupAudioInput();
    testing::internal::GetCapturedStderr();
    XAudioSimAencInfo(0, &aenc);
    EXPECT_FALSE(aenc.bCreated);
}

TEST_F(AudioPipeline, VoiceQualitySwitch)
{
    CAudioTestCapture cap;
    CAudioCapture& audio = cap.m_AudioCapture;
    ASSERT_EQ(cap.InitSDKAudioIO(), 1);
    ASSERT_EQ(audio.EnableAudioInFilter(), 1);
    EXPECT_EQ(audio.m_EnableAudioInFilter, 1);
    AudioSimAi ai;
    XAudioSimAiInfo(&ai);
    EXPECT_TRUE(ai.bVqeEnabled);
    EXPECT_EQ(ai.stVqe.u32OpenMask, AI_VQE_MASK_HPF | AI_VQE_MASK_AEC | AI_VQE_MASK_ANR | AI_VQE_MASK_AGC);
    EXPECT_EQ(ai.stVqe.stHpfCfg.enHpfFreq, AUDIO_HPF_FREQ_150);
    EXPECT_EQ(ai.stVqe.s32WorkSampleRate, 8000);
    EXPECT_EQ(audio.EnableAudioInFilter(), 1);
    EXPECT_EQ(audio.DisableAudioInFilter(), 1);
    XAudioSimAiInfo(&ai);
    EXPECT_FALSE(ai.bVqeEnabled);
    XMediaSimFail("HI_MPI_AI_EnableVqe", static_cast<HI_S32>(0xA0158009u), -1, 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(audio.EnableAudioInFilter(), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("HI_MPI_AI_EnableVqe() Failed With 0xa0158009\n"),
              std::string::npos);
    EXPECT_EQ(audio.m_EnableAudioInFilter, 0);
    cap.CleanUpSDKAudioIO();
}
