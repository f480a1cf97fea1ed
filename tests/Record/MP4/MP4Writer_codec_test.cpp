// The writer fed by real encoders, its files checked by independent readers:
// ffprobe and ffmpeg (a full decode), and a Python box walker of its own.
// Host only (libx264, fdk-aac, ffmpeg, unshare and strace).

#include <gtest/gtest.h>

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Record/Index/AssociatedData.h"
#include "Record/MP4/MP4CodecFeed.h"
#include "Record/MP4/MP4File.h"
#include "Record/MP4/MP4TestFile.h"
#include "support/TestBoard.h"

namespace {

using namespace mp4test;

std::string Quote(const std::string& s)
{
    return "'" + s + "'";
}

// Lines key=value of ffprobe for one stream ("v:0", "a:0") and the format.
std::map<std::string, std::string> Probe(const std::string& path, const std::string& stream)
{
    std::string out = XTestRun("ffprobe -v error -count_frames -select_streams " + stream +
                               " -show_entries stream=codec_name,profile,nb_frames,nb_read_frames,r_frame_rate,"
                               "avg_frame_rate,duration,sample_rate,channels:format=duration"
                               " -of default=noprint_wrappers=1 " +
                               Quote(path) + " 2>&1");
    std::map<std::string, std::string> kv;
    std::stringstream ss(out);
    std::string line;
    while (std::getline(ss, line)) {
        size_t eq = line.find('=');
        if (eq != std::string::npos) {
            // The format's duration comes after the stream's.
            std::string key = line.substr(0, eq);
            if (kv.count(key) != 0) {
                key = "format_" + key;
            }
            kv[key] = line.substr(eq + 1);
        } else if (!line.empty()) {
            kv["error"] += line;
        }
    }
    return kv;
}

// Everything ffmpeg says while decoding the whole file (nothing when clean).
std::string DecodeErrors(const std::string& path)
{
    return XTestRun("ffmpeg -nostdin -v error -i " + Quote(path) + " -f null - 2>&1");
}

std::vector<std::string> Walk(const std::string& path, int* status)
{
    std::string out = XTestRun(std::string(DASHCAM_PYTHON) + " " + DASHCAM_SOURCE_DIR +
                                   "/tests/Record/MP4BoxWalker.py " + Quote(path) + " 2>&1",
                               status);
    std::vector<std::string> lines;
    std::stringstream ss(out);
    std::string line;
    while (std::getline(ss, line)) {
        lines.push_back(line);
    }
    return lines;
}

// "top ftyp:36 ... mdat:123 moov:456" with the sizes of the listed boxes
// replaced by N: "top ftyp:36 free:12 free:8 mdat:N moov:N".
std::string Shape(const std::string& top, const std::vector<std::string>& variable)
{
    std::stringstream ss(top);
    std::string word;
    std::string out;
    while (ss >> word) {
        size_t colon = word.find(':');
        if (colon != std::string::npos) {
            std::string kind = word.substr(0, colon);
            for (const std::string& v : variable) {
                if (kind == v && word.find_first_not_of("0123456789", colon + 1) == std::string::npos &&
                    word.size() > colon + 1) {
                    word = kind + ":N";
                }
            }
        }
        out += (out.empty() ? "" : " ") + word;
    }
    return out;
}

std::string Seconds(double s)
{
    char buf[32];
    snprintf(buf, sizeof(buf), "%.6f", s);
    return buf;
}

// What a recording wrote.
struct tagRecorded {
    int video = 0;         // video frames in the file
    int audio = 0;         // accepted audio frames
    bool failed = false;   // a packet call returned 0
};

// Feeds `frames` pictures and the audio that arrives meanwhile, in arrival
// order, as the engine would. Stops feeding after `stopAfterFailures`
// failed calls (0: never).
tagRecorded Feed(CMP4File& file, CMP4CodecFeed& feed, int frames, bool audio, int stopAfterFailures = 0)
{
    tagRecorded r;
    int failures = 0;
    for (int i = 0; i < frames; ++i) {
        std::vector<const tagMediaDataInfo*> video;
        if (!feed.NextVideo(&video) || video.empty()) {
            ADD_FAILURE() << "video encoder failed at " << i;
            return r;
        }
        const uint64_t now = video[0]->nTimestamp2;
        while (audio && feed.NextAudioArrival() <= now) {
            const tagMediaDataInfo* a = nullptr;
            if (!feed.NextAudio(&a)) {
                ADD_FAILURE() << "audio encoder failed";
                return r;
            }
            if (file.WriteAudioPacket(a)) {
                r.audio++;
            } else {
                r.failed = true;
                failures++;
            }
        }
        for (const tagMediaDataInfo* p : video) {
            const unsigned before = file.GetTotalFrames();
            if (file.WriteVideoPacket(p)) {
                // Frames dropped while waiting for a key frame are taken but not written.
                r.video += static_cast<int>(file.GetTotalFrames() - before);
            } else {
                r.failed = true;
                failures++;
            }
        }
        feed.Clear();
        if (stopAfterFailures > 0 && failures >= stopAfterFailures) {
            break;
        }
    }
    return r;
}

tagFixtureVideoConfig VideoConfig(int fps, int gop, const char* profile = "baseline")
{
    tagFixtureVideoConfig c;
    c.width = 320;
    c.height = 240;
    c.fps = fps;
    c.gop = gop;
    c.bitrateKbps = 300;
    c.profile = profile;
    return c;
}

// The parameter sets come with the first IDR: StartRecord needs them, so the
// first picture is encoded before the file starts (as on the camera, whose
// engine has seen them before the first file).
class CodecRecording : public ::testing::Test {
protected:
    BOOL Start(CMP4CodecFeed& feed, const std::string& name, emRecordFileType type = emRecordFileType_Common,
               const TimeTypeMappingNode* list = nullptr)
    {
        const int fps = feed.Fps();
        return m_File.StartRecord((m_Dir / name).c_str(), fps * 3000, fps, 320, 240, list, 600, type,
                                  &feed.SpsPps());
    }
    // Encodes one picture to learn the parameter sets (it is not recorded).
    static void Prime(CMP4CodecFeed& feed)
    {
        std::vector<const tagMediaDataInfo*> v;
        ASSERT_TRUE(feed.NextVideo(&v));
        feed.Clear();
        ASSERT_GE(feed.SpsPps().sps_len, 4u);
        ASSERT_GE(feed.SpsPps().pps_len, 1u);
    }

    CScratchDir m_Dir;
    CMP4File m_File;
};

class LoopFile : public CodecRecording, public ::testing::WithParamInterface<const char*> {};

// A 10 s loop file with audio: exact counts, rates and durations of both
// tracks, a clean full decode, and the box layout.
TEST_P(LoopFile, ProbedAndDecoded)
{
    CMP4CodecFeed feed(VideoConfig(30, 30, GetParam()), tagFixtureAudioConfig());
    ASSERT_TRUE(feed.IsOpen());
    // The encoder's config is the one the writer stores for the camera's audio.
    EXPECT_EQ((std::vector<uint8_t>{0x15, 0x88}), feed.AudioSpecificConfig());
    Prime(feed);
    // The picture that gave the parameter sets was an IDR; the next GOP starts 29 frames on.
    for (int i = 0; i < 29; ++i) {
        std::vector<const tagMediaDataInfo*> v;
        ASSERT_TRUE(feed.NextVideo(&v));
        feed.Clear();
    }
    ASSERT_TRUE(Start(feed, "loop.mp4"));
    tagRecorded r = Feed(m_File, feed, 300, true);
    ASSERT_FALSE(r.failed);
    ASSERT_EQ(300, r.video);
    ASSERT_TRUE(m_File.StopRecord());
    const std::string path = m_Dir / "loop.mp4";

    std::map<std::string, std::string> v = Probe(path, "v:0");
    EXPECT_EQ("", v["error"]);
    EXPECT_EQ("h264", v["codec_name"]);
    EXPECT_EQ("300", v["nb_frames"]);
    EXPECT_EQ("300", v["nb_read_frames"]);
    EXPECT_EQ("30/1", v["r_frame_rate"]);
    EXPECT_EQ("30/1", v["avg_frame_rate"]);
    EXPECT_EQ("10.000000", v["duration"]);
    EXPECT_EQ("10.000000", v["format_duration"]);

    std::map<std::string, std::string> a = Probe(path, "a:0");
    EXPECT_EQ("aac", a["codec_name"]);
    EXPECT_EQ("LC", a["profile"]);
    EXPECT_EQ("8000", a["sample_rate"]);
    EXPECT_EQ("1", a["channels"]);
    EXPECT_EQ(std::to_string(r.audio), a["nb_frames"]);
    EXPECT_EQ(std::to_string(r.audio), a["nb_read_frames"]);
    EXPECT_EQ(Seconds(r.audio * 1024.0 / 8000.0), a["duration"]);

    EXPECT_EQ("", DecodeErrors(path));

    int status = -1;
    std::vector<std::string> walk = Walk(path, &status);
    ASSERT_EQ(0, status) << ::testing::PrintToString(walk);
    ASSERT_GE(walk.size(), 5u);
    EXPECT_EQ("top ftyp:36 free:12 free:8 mdat:N moov:N", Shape(walk[0], {"mdat", "moov"}));
    EXPECT_EQ("mvhd 1000 10000 3", walk[2]);
    EXPECT_EQ("trak 1 vide 90000 900000 300", walk[3]);
    EXPECT_EQ("trak 2 soun 8000 " + std::to_string(r.audio * 1024) + " " + std::to_string(r.audio), walk[4]);
}

INSTANTIATE_TEST_SUITE_P(Profiles, LoopFile, ::testing::Values("baseline", "main"));

// An alarm file: the private box sits between mdat and moov with its mask
// and the snapshot records, and players skip it.
TEST_F(CodecRecording, AlarmFileSkipBox)
{
    CMP4CodecFeed feed(VideoConfig(30, 30), tagFixtureAudioConfig());
    ASSERT_TRUE(feed.IsOpen());
    Prime(feed);
    for (int i = 0; i < 29; ++i) {
        std::vector<const tagMediaDataInfo*> v;
        ASSERT_TRUE(feed.NextVideo(&v));
        feed.Clear();
    }
    TimeTypeMappingNode accel = {300, emRecordTriggerType_AcceleratorAlarm, nullptr};
    TimeTypeMappingNode gesture = {300, emRecordTriggerType_GestureAlarm, &accel};
    ASSERT_TRUE(Start(feed, "alarm.mp4", emRecordFileType_Alarm, &gesture));

    CAssociatedDataManager* pool = CAssociatedDataManager::instance();
    CAssociatedData* first = pool->GetNode();
    CAssociatedData* second = pool->GetNode();
    ASSERT_TRUE(first && second);
    first->SetRecType('G');
    first->SetRecTime(RECTIME::Make(26, 12, 10, 10, 20, 30));
    first->SetRecIndex(0);
    first->SetGPSPosition("N22.540000,E113.950000,12.5");
    second->SetRecType('A');
    second->SetRecTime(RECTIME::Make(26, 12, 10, 10, 20, 31));
    second->SetRecIndex(3);
    first->SetNext(second);
    m_File.SetAssociatedData(first);

    tagRecorded r = Feed(m_File, feed, 90, true);
    ASSERT_EQ(90, r.video);
    ASSERT_TRUE(m_File.StopRecord());
    const std::string path = m_Dir / "alarm.mp4";

    int status = -1;
    std::vector<std::string> walk = Walk(path, &status);
    ASSERT_EQ(0, status) << ::testing::PrintToString(walk);
    ASSERT_GE(walk.size(), 6u);
    EXPECT_EQ("top ftyp:36 free:12 free:8 mdat:N skip:186 moov:N", Shape(walk[0], {"mdat", "moov"}));
    EXPECT_EQ("altg 6", walk[2]);
    EXPECT_EQ("asct 2", walk[3]);
    std::string gps(first->GetGPSPosition(), first->GetGPSPosition() + 64);
    std::string hex;
    for (unsigned char ch : gps) {
        char b[3];
        snprintf(b, sizeof(b), "%02x", ch);
        hex += b;
    }
    EXPECT_EQ("rec G " + std::to_string(RECTIME::Make(26, 12, 10, 10, 20, 30).value) + " 0 " + hex, walk[4]);
    EXPECT_EQ(0u, walk[5].rfind("rec A " + std::to_string(RECTIME::Make(26, 12, 10, 10, 20, 31).value) + " 3 ", 0))
        << walk[5];

    EXPECT_EQ("90", Probe(path, "v:0")["nb_read_frames"]);
    EXPECT_EQ("", DecodeErrors(path));
}

// Parking mode: one frame a second, every frame an I-frame; 180 frames are
// 180 s (the movie timescale does not follow the frame rate).
TEST_F(CodecRecording, ParkingModeDuration)
{
    CMP4CodecFeed feed(VideoConfig(1, 1), tagFixtureAudioConfig());
    ASSERT_TRUE(feed.IsOpen());
    Prime(feed);
    ASSERT_TRUE(Start(feed, "park.mp4"));
    tagRecorded r = Feed(m_File, feed, 180, true);
    ASSERT_EQ(180, r.video);
    ASSERT_TRUE(m_File.StopRecord());
    const std::string path = m_Dir / "park.mp4";

    std::map<std::string, std::string> v = Probe(path, "v:0");
    EXPECT_EQ("180", v["nb_read_frames"]);
    EXPECT_EQ("1/1", v["r_frame_rate"]);
    EXPECT_EQ("180.000000", v["duration"]);
    EXPECT_EQ("180.000000", v["format_duration"]);
    EXPECT_EQ(Seconds(r.audio * 1024.0 / 8000.0), Probe(path, "a:0")["duration"]);
    EXPECT_EQ("", DecodeErrors(path));
    int status = -1;
    std::vector<std::string> walk = Walk(path, &status);
    ASSERT_GE(walk.size(), 4u);
    EXPECT_EQ("mvhd 1000 180000 3", walk[2]);
    EXPECT_EQ("trak 1 vide 3000 540000 180", walk[3]);
}

// ---- runs of this program under another tool ----

std::string SelfPath()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) {
        return std::string();
    }
    buf[n] = '\0';
    return buf;
}

std::string CurrentTestName()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string(info->test_suite_name()) + "." + info->name();
}

// Runs the current test again in a child: `prefix` self --gtest_filter=this.
// The child sees `env` and does the real work; true when it passed.
bool RunSelfUnder(const std::string& env, const std::string& prefix, std::string* output)
{
    int status = -1;
    *output = XTestRun(env + " " + prefix + " " + Quote(SelfPath()) + " " +
                           Quote("--gtest_filter=" + CurrentTestName()) + " 2>&1",
                       &status);
    return status == 0 && output->find("[  PASSED  ] 1 test") != std::string::npos;
}

// ---- a full card ----

struct tagFullCase {
    const char* name;
    bool freeForTrailer;  // space is freed before StopRecord
};

void PrintTo(const tagFullCase& c, std::ostream* os)
{
    *os << c.name;
}

class FullCard : public CodecRecording, public ::testing::WithParamInterface<tagFullCase> {};

// A tiny tmpfs in a private mount namespace fills up in the middle of a
// sample. With room freed for the trailer the file is complete up to the last
// whole sample; without, StopRecord reports the failure.
TEST_P(FullCard, WriteFailsMidSample)
{
    const char* dir = getenv("MP4_TINYFS_DIR");
    if (dir == nullptr) {
        int st = -1;
        XTestRun("unshare -rm true 2>&1", &st);
        if (st != 0) {
            GTEST_SKIP() << "no private mount namespace here (unshare -rm)";
        }
        CScratchDir mnt;
        std::string out;
        bool passed = RunSelfUnder("MP4_TINYFS_DIR=" + Quote(mnt.Path()),
                                   "unshare -rm sh -c 'mount -t tmpfs -o size=1m tmpfs \"$0\" && exec \"$@\"' " +
                                       Quote(mnt.Path()),
                                   &out);
        EXPECT_TRUE(passed) << out;
        return;
    }

    // Inside the namespace: DIR is a 1 MiB tmpfs. Leave about 120 KiB free.
    const std::string filler = std::string(dir) + "/filler";
    {
        int fd = open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        std::vector<char> block(4096, 'x');
        for (int i = 0; i < (1024 - 120) / 4; ++i) {
            ASSERT_EQ(4096, write(fd, block.data(), block.size()));
        }
        close(fd);
    }
    CMP4CodecFeed feed(VideoConfig(30, 30), tagFixtureAudioConfig());
    ASSERT_TRUE(feed.IsOpen());
    Prime(feed);
    for (int i = 0; i < 29; ++i) {
        std::vector<const tagMediaDataInfo*> v;
        ASSERT_TRUE(feed.NextVideo(&v));
        feed.Clear();
    }
    const std::string path = std::string(dir) + "/full.mp4";
    tagH264SPSPPS vos = feed.SpsPps();
    ASSERT_TRUE(m_File.StartRecord(path.c_str(), 90000, 30, 320, 240, nullptr, 600, emRecordFileType_Common, &vos));
    tagRecorded r = Feed(m_File, feed, 3000, true, 3);
    ASSERT_TRUE(r.failed) << "the card never filled";
    EXPECT_GE(m_File.GetErrorCount(), 3u);
    // Nothing of the failed samples is left behind the last good one.
    struct stat st;
    ASSERT_EQ(0, stat(path.c_str(), &st));
    EXPECT_EQ(static_cast<uint64_t>(st.st_size), m_File.GetFileSize());

    if (!GetParam().freeForTrailer) {
        // Whatever space the cut samples gave back is taken as well.
        int fd = open((std::string(dir) + "/filler2").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        char b[512] = {0};
        while (write(fd, b, sizeof(b)) > 0) {
        }
        close(fd);
        EXPECT_FALSE(m_File.StopRecord()) << "the trailer could not be written";
        return;
    }
    ASSERT_EQ(0, unlink(filler.c_str()));
    ASSERT_TRUE(m_File.StopRecord());
    std::map<std::string, std::string> v = Probe(path, "v:0");
    EXPECT_EQ("", v["error"]);
    EXPECT_EQ(std::to_string(r.video), v["nb_read_frames"]);
    EXPECT_EQ(std::to_string(r.audio), Probe(path, "a:0")["nb_read_frames"]);
    EXPECT_EQ("", DecodeErrors(path));
    int status = -1;
    std::vector<std::string> walk = Walk(path, &status);
    EXPECT_EQ(0, status) << ::testing::PrintToString(walk);
}

INSTANTIATE_TEST_SUITE_P(Trailer, FullCard,
                         ::testing::Values(tagFullCase{"RoomFreed", true}, tagFullCase{"NoRoom", false}),
                         [](const ::testing::TestParamInfo<tagFullCase>& i) { return std::string(i.param.name); });

// ---- lost frames ----

// Presentation times of the video packets, as ffprobe reads them.
std::vector<std::string> VideoPacketTimes(const std::string& path)
{
    std::string out = XTestRun("ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 " +
                               Quote(path) + " 2>&1");
    std::vector<std::string> times;
    std::stringstream ss(out);
    std::string line;
    while (std::getline(ss, line)) {
        if (!line.empty()) {
            times.push_back(line);
        }
    }
    return times;
}

// One failed P-frame write 10 frames into a 30-frame GOP: it and the 19
// frames after it are lost, and the key frame after them still plays at
// 1 s, in step with the audio; the track lasts all 60 frames.
TEST_F(CodecRecording, LostFramesKeepTheirTime)
{
    CMP4CodecFeed feed(VideoConfig(30, 30), tagFixtureAudioConfig());
    ASSERT_TRUE(feed.IsOpen());
    Prime(feed);
    for (int i = 0; i < 29; ++i) {
        std::vector<const tagMediaDataInfo*> v;
        ASSERT_TRUE(feed.NextVideo(&v));
        feed.Clear();
    }
    ASSERT_TRUE(Start(feed, "gap.mp4"));
    tagRecorded r = Feed(m_File, feed, 10, true);
    ASSERT_FALSE(r.failed);
    ASSERT_EQ(10, r.video);
    {
        CFileSizeLimit limit(static_cast<rlim_t>(m_File.GetFileSize()));
        ASSERT_TRUE(limit.Ok());
        testing::internal::CaptureStderr();
        tagRecorded lost = Feed(m_File, feed, 1, true);
        testing::internal::GetCapturedStderr();
        ASSERT_TRUE(lost.failed);
        ASSERT_EQ(0, lost.video);
        r.audio += lost.audio;
    }
    tagRecorded rest = Feed(m_File, feed, 49, true);
    ASSERT_FALSE(rest.failed);
    ASSERT_EQ(30, rest.video) << "frames up to the next key frame are dropped";
    r.audio += rest.audio;
    ASSERT_TRUE(m_File.StopRecord());
    const std::string path = m_Dir / "gap.mp4";

    std::vector<std::string> times = VideoPacketTimes(path);
    ASSERT_EQ(40u, times.size()) << ::testing::PrintToString(times);
    EXPECT_EQ(Seconds(0.0), times[0]);
    EXPECT_EQ(Seconds(9.0 / 30.0), times[9]);
    EXPECT_EQ(Seconds(30.0 / 30.0), times[10]) << "the key frame after the gap";
    EXPECT_EQ(Seconds(59.0 / 30.0), times[39]);

    std::map<std::string, std::string> v = Probe(path, "v:0");
    EXPECT_EQ("", v["error"]);
    EXPECT_EQ("40", v["nb_read_frames"]);
    EXPECT_EQ(Seconds(2.0), v["duration"]);
    EXPECT_EQ(std::to_string(r.audio), Probe(path, "a:0")["nb_read_frames"]);
    EXPECT_EQ("", DecodeErrors(path));

    int status = -1;
    std::vector<std::string> walk = Walk(path, &status);
    ASSERT_EQ(0, status) << ::testing::PrintToString(walk);
    ASSERT_GE(walk.size(), 4u);
    EXPECT_EQ("mvhd 1000 2000 3", walk[2]);
    EXPECT_EQ("trak 1 vide 90000 180000 40", walk[3]);
}

// ---- fsync before close ----

// The system calls of a whole recording, traced by strace: the file's
// descriptor is fsync'ed (successfully) before it is closed.
TEST_F(CodecRecording, FileSyncedBeforeClose)
{
    const char* child = getenv("MP4_STRACE_DIR");
    if (child == nullptr) {
        int st = -1;
        XTestRun("strace -o /dev/null true 2>&1", &st);
        if (st != 0) {
            GTEST_SKIP() << "strace cannot trace here";
        }
        const std::string log = m_Dir / "strace.log";
        std::string out;
        // LeakSanitizer cannot run under ptrace.
        bool passed = RunSelfUnder("ASAN_OPTIONS=detect_leaks=0 MP4_STRACE_DIR=" + Quote(m_Dir.Path()),
                                   "strace -f -qq -e trace=openat,fsync,fdatasync,close -o " + Quote(log), &out);
        ASSERT_TRUE(passed) << out;
        std::ifstream in(log);
        std::string line;
        const std::string target = m_Dir / "synced.mp4";
        // PID openat(AT_FDCWD, "PATH", FLAGS, MODE) = FD
        const std::string opened = "openat(AT_FDCWD, \"" + target + "\", ";
        std::string fd;
        bool synced = false;
        bool closed = false;
        while (std::getline(in, line)) {
            if (fd.empty()) {
                size_t eq = line.rfind(" = ");
                if (line.find(opened) != std::string::npos && eq != std::string::npos) {
                    fd = line.substr(eq + 3);
                }
                continue;
            }
            // strace pads the result: "fsync(5)       = 0".
            const bool ok = line.size() >= 4 && line.compare(line.size() - 4, 4, " = 0") == 0;
            if (line.find("fsync(" + fd + ")") != std::string::npos && ok) {
                synced = true;
            }
            if (line.find("close(" + fd + ")") != std::string::npos) {
                closed = true;
                break;
            }
        }
        ASSERT_FALSE(fd.empty()) << "the file was not opened";
        EXPECT_TRUE(closed);
        EXPECT_TRUE(synced) << "no fsync before close";
        return;
    }
    CMP4CodecFeed feed(VideoConfig(30, 30), tagFixtureAudioConfig());
    ASSERT_TRUE(feed.IsOpen());
    Prime(feed);
    tagH264SPSPPS vos = feed.SpsPps();
    const std::string path = std::string(child) + "/synced.mp4";
    ASSERT_TRUE(m_File.StartRecord(path.c_str(), 90000, 30, 320, 240, nullptr, 600, emRecordFileType_Common, &vos));
    tagRecorded r = Feed(m_File, feed, 30, true);
    ASSERT_FALSE(r.failed);
    ASSERT_TRUE(m_File.StopRecord());
}

}  // namespace
