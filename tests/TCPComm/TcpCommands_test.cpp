#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "FactoryTest/FactoryTest.h"
#include "Function/common.h"
#include "IniConfig/IniConfig.h"
#include "Periphery/GPIO.h"
#include "Platform/BoardRoot.h"
#include "Record/PauseReasons.h"
#include "TCPComm/AccessAuth.h"
#include "TCPComm/TCPComm.h"
#include "support/TestBoard.h"
#include "tests/TCPComm/FakeAppPorts.h"
#include "tests/TCPComm/TcpPhone.h"
#include "tests/TCPComm/TcpTestUtil.h"

namespace {

typedef CTcpPhone::tagIn tagIn;
typedef std::vector<unsigned char> Bytes;

class CommandTest : public ::testing::Test {
protected:
    CTestBoard m_Board;
    CFakeAppPorts m_Ports;
    CTCPComm* m_Chan = CTCPComm::instance();
    int m_Port = 0;

    void SetUp() override
    {
        CGPIOManager::instance()->CleanUp();
        CFactoryTest::instance()->ReadEnvData();
        CIniConfig::instance()->OpenFuncSetting();
        CIniConfig::instance()->SetInt("funcset", "connectauth", 1);
        CPauseReasons::instance()->Reset();
        m_Chan->Bind(m_Ports.Roles());
        m_Chan->SetListenPort(0);
        ASSERT_TRUE(m_Chan->Init());
        m_Port = m_Chan->GetListenPort();
    }
    void TearDown() override
    {
        m_Ports.OpenGate();
        m_Chan->CleanUp();
        m_Chan->Bind({});
        CPauseReasons::instance()->Reset();
        CGPIOManager::instance()->CleanUp();
    }
    // A phone past its greeting.
    void Connect(CTcpPhone& phone)
    {
        ASSERT_TRUE(phone.Connected());
        tagIn in;
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(phone.Read(in)) << "greeting frame " << i;
        }
    }
    // The next frame after sending one.
    static tagIn Ask(CTcpPhone& phone, uint32_t cmd, const Bytes& param = {})
    {
        phone.Send(cmd, param);
        tagIn in;
        EXPECT_TRUE(phone.Read(in)) << std::hex << cmd;
        return in;
    }
    // True when the next frame is the reply to a heartbeat sent now: nothing
    // came before it.
    static bool NothingBefore(CTcpPhone& phone)
    {
        tagIn in = Ask(phone, CMD_HEARTBEAT);
        return in.cmd == static_cast<uint32_t>(CMD_HEARTBEAT);
    }
    // The settings file read by Python's configparser ("none" when absent).
    std::string Ini(const std::string& section, const std::string& key) const
    {
        std::string out = XTestRun(std::string(DASHCAM_PYTHON) +
                                   " -c 'import configparser,sys\n"
                                   "c = configparser.ConfigParser()\n"
                                   "c.read(sys.argv[1])\n"
                                   "print(c.get(sys.argv[2], sys.argv[3], fallback=\"none\"))' " +
                                   XShellQuote(m_Board.Path("/root/system.ini")) + " " + section +
                                   " " + key);
        while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) {
            out.pop_back();
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

Bytes Reply(uint32_t cmd, unsigned char status)
{
    return CTcpPhone::Frame(cmd, {status});
}

// Every setting: an empty parameter, a value below, inside and above its
// range. Refusals answer 0 and leave the stored value; the value inside is
// stored and answered 1.
TEST_F(CommandTest, SettingsTable)
{
    struct {
        uint32_t cmd;
        const char* key;
        int below, inside, above;  // -1: no such value
    } rows[] = {
        {0x7001, "connectauth", -1, 1, 2},
        {0x7003, "volume", -1, 20, 21},
        {0x7005, "snapshot_associate_video", -1, 1, 2},
        {0x7007, "audiorecord", -1, 1, 2},
        {0x7009, "gensor_level", 5, 6, -1},
        {0x700F, "res_mode", -1, 1, -1},
        {0x7011, "enableparkingmonitor", -1, 1, 2},
        {0x7013, "parkingtimethreshold", 0, 30, -1},
        {0x7015, "gesture_capture", -1, 1, 2},
        {0x7017, "gesture_trigger_level", -1, 2, 3},
        {0x7022, "speedunit", -1, 1, -1},
        {0x7101, "voice_powerup", -1, 1, 2},
        {0x7103, "voice_powerdown", -1, 1, 2},
        {0x7105, "voice_gps", -1, 1, 2},
        {0x7107, "voice_g_snapshot", -1, 1, 2},
        {0x7109, "voice_a_snapshot", -1, 1, 2},
        {0x710B, "voice_m_snapshot", -1, 1, 2},
        {0x7111, "voice_parking", -1, 1, 2},
    };
    CTcpPhone phone(m_Port);
    Connect(phone);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.key);
        const int kBefore = 7;
        ASSERT_GT(CIniConfig::instance()->SetInt("funcset", r.key, kBefore), 0);
        EXPECT_EQ(Ask(phone, r.cmd).bytes, Reply(r.cmd + 1, 0)) << "empty parameter";
        EXPECT_EQ(Ini("funcset", r.key), "7");
        for (int v : {r.below, r.above}) {
            if (v >= 0) {
                EXPECT_EQ(Ask(phone, r.cmd, {static_cast<unsigned char>(v)}).bytes, Reply(r.cmd + 1, 0)) << v;
                EXPECT_EQ(Ini("funcset", r.key), "7") << v;
            }
        }
        EXPECT_EQ(Ask(phone, r.cmd, {static_cast<unsigned char>(r.inside)}).bytes, Reply(r.cmd + 1, 1));
        EXPECT_EQ(Ini("funcset", r.key), std::to_string(r.inside));
    }
    EXPECT_EQ(phone.Errors(), "");
}

TEST_F(CommandTest, SettingSideEffects)
{
    CTcpPhone phone(m_Port);
    Connect(phone);
    // Volume: 21 is refused with the exact frame and leaves the volume.
    EXPECT_EQ(Ask(phone, 0x7003, {21}).bytes, Hex("ff f0 00 76 01 00 00 00 70 04 00 01 00"));
    EXPECT_EQ(m_Ports.Get(m_Ports.volume), -1);
    Ask(phone, 0x7003, {20});
    EXPECT_EQ(m_Ports.Get(m_Ports.volume), 20);
    {
        std::lock_guard<std::mutex> hold(m_Ports.m);
        m_Ports.volumeOk = FALSE;
    }
    CIniConfig::instance()->SetInt("funcset", "volume", 20);
    EXPECT_EQ(Ask(phone, 0x7003, {3}).param, Bytes{0}) << "a volume not set is not stored";
    EXPECT_EQ(Ini("funcset", "volume"), "20");

    // Microphone.
    Ask(phone, 0x7007, {0});
    EXPECT_EQ(m_Ports.Get(m_Ports.muted), 1);
    Ask(phone, 0x7007, {1});
    EXPECT_EQ(m_Ports.Get(m_Ports.muted), 0);

    // Record linkage of the gesture and software wake-up alarms.
    Ask(phone, 0x7005, {1});
    Ask(phone, 0x7005, {0});
    {
        std::lock_guard<std::mutex> hold(m_Ports.m);
        ASSERT_EQ(m_Ports.linkages.size(), 4u);
        const int g = emAlarmType_Gesture, w = emAlarmType_SW_VoiceWakeUp, rec = emLinkageType_Record;
        EXPECT_EQ(m_Ports.linkages[0].alarm, g);
        EXPECT_EQ(m_Ports.linkages[0].add, rec);
        EXPECT_EQ(m_Ports.linkages[1].alarm, w);
        EXPECT_EQ(m_Ports.linkages[1].add, rec);
        EXPECT_EQ(m_Ports.linkages[2].remove, rec);
        EXPECT_EQ(m_Ports.linkages[3].alarm, w);
        EXPECT_EQ(m_Ports.linkages[3].remove, rec);
        m_Ports.linkages.clear();
        m_Ports.parking = TRUE;
    }
    EXPECT_EQ(Ask(phone, 0x7005, {1}).param, Bytes{0}) << "refused in parking mode";
    EXPECT_TRUE(m_Ports.Get(m_Ports.linkages).empty());
    EXPECT_EQ(Ini("funcset", "snapshot_associate_video"), "0");

    // G-sensor, parking, speed unit.
    Ask(phone, 0x7009, {5});
    EXPECT_EQ(m_Ports.Get(m_Ports.gsensor), -1.0f);
    Ask(phone, 0x7009, {6});
    EXPECT_EQ(m_Ports.Get(m_Ports.gsensor), 6.0f);
    Ask(phone, 0x7011, {1});
    EXPECT_EQ(m_Ports.Get(m_Ports.parkingEnable), 1);
    Ask(phone, 0x7013, {0});
    EXPECT_EQ(m_Ports.Get(m_Ports.parkingTime), -1);
    Ask(phone, 0x7013, {45});
    EXPECT_EQ(m_Ports.Get(m_Ports.parkingTime), 45);
    Ask(phone, 0x7022, {1});
    EXPECT_EQ(m_Ports.Get(m_Ports.forceShowSpeed), 1);

    // Infrared calibration.
    {
        std::lock_guard<std::mutex> hold(m_Ports.m);
        m_Ports.irResult = -1;
    }
    EXPECT_EQ(Ask(phone, 0x700B).bytes, Reply(0x700C, 0));
    {
        std::lock_guard<std::mutex> hold(m_Ports.m);
        m_Ports.irResult = 0;
    }
    EXPECT_EQ(Ask(phone, 0x700B).bytes, Reply(0x700C, 1));
}

TEST_F(CommandTest, PairingFileGoesOnlyWithAStoredZero)
{
    CTcpPhone phone(m_Port);
    Connect(phone);
    const unsigned char mac[6] = {1, 2, 3, 4, 5, 6};
    const std::string file = m_Board.Path(ACCESS_AUTH_FILE);
    ASSERT_EQ(save_access_auth(mac), 0);
    ASSERT_EQ(access(file.c_str(), F_OK), 0);
    EXPECT_EQ(Ask(phone, 0x7001).param, Bytes{0});
    EXPECT_EQ(Ask(phone, 0x7001, {2}).param, Bytes{0});
    EXPECT_EQ(Ask(phone, 0x7001, {1}).param, Bytes{1});
    EXPECT_EQ(access(file.c_str(), F_OK), 0) << "kept by an empty parameter, 2 and 1";
    EXPECT_EQ(Ask(phone, 0x7001, {0}).param, Bytes{1});
    EXPECT_NE(access(file.c_str(), F_OK), 0);
    EXPECT_EQ(Ini("funcset", "connectauth"), "0");
}

TEST_F(CommandTest, ResolutionSwitchStoresOnlyWhatSwitched)
{
    CTcpPhone phone(m_Port);
    Connect(phone);
    CIniConfig::instance()->SetInt("funcset", "res_mode", 0);
    EXPECT_EQ(Ask(phone, 0x700F, {2}).bytes, Reply(0x7010, 0));
    EXPECT_EQ(Ini("funcset", "res_mode"), "0");
    {
        std::lock_guard<std::mutex> hold(m_Ports.m);
        m_Ports.switchOk = FALSE;
    }
    EXPECT_EQ(Ask(phone, 0x700F, {1}).bytes, Reply(0x7010, 0));
    EXPECT_EQ(Ini("funcset", "res_mode"), "0") << "a failed switch stores nothing";
    {
        std::lock_guard<std::mutex> hold(m_Ports.m);
        m_Ports.switchOk = TRUE;
    }
    EXPECT_EQ(Ask(phone, 0x700F, {1}).bytes, Reply(0x7010, 1));
    EXPECT_EQ(Ini("funcset", "res_mode"), "1");
    EXPECT_EQ(m_Ports.Get(m_Ports.switches), (std::vector<int>{2, 1, 1}));
}

TEST_F(CommandTest, CardFiguresByteExact)
{
    CTcpPhone phone(m_Port);
    Connect(phone);
    {
        std::lock_guard<std::mutex> hold(m_Ports.m);
        m_Ports.diskOk = FALSE;
    }
    EXPECT_EQ(Ask(phone, 0x8007).bytes, Hex("ff f0 00 8a 01 00 00 00 80 08 00 01 00"));
    {
        std::lock_guard<std::mutex> hold(m_Ports.m);
        m_Ports.diskOk = TRUE;
        m_Ports.total = 0x0000000712345678ull;
        m_Ports.freeBytes = 0x00000001fedcba98ull;
        m_Ports.sizes[0] = 0x0102030405060708ull;
        m_Ports.sizes[1] = 0x100000000ull;
        m_Ports.sizes[2] = 0xffull;
        m_Ports.quotas[0] = 60;
        m_Ports.quotas[1] = 30;
        m_Ports.quotas[2] = 0x01020304;
    }
    EXPECT_EQ(Ask(phone, 0x8007).param,
              Hex("01 00 00 00 07 12 34 56 78 00 00 00 01 fe dc ba 98"));
    EXPECT_EQ(Ask(phone, 0x8009).param,
              Hex("01 01 02 03 04 05 06 07 08 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00 ff"));
    tagIn q = Ask(phone, 0x800B);
    EXPECT_EQ(q.cmd, 0x800Cu);
    EXPECT_EQ(q.param, Hex("01 00 00 00 3c 00 00 00 1e 01 02 03 04"));
    EXPECT_EQ(phone.Errors(), "");
}

TEST_F(CommandTest, QuotasAreStoredWhole)
{
    CTcpPhone phone(m_Port);
    Connect(phone);
    CIniConfig::instance()->SetInt("storageset", "commonvideoonsdquota", 70);
    EXPECT_EQ(Ask(phone, 0x800D, {60, 30}).bytes, Reply(0x800E, 0)) << "two bytes of three";
    EXPECT_EQ(Ask(phone, 0x800D).bytes, Reply(0x800E, 0));
    EXPECT_EQ(Ask(phone, 0x800D, {90, 20, 0}).bytes, Reply(0x800E, 0)) << "more than the card";
    EXPECT_EQ(Ini("storageset", "commonvideoonsdquota"), "70");
    EXPECT_EQ(Ask(phone, 0x800D, {60, 30, 10}).bytes, Reply(0x800E, 1));
    EXPECT_EQ(Ini("storageset", "commonvideoonsdquota"), "60");
    EXPECT_EQ(Ini("storageset", "alarmvideoonsdquota"), "30");
    EXPECT_EQ(Ini("storageset", "alarmimageonsdquota"), "10");
}

TEST_F(CommandTest, DeletionsByName)
{
    CTcpPhone phone(m_Port);
    Connect(phone);
    EXPECT_EQ(Ask(phone, 0x8005, Bytes{'a', '.', 'm', 'p', '4'}).bytes, Reply(0x8006, 1));
    Bytes terminated = {'b', '.', 'j', 'p', 'g', 0, 'x'};
    EXPECT_EQ(Ask(phone, 0x8001, terminated).bytes, Reply(0x8002, 1));
    EXPECT_EQ(Ask(phone, 0x8003, Bytes(255, 'v')).bytes, Reply(0x8004, 1));
    EXPECT_EQ(Ask(phone, 0x8005, Bytes(300, 'n')).bytes, Reply(0x8006, 0)) << "a 300-byte name";
    EXPECT_EQ(Ask(phone, 0x8005).bytes, Reply(0x8006, 0)) << "no name";
    EXPECT_EQ(Ask(phone, 0x8005, Bytes{0, 'a'}).bytes, Reply(0x8006, 0)) << "an empty name";
    {
        std::lock_guard<std::mutex> hold(m_Ports.m);
        m_Ports.deleteResult = FALSE;
    }
    EXPECT_EQ(Ask(phone, 0x8005, Bytes{'z'}).bytes, Reply(0x8006, 0)) << "not on the card";
    EXPECT_EQ(m_Ports.Get(m_Ports.deleted),
              (std::vector<std::string>{"common:a.mp4", "image:b.jpg", "video:" + std::string(255, 'v'),
                                        "common:z"}));
}

TEST_F(CommandTest, ClockFromThePhone)
{
    CTcpPhone phone(m_Port);
    Connect(phone);
    EXPECT_EQ(Ask(phone, 0x6003, Hex("07 e8 01 05 08 1e 00")).bytes,
              Hex("ff f0 00 67 01 00 00 00 60 04 00 01 01"));
    EXPECT_NE(m_Board.Commands().find("setrtc -s time 2024/01/05/08/30/00"), std::string::npos)
        << m_Board.Commands();
    EXPECT_NE(ReadFile(m_Board.Path("/log/clock.log")).find("2024-01-05 08:30:00 UTC"), std::string::npos);
    EXPECT_EQ(Prompts(), std::vector<int>{5});

    m_Board.Sim("standin", "setrtc 1");
    EXPECT_EQ(Ask(phone, 0x6003, Hex("07 e8 01 05 08 1e 00")).param, Bytes{0}) << "setrtc exits 1";
    EXPECT_EQ(Prompts(), std::vector<int>{5});
    m_Board.Sim("standin", "setrtc 0");

    const std::string before = m_Board.Commands();
    const char* refused[] = {
        "07 e8 0d 05 08 1e 00",  // month 13
        "07 e8 04 1f 08 1e 00",  // 31 April
        "07 cf 01 05 08 1e 00",  // 1999
        "08 10 01 05 08 1e 00",  // 2064
        "07 e8 02 1e 08 1e 00",  // 30 February
        "07 e8 01 05 18 00 00",  // hour 24
        "07 e8 01 05 08 3c 00",  // minute 60
        "07 e8 01 05 08 1e 3c",  // second 60
        "07 e8 01 05 08 1e",     // six bytes
    };
    for (const char* p : refused) {
        EXPECT_EQ(Ask(phone, 0x6003, Hex(p)).bytes, Reply(0x6004, 0)) << p;
    }
    EXPECT_EQ(m_Board.Commands(), before) << "nothing run";
    EXPECT_EQ(Ask(phone, 0x6003, Hex("07 e8 02 1d 17 3b 3b")).param, Bytes{1}) << "29 February 2024";
}

TEST_F(CommandTest, StopAndResumeForThePhone)
{
    CTcpPhone phone(m_Port);
    Connect(phone);
    EXPECT_TRUE(NothingBefore(phone));
    phone.Send(CMD_RESUME_RECORD);
    EXPECT_TRUE(NothingBefore(phone)) << "a resume without a stop sends nothing";
    EXPECT_EQ(m_Ports.Get(m_Ports.resumeRecord), 0);

    EXPECT_EQ(Ask(phone, CMD_STOP_RECORD).bytes, Hex("ff f0 00 35 01 00 00 00 30 04 00 00"));
    phone.Send(CMD_STOP_RECORD);
    EXPECT_TRUE(NothingBefore(phone)) << "the second stop is ignored";
    EXPECT_EQ(m_Ports.Get(m_Ports.pauseCapture), 1);
    EXPECT_EQ(m_Ports.Get(m_Ports.pauseRecord), 1);
    EXPECT_EQ(m_Ports.Get(m_Ports.lastPauseFlush), TRUE);
    EXPECT_EQ(m_Ports.Get(m_Ports.pauseSnapshot), 1);
    EXPECT_TRUE(CPauseReasons::instance()->Holds(CPauseReasons::emPauseReason_AppStop));

    // A power cut and return, and a download, while stopped: still stopped.
    CPauseReasons* reasons = CPauseReasons::instance();
    int resumed = 0;
    reasons->Add(CPauseReasons::emPauseReason_PowerLine, nullptr);
    EXPECT_FALSE(reasons->Remove(CPauseReasons::emPauseReason_PowerLine, [&] { ++resumed; }));
    reasons->Add(CPauseReasons::emPauseReason_SpeedTest, nullptr);
    EXPECT_FALSE(reasons->Remove(CPauseReasons::emPauseReason_SpeedTest, [&] { ++resumed; }));
    EXPECT_EQ(resumed, 0);

    phone.Send(CMD_RESUME_RECORD);
    EXPECT_TRUE(NothingBefore(phone));
    EXPECT_EQ(m_Ports.Get(m_Ports.resumeCapture), 1);
    EXPECT_EQ(m_Ports.Get(m_Ports.resumeRecord), 1);
    EXPECT_EQ(m_Ports.Get(m_Ports.resumeSnapshot), 1);
    EXPECT_TRUE(reasons->IsEmpty());

    // In parking mode the stop does not flush the cache.
    {
        std::lock_guard<std::mutex> hold(m_Ports.m);
        m_Ports.parking = TRUE;
    }
    EXPECT_EQ(Ask(phone, CMD_STOP_RECORD).cmd, 0x3004u);
    EXPECT_EQ(m_Ports.Get(m_Ports.lastPauseFlush), FALSE);
    // A power cut during the stop: the phone's resume leaves it paused
    // until power returns.
    reasons->Add(CPauseReasons::emPauseReason_PowerLine, nullptr);
    phone.Send(CMD_RESUME_RECORD);
    EXPECT_TRUE(NothingBefore(phone));
    EXPECT_EQ(m_Ports.Get(m_Ports.resumeRecord), 1);
    EXPECT_TRUE(reasons->Remove(CPauseReasons::emPauseReason_PowerLine, [&] { ++resumed; }));
    EXPECT_EQ(resumed, 1);
}

TEST_F(CommandTest, ThePhoneGoingAwayResumes)
{
    struct {
        const char* how;
    } cases[] = {{"drop"}, {"bye"}, {"displaced"}};
    int expected = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        auto phone = std::make_unique<CTcpPhone>(m_Port);
        Connect(*phone);
        EXPECT_EQ(Ask(*phone, CMD_STOP_RECORD).cmd, 0x3004u);
        std::unique_ptr<CTcpPhone> next;
        if (std::string(c.how) == "drop") {
            phone.reset();
        } else if (std::string(c.how) == "bye") {
            phone->Send(CMD_DISCONNECT_BY_CLIENT);
            EXPECT_TRUE(phone->WaitEof(3000));
        } else {
            next = std::make_unique<CTcpPhone>(m_Port);
            tagIn in;
            EXPECT_TRUE(phone->ReadUntil(CMD_DISCONNECT_BY_SERVER, in));
            Connect(*next);
        }
        ++expected;
        EXPECT_TRUE(WaitFor([&] { return m_Ports.Get(m_Ports.resumeRecord) == expected; }));
        EXPECT_FALSE(m_Chan->IsPausedByApp());
        EXPECT_TRUE(CPauseReasons::instance()->IsEmpty());
    }
}

TEST_F(CommandTest, AlarmTaskAndDownloadLed)
{
    CTcpPhone phone(m_Port);
    Connect(phone);
    phone.Send(CMD_CARCAM_SHAPSHOT);
    phone.Send(CMD_LED_START_FLASH);
    EXPECT_TRUE(NothingBefore(phone));
    {
        std::lock_guard<std::mutex> hold(m_Ports.m);
        ASSERT_EQ(m_Ports.alarms.size(), 1u);
        EXPECT_EQ(m_Ports.alarms[0].type, static_cast<unsigned>(emAlarmType_Gesture));
        EXPECT_EQ(m_Ports.alarms[0].wpa, 1111u);
        EXPECT_EQ(m_Ports.alarms[0].lpa, static_cast<uint32_t>('M'));
    }
    EXPECT_TRUE(m_Chan->GetLedStatus());
    m_Board.SetPin(67, 0);
    CGPIOManager::instance()->Write(67, 0);
    phone.Send(CMD_LED_STOP_FLASH);
    EXPECT_TRUE(NothingBefore(phone));
    EXPECT_FALSE(m_Chan->GetLedStatus());
    EXPECT_EQ(m_Board.GetPin(67), 1);
}

TEST_F(CommandTest, UnknownCommandsAndNothingGetNoReply)
{
    CTcpPhone phone(m_Port);
    Connect(phone);
    phone.Send(0x9999);
    phone.Send(0x710D);
    phone.Send(0x710D, {1, 2, 3});
    phone.Send(0x7019, {1});
    EXPECT_TRUE(NothingBefore(phone));
    EXPECT_EQ(phone.Errors(), "");
}

TEST_F(CommandTest, CardWorkers)
{
    CTcpPhone phone(m_Port);
    Connect(phone);
    EXPECT_EQ(Ask(phone, 0x800F).bytes, Reply(0x8010, 1));
    {
        std::lock_guard<std::mutex> hold(m_Ports.m);
        m_Ports.formatResult = -3;
    }
    EXPECT_EQ(Ask(phone, 0x800F).bytes, Reply(0x8010, 0));
    EXPECT_EQ(m_Ports.Get(m_Ports.formatFlags), (std::vector<int>{1, 0, 1, 0}));

    // Two requests at once: one format, the other answered 0 at once.
    m_Ports.CloseGate();
    phone.Send(0x800F);
    ASSERT_TRUE(WaitFor([&] { return m_Ports.Inside() == 1; }));
    EXPECT_EQ(Ask(phone, 0x800F).bytes, Reply(0x8010, 0));
    // Another kind runs beside it.
    phone.Send(0x8015);
    ASSERT_TRUE(WaitFor([&] { return m_Ports.Inside() == 2; }));
    m_Ports.OpenGate();
    tagIn a, b;
    ASSERT_TRUE(phone.Read(a));
    ASSERT_TRUE(phone.Read(b));
    std::vector<uint32_t> got = {a.cmd, b.cmd};
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<uint32_t>{0x8010, 0x8016}));
    EXPECT_EQ(m_Ports.Get(m_Ports.formats), 3);

    {
        std::lock_guard<std::mutex> hold(m_Ports.m);
        m_Ports.cleanResult = FALSE;
    }
    EXPECT_EQ(Ask(phone, 0x8011).bytes, Reply(0x8012, 0));
    EXPECT_EQ(Ask(phone, 0x8013).bytes, Reply(0x8014, 0));
    EXPECT_EQ(m_Ports.Get(m_Ports.cleaned), (std::vector<int>{2, 0, 1}));
}

TEST_F(CommandTest, AWorkerReplyForAPhoneGoneIsDropped)
{
    auto first = std::make_unique<CTcpPhone>(m_Port);
    Connect(*first);
    m_Ports.CloseGate();
    first->Send(0x8011);
    ASSERT_TRUE(WaitFor([&] { return m_Ports.Inside() == 1; }));
    CTcpPhone second(m_Port);
    tagIn in;
    EXPECT_TRUE(first->ReadUntil(CMD_DISCONNECT_BY_SERVER, in));
    Connect(second);
    m_Ports.OpenGate();
    ASSERT_TRUE(WaitFor([&] { return m_Ports.Get(m_Ports.cleaned).size() == 1; }));
    EXPECT_TRUE(NothingBefore(second));
    // The kind is free again.
    EXPECT_EQ(Ask(second, 0x8011).bytes, Reply(0x8012, 1));
}

}  // namespace
