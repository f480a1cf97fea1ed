#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "FactoryTest/FactoryFakes.h"
#include "FactoryTest/FactoryTest.h"
#include "Periphery/SDManager.h"
#include "support/TestBoard.h"

namespace {

const int kCard = emSDState_Insert | emSDState_Mount;

class MarkerFixture : public ::testing::Test {
protected:
    CTestBoard m_Board;
    CFakeFactoryPorts m_Ports;
    CFakeFactoryPorts* m_pPorts = &m_Ports;
    CFactoryTest m_Test;

    void SetUp() override
    {
        m_Test.Bind(m_pPorts->Roles());
        m_Test.SetServerPorts(0, 0);
        m_pPorts->mountPath = "/tmp/mmc0/";
        mkdir(m_Board.Path("/tmp/mmc0").c_str(), 0755);
        mkdir(Dir().c_str(), 0755);
    }
    std::string Dir() const { return m_Board.Path("/tmp/mmc0/tavika-ft"); }
    void Write(const std::string& leaf, const std::string& text) const
    {
        std::ofstream(Dir() + "/" + leaf, std::ios::binary) << text;
    }
    std::string Scan(int state = kCard)
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        m_Test.OnSDCardStateChange(state);
        std::string out = testing::internal::GetCapturedStdout();
        return out + testing::internal::GetCapturedStderr();
    }
};

TEST_F(MarkerFixture, TestCfgGrammar)
{
    using namespace std::string_literals;
    const std::string longTitle(40, 'T');
    const std::string longLine = "title=" + std::string(250, 'L') + "burnintest=Y\n";
    struct {
        const char* what;
        std::string text;
        BOOL burnIn;
        std::string title;
        bool invalid;
    } const cases[] = {
        {"yes", "burnintest=yes\n", TRUE, "kx-recorder", false},
        {"Y", "burnintest=Y\n", TRUE, "kx-recorder", false},
        {"no", "burnintest=no\n", FALSE, "kx-recorder", false},
        {"empty value", "burnintest=\n", FALSE, "kx-recorder", false},
        {"comment", "#burnintest=Y\ntitle=abc\n", FALSE, "abc", false},
        {"invalid first line stops", "garbage\nburnintest=Y\ntitle=abc\n", FALSE, "kx-recorder", true},
        {"invalid later line keeps earlier", "title=abc\nnoequals\nburnintest=Y\n", FALSE, "abc", true},
        {"title cut to 31", "title=" + longTitle + "\n", FALSE, longTitle.substr(0, 31), false},
        {"CR LF", "burnintest=Y\r\ntitle=cr\r\n", TRUE, "cr", false},
        {"blank around = is another key", "burnintest = Y\n", FALSE, "kx-recorder", false},
        {"empty lines skipped", "\n\nburnintest=y\n", TRUE, "kx-recorder", false},
        {"over-long line's tail is not a line", longLine, FALSE, "L", false},
        {"no final LF", "title=end", FALSE, "end", false},
        // a line holding a NUL byte is skipped, and only that line
        {"NUL ending a line", "a=\0\nburnintest=Y\n"s, TRUE, "kx-recorder", false},
        {"NUL starting a line", "\0title=x\nburnintest=Y\n"s, TRUE, "kx-recorder", false},
        {"NUL inside a line", "title=ab\0cd\nburnintest=Y\r\n"s, TRUE, "kx-recorder", false},
        {"NUL in a line without =", "ab\0cd\nburnintest=Y\n"s, TRUE, "kx-recorder", false},
        {"NUL after a value", "burnintest=Y\0\r\ntitle=t\n"s, FALSE, "t", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CFakeFactoryPorts fake;
        CFakeFactoryPorts* ports = &fake;
        ports->mountPath = "/tmp/mmc0/";
        CFactoryTest test;
        test.Bind(ports->Roles());
        test.SetServerPorts(0, 0);
        Write(".testcfg", c.text);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        test.OnSDCardStateChange(kCard);
        const std::string out = testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(test.GetBurnInTesting(), c.burnIn);
        if (c.title == "L") {
            EXPECT_EQ(test.GetDevTitle(), std::string(31, 'L'));
        } else {
            EXPECT_EQ(test.GetDevTitle(), c.title);
        }
        EXPECT_EQ(err.find("invalid line '") != std::string::npos, c.invalid) << err;
        EXPECT_NE(out.find(c.burnIn ? "BURN IN TEST MODE[Y]\n" : "BURN IN TEST MODE[N]\n"), std::string::npos);
        const auto calls = ports->Calls();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "SetLedOnOffRate 10"), c.burnIn ? 1 : 0);
        EXPECT_FALSE(test.IsDiscoveryEnabled());
    }
}

TEST_F(MarkerFixture, MarkersAndRemoval)
{
    Write(".tavika-ft-4b584654-ap-0.cfg", "");
    Write(".checkmodelcfg", "");
    Write(".testcfg", "burnintest=Y\nforcediscovery=Y\ntitle=Station\n");
    const std::string out = Scan();
    EXPECT_NE(out.find("IN CFactoryTest SD STATE CALLBACK...\nIN Factorytesting...\n"), std::string::npos) << out;
    EXPECT_TRUE(m_Test.GetFactoryTesting());
    EXPECT_TRUE(m_Test.GetFactoryCheckModel());
    EXPECT_TRUE(m_Test.GetBurnInTesting());
    EXPECT_TRUE(m_Test.GetForceFactoryTest());
    EXPECT_TRUE(m_Test.IsDiscoveryEnabled());  // forced discovery started the server
    EXPECT_NE(m_Test.GetUdpPort(), 0);

    // removal: access point and burn-in off, the rest kept
    m_pPorts->mountPath.clear();
    Scan(0);
    EXPECT_FALSE(m_Test.GetFactoryTesting());
    EXPECT_FALSE(m_Test.GetBurnInTesting());
    EXPECT_TRUE(m_Test.GetFactoryCheckModel());
    EXPECT_TRUE(m_Test.GetForceFactoryTest());
    EXPECT_EQ(m_Test.GetDevTitle(), "Station");

    // a card without the markers: the model check stays until the process ends
    m_pPorts->mountPath = "/tmp/mmc0/";
    remove((Dir() + "/.checkmodelcfg").c_str());
    remove((Dir() + "/.tavika-ft-4b584654-ap-0.cfg").c_str());
    Write(".testcfg", "forcediscovery=n\n");
    Scan();
    EXPECT_TRUE(m_Test.GetFactoryCheckModel());
    EXPECT_FALSE(m_Test.GetFactoryTesting());
    EXPECT_FALSE(m_Test.GetForceFactoryTest());
}

TEST_F(MarkerFixture, ReadOnlyCardIsScannedAndInsertAloneIsNot)
{
    Write(".checkmodelcfg", "");
    Write(".testcfg", "burnintest=Y\n");
    Scan(emSDState_Insert);  // not mounted
    EXPECT_FALSE(m_Test.GetFactoryCheckModel());
    EXPECT_FALSE(m_Test.GetBurnInTesting());
    chmod((Dir() + "/.testcfg").c_str(), 0444);
    Scan(kCard | emSDState_ReadOnly | emSDState_WriteProtect);
    EXPECT_TRUE(m_Test.GetFactoryCheckModel());
    EXPECT_TRUE(m_Test.GetBurnInTesting());
}

}  // namespace
