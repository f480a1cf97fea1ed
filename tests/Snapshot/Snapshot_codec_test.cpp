// Snapshots with the real JPEG encoder (libjpeg-turbo) read back by
// independent peers: ffprobe, a full ffmpeg decode, a Python marker walk,
// and the box walker on the alarm video that carries the record.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "Record/RecordFeeder.h"
#include "SnapshotRig.h"
#include "tests/OSD/OSDTestSupport.h"

namespace {

std::string Quote(const std::string& s)
{
    return "'" + s + "'";
}

std::string Sh(const std::string& cmd)
{
    int status = -1;
    std::string out = XTestRun(cmd, &status);
    EXPECT_EQ(status, 0) << cmd << "\n" << out;
    return out;
}

std::string Hex(const std::string& s)
{
    std::string hex;
    for (unsigned char c : s) {
        char b[3];
        snprintf(b, sizeof(b), "%02x", c);
        hex += b;
    }
    return hex;
}

// The UTC second of a name "L" + YYYYMMDDhhmmss...; -1 when it has none.
time_t NameSecond(const std::string& name)
{
    struct tm t = {};
    if (name.size() < 15 || sscanf(name.c_str() + 1, "%4d%2d%2d%2d%2d%2d", &t.tm_year, &t.tm_mon, &t.tm_mday,
                                   &t.tm_hour, &t.tm_min, &t.tm_sec) != 6) {
        return -1;
    }
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    return timegm(&t);
}

// Local time far from UTC: a name made from local time would be hours off.
class CFarTimeZone {
public:
    CFarTimeZone()
    {
        const char* tz = getenv("TZ");
        m_bHad = tz != nullptr;
        m_strOld = tz != nullptr ? tz : "";
        setenv("TZ", "JST-9", 1);
        tzset();
    }
    ~CFarTimeZone()
    {
        if (m_bHad) {
            setenv("TZ", m_strOld.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    bool m_bHad;
    std::string m_strOld;
};

class SnapshotCodec : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_Rig.Ok());
        ASSERT_TRUE(m_Rig.m_lpManager->Init());
        m_Rig.m_lpPorts->NotifyCard(kUsableCard);
        m_Rig.m_lpEngine->ResumeCommonRecord();
    }

    void Take(unsigned long type, int notify = 0)
    {
        const uint64_t before = CSnapshotRig::Released();
        ASSERT_TRUE(m_Rig.m_lpManager->Snapshot(2, notify, type));
        ASSERT_TRUE(CSnapshotRig::WaitReleased(before + 1));
    }

    std::string Path(const std::string& name) const { return m_Rig.SnapDir() + "/" + name; }

    CSnapshotRig m_Rig{FALSE};
};

TEST_F(SnapshotCodec, SavedJpegReadsBackWithItsGpsLineAndUtcName)
{
    CFarTimeZone tz;
    const std::string gps = "$GPRMC,083559.00,A,4717.11437,N,00833.91522,E,0.004,77.52,091202,,,A*57";
    m_Rig.m_lpPorts->SetGPS(&gps);
    const time_t before = time(nullptr);
    Take('A');
    const time_t after = time(nullptr);
    const std::vector<std::string> snaps = m_Rig.Snaps();
    ASSERT_EQ(snaps.size(), 1u);
    const std::string file = Path(snaps[0]);
    EXPECT_EQ(Sh("ffprobe -v error -show_entries stream=codec_name,width,height -of default=noprint_wrappers=1 " +
                 Quote(file)),
              "codec_name=mjpeg\nwidth=1920\nheight=1080\n");
    EXPECT_EQ(Sh("ffmpeg -nostdin -v error -i " + Quote(file) + " -f null - 2>&1"), "");
    const std::string walk =
        Sh(std::string(DASHCAM_PYTHON) + " " + DASHCAM_SOURCE_DIR + "/tests/AVCapture/media_check.py jpeg " + Quote(file));
    EXPECT_NE(walk.find("\"com\": [\"" + Hex(gps) + "\"]"), std::string::npos) << walk;
    EXPECT_NE(walk.find("\"eoi\": true"), std::string::npos) << walk;
    // The picture's time, as UTC, is the name's.
    const time_t named = NameSecond(snaps[0]);
    EXPECT_GE(named, before) << snaps[0];
    EXPECT_LE(named, after) << snaps[0];

    // The next request without a line carries none, not the last one.
    m_Rig.m_lpPorts->SetGPS(nullptr);
    Take('G');
    const std::vector<std::string> two = m_Rig.Snaps();
    ASSERT_EQ(two.size(), 2u);
    const std::string second = two[0] == snaps[0] ? two[1] : two[0];
    const std::string walk2 = Sh(std::string(DASHCAM_PYTHON) + " " + DASHCAM_SOURCE_DIR +
                                 "/tests/AVCapture/media_check.py jpeg " + Quote(Path(second)));
    EXPECT_NE(walk2.find("\"com\": []"), std::string::npos) << walk2;
}

TEST_F(SnapshotCodec, SavedJpegShowsTheTimestampInItsBox)
{
    CTestOSDManager osd;
    testing::internal::CaptureStdout();
    const BOOL up = osd.Init();
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(up);
    ASSERT_TRUE(XTestWaitFor([] { return XTestRgn(2).u64SetBitMap > 0; }));
    Take('A');
    testing::internal::CaptureStdout();
    osd.CleanUp();
    testing::internal::GetCapturedStdout();
    const std::vector<std::string> snaps = m_Rig.Snaps();
    ASSERT_EQ(snaps.size(), 1u);
    // The checker reads the picture's second from a time stamp: the name's.
    const std::string pts = m_Rig.m_Board.Dir() + "/pts.txt";
    std::ofstream(pts) << static_cast<long long>(NameSecond(snaps[0])) * 1000000 << "\n";
    const std::string check =
        Sh("ffmpeg -nostdin -v error -i " + Quote(Path(snaps[0])) + " -f rawvideo -pix_fmt gray - | " +
           DASHCAM_PYTHON + " " + DASHCAM_SOURCE_DIR + "/tests/OSD/osd_frames.py timestamp 1920 1080 752 1040 " +
           DASHCAM_SOURCE_DIR + "/OSD/data/CharImageDataBase32.bin " + pts);
    EXPECT_NE(check.find("\"ok\": true"), std::string::npos) << check;
}

TEST_F(SnapshotCodec, AlarmVideoCarriesTheSnapshotRecord)
{
    tagRecordFeederConfig cfg;
    cfg.poolFrames = 90;
    CRecordFeeder feeder(*m_Rig.m_lpEngine, cfg);
    ASSERT_TRUE(feeder.Ok());
    feeder.Feed(20 * 30);
    m_Rig.m_lpEngine->StartAlarmRecord(emAlarmType_Accelerate, 'A');
    std::string gps = "$GPGGA,";
    while (gps.size() < 100) {
        gps += static_cast<char>('0' + gps.size() % 10);
    }
    m_Rig.m_lpPorts->SetGPS(&gps);
    Take('A', 1);
    Take('A', 1);
    feeder.Feed(20 * 30);
    m_Rig.m_lpEngine->StopAllRecord(1, 1);

    std::vector<std::string> videos;
    for (const std::string& n : XRecListDir(m_Rig.m_Board.Path("/tmp/mmc0/DCIM/101video"))) {
        if (n.size() > 4 && n.compare(n.size() - 4, 4, ".MP4") == 0) {
            videos.push_back(m_Rig.m_Board.Path("/tmp/mmc0/DCIM/101video/") + n);
        }
    }
    ASSERT_EQ(videos.size(), 1u);
    const std::string walk = Sh(std::string(DASHCAM_PYTHON) + " " + DASHCAM_SOURCE_DIR +
                                "/tests/Record/MP4BoxWalker.py " + Quote(videos[0]));
    EXPECT_NE(walk.find("asct 2\n"), std::string::npos) << walk;
    // One record per saved image: its letter, time and collision index, and
    // the GPS line cut to 63 characters.
    const std::string gpsHex = Hex(gps.substr(0, 63)) + "00";
    const std::vector<std::string> snaps = m_Rig.Snaps();
    ASSERT_EQ(snaps.size(), 2u);
    for (const std::string& name : snaps) {
        const time_t second = NameSecond(name);
        struct tm t;
        gmtime_r(&second, &t);
        const RECTIME rt = RECTIME::Make(static_cast<unsigned>(t.tm_year - 100), static_cast<unsigned>(t.tm_mon + 1),
                                         static_cast<unsigned>(t.tm_mday), static_cast<unsigned>(t.tm_hour),
                                         static_cast<unsigned>(t.tm_min), static_cast<unsigned>(t.tm_sec));
        const size_t paren = name.find('(');
        const int index = paren == std::string::npos ? 0 : atoi(name.c_str() + paren + 1);
        EXPECT_NE(walk.find("rec A " + std::to_string(rt.value) + " " + std::to_string(index) + " " + gpsHex + "\n"),
                  std::string::npos)
            << walk << "\nwanted " << name << " rectime " << rt.value;
    }
}

TEST_F(SnapshotCodec, NoStalePictureAfterATimeoutOrAPause)
{
    Take('A');
    // The picture comes after the 2 s limit and waits in the encoder.
    testing::internal::CaptureStdout();
    XMediaSimStall(2, 3000);
    ASSERT_TRUE(m_Rig.m_lpManager->Snapshot(2, 0, 'G'));
    tagMediaSimVenc v;
    for (int i = 0; i < 60000 && !(XMediaSimVencInfo(2, &v) && v.u32Queued == 1 && v.s32RecvLeft <= 0); ++i) {
        XSleep(1);
    }
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(v.u32Queued, 1u);
    EXPECT_NE(out.find("[IMAGE SNAPSHOT]get venc stream time out"), std::string::npos) << out;
    const time_t late = time(nullptr);
    while (time(nullptr) <= late) {
        XSleep(5);
    }
    time_t asked = time(nullptr);
    uint64_t before = CSnapshotRig::Released();
    ASSERT_TRUE(m_Rig.m_lpManager->Snapshot(2, 0, 'M'));
    ASSERT_TRUE(CSnapshotRig::WaitReleased(before + 2));  // the late one, then its own
    std::vector<std::string> snaps = m_Rig.Snaps();
    ASSERT_EQ(snaps.size(), 2u);
    const std::string& m = snaps[0][0] == 'M' ? snaps[0] : snaps[1];
    EXPECT_EQ(m[0], 'M');
    EXPECT_GE(NameSecond(m), asked) << m;

    // A capture while paused asks for no picture.
    m_Rig.m_lpManager->PauseSnapshot();
    std::vector<unsigned char> buf(4 << 20);
    unsigned len = static_cast<unsigned>(buf.size());
    EXPECT_FALSE(m_Rig.m_lpManager->Capture(buf.data(), &len));
    ASSERT_TRUE(XMediaSimVencInfo(2, &v));
    EXPECT_LE(v.s32RecvLeft, 0);
    const time_t paused = time(nullptr);
    while (time(nullptr) <= paused) {
        XSleep(5);
    }
    m_Rig.m_lpManager->ResumeSnapshot();
    asked = time(nullptr);
    before = CSnapshotRig::Released();
    ASSERT_TRUE(m_Rig.m_lpManager->Snapshot(2, 0, 'R'));
    ASSERT_TRUE(CSnapshotRig::WaitReleased(before + 1));
    for (const std::string& n : m_Rig.Snaps()) {
        if (n[0] == 'R') {
            EXPECT_GE(NameSecond(n), asked) << n;
        }
    }
}

}  // namespace
