#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Platform/DevFile.h"
#include "Platform/I2c.h"
#include "Platform/host/devices/I2cModel.h"
#include "support/TestBoard.h"

namespace {

void* Arg(uintptr_t v) { return reinterpret_cast<void*>(v); }

class I2cModelTest : public testing::Test {
protected:
    void SetUp() override { CI2cModel::instance()->ResetModel(); }
    void TearDown() override { CI2cModel::instance()->ResetModel(); }

    // Opens a bus set up like the sensor drivers: 2-byte registers, 1-byte data.
    int OpenSensor(const char* dev, uintptr_t slave)
    {
        int fd = XDevOpen(dev, O_RDWR);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(XDevIoctl(fd, I2C_SLAVE_FORCE, Arg(slave)), 0);
        EXPECT_EQ(XDevIoctl(fd, I2C_16BIT_REG, Arg(1)), 0);
        EXPECT_EQ(XDevIoctl(fd, I2C_16BIT_DATA, Arg(0)), 0);
        return fd;
    }
    long WriteReg(int fd, uint16_t reg, uint8_t data)
    {
        uint8_t buf[3] = {static_cast<uint8_t>(reg & 0xFF), static_cast<uint8_t>(reg >> 8), data};
        return XDevWrite(fd, buf, sizeof(buf));
    }

    CTestBoard m_Board;
};

}  // namespace

TEST_F(I2cModelTest, WritesLandPerSlaveAndInOrderedLog)
{
    CI2cModel* i2c = CI2cModel::instance();
    int imx = OpenSensor("/dev/i2c-0", 0x34);
    int mn = OpenSensor("/dev/i2c-0", 0x6C);
    EXPECT_EQ(WriteReg(imx, 0x3014, 0x20), 3);
    EXPECT_EQ(WriteReg(mn, 0x0204, 0x01), 3);
    EXPECT_EQ(WriteReg(imx, 0x3014, 0x05), 3);

    EXPECT_EQ(i2c->Peek(0, 0x34, 0x3014), 0x05u);
    EXPECT_EQ(i2c->Peek(0, 0x6C, 0x0204), 0x01u);
    EXPECT_EQ(i2c->Peek(0, 0x6C, 0x3014), 0u);
    EXPECT_EQ(i2c->Peek(1, 0x34, 0x3014), 0u);

    std::vector<CI2cModel::tagWrite> log = i2c->Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].slave, 0x34u);
    EXPECT_EQ(log[0].reg, 0x3014u);
    EXPECT_EQ(log[0].bytes, (std::vector<uint8_t>{0x14, 0x30, 0x20}));
    EXPECT_EQ(log[1].slave, 0x6Cu);
    EXPECT_EQ(log[2].value, 0x05u);
    EXPECT_LE(log[0].timeUs, log[1].timeUs);
    EXPECT_LE(log[1].timeUs, log[2].timeUs);

    // the board's log file, read back independently
    std::ifstream in(m_Board.Path("/log/i2c.log"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line.substr(line.find(' ') + 1));
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"0 0x34 0x3014 0x20", "0 0x6C 0x0204 0x01", "0 0x34 0x3014 0x05"}));
    XDevClose(imx);
    XDevClose(mn);
}

TEST_F(I2cModelTest, ReadReturnsAddressedRegister)
{
    CI2cModel* i2c = CI2cModel::instance();
    i2c->Poke(2, 0x30, 0x0011, 0xAB);
    int fd = XDevOpen("/dev/i2c-2", O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(XDevIoctl(fd, I2C_SLAVE_FORCE, Arg(0x30)), 0);
    ASSERT_EQ(XDevIoctl(fd, I2C_16BIT_REG, Arg(0)), 0);
    uint8_t buf[1] = {0x11};
    EXPECT_EQ(XDevRead(fd, buf, 1), 1);
    EXPECT_EQ(buf[0], 0xAB);
    uint8_t w[2] = {0x12, 0x7E};
    EXPECT_EQ(XDevWrite(fd, w, 2), 2);
    buf[0] = 0x12;
    EXPECT_EQ(XDevRead(fd, buf, 1), 1);
    EXPECT_EQ(buf[0], 0x7E);
    XDevClose(fd);
}

TEST_F(I2cModelTest, RefusesWhatTheDriverWould)
{
    // no slave address yet
    int fd = XDevOpen("/dev/i2c-1", O_RDWR);
    ASSERT_GE(fd, 0);
    uint8_t buf[2] = {0, 0};
    errno = 0;
    EXPECT_EQ(XDevWrite(fd, buf, 2), -1);
    EXPECT_EQ(errno, ENXIO);
    // a length that is not register + data bytes
    ASSERT_EQ(XDevIoctl(fd, I2C_SLAVE_FORCE, Arg(0x34)), 0);
    EXPECT_EQ(XDevWrite(fd, buf, 1), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(XDevIoctl(fd, 0x0703, Arg(0)), -1);
    EXPECT_EQ(errno, ENOTTY);
    XDevClose(fd);
    EXPECT_TRUE(CI2cModel::instance()->Log().empty());
    // not a bus of the board
    EXPECT_EQ(CI2cModel::instance()->BusOf("/dev/i2c-3"), nullptr);
    EXPECT_EQ(CI2cModel::instance()->BusOf("/dev/i2c-01"), nullptr);
}

TEST_F(I2cModelTest, InjectedFailures)
{
    CI2cModel* i2c = CI2cModel::instance();
    i2c->FailOpen(0, true);
    EXPECT_EQ(XDevOpen("/dev/i2c-0", O_RDWR), -1);
    EXPECT_EQ(errno, EIO);
    i2c->FailOpen(0, false);

    i2c->FailRequest(I2C_16BIT_REG, true);
    int fd = XDevOpen("/dev/i2c-0", O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(XDevIoctl(fd, I2C_SLAVE_FORCE, Arg(0x34)), 0);
    EXPECT_EQ(XDevIoctl(fd, I2C_16BIT_REG, Arg(1)), -1);
    EXPECT_EQ(errno, EIO);
    i2c->FailRequest(I2C_16BIT_REG, false);
    EXPECT_EQ(XDevIoctl(fd, I2C_16BIT_REG, Arg(1)), 0);

    // the 2nd write fails, the others land
    i2c->FailWrite(2);
    EXPECT_EQ(WriteReg(fd, 0x3000, 1), 3);
    EXPECT_EQ(WriteReg(fd, 0x3001, 2), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(WriteReg(fd, 0x3002, 3), 3);
    std::vector<CI2cModel::tagWrite> log = i2c->Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].reg, 0x3000u);
    EXPECT_EQ(log[1].reg, 0x3002u);
    EXPECT_EQ(i2c->Peek(0, 0x34, 0x3001), 0u);
    XDevClose(fd);
}
