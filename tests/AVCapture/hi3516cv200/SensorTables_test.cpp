// Both sensor drivers through the tables they register with the ISP.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/AVCapture/hi3516cv200/SensorRig.h"

namespace {

class SensorTables : public testing::TestWithParam<const tagSensorKind*> {
protected:
    void SetUp() override { m_Rig.Register(); }
    CSensorRig m_Rig{*GetParam()};
    bool Imx() const { return GetParam()->id == 291; }
};

std::string Name(const testing::TestParamInfo<const tagSensorKind*>& info) { return info.param->name; }

// Frame-length registers of each list, high byte last for the IMX.
uint32_t FrameLength(const ISP_SNS_REGS_INFO_S& r, bool imx)
{
    if (imx) {
        return static_cast<uint32_t>(CSensorRig::Entry(r, 0x3018) | CSensorRig::Entry(r, 0x3019) << 8 |
                                     CSensorRig::Entry(r, 0x301A) << 16);
    }
    return static_cast<uint32_t>(CSensorRig::Entry(r, 0x0340) << 8 | CSensorRig::Entry(r, 0x0341));
}

}  // namespace

TEST_P(SensorTables, FrameRateSetsLinesAndTheAeRecord)
{
    struct Case {
        float fps;
        uint32_t imx;
        uint32_t mn;
    };
    for (const Case& c : {Case{30, 1133, 1126}, Case{25, 1359, 1351}, Case{0.5f, 67980, 65535}}) {
        SCOPED_TRACE(c.fps);
        AE_SENSOR_DEFAULT_S ae;
        memset(&ae, 0, sizeof(ae));
        m_Rig.Ae().pfn_cmos_fps_set(c.fps, &ae);
        const uint32_t lines = Imx() ? c.imx : c.mn;
        EXPECT_EQ(ae.u32FullLinesStd, lines);
        EXPECT_EQ(ae.u32MaxIntTime, lines - 2);
        EXPECT_EQ(ae.u32LinesPer500ms, static_cast<uint32_t>(lines * c.fps / 2));
        EXPECT_EQ(FrameLength(m_Rig.Regs(), Imx()), lines);
    }

    // rates outside 0.5..30 change nothing
    AE_SENSOR_DEFAULT_S before;
    memset(&before, 0, sizeof(before));
    m_Rig.Ae().pfn_cmos_fps_set(30, &before);
    const ISP_SNS_REGS_INFO_S regs = m_Rig.Regs();
    for (float fps : {0.4f, 31.0f}) {
        AE_SENSOR_DEFAULT_S ae = before;
        const std::string out = XCaptureOut([&] { m_Rig.Ae().pfn_cmos_fps_set(fps, &ae); });
        char line[64];
        snprintf(line, sizeof(line), "Not support Fps: %f\n", static_cast<double>(fps));
        EXPECT_EQ(out, line);
        EXPECT_EQ(0, memcmp(&ae, &before, sizeof(ae)));
        const ISP_SNS_REGS_INFO_S now = m_Rig.Regs();
        EXPECT_TRUE(CSensorRig::Marked(now).empty()) << "a refused rate touched the list";
        EXPECT_EQ(FrameLength(now, Imx()), FrameLength(regs, Imx()));
    }
}

TEST_P(SensorTables, SlowFrameRateClampsToTheFrameLengthField)
{
    AE_SENSOR_DEFAULT_S ae;
    memset(&ae, 0, sizeof(ae));
    const uint32_t max = Imx() ? 0x3FFFF : 0xFFFF;
    m_Rig.Ae().pfn_cmos_slow_framerate_set(max + 1, &ae);
    EXPECT_EQ(FrameLength(m_Rig.Regs(), Imx()), max);
    EXPECT_EQ(ae.u32MaxIntTime, max - 2);
    m_Rig.Ae().pfn_cmos_slow_framerate_set(2266, &ae);
    EXPECT_EQ(FrameLength(m_Rig.Regs(), Imx()), 2266u);
    EXPECT_EQ(ae.u32MaxIntTime, 2264u);
    if (!Imx()) {
        EXPECT_EQ(ae.u32FullLines, 2266u);
    }
}

TEST_P(SensorTables, MissingRecordsPrintTheirLineAndFail)
{
    struct Case {
        const char* line;
        std::function<HI_S32()> call;
    };
    const ISP_SENSOR_EXP_FUNC_S& isp = m_Rig.Isp();
    const std::vector<Case> cases = {
        {"null pointer when set image mode\n", [&] { return isp.pfn_cmos_set_image_mode(nullptr); }},
        {"null pointer when get isp default value!\n", [&] { return isp.pfn_cmos_get_isp_default(nullptr); }},
        {"null pointer when get isp black level value!\n", [&] { return isp.pfn_cmos_get_isp_black_level(nullptr); }},
        {"null pointer when get sns reg info!\n", [&] { return isp.pfn_cmos_get_sns_reg_info(nullptr); }},
        {"null pointer when get ae default value!\n", [&] { return m_Rig.Ae().pfn_cmos_get_ae_default(nullptr); }},
        {"null pointer when get awb default value!\n", [&] { return m_Rig.Awb().pfn_cmos_get_awb_default(nullptr); }},
    };
    for (const Case& c : cases) {
        HI_S32 r = 0;
        EXPECT_EQ(XCaptureOut([&] { r = c.call(); }), c.line);
        EXPECT_EQ(r, -1) << c.line;
    }
    // the failed list request built the list all the same: nothing is left to mark
    EXPECT_TRUE(CSensorRig::Marked(m_Rig.Regs()).empty());
}

TEST_P(SensorTables, UpdateMarks)
{
    AE_SENSOR_DEFAULT_S ae;
    memset(&ae, 0, sizeof(ae));
    m_Rig.Ae().pfn_cmos_fps_set(30, &ae);
    EXPECT_EQ(XCaptureOut([&] { m_Rig.Isp().pfn_cmos_set_wdr_mode(WDR_MODE_NONE); }), "linear mode\n");
    m_Rig.Ae().pfn_cmos_inttime_update(1);
    ISP_SNS_REGS_INFO_S r = m_Rig.Regs();
    EXPECT_EQ(r.enSnsType, ISP_SNS_I2C_TYPE);
    EXPECT_EQ(r.u8Cfg2ValidDelayMax, 2);
    EXPECT_EQ(r.u32RegNum, Imx() ? 8u : 9u);
    EXPECT_EQ(CSensorRig::Marked(r).size(), r.u32RegNum) << "all after a WDR call";
    for (HI_U32 i = 0; i < r.u32RegNum; ++i) {
        EXPECT_EQ(r.astI2cData[i].u8DevAddr, GetParam()->slave);
        EXPECT_EQ(r.astI2cData[i].u32AddrByteNum, 2u);
        EXPECT_EQ(r.astI2cData[i].u32DataByteNum, 1u);
    }
    EXPECT_TRUE(CSensorRig::Marked(m_Rig.Regs()).empty()) << "none on a repeat";
    m_Rig.Ae().pfn_cmos_inttime_update(2);
    EXPECT_EQ(CSensorRig::Marked(m_Rig.Regs()), std::vector<int>{Imx() ? 0 : 1}) << "only the changed byte";

    // the registers and delays of the list, in order
    std::vector<std::pair<uint32_t, int>> want;
    if (Imx()) {
        want = {{0x3020, 0}, {0x3021, 0}, {0x3022, 0}, {0x3014, 0}, {0x3009, 1}, {0x3018, 0}, {0x3019, 0}, {0x301A, 0}};
    } else {
        want = {{0x0202, 0}, {0x0203, 0}, {0x3280, 1}, {0x0204, 1}, {0x0205, 1},
                {0x3108, 1}, {0x3109, 1}, {0x0340, 0}, {0x0341, 0}};
    }
    std::vector<std::pair<uint32_t, int>> got;
    for (HI_U32 i = 0; i < r.u32RegNum; ++i) {
        got.emplace_back(r.astI2cData[i].u32RegAddr, r.astI2cData[i].u8DelayFrmNum);
    }
    EXPECT_EQ(got, want);

    // an unsupported WDR mode is refused but still rebuilds the list
    EXPECT_EQ(XCaptureOut([&] { m_Rig.Isp().pfn_cmos_set_wdr_mode(WDR_MODE_2To1_LINE); }), "NOT support this mode!\n");
    EXPECT_EQ(CSensorRig::Marked(m_Rig.Regs()).size(), r.u32RegNum);
}

TEST_P(SensorTables, DefaultsHandedToTheIsp)
{
    AE_SENSOR_DEFAULT_S ae;
    memset(&ae, 0xA5, sizeof(ae));
    ASSERT_EQ(m_Rig.Ae().pfn_cmos_get_ae_default(&ae), 0);
    EXPECT_EQ(ae.u32FullLinesStd, Imx() ? 1133u : 1126u);
    EXPECT_EQ(ae.u32MaxIntTime, Imx() ? 1131u : 1124u);
    EXPECT_EQ(ae.u32MinIntTime, Imx() ? 1u : 2u);
    EXPECT_EQ(ae.u32FullLinesMax, Imx() ? 0x3FFFFu : 0xFFFFu);
    EXPECT_EQ(ae.u32LinesPer500ms, Imx() ? 0u : 1126u * 30 / 2);
    EXPECT_EQ(ae.u8AeCompensation, 56);
    EXPECT_EQ(std::vector<int>(ae.au8HistThresh, ae.au8HistThresh + 4), (std::vector<int>{13, 40, 96, 128}));
    EXPECT_EQ(ae.stAgainAccu.enAccuType, AE_ACCURACY_TABLE);
    EXPECT_EQ(ae.u32MinAgain, 1024u);
    EXPECT_EQ(ae.u32MaxAgain, Imx() ? 8153234u : 32382u);
    EXPECT_EQ(ae.stDgainAccu.enAccuType, Imx() ? AE_ACCURACY_LINEAR : AE_ACCURACY_TABLE);
    EXPECT_EQ(ae.u32MaxDgain, Imx() ? 1u : 32382u);
    EXPECT_EQ(ae.u32MaxISPDgainTarget, Imx() ? 0x10000u : 2048u);
    EXPECT_FLOAT_EQ(ae.stIntTimeAccu.f32Offset, Imx() ? 0.0f : 0.8045f);
    EXPECT_EQ(ae.enIrisType, ISP_IRIS_DC_TYPE);
    EXPECT_EQ(ae.enMaxIrisFNO, ISP_IRIS_F_NO_1_4);
    EXPECT_EQ(ae.enMinIrisFNO, ISP_IRIS_F_NO_5_6);
    if (Imx()) {
        EXPECT_EQ(ae.u8AERunInterval, 1);
    } else {
        EXPECT_EQ(ae.stAERouteAttr.u32TotalNum, 0u);
        EXPECT_EQ(ae.u8AERunInterval, 0xA5) << "left as it was";
    }

    AWB_SENSOR_DEFAULT_S awb;
    ASSERT_EQ(m_Rig.Awb().pfn_cmos_get_awb_default(&awb), 0);
    EXPECT_EQ(awb.u16WbRefTemp, Imx() ? 4900 : 5000);
    EXPECT_EQ(awb.as32WbPara[3], Imx() ? 190509 : 201958);
    EXPECT_EQ(awb.as32WbPara[5], Imx() ? -141264 : -152540);
    EXPECT_EQ(awb.stCcm.u16HighColorTemp, Imx() ? 5291 : 5120);
    EXPECT_EQ(awb.stCcm.au16HighCCM[1], 0x8000 | (Imx() ? 178 : 248)) << "sign-magnitude";
    EXPECT_EQ(awb.stCcm.au16LowCCM[2], Imx() ? 0x8000 | 86 : 17);
    EXPECT_TRUE(awb.stAgcTbl.bValid);
    EXPECT_EQ(awb.stAgcTbl.au8Saturation[0], Imx() ? 128 : 124);
    EXPECT_EQ(awb.stAgcTbl.au8Saturation[15], 56);

    ISP_CMOS_DEFAULT_S isp;
    memset(&isp, 0xA5, sizeof(isp));
    ASSERT_EQ(m_Rig.Isp().pfn_cmos_get_isp_default(&isp), 0);
    EXPECT_EQ(isp.stNoiseTbl.stNrCaliPara.u8CalicoefRow, Imx() ? 7 : 9);
    ASSERT_NE(isp.stNoiseTbl.stNrCaliPara.pCalibcoef, nullptr);
    EXPECT_EQ(isp.stSensorMaxResolution.u32MaxWidth, 1920u);
    EXPECT_EQ(isp.stSensorMaxResolution.u32MaxHeight, 1080u);
    ISP_CMOS_GE_S noGe;
    memset(&noGe, 0, sizeof(noGe));
    ISP_CMOS_RGBIR_S noRgbir;
    memset(&noRgbir, 0, sizeof(noRgbir));
    EXPECT_EQ(memcmp(&isp.stGe, &noGe, sizeof(noGe)) != 0, Imx()) << "GE block only on the IMX";
    EXPECT_EQ(memcmp(&isp.stRgbir, &noRgbir, sizeof(noRgbir)) != 0, !Imx()) << "RGB-IR block only on the MN";

    ISP_CMOS_BLACK_LEVEL_S black;
    memset(&black, 0xA5, sizeof(black));
    ASSERT_EQ(m_Rig.Isp().pfn_cmos_get_isp_black_level(&black), 0);
    EXPECT_FALSE(black.bUpdate);
    for (HI_U16 level : black.au16BlackLevel) {
        EXPECT_EQ(level, Imx() ? 240 : 256);
    }
}

TEST_P(SensorTables, SlotsFilledAsTheDriverOffers)
{
    const ISP_SENSOR_EXP_FUNC_S& isp = m_Rig.Isp();
    for (const void* slot : {reinterpret_cast<const void*>(isp.pfn_cmos_sensor_init),
                             reinterpret_cast<const void*>(isp.pfn_cmos_sensor_exit),
                             reinterpret_cast<const void*>(isp.pfn_cmos_sensor_global_init),
                             reinterpret_cast<const void*>(isp.pfn_cmos_set_image_mode),
                             reinterpret_cast<const void*>(isp.pfn_cmos_set_wdr_mode),
                             reinterpret_cast<const void*>(isp.pfn_cmos_get_isp_default),
                             reinterpret_cast<const void*>(isp.pfn_cmos_get_isp_black_level),
                             reinterpret_cast<const void*>(isp.pfn_cmos_set_pixel_detect),
                             reinterpret_cast<const void*>(isp.pfn_cmos_get_sns_reg_info)}) {
        EXPECT_NE(slot, nullptr);
    }
    const AE_SENSOR_EXP_FUNC_S& ae = m_Rig.Ae();
    EXPECT_NE(ae.pfn_cmos_again_calc_table, nullptr);
    EXPECT_EQ(ae.pfn_cmos_dgain_calc_table == nullptr, Imx()) << "the IMX leaves the digital-gain lookup empty";
    EXPECT_EQ(ae.pfn_cmos_get_inttime_max == nullptr, Imx());
    if (!Imx()) {
        EXPECT_EQ(XCaptureOut([&] { ae.pfn_cmos_get_inttime_max(1, nullptr); }),
                  "null pointer when get ae sensor IntTimeMax value!\n");
        HI_U32 max = 77;
        EXPECT_EQ(XCaptureOut([&] { ae.pfn_cmos_get_inttime_max(1, &max); }), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, SensorTables, testing::Values(&XImx291(), &XMn34222()), Name);

// ---- what differs between the two drivers ----

class Imx291Tables : public testing::Test {
protected:
    void SetUp() override { m_Rig.Register(); }
    CSensorRig m_Rig{XImx291()};
};

TEST_F(Imx291Tables, GainLookupAndUpdate)
{
    struct Case {
        HI_U32 want;
        HI_U32 lin;
        HI_U32 index;
    };
    for (const Case& c : {Case{1023, 1024, 0}, Case{1024, 1024, 0}, Case{1059, 1059, 1}, Case{2047, 2043, 20},
                          Case{2048, 2048, 21}, Case{2119, 2119, 22}, Case{8153233, 7876439, 260},
                          Case{8153234, 8153234, 261}, Case{9000000, 8153234, 261}}) {
        HI_U32 lin = c.want;
        HI_U32 index = 999;
        m_Rig.Ae().pfn_cmos_again_calc_table(&lin, &index);
        EXPECT_EQ(lin, c.lin) << c.want;
        EXPECT_EQ(index, c.index) << c.want;
    }
    struct Update {
        HI_U32 index;
        int64_t gain;
        int64_t hcg;
    };
    for (const Update& u : {Update{0, 0, 0x02}, Update{20, 20, 0x02}, Update{21, 0, 0x12}, Update{261, 240, 0x12},
                            Update{262, 240, 0x12}, Update{100000, 240, 0x12}}) {
        m_Rig.Ae().pfn_cmos_gains_update(u.index, 1);
        const ISP_SNS_REGS_INFO_S r = m_Rig.Regs();
        EXPECT_EQ(CSensorRig::Entry(r, 0x3014), u.gain) << u.index;
        EXPECT_EQ(CSensorRig::Entry(r, 0x3009), u.hcg) << u.index;
    }
}

TEST_F(Imx291Tables, IntegrationTimeNeverWraps)
{
    AE_SENSOR_DEFAULT_S ae;
    memset(&ae, 0, sizeof(ae));
    m_Rig.Ae().pfn_cmos_fps_set(30, &ae);
    struct Case {
        HI_U32 t;
        int64_t low, mid, high;
    };
    for (const Case& c : {Case{1, 0x6B, 0x04, 0x00}, Case{1131, 0x01, 0, 0}, Case{1132, 0, 0, 0}, Case{1133, 0, 0, 0},
                          Case{0xFFFFFFFF, 0, 0, 0}}) {
        m_Rig.Ae().pfn_cmos_inttime_update(c.t);
        const ISP_SNS_REGS_INFO_S r = m_Rig.Regs();
        EXPECT_EQ(CSensorRig::Entry(r, 0x3020), c.low) << c.t;
        EXPECT_EQ(CSensorRig::Entry(r, 0x3021), c.mid) << c.t;
        EXPECT_EQ(CSensorRig::Entry(r, 0x3022), c.high) << c.t;
    }
    // the 18-bit shutter over a long frame
    m_Rig.Ae().pfn_cmos_slow_framerate_set(0x3FFFF, &ae);
    m_Rig.Ae().pfn_cmos_inttime_update(1);
    const ISP_SNS_REGS_INFO_S r = m_Rig.Regs();
    EXPECT_EQ(CSensorRig::Entry(r, 0x3020), 0xFD);
    EXPECT_EQ(CSensorRig::Entry(r, 0x3021), 0xFF);
    EXPECT_EQ(CSensorRig::Entry(r, 0x3022), 0x03);
}

TEST_F(Imx291Tables, ImageModeTable)
{
    struct Case {
        int w, h;
        float fps;
        HI_S32 result;
    };
    for (const Case& c : {Case{1280, 720, 30, -1}, Case{1920, 1080, 31, -1}, Case{1921, 1080, 30, -1},
                          Case{1920, 1081, 30, -1}, Case{1280, 721, 30, 0}, Case{1920, 1080, 30, 0},
                          Case{1920, 1080, 25, 0}}) {
        std::string out = XCaptureOut([&] { EXPECT_EQ(m_Rig.ImageMode(c.w, c.h, c.fps), c.result) << c.w << "x" << c.h; });
        if (c.result != 0) {
            char line[128];
            snprintf(line, sizeof(line), "Not support! Width:%d, Height:%d, Fps:%f, WDRMode:%d\n", c.w, c.h,
                     static_cast<double>(c.fps), 0);
            EXPECT_EQ(out, line);
        } else {
            EXPECT_EQ(out, "");
        }
    }
    // every call rebuilds the list
    m_Rig.Regs();
    m_Rig.ImageMode(1280, 720, 30);
    EXPECT_EQ(CSensorRig::Marked(m_Rig.Regs()).size(), 8u);
}

class Mn34222Tables : public testing::Test {
protected:
    void SetUp() override { m_Rig.Register(); }
    CSensorRig m_Rig{XMn34222()};
};

TEST_F(Mn34222Tables, GainLookupAndUpdate)
{
    for (auto lookup : {m_Rig.Ae().pfn_cmos_again_calc_table, m_Rig.Ae().pfn_cmos_dgain_calc_table}) {
        struct Case {
            HI_U32 want, lin, index;
        };
        for (const Case& c : {Case{1000, 1024, 0}, Case{1070, 1070, 1}, Case{2048, 2043, 16}, Case{32381, 31031, 79},
                              Case{32382, 32382, 80}, Case{4000000, 32382, 80}}) {
            HI_U32 lin = c.want;
            HI_U32 index = 999;
            lookup(&lin, &index);
            EXPECT_EQ(lin, c.lin) << c.want;
            EXPECT_EQ(index, c.index) << c.want;
        }
        HI_U32 lin = 5000;
        EXPECT_EQ(XCaptureOut([&] { lookup(&lin, nullptr); }), "null pointer when get ae sensor gain info  value!\n");
        EXPECT_EQ(lin, 5000u);
    }

    // register value (index + 64) x 4; 0x3280 holds 0x30 only while the analog gain stays
    struct Update {
        HI_U32 again, dgain;
        int64_t hold, ahigh, alow, dhigh, dlow;
    };
    for (const Update& u : {Update{0, 0, 0x00, 0x01, 0x00, 0x01, 0x00}, Update{0, 5, 0x30, 0x01, 0x00, 0x01, 0x14},
                            Update{80, 80, 0x00, 0x02, 0x40, 0x02, 0x40}, Update{80, 0, 0x30, 0x02, 0x40, 0x01, 0x00},
                            Update{500, 900, 0x30, 0x02, 0x40, 0x02, 0x40}}) {
        m_Rig.Ae().pfn_cmos_gains_update(u.again, u.dgain);
        const ISP_SNS_REGS_INFO_S r = m_Rig.Regs();
        EXPECT_EQ(CSensorRig::Entry(r, 0x3280), u.hold) << u.again;
        EXPECT_EQ(CSensorRig::Entry(r, 0x0204), u.ahigh) << u.again;
        EXPECT_EQ(CSensorRig::Entry(r, 0x0205), u.alow) << u.again;
        EXPECT_EQ(CSensorRig::Entry(r, 0x3108), u.dhigh) << u.dgain;
        EXPECT_EQ(CSensorRig::Entry(r, 0x3109), u.dlow) << u.dgain;
    }
}

TEST_F(Mn34222Tables, IntegrationTimeAndImageMode)
{
    m_Rig.Ae().pfn_cmos_inttime_update(0x0463);
    ISP_SNS_REGS_INFO_S r = m_Rig.Regs();
    EXPECT_EQ(CSensorRig::Entry(r, 0x0202), 0x04);
    EXPECT_EQ(CSensorRig::Entry(r, 0x0203), 0x63);

    struct Case {
        int w, h;
        float fps;
        HI_S32 result;
    };
    for (const Case& c : {Case{1280, 720, 30, 0}, Case{1920, 1080, 30, 0}, Case{640, 480, 15, 0},
                          Case{1920, 1080, 31, -1}, Case{1921, 1080, 30, -1}, Case{1920, 1088, 30, -1}}) {
        std::string out = XCaptureOut([&] { EXPECT_EQ(m_Rig.ImageMode(c.w, c.h, c.fps), c.result) << c.w << "x" << c.h; });
        EXPECT_EQ(out.rfind("Not support! Width:", 0) == 0, c.result != 0) << out;
    }
    // a refused WDR mode leaves the sensor linear, and the mode stays selectable
    EXPECT_EQ(XCaptureOut([&] { m_Rig.Isp().pfn_cmos_set_wdr_mode(WDR_MODE_BUILT_IN); }), "NOT support this mode!\n");
    EXPECT_EQ(m_Rig.ImageMode(1920, 1080, 30), 0);
}

// ---- registration ----

class SensorRegistration : public testing::TestWithParam<const tagSensorKind*> {
protected:
    CSensorRig m_Rig{*GetParam()};
};

TEST_P(SensorRegistration, StopsAtTheFirstFailingStep)
{
    const HI_S32 code = static_cast<HI_S32>(0xA0118006u);
    struct Case {
        const char* func;
        const char* line;
        bool ae, awb;
    };
    for (const Case& c : {Case{"HI_MPI_ISP_SensorRegCallBack", "sensor register callback function failed!\n", false, false},
                          Case{"HI_MPI_AE_SensorRegCallBack", "sensor register callback function to ae lib failed!\n",
                               false, false},
                          Case{"HI_MPI_AWB_SensorRegCallBack",
                               "sensor register callback function to awb lib failed!\n", true, false}}) {
        SCOPED_TRACE(c.func);
        XMediaSimReset();
        XMediaSimFail(c.func, code, -1, 1);
        HI_S32 r = 0;
        EXPECT_EQ(XCaptureOut([&] { r = GetParam()->reg(); }), c.line);
        EXPECT_EQ(r, code);
        const AE_SENSOR_REGISTER_S* ae = nullptr;
        const AWB_SENSOR_REGISTER_S* awb = nullptr;
        XIspSimSensorTables(nullptr, nullptr, &ae, &awb);
        EXPECT_EQ(ae != nullptr, c.ae);
        EXPECT_EQ(awb != nullptr, c.awb) << "no AWB table after a failed step";
    }

    XMediaSimReset();
    EXPECT_EQ(XCaptureOut([&] { EXPECT_EQ(GetParam()->reg(), 0); }), "");
    EXPECT_EQ(GetParam()->unreg(), 0);
    HI_U32 id = 0;
    EXPECT_FALSE(XIspSimSensorTables(&id, nullptr, nullptr, nullptr));
    // unregistering what is not there names the step
    HI_S32 r = 0;
    EXPECT_EQ(XCaptureOut([&] { r = GetParam()->unreg(); }), "sensor unregister callback function failed!\n");
    EXPECT_NE(r, 0);
    ASSERT_EQ(GetParam()->reg(), 0);
    XMediaSimFail("HI_MPI_AE_SensorUnRegCallBack", code, -1, 1);
    EXPECT_EQ(XCaptureOut([&] { r = GetParam()->unreg(); }), "sensor unregister callback function to ae lib failed!\n");
    EXPECT_EQ(r, code);
}

INSTANTIATE_TEST_SUITE_P(Drivers, SensorRegistration, testing::Values(&XImx291(), &XMn34222()), Name);

// ---- both drivers in one program ----

TEST(SensorDrivers, EachDriverKeepsItsOwnState)
{
    const AE_SENSOR_REGISTER_S* imx = nullptr;
    const ISP_SENSOR_REGISTER_S* imxIsp = nullptr;
    {
        CSensorRig rig(XImx291());
        rig.Register();
        ASSERT_TRUE(XIspSimSensorTables(nullptr, &imxIsp, &imx, nullptr));
    }
    CSensorRig rig(XMn34222());
    rig.Register();
    AE_SENSOR_DEFAULT_S a;
    memset(&a, 0, sizeof(a));
    imx->stSnsExp.pfn_cmos_fps_set(25, &a);
    rig.Ae().pfn_cmos_fps_set(30, &a);
    rig.Isp().pfn_cmos_sensor_global_init();
    ISP_SNS_REGS_INFO_S r;
    memset(&r, 0, sizeof(r));
    ASSERT_EQ(imxIsp->stSnsExp.pfn_cmos_get_sns_reg_info(&r), 0);
    EXPECT_EQ(r.u32RegNum, 8u);
    EXPECT_EQ(CSensorRig::Entry(r, 0x3018) | CSensorRig::Entry(r, 0x3019) << 8, 1359) << "the IMX's own lines";
    EXPECT_EQ(r.astI2cData[0].u8DevAddr, 0x34);
    EXPECT_EQ(rig.Regs().u32RegNum, 9u);
}

TEST(SensorDrivers, ExportOnlyRegistrationAndTheirWrite)
{
    struct Case {
        const char* object;
        std::vector<std::string> names;
    };
    const std::string dir = std::string(DASHCAM_BINARY_DIR) + "/CMakeFiles/dashcam_core.dir/AVCapture/hi3516cv200/";
    for (const Case& c : {Case{"sony_imx291/imx291_cmos.cpp.o",
                               {"imx291_sensor_write_register(int, int)", "sensor_register_callback_imx291()",
                                "sensor_unregister_callback_imx291()"}},
                          Case{"panasonic_mn34222/mn34222_cmos.cpp.o",
                               {"sensor_register_callback_mn34222()", "sensor_unregister_callback_mn34222()",
                                "sensor_write_register(int, int)"}}}) {
        int status = -1;
        const std::string out =
            XTestRun("nm -C -g --defined-only '" + dir + c.object + "' | cut -d' ' -f3- | LC_ALL=C sort", &status);
        ASSERT_EQ(status, 0) << c.object;
        std::vector<std::string> names;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) {
            names.push_back(line);
        }
        EXPECT_EQ(names, c.names) << c.object;
    }
}
