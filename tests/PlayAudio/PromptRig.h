#ifndef TESTS_PLAYAUDIO_PROMPTRIG_H
#define TESTS_PLAYAUDIO_PROMPTRIG_H

// The prompt player on a board with the audio output enabled (8000 Hz mono,
// five frames of 256 samples), the codec open in a camera object registered
// for the speaker controls, and the settings and boot environment loaded.

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include "AVCapture/CommAVCapture.h"
#include "FactoryTest/FactoryTest.h"
#include "IniConfig/IniConfig.h"
#include "Main/Wiring/SharedRoles.h"
#include "Periphery/GPIO.h"
#include "Periphery/SDManager.h"
#include "Platform/Acodec.h"
#include "Platform/AudioOut.h"
#include "Platform/DevFile.h"
#include "Platform/Mtd.h"
#include "PlayAudio/PlayAudio.h"
#include "PlayAudio/PromptWorker.h"
#include "support/AudioRig.h"
#include "tests/AVCapture/AudioTestCapture.h"
#include "tests/Periphery/GPIOTestSupport.h"
#include "tests/PlayAudio/PromptWav.h"

// Standard output or error of this process into a file that can be read
// while it is redirected.
class COutputFile {
public:
    explicit COutputFile(int fd) : m_Fd(fd)
    {
        fflush(fd == 1 ? stdout : stderr);
        char name[] = "/tmp/dashcam-out-XXXXXX";
        m_File = mkstemp(name);
        m_Name = name;
        m_Saved = dup(fd);
        dup2(m_File, fd);
    }
    ~COutputFile() { Restore(); }
    std::string Text()
    {
        fflush(m_Fd == 1 ? stdout : stderr);
        std::ifstream in(m_Name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void Restore()
    {
        if (m_Saved >= 0) {
            fflush(m_Fd == 1 ? stdout : stderr);
            dup2(m_Saved, m_Fd);
            close(m_Saved);
            close(m_File);
            unlink(m_Name.c_str());
            m_Saved = -1;
        }
    }

private:
    int m_Fd;
    int m_File = -1;
    int m_Saved = -1;
    std::string m_Name;
};

class CPromptRig : public CAudioRig {
protected:
    static const unsigned kFrame = 512;

    void SetUp() override
    {
        CAudioRig::SetUp();
        {
            COutputFile quiet(1);
            ASSERT_TRUE(CIniConfig::instance()->Init());
            CIniConfig::instance()->SetInt("funcset", "language", 1);
            CIniConfig::instance()->SetInt("funcset", "audiorecord", 0);
            CFactoryTest::instance()->SetEnvLocation(MTD_DEVICE_PATH, 0x80000, 0x40000);
            CFactoryTest::instance()->Init();
        }
        m_Capture.m_AudioCapture.m_FDACodec = XDevOpen(ACODEC_DEVICE_PATH, O_RDWR);
        ASSERT_GE(m_Capture.m_AudioCapture.m_FDACodec, 0);
        m_Audio.Attach(&m_Capture);
        m_Card.Attach(CSDManager::instance());
        CPlayAudio::instance()->Bind(Roles());
        {
            COutputFile quiet(1);
            ASSERT_TRUE(m_Capture.SetVolume(10));
        }
        const AIO_ATTR_S ao = Aio(8000, 256, 5);
        ASSERT_EQ(HI_MPI_AO_SetPubAttr(0, &ao), 0);
        ASSERT_EQ(HI_MPI_AO_Enable(0), 0);
        ASSERT_EQ(HI_MPI_AO_EnableChn(0, 0), 0);
        ASSERT_TRUE(CPlayAudio::instance()->Init());
    }

    void TearDown() override
    {
        XAudioSimAoHold(FALSE);
        CPlayAudio::instance()->CleanUp();
        CPlayAudio::instance()->Bind({});
        if (m_Capture.m_AudioCapture.m_FDACodec >= 0) {
            XDevClose(m_Capture.m_AudioCapture.m_FDACodec);
            m_Capture.m_AudioCapture.m_FDACodec = -1;
        }
        CGPIOManager::instance()->CleanUp();
        CAudioRig::TearDown();
    }

    // Settings of the microphone mute: audio recorded, factory test passed.
    void SetMicRule(bool audiorecord, bool tested)
    {
        m_Board.Sim("env", std::string("factorytest ") + (tested ? "yes" : "no"));
        COutputFile quiet(1);
        CIniConfig::instance()->SetInt("funcset", "audiorecord", audiorecord ? 1 : 0);
        CFactoryTest::instance()->Init();
    }

    // Polls the card manager until it sees the board's card mounted or gone.
    // The manager (one in the process) may still hold an earlier board's
    // card: this board's card is taken out first and put in again.
    testing::AssertionResult PollCard(bool mounted = true)
    {
        COutputFile out(1);
        COutputFile err(2);
        m_Board.Sim("card", "remove");
        CSDManager::instance()->CheckSDCard();
        if (mounted) {
            m_Board.Sim("card", "insert");
        }
        const bool seen = WaitFor([mounted] {
            CSDManager::instance()->CheckSDCard();
            char path[257];
            return (CSDManager::instance()->GetSDMountPath(path, sizeof(path)) != 0) == mounted;
        });
        if (seen) {
            return testing::AssertionSuccess();
        }
        return testing::AssertionFailure() << "card manager: " << out.Text() << err.Text();
    }

    static bool WaitFor(const std::function<bool()>& done, int ms = 20000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    // A prompt file of the English folder (language 1).
    std::string WriteLangWav(const char* name, size_t bytes, unsigned seed)
    {
        const std::string data = XPromptData(bytes, seed);
        XWriteWav(m_Board.Path(std::string("/pcmsource/en/") + name), data);
        return data;
    }

    int Amp() const { return (XFileWord(m_Board.Path("/dev/mem"), 0x20140000u + (1u << 3)) >> 1) & 1; }
    static bool MicMuted()
    {
        const AcodecState s = CAcodecModel::instance()->State();
        return s.nInputMute1 == 1 && s.nInputMute2 == 1;
    }
    static bool MicFree()
    {
        const AcodecState s = CAcodecModel::instance()->State();
        return s.nInputMute1 == 0 && s.nInputMute2 == 0;
    }
    static AudioSimAo Ao()
    {
        AudioSimAo a;
        XAudioSimAoInfo(&a);
        return a;
    }
    static bool Playing() { return CPromptWorker::instance()->play_audio_flag.load() != 0; }
    static bool Waiting() { return CPromptWorker::instance()->recv_audio_msg_flag.load() != 0; }
    // The request has reached the worker (or been played).
    static bool Taken() { return CPlayAudio::instance()->GetMsgCount() == 0; }
    // Sent frames all played, the worker idle and the amplifier off.
    bool Finished() { return Taken() && !Waiting() && !Playing() && Amp() == 0 && Ao().u32Queued == 0; }
    bool WaitFinished() { return WaitFor([this] { return Finished(); }) && XAudioSimAoWaitDrained(5000); }

    std::string Played() const
    {
        std::ifstream in(m_Board.Path("/log/ao0.pcm"), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // The data as played: padded with silence to whole frames.
    static std::string Padded(const std::string& data)
    {
        std::string p = data;
        p.resize((data.size() + kFrame - 1) / kFrame * kFrame, '\0');
        return p;
    }

    // The camera's pins, factory flags, card and boot environment, with the
    // test's camera object for the speaker and microphone.
    PromptRoles Roles() { return {&m_Pins, &m_Audio, &m_Factory, &m_Card, CFactoryTest::instance()}; }

    CAudioTestCapture m_Capture;
    CCameraPins m_Pins;
    CCameraCapture m_Audio;
    CCameraFactoryState m_Factory;
    CCameraCard m_Card;
};

#endif
