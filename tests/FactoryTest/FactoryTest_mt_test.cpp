#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "FactoryTest/FactoryTest.h"
#include "Platform/host/MtdModel.h"
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
