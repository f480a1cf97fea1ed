#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstring>
#include <string>
#include <vector>

#include "PlayAudio/PcmIndex.h"
#include "tests/Periphery/GPSTestSupport.h"

namespace {

typedef CRecordingLinks::tagMsg Msg;
const uint32_t kNone = 0xFFFFFFFFu;

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

// The UBX frame with its 8-bit Fletcher checksum over class, id, length and payload.
std::string Ubx(std::vector<unsigned char> body)
{
    unsigned char a = 0;
    unsigned char b = 0;
    for (unsigned char c : body) {
        a = static_cast<unsigned char>(a + c);
        b = static_cast<unsigned char>(b + a);
    }
    std::string out("\xB5\x62", 2);
    out.append(body.begin(), body.end());
    out += static_cast<char>(a);
    out += static_cast<char>(b);
    return out;
}

class GPSTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_Rig.Ok());
    }
    void Start()
    {
        testing::internal::CaptureStdout();
        const BOOL ok = m_Rig.m_GPS.Init();
        testing::internal::GetCapturedStdout();
        ASSERT_TRUE(ok);
    }
    CGPSRig m_Rig;
};

TEST_F(GPSTest, SetUpSendsTheTenFramesAndNothingEchoes)
{
    Start();
    std::string expected;
    const std::vector<std::vector<unsigned char>> bodies = {
        {0x06, 0x01, 0x08, 0x00, 0xF0, 0x00, 0, 0, 0, 0, 0, 0x01},  // CFG-MSG GGA
        {0x06, 0x01, 0x08, 0x00, 0xF0, 0x02, 0, 0, 0, 0, 0, 0x01},  // GSA
        {0x06, 0x01, 0x08, 0x00, 0xF0, 0x01, 0, 0, 0, 0, 0, 0x01},  // GLL
        {0x06, 0x01, 0x08, 0x00, 0xF0, 0x05, 0, 0, 0, 0, 0, 0x01},  // VTG
        {0x06, 0x08, 0x06, 0x00, 0xE8, 0x03, 0x01, 0x00, 0x01, 0x00},  // CFG-RATE 1000 ms
    };
    for (const auto& body : bodies) {
        expected += Ubx(body) + Ubx(body);
    }
    EXPECT_EQ(m_Rig.Drain(), expected);
    // a pause after every write
    EXPECT_EQ(m_Rig.m_Links.Sleeps(), std::vector<unsigned>(10, 200u));

    // NMEA with an XON/XOFF byte in a proprietary line: nothing comes back
    m_Rig.FeedRaw(std::string("$PUBX,\x11\x13,x\r\n"));
    ASSERT_TRUE(m_Rig.Sync("5.0", 9));
    EXPECT_EQ(m_Rig.Drain(), "");
}

TEST_F(GPSTest, MissingPortOrDeadWriteFailsInit)
{
    m_Rig.m_GPS.SetPortPath("/dev/ttyAMA9");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(m_Rig.m_GPS.Init());
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(m_Rig.m_GPS.CleanUp());  // safe after a failed Init
    EXPECT_FALSE(m_Rig.m_GPS.GPSModuleActive());
}

TEST_F(GPSTest, SentenceTable)
{
    struct tagCase {
        const char* name;
        std::string bytes;
        bool active;                   // a GPRMC was seen
        std::vector<uint32_t> speeds;  // km/h sent before the sync fix
        bool invalid;                  // the invalid-line message
    };
    const std::string fix5 = XFixRmc("5.0");
    std::string badsum = fix5;
    badsum[badsum.size() - 1] = badsum[badsum.size() - 1] == '0' ? '1' : '0';
    const std::string nostar = fix5.substr(0, fix5.find('*'));
    std::string lower = XFixRmc("12.5");  // 23 km/h
    for (size_t i = lower.find('*'); i < lower.size(); ++i) {
        lower[i] = static_cast<char>(tolower(lower[i]));
    }
    const std::string body23 = "GPRMC,123519.00,A,4807.0380,N,01131.0000,E,10.0,084.4,310717,003.1,W,A";
    const std::string body41 = body23 + ",V";
    // a 1300-byte line: a fix cut at 1023 bytes (its checksum lost) and, as
    // the next line, a fix whose skipped fields count in its checksum
    std::string head = "GPRMC,123519.00,A,4807.0380,N,01131.0000,E,30.0,084.4,310717,003.1,W,";
    head.append(1023 - 1 - head.size(), '0');
    std::string tailBody = "GPRMC,123519.00,A,4807.0380,N,01131.0000,E,20.0,084.4,310717,003.1,W,A";
    std::string tail = XNmea(tailBody + std::string(1300 - 1023 - (tailBody.size() + 4), ',')).substr(0);
    const std::string cut = "$" + head + tail;
    const std::string ubx("\xB5\x62\x05\x01\x02\x00\x06\x01\x0F\x38", 10);

    const tagCase cases[] = {
        {"5.0 knots", fix5 + "\r\n", true, {9}, false},
        {"bad checksum", badsum + "\r\n", true, {}, false},
        {"no checksum", nostar + "\r\n", true, {}, false},
        {"void, checksum not looked at", "$GPRMC,123520.00,V,,,,,,,310717,,,N*00\r\n", true, {}, false},
        {"NMEA 2.3 mode field", XNmea(body23) + "\r\n", true, {18}, false},
        {"NMEA 4.1 navigation status", XNmea(body41) + "\r\n", true, {18}, false},
        {"lower-case hex", lower + "\r\n", true, {23}, false},
        {"multi-GNSS talker ignored", XNmea("GN" + XFixRmc("5.0").substr(3, XFixRmc("5.0").find('*') - 3)) + "\r\n",
         false, {}, false},
        {"1300-byte line", cut + "\r\n", true, {37}, false},
        {"UBX frame before a sentence", ubx + fix5 + "\r\n", false, {}, true},
        {"no dollar", "GPRMC,1,A\r\n", false, {}, true},
        {"dollar alone", "$\r\n", false, {}, true},
        {"CR LF and LF", fix5 + "\r\n" + XFixRmc("10.0") + "\n", true, {9, 18}, false},
    };
    for (const tagCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<CGPSRig> rig(new CGPSRig);
        ASSERT_TRUE(rig->Ok());
        testing::internal::CaptureStdout();
        ASSERT_TRUE(rig->m_GPS.Init());
        rig->Drain();
        // marker lines around the case: what it printed lies between them
        rig->FeedRaw("MARK1\r\n" + c.bytes + "MARK2\r\n");
        const bool synced = rig->Sync("77.0", 142);
        const std::string out = testing::internal::GetCapturedStdout();
        ASSERT_TRUE(synced);
        const size_t from = out.find("\"MARK1\"");
        const size_t to = out.find("[GPS]INVALID LINE \"MARK2\"");
        ASSERT_NE(from, std::string::npos) << out;
        ASSERT_NE(to, std::string::npos) << out;
        const std::string between = out.substr(from + 7, to - from - 7);
        std::vector<uint32_t> speeds = rig->m_Links.Speeds();
        ASSERT_FALSE(speeds.empty());
        speeds.pop_back();  // the sync fix
        const bool active = between.find("GPS MODULE ACTIVE...") != std::string::npos;
        EXPECT_EQ(speeds, c.speeds);
        EXPECT_EQ(active, c.active);
        EXPECT_EQ(between.find("[GPS]INVALID LINE") != std::string::npos, c.invalid) << between;
    }
}

// Messages and prompts of a start without a fix, a fix, and a loss.
TEST_F(GPSTest, LostFixSequences)
{
    struct tagCase {
        const char* name;
        BOOL factoryOK;
        BOOL force;
        int voice;
        std::vector<Msg> msgs;
        std::vector<int> prompts;
    };
    const Msg active = {XM_GPS_MODULE_ACTIVE, 1, 0};
    const Msg show = {XM_DISPLAY_GPS_SPEED_OSD, 1, 0};
    const Msg hide = {XM_DISPLAY_GPS_SPEED_OSD, 0, 0};
    const Msg none = {XM_GPS_SPEED, 0, kNone};
    const Msg kmh9 = {XM_GPS_SPEED, 0, 9};
    const Msg kmh142 = {XM_GPS_SPEED, 0, 142};
    const tagCase cases[] = {
        // finished: the 4th void after start and the 3rd after a fix hide the speed
        {"finished device", TRUE, FALSE, 1, {active, hide, hide, show, kmh9, hide, hide, show, kmh142}, {PCM_GPS_LOCATE_SUCCESS}},
        {"finished, prompt off", TRUE, FALSE, 0, {active, hide, hide, show, kmh9, hide, hide, show, kmh142}, {}},
        // in production or with forced discovery "- km/h" stays
        {"production device", FALSE, FALSE, 1, {active, show, none, none, none, kmh9, none, none, kmh142},
         {PCM_GPS_LOCATE_SUCCESS}},
        {"forced discovery", TRUE, TRUE, 1, {active, show, none, none, none, kmh9, none, none, kmh142},
         {PCM_GPS_LOCATE_SUCCESS}},
    };
    for (const tagCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<CGPSRig> rig(new CGPSRig);
        ASSERT_TRUE(rig->Ok());
        rig->m_Links.m_bFactoryOK = c.factoryOK;
        rig->m_Links.m_bForce = c.force;
        rig->m_Links.m_nVoice = c.voice;
        testing::internal::CaptureStdout();
        ASSERT_TRUE(rig->m_GPS.Init());
        // 5 voids, a fix, 4 voids
        std::vector<std::string> lines(5, XVoidRmc());
        lines.push_back(XFixRmc("5.0"));
        lines.insert(lines.end(), 4, XVoidRmc());
        rig->Feed(lines);
        const bool synced = rig->SyncRecord("77.0", 142);
        const std::string out = testing::internal::GetCapturedStdout();
        ASSERT_TRUE(synced);
        EXPECT_EQ(rig->m_Links.Msgs(), c.msgs);
        EXPECT_EQ(rig->m_Links.Prompts(), c.prompts);
        EXPECT_EQ(Count(out, "GPS MODULE ACTIVE...\n"), 1u);
        // the 2nd void after start, then the 1st after the fix
        EXPECT_EQ(Count(out, "LOST SATELLITES ...\n"), 2u) << out;
        EXPECT_EQ(rig->Line().substr(0, 14), "20170731120000");
    }
}

TEST_F(GPSTest, LostSatellitesEveryTenthVoid)
{
    Start();
    testing::internal::CaptureStdout();
    m_Rig.Feed(std::vector<std::string>(22, XVoidRmc()));
    const bool synced = m_Rig.Sync("5.0", 9);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(synced);
    // voids 2, 12 and 22 (the counter starts at -1)
    EXPECT_EQ(Count(out, "LOST SATELLITES ...\n"), 3u) << out;
    EXPECT_EQ(Count(out, "GPS SB TIME = "), 0u);
}

TEST_F(GPSTest, SatelliteViewGivesThePromptOnceAfterTheThreshold)
{
    m_Rig.m_Links.m_bFactoryOK = FALSE;  // every void after the 3rd sends "- km/h": a sync point
    Start();
    const std::string gsv1 = XNmea("GPGSV,2,1,05,02,45,120,30,05,60,210,28,12,15,045,,15,30,300,22");
    const std::string gsv2 = XNmea("GPGSV,2,2,05,24,10,090,");
    auto voids = [&](int n) {
        std::vector<std::string> lines;
        for (int i = 0; i < n; ++i) {
            lines.push_back(XVoidRmc());
            lines.push_back(gsv1);
            lines.push_back(gsv2);
        }
        return lines;
    };
    auto noneSent = [&] {
        size_t n = 0;
        for (uint32_t s : m_Rig.m_Links.Speeds()) {
            n += s == kNone ? 1 : 0;
        }
        return n;
    };
    testing::internal::CaptureStdout();
    // no threshold drawn yet: satellites in view do not count
    m_Rig.Feed(voids(60));
    ASSERT_TRUE(XWaitFor([&] { return noneSent() == 1 + 57; }));
    EXPECT_EQ(m_Rig.m_Links.Prompts(), std::vector<int>());
    // past any threshold (60 to 179)
    m_Rig.Feed(voids(120));
    ASSERT_TRUE(XWaitFor([&] { return noneSent() == 1 + 177; }));
    // the last view may follow the last void
    ASSERT_TRUE(XWaitFor([&] { return !m_Rig.m_Links.Prompts().empty(); }));
    EXPECT_EQ(m_Rig.m_Links.Prompts(), std::vector<int>({PCM_GPS_LOCATE_SUCCESS}));
    // connected: later views and the first fix give no second prompt
    m_Rig.Feed(voids(3));
    ASSERT_TRUE(m_Rig.SyncRecord("5.0", 9));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(m_Rig.m_Links.Prompts(), std::vector<int>({PCM_GPS_LOCATE_SUCCESS}));
    ASSERT_EQ(Count(out, "GPS SB TIME = "), 1u) << out;
    const int threshold = atoi(out.c_str() + out.find("GPS SB TIME = ") + 14);
    EXPECT_GE(threshold, 60);
    EXPECT_LE(threshold, 179);
}

TEST_F(GPSTest, HungUpLineBacksOffInsteadOfSpinning)
{
    Start();
    ASSERT_TRUE(m_Rig.Sync("5.0", 9));
    m_Rig.CloseMaster();
    auto backoffs = [&] {
        size_t n = 0;
        for (unsigned ms : m_Rig.m_Links.Sleeps()) {
            n += ms == 100 ? 1 : 0;
        }
        return n;
    };
    ASSERT_TRUE(XWaitFor([&] { return backoffs() >= 2; }));
    rusage before;
    getrusage(RUSAGE_SELF, &before);
    const size_t from = backoffs();
    ASSERT_TRUE(XWaitFor([&] { return backoffs() >= from + 8; }));
    rusage after;
    getrusage(RUSAGE_SELF, &after);
    const double cpu = (after.ru_utime.tv_sec - before.ru_utime.tv_sec) + (after.ru_stime.tv_sec - before.ru_stime.tv_sec) +
                       ((after.ru_utime.tv_usec - before.ru_utime.tv_usec) + (after.ru_stime.tv_usec - before.ru_stime.tv_usec)) / 1e6;
    // about 0.8 s of wall time; a spinning reader would burn all of it
    EXPECT_LT(cpu, 0.4);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(m_Rig.m_GPS.CleanUp());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("CSerialDevManager Thread Quiting...\n"), std::string::npos);
}

TEST_F(GPSTest, RecordLineAndPosition)
{
    Start();
    char pos[64];
    EXPECT_EQ(m_Rig.m_GPS.GetGPSPositon(pos, sizeof(pos)), -1);
    m_Rig.Feed({XNmea("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,")});
    ASSERT_TRUE(m_Rig.SyncRecord("5.0", 9));
    EXPECT_EQ(m_Rig.Line(), "20170731120000,4807.0380,N,01131.0000,E,5.0,545.4");
    EXPECT_EQ(m_Rig.m_GPS.GetGPSPositon(pos, sizeof(pos)), 20);
    EXPECT_STREQ(pos, "01131.0000,4807.0380");
    EXPECT_EQ(m_Rig.m_GPS.GetGPSPositon(pos, 8), -1);  // does not fit
    EXPECT_TRUE(m_Rig.m_GPS.GPSModuleActive());
    // empty indicators stay empty parts of one line
    m_Rig.Feed({XFixRmc("6.0", "4807.0380", "", "01131.0000", "")});
    ASSERT_TRUE(XWaitFor([&] { return m_Rig.Line().find(",6.0,") != std::string::npos; }));
    EXPECT_EQ(m_Rig.Line(), "20170731120000,4807.0380,,01131.0000,,6.0,545.4");
    m_Rig.Feed({XVoidRmc()});
    ASSERT_TRUE(XWaitFor([&] { return m_Rig.Line().empty(); }));
    EXPECT_EQ(m_Rig.m_GPS.GetGPSPositon(pos, sizeof(pos)), -1);
}

}  // namespace
