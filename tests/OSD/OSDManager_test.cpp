// The overlay manager on the simulated board's regions: regions and their
// places per channel, layouts, texts, messages and the faults it guards
// against. Region bitmaps are read back and compared with the Python renderer.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Function/RecTime.h"
#include "Platform/MediaSim.h"
#include "tests/OSD/OSDTestSupport.h"

namespace {

class OSDManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        XMediaSimReset();
        XTestSizes() = tagTestSizes();
        XTestSetModel(nullptr);
        m_Osd.Bind(&m_Sources);
    }
    void TearDown() override
    {
        m_Osd.CleanUp();
        XTestSetModel(nullptr);
        XMediaSimReset();
    }

    BOOL Init()
    {
        testing::internal::CaptureStdout();
        const BOOL ok = m_Osd.Init();
        m_strOut = testing::internal::GetCapturedStdout();
        return ok;
    }

    // Sends a message and waits until the thread has dealt with it (a module
    // state flip after it in the queue).
    void Send(unsigned msg, unsigned wpa, uint32_t lpa)
    {
        const BOOL before = m_Osd.m_bGPSModuleActive;
        ASSERT_TRUE(m_Osd.SendMsg(msg, wpa, lpa));
        ASSERT_TRUE(m_Osd.SendMsg(XM_GPS_MODULE_ACTIVE, before ? 0 : 1, 0));
        ASSERT_TRUE(XTestWaitFor([&] { return m_Osd.m_bGPSModuleActive != before; }));
        ASSERT_TRUE(m_Osd.SendMsg(XM_GPS_MODULE_ACTIVE, before, 0));
        ASSERT_TRUE(XTestWaitFor([&] { return m_Osd.m_bGPSModuleActive == before; }));
    }

    CTestBoard m_Board;
    CTestOSDSources m_Sources;
    CTestOSDManager m_Osd;
    std::string m_strOut;
};

struct tagPlaceRow {
    RGN_HANDLE handle;
    int chn;
    int x;
    int y;
    int show;
    unsigned layer;
};

void ExpectPlaces(const std::vector<tagPlaceRow>& rows)
{
    for (const tagPlaceRow& r : rows) {
        SCOPED_TRACE("handle " + std::to_string(r.handle) + " on channel " + std::to_string(r.chn));
        const tagTestPlace p = XTestPlace(r.handle, r.chn);
        EXPECT_EQ(r.show, p.show);
        if (r.show >= 0) {
            EXPECT_EQ(r.x, p.x);
            EXPECT_EQ(r.y, p.y);
            EXPECT_EQ(r.layer, p.layer);
        }
    }
}

TEST_F(OSDManagerTest, InitWithoutModelMakesTwelveRegionsInPlace)
{
    ASSERT_TRUE(Init());
    EXPECT_EQ((std::vector<RGN_HANDLE>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}), XRgnSimHandles());
    EXPECT_EQ(std::string::npos, m_strOut.find("MODEL ="));
    ExpectPlaces({
        {0, 0, 752, 1040, 1, 3}, {1, 1, 224, 464, 1, 3}, {2, 2, 752, 1040, 1, 3}, {3, 3, 0, 32, 0, 3},
        {4, 0, 0, 64, 0, 4},     {5, 1, 0, 64, 0, 4},    {6, 2, 0, 64, 0, 4},     {7, 3, 0, 80, 0, 4},
        {8, 0, 48, 32, 1, 0},    {9, 1, 24, 16, 1, 0},   {10, 2, 48, 32, 1, 0},   {11, 3, 0, 0, 0, 0},
    });
    for (RGN_HANDLE h : {0u, 1u, 2u, 3u}) {
        EXPECT_EQ(1u, XTestRgn(h).attach.size()) << "one channel each";
    }
    // region sizes and the logos handed over
    const unsigned sizes[12][2] = {{400, 32}, {192, 16}, {400, 32}, {192, 16}, {176, 32}, {80, 16},
                                   {176, 32}, {80, 16},  {144, 48}, {96, 32},  {144, 48}, {96, 32}};
    for (RGN_HANDLE h = 0; h < 12; ++h) {
        const tagRgnSimInfo info = XTestRgn(h);
        EXPECT_EQ(sizes[h][0], info.attr.unAttr.stOverlay.stSize.u32Width) << h;
        EXPECT_EQ(sizes[h][1], info.attr.unAttr.stOverlay.stSize.u32Height) << h;
        EXPECT_EQ(PIXEL_FORMAT_RGB_1555, info.attr.unAttr.stOverlay.enPixelFmt);
        for (const tagRgnSimAttach& a : info.attach) {
            EXPECT_EQ(128u, a.attr.unChnAttr.stOverlayChn.u32FgAlpha);
            EXPECT_EQ(0u, a.attr.unChnAttr.stOverlayChn.u32BgAlpha);
            EXPECT_FALSE(a.attr.unChnAttr.stOverlayChn.stInvertColor.bInvColEn);
        }
    }
    for (RGN_HANDLE h : {8u, 9u, 10u, 11u}) {
        EXPECT_EQ(1u, XTestRgn(h).u64SetBitMap) << h;
    }
    EXPECT_EQ(94u, XTestRgn(9).u32BmpWidth);
    EXPECT_EQ(144u, XTestRgn(8).u32BmpWidth);
    EXPECT_FALSE(m_Osd.IsThreadOver());
    EXPECT_TRUE(m_Osd.m_bShowSpeedOSD);

    // the producer's ticks reach the timestamps of channels 0-2, never 3
    EXPECT_TRUE(XTestWaitFor([] { return XTestRgn(0).u64SetBitMap > 0 && XTestRgn(2).u64SetBitMap > 0; }));
    EXPECT_GT(XTestRgn(1).u64SetBitMap, 0u);
    EXPECT_EQ(0u, XTestRgn(3).u64SetBitMap);

    EXPECT_TRUE(m_Osd.CleanUp());
    EXPECT_TRUE(XRgnSimHandles().empty());
    EXPECT_TRUE(m_Osd.IsThreadOver());
}

TEST_F(OSDManagerTest, LayoutsWithAndWithoutSpeed)
{
    ASSERT_TRUE(Init());
    EXPECT_TRUE(m_Osd.LayoutOSD(1));
    ExpectPlaces({
        {0, 0, 672, 1040, 1, 3}, {4, 0, 1072, 1040, 1, 4}, {1, 1, 176, 464, 1, 3}, {5, 1, 368, 464, 1, 4},
        {2, 2, 672, 1040, 1, 3}, {6, 2, 1072, 1040, 1, 4}, {3, 3, 0, 0, 0, 3},     {7, 3, 0, 16, 1, 4},
        {8, 0, 48, 32, 1, 0},    {9, 1, 24, 16, 1, 0},
    });
    EXPECT_TRUE(m_Osd.LayoutOSD(0));
    ExpectPlaces({{0, 0, 752, 1040, 1, 3}, {4, 0, 1072, 1040, 0, 4}, {7, 3, 0, 16, 0, 4}});

    // a 720p main stream after a resolution switch
    XTestSizes().w[0] = 1280;
    XTestSizes().h[0] = 720;
    EXPECT_TRUE(m_Osd.LayoutOSD(0));
    ExpectPlaces({{0, 0, 432, 688, 1, 3}, {8, 0, 48, 32, 1, 0}});

    // the parking switch's form: speed only while a receiver answers and it is shown
    EXPECT_TRUE(m_Osd.LayoutOSD());
    EXPECT_EQ(0, XTestPlace(4, 0).show);
    m_Osd.m_bGPSModuleActive = 1;
    EXPECT_TRUE(m_Osd.LayoutOSD());
    EXPECT_EQ(1, XTestPlace(4, 0).show);

    // a group larger than its channel starts at the corner instead of wrapping
    XTestSizes().w[1] = 64;
    XTestSizes().h[1] = 8;
    EXPECT_TRUE(m_Osd.LayoutOSD(1));
    ExpectPlaces({{1, 1, 0, 0, 1, 3}, {5, 1, 192, 0, 1, 4}});
}

TEST_F(OSDManagerTest, ModelLeftOfTheTimestamp)
{
    XTestSetModel("MX1");
    ASSERT_TRUE(Init());
    EXPECT_NE(std::string::npos, m_strOut.find("MODEL = MX1\n"));
    EXPECT_EQ(16u, XRgnSimHandles().size());
    const tagRgnSimInfo m0 = XTestRgn(12);
    const unsigned mw = m0.attr.unAttr.stOverlay.stSize.u32Width;  // 3 x the widest of M, X, 1
    EXPECT_EQ(0u, mw % 3);
    const int x0 = static_cast<int>(((1920 - (mw + 400)) / 2) & ~15u);
    const int ts = static_cast<int>((x0 + mw + 15) & ~15u);
    ExpectPlaces({{12, 0, x0, 1040, 1, 0}, {0, 0, ts, 1040, 1, 3}, {15, 3, 0, 0, -1, 0}});
    EXPECT_EQ(1u, XTestRgn(12).u64SetBitMap);
    EXPECT_EQ(0u, XTestRgn(15).u64SetBitMap) << "channel 3's model is never drawn";

    // channel 3's model is not attached: the layout skips it and succeeds
    EXPECT_TRUE(m_Osd.LayoutOSD(1));
    EXPECT_TRUE(m_Osd.LayoutOSD(0));
    EXPECT_EQ(-1, XTestPlace(15, 3).show);
    ExpectPlaces({{12, 0, x0, 1040, 1, 0}, {0, 0, ts, 1040, 1, 3}});

    CTestRenderCheck check(m_Board);
    check.Expect(12, 32, "MX1");
    check.Expect(13, 16, "MX1");
    check.Run();
}

TEST_F(OSDManagerTest, ModelTextIsBounded)
{
    // a model of thousands of characters (settable from the app, kept in flash)
    XTestSetModel(std::string(5000, 'A').c_str());
    ASSERT_TRUE(Init());
    EXPECT_NE(std::string::npos, m_strOut.find("MODEL = " + std::string(31, 'A') + "\n"));
    EXPECT_EQ(std::string::npos, m_strOut.find(std::string(32, 'A')));
    CTestRenderCheck check(m_Board);
    check.Expect(12, 32, std::string(31, 'A'));
    check.Run();
}

TEST_F(OSDManagerTest, ModelWithAMissingGlyphHandsNothingOver)
{
    XTestSetModel("MYX");
    testing::internal::CaptureStderr();
    ASSERT_TRUE(Init());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("]: [OSD] UNKNOW ERROR\n")) << err;
    EXPECT_EQ(16u, XRgnSimHandles().size());
    for (RGN_HANDLE h : {12u, 13u, 14u}) {
        EXPECT_EQ(0u, XTestRgn(h).u64SetBitMap) << h;
    }
}

TEST_F(OSDManagerTest, ModelWithoutAnyGlyphMakesNoModelRegion)
{
    XTestSetModel("YYY");
    ASSERT_TRUE(Init());
    EXPECT_EQ(12u, XRgnSimHandles().size());
    ExpectPlaces({{0, 0, 752, 1040, 1, 3}});
}

TEST_F(OSDManagerTest, InitFailureLeavesNothing)
{
    XMediaSimFail("HI_MPI_RGN_Create", XMpiErrCode(HI_ID_RGN, EN_ERR_NOMEM), 9, 1);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Init());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("]: HI_MPI_RGN_Create [9] failed with 0xa003800c \n")) << err;
    EXPECT_NE(std::string::npos, err.find("]: INIT OSD ERROR.\n")) << err;
    EXPECT_TRUE(XRgnSimHandles().empty());
    EXPECT_TRUE(m_Osd.IsThreadOver());
    // a later Init works
    EXPECT_TRUE(Init());
    EXPECT_EQ(12u, XRgnSimHandles().size());
}

TEST_F(OSDManagerTest, SpeedTexts)
{
    ASSERT_TRUE(Init());
    CTestRenderCheck check(m_Board);
    const struct {
        unsigned speed;
        const char* text;
    } rows[] = {{0xFFFFFFFFu, "- km/h"}, {1000, "- km/h"}, {999, "999 km/h"}, {0, "0 km/h"},
                {10, "10 km/h"},       {9, "9 km/h"}};
    for (const auto& r : rows) {
        EXPECT_TRUE(m_Osd.ShowSpeed(r.speed, 0));
        EXPECT_EQ(r.speed, m_Osd.m_CurOSDSpeed);
        check.Expect(4, 32, r.text);
        check.Expect(5, 16, r.text);
        check.Expect(6, 32, r.text);
    }
    EXPECT_EQ(0u, XTestRgn(7).u64SetBitMap) << "channel 3's speed is never drawn";
    check.Run();
}

TEST_F(OSDManagerTest, SpeedMessages)
{
    ASSERT_TRUE(Init());
    m_Osd.m_bShowSpeedOSD = 1;
    Send(XM_GPS_SPEED, 0, 42);
    EXPECT_EQ(42u, m_Osd.m_CurOSDSpeed);
    const uint64_t drawn = XTestRgn(4).u64SetBitMap;
    EXPECT_EQ(1u, drawn);

    // the same value again: not drawn, unless forced; the force is used once
    Send(XM_GPS_SPEED, 0, 42);
    EXPECT_EQ(drawn, XTestRgn(4).u64SetBitMap);
    m_Osd.m_forceshowspeed = 1;
    Send(XM_GPS_SPEED, 0, 42);
    EXPECT_EQ(drawn + 1, XTestRgn(4).u64SetBitMap);
    EXPECT_FALSE(m_Osd.m_forceshowspeed);
    Send(XM_GPS_SPEED, 0, 42);
    EXPECT_EQ(drawn + 1, XTestRgn(4).u64SetBitMap);

    // switched off: a speed changes nothing, not even the value kept
    m_Osd.m_bShowSpeedOSD = 0;
    Send(XM_GPS_SPEED, 0, 77);
    EXPECT_EQ(42u, m_Osd.m_CurOSDSpeed);
    EXPECT_EQ(drawn + 1, XTestRgn(4).u64SetBitMap);

    // shown through the web bridge's call: a layout with the speed once a receiver answers
    int shown = -1;
    m_Osd.GetDisplayGPSSpeedOSD(shown);
    EXPECT_EQ(0, shown);
    ASSERT_TRUE(m_Osd.SendMsg(XM_GPS_MODULE_ACTIVE, 1, 0));
    ASSERT_TRUE(XTestWaitFor([&] { return m_Osd.m_bGPSModuleActive == 1; }));
    EXPECT_TRUE(m_Osd.SetDisplayGPSSpeedOSD(1));
    ASSERT_TRUE(XTestWaitFor([&] { return XTestPlace(4, 0).show == 1; }));
    m_Osd.GetDisplayGPSSpeedOSD(shown);
    EXPECT_EQ(1, shown);
    ExpectPlaces({{0, 0, 672, 1040, 1, 3}, {4, 0, 1072, 1040, 1, 4}});
    Send(XM_DISPLAY_GPS_SPEED_OSD, 0, 0);
    ExpectPlaces({{0, 0, 752, 1040, 1, 3}, {4, 0, 1072, 1040, 0, 4}});
}

TEST_F(OSDManagerTest, TimestampTexts)
{
    ASSERT_TRUE(Init());
    ASSERT_TRUE(Init()) << "a second Init starts afresh";
    EXPECT_EQ(12u, XRgnSimHandles().size());
    ASSERT_TRUE(m_Osd.DestroyThread(TRUE));  // no ticks: the texts drawn here stay
    CTestRenderCheck check(m_Board);
    RECTIME t = RECTIME::Make(26, 12, 11, 23, 59, 58);
    EXPECT_TRUE(m_Osd.ShowTimestamp(&t));
    check.Expect(0, 32, "2026-12-11 23:59:58");
    t = RECTIME::Make(27, 1, 1, 0, 0, 0);
    EXPECT_TRUE(m_Osd.ShowTimestamp(&t));
    check.Expect(0, 32, "2027-01-01 00:00:00");
    check.Expect(1, 16, "2027-01-01 00:00:00");
    check.Expect(2, 32, "2027-01-01 00:00:00");
    EXPECT_EQ(0u, XTestRgn(3).u64SetBitMap);
    // the clock's own form, as UTC
    EXPECT_TRUE(m_Osd.ShowTimestamp());
    EXPECT_TRUE(m_Osd.UpdateOSD(1, 0, 55));
    EXPECT_EQ(55u, m_Osd.m_CurOSDSpeed);
    EXPECT_FALSE(m_Osd.UpdateOSD(2, 0, 0));
    check.Run();
}

TEST_F(OSDManagerTest, CleanUpWithTicksRunning)
{
    XTestSetModel("MX1");
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(Init());
        std::atomic<bool> stop{false};
        std::thread spam([&] {
            while (!stop) {
                m_Osd.SendMsg(XM_UPDATE_TIMESTAMP, 0, 0);
                m_Osd.SendMsg(XM_GPS_SPEED, 0, 5);
                std::this_thread::yield();
            }
        });
        ASSERT_TRUE(XTestWaitFor([] { return XTestRgn(0).u64SetBitMap > 2; }));
        testing::internal::CaptureStdout();
        EXPECT_TRUE(m_Osd.CleanUp());
        EXPECT_NE(std::string::npos, testing::internal::GetCapturedStdout().find("COSDManager thread quiting..."));
        stop = true;
        spam.join();
        EXPECT_TRUE(XRgnSimHandles().empty());
        // no drawing after clean-up
        EXPECT_FALSE(m_Osd.ShowSpeed(6, 1));
    }
}

TEST_F(OSDManagerTest, PositionByAlignment)
{
    ASSERT_TRUE(Init());
    unsigned x = 0;
    unsigned y = 0;
    EXPECT_TRUE(m_Osd.GetOSDPostion(0, m_Osd.m_TimestampOSD[0], 0, COSDManager::emAlign_Center, x, y));
    EXPECT_EQ(752u, x);
    EXPECT_EQ(1040u, y);
    EXPECT_TRUE(m_Osd.GetOSDPostion(0, m_Osd.m_TimestampOSD[0], 100, COSDManager::emAlign_Right, x, y));
    EXPECT_EQ(1808u, x);
    EXPECT_TRUE(m_Osd.GetOSDPostion(0, m_Osd.m_TimestampOSD[0], 0, COSDManager::emAlign_Left, x, y));
    EXPECT_EQ(16u, x);
    EXPECT_FALSE(m_Osd.GetOSDPostion(4, m_Osd.m_TimestampOSD[0], 0, COSDManager::emAlign_Left, x, y));
    EXPECT_FALSE(
        m_Osd.GetOSDPostion(0, m_Osd.m_TimestampOSD[0], 0, static_cast<COSDManager::emAlignType>(3), x, y));
    // channel 3: the 192-px timestamp is clipped to 176 x 120
    EXPECT_TRUE(m_Osd.GetOSDPostion(3, m_Osd.m_TimestampOSD[3], 0, COSDManager::emAlign_Center, x, y));
    EXPECT_EQ(0u, x);
    EXPECT_EQ(96u, y);
}

// A text overlay alone: incremental drawing and its cache.
class TextOSDTest : public ::testing::Test {
protected:
    void SetUp() override { XMediaSimReset(); }
    void TearDown() override { XMediaSimReset(); }
    CTestBoard m_Board;
};

std::vector<uint16_t> U16(const std::string& s)
{
    return std::vector<uint16_t>(s.begin(), s.end());
}

BOOL Show(CTextOSD& osd, const std::string& s)
{
    const std::vector<uint16_t> t = U16(s);
    testing::internal::CaptureStderr();
    const BOOL ok = osd.ShowString(t.data(), static_cast<int>(t.size()));
    testing::internal::GetCapturedStderr();
    return ok;
}

TEST_F(TextOSDTest, IncrementalDrawingMatchesAFreshRender)
{
    CTextOSD osd(emOSDSize_Medium, emTextOSDType_Def);
    osd.SetWidth(300);
    ASSERT_TRUE(osd.CreateRgn(20));
    CTestRenderCheck check(m_Board);

    ASSERT_TRUE(Show(osd, "MMMM"));
    // a missing glyph after a narrower one: nothing handed over, the cache cut there
    EXPECT_FALSE(Show(osd, "1Y"));
    EXPECT_EQ(1u, XTestRgn(20).u64SetBitMap);
    ASSERT_TRUE(Show(osd, "1MMM"));
    check.Expect(20, 32, "1MMM");
    ASSERT_TRUE(Show(osd, "1M"));
    check.Expect(20, 32, "1M");
    // a text wider than the region is cut at the last whole glyph
    ASSERT_TRUE(Show(osd, "WWWWWWWWWWWWWW"));
    check.Expect(20, 32, "WWWWWWWWWWWWWW");
    check.Run();
}

TEST_F(TextOSDTest, AtMostSixtyFourCharacters)
{
    CTextOSD osd(emOSDSize_Small, emTextOSDType_Def);
    osd.SetWidth(2000);
    ASSERT_TRUE(osd.CreateRgn(21));
    const std::string text(100, '1');
    ASSERT_TRUE(Show(osd, text));
    ASSERT_TRUE(Show(osd, std::string(99, '1') + "2"));
    CTestRenderCheck check(m_Board);
    check.Expect(21, 16, std::string(64, '1'));
    check.Run();
}

// A text overlay over a set whose glyph rows are padded far past twice
// their width.
class CPaddedTextOSD : public CTextOSD {
public:
    CPaddedTextOSD() : CTextOSD(emOSDSize_Small, emTextOSDType_Def)
    {
        // 'a': 4 px wide, 16 rows of 32 bytes
        const uint16_t head[4] = {'a', 4, 16, 32};
        m_Data = {'a', 0, 0, 0};
        for (uint16_t v : head) {
            m_Data.push_back(static_cast<uint8_t>(v & 0xFF));
            m_Data.push_back(static_cast<uint8_t>(v >> 8));
        }
        for (int row = 0; row < 16; ++row) {
            for (int b = 0; b < 32; ++b) {
                m_Data.push_back(static_cast<uint8_t>(b < 8 ? 0xFF : 0x00));
            }
        }
    }
    BOOL LoadImageDataBase() override
    {
        if (m_ImgDB == nullptr) {
            m_ImgDB = new CCharImageDataBase;
            return m_ImgDB->ParseData(m_Data.data(), static_cast<unsigned>(m_Data.size()));
        }
        return TRUE;
    }
    using CTextOSD::m_CurOSDStrInfo;

private:
    std::vector<uint8_t> m_Data;
};

TEST_F(TextOSDTest, GlyphsStayInsideTheRow)
{
    CPaddedTextOSD osd;
    osd.SetWidth(16);  // rows of 32 bytes: four glyphs by width, one by padding
    ASSERT_TRUE(osd.CreateRgn(22));
    ASSERT_TRUE(Show(osd, "aaaa"));
    EXPECT_EQ('a', osd.m_CurOSDStrInfo[0].utf16);
    EXPECT_EQ(0, osd.m_CurOSDStrInfo[1].utf16);
    const tagRgnSimInfo info = XTestRgn(22);
    ASSERT_EQ(32u * 16u, info.bitmap.size());
    EXPECT_EQ(0xFF, info.bitmap[0]);
    EXPECT_EQ(0xFF, info.bitmap[7]);
    EXPECT_EQ(0x00, info.bitmap[8]);
}

TEST_F(TextOSDTest, RegionOperationsNeedARegionAndAChannel)
{
    CTextOSD osd(emOSDSize_Small, emTextOSDType_Timestamp);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(osd.AttchToChannel(0, 0, 0, 0, 0, 128, 1));
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("]: RGN Not Create.\n"));
    EXPECT_FALSE(osd.SetPostion(16, 16));
    EXPECT_FALSE(osd.EnableDisplay(1));
    EXPECT_TRUE(osd.DestroyRgn());
    ASSERT_TRUE(osd.CreateRgn(5));
    EXPECT_FALSE(osd.SetPostion(16, 16)) << "not attached";
    ASSERT_TRUE(osd.AttchToChannel(2, 32, 48, 0, 3, 128 + 129, 0));
    EXPECT_EQ(128u, XTestRgn(5).attach[0].attr.unChnAttr.stOverlayChn.u32FgAlpha);
    EXPECT_TRUE(osd.EnableDisplay(0));
    XMediaSimFail("HI_MPI_RGN_SetDisplayAttr", XMpiErrCode(HI_ID_RGN, EN_ERR_BUSY), 5, 1);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(osd.SetPostion(64, 64));
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("]: HI_MPI_RGN_SetDisplayAttr(5) failed width 0xa0038012\n"));
    EXPECT_EQ(32u, osd.GetX());
    EXPECT_TRUE(osd.SetPostion(64, 80));
    EXPECT_EQ((tagTestPlace{64, 80, 0, 3}).y, XTestPlace(5, 2).y);
    EXPECT_TRUE(osd.EnableDisplay(1));
    EXPECT_EQ(1, XTestPlace(5, 2).show);
    EXPECT_TRUE(osd.DestroyRgn());
    EXPECT_TRUE(XRgnSimHandles().empty());
    EXPECT_EQ(-1, osd.GetBoundChannel());
    EXPECT_FALSE(Show(osd, "1"));
}

}  // namespace
