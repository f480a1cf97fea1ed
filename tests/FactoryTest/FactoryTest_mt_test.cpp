#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include <atomic>
#include <string>
#include <thread>

#include "FactoryTest/FactoryFakes.h"
#include "FactoryTest/FactoryStation.h"
#include "FactoryTest/FactoryTest.h"
#include "Periphery/SDManager.h"
#include "Platform/host/devices/MtdModel.h"
#include "support/TestBoard.h"

namespace {

// Readers on other threads take copies while one thread reloads, changes and
// saves the block: every copy is one of the values written, never torn.
TEST(EnvThreads, CopiesWhileAnotherThreadRewrites)
{
    CTestBoard board;
    CMtdModel::instance()->ResetModel();
    CFactoryTest env;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(env.ReadEnvData());
    ASSERT_TRUE(env.SetEnv("devmodel", "AAAAAAAA"));
    std::atomic<bool> stop(false);
    std::atomic<int> bad(0);
    std::thread reader([&] {
        std::string v;
        char model[32];
        while (!stop.load()) {
            if (env.GetEnvValue("devmodel", v) && v != "AAAAAAAA" && v != "BBBBBBBBBBBBBBBB") {
                ++bad;
            }
            if (env.GetModelString(model, sizeof(model)) && std::string(model) != "AAAAAAAA" &&
                std::string(model) != "BBBBBBBBBBBBBBBB") {
                ++bad;
            }
        }
    });
    for (int i = 0; i < 20; ++i) {
        env.SetEnv("devmodel", i % 2 ? "AAAAAAAA" : "BBBBBBBBBBBBBBBB");
        env.SetEnv("other", "x");
        if (i % 5 == 0) {
            env.SaveEnvData();
            env.ReadEnvData();
        }
    }
    stop = true;
    reader.join();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(bad.load(), 0);
    CMtdModel::instance()->ResetModel();
}

}  // namespace

namespace {

// Card callbacks rewrite the title while the server builds discovery
// replies: every reply carries one whole title.
TEST(FactoryThreads, TitleRewrittenWhileDiscoveryAnswers)
{
    CTestBoard board;
    CMtdModel::instance()->ResetModel();
    CFakeFactoryPorts fake;
    CFakeFactoryPorts* ports = &fake;
    ports->mountPath = "/tmp/mmc0/";
    mkdir(board.Path("/tmp/mmc0").c_str(), 0755);
    mkdir(board.Path("/tmp/mmc0/tavika-ft").c_str(), 0755);
    const std::string cfg = board.Path("/tmp/mmc0/tavika-ft/.testcfg");
    const std::string a(31, 'a');
    const std::string b(5, 'b');
    {
        CFactoryTest test;
        test.Bind(ports->Roles());
        test.SetServerPorts(0, 0);
        testing::internal::CaptureStdout();
        ASSERT_TRUE(test.ReadEnvData());
        ASSERT_TRUE(test.EnableDiscovery());
        std::atomic<bool> stop(false);
        std::thread writer([&] {
            for (int i = 0; !stop.load(); ++i) {
                std::ofstream(cfg) << "title=" << (i % 2 ? a : b) << "\n";
                test.OnSDCardStateChange(emSDState_Insert | emSDState_Mount);
            }
        });
        CStation udp(test.GetUdpPort(), true);
        int bad = 0;
        int answered = 0;
        for (int i = 0; i < 200; ++i) {
            tagStationReply r;
            if (!udp.Send(0x0101, static_cast<uint16_t>(i)) || !udp.Read(r, 10000)) {
                continue;
            }
            ++answered;
            const std::string title = r.payload.substr(12, 32).c_str();
            if (title != a && title != b && title != "kx-recorder") {
                ++bad;
            }
        }
        stop = true;
        writer.join();
        testing::internal::GetCapturedStdout();
        EXPECT_GT(answered, 0);
        EXPECT_EQ(bad, 0);
    }
    CMtdModel::instance()->ResetModel();
}

// Two starts at once (a forced discovery from the card, start-up's Init)
// make one server.
TEST(FactoryThreads, TwoStartsMakeOneServer)
{
    CTestBoard board;
    CFakeFactoryPorts ports;
    CFactoryTest test;
    test.Bind(ports.Roles());
    test.SetServerPorts(0, 0);
    testing::internal::CaptureStdout();
    std::atomic<int> go(0);
    BOOL r1 = FALSE;
    BOOL r2 = FALSE;
    std::thread t1([&] {
        ++go;
        while (go.load() < 2) {
        }
        r1 = test.EnableDiscovery();
    });
    std::thread t2([&] {
        ++go;
        while (go.load() < 2) {
        }
        r2 = test.EnableDiscovery();
    });
    t1.join();
    t2.join();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(r1);
    EXPECT_TRUE(r2);
    size_t starts = 0;
    for (size_t at = out.find("RUN FACTORY TEST TRHEAD."); at != std::string::npos;
         at = out.find("RUN FACTORY TEST TRHEAD.", at + 1)) {
        ++starts;
    }
    EXPECT_EQ(starts, 1u);
    CStation s(test.GetTcpPort());
    EXPECT_TRUE(s.Ok());
    test.CleanUp();
}

}  // namespace
