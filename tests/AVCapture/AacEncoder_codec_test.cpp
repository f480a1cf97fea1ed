#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "AVCapture/AacEncoder.h"
#include "support/TestBoard.h"
#include "tests/AVCapture/AacTestSupport.h"

namespace {

// An encoder opened through the adapter, closed at the end.
class CAdapterEncoder {
public:
    explicit CAdapterEncoder(AENC_ATTR_AAC_S attr) : m_Attr(attr)
    {
        m_nRet = OpenAACEncoder(&m_Attr, &m_lpEnc);
    }
    ~CAdapterEncoder()
    {
        if (m_lpEnc != nullptr) {
            CloseAACEncoder(m_lpEnc);
        }
    }
    int32_t OpenResult() const { return m_nRet; }
    void* Handle() const { return m_lpEnc; }
    AAC_ENCODER_STATE_S* State() const { return static_cast<AAC_ENCODER_STATE_S*>(m_lpEnc); }

    // Encodes one frame of the given channel buffers.
    int32_t Encode(const std::vector<int16_t>& left, const std::vector<int16_t>* right, std::vector<uint8_t>* au)
    {
        AUDIO_FRAME_S f = {};
        f.enBitwidth = AUDIO_BIT_WIDTH_16;
        f.enSoundmode = right != nullptr ? AUDIO_SOUND_MODE_STEREO : AUDIO_SOUND_MODE_MONO;
        f.pVirAddr[0] = const_cast<int16_t*>(left.data());
        f.pVirAddr[1] = right != nullptr ? const_cast<int16_t*>(right->data()) : nullptr;
        f.u32Len = static_cast<uint32_t>(left.size() * sizeof(int16_t));
        uint8_t out[AAC_MAX_FRAME_LEN];
        uint32_t len = 0;
        int32_t ret = EncodeAACFrm(m_lpEnc, &f, out, &len);
        if (ret == 0 && au != nullptr) {
            EXPECT_LE(len, sizeof(out));
            au->assign(out, out + len);
        }
        return ret;
    }

private:
    AENC_ATTR_AAC_S m_Attr;
    void* m_lpEnc = nullptr;
    int32_t m_nRet = -1;
};

std::string TempFile(const char* suffix)
{
    char tmpl[] = "/tmp/dashcam-aac-XXXXXX";
    int fd = mkstemp(tmpl);
    close(fd);
    std::string p = std::string(tmpl) + suffix;
    rename(tmpl, p.c_str());
    return p;
}

// ffmpeg's decode of an ADTS file: interleaved s16le samples.
std::vector<int16_t> Decode(const std::string& file, int channels)
{
    const std::string pcm = file + ".pcm";
    int st = -1;
    XTestRun("ffmpeg -v error -y -f aac -i " + file + " -f s16le -ac " + std::to_string(channels) + " " + pcm, &st);
    EXPECT_EQ(st, 0) << "ffmpeg cannot decode " << file;
    std::vector<int16_t> s;
    FILE* f = fopen(pcm.c_str(), "rb");
    if (f != nullptr) {
        int16_t buf[4096];
        size_t n;
        while ((n = fread(buf, sizeof(int16_t), 4096, f)) > 0) {
            s.insert(s.end(), buf, buf + n);
        }
        fclose(f);
    }
    unlink(pcm.c_str());
    return s;
}

std::vector<int16_t> Channel(const std::vector<int16_t>& interleaved, int channels, int which, size_t skip)
{
    std::vector<int16_t> out;
    for (size_t i = skip * channels + which; i < interleaved.size(); i += channels) {
        out.push_back(interleaved[i]);
    }
    return out;
}

void WriteFile(const std::string& path, const std::vector<std::vector<uint8_t>>& aus)
{
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    for (const auto& au : aus) {
        fwrite(au.data(), 1, au.size(), f);
    }
    fclose(f);
}

}  // namespace

TEST(AacAdapterEncode, MonoFramesAreAdtsThatFfmpegDecodes)
{
    CAdapterEncoder enc(XAacAttr(AAC_TYPE_AACLC, 16000, 8000, AUDIO_SOUND_MODE_MONO));
    ASSERT_EQ(enc.OpenResult(), 0);
    std::vector<std::vector<uint8_t>> aus;
    for (int i = 0; i < 40; ++i) {
        std::vector<uint8_t> au;
        ASSERT_EQ(enc.Encode(XTone(1000.0, 8000, 1024, static_cast<size_t>(i) * 1024), nullptr, &au), 0);
        ASSERT_GE(au.size(), 7u);
        // ADTS: sync word, MPEG-4, no CRC, LC, 8000 Hz (index 11), one channel
        EXPECT_EQ(au[0], 0xFF);
        EXPECT_EQ(au[1], 0xF1);
        EXPECT_EQ((au[2] >> 6) + 1, 2);
        EXPECT_EQ((au[2] >> 2) & 0x0F, 11);
        EXPECT_EQ(((au[2] & 1) << 2) | (au[3] >> 6), 1);
        const size_t frameLen = ((au[3] & 3u) << 11) | (static_cast<size_t>(au[4]) << 3) | (au[5] >> 5);
        EXPECT_EQ(frameLen, au.size());
        EXPECT_EQ(au[6] & 3, 0) << "one raw data block";
        aus.push_back(au);
    }
    const std::string file = TempFile(".aac");
    WriteFile(file, aus);
    const std::string probe = XTestRun("ffprobe -v error -show_entries stream=codec_name,profile,sample_rate,channels "
                                       "-of default=nw=1 " + file);
    EXPECT_NE(probe.find("codec_name=aac"), std::string::npos) << probe;
    EXPECT_NE(probe.find("profile=LC"), std::string::npos) << probe;
    EXPECT_NE(probe.find("sample_rate=8000"), std::string::npos) << probe;
    EXPECT_NE(probe.find("channels=1"), std::string::npos) << probe;
    const std::vector<int16_t> pcm = Channel(Decode(file, 1), 1, 0, 4096);
    EXPECT_GT(pcm.size(), 30000u);
    EXPECT_NEAR(XToneFrequency(pcm, 8000), 1000.0, 10.0);
    unlink(file.c_str());
}

TEST(AacAdapterEncode, FramesThatDoNotFitAreRefused)
{
    CAdapterEncoder mono(XAacAttr(AAC_TYPE_AACLC, 16000, 8000, AUDIO_SOUND_MODE_MONO));
    CAdapterEncoder stereo(XAacAttr(AAC_TYPE_AACLC, 32000, 48000, AUDIO_SOUND_MODE_STEREO));
    ASSERT_EQ(mono.OpenResult(), 0);
    ASSERT_EQ(stereo.OpenResult(), 0);
    const std::vector<int16_t> tone = XTone(1000.0, 8000, 1024);

    testing::internal::CaptureStdout();
    EXPECT_EQ(mono.Encode(XTone(1000.0, 8000, 1023), nullptr, nullptr), static_cast<int32_t>(0xA0178003u));
    EXPECT_EQ(XWithoutLineNumbers(testing::internal::GetCapturedStdout()),
              "[Func]:EncodeAACFrm [Line]:L [Info]:invalid u32PtNums1023 for AAC_TYPE_AACLC\n");

    testing::internal::CaptureStdout();
    EXPECT_EQ(stereo.Encode(tone, nullptr, nullptr), AENC_ERR_ILLEGAL_PARAM);
    EXPECT_EQ(XWithoutLineNumbers(testing::internal::GetCapturedStdout()),
              "[Func]:EncodeAACFrm [Line]:L [Info]:AAC encode receive a frame which not match its Soundmode\n");

    mono.State()->stAACAttr.enAACType = static_cast<AAC_TYPE_E>(5);
    testing::internal::CaptureStdout();
    EXPECT_EQ(mono.Encode(tone, nullptr, nullptr), AENC_ERR_ILLEGAL_PARAM);
    EXPECT_EQ(XWithoutLineNumbers(testing::internal::GetCapturedStdout()),
              "[Func]:EncodeAACFrm [Line]:L [Info]:invalid AAC coder type\n");
    mono.State()->stAACAttr.enAACType = AAC_TYPE_AACLC;
}

TEST(AacAdapterEncode, ChannelBuffersReachTheirChannels)
{
    // A mono encoder takes the left buffer of a stereo frame; a stereo one
    // interleaves left first.
    CAdapterEncoder mono(XAacAttr(AAC_TYPE_AACLC, 16000, 8000, AUDIO_SOUND_MODE_MONO));
    CAdapterEncoder stereo(XAacAttr(AAC_TYPE_AACLC, 32000, 8000, AUDIO_SOUND_MODE_STEREO));
    ASSERT_EQ(mono.OpenResult(), 0);
    ASSERT_EQ(stereo.OpenResult(), 0);
    std::vector<std::vector<uint8_t>> monoAus, stereoAus;
    for (size_t i = 0; i < 40; ++i) {
        const std::vector<int16_t> left = XTone(1000.0, 8000, 1024, i * 1024);
        const std::vector<int16_t> right = XTone(2500.0, 8000, 1024, i * 1024);
        std::vector<uint8_t> au;
        ASSERT_EQ(mono.Encode(left, &right, &au), 0);
        monoAus.push_back(au);
        ASSERT_EQ(stereo.Encode(left, &right, &au), 0);
        stereoAus.push_back(au);
    }
    const std::string monoFile = TempFile(".aac");
    const std::string stereoFile = TempFile(".aac");
    WriteFile(monoFile, monoAus);
    WriteFile(stereoFile, stereoAus);
    EXPECT_NEAR(XToneFrequency(Channel(Decode(monoFile, 1), 1, 0, 4096), 8000), 1000.0, 10.0);
    const std::vector<int16_t> both = Decode(stereoFile, 2);
    EXPECT_NEAR(XToneFrequency(Channel(both, 2, 0, 4096), 8000), 1000.0, 10.0);
    EXPECT_NEAR(XToneFrequency(Channel(both, 2, 1, 4096), 8000), 2500.0, 25.0);
    unlink(monoFile.c_str());
    unlink(stereoFile.c_str());
}

TEST(AacAdapterEncode, HighEfficiencyTypesTakeTwiceTheSamples)
{
    struct Case {
        const char* what;
        AENC_ATTR_AAC_S attr;
    } cases[] = {
        {"EAAC 48000 mono", XAacAttr(AAC_TYPE_EAAC, 32000, 48000, AUDIO_SOUND_MODE_MONO)},
        {"EAACPLUS 44100 39999", XAacAttr(AAC_TYPE_EAACPLUS, 39999, 44100, AUDIO_SOUND_MODE_STEREO)},
    };
    for (const Case& c : cases) {
        CAdapterEncoder enc(c.attr);
        ASSERT_EQ(enc.OpenResult(), 0) << c.what;
        const std::vector<int16_t> tone = XTone(1000.0, 44100, 2048);
        const bool stereo = c.attr.enSoundMode == AUDIO_SOUND_MODE_STEREO;
        std::vector<uint8_t> au;
        EXPECT_EQ(enc.Encode(tone, stereo ? &tone : nullptr, &au), 0) << c.what;
        EXPECT_GT(au.size(), 7u) << c.what;
        testing::internal::CaptureStdout();
        EXPECT_EQ(enc.Encode(XTone(1000.0, 44100, 1024), stereo ? &tone : nullptr, nullptr), AENC_ERR_ILLEGAL_PARAM);
        EXPECT_NE(testing::internal::GetCapturedStdout().find("invalid u32PtNums1024 for AAC_TYPE_AACLC"),
                  std::string::npos);
    }
}
