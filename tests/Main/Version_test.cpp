#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "FactoryTest/FactoryTest.h"
#include "Function/common.h"
#include "Main/Version.h"
#include "support/TestBoard.h"

namespace {

// Boot environment double: records the variables set and saved.
class CFakeEnvStore : public CBootEnv {
public:
    BOOL m_bReadOK = TRUE;
    std::string m_strFailSet;   // SetEnv of this name fails
    BOOL m_bSaveOK = TRUE;
    std::vector<std::pair<std::string, std::string>> m_Set;
    int m_iReads = 0;
    int m_iSaves = 0;

    BOOL ReadEnvData() override
    {
        ++m_iReads;
        return m_bReadOK;
    }
    BOOL SetEnv(const char* name, const char* value) override
    {
        if (m_strFailSet == name) {
            return FALSE;
        }
        m_Set.emplace_back(name, value);
        return TRUE;
    }
    BOOL SaveEnvData() override
    {
        ++m_iSaves;
        return m_bSaveOK;
    }
    BOOL GetEnvValue(const char*, std::string&) override { return FALSE; }
};

class VersionFixture : public ::testing::Test {
protected:
    CTestBoard m_Board;

    std::string File() const { return m_Board.Path(VERSION_FILE); }
    void WriteFile(const std::string& text) const
    {
        FILE* f = fopen(File().c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
    }
    // Runs the start-up hand-over; returns its stdout.
    std::string HandOver(CBootEnv* store)
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        XHandOverVersion(store);
        testing::internal::GetCapturedStderr();
        return testing::internal::GetCapturedStdout();
    }
};

const char kGood[] =
    "firmware_ver=1.07$\n"
    "bootargs=mem=64M console=ttyAMA0,115200 root=/dev/mtdblock2 rootfstype=jffs2$\n"
    "bootcmd=sf probe 0;sf read 0x82000000 0x100000 0x300000;bootm 0x82000000$\n";

}  // namespace

TEST_F(VersionFixture, GoodFileIsStoredAndDeleted)
{
    WriteFile(kGood);
    CFakeEnvStore store;
    std::string out = HandOver(&store);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"firmware_ver", "1.07"},
        {"bootargs", "mem=64M console=ttyAMA0,115200 root=/dev/mtdblock2 rootfstype=jffs2"},
        {"bootcmd", "sf probe 0;sf read 0x82000000 0x100000 0x300000;bootm 0x82000000"},
    };
    EXPECT_EQ(store.m_Set, expected);
    EXPECT_EQ(store.m_iReads, 1);
    EXPECT_EQ(store.m_iSaves, 1);
    EXPECT_FALSE(XFilePathExists(File().c_str()));
    EXPECT_NE(out.find("first start write version\n"), std::string::npos);
    EXPECT_NE(out.find("get ver_value = 1.07\n"), std::string::npos);
    EXPECT_NE(out.find("SETENV OK\n"), std::string::npos);
    EXPECT_NE(out.find("write version ok!\n"), std::string::npos);
}

TEST_F(VersionFixture, BadFilesFailAndStay)
{
    const std::string longArgs(256, 'a');
    const std::string pad(1100, '#');
    struct Case {
        const char* name;
        std::string text;
    } cases[] = {
        {"bootcmd without its closing $", "firmware_ver=1.07$bootargs=x$bootcmd=bootm 0x82000000"},
        {"firmware_ver of 5 characters", "firmware_ver=1.070$bootargs=x$bootcmd=y$"},
        {"bootargs of 256 characters", "firmware_ver=1.07$bootargs=" + longArgs + "$bootcmd=y$"},
        {"bootcmd past the first 1024 bytes", "firmware_ver=1.07$bootargs=x$" + pad + "bootcmd=y$"},
        {"closing $ past the first 1024 bytes", "firmware_ver=1.07$bootargs=x$bootcmd=" + pad + "$"},
        {"a name at the very end", "firmware_ver=1.07$bootargs=x$bootcmd"},
        {"an item missing", "firmware_ver=1.07$bootcmd=y$"},
        {"an empty file", ""},
        {"4 KiB without any $", std::string(4096, 'f')},
    };
    for (const Case& c : cases) {
        WriteFile(c.text);
        CFakeEnvStore store;
        std::string out = HandOver(&store);
        EXPECT_TRUE(store.m_Set.empty()) << c.name;
        EXPECT_EQ(store.m_iSaves, 0) << c.name;
        EXPECT_TRUE(XFilePathExists(File().c_str())) << c.name;
        EXPECT_NE(out.find("write version fail!\n"), std::string::npos) << c.name;
    }
}

TEST_F(VersionFixture, ValueLimitsAndSeparators)
{
    struct Case {
        const char* text;
        const char* name;
        size_t size;
        int ret;
        const char* value;
    } cases[] = {
        {"firmware_ver=1.07$", "firmware_ver", VERSION_FW_SIZE, 0, "1.07"},
        {"firmware_ver:2.00$", "firmware_ver", VERSION_FW_SIZE, 0, "2.00"},   // any one separator
        {"firmware_ver=$", "firmware_ver", VERSION_FW_SIZE, 0, ""},
        {"firmware_ver=12345$", "firmware_ver", VERSION_FW_SIZE, -1, ""},
        {"x=1$firmware_ver=9$firmware_ver=8$", "firmware_ver", VERSION_FW_SIZE, 0, "9"},  // first occurrence
        {"bootcmd=a=b$", "bootcmd", VERSION_ARG_SIZE, 0, "a=b"},
        {"bootargs=x$", "bootcmd", VERSION_ARG_SIZE, -1, ""},
    };
    for (const Case& c : cases) {
        WriteFile(c.text);
        char value[VERSION_ARG_SIZE];
        memset(value, 'Z', sizeof(value));
        testing::internal::CaptureStderr();
        int ret = get_ver(VERSION_FILE, c.name, value, c.size);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(ret, c.ret) << c.text;
        if (ret == 0) {
            EXPECT_STREQ(value, c.value) << c.text;
        }
    }

    // 255 characters of bootargs is the most that fits
    const std::string args(255, 'b');
    WriteFile("bootargs=" + args + "$");
    char value[VERSION_ARG_SIZE];
    ASSERT_EQ(get_ver(VERSION_FILE, "bootargs", value, sizeof(value)), 0);
    EXPECT_EQ(std::string(value), args);

    // a file 1024 bytes long whose last byte is the closing $
    const std::string head = "bootcmd=";
    const std::string body(1024 - head.size() - 1, 'c');
    WriteFile(head + body + "$trailing$");
    char big[2048];
    EXPECT_EQ(get_ver(VERSION_FILE, "bootcmd", big, sizeof(big)), 0);
    EXPECT_EQ(std::string(big), body);

    remove(File().c_str());
    testing::internal::CaptureStdout();
    EXPECT_EQ(get_ver(VERSION_FILE, "bootcmd", value, sizeof(value)), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "File:can not open file for read\n");
}

TEST_F(VersionFixture, StoreFailuresKeepTheFile)
{
    struct Case {
        const char* name;
        BOOL readOK;
        const char* failSet;
        BOOL saveOK;
        const char* line;
        size_t setCount;
    } cases[] = {
        {"read fails", FALSE, "", TRUE, "READENV ERR\n", 0},
        {"bootargs refused", TRUE, "bootargs", TRUE, "SETENV ERR\n", 1},
        {"save fails", TRUE, "", FALSE, "SAVEENV ERR\n", 3},
    };
    for (const Case& c : cases) {
        WriteFile(kGood);
        CFakeEnvStore store;
        store.m_bReadOK = c.readOK;
        store.m_strFailSet = c.failSet;
        store.m_bSaveOK = c.saveOK;
        std::string out = HandOver(&store);
        EXPECT_NE(out.find(c.line), std::string::npos) << c.name;
        EXPECT_NE(out.find("write version fail!\n"), std::string::npos) << c.name;
        EXPECT_EQ(store.m_Set.size(), c.setCount) << c.name;  // stops at the first refusal
        EXPECT_TRUE(XFilePathExists(File().c_str())) << c.name;
    }
}

TEST_F(VersionFixture, TheBoardStoreTakesTheFile)
{
    WriteFile(kGood);
    m_Board.Sim("mtd", "erase-fail");
    std::string out = HandOver(CFactoryTest::instance());
    EXPECT_NE(out.find("SAVEENV ERR\n"), std::string::npos) << out;
    EXPECT_TRUE(XFilePathExists(File().c_str()));

    m_Board.Sim("mtd", "erase-ok");
    out = HandOver(CFactoryTest::instance());
    EXPECT_NE(out.find("write version ok!\n"), std::string::npos) << out;
    EXPECT_FALSE(XFilePathExists(File().c_str()));
    EXPECT_NE(m_Board.Sim("env", "firmware_ver"), "");
    EXPECT_EQ(HandOver(CFactoryTest::instance()), "");  // no file: nothing at all
}
