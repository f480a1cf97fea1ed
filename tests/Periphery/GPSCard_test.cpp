#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "support/CardRig.h"
#include "tests/Periphery/GPSTestSupport.h"

namespace {

const int I = emSDState_Insert;
const int M = emSDState_Mount;

bool HeldOpen(const std::string& path)
{
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        std::error_code ec2;
        if (std::filesystem::read_symlink(e.path(), ec2).string() == path) {
            return true;
        }
    }
    return false;
}

// The GPS on a real card: the board's image on loop devices, mounted by
// the SD manager in a private mount namespace.
class GPSCardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string why = CCardRig::Unavailable();
        if (!why.empty()) {
            GTEST_SKIP() << why;
        }
        m_Rig.reset(new CGPSRig(&m_Sys));
        ASSERT_TRUE(m_Rig->Ok());
        m_Card.reset(new CCardRig(m_Rig->m_Board, 32));
        ASSERT_TRUE(m_Card->Ok()) << m_Card->Error();
        testing::internal::CaptureStdout();
        const bool ok = m_Rig->m_GPS.Init() && m_Rig->Mount() == (I | M) && m_Rig->SyncRecord("5.0", 9);
        testing::internal::GetCapturedStdout();
        ASSERT_TRUE(ok);
        m_strTrack = std::filesystem::canonical(m_Card->MountDir()).string() + "/gps/20170731.dat";
        ASSERT_TRUE(HeldOpen(m_strTrack)) << m_strTrack;
    }
    void TearDown() override
    {
        if (m_Rig) {
            m_Rig->m_GPS.CleanUp();
        }
        m_Card.reset();
        m_Rig.reset();
    }
    std::string Findmnt() const
    {
        return XTestRun("findmnt -n -r -o SOURCE --mountpoint " + m_Card->MountDir());
    }

    CSDSystem m_Sys;
    std::unique_ptr<CGPSRig> m_Rig;
    std::unique_ptr<CCardRig> m_Card;
    std::string m_strTrack;
};

TEST_F(GPSCardTest, RemovalClosesTheTrackFile)
{
    m_Rig->m_Board.Sim("card", "remove");
    testing::internal::CaptureStdout();
    EXPECT_EQ(m_Rig->m_SD.CheckSDCard(), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(HeldOpen(m_strTrack));
    EXPECT_EQ(Findmnt(), "");
    EXPECT_EQ(m_Rig->m_GPS.GetGPSFileListAsJSON(nullptr, 0), -1);
}

TEST_F(GPSCardTest, FormatWithTheTrackFileOpenSucceeds)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(m_Rig->m_SD.Format(), 0);   // the unmount went through
    EXPECT_FALSE(HeldOpen(m_strTrack));
    EXPECT_EQ(Findmnt(), "");
    EXPECT_EQ(m_Rig->m_SD.CheckSDCard(), I | M);
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(std::filesystem::exists(m_strTrack));
    // the next fix starts a new file on the fresh card
    testing::internal::CaptureStdout();
    const bool synced = m_Rig->SyncRecord("6.0", 11);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(synced);
    std::ifstream in(m_strTrack, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(), "#\r\n20170731120000,4807.0380,N,01131.0000,E,6.0,\r\n");
}

}  // namespace
