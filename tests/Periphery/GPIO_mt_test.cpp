#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "Periphery/GPIO.h"
#include "support/TestBoard.h"
#include "tests/Periphery/GPIOTestSupport.h"

namespace {

class GPIOThreads : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_lpGpio = CGPIOManager::instance();
        m_lpGpio->CleanUp();
    }
    void TearDown() override { m_lpGpio->CleanUp(); }

    uint32_t PinWord(int pin) const
    {
        uint32_t reg = 0x20140000u + static_cast<uint32_t>(pin / 10) * 0x10000u + (1u << (pin % 10 + 2));
        return XFileWord(m_Board.Path("/dev/mem"), reg);
    }

    CTestBoard m_Board;
    CGPIOManager* m_lpGpio = nullptr;
};

// Two threads reach groups nobody has mapped yet at the same moment: every
// group ends up with exactly one window and every access lands.
TEST_F(GPIOThreads, FirstAccessesOfNewGroupsAtOnce)
{
    const int kRounds = 40;
    for (int round = 0; round < kRounds; ++round) {
        m_lpGpio->CleanUp();
        std::atomic<int> ready(0);
        std::atomic<int> failures(0);
        auto worker = [&](int firstGroup) {
            ready.fetch_add(1);
            while (ready.load() < 2) {
            }
            for (int g = firstGroup; g < 9; g += 2) {
                int pin = g * 10 + (g + round) % 8;
                int value = -1;
                if (!m_lpGpio->Write(pin, 1) || !m_lpGpio->Read(pin, value) || value != 1) {
                    failures.fetch_add(1);
                }
            }
        };
        std::thread a(worker, 0);
        std::thread b(worker, 1);
        a.join();
        b.join();
        ASSERT_EQ(failures.load(), 0) << "round " << round;
        ASSERT_EQ(XCountMappings(m_Board.Path("/dev/mem")), 9) << "round " << round;
        for (int g = 0; g < 9; ++g) {
            int pin = g * 10 + (g + round) % 8;
            ASSERT_EQ(PinWord(pin), 1u << (pin % 10)) << "pin " << pin;
            ASSERT_TRUE(m_lpGpio->Write(pin, 0));
        }
    }
}

// Six threads, as in the running camera, each toggling its own pin of shared
// groups: no pin disturbs another.
TEST_F(GPIOThreads, SixThreadsOnTheirOwnPins)
{
    const int pins[] = {0, 1, 67, 71, 73, 80};
    const int kToggles = 2000;
    std::vector<std::thread> threads;
    std::atomic<int> failures(0);
    for (int pin : pins) {
        threads.emplace_back([&, pin] {
            for (int i = 0; i < kToggles; ++i) {
                int value = -1;
                if (!m_lpGpio->Write(pin, i & 1) || !m_lpGpio->Read(pin, value) || value != (i & 1)) {
                    failures.fetch_add(1);
                }
            }
            // End high on odd pins, low on even ones.
            m_lpGpio->Write(pin, pin & 1);
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(XCountMappings(m_Board.Path("/dev/mem")), 4) << "groups 0, 6, 7 and 8";
    for (int pin : pins) {
        EXPECT_EQ(PinWord(pin), (pin & 1) ? (1u << (pin % 10)) : 0u) << "pin " << pin;
    }
}

}  // namespace
