#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Alarm/AlarmTypes.h"
#include "Periphery/I2CDevTestSupport.h"
#include "Periphery/IRSensor.h"
#include "support/TestBoard.h"

namespace {

using tagProx = CI2cSensorModel::tagProx;
using tagRegWrite = std::pair<uint32_t, uint32_t>;

class IRSensorTest : public testing::Test {
protected:
    void SetUp() override
    {
        XResetSensorModels();
        m_Model = CI2cSensorModel::Prox();
        m_Model->SetRestProx({0x0040, 0x0020, 0x0020});
    }
    void TearDown() override
    {
        m_Sensor.reset();
        XResetSensorModels();
    }

    // A started sensor, calibrated over 32 samples from `low` upwards.
    void Calibrated(unsigned low = 100)
    {
        m_Sensor.reset(new CIRSensor(m_Ports.Roles()));
        ASSERT_TRUE(m_Sensor->Init());
        std::vector<tagProx> samples;
        for (unsigned i = 0; i < 32; ++i) {
            samples.push_back({low + i, 0x0100 + i, 0x0200 + 2 * i});
        }
        m_Model->QueueProx(samples);
        ASSERT_TRUE(m_Sensor->DevCorrect());
        CI2cSensorModel::ClearLog();
    }
    void Levels(unsigned& init, unsigned& trigger)
    {
        unsigned cur = 0, max = 0, min = 0;
        m_Sensor->TESTGetIRSensorParam(init, trigger, cur, max, min);
    }
    // The chip's programmable registers.
    std::vector<uint32_t> Setup() const
    {
        std::vector<uint32_t> out;
        for (uint32_t r : {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x15, 0x16}) {
            out.push_back(m_Model->Reg(r));
        }
        return out;
    }
    // Polls once per sample.
    void Poll(const std::vector<tagProx>& samples, uint32_t msStep = 20)
    {
        m_Model->QueueProx(samples);
        for (size_t i = 0; i < samples.size(); ++i) {
            m_Ports.ms += msStep;
            m_Sensor->DoDevAlarmScan();
        }
    }
    void PollNoData(int n)
    {
        for (int i = 0; i < n; ++i) {
            m_Ports.ms += 20;
            m_Sensor->DoDevAlarmScan();
        }
    }
    static std::vector<tagRegWrite> Writes()
    {
        std::vector<tagRegWrite> out;
        for (const tagSensorTransfer& x : CI2cSensorModel::Log()) {
            if (x.write && x.slave == 0x90) {
                out.emplace_back(x.reg, x.value);
            }
        }
        return out;
    }

    CTestBoard m_Board;
    CFakeI2CDevPorts m_Ports;
    CI2cSensorModel* m_Model = nullptr;
    std::unique_ptr<CIRSensor> m_Sensor;
};

const std::vector<tagRegWrite> kSetupWrites = {
    {0x80, 1}, {0x00, 0x05}, {0x01, 0x73}, {0x04, 0}, {0x05, 0}, {0x06, 0},
    {0x07, 0}, {0x08, 0},    {0x09, 0},    {0x15, 0}, {0x16, 0},
};

TEST_F(IRSensorTest, IdentificationAcceptsAnyIdButZeroAndFF)
{
    struct tagRow {
        uint32_t id;
        bool active;
    } rows[] = {{0x11, true}, {0x12, true}, {0x01, true}, {0x00, false}, {0xFF, false}};
    for (const tagRow& r : rows) {
        SCOPED_TRACE(r.id);
        m_Model->SetId(r.id);
        CIRSensor s(m_Ports.Roles());
        EXPECT_EQ(s.Init() != 0, r.active);
        EXPECT_EQ(s.IsActive() != 0, r.active);
    }
    m_Model->SetFault(CI2cSensorModel::emFault_Absent);
    CIRSensor absent(m_Ports.Roles());
    EXPECT_FALSE(absent.Init());
    EXPECT_FALSE(absent.DevCorrect());
    EXPECT_FALSE(absent.DoDevAlarmScan());
}

TEST_F(IRSensorTest, CalibrationWritesInOrderAndLearnsMaximumPlusMargin)
{
    struct tagRow {
        int level;
        unsigned margin;
    } rows[] = {{0, 1300}, {1, 500}, {2, 200}, {7, 500}};
    for (const tagRow& r : rows) {
        SCOPED_TRACE(r.level);
        XResetSensorModels();
        m_Ports.gestureLevel = r.level;
        m_Sensor.reset(new CIRSensor(m_Ports.Roles()));
        ASSERT_TRUE(m_Sensor->Init());
        std::vector<tagProx> samples;
        for (unsigned i = 0; i < 32; ++i) {
            samples.push_back({0x0100 + i, 0x0010, 0x0020});
        }
        m_Model->QueueProx(samples);
        CI2cSensorModel::ClearLog();
        ASSERT_TRUE(m_Sensor->DevCorrect());
        const unsigned trigger = 0x011F + r.margin;
        std::vector<tagRegWrite> expect = kSetupWrites;
        expect.insert(expect.end(), {{0x06, trigger >> 8}, {0x07, trigger & 0xFF}, {0x00, 0x11}, {0x04, 0x05}});
        EXPECT_EQ(Writes(), expect);
        unsigned init = 0, trig = 0;
        Levels(init, trig);
        EXPECT_EQ(trig, trigger);
        EXPECT_EQ(init, 0x011Fu + 100);
        EXPECT_EQ(m_Model->Reg(0x06) << 8 | m_Model->Reg(0x07), trigger);
    }
}

TEST_F(IRSensorTest, SaturatedCalibrationClampsTheLevels)
{
    m_Sensor.reset(new CIRSensor(m_Ports.Roles()));
    ASSERT_TRUE(m_Sensor->Init());
    m_Model->QueueProx(std::vector<tagProx>(32, tagProx{0xFFF0, 0, 0}));  // covered sensor
    ASSERT_TRUE(m_Sensor->DevCorrect());
    unsigned init = 0, trigger = 0;
    Levels(init, trigger);
    EXPECT_EQ(trigger, 0xFFFFu);
    EXPECT_EQ(init, 0xFFFFu);
    EXPECT_EQ(m_Model->Reg(0x06), 0xFFu);
    EXPECT_EQ(m_Model->Reg(0x07), 0xFFu);
    // A saturated reading reaches the level: one alarm.
    Poll({{0xFFFF, 0, 0}});
    EXPECT_EQ(m_Ports.Tasks().size(), 1u);
    // Levels set from outside clamp too.
    ASSERT_TRUE(m_Sensor->SetIRSensorParam(0x12345, 0x20000, FALSE));
    Levels(init, trigger);
    EXPECT_EQ(init, 0xFFFFu);
    EXPECT_EQ(trigger, 0xFFFFu);
}

TEST_F(IRSensorTest, SixMissesAtCalibrationLeaveItInactive)
{
    m_Sensor.reset(new CIRSensor(m_Ports.Roles()));
    ASSERT_TRUE(m_Sensor->Init());
    m_Model->SetDataReady(false);
    EXPECT_FALSE(m_Sensor->DevCorrect());
    EXPECT_FALSE(m_Sensor->IsActive());
    int flagReads = 0;
    for (const tagSensorTransfer& x : CI2cSensorModel::Log()) {
        flagReads += !x.write && x.reg == 0x10;
    }
    EXPECT_EQ(flagReads, 6);
    EXPECT_EQ(m_Ports.Events(true), std::vector<std::string>(5, "sleep 5000"));
    m_Model->SetDataReady(true);
    EXPECT_FALSE(m_Sensor->DoDevAlarmScan());  // inactive polls do nothing
    EXPECT_TRUE(m_Ports.Tasks().empty());
}

TEST_F(IRSensorTest, AlarmGivesTheGestureTask)
{
    Calibrated();
    unsigned init = 0, trigger = 0;
    Levels(init, trigger);
    Poll({{trigger, 0, 0}});
    std::vector<TASK> tasks = m_Ports.Tasks();
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0].type, TASKTYPE_ALARM);
    EXPECT_EQ(tasks[0].context.alarm.type, static_cast<unsigned>(emAlarmType_Gesture));
    EXPECT_EQ(tasks[0].context.alarm.wpa, trigger);
    EXPECT_EQ(tasks[0].context.alarm.lpa, static_cast<uint32_t>('G'));
    EXPECT_EQ(tasks[0].context.alarm.time, m_Ports.ms.load());
    EXPECT_FALSE(m_Sensor->IsArmed());
    EXPECT_EQ(m_Model->Reg(0x10) & 0x10, 0u);  // interrupt acknowledged
    // Just below the trigger: no alarm.
    Poll({{0x0040, 0, 0}, {trigger - 1, 0, 0}}, 5000);
    EXPECT_EQ(m_Ports.Tasks().size(), 1u);
}

TEST_F(IRSensorTest, DebounceBySensitivityAndResume)
{
    struct tagRow {
        int sensitivity;
        uint32_t gapMs;
        size_t tasks;
    } rows[] = {
        {emSenstivity_Medium, 999, 1}, {emSenstivity_Medium, 1000, 2}, {emSenstivity_Height, 199, 1},
        {emSenstivity_Height, 200, 2}, {emSenstivity_Low, 1999, 1},    {emSenstivity_Low, 2000, 2},
    };
    for (const tagRow& r : rows) {
        SCOPED_TRACE(std::to_string(r.sensitivity) + " " + std::to_string(r.gapMs));
        XResetSensorModels();
        m_Ports.Clear();
        Calibrated();
        m_Sensor->SetSensitivity(r.sensitivity);
        unsigned init = 0, trigger = 0;
        Levels(init, trigger);
        m_Ports.ms = 700000;
        Poll({{trigger + 10, 0, 0}}, 0);
        Poll({{trigger + 20, 0, 0}}, 0);  // disarmed: nothing
        Poll({{init - 1, 0, 0}}, 0);      // below the release level: armed again (RESUME1)
        EXPECT_TRUE(m_Sensor->IsArmed());
        m_Ports.ms = 700000 + r.gapMs;
        Poll({{trigger + 10, 0, 0}}, 0);
        EXPECT_EQ(m_Ports.Tasks().size(), r.tasks);
    }
}

TEST_F(IRSensorTest, ResumeOnAThresholdInterruptBelowTheReleaseLevel)
{
    Calibrated();
    unsigned init = 0, trigger = 0;
    Levels(init, trigger);
    Poll({{trigger, 0, 0}});
    ASSERT_FALSE(m_Sensor->IsArmed());
    // With the chip's threshold at 0 every reading interrupts.
    m_Model->Write(0x06, 0);
    m_Model->Write(0x07, 0);
    Poll({{init, 0, 0}});
    EXPECT_FALSE(m_Sensor->IsArmed());  // at the release level: still disarmed
    Poll({{init - 1, 0, 0}});
    EXPECT_TRUE(m_Sensor->IsArmed());  // RESUME2
    unsigned cur = 0, max = 0, min = 0;
    m_Sensor->TESTGetIRSensorParam(init, trigger, cur, max, min);
    EXPECT_EQ(cur, init - 1);
    EXPECT_EQ(max, 0u);
    EXPECT_EQ(min, 0xFFFFu);
}

TEST_F(IRSensorTest, GestureCaptureOffGivesNoAlarmAndKeepsTheArming)
{
    Calibrated();
    m_Ports.gestureCapture = 0;
    unsigned init = 0, trigger = 0;
    Levels(init, trigger);
    Poll({{trigger + 100, 0, 0}, {trigger + 200, 0, 0}});
    EXPECT_TRUE(m_Ports.Tasks().empty());
    EXPECT_TRUE(m_Sensor->IsArmed());
    // Disarmed by an alarm, it stays disarmed while capture is off.
    m_Ports.gestureCapture = 1;
    Poll({{trigger, 0, 0}});
    m_Ports.gestureCapture = 0;
    Poll({{trigger + 100, 0, 0}});
    EXPECT_FALSE(m_Sensor->IsArmed());
}

TEST_F(IRSensorTest, ThirtyThreeSamplesLearnNewLevels)
{
    Calibrated(100);  // release 231, trigger 631
    std::vector<tagProx> samples;
    for (unsigned i = 0; i < 33; ++i) {
        samples.push_back({120 + i, 0, 0});
    }
    Poll(std::vector<tagProx>(samples.begin(), samples.begin() + 32));
    unsigned init = 0, trigger = 0;
    Levels(init, trigger);
    EXPECT_EQ(init, 231u);
    EXPECT_EQ(trigger, 631u);
    Poll({samples.back()});
    Levels(init, trigger);
    EXPECT_EQ(init, 220u);     // minimum + 100
    EXPECT_EQ(trigger, 652u);  // maximum + 500
    EXPECT_EQ(m_Model->Reg(0x06) << 8 | m_Model->Reg(0x07), 652u);
    // The interrupt latched during the calibration is acknowledged first.
    EXPECT_EQ(Writes(), (std::vector<tagRegWrite>{{0x10, 1}, {0x06, 652 >> 8}, {0x07, 652 & 0xFF}}));
    EXPECT_EQ(m_Model->SoftResets(), 1);  // only the calibration's
}

TEST_F(IRSensorTest, TwentyOneDatalessPollsResetAndReprogramWhole)
{
    Calibrated();
    const std::vector<uint32_t> programmed = Setup();
    const int resets = m_Model->SoftResets();
    m_Model->SetDataReady(false);
    PollNoData(20);
    EXPECT_EQ(m_Model->SoftResets(), resets);
    PollNoData(1);
    EXPECT_EQ(m_Model->SoftResets(), resets + 1);
    EXPECT_TRUE(m_Sensor->IsActive());
    EXPECT_EQ(Setup(), programmed);  // the chip's defaults differ (PSCTRL, WAIT, offsets)
    // Data flows again and alarms work at the kept levels.
    m_Model->SetDataReady(true);
    unsigned init = 0, trigger = 0;
    Levels(init, trigger);
    Poll({{trigger, 0, 0}});
    EXPECT_EQ(m_Ports.Tasks().size(), 1u);
}

TEST_F(IRSensorTest, FailedReprogrammingLeavesItInactive)
{
    Calibrated();
    m_Model->SetDataReady(false);
    m_Model->FailNext(0x80, 1);
    PollNoData(21);
    EXPECT_FALSE(m_Sensor->IsActive());
    m_Model->SetDataReady(true);
    Poll(std::vector<tagProx>(30, tagProx{0xFFFF, 0, 0}));
    EXPECT_TRUE(m_Ports.Tasks().empty());
}

TEST_F(IRSensorTest, TestSetterResetsAndReprogramsWhole)
{
    Calibrated();
    ASSERT_TRUE(m_Sensor->TESTSetIRSensorParam(300, 0x0456));
    std::vector<tagRegWrite> expect = kSetupWrites;
    expect.insert(expect.end(), {{0x06, 0x04}, {0x07, 0x56}, {0x04, 0x05}, {0x00, 0x11}});
    EXPECT_EQ(Writes(), expect);
    unsigned init = 0, trigger = 0;
    Levels(init, trigger);
    EXPECT_EQ(init, 300u);
    EXPECT_EQ(trigger, 0x0456u);
    EXPECT_EQ(m_Model->Reg(0x01), 0x73u);
    EXPECT_EQ(m_Model->Reg(0x05), 0x00u);
    // A failing write is reported; the stored levels stay.
    m_Model->FailNext(0x07, 1);
    EXPECT_FALSE(m_Sensor->TESTSetIRSensorParam(10, 20));
    Levels(init, trigger);
    EXPECT_EQ(init, 10u);
    EXPECT_EQ(trigger, 20u);
}

}  // namespace
