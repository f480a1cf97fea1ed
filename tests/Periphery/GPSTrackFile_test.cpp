#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/Periphery/GPSTestSupport.h"

namespace {

const int I = emSDState_Insert;
const int M = emSDState_Mount;
const int RO = emSDState_ReadOnly;
const int WP = emSDState_WriteProtect;

// 2017-11-01 12:00:00 UTC: three days after the clocks went back in Europe.
const time_t kToday = 1509537600;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::set<std::string> List(const std::string& dir)
{
    std::set<std::string> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
        out.insert(e.path().filename().string());
    }
    return out;
}

// Whether this process holds a descriptor on `path`.
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

// The names in the list, read by Python's json.
std::vector<std::string> ListNames(CGPS& gps)
{
    char buf[4096];
    const int n = gps.GetGPSFileListAsJSON(buf, sizeof(buf));
    EXPECT_GT(n, 0);
    const std::string file = std::filesystem::temp_directory_path() / ("gpslist-" + std::to_string(getpid()) + ".json");
    std::ofstream(file, std::ios::binary) << std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
    const std::string out = XTestRun(std::string(DASHCAM_PYTHON) +
                                     " -c 'import json,sys; d=json.load(open(sys.argv[1])); assert d[\"gpsfolder\"]==\"gps\";"
                                     " print(\"\\n\".join(d[\"gpsdata\"]))' " + file);
    unlink(file.c_str());
    std::vector<std::string> names;
    std::istringstream in(out);
    std::string l;
    while (std::getline(in, l)) {
        if (!l.empty()) {
            names.push_back(l);
        }
    }
    return names;
}

class ScopedTZ {
public:
    explicit ScopedTZ(const char* tz)
    {
        const char* old = getenv("TZ");
        m_bHad = old != nullptr;
        if (m_bHad) {
            m_strOld = old;
        }
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTZ()
    {
        if (m_bHad) {
            setenv("TZ", m_strOld.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    bool m_bHad = false;
    std::string m_strOld;
};

class GPSTrackFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_Rig.Ok());
        m_Rig.m_Links.m_Now = kToday;
        testing::internal::CaptureStdout();
        const BOOL ok = m_Rig.m_GPS.Init();
        testing::internal::GetCapturedStdout();
        ASSERT_TRUE(ok);
    }
    void Seed(const std::vector<std::string>& names)
    {
        std::filesystem::create_directories(m_Rig.GpsDir());
        for (const std::string& n : names) {
            std::ofstream(m_Rig.GpsDir() + n) << "#\r\n";
        }
    }
    int Notify(int state)
    {
        testing::internal::CaptureStdout();
        const int r = CGPS::SDCardStateChange(state, &m_Rig.m_GPS);
        m_strOut = testing::internal::GetCapturedStdout();
        return r;
    }
    int Mount()
    {
        testing::internal::CaptureStdout();
        const int r = m_Rig.Mount();
        m_strOut = testing::internal::GetCapturedStdout();
        return r;
    }
    // A fix at a unique speed, and a wait until it was handled.
    void Fix(const std::string& knots, uint32_t kmh)
    {
        testing::internal::CaptureStdout();
        const bool ok = m_Rig.SyncRecord(knots, kmh);
        m_strOut = testing::internal::GetCapturedStdout();
        ASSERT_TRUE(ok);
    }

    CGPSRig m_Rig;
    std::string m_strOut;
};

TEST_F(GPSTrackFileTest, RetentionUnderUtcAndADaylightSavingZone)
{
    ASSERT_EQ(Mount(), I | M);
    const char* zones[] = {"UTC", "CET-1CEST,M3.5.0,M10.5.0/3", "Europe/Berlin"};
    for (const char* zone : zones) {
        SCOPED_TRACE(zone);
        ScopedTZ tz(zone);
        Notify(0);
        std::filesystem::remove_all(m_Rig.GpsDir());
        Seed({"20171101.dat", "20171025.dat", "20171024.dat", "2017731.dat", "abc.dat", "20170799.dat",
              "20171000.dat", "20171399.dat", "notes.txt"});
        std::filesystem::create_directories(m_Rig.GpsDir() + "20171030.dat");  // a folder
        ASSERT_EQ(Notify(I | M), 0);
        EXPECT_NE(m_strOut.find("IN GPS SD CALLBACK...\n"), std::string::npos);
        EXPECT_NE(m_strOut.find("FIND IN GPS FOLDER[abc.dat]\n"), std::string::npos);
        EXPECT_EQ(List(m_Rig.GpsDir()),
                  std::set<std::string>({"20171101.dat", "20171025.dat", "abc.dat", "notes.txt", "20171030.dat"}));
        std::vector<std::string> names = ListNames(m_Rig.m_GPS);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, std::vector<std::string>({"20171025.dat", "20171101.dat"}));
    }
}

TEST_F(GPSTrackFileTest, RepeatedNotificationsGiveNoDuplicates)
{
    Seed({"20171101.dat", "20171031.dat"});
    ASSERT_EQ(Mount(), I | M);
    ASSERT_EQ(Notify(I | M | RO), 0);   // a read-only change
    ASSERT_EQ(Notify(I | M), 0);        // and back
    std::vector<std::string> names = ListNames(m_Rig.m_GPS);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, std::vector<std::string>({"20171031.dat", "20171101.dat"}));
    // the card goes away: the list empties
    ASSERT_EQ(Notify(0), 0);
    char buf[64];
    ASSERT_EQ(m_Rig.m_GPS.GetGPSFileListAsJSON(buf, sizeof(buf)), 32);
    EXPECT_STREQ(buf, "{\"gpsfolder\":\"gps\",\"gpsdata\":[]}");
}

TEST_F(GPSTrackFileTest, JsonListSizes)
{
    char buf[128];
    struct tagCase {
        int files;
        int size;
        int result;
    };
    const tagCase cases[] = {
        {0, 30, -1}, {0, 32, -1}, {0, 33, 32},
        {1, 46, -1}, {1, 47, 46},
        {2, 60, -1}, {2, 61, -1}, {2, 62, 61},
    };
    for (const tagCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.files) + " files in " + std::to_string(c.size));
        Notify(0);
        std::filesystem::remove_all(m_Rig.GpsDir());
        std::vector<std::string> names = {"20171101.dat", "20171031.dat"};
        names.resize(static_cast<size_t>(c.files));
        Seed(names);
        m_Rig.Mount();
        Notify(I | M);
        memset(buf, 'x', sizeof(buf));
        EXPECT_EQ(m_Rig.m_GPS.GetGPSFileListAsJSON(buf, c.size), c.result);
        if (c.result > 0) {
            EXPECT_EQ(strlen(buf), static_cast<size_t>(c.result));
        }
    }
}

TEST_F(GPSTrackFileTest, CardStates)
{
    ASSERT_EQ(Mount(), I | M);
    const std::string file = m_Rig.GpsDir() + "20171101.dat";
    auto lines = [&] {
        std::vector<std::string> out;
        std::string text = ReadFile(file);
        size_t at = 0;
        while (at < text.size()) {
            size_t end = text.find("\r\n", at);
            if (end == std::string::npos) {
                out.push_back("(unended) " + text.substr(at));
                break;
            }
            out.push_back(text.substr(at, end - at));
            at = end + 2;
        }
        return out;
    };
    const std::string rec = "20171101120000,4807.0380,N,01131.0000,E,";

    // read-only and write-protected cards: the record line only
    for (int state : {I | M | RO, I | M | WP}) {
        Notify(state);
        Fix(std::to_string(state) + ".0", static_cast<uint32_t>(state * 1.852));
        EXPECT_EQ(m_Rig.Line(), rec + std::to_string(state) + ".0,");
        EXPECT_FALSE(std::filesystem::exists(file));
    }
    // usable again: a new file with '#'
    Notify(I | M);
    Fix("20.0", 37);
    EXPECT_NE(m_strOut.find("SAVE GPS DATA ENABLED...\n"), std::string::npos);
    Fix("21.0", 38);
    EXPECT_EQ(lines(), std::vector<std::string>({"#", rec + "20.0,", rec + "21.0,"}));
    EXPECT_TRUE(HeldOpen(file));
    // pause: flushed and closed; fixes go on in memory
    ASSERT_TRUE(m_Rig.m_GPS.PauseSaveData());
    EXPECT_FALSE(HeldOpen(file));
    Fix("22.0", 40);
    EXPECT_EQ(m_Rig.Line(), rec + "22.0,");
    EXPECT_EQ(lines().size(), 3u);
    // resume: a new '#' at the next fix
    ASSERT_TRUE(m_Rig.m_GPS.ResumeSaveData());
    EXPECT_FALSE(HeldOpen(file));
    Fix("23.0", 42);
    EXPECT_EQ(lines(), std::vector<std::string>({"#", rec + "20.0,", rec + "21.0,", "#", rec + "23.0,"}));
    // the card turns read-only: closed at once
    Notify(I | M | RO);
    EXPECT_FALSE(HeldOpen(file));
    // the card goes away
    Notify(I | M);
    Fix("24.0", 44);
    EXPECT_TRUE(HeldOpen(file));
    Notify(0);
    EXPECT_FALSE(HeldOpen(file));
    Fix("25.0", 46);
    EXPECT_EQ(m_Rig.Line(), rec + "25.0,");
    EXPECT_EQ(lines().back(), rec + "24.0,");
}

TEST_F(GPSTrackFileTest, FileOfTheDayAtOpening)
{
    ASSERT_EQ(Mount(), I | M);
    Fix("1.0", 1);
    m_Rig.m_Links.m_Now = kToday + 86400;  // past midnight: the open file stays in use
    Fix("2.0", 3);
    EXPECT_EQ(List(m_Rig.GpsDir()), std::set<std::string>({"20171101.dat"}));
    m_Rig.m_GPS.PauseSaveData();
    m_Rig.m_GPS.ResumeSaveData();
    Fix("3.0", 5);
    EXPECT_EQ(List(m_Rig.GpsDir()), std::set<std::string>({"20171101.dat", "20171102.dat"}));
    EXPECT_EQ(ReadFile(m_Rig.GpsDir() + "20171102.dat"), "#\r\n20171102120000,4807.0380,N,01131.0000,E,3.0,\r\n");
}

}  // namespace
