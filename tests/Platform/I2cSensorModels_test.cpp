#include <gtest/gtest.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "Platform/DevFile.h"
#include "Platform/I2c.h"
#include "Platform/host/devices/I2cModel.h"
#include "Platform/host/devices/I2cSensorModels.h"
#include "support/TestBoard.h"

namespace {

void* Arg(uintptr_t v) { return reinterpret_cast<void*>(v); }

// Bus 2 as the sensor drivers use it: 1-byte registers and data.
class I2cSensorModelsTest : public testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override
    {
        for (int fd : {m_Prox, m_Accel}) {
            if (fd >= 0) {
                XDevClose(fd);
            }
        }
        Reset();
    }
    static void Reset()
    {
        CI2cModel::instance()->ResetModel();
        CI2cSensorModel::Prox()->ResetModel();
        CI2cSensorModel::Accel()->ResetModel();
        CI2cSensorModel::ClearLog();
    }
    int Open(uintptr_t slave)
    {
        int fd = XDevOpen("/dev/i2c-2", O_RDWR);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(XDevIoctl(fd, I2C_SLAVE_FORCE, Arg(slave)), 0);
        EXPECT_EQ(XDevIoctl(fd, I2C_16BIT_REG, Arg(0)), 0);
        EXPECT_EQ(XDevIoctl(fd, I2C_16BIT_DATA, Arg(0)), 0);
        return fd;
    }
    static long Put(int fd, uint8_t reg, uint8_t value)
    {
        uint8_t buf[2] = {reg, value};
        return XDevWrite(fd, buf, 2);
    }
    // The register's value, or -1 when the chip did not answer.
    static int Get(int fd, uint8_t reg)
    {
        uint8_t buf[4] = {reg, 0, 0, 0};
        return XDevRead(fd, buf, 1) < 0 ? -1 : buf[0];
    }
    static int Files(const std::string& dir)
    {
        int n = 0;
        if (DIR* d = opendir(dir.c_str())) {
            while (dirent* e = readdir(d)) {
                n += e->d_name[0] != '.';
            }
            closedir(d);
        }
        return n;
    }

    CTestBoard m_Board;
    int m_Prox = Open(0x90);
    int m_Accel = Open(0x98);
};

TEST_F(I2cSensorModelsTest, ProximityFlagAdvancesAndInterruptLatches)
{
    CI2cSensorModel* prox = CI2cSensorModel::Prox();
    EXPECT_EQ(Get(m_Prox, 0x3E), 0x11);
    EXPECT_EQ(Get(m_Prox, 0x10) & 0x40, 0);  // standby: no data
    ASSERT_EQ(Put(m_Prox, 0x00, 0x05), 2);
    ASSERT_EQ(Put(m_Prox, 0x06, 0x01), 2);
    ASSERT_EQ(Put(m_Prox, 0x07, 0x00), 2);   // threshold 0x0100
    prox->QueueProx({{0x00FF, 1, 2}, {0x0100, 3, 4}, {0x0050, 5, 6}});
    EXPECT_EQ(Get(m_Prox, 0x10), 0x40);
    EXPECT_EQ(Get(m_Prox, 0x11) << 8 | Get(m_Prox, 0x12), 0x00FF);
    EXPECT_EQ(Get(m_Prox, 0x10), 0x50);  // at the threshold
    EXPECT_EQ(Get(m_Prox, 0x26) << 8 | Get(m_Prox, 0x27), 4);
    EXPECT_EQ(Get(m_Prox, 0x10), 0x50);  // latched until written
    ASSERT_EQ(Put(m_Prox, 0x10, 1), 2);
    EXPECT_EQ(prox->Reg(0x10), 0x40u);
    EXPECT_EQ(Get(m_Prox, 0x11) << 8 | Get(m_Prox, 0x12), 0x0050);
    // A soft reset restores the defaults and is counted.
    ASSERT_EQ(Put(m_Prox, 0x01, 0x73), 2);
    ASSERT_EQ(Put(m_Prox, 0x80, 1), 2);
    EXPECT_EQ(prox->SoftResets(), 1);
    EXPECT_NE(prox->Reg(0x01), 0x73u);
    EXPECT_EQ(prox->Reg(0x00), 0u);
    prox->SetId(0x21);
    ASSERT_EQ(Put(m_Prox, 0x80, 1), 2);
    EXPECT_EQ(Get(m_Prox, 0x3E), 0x21);  // the id survives
}

TEST_F(I2cSensorModelsTest, AccelerometerLayoutsAndRest)
{
    EXPECT_EQ(Get(m_Accel, 0x3B), 0x19);
    ASSERT_EQ(Put(m_Accel, 0x07, 0x01), 2);
    EXPECT_EQ(Get(m_Accel, 0x03), 1);
    EXPECT_EQ(Get(m_Accel, 0x02), 84);
    // Noise of +-1 on x at 0 g, one step a sample.
    std::vector<int> x;
    for (int i = 0; i < 4; ++i) {
        Get(m_Accel, 0x03);
        x.push_back(static_cast<int8_t>(Get(m_Accel, 0x00)));
    }
    std::sort(x.begin(), x.end());
    EXPECT_EQ(x, (std::vector<int>{-1, 0, 0, 1}));
    CI2cSensorModel::Accel()->SetId(0x90);
    CI2cSensorModel::Accel()->QueueAccel({{2, -1, 100, -300}});
    EXPECT_EQ(Get(m_Accel, 0x03), 2);
    EXPECT_EQ(Get(m_Accel, 0x0E) << 8 | Get(m_Accel, 0x0D), 0xFFFE);
    EXPECT_EQ(Get(m_Accel, 0x10) << 8 | Get(m_Accel, 0x0F), 200);
    EXPECT_EQ(Get(m_Accel, 0x12) << 8 | Get(m_Accel, 0x11), 0xFE00);  // -600 clamps to -512
    // Standby holds the axes.
    ASSERT_EQ(Put(m_Accel, 0x07, 0x03), 2);
    CI2cSensorModel::Accel()->QueueAccel({{1, 5, 5, 5}});
    Get(m_Accel, 0x03);
    EXPECT_EQ(Get(m_Accel, 0x0F), 200);
    EXPECT_EQ(CI2cSensorModel::Accel()->Queued(), 1u);
}

TEST_F(I2cSensorModelsTest, FaultsAndTheTransferLog)
{
    CI2cSensorModel* accel = CI2cSensorModel::Accel();
    accel->FailNext(0x07, 2);
    EXPECT_EQ(Put(m_Accel, 0x07, 1), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(Get(m_Accel, 0x07), -1);
    EXPECT_EQ(Put(m_Accel, 0x07, 1), 2);
    EXPECT_EQ(Get(m_Accel, 0x3B), 0x19);  // other registers were never affected
    accel->SetFault(CI2cSensorModel::emFault_Floating);
    EXPECT_EQ(Get(m_Accel, 0x3B), 0xFF);
    EXPECT_EQ(Get(m_Accel, 0x00), 0xFF);
    accel->SetFault(CI2cSensorModel::emFault_Absent);
    EXPECT_EQ(Put(m_Accel, 0x07, 3), -1);
    EXPECT_EQ(Get(m_Accel, 0x3B), -1);
    EXPECT_EQ(Get(m_Prox, 0x3E), 0x11);  // the other chip still answers
    std::vector<tagSensorTransfer> log = CI2cSensorModel::Log();
    ASSERT_EQ(log.size(), 9u);
    EXPECT_TRUE(log[0].write && !log[0].ok && log[0].reg == 0x07);
    EXPECT_TRUE(!log[1].write && !log[1].ok);
    EXPECT_TRUE(log[2].write && log[2].ok && log[2].value == 1);
    EXPECT_TRUE(!log[3].write && log[3].value == 0x19);
    EXPECT_EQ(log[8].slave, 0x90u);
    // Only acknowledged writes reach the board's write log.
    std::string text = XTestRun("cat '" + m_Board.Path("/log/i2c.log") + "'");
    EXPECT_EQ(text.find("0x98 0x0007 0x03"), std::string::npos);
    EXPECT_NE(text.find(" 2 0x98 0x0007 0x01\n"), std::string::npos) << text;
}

TEST_F(I2cSensorModelsTest, BoardInputsFromSimBoard)
{
    m_Board.Sim("sensor", "accel id 0x90");
    EXPECT_EQ(Get(m_Accel, 0x3B), 0x90);
    m_Board.Sim("sensor", "accel absent");
    EXPECT_EQ(Get(m_Accel, 0x3B), -1);
    m_Board.Sim("sensor", "accel present");
    EXPECT_EQ(Get(m_Accel, 0x3B), 0x90);
    m_Board.Sim("sensor", "prox id 0x00");
    EXPECT_EQ(Get(m_Prox, 0x3E), 0x00);

    // A shake is taken whole at the next sample and its file deleted.
    CI2cSensorModel::Accel()->SetId(0x19);
    ASSERT_EQ(Put(m_Accel, 0x07, 0x01), 2);
    m_Board.Sim("shake", "--axis z");
    EXPECT_EQ(Files(m_Board.Path("/sensor/accel.in")), 1);
    std::vector<int> z;
    for (int i = 0; i < 25; ++i) {
        Get(m_Accel, 0x03);
        z.push_back(static_cast<int8_t>(Get(m_Accel, 0x02)));
    }
    EXPECT_EQ(Files(m_Board.Path("/sensor/accel.in")), 0);
    EXPECT_EQ(std::count(z.begin(), z.end(), 127), 20);
    EXPECT_EQ(std::count(z.begin(), z.end(), -128), 4);
    EXPECT_EQ(z.back(), 84);  // back at rest
    m_Board.Sim("shake");
    Get(m_Accel, 0x03);
    EXPECT_EQ(Get(m_Accel, 0x01), 127);

    m_Board.Sim("sensor", "prox id 0x11");
    ASSERT_EQ(Put(m_Prox, 0x00, 0x11), 2);
    m_Board.Sim("wave");
    m_Board.Sim("wave");
    int high = 0;
    for (int i = 0; i < 60; ++i) {
        Get(m_Prox, 0x10);
        high += (Get(m_Prox, 0x11) << 8 | Get(m_Prox, 0x12)) >= 0x1000;
    }
    EXPECT_EQ(high, 50);  // two waves of half a second each
}

}  // namespace
