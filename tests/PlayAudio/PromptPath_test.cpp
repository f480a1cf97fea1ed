// The file of each prompt number by language, card and model.

#include <gtest/gtest.h>

#include <string>

#include "FactoryTest/FactoryTest.h"
#include "IniConfig/IniConfig.h"
#include "Main/Wiring/SharedRoles.h"
#include "Periphery/SDManager.h"
#include "Platform/Mtd.h"
#include "PlayAudio/PromptPath.h"
#include "support/TestBoard.h"

namespace {

struct tagPathCase {
    int index;
    int language;
    const char* card;      // null: no card
    const char* devmodel;  // null: unset
    int result;
    const char* path;
};

const tagPathCase kPathCases[] = {
    {9, 1, nullptr, nullptr, 0, "/pcmsource/en/gps.wav"},
    {9, 2, nullptr, nullptr, 0, "/pcmsource/ja/gps.wav"},
    {9, 0, nullptr, nullptr, 0, "/pcmsource/zh/gps.wav"},
    {9, 7, nullptr, nullptr, 0, "/pcmsource/zh/gps.wav"},
    {9, -1, nullptr, nullptr, 0, "/pcmsource/zh/gps.wav"},
    {2, 1, nullptr, nullptr, 0, "/pcmsource/en/imagecapture.wav"},
    {7, 1, nullptr, nullptr, 0, "/pcmsource/en/2015.wav"},
    {11, 0, nullptr, nullptr, 0, "/pcmsource/zh/off.wav"},
    {15, 1, nullptr, nullptr, 0, "/pcmsource/en/updaterestart.wav"},
    {18, 1, nullptr, nullptr, 0, "/pcmsource/en/0.wav"},
    {27, 1, nullptr, nullptr, 0, "/pcmsource/en/9.wav"},
    {29, 1, nullptr, nullptr, 0, "/pcmsource/en/systemreset.wav"},
    {30, 1, nullptr, nullptr, 0, "/pcmsource/en/systemready.wav"},
    {31, 1, nullptr, nullptr, 0, "/pcmsource/en/startparkingmonitor.wav"},
    {35, 2, nullptr, nullptr, 0, "/pcmsource/ja/longtimealarm.wav"},
    // the card's files; no card leaves the path empty
    {8, 1, "/tmp/mmc0/", nullptr, 0, "/tmp/mmc0/tavika-ft/speaker-test.wav"},
    {8, 1, nullptr, nullptr, 0, ""},
    {17, 1, "/tmp/mmc0/", "ZQ2PRO", 0, "/tmp/mmc0/tavika-ft/zq2pro.wav"},
    {17, 1, "/tmp/mmc0/", "ZQ2", 0, "/tmp/mmc0/tavika-ft/zq2.wav"},
    {17, 1, "/tmp/mmc0/", "ZQ6PRO", 0, "/tmp/mmc0/tavika-ft/zq6pro.wav"},
    {17, 1, "/tmp/mmc0/", "ZV1", 0, "/tmp/mmc0/tavika-ft/zv1.wav"},
    {17, 1, "/tmp/mmc0/", nullptr, 0, "/tmp/mmc0/tavika-ft/modelerror.wav"},
    {17, 1, "/tmp/mmc0/", "ZQ2PR", 0, "/tmp/mmc0/"},   // not in the table: the card's folder
    {17, 1, "/tmp/mmc0/", "zq2pro", 0, "/tmp/mmc0/"},
    {17, 1, "/tmp/mmc0/", "", 0, "/tmp/mmc0/"},
    {17, 1, nullptr, "ZQ2PRO", 0, ""},
    // numbers without a file
    {0, 1, "/tmp/mmc0/", nullptr, -1, ""},
    {1, 1, "/tmp/mmc0/", nullptr, -1, ""},
    {6, 1, "/tmp/mmc0/", nullptr, -1, ""},
    {36, 1, "/tmp/mmc0/", nullptr, -1, ""},
    {-1, 1, "/tmp/mmc0/", nullptr, -1, ""},
    {1000, 1, nullptr, nullptr, -1, ""},
};

TEST(PromptPath, TableByLanguageCardAndModel)
{
    for (const tagPathCase& c : kPathCases) {
        SCOPED_TRACE("prompt " + std::to_string(c.index) + " language " + std::to_string(c.language) + " model " +
                     (c.devmodel != nullptr ? c.devmodel : "unset"));
        char path[256];
        memset(path, 'x', sizeof(path));  // cleared first
        testing::internal::CaptureStdout();
        const int r = XPromptPath(path, sizeof(path), c.index, c.language, c.card, c.devmodel);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(r, c.result);
        EXPECT_STREQ(path, c.path);
        if (c.index == 17 && c.card != nullptr) {
            EXPECT_EQ(out, std::string("devmodel: ") + (c.devmodel != nullptr ? c.devmodel : "(null)") + "\n");
        }
    }
}

TEST(PromptPath, LongCardPathIsCutToTheBuffer)
{
    const std::string card = "/" + std::string(300, 'c') + "/";
    char path[256];
    EXPECT_EQ(XPromptPath(path, sizeof(path), 8, 1, card.c_str(), nullptr), 0);
    EXPECT_EQ(strlen(path), 255u);
}

// The live inputs: the language setting, the card manager and the boot
// environment of a board.
TEST(PromptPath, LiveSettingsCardAndEnvironment)
{
    CTestBoard board;
    ASSERT_TRUE(CIniConfig::instance()->Init());
    CFactoryTest* env = CFactoryTest::instance();
    env->SetEnvLocation(MTD_DEVICE_PATH, 0x80000, 0x40000);
    CCameraCard sd(CSDManager::instance());
    const PromptRoles roles = {nullptr, nullptr, nullptr, &sd, env};
    char path[256];

    CIniConfig::instance()->SetInt("funcset", "language", 2);
    EXPECT_EQ(get_file_path(path, 9, roles), 0);
    EXPECT_STREQ(path, "/pcmsource/ja/gps.wav");
    CIniConfig::instance()->SetInt("funcset", "language", 1);
    EXPECT_EQ(get_file_path(path, 9, roles), 0);
    EXPECT_STREQ(path, "/pcmsource/en/gps.wav");
    EXPECT_EQ(get_file_path(path, 0, roles), -1);

    // the manager may hold an earlier board's card: this one goes out and in
    char card[257] = "";
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    board.Sim("card", "remove");
    CSDManager::instance()->CheckSDCard();
    board.Sim("card", "insert");
    for (int i = 0; i < 20 && !CSDManager::instance()->GetSDMountPath(card, sizeof(card)); ++i) {
        CSDManager::instance()->CheckSDCard();
    }
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    ASSERT_STREQ(card, "/tmp/mmc0/");

    // prompt 17 by devmodel, each printing the value it chose
    struct {
        const char* devmodel;
        const char* path;
        const char* printed;
    } const models[] = {
        {nullptr, "/tmp/mmc0/tavika-ft/modelerror.wav", "devmodel: (null)\n"},
        {"ZQ2PRO", "/tmp/mmc0/tavika-ft/zq2pro.wav", "devmodel: ZQ2PRO\n"},
        {"ZX9", "/tmp/mmc0/", "devmodel: ZX9\n"},
    };
    for (const auto& m : models) {
        if (m.devmodel != nullptr) {
            board.Sim("env", std::string("devmodel ") + m.devmodel);
        }
        ASSERT_TRUE(env->ReadEnvData());
        testing::internal::CaptureStdout();
        const int r = get_file_path(path, 17, roles);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), m.printed);
        EXPECT_EQ(r, 0);
        EXPECT_STREQ(path, m.path);
    }
    EXPECT_EQ(get_file_path(path, 8, roles), 0);
    EXPECT_STREQ(path, "/tmp/mmc0/tavika-ft/speaker-test.wav");
    env->SetEnvLocation(MTD_DEVICE_PATH, 0x80000, 0x40000);
}

}  // namespace
