// Picture attributes of the simulated ISP and input: records kept and checked,
// the set log, injected and scene-driven exposure and statistics, the board's
// scene command and log file.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "Platform/TuningSim.h"
#include "Platform/MediaSim.h"
#include "Platform/MpiIsp.h"
#include "Platform/MpiVi.h"
#include "Platform/MpiVpss.h"
#include "support/TestBoard.h"
#include "tests/Platform/MediaChain.h"

namespace {

constexpr HI_S32 IspErr(uint32_t n) { return XMpiErrCode(HI_ID_ISP, n); }
constexpr HI_S32 ViErr(uint32_t n) { return XMpiErrCode(HI_ID_VIU, n); }

double Luma(const HI_U16 (&c)[4]) { return 0.299 * c[0] + 0.587 * (c[1] + c[2]) + 0.114 * c[3]; }

class IspTuningModel : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(m_Chain.System(), HI_SUCCESS); }
    CTestMediaChain m_Chain;
};

}  // namespace

TEST_F(IspTuningModel, RecordsReadBackAndOutOfRangeRefused)
{
    ISP_DRC_ATTR_S drc;
    ASSERT_EQ(HI_MPI_ISP_GetDRCAttr(0, &drc), HI_SUCCESS);
    drc.bEnable = 1;
    drc.u8SecondPole = 176;
    drc.stManual.u8LocalMixingDark = 61;
    ASSERT_EQ(HI_MPI_ISP_SetDRCAttr(0, &drc), HI_SUCCESS);
    ISP_DRC_ATTR_S back;
    ASSERT_EQ(HI_MPI_ISP_GetDRCAttr(0, &back), HI_SUCCESS);
    EXPECT_EQ(memcmp(&drc, &back, sizeof(drc)), 0);

    ISP_EXPOSURE_ATTR_S ae;
    ASSERT_EQ(HI_MPI_ISP_GetExposureAttr(0, &ae), HI_SUCCESS);
    ae.stAuto.stSysGainRange = {6278, 1024};
    ae.stAuto.au8Weight[14][16] = 12;
    ASSERT_EQ(HI_MPI_ISP_SetExposureAttr(0, &ae), HI_SUCCESS);
    ISP_EXPOSURE_ATTR_S aeBack;
    ASSERT_EQ(HI_MPI_ISP_GetExposureAttr(0, &aeBack), HI_SUCCESS);
    EXPECT_EQ(memcmp(&ae, &aeBack, sizeof(ae)), 0);

    ISP_GAMMA_ATTR_S gamma;
    ASSERT_EQ(HI_MPI_ISP_GetGammaAttr(0, &gamma), HI_SUCCESS);
    VI_DCI_PARAM_S dci;
    ASSERT_EQ(HI_MPI_VI_GetDCIParam(0, &dci), HI_SUCCESS);
    VI_CSC_ATTR_S csc;
    ASSERT_EQ(HI_MPI_VI_GetCSCAttr(0, &csc), HI_SUCCESS);

    // each bad record is refused and leaves the kept one alone
    struct Case {
        const char* what;
        std::function<HI_S32()> call;
        HI_S32 expect;
    };
    const Case cases[] = {
        {"drc second pole 149", [&] { ISP_DRC_ATTR_S d = drc; d.u8SecondPole = 149; return HI_MPI_ISP_SetDRCAttr(0, &d); },
         IspErr(EN_ERR_ILLEGAL_PARAM)},
        {"drc enable 2", [&] { ISP_DRC_ATTR_S d = drc; d.bEnable = 2; return HI_MPI_ISP_SetDRCAttr(0, &d); },
         IspErr(EN_ERR_ILLEGAL_PARAM)},
        {"weight 16", [&] { ISP_EXPOSURE_ATTR_S a = ae; a.stAuto.au8Weight[7][8] = 16; return HI_MPI_ISP_SetExposureAttr(0, &a); },
         IspErr(EN_ERR_ILLEGAL_PARAM)},
        {"gain range upside down",
         [&] { ISP_EXPOSURE_ATTR_S a = ae; a.stAuto.stSysGainRange = {1000, 2000}; return HI_MPI_ISP_SetExposureAttr(0, &a); },
         IspErr(EN_ERR_ILLEGAL_PARAM)},
        {"strategy past the end",
         [&] { ISP_EXPOSURE_ATTR_S a = ae; a.stAuto.enAEStrategyMode = AE_STRATEGY_MODE_BUTT; return HI_MPI_ISP_SetExposureAttr(0, &a); },
         IspErr(EN_ERR_ILLEGAL_PARAM)},
        {"gamma point 4096",
         [&] { ISP_GAMMA_ATTR_S g = gamma; g.enCurveType = ISP_GAMMA_CURVE_USER_DEFINE; g.u16Table[200] = 4096; return HI_MPI_ISP_SetGammaAttr(0, &g); },
         IspErr(EN_ERR_ILLEGAL_PARAM)},
        {"defect slope 256",
         [&] { ISP_DP_DYNAMIC_ATTR_S d; HI_MPI_ISP_GetDPDynamicAttr(0, &d); d.stAuto.au16Slope[3] = 256; return HI_MPI_ISP_SetDPDynamicAttr(0, &d); },
         IspErr(EN_ERR_ILLEGAL_PARAM)},
        {"dci gain 64", [&] { VI_DCI_PARAM_S d = dci; d.u32LightGain = 64; return HI_MPI_VI_SetDCIParam(0, &d); },
         ViErr(EN_ERR_ILLEGAL_PARAM)},
        {"csc hue 101", [&] { VI_CSC_ATTR_S c = csc; c.u32HueVal = 101; return HI_MPI_VI_SetCSCAttr(0, &c); },
         ViErr(EN_ERR_ILLEGAL_PARAM)},
        {"isp device 1", [&] { return HI_MPI_ISP_SetDRCAttr(1, &drc); }, IspErr(EN_ERR_INVALID_DEVID)},
        {"input channel 1", [&] { return HI_MPI_VI_SetDCIParam(1, &dci); }, ViErr(EN_ERR_INVALID_CHNID)},
        {"null record", [&] { return HI_MPI_ISP_SetSharpenAttr(0, nullptr); }, IspErr(EN_ERR_NULL_PTR)},
        {"null report", [&] { return HI_MPI_ISP_QueryExposureInfo(0, nullptr); }, IspErr(EN_ERR_NULL_PTR)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(static_cast<uint32_t>(c.call()), static_cast<uint32_t>(c.expect)) << c.what;
    }
    ASSERT_EQ(HI_MPI_ISP_GetDRCAttr(0, &back), HI_SUCCESS);
    EXPECT_EQ(memcmp(&drc, &back, sizeof(drc)), 0);
    ASSERT_EQ(HI_MPI_ISP_GetExposureAttr(0, &aeBack), HI_SUCCESS);
    EXPECT_EQ(memcmp(&ae, &aeBack, sizeof(ae)), 0);

    // without the system nothing answers; a reset brings the defaults back
    m_Chain.Down();
    EXPECT_EQ(static_cast<uint32_t>(HI_MPI_ISP_GetDRCAttr(0, &back)), static_cast<uint32_t>(IspErr(EN_ERR_SYS_NOTREADY)));
    ISP_STATISTICS_S st;
    EXPECT_EQ(static_cast<uint32_t>(HI_MPI_ISP_GetStatistics(0, &st)), static_cast<uint32_t>(IspErr(EN_ERR_SYS_NOTREADY)));
    ASSERT_EQ(m_Chain.System(), HI_SUCCESS);
    ASSERT_EQ(HI_MPI_ISP_GetDRCAttr(0, &back), HI_SUCCESS);
    EXPECT_EQ(back.u8SecondPole, 180);
}

TEST_F(IspTuningModel, EverySetIsLoggedWithItsRecordAndResult)
{
    XTuningSimClearSets();
    ISP_SHARPEN_ATTR_S sh;
    ASSERT_EQ(HI_MPI_ISP_GetSharpenAttr(0, &sh), HI_SUCCESS);
    sh.stAuto.au8SharpenD[0] = 91;
    ASSERT_EQ(HI_MPI_ISP_SetSharpenAttr(0, &sh), HI_SUCCESS);
    XMediaSimFail("HI_MPI_ISP_SetSharpenAttr", static_cast<HI_S32>(0xA0118012u), -1, 1);
    sh.stAuto.au8SharpenD[0] = 92;
    EXPECT_EQ(static_cast<uint32_t>(HI_MPI_ISP_SetSharpenAttr(0, &sh)), 0xA0118012u);
    VI_DCI_PARAM_S dci = {1, 40, 40, 40};
    ASSERT_EQ(HI_MPI_VI_SetDCIParam(0, &dci), HI_SUCCESS);
    ASSERT_EQ(m_Chain.Group({{1920, 1080}}), HI_SUCCESS);
    VPSS_NR_PARAM_S nr;
    ASSERT_EQ(HI_MPI_VPSS_GetNRParam(0, &nr), HI_SUCCESS);
    nr.s32YSFStr = 88;
    ASSERT_EQ(HI_MPI_VPSS_SetNRParam(0, &nr), HI_SUCCESS);

    const auto sets = XTuningSimSets();
    ASSERT_EQ(sets.size(), 4u);
    EXPECT_EQ(sets[0].func, "HI_MPI_ISP_SetSharpenAttr");
    EXPECT_EQ(sets[0].s32Result, HI_SUCCESS);
    EXPECT_EQ(sets[0].As<ISP_SHARPEN_ATTR_S>().stAuto.au8SharpenD[0], 91);
    EXPECT_EQ(static_cast<uint32_t>(sets[1].s32Result), 0xA0118012u);
    EXPECT_EQ(sets[1].As<ISP_SHARPEN_ATTR_S>().stAuto.au8SharpenD[0], 92);
    EXPECT_EQ(sets[2].func, "HI_MPI_VI_SetDCIParam");
    EXPECT_EQ(sets[2].As<VI_DCI_PARAM_S>().u32LightGain, 40u);
    EXPECT_EQ(sets[3].func, "HI_MPI_VPSS_SetNRParam");
    EXPECT_EQ(sets[3].As<VPSS_NR_PARAM_S>().s32YSFStr, 88);
    EXPECT_EQ(XTuningSimSets("HI_MPI_ISP_SetSharpenAttr").size(), 2u);

    // the failed set kept the earlier record
    ASSERT_EQ(HI_MPI_ISP_GetSharpenAttr(0, &sh), HI_SUCCESS);
    EXPECT_EQ(sh.stAuto.au8SharpenD[0], 91);

    XMediaSimReset();
    EXPECT_TRUE(XTuningSimSets().empty());
}

TEST_F(IspTuningModel, InjectedRecordsUntilTheNextScene)
{
    ISP_EXP_INFO_S info;
    memset(&info, 0, sizeof(info));
    info.u32AGain = 7999;
    info.u8AveLum = 17;
    info.u32AE_Hist256Value[255] = 5;
    XTuningSimInjectExposure(info);
    ISP_STATISTICS_S st;
    memset(&st, 0, sizeof(st));
    st.stAEStat.au16ZoneAvg[3][16][0] = 200;
    st.stAEStat.au16GlobalAvg[2] = 9;
    XTuningSimInjectStatistics(st);

    ISP_EXP_INFO_S got;
    ASSERT_EQ(HI_MPI_ISP_QueryExposureInfo(0, &got), HI_SUCCESS);
    EXPECT_EQ(memcmp(&got, &info, sizeof(info)), 0);
    ISP_STATISTICS_S gotSt;
    ASSERT_EQ(HI_MPI_ISP_GetStatistics(0, &gotSt), HI_SUCCESS);
    EXPECT_EQ(memcmp(&gotSt, &st, sizeof(st)), 0);

    XMediaSimFail("HI_MPI_ISP_GetStatistics", static_cast<HI_S32>(0xA0118010u), -1, 1);
    EXPECT_EQ(static_cast<uint32_t>(HI_MPI_ISP_GetStatistics(0, &gotSt)), 0xA0118010u);

    XTuningSimSetScene(emTuningSimScene_Day);
    ASSERT_EQ(HI_MPI_ISP_QueryExposureInfo(0, &got), HI_SUCCESS);
    EXPECT_EQ(got.u32AGain, 1024u);
}

TEST_F(IspTuningModel, DayAndNightScenes)
{
    // night: the gain climbs to the exposure's ceiling, a raised ceiling brightens
    ISP_EXPOSURE_ATTR_S ae;
    ASSERT_EQ(HI_MPI_ISP_GetExposureAttr(0, &ae), HI_SUCCESS);
    ae.stAuto.stSysGainRange = {3015, 1024};
    ASSERT_EQ(HI_MPI_ISP_SetExposureAttr(0, &ae), HI_SUCCESS);
    XTuningSimSetScene(emTuningSimScene_Night);
    EXPECT_EQ(XTuningSimScene(), emTuningSimScene_Night);
    ISP_EXP_INFO_S night;
    ASSERT_EQ(HI_MPI_ISP_QueryExposureInfo(0, &night), HI_SUCCESS);
    EXPECT_EQ(night.u32AGain, 3015u);
    EXPECT_EQ(night.bExposureIsMAX, 1);
    ISP_STATISTICS_S st;
    ASSERT_EQ(HI_MPI_ISP_GetStatistics(0, &st), HI_SUCCESS);
    const double nightGlobal = Luma(st.stAEStat.au16GlobalAvg);
    EXPECT_LT((night.u8AveLum + nightGlobal) / 2, 20.0);
    double brightest = 0;
    for (int r = 3; r <= 11; ++r) {
        for (int c = 0; c < 17; ++c) {
            brightest = std::max(brightest, Luma(st.stAEStat.au16ZoneAvg[r][c]));
        }
    }
    EXPECT_LE(brightest, 19.0) << "dark enough for both strategies to raise the ceiling";

    ae.stAuto.stSysGainRange = {6278, 1024};
    ASSERT_EQ(HI_MPI_ISP_SetExposureAttr(0, &ae), HI_SUCCESS);
    ISP_EXP_INFO_S raised;
    ASSERT_EQ(HI_MPI_ISP_QueryExposureInfo(0, &raised), HI_SUCCESS);
    EXPECT_EQ(raised.u32AGain, 6278u);
    EXPECT_GT(raised.u8AveLum, night.u8AveLum);

    // day: unit gain, bright
    XTuningSimSetScene(emTuningSimScene_Day);
    ISP_EXP_INFO_S day;
    ASSERT_EQ(HI_MPI_ISP_QueryExposureInfo(0, &day), HI_SUCCESS);
    EXPECT_EQ(day.u32AGain, 1024u);
    EXPECT_LT(day.u32AGain, 1536u);
    ASSERT_EQ(HI_MPI_ISP_GetStatistics(0, &st), HI_SUCCESS);
    EXPECT_GE((day.u8AveLum + Luma(st.stAEStat.au16GlobalAvg)) / 2, 20.0);
    uint64_t hist = 0;
    for (HI_U32 v : day.u32AE_Hist256Value) {
        hist += v;
    }
    EXPECT_GT(hist, 0u);
}

TEST(IspTuningBoard, SceneCommandAndLogFile)
{
    CTestBoard board;
    CTestMediaChain chain;
    ASSERT_EQ(chain.System(), HI_SUCCESS);
    board.Sim("scene", "night");
    bool night = false;
    for (int i = 0; i < 300 && !night; ++i) {
        night = XTuningSimScene() == emTuningSimScene_Night;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(night);
    EXPECT_NE(XTestRun(std::string(DASHCAM_SOURCE_DIR) + "/sim/board scene " + board.Dir() + " dusk 2>&1"), "");

    // the log file: a line for each set that changed something
    VI_DCI_PARAM_S dci = {1, 40, 40, 40};
    ASSERT_EQ(HI_MPI_VI_SetDCIParam(0, &dci), HI_SUCCESS);
    ASSERT_EQ(HI_MPI_VI_SetDCIParam(0, &dci), HI_SUCCESS);
    dci.bEnable = 0;
    ASSERT_EQ(HI_MPI_VI_SetDCIParam(0, &dci), HI_SUCCESS);
    std::ifstream f(board.Path("/log/isp.log"));
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(f, line)) {
        lines.push_back(line.substr(line.find(' ') + 1));  // without the time
    }
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "HI_MPI_VI_SetDCIParam 0 0 enable=1 black=40 contrast=40 light=40");
    EXPECT_EQ(lines[1], "HI_MPI_VI_SetDCIParam 0 0 enable=0 black=40 contrast=40 light=40");
}
