#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "Periphery/I2CDevManager.h"
#include "Periphery/I2CDevTestSupport.h"
#include "support/TestBoard.h"

namespace {

const uint32_t kResetSequence[][2] = {
    {0x80, 1}, {0x00, 0x05}, {0x01, 0x73}, {0x04, 0}, {0x05, 0}, {0x06, 0}, {0x07, 0},
    {0x08, 0}, {0x09, 0},    {0x15, 0},    {0x16, 0},
};

// The polling thread and the accessor threads of the app channel and the
// web bridges at once: every register sequence of the proximity chip stays
// whole in the transfer log.
TEST(I2CDevManagerThreads, AccessorsNeverBreakAPoll)
{
    CTestBoard board;
    XResetSensorModels();
    CFakeI2CDevPorts ports;
    ports.realSleep = true;
    CI2CDevManager m;
    m.Bind(ports.Roles());
    ASSERT_TRUE(m.Init());
    std::atomic<bool> stop{false};
    std::vector<std::thread> callers;
    for (int k = 0; k < 2; ++k) {
        callers.emplace_back([&m, &stop, k] {
            for (unsigned i = 0; i < 150 && !stop; ++i) {
                unsigned init = 0, trigger = 0, cur = 0, max = 0, min = 0;
                m.TESTGetIRSensorParam(init, trigger, cur, max, min);
                m.TESTSetIRSensorParam(200 + i, 900 + i);
                float t = 0;
                m.TESTGetGSensorParam(t);
                m.TESTSetGSensorParam(static_cast<float>(10 + (i % 5)));
                if (i % 25 == static_cast<unsigned>(k)) {
                    m.TESTCorrectIRSensor();
                }
                m.IRSensorActive();
                m.GSensorActive();
            }
        });
    }
    for (std::thread& t : callers) {
        t.join();
    }
    stop = true;
    ASSERT_TRUE(m.CleanUp());

    std::vector<tagSensorTransfer> prox;
    for (const tagSensorTransfer& x : CI2cSensorModel::Log()) {
        if (x.slave == 0x90) {
            prox.push_back(x);
        }
    }
    size_t resets = 0;
    size_t polls = 0;
    for (size_t i = 0; i < prox.size(); ++i) {
        const tagSensorTransfer& x = prox[i];
        if (x.write && x.reg == 0x80) {
            ++resets;
            ASSERT_LE(i + 11, prox.size());
            for (size_t j = 0; j < 11; ++j) {
                EXPECT_TRUE(prox[i + j].write && prox[i + j].reg == kResetSequence[j][0] &&
                            prox[i + j].value == kResetSequence[j][1])
                    << "transfer " << i + j;
            }
        }
        // A poll with data reads the reading's two bytes right after its flag.
        if (!x.write && x.reg == 0x10 && (x.value & 0x40) && i + 2 < prox.size() && !prox[i + 1].write &&
            prox[i + 1].reg == 0x11) {
            ++polls;
            EXPECT_EQ(prox[i + 2].reg, 0x12u) << "transfer " << i + 2;
        }
    }
    EXPECT_GE(resets, 300u);
    EXPECT_GT(polls, 0u);
    XResetSensorModels();
}

}  // namespace
