#include <gtest/gtest.h>

#include <stdio.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "FactoryTest/FactoryTest.h"
#include "IniConfig/IniConfig.h"
#include "Main/Wiring/CameraWiring.h"
#include "Periphery/GPIO.h"
#include "Record/RecordNotify.h"
#include "TCPComm/TCPComm.h"
#include "support/TestBoard.h"
#include "tests/TCPComm/TcpPhone.h"
#include "tests/TCPComm/TcpTestUtil.h"

namespace {

typedef CTcpPhone::tagIn tagIn;

class ChannelTest : public ::testing::Test {
protected:
    CTestBoard m_Board;
    CTCPComm* m_Chan = CTCPComm::instance();
    int m_Port = 0;

    void SetUp() override
    {
        CGPIOManager::instance()->CleanUp();
        CFactoryTest::instance()->ReadEnvData();
        CIniConfig::instance()->OpenFuncSetting();
        CIniConfig::instance()->SetInt("funcset", "connectauth", 1);
        CIniConfig::instance()->SetInt("funcset", "volume", 13);
    }
    void TearDown() override
    {
        m_Chan->CleanUp();
        m_Chan->Bind({});
        m_Chan->SetTimeouts(15000, 2000);
        CGPIOManager::instance()->CleanUp();
    }
    void Start()
    {
        m_Chan->Bind(CCameraWiring::instance()->ForApp());  // the camera's managers
        m_Chan->SetListenPort(0);
        ASSERT_TRUE(m_Chan->Init());
        m_Port = m_Chan->GetListenPort();
        ASSERT_GT(m_Port, 0);
    }
    void SetEnv(const char* name, const char* value)
    {
        ASSERT_TRUE(CFactoryTest::instance()->SetEnv(name, value));
    }
    // The four greeting frames read off a new phone (0x6001 only when sent).
    std::vector<tagIn> Greeting(CTcpPhone& phone, bool expectTimeFrame)
    {
        std::vector<tagIn> out;
        const int n = expectTimeFrame ? 4 : 3;
        for (int i = 0; i < n; ++i) {
            tagIn in;
            EXPECT_TRUE(phone.Read(in)) << "greeting frame " << i;
            out.push_back(in);
        }
        return out;
    }
    std::vector<int> Prompts() const
    {
        std::vector<int> out;
        std::istringstream in(ReadFile(m_Board.Path("/log/prompts.log")));
        std::string word;
        int n;
        while (in >> word >> n) {
            out.push_back(n);
        }
        return out;
    }
};

TEST_F(ChannelTest, GreetingCarriesTheBootEnvironment)
{
    SetEnv("devmodel", "ZQ2");
    SetEnv("manufacturedate", "2017/07/31 15:08:32");
    SetEnv("firmware_ver", "0102");
    SetEnv("devicesn", "SN42");
    Start();
    CTcpPhone phone(m_Port);
    ASSERT_TRUE(phone.Connected());
    std::vector<tagIn> g = Greeting(phone, false);
    EXPECT_EQ(g[0].bytes, Hex("ff f0 01 86 01 00 00 00 00 01 00 0e 01 02 20 17 07 31 01 02 02 11 22 33 44 55"));
    EXPECT_EQ(g[1].cmd, 0x0002u);
    EXPECT_EQ(std::string(g[1].param.begin(), g[1].param.end()), "ZQ2");
    EXPECT_EQ(g[2].cmd, 0x0010u);
    EXPECT_EQ(std::string(g[2].param.begin(), g[2].param.end()), "SN42");
    tagIn more;
    EXPECT_FALSE(phone.Read(more, 300)) << "no time request while the RTC is set";
    EXPECT_TRUE(WaitFor([&] { return m_Board.GetPin(67) == 1; }));
    EXPECT_EQ(phone.Errors(), "");
}

TEST_F(ChannelTest, GreetingTableOverTheRtc)
{
    struct {
        const char* rtc;
        bool timeFrame;
    } cases[] = {{"1970-01-01 00:00:10", true}, {"now", false}, {"fail", false}};
    Start();
    for (const auto& c : cases) {
        m_Board.Sim("rtc", std::string("'") + c.rtc + "'");
        CTcpPhone phone(m_Port);
        std::vector<tagIn> g = Greeting(phone, c.timeFrame);
        EXPECT_EQ(std::string(g[1].param.begin(), g[1].param.end()), "unknow") << c.rtc;
        EXPECT_EQ(std::string(g[2].param.begin(), g[2].param.end()), "unknow") << c.rtc;
        tagIn extra;
        if (c.timeFrame) {
            EXPECT_EQ(g[3].bytes, Hex("ff f0 00 62 01 00 00 00 60 01 00 00")) << c.rtc;
        } else {
            EXPECT_FALSE(phone.Read(extra, 300)) << c.rtc;
        }
        phone.Send(CMD_DISCONNECT_BY_CLIENT);
        EXPECT_TRUE(phone.WaitEof(3000)) << c.rtc;
    }
}

TEST_F(ChannelTest, HeartbeatEchoAndClientBye)
{
    Start();
    CTcpPhone phone(m_Port);
    Greeting(phone, false);
    // Junk, a frame cut 5 + 7 bytes apart in time, a lone FF ending a send.
    std::vector<unsigned char> hb = CTcpPhone::Frame(CMD_HEARTBEAT);
    phone.SendBytes(Hex("00 13 ff 00"));
    phone.SendBytes(std::vector<unsigned char>(hb.begin(), hb.begin() + 5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    phone.SendBytes(std::vector<unsigned char>(hb.begin() + 5, hb.end()));
    tagIn in;
    ASSERT_TRUE(phone.Read(in));
    EXPECT_EQ(in.bytes, Hex("ff f0 00 45 01 00 11 11 11 11 00 00"));
    phone.SendBytes(Hex("ff"));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    phone.SendBytes(std::vector<unsigned char>(hb.begin() + 1, hb.end()));
    ASSERT_TRUE(phone.Read(in));
    EXPECT_EQ(in.cmd, static_cast<uint32_t>(CMD_HEARTBEAT));
    // A head declaring 4000 parameter bytes is dropped; the heartbeat after it is answered.
    std::vector<unsigned char> big = Hex("ff f0 00 00 01 00 00 00 70 01 0f a0");
    big.insert(big.end(), hb.begin(), hb.end());
    phone.SendBytes(big);
    ASSERT_TRUE(phone.Read(in));
    EXPECT_EQ(in.cmd, static_cast<uint32_t>(CMD_HEARTBEAT));
    phone.Send(CMD_DISCONNECT_BY_CLIENT);
    EXPECT_TRUE(phone.WaitEof(3000));
    EXPECT_TRUE(WaitFor([&] { return m_Board.GetPin(67) == 0; }));
    EXPECT_EQ(m_Chan->GetConnectState(), DISCONNECT);
}

TEST_F(ChannelTest, SilenceDropsThePhoneAndHeartbeatsKeepIt)
{
    m_Chan->SetTimeouts(3000, 2000);
    Start();
    CTcpPhone kept(m_Port);
    Greeting(kept, false);
    for (int i = 0; i < 6; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        kept.Send(CMD_HEARTBEAT);
        tagIn in;
        ASSERT_TRUE(kept.Read(in)) << "beat " << i;
    }
    const uint64_t quietFrom = CTcpPhone::Now();
    EXPECT_EQ(m_Board.GetPin(67), 1);
    ASSERT_TRUE(kept.WaitEof(8000));
    const uint64_t after = kept.EofAt() - quietFrom;
    EXPECT_GE(after, 2900u);
    EXPECT_LE(after, 6000u);  // generous: the machine may be loaded
    EXPECT_TRUE(WaitFor([&] { return m_Board.GetPin(67) == 0; }));
}

TEST_F(ChannelTest, SecondPhoneDisplacesTheFirst)
{
    Start();
    CTcpPhone a(m_Port);
    Greeting(a, false);
    CTcpPhone b(m_Port);
    tagIn in;
    ASSERT_TRUE(a.Read(in));
    const uint64_t notified = CTcpPhone::Now();
    EXPECT_EQ(in.bytes, Hex("ff f0 00 47 01 00 11 11 11 13 00 00"));
    ASSERT_TRUE(a.WaitEof(3000));
    const uint64_t gap = a.EofAt() - notified;
    EXPECT_GE(gap, 400u);
    EXPECT_LE(gap, 800u);
    std::vector<tagIn> g = Greeting(b, false);
    EXPECT_EQ(g[0].cmd, static_cast<uint32_t>(CMD_PRODUCT_INFO));
    EXPECT_EQ(m_Board.GetPin(67), 1);
    b.Send(CMD_HEARTBEAT);
    ASSERT_TRUE(b.Read(in));
    EXPECT_EQ(in.cmd, static_cast<uint32_t>(CMD_HEARTBEAT));
}

TEST_F(ChannelTest, NoWlanAddressNoService)
{
    m_Board.Sim("mac", "missing");
    Start();
    {
        CTcpPhone phone(m_Port);
        tagIn in;
        EXPECT_FALSE(phone.Read(in, 1000));
        EXPECT_TRUE(phone.WaitEof(2000)) << "closed without a made-up address";
    }
    m_Board.Sim("mac", "02:aa:bb:cc:dd:ee");
    CTcpPhone phone(m_Port);
    std::vector<tagIn> g = Greeting(phone, false);
    ASSERT_EQ(g[0].param.size(), 14u);
    EXPECT_EQ(std::vector<unsigned char>(g[0].param.begin() + 8, g[0].param.end()),
              Hex("02 aa bb cc dd ee"));
    char json[256];
    int n = m_Chan->GetProductInfoAsJson(json, sizeof(json));
    ASSERT_GT(n, 0);
    EXPECT_NE(std::string(json, static_cast<size_t>(n)).find("\"macaddr\": \"02aabbccddee\""), std::string::npos);
}

TEST_F(ChannelTest, PairingByTheSpokenCode)
{
    Start();
    CTcpPhone phone(m_Port);
    Greeting(phone, false);
    const std::vector<unsigned char> mac = Hex("a1 b2 c3 d4 e5 f6");
    tagIn in;
    phone.Send(CMD_AUTH_REQUEST, mac);
    ASSERT_TRUE(phone.Read(in));
    EXPECT_EQ(in.bytes, Hex("ff f0 00 13 01 00 00 00 10 02 00 00"));
    phone.Send(CMD_AUTH_DRAW_CODE);
    ASSERT_TRUE(WaitFor([&] { return Prompts().size() >= 5; }, 12000));
    const int code = m_Chan->GetAuthCode();
    const std::vector<int> expect = {28, 18 + code / 1000, 18 + code / 100 % 10, 18 + code / 10 % 10, 18 + code % 10};
    EXPECT_EQ(Prompts(), expect);
    // A wrong code, a short one, then the right one.
    const uint32_t wrong = static_cast<uint32_t>(code + 1);
    phone.Send(CMD_AUTH_CODE, {static_cast<unsigned char>(wrong >> 24), static_cast<unsigned char>(wrong >> 16),
                               static_cast<unsigned char>(wrong >> 8), static_cast<unsigned char>(wrong)});
    ASSERT_TRUE(phone.Read(in));
    EXPECT_EQ(in.bytes, Hex("ff f0 00 17 01 00 00 00 10 04 00 01 01"));
    phone.Send(CMD_AUTH_CODE, {0, 0});
    ASSERT_TRUE(phone.Read(in));
    EXPECT_EQ(in.param, Hex("01"));
    const uint32_t right = static_cast<uint32_t>(code);
    phone.Send(CMD_AUTH_CODE, {static_cast<unsigned char>(right >> 24), static_cast<unsigned char>(right >> 16),
                               static_cast<unsigned char>(right >> 8), static_cast<unsigned char>(right)});
    ASSERT_TRUE(phone.Read(in));
    EXPECT_EQ(in.bytes, Hex("ff f0 00 16 01 00 00 00 10 04 00 01 00"));
    EXPECT_EQ(ReadFile(m_Board.Path("/root/access_auth")), "a1b2c3d4e5f6;");
    // Paired: accepted at once, and no second entry.
    phone.Send(CMD_AUTH_REQUEST, mac);
    ASSERT_TRUE(phone.Read(in));
    EXPECT_EQ(in.param, Hex("00"));
    phone.Send(CMD_AUTH_CODE, {static_cast<unsigned char>(right >> 24), static_cast<unsigned char>(right >> 16),
                               static_cast<unsigned char>(right >> 8), static_cast<unsigned char>(right)});
    ASSERT_TRUE(phone.Read(in));
    EXPECT_EQ(ReadFile(m_Board.Path("/root/access_auth")), "a1b2c3d4e5f6;");
    // A short request gets no answer: the next frame answered is the heartbeat.
    phone.Send(CMD_AUTH_REQUEST, {1, 2});
    phone.Send(CMD_HEARTBEAT);
    ASSERT_TRUE(phone.Read(in));
    EXPECT_EQ(in.cmd, static_cast<uint32_t>(CMD_HEARTBEAT));
}

TEST_F(ChannelTest, PairingFileIsSearchedWhole)
{
    std::string file;
    char entry[14];
    for (int i = 0; i < 200; ++i) {
        snprintf(entry, sizeof(entry), "%02x%02x%02x%02x%02x%02x;", 0x10, 0x20, 0x30, 0x40, i / 256, i % 256);
        file += entry;
    }
    std::ofstream(m_Board.Path("/root/access_auth")) << file;
    Start();
    CTcpPhone phone(m_Port);
    Greeting(phone, false);
    tagIn in;
    phone.Send(CMD_AUTH_REQUEST, {0x10, 0x20, 0x30, 0x40, 0, 179});
    ASSERT_TRUE(phone.Read(in));
    EXPECT_EQ(in.cmd, static_cast<uint32_t>(CMD_AUTH_RESULT)) << "the 180th phone is listed";
    phone.Send(CMD_AUTH_REQUEST, {0x10, 0x20, 0x30, 0x40, 1, 0});
    ASSERT_TRUE(phone.Read(in));
    EXPECT_EQ(in.cmd, static_cast<uint32_t>(CMD_AUTH_NEED_CODE));
    CIniConfig::instance()->SetInt("funcset", "connectauth", 0);
    phone.Send(CMD_AUTH_REQUEST, {0x10, 0x20, 0x30, 0x40, 1, 0});
    ASSERT_TRUE(phone.Read(in));
    EXPECT_EQ(in.param, Hex("00"));
}

TEST_F(ChannelTest, PushesBySize)
{
    Start();
    const std::string fits(2035, 'j');
    const std::string over(2036, 'j');
    EXPECT_EQ(m_Chan->NotifyCommonVideoUpdate(fits.c_str(), 2035), 1) << "no phone: nothing to do";
    CTcpPhone phone(m_Port);
    Greeting(phone, false);
    EXPECT_EQ(m_Chan->NotifyCommonVideoUpdate(fits.c_str(), 2035), 1);
    tagIn in;
    ASSERT_TRUE(phone.Read(in));
    EXPECT_EQ(in.cmd, static_cast<uint32_t>(CMD_NOTIFY_COMMON_VIDEO));
    EXPECT_EQ(in.bytes.size(), 2047u);
    EXPECT_EQ(std::string(in.param.begin(), in.param.end()), fits);
    EXPECT_EQ(m_Chan->NotifyAlarmVideoUpdate(over.c_str(), 2036), 0);
    EXPECT_EQ(m_Chan->NotifyAlarmJpgUpdate("{}", -1), 0);
    EXPECT_EQ(m_Chan->NotifyFileDeleteUpdate("", -1), 1);
    ASSERT_TRUE(phone.Read(in));
    EXPECT_EQ(in.bytes, Hex("ff f0 00 36 01 00 00 00 30 05 00 00"));
    // The record side's notices reach the phone through the channel.
    XNotifyAlarmJpgUpdate("{\"a\":1}", 7);
    ASSERT_TRUE(phone.Read(in));
    EXPECT_EQ(in.cmd, static_cast<uint32_t>(CMD_NOTIFY_ALARM_JPG));
    EXPECT_EQ(phone.Errors(), "");
}

TEST_F(ChannelTest, APhoneThatStopsReadingStallsNoCaller)
{
    m_Chan->SetTimeouts(15000, 1000);
    Start();
    CTcpPhone phone(m_Port, 4096);
    Greeting(phone, false);
    const std::string json(1500, 'p');
    const auto t0 = std::chrono::steady_clock::now();
    int sent = 0;
    for (int i = 0; i < 2000; ++i) {
        sent += m_Chan->NotifyCommonVideoUpdate(json.c_str(), static_cast<int>(json.size()));
    }
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(took).count(), 5);
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, 2000) << "the bounded queue refuses once full";
    // The phone never read: it is dropped, and the channel takes the next one.
    EXPECT_TRUE(WaitFor([&] { return m_Chan->GetConnectState() == DISCONNECT; }, 10000));
    CTcpPhone next(m_Port);
    std::vector<tagIn> g = Greeting(next, false);
    EXPECT_EQ(g[0].cmd, static_cast<uint32_t>(CMD_PRODUCT_INFO));
}

TEST_F(ChannelTest, CleanUpWithoutInitAndTwice)
{
    m_Chan->CleanUp();
    Start();
    CTcpPhone phone(m_Port);
    Greeting(phone, false);
    m_Chan->CleanUp();
    m_Chan->CleanUp();
    EXPECT_TRUE(phone.WaitEof(2000));
    EXPECT_EQ(CRecordNotify::GetReceiver(), nullptr);
}

}  // namespace
