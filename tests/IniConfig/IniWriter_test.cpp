#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "IniConfig/iniconfig.h"
#include "tests/IniConfig/IniTestSupport.h"

namespace {

class IniWriter : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/ini-writer-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        m_strDir = dir;
        m_strFile = m_strDir + "/system.ini";
    }
    void TearDown() override
    {
        ini_config_destroy(m_lpConfig);
        XTestRun("rm -rf '" + m_strDir + "'");
    }

    std::string m_strDir;
    std::string m_strFile;
    INI_CONFIG* m_lpConfig = nullptr;
};

TEST_F(IniWriter, SortedSectionsAndKeysWithoutDecoration)
{
    m_lpConfig = ini_config_create_from_string(
        "; settings\n version = 3 \n\n[storageset]\n quota=65\r\n[funcset]\nvolume=13\n audio = 1\n[empty]\n", 0, 0);
    ASSERT_NE(m_lpConfig, nullptr);
    ASSERT_EQ(ini_config_set_int(m_lpConfig, "funcset", "vol", 0, -4), 1);
    ASSERT_EQ(ini_config_set_string(m_lpConfig, "funcset", "blank", 0, "", 0), 1);
    const std::string expected =
        "[default]\nversion=3\n[empty]\n[funcset]\naudio=1\nblank=\nvol=-4\nvolume=13\n[storageset]\nquota=65\n";

    ASSERT_EQ(ini_config_save(m_lpConfig, m_strFile.c_str()), 1);
    EXPECT_EQ(XFileText(m_strFile), expected);

    // The same text on a stream.
    char* buf = nullptr;
    size_t len = 0;
    FILE* mem = open_memstream(&buf, &len);
    ini_config_print(m_lpConfig, mem);
    fclose(mem);
    EXPECT_EQ(std::string(buf, len), expected);
    free(buf);

    // An independent reader sees the same values, and the file reads back as it was.
    EXPECT_EQ(XConfigParserView(m_strFile),
              "default.version=3\nfuncset.audio=1\nfuncset.blank=\nfuncset.vol=-4\nfuncset.volume=13\n"
              "storageset.quota=65\n");
    INI_CONFIG* again = ini_config_create_from_file(m_strFile.c_str(), 0);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(XDumpConfig(again), XDumpConfig(m_lpConfig));
    ini_config_destroy(again);
}

TEST_F(IniWriter, ReplacesTheFileWholeAndLeavesNoTemporary)
{
    m_lpConfig = ini_config_create_from_string("[funcset]\nvolume=13\n", 0, 0);
    ASSERT_NE(m_lpConfig, nullptr);
    // An older, longer file with its own permissions.
    XWriteFileText(m_strFile, std::string(5000, 'x') + "\n");
    ASSERT_EQ(chmod(m_strFile.c_str(), 0600), 0);
    struct stat before;
    ASSERT_EQ(stat(m_strFile.c_str(), &before), 0);

    ASSERT_EQ(ini_config_save(m_lpConfig, m_strFile.c_str()), 1);
    EXPECT_EQ(XFileText(m_strFile), "[default]\n[funcset]\nvolume=13\n");
    struct stat after;
    ASSERT_EQ(stat(m_strFile.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0600u);
    EXPECT_NE(after.st_ino, before.st_ino) << "a new file renamed over the old one";
    EXPECT_FALSE(XPathExists(m_strFile + ".tmp"));
}

TEST_F(IniWriter, FailuresKeepTheOldFile)
{
    m_lpConfig = ini_config_create_from_string("[funcset]\nvolume=13\n", 0, 0);
    ASSERT_NE(m_lpConfig, nullptr);
    EXPECT_EQ(ini_config_save(m_lpConfig, (m_strDir + "/missing/system.ini").c_str()), 0);
    EXPECT_EQ(ini_config_save(nullptr, m_strFile.c_str()), 0);
    EXPECT_FALSE(XPathExists(m_strFile));

    // The target is a folder: the rename fails and the temporary goes.
    ASSERT_EQ(mkdir(m_strFile.c_str(), 0755), 0);
    XWriteFileText(m_strFile + "/keep", "keep");
    EXPECT_EQ(ini_config_save(m_lpConfig, m_strFile.c_str()), 0);
    EXPECT_EQ(XFileText(m_strFile + "/keep"), "keep");
    EXPECT_FALSE(XPathExists(m_strFile + ".tmp"));
}

}  // namespace
