#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Periphery/I2CDevManager.h"
#include "Periphery/I2CDevTestSupport.h"
#include "support/TestBoard.h"

namespace {

class I2CDevManagerTest : public testing::Test {
protected:
    void SetUp() override
    {
        XResetSensorModels();
        m_Ports.realSleep = true;
    }
    void TearDown() override { XResetSensorModels(); }

    CTestBoard m_Board;
    CFakeI2CDevPorts m_Ports;
};

TEST_F(I2CDevManagerTest, AccessorsBeforeInitAnswerZerosAndMinusOne)
{
    CI2CDevManager m;
    m.Bind(m_Ports.Roles());
    unsigned init = 1, trigger = 1, cur = 1, max = 1, min = 1;
    m.TESTGetIRSensorParam(init, trigger, cur, max, min);
    EXPECT_EQ(init + trigger + cur + max + min, 0u);
    float t = 1.0f;
    m.TESTGetGSensorParam(t);
    EXPECT_EQ(t, 0.0f);
    EXPECT_EQ(m.TESTSetIRSensorParam(100, 200), -1);
    EXPECT_EQ(m.TESTCorrectIRSensor(), -1);
    EXPECT_EQ(m.TESTSetGSensorParam(5.0f), -1);
    EXPECT_FALSE(m.IRSensorActive());
    EXPECT_FALSE(m.GSensorActive());
    EXPECT_TRUE(m.CleanUp());  // without Init
    EXPECT_TRUE(CI2cSensorModel::Log().empty());
}

TEST_F(I2CDevManagerTest, InitWithMissingChips)
{
    struct tagRow {
        bool prox;
        bool accel;
        BOOL result;
    } rows[] = {{true, true, TRUE}, {false, true, TRUE}, {true, false, TRUE}, {false, false, FALSE}};
    for (const tagRow& r : rows) {
        SCOPED_TRACE(std::to_string(r.prox) + std::to_string(r.accel));
        XResetSensorModels();
        CI2cSensorModel::Prox()->SetFault(r.prox ? CI2cSensorModel::emFault_None : CI2cSensorModel::emFault_Absent);
        CI2cSensorModel::Accel()->SetFault(r.accel ? CI2cSensorModel::emFault_None : CI2cSensorModel::emFault_Absent);
        CI2CDevManager m;
        m.Bind(m_Ports.Roles());
        EXPECT_EQ(m.Init(), r.result);
        EXPECT_EQ(m.IRSensorActive() != 0, r.prox);
        EXPECT_EQ(m.GSensorActive() != 0, r.accel);
        EXPECT_EQ(m.IsThreadOver() != 0, !r.result);  // no thread when both are missing
        EXPECT_EQ(m.TESTCorrectIRSensor(), r.prox ? 0 : -1);
        EXPECT_TRUE(m.CleanUp());
        EXPECT_EQ(m.IRSensor(), nullptr);
    }
}

TEST_F(I2CDevManagerTest, ThreadCalibratesPollsAndStandsByAtCleanUp)
{
    CI2CDevManager m;
    m.Bind(m_Ports.Roles());
    ASSERT_TRUE(m.Init());
    // The first turn calibrates: the proximity chip ends in operation.
    for (int i = 0; i < 2000 && CI2cSensorModel::Prox()->Reg(0x00) != 0x11; ++i) {
        usleep(1000);
    }
    EXPECT_EQ(CI2cSensorModel::Prox()->Reg(0x00), 0x11u);
    unsigned init = 0, trigger = 0, cur = 0, max = 0, min = 0;
    m.TESTGetIRSensorParam(init, trigger, cur, max, min);
    EXPECT_EQ(trigger, 0x41u + 500);  // rest 0x40 with +-1 of noise
    EXPECT_EQ(m.TESTSetGSensorParam(20.0f), 0);
    float t = 0;
    m.TESTGetGSensorParam(t);
    EXPECT_EQ(t, 20.0f);
    // A calibration asked for runs on the thread.
    const int resets = CI2cSensorModel::Prox()->SoftResets();
    EXPECT_EQ(m.TESTCorrectIRSensor(), 0);
    for (int i = 0; i < 2000 && CI2cSensorModel::Prox()->SoftResets() == resets; ++i) {
        usleep(1000);
    }
    EXPECT_EQ(CI2cSensorModel::Prox()->SoftResets(), resets + 1);
    ASSERT_TRUE(m.CleanUp());
    std::vector<tagSensorTransfer> log = CI2cSensorModel::Log();
    ASSERT_GE(log.size(), 2u);
    const tagSensorTransfer& a = log[log.size() - 2];
    const tagSensorTransfer& b = log[log.size() - 1];
    EXPECT_TRUE(a.write && a.slave == 0x90 && a.reg == 0x00 && a.value == 0x00);
    EXPECT_TRUE(b.write && b.slave == 0x98 && b.reg == 0x07 && b.value == 0x03);
    EXPECT_EQ(CI2cSensorModel::Accel()->Reg(0x07), 0x03u);
    // The standby writes are in the board's write log too.
    std::string tail = XTestRun("tail -n 2 '" + m_Board.Path("/log/i2c.log") + "'");
    EXPECT_NE(tail.find(" 2 0x90 0x0000 0x00\n"), std::string::npos) << tail;
    EXPECT_NE(tail.find(" 2 0x98 0x0007 0x03\n"), std::string::npos) << tail;
    EXPECT_TRUE(m.CleanUp());  // twice is harmless
}

TEST_F(I2CDevManagerTest, MissingChipLeavesTheOtherAlarming)
{
    CI2cSensorModel::Accel()->SetFault(CI2cSensorModel::emFault_Absent);
    CI2CDevManager m;
    m.Bind(m_Ports.Roles());
    ASSERT_TRUE(m.Init());
    for (int i = 0; i < 2000 && CI2cSensorModel::Prox()->Reg(0x00) != 0x11; ++i) {
        usleep(1000);
    }
    CI2cSensorModel::Prox()->QueueProx(std::vector<CI2cSensorModel::tagProx>(5, {0x2000, 0, 0}));
    for (int i = 0; i < 5000 && m_Ports.Tasks().empty(); ++i) {
        usleep(1000);
    }
    m.CleanUp();
    ASSERT_EQ(m_Ports.Tasks().size(), 1u);
    EXPECT_EQ(m_Ports.Tasks()[0].context.alarm.lpa, static_cast<uint32_t>('G'));
}

}  // namespace
