#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "FactoryTest/FactoryTest.h"
#include "IniConfig/IniConfig.h"
#include "Periphery/GPIO.h"
#include "Record/PauseReasons.h"
#include "TCPComm/TCPComm.h"
#include "support/TestBoard.h"
#include "tests/TCPComm/FakeAppPorts.h"
#include "tests/TCPComm/TcpPhone.h"
#include "tests/TCPComm/TcpTestUtil.h"

namespace {

typedef CTcpPhone::tagIn tagIn;

class CommandThreadsTest : public ::testing::Test {
protected:
    CTestBoard m_Board;
    CFakeAppPorts m_Ports;
    CTCPComm* m_Chan = CTCPComm::instance();

    void SetUp() override
    {
        CGPIOManager::instance()->CleanUp();
        CFactoryTest::instance()->ReadEnvData();
        CIniConfig::instance()->OpenFuncSetting();
        CPauseReasons::instance()->Reset();
        m_Chan->Bind(m_Ports.Roles());
        m_Chan->SetListenPort(0);
        ASSERT_TRUE(m_Chan->Init());
    }
    void TearDown() override
    {
        m_Ports.OpenGate();
        m_Chan->CleanUp();
        m_Chan->Bind({});
        CPauseReasons::instance()->Reset();
        CGPIOManager::instance()->CleanUp();
    }
    void Connect(CTcpPhone& phone)
    {
        ASSERT_TRUE(phone.Connected());
        tagIn in;
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(phone.Read(in));
        }
    }
};

// Shut-down while every worker kind runs: CleanUp returns only once they
// are done, and nothing is sent after it.
TEST_F(CommandThreadsTest, CleanUpWaitsForTheWorkers)
{
    CTcpPhone phone(m_Chan->GetListenPort());
    Connect(phone);
    m_Ports.CloseGate();
    for (uint32_t cmd : {0x800Fu, 0x8011u, 0x8013u, 0x8015u}) {
        phone.Send(cmd);
    }
    ASSERT_TRUE(WaitFor([&] { return m_Ports.Inside() == 4; }, 10000));
    std::atomic<bool> done{false};
    std::thread closer([&] {
        m_Chan->CleanUp();
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(done.load()) << "CleanUp returned under running workers";
    m_Ports.OpenGate();
    closer.join();
    EXPECT_EQ(m_Ports.Inside(), 0);
    EXPECT_EQ(m_Ports.Get(m_Ports.cleaned).size(), 3u);
    EXPECT_EQ(m_Ports.Get(m_Ports.formats), 1);
}

// The phone's stop and resume against power cuts on another thread: the
// set stays consistent and ends empty.
TEST_F(CommandThreadsTest, StopAndResumeBesideThePowerLine)
{
    CTcpPhone phone(m_Chan->GetListenPort());
    Connect(phone);
    CPauseReasons* reasons = CPauseReasons::instance();
    std::atomic<bool> stop{false};
    std::thread power([&] {
        while (!stop) {
            reasons->Add(CPauseReasons::emPauseReason_PowerLine, nullptr);
            reasons->Remove(CPauseReasons::emPauseReason_PowerLine, nullptr);
        }
    });
    for (int i = 0; i < 50; ++i) {
        phone.Send(CMD_STOP_RECORD);
        phone.Send(CMD_RESUME_RECORD);
    }
    phone.Send(CMD_HEARTBEAT);
    tagIn in;
    EXPECT_TRUE(phone.ReadUntil(CMD_HEARTBEAT, in, 20000));
    stop = true;
    power.join();
    EXPECT_TRUE(reasons->IsEmpty());
    EXPECT_EQ(m_Ports.Get(m_Ports.pauseRecord), 50);
}

}  // namespace
