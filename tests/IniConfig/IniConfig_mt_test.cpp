#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "IniConfig/IniConfig.h"
#include "IniConfig/iniconfig.h"
#include "support/TestBoard.h"
#include "tests/IniConfig/IniConfigStoreSupport.h"

namespace {

// One writer changes settings while readers use the cached fields, GetInt
// and the raw file: readers only ever see values that were written, and
// every raw copy is a whole file.
TEST(IniConfigThreads, ReadersDuringWrites)
{
    CTestBoard board;
    CTestIniConfig store;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(store.Init());

    const int kWrites = 60;
    std::atomic<bool> done(false);
    std::atomic<int> bad(0);
    std::atomic<int> copies(0);

    std::thread writer([&] {
        for (int i = 0; i < kWrites; ++i) {
            // language 1..3, volume 10..19, parking threshold 3..7
            if (store.SetInt("funcset", "language", 0, 1 + i % 3) != 2 ||
                store.SetInt("funcset", "volume", 0, 10 + i % 10) != 2 ||
                store.SetInt("funcset", "parkingtimethreshold", 0, 3 + i % 5) != 2) {
                bad.fetch_add(1);
            }
        }
        done.store(true);
    });
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r) {
        readers.emplace_back([&] {
            while (!done.load()) {
                int language = store.GetLanguageCfg();
                int threshold = store.GetParkingTimeThresholdCfg();
                int volume = store.GetInt("funcset", "volume", -1);
                if (language < 1 || language > 3 || threshold < 3 || threshold > 7 || volume < 10 || volume > 19) {
                    bad.fetch_add(1);
                }
            }
        });
    }
    readers.emplace_back([&] {
        std::vector<char> buf(4096);
        while (!done.load()) {
            int n = store.GetIniConfig(buf.data(), static_cast<int>(buf.size()));
            INI_CONFIG* copy = n > 0 ? ini_config_create_from_string(buf.data(), n, 0) : nullptr;
            if (copy == nullptr || buf[static_cast<size_t>(n) - 1] != '\n' ||
                ini_config_get_int(copy, "storageset", "commonvideoonsdquota", -1) != 65) {
                bad.fetch_add(1);
            }
            ini_config_destroy(copy);
            copies.fetch_add(1);
        }
    });
    writer.join();
    for (std::thread& t : readers) {
        t.join();
    }
    testing::internal::GetCapturedStdout();

    EXPECT_EQ(bad.load(), 0);
    EXPECT_GT(copies.load(), 0);
    const int last = kWrites - 1;
    EXPECT_EQ(store.GetLanguageCfg(), 1 + last % 3);
    EXPECT_EQ(store.GetParkingTimeThresholdCfg(), 3 + last % 5);
    const std::string file = XFileText(board.Path("/root/system.ini"));
    EXPECT_NE(file.find("language=" + std::to_string(1 + last % 3) + "\n"), std::string::npos);
    EXPECT_NE(file.find("volume=" + std::to_string(10 + last % 10) + "\n"), std::string::npos);
}

}  // namespace
