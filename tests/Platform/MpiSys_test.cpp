// Media system and buffer pools: order of set-up, the bind graph, the clock.

#include <gtest/gtest.h>

#include <sys/time.h>

#include <cstring>

#include "Platform/MediaSim.h"
#include "Platform/MpiSys.h"

namespace {

constexpr HI_S32 SysErr(uint32_t n) { return XMpiErrCode(HI_ID_SYS, n); }
constexpr HI_S32 VbErr(uint32_t n) { return XMpiErrCode(HI_ID_VB, n); }

MPP_CHN_S Node(MOD_ID_E mod, int dev, int chn)
{
    MPP_CHN_S n;
    n.enModId = mod;
    n.s32DevId = dev;
    n.s32ChnId = chn;
    return n;
}

VB_CONF_S OnePool()
{
    VB_CONF_S conf;
    memset(&conf, 0, sizeof(conf));
    conf.u32MaxPoolCnt = 128;
    conf.astCommPool[0].u32BlkSize = 3159360;
    conf.astCommPool[0].u32BlkCnt = 10;
    return conf;
}

HI_S32 BringUp()
{
    VB_CONF_S vb = OnePool();
    MPP_SYS_CONF_S sys = {64};
    if (HI_S32 r = HI_MPI_VB_SetConf(&vb)) return r;
    if (HI_S32 r = HI_MPI_VB_Init()) return r;
    if (HI_S32 r = HI_MPI_SYS_SetConf(&sys)) return r;
    return HI_MPI_SYS_Init();
}

uint64_t WallUs()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return static_cast<uint64_t>(tv.tv_sec) * 1000000 + tv.tv_usec;
}

class MpiSys : public ::testing::Test {
protected:
    void SetUp() override { XMediaSimReset(); }
    void TearDown() override { XMediaSimReset(); }
};

}  // namespace

TEST(MpiErrCode, LayoutOfTheCodes)
{
    EXPECT_EQ(static_cast<uint32_t>(XMpiErrCode(HI_ID_VOU, EN_ERR_VO_DEV_HAS_ENABLED)), 0xA00F8042u);
    EXPECT_EQ(static_cast<uint32_t>(XMpiErrCode(HI_ID_AENC, EN_ERR_ILLEGAL_PARAM)), 0xA0178003u);
    EXPECT_EQ(XMpiErrModule(XMpiErrCode(HI_ID_VENC, EN_ERR_BUF_EMPTY)), HI_ID_VENC);
    EXPECT_EQ(XMpiErrNumber(XMpiErrCode(HI_ID_VENC, EN_ERR_BUF_EMPTY)), EN_ERR_BUF_EMPTY);
    EXPECT_EQ(XMpiErrModule(-1), 0u);
}

TEST_F(MpiSys, SetUpStepsInAnyOrderFailWithoutCrashing)
{
    VB_CONF_S vb = OnePool();
    MPP_SYS_CONF_S sys = {64};
    MPP_SYS_CONF_S badAlign = {8};
    VB_CONF_S noPools = vb;
    noPools.u32MaxPoolCnt = 0;
    struct Step {
        const char* what;
        HI_S32 (*call)(const VB_CONF_S*, const MPP_SYS_CONF_S*);
        const VB_CONF_S* vb;
        const MPP_SYS_CONF_S* sys;
        HI_S32 expect;
    } steps[] = {
        {"exits before anything", [](const VB_CONF_S*, const MPP_SYS_CONF_S*) { return HI_MPI_SYS_Exit() | HI_MPI_VB_Exit(); }, nullptr, nullptr, HI_SUCCESS},
        {"system without pools", [](const VB_CONF_S*, const MPP_SYS_CONF_S*) { return HI_MPI_SYS_Init(); }, nullptr, nullptr, SysErr(EN_ERR_NOT_PERM)},
        {"pools without configuration", [](const VB_CONF_S*, const MPP_SYS_CONF_S*) { return HI_MPI_VB_Init(); }, nullptr, nullptr, VbErr(EN_ERR_NOT_CONFIG)},
        {"no pool count", [](const VB_CONF_S* v, const MPP_SYS_CONF_S*) { return HI_MPI_VB_SetConf(v); }, &noPools, nullptr, VbErr(EN_ERR_ILLEGAL_PARAM)},
        {"null pool configuration", [](const VB_CONF_S*, const MPP_SYS_CONF_S*) { return HI_MPI_VB_SetConf(nullptr); }, nullptr, nullptr, VbErr(EN_ERR_NULL_PTR)},
        {"pool configuration", [](const VB_CONF_S* v, const MPP_SYS_CONF_S*) { return HI_MPI_VB_SetConf(v); }, &vb, nullptr, HI_SUCCESS},
        {"pools", [](const VB_CONF_S*, const MPP_SYS_CONF_S*) { return HI_MPI_VB_Init(); }, nullptr, nullptr, HI_SUCCESS},
        {"pools again", [](const VB_CONF_S*, const MPP_SYS_CONF_S*) { return HI_MPI_VB_Init(); }, nullptr, nullptr, HI_SUCCESS},
        {"pool configuration while up", [](const VB_CONF_S* v, const MPP_SYS_CONF_S*) { return HI_MPI_VB_SetConf(v); }, &vb, nullptr, VbErr(EN_ERR_NOT_PERM)},
        {"system without configuration", [](const VB_CONF_S*, const MPP_SYS_CONF_S*) { return HI_MPI_SYS_Init(); }, nullptr, nullptr, SysErr(EN_ERR_NOT_CONFIG)},
        {"alignment 8", [](const VB_CONF_S*, const MPP_SYS_CONF_S* s) { return HI_MPI_SYS_SetConf(s); }, nullptr, &badAlign, SysErr(EN_ERR_ILLEGAL_PARAM)},
        {"alignment 64", [](const VB_CONF_S*, const MPP_SYS_CONF_S* s) { return HI_MPI_SYS_SetConf(s); }, nullptr, &sys, HI_SUCCESS},
        {"system", [](const VB_CONF_S*, const MPP_SYS_CONF_S*) { return HI_MPI_SYS_Init(); }, nullptr, nullptr, HI_SUCCESS},
        {"system configuration while up", [](const VB_CONF_S*, const MPP_SYS_CONF_S* s) { return HI_MPI_SYS_SetConf(s); }, nullptr, &sys, SysErr(EN_ERR_NOT_PERM)},
        {"pools leave before the system", [](const VB_CONF_S*, const MPP_SYS_CONF_S*) { return HI_MPI_VB_Exit(); }, nullptr, nullptr, VbErr(EN_ERR_BUSY)},
        {"system leaves", [](const VB_CONF_S*, const MPP_SYS_CONF_S*) { return HI_MPI_SYS_Exit(); }, nullptr, nullptr, HI_SUCCESS},
        {"system leaves twice", [](const VB_CONF_S*, const MPP_SYS_CONF_S*) { return HI_MPI_SYS_Exit(); }, nullptr, nullptr, HI_SUCCESS},
        {"pools leave", [](const VB_CONF_S*, const MPP_SYS_CONF_S*) { return HI_MPI_VB_Exit(); }, nullptr, nullptr, HI_SUCCESS},
        {"system again after the pools left", [](const VB_CONF_S*, const MPP_SYS_CONF_S*) { return HI_MPI_SYS_Init(); }, nullptr, nullptr, SysErr(EN_ERR_NOT_PERM)},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(static_cast<uint32_t>(s.call(s.vb, s.sys)), static_cast<uint32_t>(s.expect)) << s.what;
    }
    VB_CONF_S back;
    ASSERT_EQ(HI_MPI_VB_GetConf(&back), HI_SUCCESS);
    EXPECT_EQ(back.astCommPool[0].u32BlkSize, 3159360u);
    EXPECT_EQ(back.astCommPool[0].u32BlkCnt, 10u);
}

TEST_F(MpiSys, PoolsLargerThanTheMediaMemoryAreRefused)
{
    VB_CONF_S vb = OnePool();
    vb.astCommPool[0].u32BlkCnt = 40;  // 120 MiB
    ASSERT_EQ(HI_MPI_VB_SetConf(&vb), HI_SUCCESS);
    EXPECT_EQ(HI_MPI_VB_Init(), VbErr(EN_ERR_NOMEM));
}

TEST_F(MpiSys, BindRules)
{
    const MPP_CHN_S vi = Node(HI_ID_VIU, 0, 0);
    const MPP_CHN_S vpss0 = Node(HI_ID_VPSS, 0, 0);
    const MPP_CHN_S vpss1 = Node(HI_ID_VPSS, 0, 1);
    const MPP_CHN_S venc0 = Node(HI_ID_VENC, 0, 0);
    const MPP_CHN_S venc1 = Node(HI_ID_VENC, 0, 1);
    const MPP_CHN_S vo = Node(HI_ID_VOU, 0, 0);
    const MPP_CHN_S ai = Node(HI_ID_AI, 0, 0);
    const MPP_CHN_S aenc = Node(HI_ID_AENC, 0, 0);
    EXPECT_EQ(HI_MPI_SYS_Bind(&vi, &vpss0), SysErr(EN_ERR_SYS_NOTREADY)) << "before the system";
    ASSERT_EQ(BringUp(), HI_SUCCESS);
    struct Case {
        const char* what;
        MPP_CHN_S src;
        MPP_CHN_S dst;
        HI_S32 expect;
    } cases[] = {
        {"input to group", vi, vpss0, HI_SUCCESS},
        {"a group feeding a group", Node(HI_ID_VPSS, 1, 0), vpss0, SysErr(EN_ERR_NOT_SUPPORT)},
        {"input to group again", vi, vpss0, SysErr(EN_ERR_EXIST)},
        {"input into a group's output channel", vi, vpss1, SysErr(EN_ERR_NOT_SUPPORT)},
        {"group channel to encoder", vpss0, venc0, HI_SUCCESS},
        {"another channel to the same encoder", vpss1, venc0, SysErr(EN_ERR_EXIST)},
        {"group channel 1 to encoder 1", vpss1, venc1, HI_SUCCESS},
        {"input to output", vi, vo, HI_SUCCESS},
        {"encoder as a source", venc0, vo, SysErr(EN_ERR_NOT_SUPPORT)},
        {"input straight to an encoder", vi, Node(HI_ID_VENC, 0, 2), SysErr(EN_ERR_NOT_SUPPORT)},
        {"encoder channel out of range", vpss0, Node(HI_ID_VENC, 0, 16), SysErr(EN_ERR_INVALID_CHNID)},
        {"input device out of range", Node(HI_ID_VIU, 1, 0), Node(HI_ID_VPSS, 1, 0), SysErr(EN_ERR_INVALID_DEVID)},
        {"audio input to its encoder", ai, aenc, HI_SUCCESS},
        {"audio input to video", ai, Node(HI_ID_VENC, 0, 3), SysErr(EN_ERR_NOT_SUPPORT)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(static_cast<uint32_t>(HI_MPI_SYS_Bind(&c.src, &c.dst)), static_cast<uint32_t>(c.expect)) << c.what;
    }
    EXPECT_EQ(HI_MPI_SYS_Bind(nullptr, &venc0), SysErr(EN_ERR_NULL_PTR));

    MPP_CHN_S src;
    ASSERT_EQ(HI_MPI_SYS_GetBindbyDest(&venc1, &src), HI_SUCCESS);
    EXPECT_EQ(src.enModId, HI_ID_VPSS);
    EXPECT_EQ(src.s32ChnId, 1);

    // unbinding names the destination; a named source must be the bound one
    EXPECT_EQ(HI_MPI_SYS_UnBind(&vpss0, &venc1), SysErr(EN_ERR_ILLEGAL_PARAM));
    EXPECT_EQ(HI_MPI_SYS_UnBind(&vpss1, &venc1), HI_SUCCESS);
    EXPECT_EQ(HI_MPI_SYS_UnBind(&vpss1, &venc1), SysErr(EN_ERR_UNEXIST));
    EXPECT_EQ(HI_MPI_SYS_UnBind(nullptr, &vo), HI_SUCCESS) << "destination only";
    EXPECT_EQ(HI_MPI_SYS_GetBindbyDest(&vo, &src), SysErr(EN_ERR_UNEXIST));
    EXPECT_EQ(HI_MPI_SYS_UnBind(&vi, nullptr), SysErr(EN_ERR_NULL_PTR));

    // the system's exit drops the graph
    ASSERT_EQ(HI_MPI_SYS_Exit(), HI_SUCCESS);
    ASSERT_EQ(HI_MPI_SYS_Init(), HI_SUCCESS);
    EXPECT_EQ(HI_MPI_SYS_GetBindbyDest(&venc0, &src), SysErr(EN_ERR_UNEXIST));
}

TEST_F(MpiSys, ClockIsWallClockMicroseconds)
{
    HI_U64 pts = 0;
    EXPECT_EQ(HI_MPI_SYS_GetCurPts(&pts), SysErr(EN_ERR_SYS_NOTREADY));
    ASSERT_EQ(BringUp(), HI_SUCCESS);
    const uint64_t wall = WallUs();
    ASSERT_EQ(HI_MPI_SYS_InitPtsBase(wall), HI_SUCCESS);
    ASSERT_EQ(HI_MPI_SYS_GetCurPts(&pts), HI_SUCCESS);
    EXPECT_GE(pts, wall);
    EXPECT_LT(pts - wall, 500000u);
}

TEST_F(MpiSys, SmallStepBackHoldsTheClockARealChangePasses)
{
    ASSERT_EQ(BringUp(), HI_SUCCESS);
    const uint64_t base = 1500000000ull * 1000000;
    struct Case {
        const char* what;
        int64_t step;       // re-anchor relative to the clock now
        BOOL bMayDecrease;
    } cases[] = {
        {"forward", 250000, FALSE},
        {"20 ms back", -20000, FALSE},
        {"900 ms back", -900000, FALSE},
        {"an hour back", -3600ll * 1000000, TRUE},
        {"a day forward", 86400ll * 1000000, FALSE},
    };
    ASSERT_EQ(HI_MPI_SYS_InitPtsBase(base), HI_SUCCESS);
    for (const Case& c : cases) {
        HI_U64 before = 0;
        ASSERT_EQ(HI_MPI_SYS_GetCurPts(&before), HI_SUCCESS);
        ASSERT_EQ(HI_MPI_SYS_SyncPts(static_cast<HI_U64>(static_cast<int64_t>(before) + c.step)), HI_SUCCESS);
        HI_U64 after = 0;
        ASSERT_EQ(HI_MPI_SYS_GetCurPts(&after), HI_SUCCESS);
        if (c.bMayDecrease) {
            EXPECT_LT(after, before) << c.what;
            EXPECT_NEAR(static_cast<double>(before - after), 3600e6, 1e6) << c.what;
        } else {
            EXPECT_GE(after, before) << c.what;
        }
        if (c.step > 0) {
            EXPECT_GE(after, before + c.step) << c.what;
        }
    }
}

TEST_F(MpiSys, InjectedFailuresAreReturnedUnchangedForTheirCount)
{
    ASSERT_EQ(BringUp(), HI_SUCCESS);
    const MPP_CHN_S vpss0 = Node(HI_ID_VPSS, 0, 0);
    const MPP_CHN_S venc0 = Node(HI_ID_VENC, 0, 0);
    const MPP_CHN_S venc3 = Node(HI_ID_VENC, 0, 3);
    const HI_S32 code = static_cast<HI_S32>(0xA0028012u);
    XMediaSimFail("HI_MPI_SYS_Bind", code, 3, 2);
    EXPECT_EQ(HI_MPI_SYS_Bind(&vpss0, &venc0), HI_SUCCESS) << "other channel";
    EXPECT_EQ(HI_MPI_SYS_Bind(&vpss0, &venc3), code);
    EXPECT_EQ(HI_MPI_SYS_Bind(&vpss0, &venc3), code);
    EXPECT_EQ(HI_MPI_SYS_Bind(&vpss0, &venc3), HI_SUCCESS) << "after two";
    XMediaSimFail("HI_MPI_SYS_Init", -1);
    EXPECT_EQ(HI_MPI_SYS_Init(), -1);
    EXPECT_EQ(HI_MPI_SYS_Init(), -1);
    XMediaSimClearFaults();
    EXPECT_EQ(HI_MPI_SYS_Init(), HI_SUCCESS);
}
