#include <gtest/gtest.h>

#include <errno.h>
#include <stdio.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "FactoryTest/FactoryTest.h"
#include "Function/common.h"
#include "Main/Version.h"
#include "Main/Wiring/SharedRoles.h"
#include "Platform/Mtd.h"
#include "Platform/host/devices/MtdModel.h"
#include "FactoryTest/FactoryFakes.h"
#include "support/TestBoard.h"

namespace {

const long kOffset = 0x80000;
const long kSize = 0x40000;

class EnvFixture : public ::testing::Test {
protected:
    CTestBoard m_Board;
    CFakeFactoryPorts m_Ports;
    CFactoryTest m_Env;
    std::string m_strOut;

    void SetUp() override
    {
        CMtdModel::instance()->ResetModel();
        m_Env.Bind(m_Ports.Roles());
        m_Env.SetServerPorts(0, 0);  // an untested device starts its server
    }
    void TearDown() override { CMtdModel::instance()->ResetModel(); }

    std::string Flash() const { return m_Board.Path(MTD_DEVICE_PATH); }
    std::string ReadBlock() const
    {
        std::ifstream in(Flash(), std::ios::binary);
        in.seekg(kOffset);
        std::string block(kSize, '\0');
        in.read(&block[0], kSize);
        return block;
    }
    void WriteBlock(const std::string& block) const
    {
        std::fstream f(Flash(), std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(kOffset);
        f.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    // A block with the given entry bytes (after the CRC) and a valid CRC.
    static std::string Block(const std::string& env)
    {
        std::string block(kSize, '\0');
        memcpy(&block[4], env.data(), env.size());
        const uint32_t c = crc32(0, block.data() + 4, kSize - 4);
        for (int i = 0; i < 4; ++i) {
            block[i] = static_cast<char>(c >> (8 * i));
        }
        return block;
    }
    // Runs fn with stdout and stderr captured into m_strOut.
    template <typename F>
    auto Captured(F fn) -> decltype(fn())
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        auto r = fn();
        m_strOut = testing::internal::GetCapturedStdout();
        m_strOut += testing::internal::GetCapturedStderr();
        return r;
    }
    // The variables as sim/board's own reader sees them (Python, zlib.crc32).
    std::string Listing() const { return m_Board.Sim("env"); }
    BOOL Save()
    {
        return Captured([&] { return m_Env.SaveEnvData(); });
    }
};

TEST_F(EnvFixture, MkenvimageBlockReadsBack)
{
    const std::string text = m_Board.Path("/tmp/env.txt");
    const std::string image = m_Board.Path("/tmp/env.bin");
    {
        std::ofstream out(text);
        out << "firmware_ver=1.07\ndevmodel=ZQ1\nfactorytest=yes\n";
    }
    int status = -1;
    XTestRun("mkenvimage -s 0x40000 -o '" + image + "' '" + text + "'", &status);
    ASSERT_EQ(status, 0) << "mkenvimage (u-boot-tools) is needed";
    std::ifstream in(image, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    ASSERT_EQ(ss.str().size(), static_cast<size_t>(kSize));
    WriteBlock(ss.str());

    EXPECT_TRUE(Captured([&] { return m_Env.Init(); }));
    EXPECT_EQ(m_strOut, "firmware_ver=1.07\nFACTORY TEST WAS DONE.\n");
    EXPECT_TRUE(m_Env.GetFactoryTestOK());
    ASSERT_NE(m_Env.GetEnv("devmodel"), nullptr);
    EXPECT_STREQ(m_Env.GetEnv("devmodel"), "ZQ1");
    EXPECT_EQ(m_Env.GetEnv("devmode"), nullptr);  // a prefix is no match
    EXPECT_EQ(m_Env.GetEnv("devmodelx"), nullptr);
}

TEST_F(EnvFixture, SaveWritesWhatPythonReads)
{
    ASSERT_TRUE(m_Env.ReadEnvData());  // erased flash: empty
    EXPECT_EQ(m_Env.GetEnv("bootcmd"), nullptr);
    EXPECT_TRUE(m_Env.SetEnv("firmware_ver", "1.07"));
    EXPECT_TRUE(m_Env.SetEnv("bootargs", "mem=64M console=ttyAMA0"));
    EXPECT_TRUE(m_Env.SetEnv("empty", ""));
    EXPECT_TRUE(m_Env.SetEnv("firmware_ver", "1.08"));  // moves to the end
    EXPECT_TRUE(m_Env.SetEnv("gone", nullptr));         // deleting an unset one
    ASSERT_TRUE(Save());
    EXPECT_EQ(m_strOut, "ERASE 80000 40000 OK\n");
    EXPECT_EQ(CMtdModel::instance()->Erases(), 1u);

    // an independent check: zlib's CRC of bytes 4 to the end, stored little-endian
    const std::string script =
        "import struct,sys,zlib\n"
        "f=open(sys.argv[1],'rb'); f.seek(0x80000); b=f.read(0x40000)\n"
        "print(struct.unpack('<I',b[:4])[0]==zlib.crc32(b[4:]))\n"
        "print(b[4:].split(b'\\0\\0')[0].split(b'\\0'))\n";
    const std::string py = m_Board.Path("/tmp/check.py");
    std::ofstream(py) << script;
    EXPECT_EQ(XTestRun(std::string(DASHCAM_PYTHON " '") + py + "' '" + Flash() + "'"),
              "True\n[b'bootargs=mem=64M console=ttyAMA0', b'empty=', b'firmware_ver=1.08']\n");
    EXPECT_EQ(Listing(), "bootargs=mem=64M console=ttyAMA0\nempty=\nfirmware_ver=1.08\n");

    // the erase, unlocked before and locked after, over the whole region
    std::vector<uint32_t> codes;
    for (const MtdRequest& r : CMtdModel::instance()->Requests()) {
        codes.push_back(r.request);
        if (r.request != MEMGETINFO) {
            EXPECT_EQ(r.start, 0x80000u);
            EXPECT_EQ(r.length, 0x40000u);
        }
    }
    const std::vector<uint32_t> want = {MEMGETINFO, MEMGETINFO, MEMUNLOCK, MEMERASE, MEMLOCK};
    EXPECT_EQ(codes, want);

    // and back: sim/board's writer is read by the store
    m_Board.Sim("env", "devmodel ZQ2PRO");
    ASSERT_TRUE(m_Env.ReadEnvData());
    ASSERT_NE(m_Env.GetEnv("devmodel"), nullptr);
    EXPECT_STREQ(m_Env.GetEnv("devmodel"), "ZQ2PRO");
}

TEST_F(EnvFixture, EntriesTable)
{
    WriteBlock(Block(std::string("a=1\0b=2\0c=3\0\0", 14)));
    ASSERT_TRUE(m_Env.ReadEnvData());
    EXPECT_TRUE(m_Env.SetEnv("a", "9"));
    ASSERT_TRUE(Save());
    EXPECT_EQ(Listing(), "b=2\nc=3\na=9\n");  // the others keep their order

    WriteBlock(Block(std::string("only=1\0\0", 8)));
    ASSERT_TRUE(m_Env.ReadEnvData());
    EXPECT_TRUE(m_Env.SetEnv("only", nullptr));
    ASSERT_TRUE(Save());
    const std::string block = ReadBlock();
    EXPECT_EQ(block[4], '\0');
    EXPECT_EQ(block[5], '\0');
    EXPECT_EQ(Listing(), "");

    // a value that does not fit: the line, and the old entry is gone
    WriteBlock(Block(std::string("big=1\0x=2\0\0", 11)));
    ASSERT_TRUE(m_Env.ReadEnvData());
    const std::string huge(kSize, 'v');
    EXPECT_FALSE(Captured([&] { return m_Env.SetEnv("big", huge.c_str()); }));
    EXPECT_EQ(m_strOut, "Environment overflow, \"big\" deleted\n");
    EXPECT_EQ(m_Env.GetEnv("big"), nullptr);
    ASSERT_TRUE(Save());
    EXPECT_EQ(Listing(), "x=2\n");
    // after "x=2\0": "big=" value NUL NUL exactly to the block's end fits, a byte more not
    const std::string fits(kSize - 8 - 6, 'w');
    EXPECT_TRUE(m_Env.SetEnv("big", fits.c_str()));
    ASSERT_TRUE(Save());
    EXPECT_EQ(ReadBlock().substr(kSize - 3), std::string("w\0\0", 3));
    EXPECT_FALSE(Captured([&] { return m_Env.SetEnv("big", (fits + "w").c_str()); }));
    EXPECT_EQ(m_strOut, "Environment overflow, \"big\" deleted\n");
}

TEST_F(EnvFixture, RefusesEmptyNamesAndNamesWithEquals)
{
    WriteBlock(Block(std::string("bootcmd=bootm\0\0", 15)));
    ASSERT_TRUE(m_Env.ReadEnvData());
    EXPECT_FALSE(m_Env.SetEnv("bootcmd=", "x"));
    EXPECT_FALSE(m_Env.SetEnv("", "x"));
    EXPECT_FALSE(m_Env.SetEnv(nullptr, "x"));
    ASSERT_NE(m_Env.GetEnv("bootcmd"), nullptr);
    EXPECT_STREQ(m_Env.GetEnv("bootcmd"), "bootm");
    ASSERT_TRUE(Save());
    EXPECT_EQ(Listing(), "bootcmd=bootm\n");
}

TEST_F(EnvFixture, NotTerminatedBlock)
{
    std::string block = Block("");
    memset(&block[4], 'z', kSize - 4);  // no NUL at all, good CRC
    const uint32_t c = crc32(0, block.data() + 4, kSize - 4);
    for (int i = 0; i < 4; ++i) {
        block[i] = static_cast<char>(c >> (8 * i));
    }
    WriteBlock(block);
    ASSERT_TRUE(m_Env.ReadEnvData());
    EXPECT_EQ(Captured([&] { return m_Env.GetEnv("z"); }), nullptr);
    EXPECT_EQ(m_strOut, "## Environment not terminated\n");
    EXPECT_FALSE(Captured([&] { return m_Env.SetEnv("a", "1"); }));
    EXPECT_EQ(m_strOut, "## Environment not terminated\n");
}

TEST_F(EnvFixture, BadCrcReadsEmptyOnEveryLoadPath)
{
    std::string block = Block(std::string("bootargs=keep\0factorytest=yes\0\0", 32));
    block[0] ^= 1;
    WriteBlock(block);

    EXPECT_TRUE(Captured([&] { return m_Env.Init(); }));
    EXPECT_EQ(m_strOut, "Device Not Init...\nRUN FACTORY TEST TRHEAD.\n");
    EXPECT_FALSE(m_Env.GetFactoryTestOK());
    EXPECT_EQ(m_Env.GetEnv("bootargs"), nullptr);

    // a later reload, after something was set in memory, is checked too
    EXPECT_TRUE(m_Env.SetEnv("x", "1"));
    WriteBlock(block);
    ASSERT_TRUE(m_Env.ReadEnvData());
    EXPECT_EQ(m_Env.GetEnv("bootargs"), nullptr);
    EXPECT_EQ(m_Env.GetEnv("x"), nullptr);

    // the version hand-over: the saved block holds only its three variables
    {
        std::ofstream(m_Board.Path("/root/version.txt"))
            << "firmware_ver=1.07$bootargs=mem=64M$bootcmd=bootm 0x82000000$";
    }
    Captured([&] {
        XHandOverVersion(&m_Env);
        return 0;
    });
    EXPECT_NE(m_strOut.find("write version ok!\n"), std::string::npos) << m_strOut;
    EXPECT_EQ(Listing(), "firmware_ver=1.07\nbootargs=mem=64M\nbootcmd=bootm 0x82000000\n");
    EXPECT_FALSE(XFilePathExists(m_Board.Path("/root/version.txt").c_str()));
}

TEST_F(EnvFixture, ErasedFlashReadsEmpty)
{
    ASSERT_TRUE(Captured([&] { return m_Env.Init(); }));
    EXPECT_EQ(m_strOut, "Device Not Init...\nRUN FACTORY TEST TRHEAD.\n");
    EXPECT_TRUE(Captured([&] { return m_Env.PrintEnv(nullptr); }));
    EXPECT_EQ(m_strOut, "-----print uboot env info-----------\n-----print uboot env info done------\n");
    EXPECT_FALSE(m_Env.CheckTestDone());
}

TEST_F(EnvFixture, FlashTypes)
{
    WriteBlock(Block(std::string("a=1\0\0", 5)));
    m_Board.Sim("mtd", "nand");
    ASSERT_TRUE(m_Env.ReadEnvData());
    EXPECT_STREQ(m_Env.GetEnv("a"), "1");
    EXPECT_TRUE(m_Env.SetEnv("a", "2"));
    EXPECT_FALSE(Save());
    EXPECT_NE(m_strOut.find("Unsupported flash type 4\n"), std::string::npos) << m_strOut;
    EXPECT_EQ(CMtdModel::instance()->Erases(), 0u);
    EXPECT_EQ(Listing(), "a=1\n");

    m_Board.Sim("mtd", "7");
    EXPECT_FALSE(Captured([&] { return m_Env.ReadEnvData(); }));
    EXPECT_NE(m_strOut.find("Unsupported flash type 7\n"), std::string::npos) << m_strOut;
    EXPECT_EQ(m_Env.GetEnv("a"), nullptr);  // nothing loaded
    EXPECT_FALSE(m_Env.SetEnv("a", "3"));
    EXPECT_FALSE(Save());
}

TEST_F(EnvFixture, FlashFailures)
{
    WriteBlock(Block(std::string("a=1\0\0", 5)));
    CMtdModel::instance()->ShortRead(100);
    EXPECT_FALSE(Captured([&] { return m_Env.ReadEnvData(); }));
    EXPECT_NE(m_strOut.find("Read error on /dev/mtd0: "), std::string::npos) << m_strOut;
    EXPECT_EQ(m_Env.GetEnv("a"), nullptr);

    ASSERT_TRUE(m_Env.ReadEnvData());
    EXPECT_TRUE(m_Env.SetEnv("a", "2"));
    CMtdModel::instance()->FailErase(EIO, 1);
    EXPECT_FALSE(Save());
    EXPECT_EQ(m_strOut, "MTD erase error on /dev/mtd0: " + std::string(strerror(EIO)) + "\n");
    EXPECT_EQ(Listing(), "a=1\n");  // untouched

    CMtdModel::instance()->ShortWrite(1000);
    EXPECT_FALSE(Save());
    EXPECT_NE(m_strOut.find("Write error on /dev/mtd0: "), std::string::npos) << m_strOut;
    EXPECT_EQ(Listing(), "");  // erased, partly written: the CRC fails
    EXPECT_TRUE(Save());       // memory still holds the block
    EXPECT_EQ(Listing(), "a=2\n");
}

TEST_F(EnvFixture, GetModelStringTruncates)
{
    ASSERT_TRUE(m_Env.ReadEnvData());
    char model[40];
    EXPECT_FALSE(m_Env.GetModelString(model, 32));
    EXPECT_TRUE(m_Env.SetEnv("devmodel", ""));
    EXPECT_FALSE(m_Env.GetModelString(model, 32));
    const std::string longName(100, 'M');
    EXPECT_TRUE(m_Env.SetEnv("devmodel", longName.c_str()));
    memset(model, 'x', sizeof(model));
    EXPECT_TRUE(m_Env.GetModelString(model, 32));
    EXPECT_EQ(std::string(model), longName.substr(0, 31));
    EXPECT_EQ(std::string(model + 32, 8), "xxxxxxxx");  // nothing past the size
    std::string copy;
    EXPECT_TRUE(m_Env.GetEnvValue("devmodel", copy));
    EXPECT_EQ(copy, longName);
}

TEST_F(EnvFixture, StartUpStoreAnswersTheFactoryFlag)
{
    CFactoryTest* store = CFactoryTest::instance();
    store->Bind(m_Ports.Roles());
    store->SetServerPorts(0, 0);
    CCameraFactoryState services;  // the flags as the others read them
    WriteBlock(Block(std::string("factorytest=no\0\0", 16)));
    Captured([&] { return store->Init(); });
    EXPECT_FALSE(services.GetFactoryTestOK());
    WriteBlock(Block(std::string("factorytest=yes\0\0", 17)));
    Captured([&] { return store->Init(); });
    EXPECT_TRUE(services.GetFactoryTestOK());
    WriteBlock(Block(std::string("factorytest=yes\0\0", 17)).replace(0, 1, "\x01"));
    Captured([&] { return store->Init(); });
    EXPECT_EQ(m_strOut, "Device Not Init...\n");  // its server runs already
    EXPECT_FALSE(services.GetFactoryTestOK());
    store->CleanUp();
    store->Bind({});
}

TEST_F(EnvFixture, MatchEnvRules)
{
    struct {
        const char* name;
        const char* entry;
        const char* value;  // null: no match
    } const cases[] = {
        {"devmodel", "devmodel=ZQ1", "ZQ1"}, {"devmodel", "devmodelx=1", nullptr},
        {"devmodel", "devmode=1", nullptr},  {"devmode", "devmodel=1", nullptr},
        {"a=", "a=1", "1"},                  {"a", "a", nullptr},
        {"a", "a=", ""},
    };
    for (const auto& c : cases) {
        const char* v = CFactoryTest::MatchEnv(c.name, c.entry);
        if (c.value == nullptr) {
            EXPECT_EQ(v, nullptr) << c.name << " / " << c.entry;
        } else {
            ASSERT_NE(v, nullptr) << c.name << " / " << c.entry;
            EXPECT_STREQ(v, c.value);
        }
    }
}

}  // namespace
