// Dynamic ISP tuning on the simulated ISP: injected exposure and statistics
// in, the stand-in's records and set log checked, for both strategies.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "AVCapture/hi3516cv200/ISPTuning.h"
#include "AVCapture/hi3516cv200/Imx291Tuning.h"
#include "AVCapture/hi3516cv200/MN34227Tuning.h"
#include "Platform/TuningSim.h"
#include "Platform/MediaSim.h"
#include "Platform/MpiVpss.h"
#include "tests/Platform/MediaChain.h"

namespace {

typedef HI_U8 Weights[AE_ZONE_ROW][AE_ZONE_COLUMN];

// What the tests expect of each strategy.
struct SensorCase {
    const char* name;
    std::function<CISPTuning*()> make;
    int dns3d[8][3];
    HI_U32 ceiling[7];
    HI_U32 initCeiling;
    int candidates;
    bool mn;
};

const SensorCase kSensors[] = {
    {"imx291",
     [] { return new CImx291Tuning; },
     {{88, 48, 0}, {100, 72, 0}, {120, 88, 8}, {132, 90, 32}, {156, 96, 48}, {160, 98, 56}, {168, 104, 64}, {0, 0, 0}},
     {3099, 3321, 3559, 3813, 4086, 4229, 4591},
     3015,
     8,
     false},
    {"mn34227",
     [] { return new CMN34227Tuning; },
     {{88, 64, 0}, {100, 72, 0}, {120, 88, 0}, {140, 100, 16}, {150, 100, 32}, {158, 104, 48}, {168, 104, 56},
      {172, 108, 64}},
     {3015, 3583, 3907, 4259, 4643, 5062, 5282},
     3287,
     7,
     true},
};

ISP_STATISTICS_S Uniform(HI_U16 v)
{
    ISP_STATISTICS_S st;
    memset(&st, 0, sizeof(st));
    for (auto& row : st.stAEStat.au16ZoneAvg) {
        for (auto& zone : row) {
            for (HI_U16& c : zone) {
                c = v;
            }
        }
    }
    for (HI_U16& c : st.stAEStat.au16GlobalAvg) {
        c = v;
    }
    return st;
}

void SetZone(ISP_STATISTICS_S* st, int row, int col, HI_U16 v)
{
    for (HI_U16& c : st->stAEStat.au16ZoneAvg[row][col]) {
        c = v;
    }
}

void Exposure(HI_U32 gain, HI_U8 lum = 0)
{
    ISP_EXP_INFO_S info;
    memset(&info, 0, sizeof(info));
    info.u32AGain = gain;
    info.u8AveLum = lum;
    info.u32ExpTime = gain / 2;
    XTuningSimInjectExposure(info);
}

size_t Count(const char* func) { return XTuningSimSets(func).size(); }

std::vector<HI_U32> Ceilings()
{
    std::vector<HI_U32> out;
    for (const TuningSimSet& s : XTuningSimSets("HI_MPI_ISP_SetExposureAttr")) {
        out.push_back(s.As<ISP_EXPOSURE_ATTR_S>().stAuto.stSysGainRange.u32Max);
    }
    return out;
}

// The base table with weight 12 on the cross of each zone.
void ExpectWeights(const Weights& got, const Weights& base, const std::vector<std::pair<int, int>>& zones)
{
    Weights want;
    memcpy(want, base, sizeof(want));
    for (const auto& z : zones) {
        const int r = z.first;
        const int c = z.second;
        want[r][c] = 12;
        if (r > 0) want[r - 1][c] = 12;
        if (r < 14) want[r + 1][c] = 12;
        if (c > 0) want[r][c - 1] = 12;
        if (c < 16) want[r][c + 1] = 12;
    }
    for (int r = 0; r < AE_ZONE_ROW; ++r) {
        for (int c = 0; c < AE_ZONE_COLUMN; ++c) {
            EXPECT_EQ(got[r][c], want[r][c]) << "zone " << r << "," << c;
        }
    }
}

class ISPTuningTest : public ::testing::TestWithParam<SensorCase> {
protected:
    void SetUp() override
    {
        ASSERT_EQ(m_Chain.System(), HI_SUCCESS);
        ASSERT_EQ(m_Chain.Group({{1920, 1080}}), HI_SUCCESS);
        CImx291Tuning::ResetStepState();
        CMN34227Tuning::ResetStepState();
        XTuningSimClearSets();
        XTuningSimInjectStatistics(Uniform(0));
        Exposure(1024);
        m_Tuning.reset(GetParam().make());
    }
    void TearDown() override
    {
        CImx291Tuning::ResetStepState();
        CMN34227Tuning::ResetStepState();
    }

    void Step(bool reverse = false, ISP_AE_STRATEGY_E strategy = AE_EXP_HIGHLIGHT_PRIOR)
    {
        m_Tuning->ISPTuning(reverse, strategy, false);
    }

    const SensorCase& P() const { return GetParam(); }

    CTestMediaChain m_Chain;
    std::unique_ptr<CISPTuning> m_Tuning;
};

std::string Name(const ::testing::TestParamInfo<SensorCase>& info) { return info.param.name; }

void PrintTo(const SensorCase& c, std::ostream* os) { *os << c.name; }

}  // namespace

INSTANTIATE_TEST_SUITE_P(Sensors, ISPTuningTest, ::testing::ValuesIn(kSensors), Name);

TEST_P(ISPTuningTest, NoiseReductionLevelByGainAppliedOnChange)
{
    struct Row {
        HI_U32 gain;
        int level;
        size_t sets;
    };
    const Row rows[] = {{999, 0, 1}, {1000, 1, 2}, {1999, 1, 2}, {7999, 7, 3}, {9000, 7, 3}};
    for (const Row& r : rows) {
        Exposure(r.gain);
        Step();
        EXPECT_EQ(Count("HI_MPI_VPSS_SetNRParam"), r.sets) << "gain " << r.gain;
        VPSS_NR_PARAM_S nr;
        ASSERT_EQ(HI_MPI_VPSS_GetNRParam(0, &nr), HI_SUCCESS);
        EXPECT_EQ(nr.s32YSFStr, P().dns3d[r.level][0]) << "gain " << r.gain;
        EXPECT_EQ(nr.s32YTFStr, P().dns3d[r.level][1]) << "gain " << r.gain;
        EXPECT_EQ(nr.s32YSmthStr, P().dns3d[r.level][2]) << "gain " << r.gain;
        EXPECT_EQ(nr.s32TFStrMax, 12) << "the other strengths stay as read";
    }

    // a failed set still counts as applied: printed, not retried
    XMediaSimFail("HI_MPI_VPSS_SetNRParam", static_cast<HI_S32>(0xA0078012u), -1, 1);
    Exposure(3000);
    testing::internal::CaptureStderr();
    Step();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("HI_MPI_VPSS_SetNRParam failed width 0xa0078012\n"), std::string::npos) << err;
    Step();
    EXPECT_EQ(Count("HI_MPI_VPSS_SetNRParam"), 3u) << "an injected failure ends the call before its log";
    VPSS_NR_PARAM_S nr;
    ASSERT_EQ(HI_MPI_VPSS_GetNRParam(0, &nr), HI_SUCCESS);
    EXPECT_EQ(nr.s32YSFStr, P().dns3d[7][0]);
}

TEST_P(ISPTuningTest, GammaBandsKeepTheCurveBetweenThem)
{
    struct Row {
        HI_U32 gain;
        bool set;
        const ISP_GAMMA_ATTR_S* curve;
    };
    const Row rows[] = {
        {1000, true, &gamma_bright},  {1800, false, &gamma_bright},      {3000, true, &gamma_mid_contrast},
        {1800, false, &gamma_mid_contrast}, {1535, true, &gamma_bright}, {1536, false, &gamma_bright},
        {2048, false, &gamma_bright}, {2049, true, &gamma_mid_contrast},
    };
    size_t sets = 0;
    for (const Row& r : rows) {
        Exposure(r.gain);
        Step();
        sets += r.set ? 1 : 0;
        EXPECT_EQ(Count("HI_MPI_ISP_SetGammaAttr"), sets) << "gain " << r.gain;
        ISP_GAMMA_ATTR_S g;
        ASSERT_EQ(HI_MPI_ISP_GetGammaAttr(0, &g), HI_SUCCESS);
        EXPECT_EQ(memcmp(&g, r.curve, sizeof(g)), 0) << "gain " << r.gain;
    }
}

TEST_P(ISPTuningTest, DynamicContrastAboveTheThresholdEveryStep)
{
    Exposure(2044);
    Step();
    VI_DCI_PARAM_S d;
    ASSERT_EQ(HI_MPI_VI_GetDCIParam(0, &d), HI_SUCCESS);
    EXPECT_EQ(d.bEnable, 1);
    EXPECT_EQ(d.u32BlackGain, 40u);
    EXPECT_EQ(d.u32ContrastGain, 40u);
    EXPECT_EQ(d.u32LightGain, 40u);

    Exposure(2043);
    Step();
    ASSERT_EQ(HI_MPI_VI_GetDCIParam(0, &d), HI_SUCCESS);
    EXPECT_EQ(d.bEnable, 0);
    const HI_U32 off = P().mn ? 32u : 40u;  // IMX leaves the gains as they were
    EXPECT_EQ(d.u32BlackGain, off);
    EXPECT_EQ(d.u32ContrastGain, off);
    EXPECT_EQ(d.u32LightGain, off);
    Step();
    EXPECT_EQ(Count("HI_MPI_VI_SetDCIParam"), 3u);
}

TEST_P(ISPTuningTest, ZoneMeteringWeighsTheBrightestZones)
{
    const int n = P().candidates;
    std::vector<std::pair<int, int>> seeds;
    for (int i = 0; i < n; ++i) {
        seeds.emplace_back(i, i);
    }
    ISP_STATISTICS_S outside = Uniform(0);
    SetZone(&outside, 2, 5, 200);   // rows 0-2 and 12-14 are never measured
    SetZone(&outside, 12, 5, 200);
    SetZone(&outside, 0, 0, 200);
    ISP_STATISTICS_S edges = Uniform(0);
    SetZone(&edges, 3, 16, 10);     // luma 15.9: above every seed
    SetZone(&edges, 11, 0, 10);
    std::vector<std::pair<int, int>> edgeZones(seeds.begin() + 2, seeds.end());
    edgeZones.emplace_back(3, 16);
    edgeZones.emplace_back(11, 0);

    struct Case {
        const char* what;
        ISP_STATISTICS_S stat;
        bool reverse;
        std::vector<std::pair<int, int>> zones;
    };
    const Case cases[] = {
        {"all black keeps the seeds", Uniform(0), false, seeds},
        {"outside the measured rows", outside, false, seeds},
        {"zones at the table's edges", edges, false, edgeZones},
        {"reverse table", Uniform(0), true, seeds},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CImx291Tuning::ResetStepState();
        CMN34227Tuning::ResetStepState();
        XTuningSimClearSets();
        XTuningSimInjectStatistics(c.stat);
        Step(c.reverse);
        // dark: the ceiling rises and carries this step's weights
        const auto sets = XTuningSimSets("HI_MPI_ISP_SetExposureAttr");
        ASSERT_EQ(sets.size(), 3u);
        const Weights& base = c.reverse ? u8AEWeight_reverse : u8AEWeight_normal;
        ExpectWeights(sets[0].As<ISP_EXPOSURE_ATTR_S>().stAuto.au8Weight, base, {});
        ExpectWeights(sets[2].As<ISP_EXPOSURE_ATTR_S>().stAuto.au8Weight, base, c.zones);
    }
}

TEST_P(ISPTuningTest, CeilingClimbsInTheDarkAndFallsInBrightScenes)
{
    const HI_U32* t = P().ceiling;
    // dark: one level a step up to 6
    for (int i = 0; i < 8; ++i) {
        Step();
    }
    std::vector<HI_U32> want = {P().initCeiling, P().initCeiling, t[1], t[2], t[3], t[4], t[5], t[6]};
    if (P().mn) {
        // all black: the extra-dark ceiling with level 6, then at every dark step
        want.insert(want.end(), {6278, 6278, 6278});
    }
    EXPECT_EQ(Ceilings(), want);

    if (P().mn) {
        // brightest zones' mean 21 with the extra-dark ceiling: level 6 applied again, once
        ISP_STATISTICS_S st = Uniform(0);
        for (int i = 0; i < 7; ++i) {
            SetZone(&st, 5, i, 13);
        }
        XTuningSimInjectStatistics(st);
        Step();
        Step();
        want.push_back(t[6]);
        EXPECT_EQ(Ceilings(), want);
    }

    // bright spots on a dark picture: the mean alone brings it down one
    ISP_STATISTICS_S spots = Uniform(0);
    for (int i = 0; i < 8; ++i) {
        SetZone(&spots, 6, i, 40);
    }
    XTuningSimInjectStatistics(spots);
    Step();
    want.push_back(t[5]);
    EXPECT_EQ(Ceilings(), want);

    // bright scene: down to 0, then nothing more
    XTuningSimInjectStatistics(Uniform(60));
    Exposure(1024, 60);
    for (int i = 0; i < 8; ++i) {
        Step();
    }
    want.insert(want.end(), {t[4], t[3], t[2], t[1], t[0]});
    EXPECT_EQ(Ceilings(), want);

    // between the thresholds: the level holds
    ISP_STATISTICS_S mid = Uniform(0);
    for (int i = 0; i < 8; ++i) {
        SetZone(&mid, 7, i, 20);  // luma 31.7
    }
    XTuningSimInjectStatistics(mid);
    Exposure(1024, 0);
    Step();
    EXPECT_EQ(Ceilings(), want);
}

TEST_P(ISPTuningTest, SetUpRetriedUntilTheExposureIsSet)
{
    // a failed read: nothing is set
    XMediaSimFail("HI_MPI_ISP_GetWBAttr", static_cast<HI_S32>(0xA0118010u), -1, 1);
    Step();
    EXPECT_TRUE(XTuningSimSets().empty());

    XMediaSimFail("HI_MPI_ISP_SetExposureAttr", static_cast<HI_S32>(0xA0118010u), -1, 2);
    testing::internal::CaptureStderr();
    Step();
    Step();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(Count("HI_MPI_ISP_SetDPDynamicAttr"), 2u);
    EXPECT_EQ(Count("HI_MPI_ISP_SetDRCAttr"), 2u);
    EXPECT_EQ(Count("HI_MPI_VPSS_SetNRParam"), 0u) << "no tuning before the set-up";
    ISP_EXP_INFO_S info;
    int minexp = 0;
    int drc = 0;
    m_Tuning->GetCurExposureInfo(&info, &minexp, &drc);
    EXPECT_EQ(info.u32AGain, 0u);

    Step();
    EXPECT_EQ(Count("HI_MPI_ISP_SetDPDynamicAttr"), 3u);
    EXPECT_EQ(Count("HI_MPI_VPSS_SetNRParam"), 1u);
    Step();
    EXPECT_EQ(Count("HI_MPI_ISP_SetDPDynamicAttr"), 3u) << "once it succeeded";

    // the records of the set-up
    ISP_DP_DYNAMIC_ATTR_S dp;
    ASSERT_EQ(HI_MPI_ISP_GetDPDynamicAttr(0, &dp), HI_SUCCESS);
    EXPECT_EQ(dp.bEnable, 1);
    EXPECT_EQ(dp.enOpType, OP_TYPE_AUTO);
    EXPECT_EQ(dp.stAuto.au16Slope[1], P().mn ? 200 : 96);
    EXPECT_EQ(dp.stAuto.au16Slope[15], 255);
    ISP_DRC_ATTR_S d;
    ASSERT_EQ(HI_MPI_ISP_GetDRCAttr(0, &d), HI_SUCCESS);
    EXPECT_EQ(d.bEnable, 1);
    EXPECT_EQ(d.u8SecondPole, 176);
    EXPECT_EQ(d.u16DarkGainLmtY, 48);
    EXPECT_EQ(d.u16DarkGainLmtC, 16);
    EXPECT_EQ(d.u8Stretch, 48);
    EXPECT_EQ(d.u8Asymmetry, 8);
    EXPECT_EQ(d.u8SpatialVar, 12);
    EXPECT_EQ(d.stManual.u8LocalMixingBrigtht, P().mn ? 64 : 61) << "the stand-in's default for MN";
    ISP_SHARPEN_ATTR_S sh;
    ASSERT_EQ(HI_MPI_ISP_GetSharpenAttr(0, &sh), HI_SUCCESS);
    EXPECT_EQ(sh.stAuto.au8SharpenD[6], P().mn ? 180 : 88);
    EXPECT_EQ(sh.stAuto.au8UnderShoot[8], P().mn ? 30 : 152);
    ISP_SATURATION_ATTR_S sat;
    ASSERT_EQ(HI_MPI_ISP_GetSaturationAttr(0, &sat), HI_SUCCESS);
    EXPECT_EQ(sat.stAuto.au8Sat[7], P().mn ? 69 : 128);
    const auto exp = XTuningSimSets("HI_MPI_ISP_SetExposureAttr");
    ASSERT_FALSE(exp.empty());
    const ISP_EXPOSURE_ATTR_S first = exp[0].As<ISP_EXPOSURE_ATTR_S>();
    EXPECT_EQ(first.stAuto.stSysGainRange.u32Max, P().initCeiling);
    EXPECT_EQ(first.stAuto.stSysGainRange.u32Min, 1024u);
    EXPECT_EQ(first.stAuto.u8Speed, 80);
}

TEST_P(ISPTuningTest, StrategyChangeSetsItsCompensation)
{
    XTuningSimInjectStatistics(Uniform(60));  // bright at level 0: no ceiling sets
    Exposure(1024, 60);
    Step(false, AE_EXP_HIGHLIGHT_PRIOR);
    auto sets = XTuningSimSets("HI_MPI_ISP_SetExposureAttr");
    ASSERT_EQ(sets.size(), 2u);  // set-up, strategy
    EXPECT_EQ(sets[1].As<ISP_EXPOSURE_ATTR_S>().stAuto.u8Compensation, 45);
    EXPECT_EQ(sets[1].As<ISP_EXPOSURE_ATTR_S>().stAuto.enAEStrategyMode, AE_EXP_HIGHLIGHT_PRIOR);

    Step(false, AE_EXP_LOWLIGHT_PRIOR);
    Step(false, AE_EXP_LOWLIGHT_PRIOR);
    sets = XTuningSimSets("HI_MPI_ISP_SetExposureAttr");
    ASSERT_EQ(sets.size(), 3u);
    const ISP_EXPOSURE_ATTR_S low = sets[2].As<ISP_EXPOSURE_ATTR_S>();
    EXPECT_EQ(low.stAuto.u8Compensation, 32);
    EXPECT_EQ(low.stAuto.enAEStrategyMode, AE_EXP_LOWLIGHT_PRIOR);
    ExpectWeights(low.stAuto.au8Weight, u8AEWeight_normal, {});
}

TEST_P(ISPTuningTest, ExposureReport)
{
    ISP_EXP_INFO_S info;
    memset(&info, 0xFF, sizeof(info));
    int minexp = 0;
    int drc = 0;
    m_Tuning->GetCurExposureInfo(&info, &minexp, &drc);
    ISP_EXP_INFO_S zero;
    memset(&zero, 0, sizeof(zero));
    EXPECT_EQ(memcmp(&info, &zero, sizeof(info)), 0);
    EXPECT_EQ(minexp, 20);
    EXPECT_EQ(drc, -1);

    Exposure(4321, 33);
    Step();
    m_Tuning->GetCurExposureInfo(&info, &minexp, &drc);
    EXPECT_EQ(info.u32AGain, 4321u);
    EXPECT_EQ(info.u8AveLum, 33);
    EXPECT_EQ(minexp, 20);
    EXPECT_EQ(drc, -1);

    // a failed query keeps the last record
    XMediaSimFail("HI_MPI_ISP_QueryExposureInfo", static_cast<HI_S32>(0xA0118010u), -1, 1);
    Exposure(1111);
    Step();
    m_Tuning->GetCurExposureInfo(&info, &minexp, &drc);
    EXPECT_EQ(info.u32AGain, 4321u);

    // the free report reads its own records, which no step fills
    memset(&info, 0xFF, sizeof(info));
    GetCurExposureInfo(&info, &minexp, &drc);
    EXPECT_EQ(memcmp(&info, &zero, sizeof(info)), 0);
    EXPECT_EQ(minexp, 20);
    EXPECT_EQ(drc, -1);
}

TEST(ISPTuningTables, QuickSortOrdersLikeStdSort)
{
    std::mt19937 rng(12345);
    for (int n : {7, 8}) {
        for (int round = 0; round < 2000; ++round) {
            __AE_avgY__ a[8];
            for (int i = 0; i < n; ++i) {
                a[i] = {i, static_cast<int>(rng() % 17), static_cast<unsigned>(rng() % 5)};
            }
            std::vector<__AE_avgY__> want(a, a + n);
            Quick_sort(a, 0, n - 1);
            std::vector<unsigned> got;
            std::vector<unsigned> sorted;
            std::sort(want.begin(), want.end(), [](const __AE_avgY__& x, const __AE_avgY__& y) { return x.value < y.value; });
            for (int i = 0; i < n; ++i) {
                got.push_back(a[i].value);
                sorted.push_back(want[i].value);
            }
            ASSERT_EQ(got, sorted) << "n " << n << " round " << round;
            // the same entries, whole: each row (the original index) once with its column and value
            std::vector<__AE_avgY__> byRow(a, a + n);
            std::sort(byRow.begin(), byRow.end(), [](const __AE_avgY__& x, const __AE_avgY__& y) { return x.row < y.row; });
            std::sort(want.begin(), want.end(), [](const __AE_avgY__& x, const __AE_avgY__& y) { return x.row < y.row; });
            for (int i = 0; i < n; ++i) {
                ASSERT_EQ(byRow[i].row, want[i].row);
                ASSERT_EQ(byRow[i].col, want[i].col);
                ASSERT_EQ(byRow[i].value, want[i].value);
            }
        }
    }
}

TEST(ISPTuningTables, GammaCurvesAreMonotoneThroughTheirPoints)
{
    const int x[15] = {0, 1, 2, 4, 8, 16, 32, 64, 96, 128, 160, 192, 224, 255, 256};
    struct Curve {
        const char* name;
        const ISP_GAMMA_ATTR_S* attr;
        int y[15];
    };
    const Curve curves[] = {
        {"mid", &gamma_mid_contrast, {0, 87, 162, 288, 488, 821, 1370, 2205, 2791, 3192, 3496, 3737, 3933, 4093, 4095}},
        {"bright", &gamma_bright, {0, 102, 187, 325, 541, 891, 1454, 2264, 2812, 3199, 3500, 3738, 3933, 4092, 4095}},
        {"high", &gamma_high_contrast, {0, 54, 106, 209, 403, 754, 1335, 2172, 2746, 3164, 3482, 3732, 3933, 4095, 4095}},
        {"highest", &gamma_highest_contrast,
         {0, 27, 60, 140, 276, 540, 1035, 1970, 2708, 3164, 3482, 3732, 3933, 4095, 4095}},
    };
    for (const Curve& c : curves) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.attr->bEnable, 1);
        EXPECT_EQ(c.attr->enCurveType, ISP_GAMMA_CURVE_USER_DEFINE);
        EXPECT_EQ(sizeof(c.attr->u16Table) / sizeof(c.attr->u16Table[0]), 257u);
        for (int k = 0; k < 15; ++k) {
            EXPECT_EQ(c.attr->u16Table[x[k]], c.y[k]) << "point " << x[k];
        }
        for (int i = 1; i < 257; ++i) {
            EXPECT_LE(c.attr->u16Table[i - 1], c.attr->u16Table[i]) << "point " << i;
        }
        // smooth, not stepped: inside a wide span the curve rises at every point
        EXPECT_LT(c.attr->u16Table[40], c.attr->u16Table[41]);
        EXPECT_LT(c.attr->u16Table[100], c.attr->u16Table[101]);
    }
}

TEST(ISPTuningTables, WeightTables)
{
    struct Row {
        int row;
        HI_U8 w[17];
    };
    const Row rows[] = {
        {0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {3, {1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1}},
        {6, {1, 1, 2, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 3, 2, 1, 1}},
        {7, {1, 2, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 3, 2, 1}},
        {9, {2, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 3, 2}},
        {10, {2, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 2}},
        {12, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
        {14, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(memcmp(u8AEWeight_normal[r.row], r.w, 17), 0) << "row " << r.row;
    }
    for (int r = 0; r < 15; ++r) {
        EXPECT_EQ(memcmp(u8AEWeight_reverse[r], u8AEWeight_normal[14 - r], 17), 0) << "row " << r;
    }
}

TEST(ISPTuningHelpers, IsRoundAndTheColourSpacePair)
{
    struct Case {
        float a;
        float b;
        bool round;
    };
    const Case cases[] = {{1.0f, 1.4f, true}, {1.0f, 1.5f, false}, {1.0f, 0.6f, true}, {1.0f, 0.5f, false},
                          {-2.0f, -2.3f, true}};
    for (const Case& c : cases) {
        EXPECT_EQ(IsRound(c.a, c.b), c.round) << c.a << " " << c.b;
    }

    CTestMediaChain chain;
    ASSERT_EQ(chain.System(), HI_SUCCESS);
    EXPECT_EQ(SetCSCAttr(0, 10, 20, 30), HI_SUCCESS);
    int contrast = 0;
    int hue = 0;
    int luma = 0;
    int saturation = 0;
    EXPECT_EQ(GetCSCAttr(0, &contrast, &hue, &luma, &saturation), HI_SUCCESS);
    EXPECT_EQ(contrast, 50);
    EXPECT_EQ(hue, 50);
    EXPECT_EQ(luma, 50);
    EXPECT_EQ(saturation, 50);
    const auto sets = XTuningSimSets("HI_MPI_VI_SetCSCAttr");
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].As<VI_CSC_ATTR_S>().enViCscType, VI_CSC_TYPE_709);

    XMediaSimFail("HI_MPI_VI_SetCSCAttr", static_cast<HI_S32>(0xA0108010u), -1, 1);
    XMediaSimFail("HI_MPI_VI_GetCSCAttr", static_cast<HI_S32>(0xA0108010u), -1, 1);
    testing::internal::CaptureStderr();
    EXPECT_NE(SetCSCAttr(0, 0, 0, 0), HI_SUCCESS);
    EXPECT_NE(GetCSCAttr(0, &contrast, &hue, &luma, &saturation), HI_SUCCESS);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("]: Set vi CSC attr err:0xa0108010\n"), std::string::npos) << err;
    EXPECT_NE(err.find("]: Get vi CSC attr err:0xa0108010\n"), std::string::npos) << err;
}

TEST_P(ISPTuningTest, SceneDrivesTheTuning)
{
    // night: the ceiling climbs to its top, the gain follows it
    XTuningSimSetScene(emTuningSimScene_Night);
    for (int i = 0; i < 10; ++i) {
        Step();
    }
    ISP_EXPOSURE_ATTR_S ae;
    ASSERT_EQ(HI_MPI_ISP_GetExposureAttr(0, &ae), HI_SUCCESS);
    EXPECT_EQ(ae.stAuto.stSysGainRange.u32Max, P().ceiling[6]);
    ISP_EXP_INFO_S info;
    int minexp = 0;
    int drc = 0;
    m_Tuning->GetCurExposureInfo(&info, &minexp, &drc);
    EXPECT_EQ(info.u32AGain, P().ceiling[6]);
    VPSS_NR_PARAM_S nr;
    ASSERT_EQ(HI_MPI_VPSS_GetNRParam(0, &nr), HI_SUCCESS);
    const int nightLevel = static_cast<int>(P().ceiling[6] / 1000);
    EXPECT_EQ(nr.s32YSFStr, P().dns3d[nightLevel][0]);
    ISP_GAMMA_ATTR_S g;
    ASSERT_EQ(HI_MPI_ISP_GetGammaAttr(0, &g), HI_SUCCESS);
    EXPECT_EQ(memcmp(&g, &gamma_mid_contrast, sizeof(g)), 0);
    VI_DCI_PARAM_S d;
    ASSERT_EQ(HI_MPI_VI_GetDCIParam(0, &d), HI_SUCCESS);
    EXPECT_EQ(d.bEnable, 1);

    // day: back down, bright curve, no contrast boost
    XTuningSimSetScene(emTuningSimScene_Day);
    for (int i = 0; i < 10; ++i) {
        Step();
    }
    ASSERT_EQ(HI_MPI_ISP_GetExposureAttr(0, &ae), HI_SUCCESS);
    EXPECT_EQ(ae.stAuto.stSysGainRange.u32Max, P().ceiling[0]);
    ASSERT_EQ(HI_MPI_ISP_GetGammaAttr(0, &g), HI_SUCCESS);
    EXPECT_EQ(memcmp(&g, &gamma_bright, sizeof(g)), 0);
    ASSERT_EQ(HI_MPI_VI_GetDCIParam(0, &d), HI_SUCCESS);
    EXPECT_EQ(d.bEnable, 0);
    ASSERT_EQ(HI_MPI_VPSS_GetNRParam(0, &nr), HI_SUCCESS);
    EXPECT_EQ(nr.s32YSFStr, P().dns3d[1][0]);
}
