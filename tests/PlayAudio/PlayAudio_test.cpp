// Prompts played on the simulated audio output: what reaches the speaker,
// the cuts, the amplifier and the microphone mute, the speaker mute and the
// stop.

#include <gtest/gtest.h>

#include <errno.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "Platform/ThreadSim.h"
#include "tests/PlayAudio/PromptRig.h"

namespace {

class PlayAudioTest : public CPromptRig {
protected:
    // Posts a prompt and waits until `bytes` of it were sent and it ended.
    bool PlayWhole(pcm_index_t index, size_t bytes)
    {
        const uint64_t before = Ao().u64BytesSent;
        if (!CPlayAudio::instance()->PlayAudio(index)) {
            return false;
        }
        return WaitFor([&] { return Ao().u64BytesSent >= before + bytes; }) && WaitFinished();
    }
    // Holds the output and starts a prompt: true once the worker waits for room.
    bool StartHeld(pcm_index_t index)
    {
        XAudioSimAoHold(TRUE);
        return CPlayAudio::instance()->PlayAudio(index) && WaitFor([] { return Ao().u32Queued == 5; }) &&
               WaitFor([this] { return Amp() == 1; });
    }
    // Posts a request while the worker is busy: true once it is flagged.
    static bool PostFlagged(pcm_index_t index)
    {
        return CPlayAudio::instance()->PlayAudio(index) && WaitFor([] { return Taken() && Waiting(); });
    }
};

TEST_F(PlayAudioTest, ShortLastFrameIsPaddedWithSilence)
{
    const std::string data = WriteLangWav("gps.wav", 1000, 1);
    ASSERT_TRUE(PlayWhole(PCM_GPS_LOCATE_SUCCESS, 1024));
    const std::string played = Played();
    ASSERT_EQ(played.size(), 1024u);
    EXPECT_EQ(played.substr(0, 1000), data);
    EXPECT_EQ(played.substr(1000), std::string(24, '\0'));
    EXPECT_EQ(Ao().u64BytesSent, 1024u);
}

// The board's own recording, its data as Python's wave module reads it.
TEST_F(PlayAudioTest, BoardRecordingPlaysAsWaveReadsIt)
{
    const std::string file = m_Board.Path("/pcmsource/en/off.wav");
    int st = -1;
    const std::string data = XTestRun(std::string(DASHCAM_PYTHON) +
                                          " -c 'import sys, wave; w = wave.open(sys.argv[1]); "
                                          "assert (w.getnchannels(), w.getsampwidth(), w.getframerate()) == (1, 2, 8000); "
                                          "sys.stdout.buffer.write(w.readframes(w.getnframes()))' " +
                                          file,
                                      &st);
    ASSERT_EQ(st, 0);
    ASSERT_GT(data.size(), 1000u);
    ASSERT_TRUE(PlayWhole(PCM_OFF, Padded(data).size()));
    EXPECT_EQ(Played(), Padded(data));
}

TEST_F(PlayAudioTest, LongCardFilePlaysWholeInPieces)
{
    ASSERT_TRUE(PollCard());
    mkdir(m_Board.Path("/tmp/mmc0/tavika-ft").c_str(), 0755);
    const std::string data = XPromptData(40000, 7);  // longer than one piece read from the file
    XWriteWav(m_Board.Path("/tmp/mmc0/tavika-ft/speaker-test.wav"), data, 0xFFFFFFFFu);
    ASSERT_TRUE(PlayWhole(PCM_FACTORY_TEST_SPEAKER, Padded(data).size()));
    EXPECT_EQ(Played(), Padded(data));
}

TEST_F(PlayAudioTest, RequestsWithoutPlayableFileAreDropped)
{
    ASSERT_TRUE(PollCard(false));
    unlink(m_Board.Path("/pcmsource/en/gps.wav").c_str());
    struct {
        int index;
        const char* line;
    } const cases[] = {
        {0, "get audio filename err\n"},
        {1, "get audio filename err\n"},
        {6, "get audio filename err\n"},
        {36, "get audio filename err\n"},
        {-1, "get audio filename err\n"},
        {8, "open  failed\n"},   // no card: the path stays empty
        {17, "open  failed\n"},
        {9, "open /pcmsource/en/gps.wav failed\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("prompt " + std::to_string(c.index));
        COutputFile err(2);
        ASSERT_TRUE(CPlayAudio::instance()->PlayAudio(static_cast<pcm_index_t>(c.index)));
        EXPECT_TRUE(WaitFor([&] { return err.Text().find(c.line) != std::string::npos; })) << err.Text();
        EXPECT_TRUE(WaitFinished());
        err.Restore();
        EXPECT_EQ(Ao().u64BytesSent, 0u);
    }
    EXPECT_EQ(Amp(), 0);
}

TEST_F(PlayAudioTest, ValueOf10000PostsNothing)
{
    WriteLangWav("gps.wav", 512, 2);
    EXPECT_FALSE(CPlayAudio::instance()->PlayAudio(PCM_GPS_LOCATE_SUCCESS, 10000));
    EXPECT_FALSE(CPlayAudio::instance()->PlayAudio(PCM_GPS_LOCATE_SUCCESS, 0xFFFFFFFFu));
    EXPECT_EQ(m_Board.Sim("prompts"), "");
    const uint64_t before = Ao().u64BytesSent;
    EXPECT_TRUE(CPlayAudio::instance()->PlayAudio(PCM_GPS_LOCATE_SUCCESS, 9999));
    EXPECT_TRUE(WaitFor([&] { return Ao().u64BytesSent == before + 512; }));
    EXPECT_TRUE(WaitFinished());
    EXPECT_EQ(Ao().u64BytesSent, before + 512);
    EXPECT_EQ(m_Board.Sim("prompts"), "PCM 9\n");
}

// Requests waiting while the speaker is muted: the newest plays once it is
// unmuted, nothing before.
TEST_F(PlayAudioTest, MutedSpeakerKeepsTheNewestRequestWaiting)
{
    const std::string first = WriteLangWav("gps.wav", 2048, 3);
    const std::string second = WriteLangWav("on.wav", 1536, 4);
    COutputFile out(1);
    ASSERT_TRUE(m_Capture.SetVolume(0));
    ASSERT_TRUE(CPlayAudio::instance()->PlayAudio(PCM_GPS_LOCATE_SUCCESS));
    ASSERT_TRUE(CPlayAudio::instance()->PlayAudio(PCM_ON));
    ASSERT_TRUE(WaitFor([] { return Taken() && Waiting(); }));
    EXPECT_EQ(Ao().u64BytesSent, 0u);
    EXPECT_EQ(Amp(), 0);
    ASSERT_TRUE(m_Capture.SetVolume(10));
    EXPECT_TRUE(WaitFor([] { return Ao().u64BytesSent >= 1536; }));
    EXPECT_TRUE(WaitFinished());
    EXPECT_EQ(Played(), second);
    EXPECT_EQ(out.Text(), "volume is : 0\nvolume is : 10\n");
}

TEST_F(PlayAudioTest, RequestMidPromptCutsIt)
{
    const std::string first = WriteLangWav("gps.wav", 40 * kFrame, 5);
    const std::string second = WriteLangWav("on.wav", 1000, 6);
    ASSERT_TRUE(StartHeld(PCM_GPS_LOCATE_SUCCESS));
    ASSERT_TRUE(PostFlagged(PCM_ON));
    XAudioSimAoHold(FALSE);
    ASSERT_TRUE(WaitFor([] { return !Waiting(); }));
    ASSERT_TRUE(WaitFinished());
    const std::string played = Played();
    ASSERT_GT(played.size(), 1024u);
    const size_t cut = played.size() - 1024;
    EXPECT_EQ(cut % kFrame, 0u);
    EXPECT_GE(cut, 5 * kFrame);  // what the output held
    EXPECT_LT(cut, first.size());
    EXPECT_EQ(played.substr(0, cut), first.substr(0, cut));
    EXPECT_EQ(played.substr(cut), Padded(second));
}

// Amplifier and microphone mute while a prompt plays, by the settings.
TEST_F(PlayAudioTest, AmplifierAndMicrophoneAroundPrompt)
{
    WriteLangWav("gps.wav", 10 * kFrame, 8);
    struct {
        bool audiorecord;
        bool tested;
    } const cases[] = {{true, true}, {true, false}, {false, true}, {false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("audiorecord ") + (c.audiorecord ? "on" : "off") + ", factory test " +
                     (c.tested ? "passed" : "not passed"));
        SetMicRule(c.audiorecord, c.tested);
        CAcodecModel::instance()->ResetModel();
        COutputFile out(1);
        ASSERT_TRUE(StartHeld(PCM_GPS_LOCATE_SUCCESS));
        EXPECT_EQ(MicMuted(), c.audiorecord && c.tested);
        XAudioSimAoHold(FALSE);
        ASSERT_TRUE(WaitFinished());
        EXPECT_TRUE(MicFree());
        size_t mutes = 0;
        for (const AcodecRequest& r : CAcodecModel::instance()->Requests()) {
            mutes += r.request == ACODEC_REQ_INPUT_MUTE_1 || r.request == ACODEC_REQ_INPUT_MUTE_2;
            EXPECT_EQ(r.result, 0);
        }
        EXPECT_EQ(mutes, c.audiorecord && c.tested ? 4u : 0u);  // both requests on, both off
        EXPECT_EQ(out.Text().find("ioctl err!"), std::string::npos);
    }
}

// A prompt cut by a request that cannot be played: the amplifier goes off
// and the microphone back on.
TEST_F(PlayAudioTest, CutByFailedLoadReleasesOutputs)
{
    SetMicRule(true, true);
    ASSERT_TRUE(PollCard(false));
    const std::string first = WriteLangWav("on.wav", 40 * kFrame, 9);
    for (int failing : {0, 6, 8, 9}) {  // 9: its file is missing
        SCOPED_TRACE("cut by prompt " + std::to_string(failing));
        unlink(m_Board.Path("/pcmsource/en/gps.wav").c_str());
        COutputFile err(2);
        ASSERT_TRUE(StartHeld(PCM_ON));
        ASSERT_TRUE(MicMuted());
        ASSERT_TRUE(PostFlagged(static_cast<pcm_index_t>(failing)));
        XAudioSimAoHold(FALSE);
        EXPECT_TRUE(WaitFor([] { return !Waiting(); }));
        EXPECT_TRUE(WaitFinished());
        EXPECT_EQ(Amp(), 0);
        EXPECT_TRUE(MicFree());
        EXPECT_NE(err.Text().find("Error["), std::string::npos);
    }
    EXPECT_LT(Played().size(), first.size());
}

// Volume 0 mid-prompt pauses it without holding the amplifier or the
// microphone; the prompt goes on from there when the volume comes back.
TEST_F(PlayAudioTest, VolumeZeroPausesAndReleasesOutputs)
{
    SetMicRule(true, true);
    const std::string data = WriteLangWav("gps.wav", 30 * kFrame, 10);
    COutputFile out(1);
    ASSERT_TRUE(StartHeld(PCM_GPS_LOCATE_SUCCESS));
    ASSERT_TRUE(MicMuted());
    ASSERT_TRUE(m_Capture.SetVolume(0));
    XAudioSimAoHold(FALSE);
    ASSERT_TRUE(WaitFor([this] { return Amp() == 0 && MicFree(); }));
    ASSERT_TRUE(XAudioSimAoWaitDrained(5000));
    const uint64_t paused = Ao().u64BytesSent;
    EXPECT_LT(paused, data.size());
    EXPECT_TRUE(Playing());
    XAudioSimAoHold(TRUE);  // the resumed prompt waits for room with both taken again
    ASSERT_TRUE(m_Capture.SetVolume(10));
    EXPECT_TRUE(WaitFor([this] { return Amp() == 1 && MicMuted(); }));
    XAudioSimAoHold(FALSE);
    EXPECT_TRUE(WaitFor([&] { return Ao().u64BytesSent == data.size(); }));
    EXPECT_TRUE(WaitFinished());
    EXPECT_TRUE(MicFree());
    EXPECT_EQ(Played(), data);
}

// Frames the output refuses are reported and dropped; the prompt ends as usual.
TEST_F(PlayAudioTest, FailedFramesAreReportedAndSkipped)
{
    WriteLangWav("gps.wav", 4 * kFrame, 11);
    ASSERT_EQ(HI_MPI_AO_DisableChn(0, 0), 0);
    COutputFile out(1);
    char line[64];
    snprintf(line, sizeof(line), "HI_MPI_AO_SendFrame faild with %#x\n", static_cast<unsigned>(AO_ERR_NOT_PERM));
    auto failures = [&] {
        const std::string text = out.Text();
        size_t n = 0;
        for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) {
            ++n;
        }
        return n;
    };
    ASSERT_TRUE(CPlayAudio::instance()->PlayAudio(PCM_GPS_LOCATE_SUCCESS));
    ASSERT_TRUE(WaitFor([&] { return failures() == 4; })) << out.Text();
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(failures(), 4u) << out.Text();
    EXPECT_EQ(Ao().u64BytesSent, 0u);
}

// A worker that could not be made is made at the next request.
TEST_F(PlayAudioTest, WorkerCreationIsTriedAgain)
{
    WriteLangWav("gps.wav", kFrame, 14);
    const std::string second = WriteLangWav("on.wav", 2 * kFrame, 15);
    ASSERT_FALSE(CPromptWorker::instance()->Running());
    COutputFile out(1);
    XThreadSimFail(EAGAIN, 1);
    ASSERT_TRUE(CPlayAudio::instance()->PlayAudio(PCM_GPS_LOCATE_SUCCESS));
    ASSERT_TRUE(WaitFor([&] { return out.Text().find("the ThreadProc create  error!\n") != std::string::npos; }));
    EXPECT_FALSE(CPromptWorker::instance()->Running());
    EXPECT_TRUE(PlayWhole(PCM_ON, second.size()));
    EXPECT_EQ(Played(), second);
    XThreadSimFail(0, 0);
}

TEST_F(PlayAudioTest, CleanUpWhilePlayingStopsTheWorker)
{
    WriteLangWav("gps.wav", 40 * kFrame, 12);
    ASSERT_TRUE(StartHeld(PCM_GPS_LOCATE_SUCCESS));
    EXPECT_TRUE(CPlayAudio::instance()->CleanUp());
    EXPECT_FALSE(CPromptWorker::instance()->Running());
    EXPECT_FALSE(Playing());
    EXPECT_EQ(Amp(), 0);
    // taken again by a new start
    XAudioSimAoHold(FALSE);
    ASSERT_TRUE(XAudioSimAoWaitDrained(5000));
    const uint64_t before = Ao().u64BytesSent;
    ASSERT_TRUE(CPlayAudio::instance()->Init());
    WriteLangWav("on.wav", kFrame, 13);
    EXPECT_TRUE(PlayWhole(PCM_ON, kFrame));
    EXPECT_EQ(Ao().u64BytesSent, before + kFrame);
}

}  // namespace
