// Requests, volume changes and the stop from several threads at once.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/PlayAudio/PromptRig.h"

namespace {

class PlayAudioThreads : public CPromptRig {};

// Whatever the interleaving, the speaker gets whole frames of the two
// prompts and the last prompt loaded plays to its end.
TEST_F(PlayAudioThreads, BurstFromManyThreadsPlaysFramesOfThePrompts)
{
    const std::string a = WriteLangWav("gps.wav", 6 * kFrame, 21);
    const std::string b = WriteLangWav("on.wav", 4 * kFrame, 22);
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t) {
        posters.emplace_back([t] {
            for (int i = 0; i < 40; ++i) {
                CPlayAudio::instance()->PlayAudio((i + t) % 2 ? PCM_GPS_LOCATE_SUCCESS : PCM_ON);
                std::this_thread::sleep_for(std::chrono::microseconds(500 * (t + 1)));
            }
        });
    }
    std::thread volume([this] {
        COutputFile quiet(1);
        for (int i = 0; i < 20; ++i) {
            m_Capture.SetVolume(i % 2 ? 0 : 12);
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        m_Capture.SetVolume(12);
    });
    for (std::thread& p : posters) {
        p.join();
    }
    volume.join();
    ASSERT_TRUE(WaitFor([this] { return Ao().u64BytesSent > 0 && Finished(); }));
    ASSERT_TRUE(XAudioSimAoWaitDrained(5000));
    const std::string played = Played();
    ASSERT_EQ(played.size() % kFrame, 0u);
    ASSERT_GE(played.size(), b.size());
    for (size_t at = 0; at < played.size(); at += kFrame) {
        const std::string frame = played.substr(at, kFrame);
        EXPECT_TRUE(a.find(frame) != std::string::npos || b.find(frame) != std::string::npos) << "frame at " << at;
    }
    const std::string tailA = played.size() >= a.size() ? played.substr(played.size() - a.size()) : "";
    const std::string tailB = played.substr(played.size() - b.size());
    EXPECT_TRUE(tailA == a || tailB == b);
    EXPECT_EQ(Amp(), 0);
}

// A stop while other threads keep posting and a prompt plays.
TEST_F(PlayAudioThreads, CleanUpWhileRequestsArrive)
{
    WriteLangWav("gps.wav", 20 * kFrame, 23);
    std::atomic<bool> stop{false};
    std::thread poster([&stop] {
        while (!stop) {
            CPlayAudio::instance()->PlayAudio(PCM_GPS_LOCATE_SUCCESS);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    ASSERT_TRUE(WaitFor([] { return Ao().u64BytesSent > 0; }));
    EXPECT_TRUE(CPlayAudio::instance()->CleanUp());
    EXPECT_FALSE(CPromptWorker::instance()->Running());
    stop = true;
    poster.join();
    EXPECT_EQ(Amp(), 0);
    CPlayAudio::instance()->ClearMsg();
}

}  // namespace
