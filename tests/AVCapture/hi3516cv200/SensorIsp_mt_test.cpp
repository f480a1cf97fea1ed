// The simulated ISP running a sensor driver at its frame rate while other
// threads script the exposure, read the frames and end the run.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "Platform/MpiIsp.h"
#include "Platform/host/media/MediaModules.h"
#include "tests/AVCapture/hi3516cv200/SensorRig.h"
#include "tests/Platform/MediaChain.h"

TEST(SensorIspThreads, FramesAtTheRateWhileTheTargetMovesAndExitEndsThem)
{
    CSensorRig rig(XMn34222());
    CTestMediaChain chain;
    ASSERT_EQ(chain.System(), HI_SUCCESS);
    ASSERT_EQ(sensor_register_callback_mn34222(), 0);
    ISP_WDR_MODE_S wdr = {WDR_MODE_NONE};
    ISP_PUB_ATTR_S pub = {{0, 0, 1920, 1080}, 30.0f, BAYER_RGGB};
    XCaptureOut([&] {
        ASSERT_EQ(HI_MPI_ISP_MemInit(0), HI_SUCCESS);
        ASSERT_EQ(HI_MPI_ISP_SetWDRMode(0, &wdr), HI_SUCCESS);
        ASSERT_EQ(HI_MPI_ISP_SetPubAttr(0, &pub), HI_SUCCESS);
        ASSERT_EQ(HI_MPI_ISP_Init(0), HI_SUCCESS);
    });

    HI_S32 runResult = -1;
    std::thread run([&] { runResult = HI_MPI_ISP_Run(0); });
    std::atomic<bool> stop{false};
    std::thread script([&] {
        for (uint64_t k = 0; !stop; ++k) {
            XIspSimSetExposureTarget(1024 * (100 + (k % 7) * 300));
            XIspSimFrames();
            tagIspSimDefaults def;
            XIspSimDefaults(&def);
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    });
    // frames come on their own clock
    for (int i = 0; i < 10000 && XIspSimFrames().size() < 10; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_GE(XIspSimFrames().size(), 10u);
    EXPECT_GT(CI2cModel::instance()->Log().size(), 99u) << "the AE's writes follow the init sequence";

    ASSERT_EQ(HI_MPI_ISP_Exit(0), HI_SUCCESS);
    run.join();
    stop = true;
    script.join();
    EXPECT_EQ(runResult, HI_SUCCESS);
    const size_t frames = XIspSimFrames().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(XIspSimFrames().size(), frames) << "no frame after Exit";
}
