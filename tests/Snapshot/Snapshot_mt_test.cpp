// Alarm snapshots on the snapshot thread and app captures on another
// thread at the same time: each result is one whole picture.

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "SnapshotRig.h"

namespace {

// SOI first, EOI last, and the SOF0 size of the channel.
bool XWholeJpeg(const std::vector<unsigned char>& d)
{
    if (d.size() < 8 || d[0] != 0xFF || d[1] != 0xD8 || d[d.size() - 2] != 0xFF || d[d.size() - 1] != 0xD9) {
        return false;
    }
    for (size_t i = 2; i + 9 < d.size(); ++i) {
        if (d[i] == 0xFF && d[i + 1] == 0xC0) {
            const unsigned h = (d[i + 5] << 8) | d[i + 6];
            const unsigned w = (d[i + 7] << 8) | d[i + 8];
            return w == 1920 && h == 1080;
        }
    }
    return false;
}

TEST(SnapshotThreads, AlarmSnapshotsAndAppCapturesTogether)
{
    CSnapshotRig rig;
    ASSERT_TRUE(rig.Ok());
    ASSERT_TRUE(rig.m_lpManager->Init());
    rig.m_lpPorts->NotifyCard(kUsableCard);
    const std::string gps = "$GPRMC,1,A";
    rig.m_lpPorts->SetGPS(&gps);

    std::atomic<bool> run{true};
    std::atomic<int> posted{0};
    std::thread alarms([&] {
        while (run) {
            if (rig.m_lpManager->Snapshot(2, 0, 'A')) {
                ++posted;
            }
            XSleep(20);
        }
    });
    int captures = 0;
    int bad = 0;
    std::vector<unsigned char> buf(1 << 20);
    const uint32_t start = SystemGetMSCount();
    while (SystemGetMSCount() - start < 3000) {
        unsigned len = static_cast<unsigned>(buf.size());
        if (rig.m_lpManager->Capture(buf.data(), &len)) {
            ++captures;
            if (!XWholeJpeg(std::vector<unsigned char>(buf.begin(), buf.begin() + len))) {
                ++bad;
            }
        }
    }
    run = false;
    alarms.join();
    rig.m_lpManager->CleanUp();

    EXPECT_GT(captures, 0);
    EXPECT_EQ(bad, 0);
    const std::vector<std::string> snaps = rig.Snaps();
    EXPECT_FALSE(snaps.empty());
    EXPECT_LE(snaps.size(), static_cast<size_t>(posted.load()));
    for (const std::string& n : snaps) {
        std::ifstream in(rig.SnapDir() + "/" + n, std::ios::binary);
        const std::vector<unsigned char> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_TRUE(XWholeJpeg(d)) << n;
        EXPECT_EQ(n[0], 'A') << n;
    }
    tagMediaSimVenc v;
    ASSERT_TRUE(XMediaSimVencInfo(2, &v));
    EXPECT_EQ(v.u32Held, 0u) << "every picture taken was given back";
}

}  // namespace
