#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "FactoryTest/FactoryFakes.h"
#include "FactoryTest/FactoryStation.h"
#include "FactoryTest/FactoryTest.h"
#include "Periphery/SDManager.h"
#include "Platform/Mtd.h"
#include "Platform/host/devices/MtdModel.h"
#include "support/TestBoard.h"

namespace {

typedef tagStationReply Reply;

int OpenDescriptors()
{
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    while (d != nullptr && readdir(d) != nullptr) {
        ++n;
    }
    if (d != nullptr) {
        closedir(d);
    }
    return n;
}

template <typename F>
bool WaitFor(F cond, int ms = 10000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string TimeParam(int sys, int rtc, int year, int month, int day, int h, int m, int s)
{
    return std::string{static_cast<char>(sys), static_cast<char>(rtc)} + XBE16(static_cast<unsigned>(year)) +
           std::string{static_cast<char>(month), static_cast<char>(day), static_cast<char>(h),
                       static_cast<char>(m), static_cast<char>(s)};
}

class ServerFixture : public ::testing::Test {
protected:
    CTestBoard m_Board;
    std::unique_ptr<CFakeFactoryPorts> m_Ports{new CFakeFactoryPorts};
    CFakeFactoryPorts* m_pPorts = m_Ports.get();
    std::unique_ptr<CFactoryTest> m_Test{new CFactoryTest};

    void SetUp() override
    {
        CMtdModel::instance()->ResetModel();
        m_Test->Bind(m_pPorts->Roles());
        m_Test->SetServerPorts(0, 0);
    }
    void TearDown() override
    {
        m_Test.reset();
        CMtdModel::instance()->ResetModel();
    }
    // An erased environment block.
    void Wipe() const
    {
        std::fstream f(m_Board.Path(MTD_DEVICE_PATH), std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(0x80000);
        const std::string erased(0x40000, '\xff');
        f.write(erased.data(), static_cast<std::streamsize>(erased.size()));
    }
    // An untested device (or one with these variables) started as at boot.
    void Start(const std::vector<std::pair<const char*, const char*>>& vars = {})
    {
        Wipe();
        if (!vars.empty()) {
            ASSERT_TRUE(m_Test->ReadEnvData());
            for (const auto& v : vars) {
                ASSERT_TRUE(m_Test->SetEnv(v.first, v.second));
            }
            ASSERT_TRUE(m_Test->SaveEnvData());
        }
        m_Test->Init();
        ASSERT_TRUE(m_Test->IsDiscoveryEnabled() || m_Test->GetFactoryTestOK());
    }
    std::unique_ptr<CStation> Station()
    {
        std::unique_ptr<CStation> s(new CStation(m_Test->GetTcpPort()));
        EXPECT_TRUE(s->Ok());
        return s;
    }
    // The RET values of one request's replies, up to and with the last one.
    std::vector<int> Rets(CStation& s, uint16_t cmd, const std::string& param, uint16_t seq = 7)
    {
        std::vector<int> rets;
        EXPECT_TRUE(s.Send(cmd, seq, param));
        Reply r;
        while (s.Read(r)) {
            EXPECT_TRUE(r.crcOk);
            EXPECT_EQ(r.seq, seq);
            EXPECT_EQ(r.code, cmd + 1);
            rets.push_back(r.ret);
            if (r.ret != 2) {
                break;
            }
        }
        return rets;
    }
    int Count(const std::string& call)
    {
        const auto calls = m_pPorts->Calls();
        return static_cast<int>(std::count(calls.begin(), calls.end(), call));
    }
};

TEST_F(ServerFixture, DiscoveryOverUdpAndTcp)
{
    Start({{"firmware_ver", "01"}});
    CStation udp(m_Test->GetUdpPort(), true);
    ASSERT_TRUE(udp.Send(0x0101, 0x1234));
    Reply r;
    ASSERT_TRUE(udp.Read(r));
    EXPECT_TRUE(r.crcOk);
    EXPECT_EQ(r.len, 8 + 45);
    EXPECT_EQ(r.code, 0x0102);
    EXPECT_EQ(r.seq, 0x1234);
    EXPECT_EQ(r.ret, 0);
    EXPECT_EQ(r.payload.substr(0, 8), std::string("\x51\x01\x02\x11\x22\x33\x44\x55", 8));
    EXPECT_EQ(r.payload.substr(8, 4), std::string("01\0\0", 4));  // a short version is padded
    EXPECT_EQ(r.payload.substr(12, 32), std::string("kx-recorder") + std::string(21, '\0'));
    EXPECT_EQ(r.payload[44], 0);

    auto s = Station();
    ASSERT_TRUE(s->Send(0x0101, 1));
    ASSERT_TRUE(s->Read(r));
    EXPECT_EQ(r.code, 0x0102);
    EXPECT_EQ(r.payload.size(), 45u);
}

TEST_F(ServerFixture, FramingRefusals)
{
    Start();
    auto s = Station();
    std::string badCrc = XStationPacket(0x0103, 1);
    badCrc[0] ^= 1;
    std::string len125 = XStationPacket(0x0103, 2, std::string(119, 'x'));
    std::string len5 = XStationPacket(0x0103, 3);
    len5[5] = 5;
    std::string len0 = std::string(4, '\0') + std::string("\0\0\x01\x03\0\x04", 6);  // LEN 0, CRC 0
    std::string beyond = XStationPacket(0x0103, 5, "abcd");
    beyond.resize(beyond.size() - 2);  // LEN counts bytes that never came
    const std::string refused[] = {badCrc, len125, len5, len0, beyond};
    for (const auto& bytes : refused) {
        ASSERT_TRUE(s->SendRaw(bytes));
        Reply none;
        EXPECT_FALSE(s->Read(none, 500));  // one request per segment: let it arrive alone
        // the next good request is answered first: the refused one got nothing
        ASSERT_TRUE(s->Send(0x0101, 99));
        Reply r;
        ASSERT_TRUE(s->Read(r));
        EXPECT_EQ(r.code, 0x0102);
        EXPECT_EQ(r.seq, 99);
    }
    // parameters shorter than the command needs
    EXPECT_EQ(Rets(*s, 0x0105, ""), std::vector<int>({0}));
    EXPECT_EQ(Rets(*s, 0x010F, "\x01"), std::vector<int>({0}));
    Reply r;
    ASSERT_TRUE(s->Send(0x0119, 3, std::string(8, '\0')));
    ASSERT_TRUE(s->Read(r));
    EXPECT_EQ(r.code, 0x0120);
    EXPECT_EQ(r.ret, 0);
    // unknown commands are not answered
    ASSERT_TRUE(s->Send(0x0111, 1));
    EXPECT_FALSE(s->Read(r, 500));
    ASSERT_TRUE(s->Send(0x0103, 2));
    ASSERT_TRUE(s->Read(r));
    EXPECT_EQ(r.code, 0x0104);
    EXPECT_EQ(r.ret, 1);
    EXPECT_EQ(Count("SetFactoryTesting 1"), 0);
}

TEST_F(ServerFixture, SingleStepCommands)
{
    Start();
    auto s = Station();
    Reply r;
    m_pPorts->sdState = emSDState_Insert | emSDState_Mount;
    ASSERT_TRUE(s->Send(0x010B, 1));
    ASSERT_TRUE(s->Read(r));
    EXPECT_EQ(r.ret, 1);
    EXPECT_EQ(r.payload, std::string("\0\0\0\x03", 4));
    m_pPorts->sdState = 0;
    ASSERT_TRUE(s->Send(0x010B, 2));
    ASSERT_TRUE(s->Read(r));
    EXPECT_EQ(r.ret, 0);
    EXPECT_EQ(r.payload, std::string(4, '\0'));

    m_Board.Sim("rtc", "'2017-07-31 15:08:32'");
    ASSERT_TRUE(s->Send(0x010D, 3));
    ASSERT_TRUE(s->Read(r));
    EXPECT_EQ(r.ret, 1);
    EXPECT_EQ(r.payload, std::string("\x07\xe1\x07\x1f\x0f\x08", 6).substr(0, 6) + r.payload.substr(6));
    EXPECT_EQ(r.payload.size(), 7u);
    m_Board.Sim("rtc", "fail");
    ASSERT_TRUE(s->Send(0x010D, 4));
    ASSERT_TRUE(s->Read(r));
    EXPECT_EQ(r.ret, 0);
    EXPECT_EQ(r.payload, "");

    EXPECT_EQ(Rets(*s, 0x0113, ""), std::vector<int>({0}));
    EXPECT_EQ(Rets(*s, 0x0115, ""), std::vector<int>({0}));
    EXPECT_EQ(Rets(*s, 0x0117, ""), std::vector<int>({0}));
    EXPECT_EQ(Rets(*s, 0x0107, ""), std::vector<int>({0}));
}

TEST_F(ServerFixture, MultiStepTests)
{
    Start();
    auto s = Station();
    EXPECT_EQ(Rets(*s, 0x0105, XBE16(500)), std::vector<int>({2, 3}));
    EXPECT_EQ(m_pPorts->Pin(71), 0);
    EXPECT_EQ(m_pPorts->Pin(67), 0);
    EXPECT_EQ(Count("SetFactoryTesting 1"), 1);
    EXPECT_EQ(m_pPorts->factoryTesting.load(), 0);

    // LED 3000: the LEDs are on between the first and the last reply
    ASSERT_TRUE(s->Send(0x0105, 8, XBE16(3000)));
    std::vector<int> rets;
    Reply r;
    while (s->Read(r)) {
        rets.push_back(r.ret);
        if (rets.size() == 2) {
            EXPECT_EQ(m_pPorts->Pin(71), 1);
            EXPECT_EQ(m_pPorts->Pin(67), 1);
        }
        if (r.ret != 2) {
            break;
        }
    }
    EXPECT_EQ(rets, std::vector<int>({2, 2, 2, 3}));
    EXPECT_EQ(m_pPorts->Pin(71), 0);

    EXPECT_EQ(Rets(*s, 0x0109, ""), std::vector<int>({2, 2, 2, 2, 2, 3}));
    EXPECT_EQ(Count("PCM 8"), 1);
    EXPECT_EQ(Count("StartRecordAAC /tmp/kx-ft.aac"), 1);
    EXPECT_EQ(m_pPorts->aacOpen.load(), 0);

    m_pPorts->WriteGpio(80, 0);
    EXPECT_EQ(Rets(*s, 0x010F, XBE16(1000)), std::vector<int>({2, 1}));
    m_pPorts->WriteGpio(80, 1);
    EXPECT_EQ(Rets(*s, 0x010F, XBE16(1000)), std::vector<int>({2, 2, 2, 0}));
}

TEST_F(ServerFixture, InterruptedTestsAreUndone)
{
    Start();
    Reply r;
    // a new request mid-LED
    {
        auto s = Station();
        ASSERT_TRUE(s->Send(0x0105, 1, XBE16(10000)));
        ASSERT_TRUE(s->Read(r));
        ASSERT_TRUE(WaitFor([&] { return m_pPorts->Pin(71) == 1; }));
        ASSERT_TRUE(s->Read(r));  // a pass ended: RET 2
        ASSERT_TRUE(s->Send(0x0101, 2));
        // a pass under way still answers before the new request is read
        while (s->Read(r) && r.code == 0x0106) {
        }
        EXPECT_EQ(r.code, 0x0102);
        EXPECT_EQ(m_pPorts->Pin(71), 0);
        EXPECT_EQ(m_pPorts->Pin(67), 0);
        EXPECT_EQ(m_pPorts->factoryTesting.load(), 0);
    }
    // the connection closed mid-LED
    {
        auto s = Station();
        ASSERT_TRUE(s->Send(0x0105, 1, XBE16(10000)));
        ASSERT_TRUE(s->Read(r));
        ASSERT_TRUE(WaitFor([&] { return m_pPorts->Pin(71) == 1; }));
        s->Close();
        EXPECT_TRUE(WaitFor([&] { return m_pPorts->Pin(71) == 0 && m_pPorts->factoryTesting == 0; }));
    }
    // speaker tests cut off by a new request and by closing
    for (int close = 0; close < 2; ++close) {
        auto s = Station();
        ASSERT_TRUE(s->Send(0x0109, 1));
        ASSERT_TRUE(s->Read(r));
        ASSERT_TRUE(WaitFor([&] { return m_pPorts->aacOpen == 1; }));
        if (close) {
            s->Close();
        } else {
            ASSERT_TRUE(s->Send(0x010B, 2));
            while (s->Read(r) && r.code == 0x010A) {
            }
            EXPECT_EQ(r.code, 0x010C);
        }
        EXPECT_TRUE(WaitFor([&] { return m_pPorts->aacOpen == 0; }));
    }
    // a new client does not inherit anything of the previous one
    auto s = Station();
    EXPECT_EQ(Rets(*s, 0x0103, ""), std::vector<int>({1}));
}

TEST_F(ServerFixture, SetTimeTable)
{
    Start();
    auto s = Station();
    struct {
        const char* what;
        std::string param;
        int status;  // setrtc's exit status
        int ret;
        const char* command;  // setrtc command line, or null
        bool clock;          // a clock.log line
        bool prompt;
    } const cases[] = {
        {"month 13", TimeParam(1, 1, 2017, 13, 1, 0, 0, 0), 0, 0, nullptr, false, false},
        {"31 February", TimeParam(1, 1, 2017, 2, 31, 0, 0, 0), 0, 0, nullptr, false, false},
        {"year 1999", TimeParam(1, 1, 1999, 1, 1, 0, 0, 0), 0, 0, nullptr, false, false},
        {"second 60", TimeParam(1, 1, 2017, 1, 1, 0, 0, 60), 0, 0, nullptr, false, false},
        {"both flags 0", TimeParam(0, 0, 2017, 7, 31, 15, 8, 32), 0, 1, nullptr, false, false},
        {"RTC", TimeParam(0, 1, 2017, 7, 31, 15, 8, 32), 0, 1, "RUN /bin/setrtc -s time 2017/7/31/15/8/32 \n",
         false, true},
        {"setrtc fails", TimeParam(0, 1, 2017, 7, 31, 15, 8, 32), 1, 0,
         "RUN /bin/setrtc -s time 2017/7/31/15/8/32 \n", false, false},
        {"clock", TimeParam(1, 0, 2016, 2, 29, 23, 59, 59), 0, 1, nullptr, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        {
            std::lock_guard<std::mutex> g(m_pPorts->lock);
            m_pPorts->calls.clear();
            m_pPorts->commandStatus = c.status;
        }
        remove(m_Board.Path("/log/clock.log").c_str());
        ASSERT_TRUE(s->Send(0x0119, 5, c.param));
        Reply r;
        ASSERT_TRUE(s->Read(r));
        EXPECT_EQ(r.code, 0x0120);
        EXPECT_EQ(r.ret, c.ret);
        const auto calls = m_pPorts->Calls();
        std::vector<std::string> want;
        if (c.command != nullptr) {
            want.push_back(c.command);
        }
        if (c.prompt) {
            want.push_back("PCM 5");
        }
        EXPECT_EQ(calls, want);
        std::ifstream log(m_Board.Path("/log/clock.log"));
        std::string line;
        std::getline(log, line);
        EXPECT_EQ(line, c.clock ? "2016-02-29 23:59:59 UTC 1456790399" : "");
    }
}

TEST_F(ServerFixture, FiveClients)
{
    Start();
    std::vector<std::unique_ptr<CStation>> st;
    for (int i = 0; i < 4; ++i) {
        st.push_back(Station());
        EXPECT_EQ(Rets(*st.back(), 0x0103, ""), std::vector<int>({1}));  // accepted and served
    }
    auto fifth = Station();
    EXPECT_TRUE(fifth->Closed());
    for (auto& s : st) {
        EXPECT_EQ(Rets(*s, 0x0103, ""), std::vector<int>({1}));
    }
    st[1]->Close();
    auto again = Station();
    EXPECT_TRUE(WaitFor([&] { return Rets(*again, 0x0103, "") == std::vector<int>({1}); }));
}

TEST_F(ServerFixture, TestDoneMarksTestedAndStops)
{
    struct {
        unsigned code;
        const char* model;
        bool force;
    } const cases[] = {{0x5153, "ZQ3PRO", false}, {0x1234, "ZQ2", false}, {0x5701, "ZW1", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        TearDown();
        m_Test.reset(new CFactoryTest);
        m_Ports.reset(new CFakeFactoryPorts);
        m_pPorts = m_Ports.get();
        SetUp();
        if (c.force) {
            m_pPorts->mountPath = "/tmp/mmc0/";
            mkdir(m_Board.Path("/tmp/mmc0").c_str(), 0755);
            mkdir(m_Board.Path("/tmp/mmc0/tavika-ft").c_str(), 0755);
            std::ofstream(m_Board.Path("/tmp/mmc0/tavika-ft/.testcfg")) << "forcediscovery=Y\n";
            m_Test->OnSDCardStateChange(emSDState_Insert | emSDState_Mount);
        }
        Start();
        auto s = Station();
        Reply r;
        ASSERT_TRUE(s->Send(0xF0F1, 9, XBE16(c.code) + XBE16(2017) + std::string("\x07\x1f\x0f\x08\x20", 5)));
        ASSERT_TRUE(s->Read(r));
        EXPECT_EQ(r.code, 0xF0F2);
        EXPECT_EQ(r.ret, 1);
        EXPECT_TRUE(m_Test->GetFactoryTestOK());
        std::string v;
        ASSERT_TRUE(m_Test->ReadEnvData());
        EXPECT_TRUE(m_Test->GetEnvValue("devmodel", v));
        EXPECT_EQ(v, c.model);
        EXPECT_TRUE(m_Test->GetEnvValue("manufacturedate", v));
        EXPECT_EQ(v, "2017/07/31 15:08:32");
        EXPECT_TRUE(m_Test->GetEnvValue("factorytest", v));
        EXPECT_EQ(v, "yes");
        EXPECT_TRUE(m_Test->GetEnvValue("hwver", v));
        EXPECT_EQ(v, "v1.0.0");
        if (c.force) {
            // still serving: tested now, so commands get 0xFFFF
            ASSERT_TRUE(s->Send(0x0103, 10));
            ASSERT_TRUE(s->Read(r));
            EXPECT_EQ(r.code, 0xFFFF);
            EXPECT_EQ(r.ret, 0);
            EXPECT_EQ(r.payload, "");
            ASSERT_TRUE(s->Send(0x0101, 11));
            ASSERT_TRUE(s->Read(r));
            EXPECT_EQ(r.payload[44], 1);
        } else {
            EXPECT_TRUE(s->Closed());
            EXPECT_TRUE(WaitFor([&] { return CStation(m_Test->GetTcpPort()).Ok() == false; }));
        }
    }
}

TEST_F(ServerFixture, ForceTestDoneAndRetest)
{
    struct {
        const char* what;
        std::vector<std::pair<const char*, const char*>> vars;
        bool doneFirst;
        const char* date;
        const char* model;
    } const cases[] = {
        {"empty block", {}, false, "2015/11/11 18:18:18", "ZQ2"},
        {"values kept", {{"devmodel", "ZQ5"}, {"manufacturedate", "2018/01/02 03:04:05"}, {"hwver", "v2"}},
         false, "2018/01/02 03:04:05", "ZQ5"},
        {"tested already", {{"factorytest", "yes"}, {"devmodel", "ZQ1"}}, true, nullptr, "ZQ1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        m_Test.reset(new CFactoryTest);
        m_Ports.reset(new CFakeFactoryPorts);
        m_pPorts = m_Ports.get();
        SetUp();
        Start(c.vars);
        const bool serving = m_Test->IsDiscoveryEnabled();
        EXPECT_EQ(serving, !c.doneFirst);
        EXPECT_TRUE(m_Test->ForceTestDone());
        std::string v;
        ASSERT_TRUE(m_Test->ReadEnvData());
        EXPECT_TRUE(m_Test->GetEnvValue("factorytest", v));
        EXPECT_EQ(v, "yes");
        EXPECT_TRUE(m_Test->GetEnvValue("devmodel", v));
        EXPECT_EQ(v, c.model);
        if (c.date != nullptr) {
            EXPECT_TRUE(m_Test->GetEnvValue("manufacturedate", v));
            EXPECT_EQ(v, c.date);
            EXPECT_EQ(Count("StopVO"), 1);
            EXPECT_FALSE(CStation(m_Test->GetTcpPort()).Ok());  // the server stopped
            EXPECT_FALSE(m_Test->GetFactoryTestOK());            // until the next start
        } else {
            EXPECT_EQ(Count("StopVO"), 0);
        }
        // a retest needs the verdict of a start
        m_Test->Init();
        ASSERT_TRUE(m_Test->GetFactoryTestOK());
        EXPECT_TRUE(m_Test->ForceRetest());
        EXPECT_FALSE(m_Test->GetFactoryTestOK());
        EXPECT_FALSE(m_Test->GetEnvValue("factorytest", v));
        EXPECT_EQ(Count("EnableAudioEnc 1"), 1);
        EXPECT_EQ(m_pPorts->registrations, 1);  // the card callback once
        EXPECT_TRUE(m_Test->IsDiscoveryEnabled());
        // a server started before in this process is not started again
        EXPECT_EQ(CStation(m_Test->GetTcpPort()).Ok(), c.doneFirst);
        EXPECT_TRUE(m_Test->ForceRetest());  // untested: nothing
        EXPECT_EQ(Count("EnableAudioEnc 1"), 1);
    }
}

TEST_F(ServerFixture, CleanUpDuringLedTest)
{
    const int before = OpenDescriptors();
    Start();
    {
        auto s = Station();
        Reply r;
        ASSERT_TRUE(s->Send(0x0105, 1, XBE16(30000)));
        ASSERT_TRUE(s->Read(r));
        ASSERT_TRUE(WaitFor([&] { return m_pPorts->Pin(71) == 1; }));
        m_Test->CleanUp();
        EXPECT_EQ(m_pPorts->Pin(71), 0);
        EXPECT_EQ(m_pPorts->Pin(67), 0);
        EXPECT_EQ(m_pPorts->factoryTesting.load(), 0);
        EXPECT_TRUE(s->Closed());
        m_Test->CleanUp();  // twice is harmless
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace

namespace {

// Without wlan0's address the server does not start; a later start may.
TEST_F(ServerFixture, UnreadableMacLeavesTheServerOffUntilRetried)
{
    m_Board.Sim("mac", "missing");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(m_Test->Init());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("net_get_hwaddr: ioctl SIOCGIFHWADDR\nGet Wlan0 MAC\n"), std::string::npos) << out;
    EXPECT_FALSE(m_Test->IsDiscoveryEnabled());
    m_Board.Sim("mac", "02:00:00:00:00:07");
    EXPECT_TRUE(m_Test->EnableDiscovery());
    CStation udp(m_Test->GetUdpPort(), true);
    ASSERT_TRUE(udp.Send(0x0101, 1));
    Reply r;
    ASSERT_TRUE(udp.Read(r));
    EXPECT_EQ(r.payload.substr(2, 6), std::string("\x02\0\0\0\0\x07", 6));
    EXPECT_EQ(m_pPorts->registrations, 1);
}

}  // namespace
