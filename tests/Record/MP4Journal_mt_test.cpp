// The journal keeper under threads: the capture thread queues samples and
// opens and closes videos while the flusher writes every few milliseconds
// and another thread asks for flushes of its own.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "Record/MP4/MP4Journal.h"
#include "Record/MP4/MP4JournalReader.h"
#include "RecordFileTestSupport.h"

namespace {

tagMP4JournalHeader Header(const std::string& name)
{
    tagMP4JournalHeader h;
    h.fileType = 0;
    h.fps = 30;
    h.timescale = 90000;
    h.width = 320;
    h.height = 240;
    h.creationTime = 1;
    h.name = name;
    h.sps = {0x67, 0x42, 0x00, 0x1e};
    h.pps = {0x68, 0xce};
    return h;
}

tagMP4JournalContent ReadBack(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    tagMP4JournalContent c;
    EXPECT_TRUE(CMP4JournalReader::Parse(bytes.data(), bytes.size(), 1u << 30, c)) << path;
    return c;
}

TEST(MP4JournalThreads, QueuedSamplesReachTheJournalWhileTheFlusherRuns)
{
    CRecTempDir dir;
    CMP4Journal journal(2);
    std::atomic<bool> done{false};
    std::thread other([&] {
        while (!done.load()) {
            journal.Flush();
            journal.IsActive();
            journal.GetStats();
        }
    });
    const int kFiles = 4;
    const uint32_t kSamples = 3000;
    for (int f = 0; f < kFiles; ++f) {
        const std::string name = "2024010508300" + std::to_string(f) + "_0.MP4";
        const std::string video = dir / name;
        const int fd = open(video.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0666);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(journal.Begin(video.c_str(), fd, Header(name)));
        close(fd);
        uint64_t at = 64;
        for (uint32_t i = 0; i < kSamples; ++i) {
            journal.OnSample(TRUE, at, 100, 3000, i % 30 == 0, FALSE);
            at += 100;
            if (i % 500 == 0) {
                journal.SetNames(1080, FALSE, static_cast<int>(i / 500));
                journal.SetAlarmState(i, nullptr);
            }
        }
        ASSERT_TRUE(journal.Flush());
        journal.End();
        const tagMP4JournalContent c = ReadBack(dir / ("." + name + ".jnl"));
        EXPECT_EQ(c.problem, "");
        EXPECT_EQ(c.videoSamples, kSamples);
        EXPECT_EQ(c.dataEnd, 64u + 100u * kSamples);
        EXPECT_EQ(c.titleIndex, 5);
        EXPECT_EQ(c.alarmMask, 2500u);
        if (f % 2 == 1) {
            journal.Remove();
            EXPECT_FALSE(XRecExists(dir / ("." + name + ".jnl")));
        }
    }
    done = true;
    other.join();
    EXPECT_GT(journal.GetStats().flushes, 0u);
}

}  // namespace
