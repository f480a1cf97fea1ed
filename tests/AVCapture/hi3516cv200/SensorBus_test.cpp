// The sensor drivers on the simulated I2C bus: the init sequences against
// golden logs, bus failures, and the simulated ISP driving each driver.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Platform/I2c.h"
#include "Platform/MpiIsp.h"
#include "Platform/host/media/MediaModules.h"
#include "tests/AVCapture/hi3516cv200/SensorRig.h"
#include "tests/Platform/MediaChain.h"

namespace {

typedef std::vector<std::pair<uint32_t, uint32_t>> Rows;

std::string Name(const testing::TestParamInfo<const tagSensorKind*>& info) { return info.param->name; }

Rows LoggedRows()
{
    Rows rows;
    for (const CI2cModel::tagWrite& w : CI2cModel::instance()->Log()) {
        rows.emplace_back(w.reg, w.value);
    }
    return rows;
}

// `want` appears in `rows` in this order (not necessarily next to each other).
bool InOrder(const Rows& rows, const Rows& want)
{
    size_t k = 0;
    for (const auto& r : rows) {
        if (k < want.size() && r == want[k]) {
            ++k;
        }
    }
    return k == want.size();
}

bool Has(const Rows& rows, uint32_t reg)
{
    return std::any_of(rows.begin(), rows.end(), [&](const std::pair<uint32_t, uint32_t>& r) { return r.first == reg; });
}

const char* SequenceBanner(const tagSensorKind& k)
{
    return k.id == 291 ? "--------IMX290 1080P 30fps LINE CSI-2 12bit Init OK!----\n"
                       : "===panasonic mn34222 sensor lvds 1ch2lane 1080P30fps linear mode init success!=====\n";
}

class SensorSequence : public testing::TestWithParam<const tagSensorKind*> {
protected:
    void SetUp() override { m_Rig.Register(); }
    std::string Init()
    {
        return XCaptureOut([&] { m_Rig.Isp().pfn_cmos_sensor_init(); });
    }
    CSensorRig m_Rig{*GetParam()};
    bool Imx() const { return GetParam()->id == 291; }
};

}  // namespace

TEST_P(SensorSequence, InitSequenceMatchesTheGoldenLog)
{
    EXPECT_EQ(m_Rig.ImageMode(1920, 1080, 30), 0);
    const std::string out = Init();
    if (Imx()) {
        EXPECT_EQ(out, std::string("-----IMX290 I2C Init OK!----\n") + SequenceBanner(*GetParam()));
    } else {
        EXPECT_EQ(out, SequenceBanner(*GetParam()));
    }

    // the board's log, line for line
    const std::vector<std::string> log = m_Rig.BoardLog();
    EXPECT_EQ(log.size(), static_cast<size_t>(GetParam()->writes));
    EXPECT_EQ(log, m_Rig.Golden());

    // the bytes on the bus: [register low, register high, data] to the sensor's address
    const std::vector<CI2cModel::tagWrite> writes = CI2cModel::instance()->Log();
    ASSERT_EQ(writes.size(), static_cast<size_t>(GetParam()->writes));
    for (const CI2cModel::tagWrite& w : writes) {
        ASSERT_EQ(w.bus, 0);
        ASSERT_EQ(w.slave, GetParam()->slave);
        ASSERT_EQ(w.bytes, (std::vector<uint8_t>{static_cast<uint8_t>(w.reg), static_cast<uint8_t>(w.reg >> 8),
                                                 static_cast<uint8_t>(w.value)}));
    }
    const Rows rows = LoggedRows();
    if (Imx()) {
        EXPECT_EQ(rows.front(), std::make_pair(0x3000u, 0x01u));
        EXPECT_EQ(rows.back(), std::make_pair(0x304Bu, 0x0Au));
        EXPECT_TRUE(InOrder(rows, {{0x3000, 0x01}, {0x3002, 0x01}, {0x3005, 0x01}, {0x3007, 0x00}, {0x3009, 0x02},
                                   {0x300A, 0xF0}, {0x3014, 0x20}, {0x3018, 0x65}, {0x3019, 0x04}, {0x301A, 0x00},
                                   {0x301C, 0x30}, {0x301D, 0x11}, {0x3020, 0x01}, {0x3021, 0x00}, {0x3046, 0x01},
                                   {0x305C, 0x18}, {0x305D, 0x03}, {0x305E, 0x20}, {0x305F, 0x01}, {0x3441, 0x0C},
                                   {0x3442, 0x0C}, {0x3443, 0x03}, {0x3444, 0x20}, {0x3445, 0x25}, {0x34C9, 0x65},
                                   {0x34CA, 0x04}, {0x34CB, 0x00}, {0x34CC, 0x30}, {0x34CD, 0x11}, {0x3000, 0x00},
                                   {0x3002, 0x00}, {0x304B, 0x0A}}));
        // the mode block: 204 registers upwards from 0x3005 to 0x34F7, the 0x3480 block whole
        const Rows block(rows.begin() + 2, rows.begin() + 206);
        EXPECT_EQ(block.front().first, 0x3005u);
        EXPECT_EQ(block.back().first, 0x34F7u);
        EXPECT_TRUE(std::is_sorted(block.begin(), block.end()));
        EXPECT_EQ(std::count_if(block.begin(), block.end(), [](const std::pair<uint32_t, uint32_t>& r) {
                      return r.first >= 0x3480;
                  }),
                  0x34F8 - 0x3480);
        // the waits: 300 ms after the first two writes, 200 ms before each of the last three
        auto gapMs = [&](size_t i) { return (writes[i].timeUs - writes[i - 1].timeUs) / 1000; };
        EXPECT_GE(gapMs(2), 300);
        EXPECT_GE(gapMs(206), 200);
        EXPECT_GE(gapMs(207), 200);
        EXPECT_GE(gapMs(208), 200);
    } else {
        const Rows start(rows.begin(), rows.begin() + 8);
        EXPECT_EQ(start, (Rows{{0x300E, 0x01}, {0x300F, 0x00}, {0x0305, 0x02}, {0x0307, 0x24}, {0x3000, 0x00},
                               {0x3001, 0x03}, {0x0112, 0x0C}, {0x0113, 0x0C}}));
        const Rows end(rows.end() - 4, rows.end());
        EXPECT_EQ(end, (Rows{{0x3000, 0x00}, {0x3001, 0xD3}, {0x0100, 0x01}, {0x0101, 0x00}}));
        EXPECT_TRUE(InOrder(rows, {{0x3000, 0x00}, {0x3000, 0x00}, {0x3001, 0x53}, {0x0202, 0x04}, {0x0203, 0x63},
                                   {0x3280, 0x30}, {0x3000, 0x00}, {0x3001, 0xD3}}));
    }
    for (size_t i = 1; i < writes.size(); ++i) {
        ASSERT_LE(writes[i - 1].timeUs, writes[i].timeUs);
    }

    // programmed: the same mode asks for no second programming
    EXPECT_EQ(m_Rig.ImageMode(1920, 1080, 30), -1);
    EXPECT_EQ(m_Rig.ImageMode(1920, 1080, 25), -1);
    EXPECT_EQ(CI2cModel::instance()->Log().size(), writes.size());
}

TEST_P(SensorSequence, PixelDetectWritesDirectly)
{
    EXPECT_EQ(m_Rig.ImageMode(1920, 1080, 30), 0);
    Init();
    CI2cModel::instance()->ResetModel();
    m_Rig.Regs();
    m_Rig.Isp().pfn_cmos_set_pixel_detect(1);
    if (Imx()) {
        EXPECT_EQ(LoggedRows(), (Rows{{0x3014, 0x00}, {0x3018, 0x8E}, {0x3019, 0x1A}, {0x301A, 0x00}, {0x3020, 0x8C},
                                      {0x3021, 0x1A}, {0x3022, 0x00}}));
    } else {
        EXPECT_EQ(LoggedRows(), (Rows{{0x0340, 0x1A}, {0x0341, 0x64}, {0x0202, 0x1A}, {0x0203, 0x62}, {0x0204, 0x01},
                                      {0x0205, 0x00}, {0x3108, 0x01}, {0x3109, 0x00}}));
    }
    EXPECT_TRUE(CSensorRig::Marked(m_Rig.Regs()).empty()) << "on leaves the list alone";
    CI2cModel::instance()->ResetModel();
    m_Rig.Isp().pfn_cmos_set_pixel_detect(0);
    if (Imx()) {
        EXPECT_EQ(LoggedRows(), (Rows{{0x3018, 0x6D}, {0x3019, 0x04}, {0x301A, 0x00}}));  // 1133 lines
    } else {
        EXPECT_EQ(LoggedRows(), (Rows{{0x0340, 0x04}, {0x0341, 0x66}}));  // 1126 lines
    }
    EXPECT_EQ(CSensorRig::Marked(m_Rig.Regs()).size(), Imx() ? 8u : 9u) << "off sends the whole list again";
}

TEST_P(SensorSequence, RegisterWidthFailureReportsEachWriteAndGoesOn)
{
    EXPECT_EQ(m_Rig.ImageMode(1920, 1080, 30), 0);
    CI2cModel::instance()->FailRequest(I2C_16BIT_REG, true);
    const std::string out = Init();
    EXPECT_EQ(XCount(out, "CMD_SET_REG_WIDTH error!\n"), GetParam()->writes);
    EXPECT_EQ(out.find(SequenceBanner(*GetParam())), std::string::npos) << "no banner";
    EXPECT_NE(out.find("init failed"), std::string::npos) << out.substr(out.size() - 200);
    EXPECT_TRUE(CI2cModel::instance()->Log().empty());
    EXPECT_EQ(m_Rig.ImageMode(1920, 1080, 30), 0) << "not programmed";

    CI2cModel::instance()->FailRequest(I2C_16BIT_REG, false);
    EXPECT_NE(Init().find(SequenceBanner(*GetParam())), std::string::npos);
    EXPECT_EQ(m_Rig.BoardLog(), m_Rig.Golden());
    EXPECT_EQ(m_Rig.ImageMode(1920, 1080, 30), -1);
}

INSTANTIATE_TEST_SUITE_P(Drivers, SensorSequence, testing::Values(&XImx291(), &XMn34222()), Name);

// Bus failures, on the driver without waits.
class Mn34222Bus : public testing::Test {
protected:
    void SetUp() override
    {
        m_Rig.Register();
        EXPECT_EQ(m_Rig.ImageMode(1920, 1080, 30), 0);
    }
    std::string Init()
    {
        return XCaptureOut([&] { m_Rig.Isp().pfn_cmos_sensor_init(); });
    }
    CSensorRig m_Rig{XMn34222()};
};

TEST_F(Mn34222Bus, RefusedSlaveAddressLeavesNoDescriptorBehind)
{
    CI2cModel::instance()->FailRequest(I2C_SLAVE_FORCE, true);
    std::string out = Init();
    EXPECT_EQ(out.rfind("CMD_SET_DEV error!\n", 0), 0u) << out.substr(0, 200);
    EXPECT_EQ(XCount(out, "CMD_SET_REG_WIDTH error!\n"), 99) << "every write finds the bus closed";
    EXPECT_EQ(out.find(SequenceBanner(XMn34222())), std::string::npos);

    // the next init opens the bus afresh and addresses the sensor
    CI2cModel::instance()->FailRequest(I2C_SLAVE_FORCE, false);
    out = Init();
    EXPECT_EQ(out, SequenceBanner(XMn34222()));
    EXPECT_EQ(m_Rig.BoardLog(), m_Rig.Golden());
}

TEST_F(Mn34222Bus, BusThatDoesNotOpen)
{
    CI2cModel::instance()->FailOpen(0, true);
    const std::string out = Init();
    EXPECT_EQ(out.rfind("Open /dev/i2c-0 error!\n", 0), 0u);
    EXPECT_EQ(out.find(SequenceBanner(XMn34222())), std::string::npos);
    EXPECT_EQ(m_Rig.ImageMode(1920, 1080, 30), 0) << "not programmed";
    CI2cModel::instance()->FailOpen(0, false);
    EXPECT_EQ(Init(), SequenceBanner(XMn34222()));
}

TEST_F(Mn34222Bus, OneFailedWriteIsReportedAndTheRestLand)
{
    CI2cModel::instance()->FailWrite(5);
    const std::string out = Init();
    EXPECT_EQ(XCount(out, "I2C_WRITE error!\n"), 1);
    EXPECT_EQ(out.find(SequenceBanner(XMn34222())), std::string::npos);
    std::vector<std::string> golden = m_Rig.Golden();
    golden.erase(golden.begin() + 4);
    EXPECT_EQ(m_Rig.BoardLog(), golden);
    EXPECT_EQ(m_Rig.ImageMode(1920, 1080, 30), 0) << "not programmed";
}

// ---- the simulated ISP driving each driver ----

class SensorIsp : public testing::TestWithParam<const tagSensorKind*> {
protected:
    bool Imx() const { return GetParam()->id == 291; }
    CSensorRig m_Rig{*GetParam()};
    CTestMediaChain m_Chain;
};

TEST_P(SensorIsp, GainStepReachesTheSensorAfterItsDelayFrames)
{
    const tagSensorKind& k = *GetParam();
    ASSERT_EQ(m_Chain.System(), HI_SUCCESS);
    ASSERT_EQ(k.reg(), 0);
    XIspSimSetManualFrames(TRUE);
    ISP_WDR_MODE_S wdr = {WDR_MODE_NONE};
    ISP_PUB_ATTR_S pub = {{0, 0, 1920, 1080}, 30.0f, BAYER_RGGB};
    const std::string out = XCaptureOut([&] {
        ASSERT_EQ(HI_MPI_ISP_MemInit(0), HI_SUCCESS);
        ASSERT_EQ(HI_MPI_ISP_SetWDRMode(0, &wdr), HI_SUCCESS);
        ASSERT_EQ(HI_MPI_ISP_SetPubAttr(0, &pub), HI_SUCCESS);
        ASSERT_EQ(HI_MPI_ISP_Init(0), HI_SUCCESS);
    });
    EXPECT_NE(out.find("linear mode\n"), std::string::npos);
    EXPECT_NE(out.find(SequenceBanner(k)), std::string::npos);
    EXPECT_EQ(m_Rig.BoardLog(), m_Rig.Golden());

    tagIspSimDefaults def;
    XIspSimDefaults(&def);
    const uint32_t lines = Imx() ? 1133 : 1126;
    EXPECT_TRUE(def.bInit);
    EXPECT_EQ(def.s32ImageMode, 0);
    EXPECT_TRUE(def.bSensorInit);
    EXPECT_EQ(def.s32IspDefault, 0);
    EXPECT_EQ(def.s32BlackLevel, 0);
    EXPECT_EQ(def.s32AeDefault, 0);
    EXPECT_EQ(def.s32AwbDefault, 0);
    EXPECT_EQ(def.stAe.u32LinesPer500ms, lines * 30 / 2) << "the AE defaults went through the 30 fps setting";
    EXPECT_EQ(def.stAe.u32MaxIntTime, lines - 2);
    EXPECT_EQ(def.stBlackLevel.au16BlackLevel[0], Imx() ? 240 : 256);
    EXPECT_EQ(def.stAwb.u16WbRefTemp, Imx() ? 4900 : 5000);
    EXPECT_EQ(def.stIsp.stSensorMaxResolution.u32MaxWidth, 1920u);

    HI_S32 runResult = -1;
    std::thread run([&] { runResult = HI_MPI_ISP_Run(0); });
    for (int i = 0; i < 5000 && !XMediaIspRunning(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(XMediaIspRunning());

    // settle at full integration and 1.5x, then ask for 2x
    const uint32_t maxInt = lines - 2;
    XIspSimSetExposureTarget(uint64_t{maxInt} * 1536);
    EXPECT_EQ(XIspSimStep(20), 20);
    std::vector<tagIspSimFrame> frames = XIspSimFrames();
    ASSERT_EQ(frames.size(), 20u);
    // the first list goes out whole: at once, and a frame later what waits a frame
    EXPECT_EQ(frames[0].writes.size(), Imx() ? 7u : 4u);
    for (uint32_t reg : Imx() ? std::vector<uint32_t>{0x3009} : std::vector<uint32_t>{0x3280, 0x0204, 0x0205, 0x3108, 0x3109}) {
        EXPECT_FALSE(Has(frames[0].writes, reg)) << reg;
        EXPECT_TRUE(Has(frames[1].writes, reg)) << reg;
    }
    EXPECT_EQ(frames.back().u32IntTime, maxInt);
    EXPECT_EQ(frames.back().u32AgainValue, Imx() ? 11u : 9u);
    EXPECT_TRUE(frames.back().writes.empty()) << "a steady exposure writes nothing";
    for (const tagIspSimFrame& f : frames) {
        EXPECT_EQ(f.nWriteErrors, 0);
    }

    XIspSimSetExposureTarget(uint64_t{maxInt} * 2048);
    EXPECT_EQ(XIspSimStep(3), 3);
    frames = XIspSimFrames();
    ASSERT_EQ(frames.size(), 23u);
    const tagIspSimFrame& step = frames[20];
    const tagIspSimFrame& next = frames[21];
    const tagIspSimFrame& after = frames[22];
    EXPECT_EQ(step.u32IntTime, maxInt);
    CI2cModel* bus = CI2cModel::instance();
    if (Imx()) {
        EXPECT_EQ(step.u32Again, 2048u);
        EXPECT_EQ(step.u32AgainValue, 21u);
        EXPECT_EQ(step.writes, (Rows{{0x3014, 0x00}})) << "the gain step at once";
        EXPECT_EQ(next.writes, (Rows{{0x3009, 0x12}})) << "high conversion gain a frame later";
        EXPECT_TRUE(after.writes.empty());
        EXPECT_EQ(bus->Peek(0, 0x34, 0x3014), 0x00u);
        EXPECT_EQ(bus->Peek(0, 0x34, 0x3009), 0x12u);
    } else {
        EXPECT_EQ(step.u32Again, 2043u);
        EXPECT_EQ(step.u32AgainValue, 16u);
        EXPECT_TRUE(step.writes.empty()) << "every gain register waits a frame";
        EXPECT_EQ(next.writes, (Rows{{0x3280, 0x00}, {0x0205, 0x40}}));
        EXPECT_EQ(after.writes, (Rows{{0x3280, 0x30}})) << "the gain held again";
        EXPECT_EQ(bus->Peek(0, 0x6C, 0x0204), 0x01u);
        EXPECT_EQ(bus->Peek(0, 0x6C, 0x0205), 0x40u);
    }

    // Exit ends Run and the sensor's exit closes the driver's descriptor
    ASSERT_EQ(HI_MPI_ISP_Exit(0), HI_SUCCESS);
    run.join();
    EXPECT_EQ(runResult, HI_SUCCESS);
    const ISP_SENSOR_REGISTER_S* isp = nullptr;
    ASSERT_TRUE(XIspSimSensorTables(nullptr, &isp, nullptr, nullptr));
    const std::string closed = XCaptureOut([&] { isp->stSnsExp.pfn_cmos_set_pixel_detect(1); });
    EXPECT_NE(closed.find("CMD_SET_REG_WIDTH error!"), std::string::npos);
    EXPECT_EQ(XIspSimStep(1), 0);
}

INSTANTIATE_TEST_SUITE_P(Drivers, SensorIsp, testing::Values(&XImx291(), &XMn34222()), Name);
