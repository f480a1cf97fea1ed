// The simulated audio modules: output sink, encoder channels, input frames.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "Platform/Acodec.h"
#include "Platform/Aenc.h"
#include "Platform/AudioIn.h"
#include "Platform/AudioOut.h"
#include "Platform/DevFile.h"
#include "Platform/host/audio/MicSource.h"
#include "support/AudioRig.h"
#include "tests/Platform/FakeAudioEncoder.h"

namespace {

class AudioSim : public CAudioRig {
protected:
    void SetUp() override
    {
        CAudioRig::SetUp();
        RegisterFake();
        g_nOpens = 0;
        g_nCloses = 0;
        g_nOpenResult = 0;
    }

    // Input device and channel 0 at 48 kHz, 80 samples a frame (600 a second), bound to encoder channel `chn`.
    void StartInput(int chn)
    {
        AIO_ATTR_S ai = Aio(48000, 80, 10);
        ASSERT_EQ(HI_MPI_AI_SetPubAttr(0, &ai), 0);
        ASSERT_EQ(HI_MPI_AI_Enable(0), 0);
        ASSERT_EQ(HI_MPI_AI_EnableChn(0, 0), 0);
        MPP_CHN_S src = {HI_ID_AI, 0, 0};
        MPP_CHN_S dst = {HI_ID_AENC, 0, chn};
        ASSERT_EQ(HI_MPI_SYS_Bind(&src, &dst), 0);
    }

    static AudioSimAenc Aenc(int chn)
    {
        AudioSimAenc a;
        XAudioSimAencInfo(chn, &a);
        return a;
    }

    static bool WaitFor(const std::function<bool()>& cond, int ms = 5000)
    {
        for (int i = 0; i < ms / 5; ++i) {
            if (cond()) {
                return true;
            }
            usleep(5000);
        }
        return cond();
    }
};

AUDIO_FRAME_S Frame(std::vector<int16_t>& pcm)
{
    AUDIO_FRAME_S f = {};
    f.enBitwidth = AUDIO_BIT_WIDTH_16;
    f.enSoundmode = AUDIO_SOUND_MODE_MONO;
    f.pVirAddr[0] = pcm.data();
    f.u32Len = static_cast<uint32_t>(pcm.size() * 2);
    return f;
}

}  // namespace

TEST_F(AudioSim, OutputAttributesAndFrames)
{
    AIO_ATTR_S ao = Aio(8000, 256, 5);
    struct Case {
        const char* what;
        AIO_ATTR_S attr;
    } bad[] = {
        {"rate 96000", Aio(96000, 256, 5)},
        {"one frame", Aio(8000, 256, 1)},
        {"4096 samples", Aio(8000, 4096, 5)},
    };
    for (const Case& c : bad) {
        EXPECT_EQ(HI_MPI_AO_SetPubAttr(0, &c.attr), AO_ERR_ILLEGAL_PARAM) << c.what;
    }
    EXPECT_EQ(HI_MPI_AO_Enable(0), AO_ERR_NOT_CONFIG);
    EXPECT_EQ(HI_MPI_AO_SetPubAttr(1, &ao), AO_ERR_INVALID_DEVID);
    ASSERT_EQ(HI_MPI_AO_SetPubAttr(0, &ao), 0);
    ASSERT_EQ(HI_MPI_AO_Enable(0), 0);
    std::vector<int16_t> pcm(256, 100);
    AUDIO_FRAME_S f = Frame(pcm);
    EXPECT_EQ(HI_MPI_AO_SendFrame(0, 0, &f, -1), AO_ERR_NOT_PERM) << "channel not enabled";
    ASSERT_EQ(HI_MPI_AO_EnableChn(0, 0), 0);
    f.u32Len = 0;
    EXPECT_EQ(HI_MPI_AO_SendFrame(0, 0, &f, -1), AO_ERR_ILLEGAL_PARAM);
    std::vector<int16_t> big(2049);
    AUDIO_FRAME_S tooLong = Frame(big);
    EXPECT_EQ(HI_MPI_AO_SendFrame(0, 0, &tooLong, -1), AO_ERR_ILLEGAL_PARAM);
    std::vector<int16_t> most(2048, 7);
    AUDIO_FRAME_S longest = Frame(most);
    EXPECT_EQ(HI_MPI_AO_SendFrame(0, 0, &longest, -1), 0);
}

TEST_F(AudioSim, OutputSinkWritesWhatWasSent)
{
    AIO_ATTR_S ao = Aio(8000, 256, 5);
    ASSERT_EQ(HI_MPI_AO_SetPubAttr(0, &ao), 0);
    ASSERT_EQ(HI_MPI_AO_Enable(0), 0);
    ASSERT_EQ(HI_MPI_AO_EnableChn(0, 0), 0);
    std::vector<uint8_t> sent;
    for (int i = 0; i < 25; ++i) {  // 0.8 s
        std::vector<int16_t> pcm(256);
        for (size_t k = 0; k < pcm.size(); ++k) {
            pcm[k] = static_cast<int16_t>(i * 1000 + static_cast<int>(k));
        }
        AUDIO_FRAME_S f = Frame(pcm);
        ASSERT_EQ(HI_MPI_AO_SendFrame(0, 0, &f, -1), 0);
        const uint8_t* b = reinterpret_cast<const uint8_t*>(pcm.data());
        sent.insert(sent.end(), b, b + pcm.size() * 2);
    }
    ASSERT_TRUE(XAudioSimAoWaitDrained(5000));
    AudioSimAo info;
    XAudioSimAoInfo(&info);
    EXPECT_EQ(info.u64BytesSent, sent.size());
    EXPECT_EQ(info.u64BytesPlayed, sent.size());
    ASSERT_EQ(HI_MPI_AO_DisableChn(0, 0), 0);
    ASSERT_EQ(HI_MPI_AO_Disable(0), 0);
    const std::string path = m_Board.Path("/log/ao0.pcm");
    FILE* f = fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> written(sent.size() + 16);
    written.resize(fread(written.data(), 1, written.size(), f));
    fclose(f);
    EXPECT_EQ(written, sent);
    const std::string probe = XTestRun("ffprobe -v error -f s16le -ar 8000 -ac 1 -show_entries format=duration "
                                       "-of default=nw=1:nk=1 " + path);
    EXPECT_NEAR(atof(probe.c_str()), 25 * 256 / 8000.0, 0.001) << probe;
}

TEST_F(AudioSim, HeldSinkBlocksTheSixthFrameUntilTheChannelGoes)
{
    AIO_ATTR_S ao = Aio(8000, 256, 5);
    ASSERT_EQ(HI_MPI_AO_SetPubAttr(0, &ao), 0);
    ASSERT_EQ(HI_MPI_AO_Enable(0), 0);
    ASSERT_EQ(HI_MPI_AO_EnableChn(0, 0), 0);
    XAudioSimAoHold(TRUE);
    std::atomic<int> accepted{0};
    std::atomic<bool> done{false};
    HI_S32 lastResult = 0;
    std::thread sender([&] {
        std::vector<int16_t> pcm(256, 1);
        AUDIO_FRAME_S f = Frame(pcm);
        for (int i = 0; i < 10; ++i) {
            lastResult = HI_MPI_AO_SendFrame(0, 0, &f, -1);
            if (lastResult != 0) {
                break;
            }
            accepted++;
        }
        done = true;
    });
    ASSERT_TRUE(WaitFor([&] { return accepted == 5; }));
    // the sender is in its sixth call: the channel is full and nothing drains
    AudioSimAo info;
    for (int i = 0; i < 20; ++i) {
        XAudioSimAoInfo(&info);
        EXPECT_EQ(info.u32Queued, 5u);
        EXPECT_EQ(accepted, 5);
        EXPECT_FALSE(done);
        usleep(10000);
    }
    std::vector<int16_t> pcm(256, 1);
    AUDIO_FRAME_S f = Frame(pcm);
    EXPECT_EQ(HI_MPI_AO_SendFrame(0, 0, &f, 0), AO_ERR_BUF_FULL);
    EXPECT_EQ(HI_MPI_AO_SendFrame(0, 0, &f, 20), AO_ERR_TIMEOUT);
    ASSERT_EQ(HI_MPI_AO_DisableChn(0, 0), 0);
    sender.join();
    EXPECT_EQ(accepted, 5);
    EXPECT_EQ(lastResult, AO_ERR_NOT_PERM);
    XAudioSimAoHold(FALSE);
}

TEST_F(AudioSim, EncoderChannelRules)
{
    AENC_CHN_ATTR_S attr = FakeChn(4);
    // an open that fails fails the create, and nothing is closed
    g_nOpenResult = static_cast<int>(0xA0178003u);
    EXPECT_EQ(HI_MPI_AENC_CreateChn(0, &attr), AENC_ERR_ILLEGAL_PARAM);
    EXPECT_EQ(g_nCloses, 0);
    EXPECT_FALSE(Aenc(0).bCreated);
    g_nOpenResult = 0;
    AENC_CHN_ATTR_S unknown = attr;
    unknown.enType = static_cast<PAYLOAD_TYPE_E>(98);
    EXPECT_EQ(HI_MPI_AENC_CreateChn(0, &unknown), AENC_ERR_NOT_SUPPORT);
    EXPECT_EQ(HI_MPI_AENC_CreateChn(32, &attr), AENC_ERR_INVALID_CHNID);
    EXPECT_EQ(HI_MPI_AENC_GetFd(0), AENC_ERR_UNEXIST);

    ASSERT_EQ(HI_MPI_AENC_CreateChn(0, &attr), 0);
    EXPECT_EQ(HI_MPI_AENC_CreateChn(0, &attr), AENC_ERR_EXIST);
    const int fd = HI_MPI_AENC_GetFd(0);
    ASSERT_GE(fd, 0);
    AUDIO_STREAM_S s;
    EXPECT_EQ(HI_MPI_AENC_GetStream(0, &s, 0), AENC_ERR_BUF_EMPTY);
    EXPECT_EQ(HI_MPI_AENC_GetStream(0, &s, 30), AENC_ERR_TIMEOUT);
    struct pollfd p = {fd, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 0), 0) << "nothing waits: not readable";

    // a blocked reader is woken by the destroy, which closes the encoder
    std::atomic<HI_S32> blocked{1};
    std::thread reader([&] {
        AUDIO_STREAM_S r;
        blocked = HI_MPI_AENC_GetStream(0, &r, -1);
    });
    usleep(50000);
    EXPECT_EQ(blocked, 1);
    ASSERT_EQ(HI_MPI_AENC_DestroyChn(0), 0);
    reader.join();
    EXPECT_EQ(blocked, AENC_ERR_UNEXIST);
    EXPECT_EQ(g_nCloses, 1);
    EXPECT_EQ(HI_MPI_AENC_DestroyChn(0), AENC_ERR_UNEXIST);
    // the descriptor stays the channel's
    ASSERT_EQ(HI_MPI_AENC_CreateChn(0, &attr), 0);
    EXPECT_EQ(HI_MPI_AENC_GetFd(0), fd);
}

TEST_F(AudioSim, InputFramesBecomeStreams)
{
    AENC_CHN_ATTR_S attr = FakeChn(4);
    ASSERT_EQ(HI_MPI_AENC_CreateChn(1, &attr), 0);
    const int fd = HI_MPI_AENC_GetFd(1);
    StartInput(1);
    // readable once a stream waits
    struct pollfd p = {fd, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 2000), 1);
    // the queue fills: the newest are dropped and counted
    ASSERT_TRUE(WaitFor([] { return Aenc(1).u64Dropped >= 3; }));
    AudioSimAenc a = Aenc(1);
    EXPECT_EQ(a.u32Queued, 4u);

    AUDIO_STREAM_S first, second;
    ASSERT_EQ(HI_MPI_AENC_GetStream(1, &first, 0), 0);
    ASSERT_EQ(HI_MPI_AENC_GetStream(1, &second, 0), 0);
    EXPECT_EQ(first.u32Seq, 0u);
    EXPECT_EQ(second.u32Seq, 1u);
    ASSERT_EQ(first.u32Len, 4u);
    uint32_t frameSeq = 0;
    memcpy(&frameSeq, second.pStream, 4);
    EXPECT_EQ(frameSeq, 1u);
    // 80 samples at 48 kHz: stamps 1666 or 1667 us apart
    const int64_t step = static_cast<int64_t>(second.u64TimeStamp - first.u64TimeStamp);
    EXPECT_GE(step, 1666);
    EXPECT_LE(step, 1667);
    // the oldest held stream goes back first
    EXPECT_EQ(HI_MPI_AENC_ReleaseStream(1, &second), AENC_ERR_ILLEGAL_PARAM);
    EXPECT_EQ(HI_MPI_AENC_ReleaseStream(1, &first), 0);
    EXPECT_EQ(HI_MPI_AENC_ReleaseStream(1, &second), 0);
    // drained: not readable until the next stream
    AUDIO_STREAM_S s;
    while (HI_MPI_AENC_GetStream(1, &s, 0) == 0) {
        HI_MPI_AENC_ReleaseStream(1, &s);
    }
    EXPECT_EQ(poll(&p, 1, 0), 0);
    ASSERT_EQ(HI_MPI_AI_DisableChn(0, 0), 0);
    const uint64_t frames = [] { AudioSimAi i; XAudioSimAiInfo(&i); return i.u64Frames; }();
    usleep(50000);
    AudioSimAi i;
    XAudioSimAiInfo(&i);
    EXPECT_EQ(i.u64Frames, frames) << "no frames while channel 0 is disabled";
}

TEST_F(AudioSim, InputAttributesAndVoiceQuality)
{
    AIO_ATTR_S ai = Aio(8000, 1024, 50);
    AIO_ATTR_S bad = ai;
    bad.u32ChnCnt = 3;
    EXPECT_EQ(HI_MPI_AI_SetPubAttr(0, &bad), AI_ERR_ILLEGAL_PARAM);
    bad = ai;
    bad.enSamplerate = static_cast<AUDIO_SAMPLE_RATE_E>(96000);
    EXPECT_EQ(HI_MPI_AI_SetPubAttr(0, &bad), AI_ERR_ILLEGAL_PARAM);
    EXPECT_EQ(HI_MPI_AI_Enable(0), AI_ERR_NOT_CONFIG);
    ASSERT_EQ(HI_MPI_AI_SetPubAttr(0, &ai), 0);
    AIO_ATTR_S back = {};
    ASSERT_EQ(HI_MPI_AI_GetPubAttr(0, &back), 0);
    EXPECT_EQ(memcmp(&back, &ai, sizeof(ai)), 0);
    EXPECT_EQ(HI_MPI_AI_EnableChn(0, 0), AI_ERR_NOT_PERM) << "device first";
    ASSERT_EQ(HI_MPI_AI_Enable(0), 0);
    EXPECT_EQ(HI_MPI_AI_EnableChn(0, 1), AI_ERR_INVALID_CHNID) << "one channel configured";
    ASSERT_EQ(HI_MPI_AI_EnableChn(0, 0), 0);
    AI_VQE_CONFIG_S vqe = {};
    vqe.u32OpenMask = AI_VQE_MASK_HPF | AI_VQE_MASK_AGC;
    vqe.s32WorkSampleRate = 8000;
    vqe.s32FrameSample = 1024;
    vqe.stHpfCfg.enHpfFreq = AUDIO_HPF_FREQ_150;
    EXPECT_EQ(HI_MPI_AI_EnableVqe(0, 0), AI_ERR_NOT_CONFIG);
    ASSERT_EQ(HI_MPI_AI_SetVqeAttr(0, 0, 0, 0, &vqe), 0);
    ASSERT_EQ(HI_MPI_AI_EnableVqe(0, 0), 0);
    AudioSimAi info;
    XAudioSimAiInfo(&info);
    EXPECT_TRUE(info.bVqeEnabled);
    EXPECT_EQ(info.stVqe.u32OpenMask, vqe.u32OpenMask);
    EXPECT_EQ(info.stVqe.stHpfCfg.enHpfFreq, AUDIO_HPF_FREQ_150);
}

TEST(MicSourceFile, FirstChannelOfAPcmWav)
{
    // written by Python's own wave module: stereo, left i, right -i
    char dir[] = "/tmp/dashcam-wav-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string stereo = std::string(dir) + "/stereo.wav";
    const std::string eight = std::string(dir) + "/eight.wav";
    int st = -1;
    XTestRun(std::string(DASHCAM_PYTHON) + " -c \"import wave,struct\n"
             "w=wave.open('" + stereo + "','wb'); w.setnchannels(2); w.setsampwidth(2); w.setframerate(8000)\n"
             "w.writeframes(b''.join(struct.pack('<hh', i, -i) for i in range(1000))); w.close()\n"
             "w=wave.open('" + eight + "','wb'); w.setnchannels(1); w.setsampwidth(1); w.setframerate(8000)\n"
             "w.writeframes(bytes(100)); w.close()\"", &st);
    ASSERT_EQ(st, 0);
    const std::vector<int16_t> left = XReadWavFirstChannel(stereo);
    ASSERT_EQ(left.size(), 1000u);
    for (size_t i = 0; i < left.size(); ++i) {
        ASSERT_EQ(left[i], static_cast<int16_t>(i));
    }
    EXPECT_TRUE(XReadWavFirstChannel(eight).empty()) << "8-bit samples are not taken";
    EXPECT_TRUE(XReadWavFirstChannel(std::string(dir) + "/missing.wav").empty());
    XTestRun(std::string("rm -rf ") + dir);
}

TEST_F(AudioSim, BoardStateFileHoldsCodecAndOutput)
{
    // the codec's state and the bytes the output took, read back by Python's json
    int fd = XDevOpen(ACODEC_DEVICE_PATH, O_RDWR);
    ASSERT_GE(fd, 0);
    int32_t v = ACODEC_RATE_CODE_8K;
    ASSERT_EQ(XDevIoctl(fd, ACODEC_REQ_SAMPLE_RATE, &v), 0);
    v = -16;
    ASSERT_EQ(XDevIoctl(fd, ACODEC_REQ_OUTPUT_VOLUME, &v), 0);
    v = 1;
    ASSERT_EQ(XDevIoctl(fd, ACODEC_REQ_INPUT_MUTE_1, &v), 0);
    AIO_ATTR_S ao = Aio(8000, 256, 5);
    ASSERT_EQ(HI_MPI_AO_SetPubAttr(0, &ao), 0);
    ASSERT_EQ(HI_MPI_AO_Enable(0), 0);
    ASSERT_EQ(HI_MPI_AO_EnableChn(0, 0), 0);
    std::vector<int16_t> pcm(256, 5);
    AUDIO_FRAME_S f = Frame(pcm);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(HI_MPI_AO_SendFrame(0, 0, &f, -1), 0);
    }
    const std::string script = std::string(DASHCAM_PYTHON) + " -c \"import json\n"
                               "a=json.load(open('" + m_Board.Path("/log/media.json") + "'))['audio']\n"
                               "print(a['acodec']['open'], a['acodec']['rate_code'], a['acodec']['output_volume'],"
                               " a['acodec']['input_mute'], a['ao']['bytes_sent'])\" 2>/dev/null";
    const std::string want = "1 24 -16 [1, 0] 1536\n";
    std::string got;
    for (int i = 0; i < 40 && got != want; ++i) {
        usleep(100000);
        got = XTestRun(script);
    }
    EXPECT_EQ(got, want);
    XDevClose(fd);
}
