// The web bridges over recording fakes: result mapping, the boot
// environment, the Wi-Fi texts, channel 1's frames and the pause reasons.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "HttpServer/IniReports.h"
#include "HttpServer/ProcessGet.h"
#include "HttpServer/httpcmd/HttpCmd.h"
#include "Record/PauseReasons.h"
#include "support/TestBoard.h"
#include "tests/HttpServer/FakeWebPorts.h"

namespace {

class WebBridgesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CPauseReasons::instance()->Reset();
        CWebBridges::instance()->Bind(m_Ports.Roles());
    }
    void TearDown() override
    {
        XBindCameraBridges();
        CPauseReasons::instance()->Reset();
    }
    CFakeWebPorts m_Ports;
};

TEST_F(WebBridgesTest, SuccessIsZeroAndFailureMinusOne)
{
    struct Case {
        const char* name;
        std::function<int()> call;
        const char* recorded;
    };
    const std::vector<Case> cases = {
        {"DeleteCommonVideoFile", [] { return DeleteCommonVideoFile("a.mp4"); }, "delc a.mp4"},
        {"DeleteAlarmVideoFile", [] { return DeleteAlarmVideoFile("b.mp4"); }, "dela b.mp4"},
        {"DeleteAlarmImageFile", [] { return DeleteAlarmImageFile("c.jpg"); }, "deli c.jpg"},
        {"CleanAllCommonVideoFile", [] { return CleanAllCommonVideoFile(); }, "cleanc"},
        {"CleanAllAlarmVideoFile", [] { return CleanAllAlarmVideoFile(); }, "cleana"},
        {"CleanAllAlarmImgFile", [] { return CleanAllAlarmImgFile(); }, "cleani"},
        {"SetFileSpaceQuotaOnSD", [] { return SetFileSpaceQuotaOnSD(60, 30, 10); }, "quota"},
        {"ForceFactoryTest", [] { return ForceFactoryTest(); }, nullptr},
        {"ForceFactoryTestDone", [] { return ForceFactoryTestDone(); }, nullptr},
        {"SetDisplaySpeedOSD", [] { return SetDisplaySpeedOSD(1); }, nullptr},
        {"EnableCVBSOutput", [] { return EnableCVBSOutput(); }, nullptr},
    };
    for (const Case& c : cases) {
        for (BOOL r : {TRUE, FALSE}) {
            SCOPED_TRACE(std::string(c.name) + (r ? " ok" : " failing"));
            m_Ports.calls.clear();
            m_Ports.result = r;
            EXPECT_EQ(c.call(), r ? 0 : -1);
            if (c.recorded != nullptr) {
                EXPECT_EQ(m_Ports.Count(c.recorded), 1);
            }
        }
    }
}

TEST_F(WebBridgesTest, ForwardedResultsAndSpaceQueries)
{
    for (int r : {0, -1, -2, -3}) {
        m_Ports.formatResult = r;
        EXPECT_EQ(FormatSD(), r);
    }
    char buf[64];
    EXPECT_EQ(GetCommonVideoJson(buf, sizeof(buf)), static_cast<int>(m_Ports.commonList.size()));
    EXPECT_EQ(GetCommonVideoJson(buf, 4), -1);

    int state = -1;
    uint64_t total = 0;
    uint64_t freeBytes = 0;
    m_Ports.sdState = emSDState_Insert;
    m_Ports.result = FALSE;
    EXPECT_EQ(GetSDInfo(&state, &total, &freeBytes), -1);
    EXPECT_EQ(state, emSDState_Insert);  // written whatever the query says
    m_Ports.result = TRUE;
    EXPECT_EQ(GetSDInfo(&state, &total, &freeBytes), 0);
    EXPECT_EQ(total, 100u);
    EXPECT_EQ(freeBytes, 40u);
}

TEST_F(WebBridgesTest, StubsFailAndWriteNothing)
{
    char json[8] = "keep";
    int len = 8;
    EXPECT_EQ(SwitchToTrainMode(), -1);
    EXPECT_EQ(SwitchToWakeupMode(), -1);
    EXPECT_EQ(StartVoiceTrain(1, "x", 0), -1);
    EXPECT_EQ(ContinueVoiceTrain(), -1);
    EXPECT_EQ(RestartVoiceTrain(), -1);
    EXPECT_EQ(CancelVoiceTrain(1), -1);
    EXPECT_EQ(VoiceTrainDone(), -1);
    EXPECT_EQ(GetHWVoiceWakeUpInfoAsJSON(json, &len), -1);
    EXPECT_STREQ(json, "keep");
    EXPECT_EQ(len, 8);
    EXPECT_EQ(GetAEGlobalHist5Statistics(nullptr, nullptr), -1);
    EXPECT_EQ(SetCSCAttr(), -1);
    EXPECT_EQ(GetCSCAttr(), -1);
}

TEST_F(WebBridgesTest, UbootEnvSetSaveAndCopiedValue)
{
    EXPECT_EQ(SetUbootEnv("a", nullptr, 0), 0);  // deleted in memory, flash untouched
    EXPECT_EQ(m_Ports.Count("delenv"), 1);
    EXPECT_EQ(m_Ports.Count("saveenv"), 0);
    m_Ports.saveEnvResult = FALSE;
    EXPECT_EQ(SetUbootEnv("a", "1", 1), -2);
    m_Ports.setEnvResult = FALSE;
    EXPECT_EQ(SetUbootEnv("a", "1", 1), -1);
    EXPECT_EQ(m_Ports.Count("saveenv"), 1);  // not saved after a failed set

    m_Ports.envValue = "first";
    const char* v = GetUbootEnv("a");
    ASSERT_NE(v, nullptr);
    EXPECT_STREQ(v, "first");
    m_Ports.envValue = "second";  // the store changes: the copy handed out stays
    EXPECT_STREQ(v, "first");
    m_Ports.envSet = false;
    EXPECT_EQ(GetUbootEnv("a"), nullptr);
}

TEST_F(WebBridgesTest, WifiTexts)
{
    struct Case {
        std::vector<std::string> lines;  // what the tool printed
        const char* expected;            // null: no text
    };
    const std::vector<Case> macs = {
        {{"wlan0     Link encap:Ethernet  HWaddr 02:11:22:33:44:55  "}, "02:11:22:33:44:55  "},
        {{"wlan0     Link encap:Ethernet  HWaddr 02:11:22:33:44:55  \n", "second line"}, "02:11:22:33:44:55  "},
        {{}, nullptr},                               // wlan0 absent
        {{"HWaddr 02:11:22:33"}, nullptr},           // shorter than 19
        {{"x02:11:22:33:44:55  "}, "02:11:22:33:44:55  "},
    };
    for (const Case& c : macs) {
        SCOPED_TRACE(c.lines.empty() ? std::string("none") : c.lines.front());
        m_Ports.shellLines = c.lines;
        const char* mac = GetWifiMacStr();
        if (c.expected != nullptr) {
            ASSERT_NE(mac, nullptr);
            EXPECT_EQ(std::string(mac), c.expected);
        } else {
            EXPECT_EQ(mac, nullptr);
        }
    }
    const std::vector<Case> levels = {
        {{"          Link Quality=70/70  Signal level=-45 dBm  Noise level=-92 dBm"}, "-45 dBm"},
        {{"          Signal level=-100 dBm"}, "-100 dB"},
        {{}, nullptr},
        {{"  Link Quality=70/70"}, nullptr},         // no level
        {{"  Signal level=-45"}, nullptr},           // fewer than 7 after it
        {{"  Signal level="}, nullptr},
        {{"  Signal level=-45 dBm"}, "-45 dBm"},     // exactly 7
    };
    for (const Case& c : levels) {
        SCOPED_TRACE(c.lines.empty() ? std::string("none") : c.lines.front());
        m_Ports.shellLines = c.lines;
        const char* level = GetWifiSignalLevelStr();
        if (c.expected != nullptr) {
            ASSERT_NE(level, nullptr);
            EXPECT_EQ(std::string(level), c.expected);
        } else {
            EXPECT_EQ(level, nullptr);
        }
    }
    EXPECT_EQ(m_Ports.Count("sh ifconfig wlan0 | grep -i Hwaddr"), static_cast<int>(macs.size()));
    EXPECT_EQ(m_Ports.Count("sh iwconfig wlan0 | grep -i Signal"), static_cast<int>(levels.size()));
}

TEST_F(WebBridgesTest, FramePackTable)
{
    const std::string sps = XNal(0x67, 10);
    const std::string pps = XNal(0x68, 4);
    const std::string sei = XNal(0x06, 20);
    const std::string idrSlice = XNal(0x65, 100);
    const std::string p = XNal(0x61, 50);
    std::vector<uint8_t> out(1024, 0);
    int idr = -1;

    m_Ports.frames.push_back({sps, pps, sei, idrSlice});
    int n = GetFrame(out.data(), static_cast<int>(out.size()), &idr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data()), static_cast<size_t>(n)), sps + pps + idrSlice);
    EXPECT_EQ(idr, 1);

    m_Ports.frames.push_back({p});
    n = GetFrame(out.data(), static_cast<int>(out.size()), &idr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data()), static_cast<size_t>(n)), p);
    EXPECT_EQ(idr, 0);

    // a 4-byte pack (start code only) and a SEI-only frame copy nothing
    m_Ports.frames.push_back({std::string("\0\0\0\1", 4), p});
    n = GetFrame(out.data(), static_cast<int>(out.size()), &idr);
    EXPECT_EQ(n, static_cast<int>(p.size()));
    m_Ports.frames.push_back({sei});
    EXPECT_EQ(GetFrame(out.data(), static_cast<int>(out.size()), &idr), 0);
    EXPECT_EQ(m_Ports.held, 0);

    // nothing queued: 0, not a failure
    EXPECT_EQ(GetFrame(out.data(), static_cast<int>(out.size()), &idr), 0);

    // too large: released, not copied, and the P frames up to the next IDR go too
    out.assign(1024, 0xEE);
    m_Ports.frames.push_back({sps, pps, XNal(0x65, 2000)});
    m_Ports.frames.push_back({p});
    m_Ports.frames.push_back({sps, pps, idrSlice});
    EXPECT_EQ(GetFrame(out.data(), static_cast<int>(out.size()), &idr), 0);
    EXPECT_EQ(out[0], 0xEE);
    EXPECT_EQ(GetFrame(out.data(), static_cast<int>(out.size()), &idr), 0);
    n = GetFrame(out.data(), static_cast<int>(out.size()), &idr);
    EXPECT_EQ(n, static_cast<int>(sps.size() + pps.size() + idrSlice.size()));
    EXPECT_EQ(idr, 1);
    EXPECT_TRUE(m_Ports.frames.empty());
    EXPECT_EQ(m_Ports.held, 0);

    // no buffer: taken and dropped
    m_Ports.frames.push_back({p});
    EXPECT_EQ(GetFrame(nullptr, 0, nullptr), 1);
    EXPECT_TRUE(m_Ports.frames.empty());
}

TEST_F(WebBridgesTest, NewStreamDrainsThenWaitsForIdr)
{
    const std::string p = XNal(0x61, 50);
    const std::string key = XNal(0x67, 8) + XNal(0x68, 4);
    std::vector<char> out(4096);
    for (int i = 0; i < 5; ++i) {
        m_Ports.frames.push_back({p});
    }
    // queued frames are dropped; with only P frames it gives up with 0
    EXPECT_EQ(GetH264SubStreamData(out.data(), static_cast<int>(out.size()), 1), 0);
    EXPECT_TRUE(m_Ports.frames.empty());

    m_Ports.frames.push_back({XNal(0x67, 8), XNal(0x68, 4), XNal(0x65, 30)});
    EXPECT_EQ(GetH264SubStreamData(out.data(), static_cast<int>(out.size()), 0),
              static_cast<int>(key.size() + 35));
}

TEST(FormatSpaceTest, Thresholds)
{
    const std::vector<std::pair<uint64_t, std::string>> cases = {
        {0, "0 B"},
        {1023, "1023 B"},
        {1024, "1.00 KB"},
        {1536, "1.50 KB"},
        {1048575, "1024.00 KB"},
        {1048576, "1.00 MB"},
        {1073741823, "1024.00 MB"},
        {1073741824, "1.00 GB"},
        {31914983424ULL, "29.72 GB"},
        {18446744073709551615ULL, "17179869184.00 GB"},
    };
    for (const auto& c : cases) {
        uint64_t n = c.first;
        char out[24] = {};
        format_space_as_str(&n, out);
        EXPECT_EQ(std::string(out), c.second) << c.first;
    }
}

TEST_F(WebBridgesTest, PauseReasonsHaveOwners)
{
    // the web command's pause, a download and the power line each hold their own
    PauseRecord();
    EXPECT_EQ(m_Ports.Count("pause"), 1);
    EXPECT_EQ(m_Ports.Count("cap-pause"), 1);
    EXPECT_EQ(m_Ports.Count("snap-pause"), 1);
    EXPECT_EQ(m_Ports.Count("sync"), 1);
    PauseRecordForSpeedTest();
    PauseRecordForSpeedTest();
    EXPECT_EQ(ResumeRecord(), TRUE);
    EXPECT_EQ(m_Ports.Count("resume"), 0);
    ResumeRecordForSpeedTest();
    EXPECT_EQ(m_Ports.Count("resume"), 0);
    CPauseReasons::instance()->Add(CPauseReasons::emPauseReason_PowerLine, [] {});
    ResumeRecordForSpeedTest();
    EXPECT_EQ(m_Ports.Count("resume"), 0);  // the power is still cut
    ResumeRecord();                           // not held by the command: nothing dropped
    CPauseReasons::instance()->Remove(CPauseReasons::emPauseReason_PowerLine, [] {});
    EXPECT_EQ(m_Ports.Count("resume"), 0);

    PauseRecordForSpeedTest();
    ResumeRecordForSpeedTest();
    EXPECT_EQ(m_Ports.Count("resume"), 1);
    EXPECT_EQ(m_Ports.Count("cap-resume"), 1);
    EXPECT_EQ(m_Ports.Count("snap-resume"), 1);

    // shut-down: a download ending then resumes nothing
    PauseRecordForSpeedTest();
    CPauseReasons::instance()->Release();
    ResumeRecordForSpeedTest();
    EXPECT_EQ(m_Ports.Count("resume"), 1);
}

}  // namespace

namespace {

// The camera's own ports on a simulated board: the tools' lines follow the
// board's wlan0.
TEST(WebBridgesBoardTest, WifiTextsFollowTheBoard)
{
    CTestBoard board;
    XBindCameraBridges();
    struct Case {
        const char* mac;     // sim/board mac value
        const char* signal;  // sim/board signal value
        const char* macText;
        const char* levelText;
    };
    const std::vector<Case> cases = {
        {"02:11:22:33:44:55", "-45", "02:11:22:33:44:55  ", "-45 dBm"},
        {"0a:bc:de:f0:12:34", "-71", "0A:BC:DE:F0:12:34  ", "-71 dBm"},
        {"02:11:22:33:44:55", "-100", "02:11:22:33:44:55  ", "-100 dB"},
        {"02:11:22:33:44:55", "missing", "02:11:22:33:44:55  ", nullptr},
        {"missing", "-45", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mac) + " " + c.signal);
        board.Sim("mac", c.mac);
        board.Sim("signal", c.signal);
        const char* mac = GetWifiMacStr();
        if (c.macText != nullptr) {
            ASSERT_NE(mac, nullptr);
            EXPECT_EQ(std::string(mac), c.macText);
        } else {
            EXPECT_EQ(mac, nullptr);
        }
        const char* level = GetWifiSignalLevelStr();
        if (c.levelText != nullptr) {
            ASSERT_NE(level, nullptr);
            EXPECT_EQ(std::string(level), c.levelText);
        } else {
            EXPECT_EQ(level, nullptr);
        }
    }
}

}  // namespace
