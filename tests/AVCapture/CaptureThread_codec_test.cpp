// The capture thread against the simulated media layer: pause and resume,
// the tuning step, the rules of a round under injected failures, signals,
// and the audio encoder's place in the read set.

#include <gtest/gtest.h>

#include <signal.h>

#include <string>

#include "Platform/MpiVenc.h"
#include "tests/AVCapture/CaptureRig.h"

namespace {

constexpr HI_S32 kFault = static_cast<HI_S32>(0xA0078015u);

void NoOpHandler(int)
{
}

}  // namespace

class CaptureThread : public CaptureRig {
protected:
    void SetUp() override
    {
        CaptureRig::SetUp();
        XMediaSimUsePlaceholders(TRUE);
        m_Links.m_Settings["funcset/audiorecord"] = 1;
    }
    void Start()
    {
        std::string out;
        ASSERT_TRUE(InitCaptured(&out)) << out;
        ASSERT_TRUE(WaitFor([&] { return Camera()->CaptureRunning(); }));
        ASSERT_TRUE(m_Sink.WaitBeyond(0, 2));
    }
};

TEST_F(CaptureThread, PausedNothingReachesTheSinkAndTuningGoesOn)
{
    Start();
    ASSERT_TRUE(Camera()->PauseCapture());
    ASSERT_TRUE(WaitFor([&] { return Camera()->PauseAcked(); }));
    const size_t before = m_Sink.Packets().size();
    const int tunings = Camera()->m_nTunings.load();
    const uint64_t t0 = XTestWallUs();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const uint64_t elapsedMs = (XTestWallUs() - t0) / 1000;
    EXPECT_EQ(m_Sink.Packets().size(), before);
    // one tuning step about every 200 ms while paused
    const int steps = Camera()->m_nTunings.load() - tunings;
    EXPECT_GE(steps, static_cast<int>(elapsedMs / 200) - 3);
    EXPECT_LE(steps, static_cast<int>(elapsedMs / 200) + 1);

    const uint64_t resumed = XTestWallUs();
    Camera()->ResumeCapture();
    ASSERT_TRUE(m_Sink.WaitBeyond(0, m_Sink.Count(0)));
    const std::vector<tagSinkPacket> all = m_Sink.Packets();
    ASSERT_GT(all.size(), before);
    // what waited while paused was dropped: the first packet of each row
    // began after the pause ended, within one picture's (or one audio
    // frame's) time; a stale one would be over a second old
    const std::pair<int, uint64_t> slack[] = {{0, 70000}, {4, 300000}};
    for (const auto& s : slack) {
        for (size_t i = before; i < all.size(); ++i) {
            if (all[i].row.channel_id == s.first) {
                EXPECT_GE(all[i].pts + s.second, resumed) << s.first;
                break;
            }
        }
    }
}

TEST_F(CaptureThread, TuningEverySecondMainFrame)
{
    Start();
    const size_t frames0 = m_Sink.Count(0);
    const int tunings0 = Camera()->m_nTunings.load();
    ASSERT_TRUE(m_Sink.WaitBeyond(0, frames0 + 30));
    const size_t frames = m_Sink.Count(0) - frames0;
    const int tunings = Camera()->m_nTunings.load() - tunings0;
    EXPECT_GE(tunings, static_cast<int>(frames / 2) - 2);
    EXPECT_LE(tunings, static_cast<int>(frames / 2) + 2);
}

TEST_F(CaptureThread, FailedCallsEndOnlyTheirRound)
{
    Start();
    struct Case {
        const char* func;
        int chn;
        const char* line;
        int row;  // whose packet the failure costs
    } cases[] = {
        {"HI_MPI_VENC_GetStream", 0, "HI_MPI_VENC_GetStream failed with 0xa0078015!\n", 0},
        {"HI_MPI_VENC_ReleaseStream", 0, "HI_MPI_VENC_ReleaseStream [0] error with 0xa0078015 \n", -1},
        {"HI_MPI_VENC_Query", 0, "HI_MPI_VENC_Query chn[0] i[0] failed with 0xa0078015!\n", 0},
        {"HI_MPI_AENC_GetStream", 0, "HI_MPI_AENC_GetStream failed with 0xa0078015!\n", 4},
        {"HI_MPI_AENC_ReleaseStream", 0, "HI_MPI_AENC_ReleaseStream 0 error with 0xa0078015 \n", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.func);
        testing::internal::CaptureStderr();
        XMediaSimFail(c.func, kFault, c.chn, 1);
        const size_t main0 = m_Sink.Count(0);
        const size_t aac0 = m_Sink.Count(4);
        ASSERT_TRUE(m_Sink.WaitBeyond(0, main0 + 10));
        ASSERT_TRUE(m_Sink.WaitBeyond(4, aac0 + 3));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(c.line), std::string::npos) << err;
        EXPECT_EQ(err.find("select failed!"), std::string::npos) << err;
        EXPECT_TRUE(Camera()->CaptureRunning());
        XMediaSimClearFaults();
    }
    // the video rows keep their order of time stamps through every failure
    const std::vector<tagSinkPacket> main = m_Sink.Packets(0);
    for (size_t i = 1; i < main.size(); ++i) {
        EXPECT_GT(main[i].pts, main[i - 1].pts) << i;
    }
}

TEST_F(CaptureThread, SignalsDoNotEndCapture)
{
    struct sigaction sa = {};
    struct sigaction old = {};
    sa.sa_handler = NoOpHandler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no restart: select sees EINTR
    ASSERT_EQ(sigaction(SIGUSR2, &sa, &old), 0);
    Start();
    testing::internal::CaptureStderr();
    for (int i = 0; i < 20; ++i) {
        pthread_kill(Camera()->CaptureThread(), SIGUSR2);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const size_t n = m_Sink.Count(0);
    ASSERT_TRUE(m_Sink.WaitBeyond(0, n + 10));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("select failed!"), std::string::npos) << err;
    EXPECT_TRUE(Camera()->CaptureRunning());
    EXPECT_TRUE(m_Sink.Pauses().empty());
    Camera()->CleanUp();
    sigaction(SIGUSR2, &old, nullptr);
}

TEST_F(CaptureThread, NegativeDescriptorEndsTheThreadWithRecordingPaused)
{
    XMediaSimFail("HI_MPI_VENC_GetFd", kFault, 3);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    ASSERT_TRUE(Camera()->Init());
    ASSERT_TRUE(WaitFor([&] { return !m_Sink.Pauses().empty(); }));
    Camera()->DestroyThread(TRUE);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(err.find("HI_MPI_VENC_GetFd failed with 0xa0078015!\n"), std::string::npos) << err;
    EXPECT_NE(out.find("CAVCapture Thread Quiting..."), std::string::npos) << out;
    EXPECT_EQ(m_Sink.Pauses()[0], std::make_pair(TRUE, TRUE));
    EXPECT_TRUE(m_Sink.Packets().empty());
    // a resume with no thread drains on the caller
    EXPECT_TRUE(Camera()->PauseCapture());
    Camera()->ResumeCapture();
    EXPECT_FALSE(Camera()->m_PauseCapture.load());
}

TEST_F(CaptureThread, AudioEncoderLeavesAndRejoinsTheReadSet)
{
    Start();
    ASSERT_TRUE(m_Sink.WaitBeyond(4, 0));
    ASSERT_TRUE(Camera()->EnableAudioEnc(0));
    // the thread drops it at its next cycle
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const size_t aac = m_Sink.Count(4);
    const size_t main = m_Sink.Count(0);
    ASSERT_TRUE(m_Sink.WaitBeyond(0, main + 15));
    EXPECT_EQ(m_Sink.Count(4), aac);
    EXPECT_TRUE(Camera()->EnableAudioEnc(0));  // already out
    const uint64_t enabled = XTestWallUs();
    ASSERT_TRUE(Camera()->EnableAudioEnc(1));
    ASSERT_TRUE(m_Sink.WaitBeyond(4, aac));
    // what the encoder held while out was dropped
    const tagSinkPacket first = m_Sink.Packets(4)[aac];
    EXPECT_GE(first.pts + 300000, enabled);
    EXPECT_TRUE(Camera()->m_EnableAudioIn.load());
}
