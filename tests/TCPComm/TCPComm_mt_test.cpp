#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "FactoryTest/FactoryTest.h"
#include "IniConfig/IniConfig.h"
#include "Main/Wiring/CameraWiring.h"
#include "Periphery/GPIO.h"
#include "TCPComm/TCPComm.h"
#include "support/TestBoard.h"
#include "tests/TCPComm/TcpPhone.h"

namespace {

// Phones come and go (displaced, saying bye, falling silent) while other
// threads push; a descriptor opened meanwhile is never closed by the channel.
TEST(ChannelThreads, DisplacementDropsAndPushes)
{
    CTestBoard board;
    CGPIOManager::instance()->CleanUp();
    CFactoryTest::instance()->ReadEnvData();
    CTCPComm* chan = CTCPComm::instance();
    chan->Bind(CCameraWiring::instance()->ForApp());  // the camera's managers
    chan->SetTimeouts(400, 500);
    chan->SetListenPort(0);
    ASSERT_TRUE(chan->Init());
    const int port = chan->GetListenPort();

    std::atomic<bool> stop{false};
    std::atomic<int> pushed{0};
    std::vector<std::thread> pushers;
    for (int t = 0; t < 3; ++t) {
        pushers.emplace_back([&, t] {
            const std::string json(100 + 300 * t, 'x');
            while (!stop) {
                pushed += chan->NotifyCommonVideoUpdate(json.c_str(), static_cast<int>(json.size()));
                chan->SendHeartBeat();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    std::thread churn([&] {
        for (int i = 0; i < 24; ++i) {
            auto phone = std::make_unique<CTcpPhone>(port, i % 3 == 0 ? 2048 : 0);
            CTcpPhone::tagIn in;
            phone->Read(in, 300);
            if (i % 4 == 1) {
                phone->Send(CMD_DISCONNECT_BY_CLIENT);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(60 + 20 * (i % 5)));
        }
    });
    churn.join();
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    stop = true;
    for (auto& t : pushers) {
        t.join();
    }
    EXPECT_GT(pushed.load(), 0);
    // The test's own descriptor is still open and works.
    EXPECT_NE(fcntl(pipefd[0], F_GETFD), -1);
    EXPECT_EQ(write(pipefd[1], "k", 1), 1);
    char c = 0;
    EXPECT_EQ(read(pipefd[0], &c, 1), 1);
    EXPECT_EQ(c, 'k');
    close(pipefd[0]);
    close(pipefd[1]);
    chan->CleanUp();
    chan->Bind({});
    chan->SetTimeouts(15000, 2000);
    CGPIOManager::instance()->CleanUp();
}

}  // namespace
