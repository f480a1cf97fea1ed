#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>

#include <fstream>
#include <sstream>
#include <string>

#include "Platform/DevFile.h"
#include "Platform/Mtd.h"
#include "Platform/host/devices/MtdModel.h"
#include "support/TestBoard.h"

namespace {

class MtdModelTest : public testing::Test {
protected:
    void SetUp() override { CMtdModel::instance()->ResetModel(); }
    void TearDown() override { CMtdModel::instance()->ResetModel(); }

    std::string Flash() const
    {
        std::ifstream in(m_Board.Path(MTD_DEVICE_PATH), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::string Log() const
    {
        std::ifstream in(m_Board.Path("/log/mtd.log"));
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    CTestBoard m_Board;
};

TEST_F(MtdModelTest, ErasedNorFlashAtInit)
{
    const std::string flash = Flash();
    ASSERT_GE(flash.size(), 0xC0000u);
    EXPECT_EQ(flash.find_first_not_of('\xff'), std::string::npos);

    int fd = XDevOpen(MTD_DEVICE_PATH, O_RDONLY);
    ASSERT_GE(fd, 0);
    mtd_info_user info;
    ASSERT_EQ(XDevIoctl(fd, MEMGETINFO, &info), 0);
    EXPECT_EQ(info.type, MTD_NORFLASH);
    EXPECT_EQ(info.size, flash.size());
    m_Board.Sim("mtd", "nand");
    ASSERT_EQ(XDevIoctl(fd, MEMGETINFO, &info), 0);
    EXPECT_EQ(info.type, MTD_NANDFLASH);
    m_Board.Sim("mtd", "9");
    ASSERT_EQ(XDevIoctl(fd, MEMGETINFO, &info), 0);
    EXPECT_EQ(info.type, 9);
    m_Board.Sim("mtd", "nor");
    ASSERT_EQ(XDevIoctl(fd, MEMGETINFO, &info), 0);
    EXPECT_EQ(info.type, MTD_NORFLASH);
    EXPECT_EQ(XDevClose(fd), 0);
}

TEST_F(MtdModelTest, EraseFillsOnesAndCounts)
{
    int fd = XDevOpen(MTD_DEVICE_PATH, O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(XDevSeek(fd, 0x80000), 0x80000);
    const std::string zeros(0x20000, '\0');
    ASSERT_EQ(XDevWrite(fd, zeros.data(), zeros.size()), 0x20000);

    erase_info_user region = {0x80000, 0x10000};
    EXPECT_EQ(XDevIoctl(fd, MEMUNLOCK, &region), 0);
    EXPECT_EQ(XDevIoctl(fd, MEMERASE, &region), 0);
    EXPECT_EQ(XDevIoctl(fd, MEMLOCK, &region), 0);
    EXPECT_EQ(CMtdModel::instance()->Erases(), 1u);
    const std::string flash = Flash();
    EXPECT_EQ(flash.substr(0x80000, 0x10000), std::string(0x10000, '\xff'));
    EXPECT_EQ(flash.substr(0x90000, 0x10000), std::string(0x10000, '\0'));  // outside stays
    EXPECT_EQ(Log(), "MEMUNLOCK 80000 10000\nMEMERASE 80000 10000\nMEMLOCK 80000 10000\n");

    // past the end or off the erase blocks
    erase_info_user past = {static_cast<uint32_t>(flash.size()), 0x10000};
    EXPECT_EQ(XDevIoctl(fd, MEMERASE, &past), -1);
    EXPECT_EQ(errno, EINVAL);
    erase_info_user odd = {0x80001, 0x10000};
    EXPECT_EQ(XDevIoctl(fd, MEMERASE, &odd), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(XDevIoctl(fd, 0x1234, &region), -1);
    EXPECT_EQ(errno, ENOTTY);
    EXPECT_EQ(CMtdModel::instance()->Erases(), 1u);
    XDevClose(fd);
}

TEST_F(MtdModelTest, InjectedFailures)
{
    int fd = XDevOpen(MTD_DEVICE_PATH, O_RDWR);
    ASSERT_GE(fd, 0);
    erase_info_user region = {0x80000, 0x10000};
    CMtdModel::instance()->FailErase(EIO, 1);
    EXPECT_EQ(XDevIoctl(fd, MEMERASE, &region), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(XDevIoctl(fd, MEMERASE, &region), 0);  // only once

    m_Board.Sim("mtd", "erase-fail");
    EXPECT_EQ(XDevIoctl(fd, MEMERASE, &region), -1);
    EXPECT_EQ(errno, EIO);
    m_Board.Sim("mtd", "erase-ok");
    EXPECT_EQ(XDevIoctl(fd, MEMERASE, &region), 0);
    EXPECT_EQ(CMtdModel::instance()->Erases(), 2u);

    char buf[64];
    CMtdModel::instance()->ShortRead(10);
    EXPECT_EQ(XDevRead(fd, buf, sizeof(buf)), 10);
    EXPECT_EQ(XDevRead(fd, buf, sizeof(buf)), 64);  // the next is whole again
    CMtdModel::instance()->ShortWrite(3);
    EXPECT_EQ(XDevWrite(fd, buf, sizeof(buf)), 3);
    XDevClose(fd);
}

}  // namespace
