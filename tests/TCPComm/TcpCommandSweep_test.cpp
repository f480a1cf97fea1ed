// Every command with parameters of every awkward length and random bytes,
// run straight through command_handler over fake managers: under the
// sanitizers nothing may read past the parameter or its terminator.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "FactoryTest/FactoryTest.h"
#include "IniConfig/IniConfig.h"
#include "Periphery/GPIO.h"
#include "Record/PauseReasons.h"
#include "TCPComm/TCPComm.h"
#include "support/TestBoard.h"
#include "tests/TCPComm/FakeAppPorts.h"

namespace {

// A received frame as the channel hands it over: head and parameter in a
// buffer of exactly their size plus the terminator.
int RunFrame(CTCPComm* chan, uint32_t cmd, const std::vector<unsigned char>& param)
{
    std::vector<unsigned char> buf(TCP_FRAME_HEAD_LEN + param.size() + 1, 0);
    const int n = XBuildFrame(buf.data(), buf.size(), cmd, param.data(), param.size());
    EXPECT_GT(n, 0);
    tagTcpFrame f;
    f.command = cmd;
    f.paralen = static_cast<uint16_t>(param.size());
    f.bytes = buf.data();
    f.parameter = buf.data() + TCP_FRAME_HEAD_LEN;
    return chan->command_handler(f);
}

TEST(TcpCommandSweep, EveryCommandEveryLength)
{
    CTestBoard board;
    CFakeAppPorts ports;
    CGPIOManager::instance()->CleanUp();
    CFactoryTest::instance()->ReadEnvData();
    CIniConfig::instance()->OpenFuncSetting();
    CPauseReasons::instance()->Reset();
    CTCPComm* chan = CTCPComm::instance();
    chan->Bind(ports.Roles());
    {
        // 0x1005 is left out: it speaks a code for seconds.
        const uint32_t commands[] = {
            0x1001, 0x1003, 0x4001, 0x4002, 0x4003, 0x4004, 0x4005, 0x6003, 0x8001, 0x8003, 0x8005,
            0x8007, 0x8009, 0x800B, 0x800D, 0x800F, 0x8011, 0x8013, 0x8015, 0x7001, 0x7003, 0x7005,
            0x7007, 0x7009, 0x700B, 0x700F, 0x7011, 0x7013, 0x7015, 0x7017, 0x7022, 0x7101, 0x7103,
            0x7105, 0x7107, 0x7109, 0x710B, 0x710D, 0x7111, 0x11111111, 0x0000, 0x7019, 0xFFFFFFFF,
        };
        const size_t lengths[] = {0, 1, 2, 3, 4, 6, 7, 8, 254, 255, 256, 300, TCP_FRAME_MAX_PARALEN};
        std::mt19937 rng(20240105);
        std::uniform_int_distribution<int> byte(0, 255);
        for (uint32_t cmd : commands) {
            for (size_t len : lengths) {
                for (int round = 0; round < 3; ++round) {
                    std::vector<unsigned char> param(len);
                    for (unsigned char& b : param) {
                        // names without a zero, and names with zeros inside
                        b = static_cast<unsigned char>(round == 0 ? 'a' + byte(rng) % 26 : byte(rng));
                    }
                    EXPECT_EQ(RunFrame(chan, cmd, param), 0) << std::hex << cmd << " " << std::dec << len;
                }
            }
        }
        EXPECT_EQ(RunFrame(chan, CMD_DISCONNECT_BY_CLIENT, {}), -1);
    }
    chan->CleanUp();
    chan->Bind({});
    CPauseReasons::instance()->Reset();
    CGPIOManager::instance()->CleanUp();
}

}  // namespace
