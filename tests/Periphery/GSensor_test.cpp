#include <gtest/gtest.h>

#include <time.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Alarm/AlarmTypes.h"
#include "Main/Wiring/SensorWiring.h"
#include "Periphery/GSensor.h"
#include "Periphery/I2CDevTestSupport.h"
#include "support/TestBoard.h"

namespace {

using tagAccel = CI2cSensorModel::tagAccel;

constexpr uint32_t kMC3232 = 0x19;
constexpr uint32_t kMC3213 = 0x90;

class GSensorTest : public testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override
    {
        XResetSensorModels();
        m_Model = CI2cSensorModel::Accel();
        m_Model->SetId(GetParam());
        m_Model->SetRestAccel({1, 0, 0, 84}, false);
        m_Sensor.reset(new CGSensor(m_Ports.Roles()));
        ASSERT_TRUE(m_Sensor->Init());
    }
    void TearDown() override
    {
        m_Sensor.reset();
        XResetSensorModels();
    }

    // Queues the samples and polls once for each.
    void Poll(const std::vector<tagAccel>& samples, uint32_t msStep = 20)
    {
        m_Model->QueueAccel(samples);
        for (size_t i = 0; i < samples.size(); ++i) {
            m_Ports.ms += msStep;
            EXPECT_TRUE(m_Sensor->DoDevAlarmScan());
        }
    }
    static std::vector<tagAccel> Repeat(tagAccel s, int n) { return std::vector<tagAccel>(static_cast<size_t>(n), s); }
    // About 20 samples at +127 on one axis, then a few at -128 (sim/board shake).
    static std::vector<tagAccel> Shake(char axis)
    {
        std::vector<tagAccel> out;
        for (int i = 0; i < 23; ++i) {
            const int v = i < 20 ? 127 : -128;
            out.push_back({1, axis == 'x' ? v : 0, axis == 'y' ? v : 0, axis == 'z' ? v : 84});
        }
        return out;
    }
    void Rest(int n) { Poll(Repeat({1, 0, 0, 84}, n)); }

    CTestBoard m_Board;
    CFakeI2CDevPorts m_Ports;
    CI2cSensorModel* m_Model = nullptr;
    std::unique_ptr<CGSensor> m_Sensor;
};

INSTANTIATE_TEST_SUITE_P(Chips, GSensorTest, testing::Values(kMC3232, kMC3213),
                         [](const testing::TestParamInfo<uint32_t>& i) {
                             return std::string(i.param == kMC3213 ? "MC3213" : "MC3232");
                         });

TEST_P(GSensorTest, InitProgramsTheChipAndTakesTheLevel)
{
    EXPECT_EQ(m_Sensor->ProductId(), GetParam());
    EXPECT_TRUE(m_Sensor->IsActive());
    float t = 0;
    m_Sensor->TESTGetGSensorParam(t);
    EXPECT_EQ(t, 12.0f);
    EXPECT_EQ(m_Model->Reg(0x07), 0x01u);  // awake
    std::vector<std::pair<uint32_t, uint32_t>> writes;
    for (const tagSensorTransfer& x : CI2cSensorModel::Log()) {
        if (x.write && x.slave == 0x98) {
            writes.emplace_back(x.reg, x.value);
        }
    }
    const std::vector<std::pair<uint32_t, uint32_t>> mc3232 = {
        {0x07, 3}, {0x05, 0x00}, {0x08, 0x60}, {0x09, 0x00}, {0x0A, 0x07}, {0x32, 0x80},
        {0x0B, 0x00}, {0x2B, 0x00}, {0x0C, 0x04}, {0x06, 0xE3}, {0x07, 0x01}};
    const std::vector<std::pair<uint32_t, uint32_t>> mc3213 = {
        {0x07, 3}, {0x06, 0xE7}, {0x09, 0xE0}, {0x0A, 0x00}, {0x0B, 0x00}, {0x0C, 0x04},
        {0x20, 0x97}, {0x2B, 0x00}, {0x2C, 0x00}, {0x2D, 0x00}, {0x2E, 0x00}, {0x2F, 0x00},
        {0x30, 0x00}, {0x31, 0x00}, {0x32, 0x00}, {0x07, 0x01}};
    EXPECT_EQ(writes, GetParam() == kMC3213 ? mc3213 : mc3232);
}

TEST_P(GSensorTest, ShakeSwingAlarmsOnceOnYAndZ)
{
    for (char axis : {'y', 'z'}) {
        SCOPED_TRACE(axis);
        m_Sensor.reset(new CGSensor(m_Ports.Roles()));
        ASSERT_TRUE(m_Sensor->Init());
        m_Ports.Clear();
        std::vector<tagAccel> shake = Shake(axis);
        // From rest, no single reading of the +127 run exceeds 12.
        Poll(std::vector<tagAccel>(shake.begin(), shake.begin() + 20));
        EXPECT_TRUE(m_Ports.Tasks().empty());
        Poll(std::vector<tagAccel>(shake.begin() + 20, shake.end()));
        std::vector<TASK> tasks = m_Ports.Tasks();
        ASSERT_EQ(tasks.size(), 1u);
        EXPECT_EQ(tasks[0].type, TASKTYPE_ALARM);
        EXPECT_EQ(tasks[0].context.alarm.type, static_cast<unsigned>(emAlarmType_Accelerate));
        EXPECT_EQ(tasks[0].context.alarm.wpa, 0u);
        EXPECT_EQ(tasks[0].context.alarm.lpa, static_cast<uint32_t>('A'));
        EXPECT_EQ(tasks[0].context.alarm.time, m_Ports.ms.load() - 40);  // the first -128 reading
        EXPECT_FALSE(m_Sensor->IsArmed());
    }
}

TEST_P(GSensorTest, XAxisHasThreeTimesTheThreshold)
{
    Poll(Shake('x'));
    Poll(Shake('x'));
    EXPECT_TRUE(m_Ports.Tasks().empty());  // the swing never reaches 36
    EXPECT_TRUE(m_Sensor->IsArmed());
}

// The first reading from rest leaves 0.8 of the value; a threshold equal to
// it is quiet, one just below alarms.
TEST_P(GSensorTest, ThresholdItselfIsQuiet)
{
    const double scale = GetParam() == kMC3213 ? 512.0 : 256.0;
    const int raw = GetParam() == kMC3213 ? 200 : 100;  // 100 LSB of the 8-bit layout
    const float a = static_cast<float>(raw * 10 * 3 / scale);
    const float gravity = 0.8f * 0.0f + (1 - 0.8f) * a;
    const float lin = a - gravity;
    const float exact = static_cast<float>(std::sqrt(static_cast<double>(lin) * lin));
    struct tagRow {
        char axis;
        float trigger;
        size_t tasks;
    } rows[] = {
        {'y', exact, 0},
        {'y', std::nextafter(exact, 0.0f), 1},
        {'z', exact, 0},
        {'z', std::nextafter(exact, 0.0f), 1},
        {'x', exact / 3, 0},
        {'x', std::nextafter(exact / 3, 0.0f), 1},
    };
    for (const tagRow& r : rows) {
        SCOPED_TRACE(std::string(1, r.axis) + " " + std::to_string(r.trigger));
        XResetSensorModels();
        m_Model->SetId(GetParam());
        m_Model->SetRestAccel({1, 0, 0, 0}, false);
        m_Sensor.reset(new CGSensor(m_Ports.Roles()));
        ASSERT_TRUE(m_Sensor->Init());
        m_Sensor->TESTSetGSensorParam(r.trigger);
        m_Ports.Clear();
        Poll({{1, r.axis == 'x' ? 100 : 0, r.axis == 'y' ? 100 : 0, r.axis == 'z' ? 100 : 0}});
        EXPECT_EQ(m_Ports.Tasks().size(), r.tasks);
    }
}

TEST_P(GSensorTest, LevelOf254TurnsTheAlarmOffAndStaysArmed)
{
    m_Ports.gsensorLevel = 254;
    m_Sensor.reset(new CGSensor(m_Ports.Roles()));
    ASSERT_TRUE(m_Sensor->Init());
    m_Sensor->TESTSetGSensorParam(0.5f);
    m_Sensor->TESTSetGSensorParam(254.0f);
    for (int i = 0; i < 3; ++i) {
        Poll(Shake('y'));
        EXPECT_TRUE(m_Sensor->IsArmed());
    }
    EXPECT_TRUE(m_Ports.Tasks().empty());
}

TEST_P(GSensorTest, DebounceBySensitivity)
{
    struct tagRow {
        int sensitivity;
        uint32_t gapMs;
        size_t tasks;
    } rows[] = {
        {emSenstivity_Medium, 1500, 1}, {emSenstivity_Medium, 2000, 2}, {emSenstivity_Height, 999, 1},
        {emSenstivity_Height, 1000, 2}, {emSenstivity_Low, 2999, 1},    {emSenstivity_Low, 3000, 2},
    };
    for (const tagRow& r : rows) {
        SCOPED_TRACE(std::to_string(r.sensitivity) + " " + std::to_string(r.gapMs));
        m_Sensor.reset(new CGSensor(m_Ports.Roles()));
        ASSERT_TRUE(m_Sensor->Init());
        m_Sensor->SetSensitivity(r.sensitivity);
        m_Sensor->TESTSetGSensorParam(12.0f);
        m_Ports.Clear();
        // Each jolt's alarming reading comes at a set time; quiet readings re-arm between.
        m_Ports.ms = 500000;
        Poll(Shake('y'), 0);
        Rest(30);
        m_Ports.ms = 500000 + r.gapMs;
        Poll(Shake('y'), 0);
        EXPECT_EQ(m_Ports.Tasks().size(), r.tasks);
        EXPECT_FALSE(m_Sensor->IsArmed());
    }
}

TEST_P(GSensorTest, SteadyHighReadingAlarmsOnceUntilQuiet)
{
    Poll(Repeat({1, 0, 127, 84}, 20));
    // The -128 run stays above 12 for several readings; 5 s apart, still one alarm.
    Poll(Repeat({1, 0, -128, 84}, 3), 5000);
    EXPECT_EQ(m_Ports.Tasks().size(), 1u);
    EXPECT_FALSE(m_Sensor->IsArmed());
    Poll(Repeat({1, 0, -128, 84}, 10), 5000);  // settles: quiet, re-armed
    EXPECT_TRUE(m_Sensor->IsArmed());
    Poll(Repeat({1, 0, 127, 84}, 1), 5000);
    EXPECT_EQ(m_Ports.Tasks().size(), 2u);
}

class MC3213Test : public GSensorTest {
};

INSTANTIATE_TEST_SUITE_P(Chip, MC3213Test, testing::Values(kMC3213));

TEST_P(MC3213Test, TenBitSign)
{
    // -1 reads back as 0xFFFF over the two registers; -256 as 0xFF00.
    m_Model->QueueAccel({{1, -1, -128, 84}});
    m_Sensor->DoDevAlarmScan();
    EXPECT_EQ(m_Model->Reg(0x0D), 0xFEu);
    EXPECT_EQ(m_Model->Reg(0x0E), 0xFFu);
    EXPECT_EQ(m_Model->Reg(0x0F), 0x00u);
    EXPECT_EQ(m_Model->Reg(0x10), 0xFFu);
    // Gravity settled at -128 on y (a negative value): a swing to +127 alarms,
    // while the settled readings stay quiet.
    Poll(Repeat({1, 0, -128, 84}, 30));
    EXPECT_TRUE(m_Ports.Tasks().empty());
    Poll(Repeat({1, 0, 127, 84}, 1));
    EXPECT_EQ(m_Ports.Tasks().size(), 1u);
}

TEST_P(GSensorTest, MissingOrFloatingChip)
{
    XResetSensorModels();
    m_Model->SetFault(CI2cSensorModel::emFault_Absent);
    CGSensor absent(m_Ports.Roles());
    EXPECT_FALSE(absent.Init());
    EXPECT_FALSE(absent.IsActive());
    EXPECT_TRUE(absent.MC3232_DevAlarmScan());   // inactive: nothing to do
    EXPECT_FALSE(absent.MC3213_DevAlarmScan());
    // A floating bus reads 0xFF everywhere: not an MC3232, and a failed poll.
    m_Model->SetFault(CI2cSensorModel::emFault_Floating);
    CGSensor floating(m_Ports.Roles());
    EXPECT_FALSE(floating.Init());
    m_Model->SetFault(CI2cSensorModel::emFault_None);
    m_Model->SetId(kMC3232);
    ASSERT_TRUE(m_Sensor->Init());
    m_Model->SetFault(CI2cSensorModel::emFault_Floating);
    if (m_Sensor->ProductId() == kMC3232) {
        EXPECT_FALSE(m_Sensor->DoDevAlarmScan());
    }
    m_Model->SetFault(CI2cSensorModel::emFault_None);
    m_Model->FailNext(0x01, 1);
    EXPECT_FALSE(m_Sensor->DoDevAlarmScan());  // a bus error ends the poll
    EXPECT_TRUE(m_Sensor->DoDevAlarmScan());   // and the next one tries again
}

// ---- parking ----

class ParkingTest : public GSensorTest {
protected:
    void SetUp() override
    {
        m_Ports.parkingEnabled = TRUE;
        m_Ports.parkingMinutes = 10;
        GSensorTest::SetUp();
    }
    // One still poll at `sec` monotonic seconds.
    void StillAt(uint32_t sec)
    {
        m_Ports.sec = sec;
        Poll({{1, 0, 0, 84}});
    }
};

INSTANTIATE_TEST_SUITE_P(Chips, ParkingTest, testing::Values(kMC3232, kMC3213),
                         [](const testing::TestParamInfo<uint32_t>& i) {
                             return std::string(i.param == kMC3213 ? "MC3213" : "MC3232");
                         });

TEST_P(ParkingTest, ParksAfterMoreThanTheThreshold)
{
    StillAt(1000);  // the first reading counts as movement
    StillAt(1300);
    StillAt(1600);
    EXPECT_TRUE(m_Ports.Events().empty());
    EXPECT_FALSE(m_Sensor->IsParked());
    StillAt(1601);
    EXPECT_EQ(m_Ports.Events(), std::vector<std::string>{"parking 1"});
    EXPECT_TRUE(m_Sensor->IsParked());
    StillAt(5000);
    EXPECT_EQ(m_Ports.Events().size(), 1u);
}

TEST_P(ParkingTest, NoiseAtZeroGStillParks)
{
    m_Model->SetRestAccel({1, 0, 0, 84}, true);  // x: 0, +1, 0, -1, ...
    for (uint32_t s = 1000; s <= 1610; s += 10) {
        m_Ports.sec = s;
        m_Model->QueueAccel({});
        m_Ports.ms += 20;
        m_Sensor->DoDevAlarmScan();
    }
    EXPECT_EQ(m_Ports.Events(), std::vector<std::string>{"parking 1"});
}

TEST_P(ParkingTest, MovementWhileParkedTakesOnePictureAndLeaves)
{
    StillAt(1000);
    StillAt(1601);
    m_Ports.Clear();
    m_Ports.sec = 1700;
    Poll({{1, 0, 5, 84}, {1, 0, 9, 84}, {1, 0, 0, 84}});
    EXPECT_EQ(m_Ports.Events(true), (std::vector<std::string>{"snapshot", "sleep 33333", "parking 0"}));
    EXPECT_FALSE(m_Sensor->IsParked());
    // Stillness starts again from the last movement.
    StillAt(2300);
    EXPECT_EQ(m_Ports.Events().size(), 2u);
    StillAt(2301);
    EXPECT_EQ(m_Ports.Events().back(), "parking 1");
}

TEST_P(ParkingTest, NoCheckWhilePausedOrWithoutCard)
{
    for (int row = 0; row < 2; ++row) {
        SCOPED_TRACE(row == 0 ? "paused" : "no card");
        m_Sensor.reset(new CGSensor(m_Ports.Roles()));
        ASSERT_TRUE(m_Sensor->Init());
        m_Ports.Clear();
        StillAt(1000);
        m_Ports.paused = row == 0 ? 1 : 0;
        m_Ports.canRecord = row == 0 ? TRUE : FALSE;
        StillAt(1700);
        EXPECT_TRUE(m_Ports.Events().empty());
        // The timer goes on from the last call: the first check parks at once.
        m_Ports.paused = 0;
        m_Ports.canRecord = TRUE;
        StillAt(1701);
        EXPECT_EQ(m_Ports.Events(), std::vector<std::string>{"parking 1"});
    }
}

TEST_P(ParkingTest, OffWhileMonitoringDisabled)
{
    m_Ports.parkingEnabled = FALSE;
    StillAt(1000);
    StillAt(9000);
    EXPECT_TRUE(m_Ports.Events().empty());
}

TEST(ParkingClock, SystemPortsCountMonotonicSeconds)
{
    CCameraI2CDevPorts ports;
    timespec mono{};
    clock_gettime(CLOCK_MONOTONIC, &mono);
    const uint32_t s = ports.MonoSeconds();
    EXPECT_GE(s, static_cast<uint32_t>(mono.tv_sec));
    EXPECT_LE(s, static_cast<uint32_t>(mono.tv_sec) + 1);
}

}  // namespace
