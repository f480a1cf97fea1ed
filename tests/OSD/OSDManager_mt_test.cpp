// The overlay manager under concurrent callers: layouts from the capture's
// switches, the app's settings and the encoders blending the regions, while
// the overlay thread draws ticks and speeds.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "Platform/MediaSim.h"
#include "Platform/host/media/RgnCompositor.h"
#include "tests/OSD/OSDTestSupport.h"

namespace {

TEST(OSDManagerThreads, LayoutsDrawingAndBlendingTogether)
{
    XMediaSimReset();
    CTestBoard board;
    XTestSetModel("MX1");
    {
        CTestOSDSources sources;
        CTestOSDManager osd;
        osd.Bind(&sources);
        testing::internal::CaptureStdout();
        ASSERT_TRUE(osd.Init());
        testing::internal::GetCapturedStdout();
        std::atomic<bool> stop{false};
        std::atomic<int> layoutFailures{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 2; ++t) {
            threads.emplace_back([&, t] {
                while (!stop) {
                    if (!(t == 0 ? osd.LayoutOSD(0) : osd.LayoutOSD())) {
                        ++layoutFailures;
                    }
                }
            });
        }
        threads.emplace_back([&] {
            unsigned speed = 0;
            while (!stop) {
                osd.SendMsg(XM_GPS_MODULE_ACTIVE, speed & 1, 0);
                osd.SendMsg(XM_GPS_SPEED, 0, speed++ % 120);
                osd.SetDisplayGPSSpeedOSD(static_cast<int>(speed / 7 % 2));
                osd.m_forceshowspeed = 1;
                int shown = 0;
                osd.GetDisplayGPSSpeedOSD(shown);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        threads.emplace_back([&] {
            std::vector<uint8_t> y(640 * 480, 100);
            std::vector<uint8_t> u(320 * 240, 128);
            std::vector<uint8_t> v(320 * 240, 128);
            while (!stop) {
                XRgnCompose(1, {y.data(), 640, u.data(), v.data(), 320, 1, 640, 480});
            }
        });
        ASSERT_TRUE(XTestWaitFor([] { return XTestRgn(4).u64SetBitMap > 20 && XTestRgn(0).u64SetBitMap > 1; }));
        // shut-down while everything runs
        testing::internal::CaptureStdout();
        EXPECT_TRUE(osd.CleanUp());
        testing::internal::GetCapturedStdout();
        stop = true;
        for (std::thread& t : threads) {
            t.join();
        }
        EXPECT_TRUE(XRgnSimHandles().empty());
        EXPECT_EQ(0, layoutFailures.load()) << "layouts fail only after clean-up";
    }
    XTestSetModel(nullptr);
    XMediaSimReset();
}

}  // namespace
