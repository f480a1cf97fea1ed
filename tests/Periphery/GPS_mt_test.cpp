#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/Periphery/GPSTestSupport.h"

namespace {

// The reader parses and logs fixes while the snapshot, HTTP and main threads
// read the record line and the list, pause and resume, and the card changes.
TEST(GPSThreads, ReaderAndCallersShareTheRecordFileAndList)
{
    CGPSRig rig;
    ASSERT_TRUE(rig.Ok());
    testing::internal::CaptureStdout();
    ASSERT_TRUE(rig.m_GPS.Init());
    ASSERT_EQ(rig.Mount(), emSDState_Insert | emSDState_Mount);

    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        for (int i = 0; i < 400 && !stop; ++i) {
            rig.Feed({i % 7 == 6 ? XVoidRmc() : XFixRmc(std::to_string(i % 50) + ".0")});
        }
    });
    std::thread snapshot([&] {
        char data[GPS_BUFF_SIZE];
        unsigned int len = 0;
        while (!stop) {
            if (rig.m_GPS.GetGPSData(data, &len)) {
                EXPECT_EQ(strlen(data), len);
                EXPECT_EQ(std::string(data).find('\r'), std::string::npos);
            }
            rig.m_GPS.GPSModuleActive();
            char pos[64];
            rig.m_GPS.GetGPSPositon(pos, sizeof(pos));
        }
    });
    std::thread http([&] {
        char buf[256];
        while (!stop) {
            rig.m_GPS.GetGPSFileListAsJSON(buf, sizeof(buf));
        }
    });
    std::thread main([&] {
        const int states[] = {emSDState_Insert | emSDState_Mount, emSDState_Insert | emSDState_Mount | emSDState_ReadOnly,
                              0, emSDState_Insert | emSDState_Mount};
        for (int i = 0; !stop; ++i) {
            if (i % 2 == 0) {
                rig.m_GPS.PauseSaveData();
            } else {
                rig.m_GPS.ResumeSaveData();
            }
            CGPS::SDCardStateChange(states[i % 4], &rig.m_GPS);
            std::this_thread::yield();
        }
    });
    feeder.join();
    EXPECT_TRUE(rig.Sync("99.0", 183));
    stop = true;
    snapshot.join();
    http.join();
    main.join();
    rig.m_GPS.CleanUp();
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(rig.m_GPS.GPSModuleActive());
}

}  // namespace
