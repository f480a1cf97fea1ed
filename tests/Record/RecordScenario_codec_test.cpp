// The engine with the real MP4 writer, fed with libx264 and fdk-aac packets
// on a recorded clock onto a card folder of a simulated board; the files are
// read back with ffprobe and decoded with ffmpeg.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Function/common.h"
#include "Record/MP4/MP4File.h"
#include "Record/Record.h"
#include "RecordFeeder.h"
#include "RecordFileTestSupport.h"
#include "RecordTestCard.h"
#include "support/TestBoard.h"

namespace {

const int kCard = emSDState_Insert | emSDState_Mount;

struct tagFileSeen {
    std::string path;
    BOOL bAlarm;
    std::vector<uint32_t> sizes;  // video packet sizes
    std::vector<bool> keys;       // key-frame flags
    std::string duration;         // video stream duration, seconds
};

tagFileSeen Probe(const std::string& path, BOOL bAlarm)
{
    tagFileSeen f;
    f.path = path;
    f.bAlarm = bAlarm;
    std::istringstream lines(XTestRun("ffprobe -v error -select_streams v:0 -show_entries packet=size,flags -of csv=p=0 '" +
                                      path + "'"));
    std::string line;
    while (std::getline(lines, line)) {
        const size_t comma = line.find(',');
        if (comma == std::string::npos) {
            continue;
        }
        f.sizes.push_back(static_cast<uint32_t>(std::stoul(line.substr(0, comma))));
        f.keys.push_back(line.find('K', comma) != std::string::npos);
    }
    f.duration = XTestRun("ffprobe -v error -select_streams v:0 -show_entries stream=duration -of csv=p=0 '" + path + "'");
    while (!f.duration.empty() && (f.duration.back() == '\n' || f.duration.back() == '\r')) {
        f.duration.pop_back();
    }
    return f;
}

std::string DecodeErrors(const std::string& path)
{
    return XTestRun("ffmpeg -nostdin -v error -i '" + path + "' -f null - 2>&1");
}

// The alarm file's trigger mask from its private box, read with Python.
long TriggerMask(const std::string& path)
{
    const std::string py =
        "import struct,sys\n"
        "d=open(sys.argv[1],'rb').read();p=0;m=-1\n"
        "while p+8<=len(d):\n"
        " s,t=struct.unpack('>I4s',d[p:p+8])\n"
        " if s==1: s=struct.unpack('>Q',d[p+8:p+16])[0]\n"
        " if t==b'skip':\n"
        "  q=p+8\n"
        "  while q+8<=p+s:\n"
        "   cs,ct=struct.unpack('>I4s',d[q:q+8])\n"
        "   if ct==b'altg': m=struct.unpack('>I',d[q+12:q+16])[0]\n"
        "   q+=cs\n"
        " if s<8: break\n"
        " p+=s\n"
        "print(m)\n";
    return std::stol(XTestRun(std::string(DASHCAM_PYTHON) + " -c \"" + py + "\" '" + path + "'"));
}

class RecordScenario : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_lpCard = new CFolderCard();
        m_lpRecord.reset(new CRecord(new CMP4File(), m_lpCard, new CNoteFinisher(&m_Finished)));
        ASSERT_TRUE(m_lpRecord->Init(30, 30, 320, 240));
        m_lpCard->Notify(kCard);
        m_lpRecord->ResumeCommonRecord();  // power present at the first supervision cycle
    }

    void TearDown() override
    {
        m_lpRecord.reset();
    }

    std::string CardDir(const char* sub) const { return m_Board.Path(std::string("/tmp/mmc0/") + sub); }

    // Every video on the card, oldest first, both folders.
    std::vector<tagFileSeen> Files() const
    {
        std::vector<std::pair<std::string, tagFileSeen>> all;
        for (int alarm = 0; alarm < 2; ++alarm) {
            const std::string dir = CardDir(alarm ? "DCIM/101video" : "DCIM/100video");
            for (const std::string& n : XRecListDir(dir)) {
                all.push_back({n, Probe(dir + "/" + n, alarm)});
            }
        }
        std::sort(all.begin(), all.end(),
                  [](const std::pair<std::string, tagFileSeen>& a, const std::pair<std::string, tagFileSeen>& b) {
                      return a.first < b.first;
                  });
        std::vector<tagFileSeen> files;
        for (auto& p : all) {
            files.push_back(p.second);
        }
        return files;
    }

    CTestBoard m_Board;
    CFolderCard* m_lpCard = nullptr;
    std::vector<tagFinished> m_Finished;
    std::unique_ptr<CRecord> m_lpRecord;
};

// Frame f is written when frame f + 180 arrives; the first 59 frames are
// discarded, so the first file starts at the I-frame 60.
struct tagOp {
    int64_t frame;  // before this frame is fed
    char op;        // P pause(1,1), p pause(0,0), S stop(1,1), R resume, C card usable again, A/G alarm
};
struct tagExpectFile {
    BOOL bAlarm;
    int64_t start;  // frame number of its first frame
    int64_t count;
};
struct tagScenario {
    const char* name;
    int64_t frames;
    std::vector<tagOp> ops;
    std::vector<tagExpectFile> files;
    long mask;  // trigger mask of the alarm files, -1 none
};

void Apply(CRecord& record, CFolderCard& card, char op)
{
    switch (op) {
    case 'P':
        record.PauseAllRecord(1, 1);
        break;
    case 'p':
        record.PauseAllRecord(0, 0);
        break;
    case 'S':
        record.StopAllRecord(1, 1);
        break;
    case 'R':
        record.ResumeCommonRecord();
        break;
    case 'C':
        card.Notify(kCard);
        break;
    case 'A':
        record.StartAlarmRecord(emAlarmType_Accelerate, 'A');
        break;
    case 'G':
        record.StartAlarmRecord(emAlarmType_Gesture, 'G');
        break;
    default:
        break;
    }
}

}  // namespace

// Two whole loop files and the start of a third: 5400 frames each, every one
// opening on an IDR, no frame lost or repeated across them.
TEST_F(RecordScenario, LoopFilesOfExactly5400Frames)
{
    CRecordFeeder feeder(*m_lpRecord);
    ASSERT_TRUE(feeder.Ok());
    feeder.Feed(60 + 2 * 5400 + 180 + 300);
    m_lpRecord->StopAllRecord(1, 1);  // shut-down
    const std::vector<tagFileSeen> files = Files();
    ASSERT_EQ(files.size(), 3u);
    int64_t next = 60;
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].path);
        const size_t count = files[i].sizes.size();
        if (i < 2) {
            EXPECT_EQ(count, 5400u);
            EXPECT_EQ(files[i].duration, "180.000000");
        } else {
            EXPECT_EQ(count, 480u);
        }
        ASSERT_FALSE(files[i].keys.empty());
        EXPECT_TRUE(files[i].keys[0]);
        for (size_t k = 0; k < count; ++k) {
            EXPECT_EQ(files[i].keys[k], k % 30 == 0) << k;
        }
        const std::vector<uint32_t> fed(feeder.SampleSizes().begin() + next,
                                        feeder.SampleSizes().begin() + next + static_cast<int64_t>(count));
        EXPECT_EQ(files[i].sizes, fed);
        next += static_cast<int64_t>(count);
        EXPECT_EQ(DecodeErrors(files[i].path), "");
    }
    EXPECT_EQ(next, feeder.FramesFed());
    ASSERT_EQ(m_Finished.size(), 3u);
    EXPECT_EQ(m_Finished[0].frames, 5400u);
    EXPECT_TRUE(m_Finished[0].bComplete);
    EXPECT_EQ(m_Finished[0].resFlag, 1080);
}

TEST_F(RecordScenario, PauseStopResumeAndAlarms)
{
    const std::vector<tagScenario> cases = {
        {"pause with flush closes at once, an alarm while paused is ignored",
         1800, {{900, 'P'}, {1000, 'A'}, {1200, 'R'}}, {{0, 60, 840}, {0, 1020, 780}}, -1},
        {"pause without closing leaves the file running",
         1800, {{900, 'p'}}, {{0, 60, 1740}}, -1},
        {"stop; resume does not restart, an alarm is ignored, the card callback restarts",
         1800, {{600, 'S'}, {700, 'R'}, {750, 'A'}, {1000, 'C'}}, {{0, 60, 540}, {0, 840, 960}}, -1},
        {"an alarm cuts the loop file at the next I-frame leaving the cache",
         1800, {{900, 'A'}}, {{0, 60, 660}, {1, 720, 300}, {0, 1020, 780}}, 4},
        {"a second trigger re-arms the alarm file",
         1800, {{900, 'A'}, {1100, 'G'}}, {{0, 60, 660}, {1, 720, 480}, {0, 1200, 600}}, 6},
        {"the same trigger again only re-arms it",
         1800, {{900, 'A'}, {1100, 'A'}}, {{0, 60, 660}, {1, 720, 480}, {0, 1200, 600}}, 4},
    };
    for (const tagScenario& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        m_Finished.clear();
        XRemoveDirectory(m_Board.Path("/tmp/mmc0").c_str(), 0);
        SetUp();
        CRecordFeeder feeder(*m_lpRecord);
        ASSERT_TRUE(feeder.Ok());
        for (const tagOp& op : c.ops) {
            feeder.Feed(op.frame - feeder.FramesFed());
            Apply(*m_lpRecord, *m_lpCard, op.op);
        }
        feeder.Feed(c.frames - feeder.FramesFed());
        m_lpRecord->StopAllRecord(1, 1);
        const std::vector<tagFileSeen> files = Files();
        ASSERT_EQ(files.size(), c.files.size());
        for (size_t i = 0; i < files.size(); ++i) {
            SCOPED_TRACE(files[i].path);
            EXPECT_EQ(files[i].bAlarm, c.files[i].bAlarm);
            ASSERT_EQ(static_cast<int64_t>(files[i].sizes.size()), c.files[i].count);
            EXPECT_TRUE(files[i].keys[0]);
            const std::vector<uint32_t> fed(feeder.SampleSizes().begin() + c.files[i].start,
                                            feeder.SampleSizes().begin() + c.files[i].start + c.files[i].count);
            EXPECT_EQ(files[i].sizes, fed);
            EXPECT_EQ(DecodeErrors(files[i].path), "");
            if (files[i].bAlarm) {
                EXPECT_EQ(TriggerMask(files[i].path), c.mask);
            } else {
                EXPECT_EQ(TriggerMask(files[i].path), -1);
            }
        }
    }
}

// Each file's title image is the first JPEG that leaves the cache after it
// opened; thumbnails come every 20 s of video, named by their offset in ms,
// also when the 32-bit millisecond clock wraps inside the file.
TEST_F(RecordScenario, TitleAndThumbnails)
{
    tagRecordFeederConfig cfg;
    cfg.clockStartUs = (4294967296ULL - 30000ULL) * 1000ULL;  // 30 s before the wrap
    CRecordFeeder feeder(*m_lpRecord, cfg);
    ASSERT_TRUE(feeder.Ok());
    feeder.Feed(60 + 180 + 1800 + 30);
    m_lpRecord->StopAllRecord(1, 1);
    ASSERT_EQ(m_Finished.size(), 1u);
    const tagFinished& f = m_Finished[0];
    EXPECT_EQ(f.title, CRecordFeeder::Jpeg(2));  // the JPEG of second 2 follows the I-frame 60
    std::vector<std::string> thumbs = f.thumbs;
    std::sort(thumbs.begin(), thumbs.end(), [](const std::string& a, const std::string& b) {
        return std::stoul(a) < std::stoul(b);
    });
    EXPECT_EQ(thumbs, (std::vector<std::string>{"20000.JPG", "40000.JPG", "60000.JPG"}));
    // Nothing waits in /tmp once the file is handed on.
    EXPECT_EQ(XRecListDir(m_Board.Path("/tmp")).size(), 0u);
}

// Ten write errors (the card's file system is full) end loop recording: the
// file is closed at the next I-frame and none follows until resume.
TEST_F(RecordScenario, TenWriteErrorsStopLoopRecording)
{
    CRecordFeeder feeder(*m_lpRecord);
    ASSERT_TRUE(feeder.Ok());
    feeder.Feed(600);
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 1024 * 1024;  // every file of the card stops growing at 1 MiB
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    testing::internal::CaptureStderr();
    feeder.Feed(2400);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("MP4 WriteVideoPacket() failed"), std::string::npos);
    const int flag = m_lpRecord->GetRecorderFlag();
    EXPECT_FALSE(flag & emRecordFileFlag_Recording);
    EXPECT_FALSE(flag & emRecordFileFlag_Continuous);
    EXPECT_FALSE(flag & emRecordFileFlag_StartNext);
    ASSERT_EQ(m_Finished.size(), 1u);
    EXPECT_EQ(XRecListDir(CardDir("DCIM/100video")).size(), 1u);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    feeder.Feed(300);
    EXPECT_EQ(XRecListDir(CardDir("DCIM/100video")).size(), 1u);
    m_lpRecord->ResumeCommonRecord();
    feeder.Feed(300);
    EXPECT_TRUE(m_lpRecord->GetRecorderFlag() & emRecordFileFlag_Recording);
    m_lpRecord->StopAllRecord(1, 1);
    const std::vector<std::string> names = XRecListDir(CardDir("DCIM/100video"));
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(DecodeErrors(CardDir("DCIM/100video/") + names[1]), "");
}

// One failed write (the file may not grow for one frame) is one error: the
// frames that depend on the lost one are dropped without errors until the
// next I-frame, loop recording goes on and the next file follows; the file
// counts only the frames it holds.
TEST_F(RecordScenario, OneWriteErrorKeepsLoopRecording)
{
    CRecordFeeder feeder(*m_lpRecord);
    ASSERT_TRUE(feeder.Ok());
    feeder.Feed(601);  // the next frame written is the P-frame 421
    const std::vector<std::string> open = XRecListDir(CardDir("DCIM/100video"));
    ASSERT_EQ(open.size(), 1u);
    struct stat st;
    ASSERT_EQ(stat((CardDir("DCIM/100video/") + open[0]).c_str(), &st), 0);
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = static_cast<rlim_t>(st.st_size);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    testing::internal::CaptureStderr();
    feeder.Feed(1);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    signal(SIGXFSZ, oldHandler);
    feeder.Feed(60);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("MP4 WriteVideoPacket() failed"), std::string::npos);
    int flag = m_lpRecord->GetRecorderFlag();
    EXPECT_TRUE(flag & emRecordFileFlag_Recording);
    EXPECT_TRUE(flag & emRecordFileFlag_Continuous);
    // 421..449 are lost: the file still ends at the I-frame 5460, 29 frames short.
    feeder.Feed(5460 + 180 + 300 - feeder.FramesFed());
    flag = m_lpRecord->GetRecorderFlag();
    EXPECT_TRUE(flag & emRecordFileFlag_Recording);
    EXPECT_TRUE(flag & emRecordFileFlag_Continuous);
    m_lpRecord->StopAllRecord(1, 1);
    const std::vector<tagFileSeen> files = Files();
    ASSERT_EQ(files.size(), 2u);
    ASSERT_EQ(m_Finished.size(), 2u);
    EXPECT_EQ(files[0].sizes.size(), 5371u);
    EXPECT_EQ(m_Finished[0].frames, files[0].sizes.size());
    std::vector<uint32_t> fed(feeder.SampleSizes().begin() + 60, feeder.SampleSizes().begin() + 421);
    fed.insert(fed.end(), feeder.SampleSizes().begin() + 450, feeder.SampleSizes().begin() + 5460);
    EXPECT_EQ(files[0].sizes, fed);
    EXPECT_EQ(DecodeErrors(files[0].path), "");
    EXPECT_EQ(m_Finished[1].frames, files[1].sizes.size());
    EXPECT_EQ(files[1].sizes.size(), 480u);
    ASSERT_FALSE(files[1].keys.empty());
    EXPECT_TRUE(files[1].keys[0]);
    EXPECT_EQ(DecodeErrors(files[1].path), "");
}

// The card goes away during an alarm file: the alarm goes with the card; the
// next card starts with a loop file, and no alarm file without triggers is
// finished.
TEST_F(RecordScenario, CardRemovedDuringAlarm)
{
    CRecordFeeder feeder(*m_lpRecord);
    ASSERT_TRUE(feeder.Ok());
    feeder.Feed(900);
    m_lpRecord->StartAlarmRecord(emAlarmType_Accelerate, 'A');
    feeder.Feed(100);
    ASSERT_TRUE(m_lpRecord->GetRecorderFlag() & emRecordFileFlag_Recording);
    ASSERT_EQ(XRecListDir(CardDir("DCIM/101video")).size(), 1u) << "the alarm file is open";
    ASSERT_EQ(m_Finished.size(), 1u);
    m_lpCard->Notify(emSDState_Insert);
    EXPECT_FALSE(m_lpRecord->GetRecorderFlag() & emRecordFileFlag_Recording);
    EXPECT_EQ(m_Finished.size(), 1u);
    feeder.Feed(300);
    m_lpCard->Notify(0);
    m_lpCard->Notify(kCard);
    feeder.Feed(600);
    EXPECT_TRUE(m_lpRecord->GetRecorderFlag() & emRecordFileFlag_Recording);
    m_lpRecord->PauseAllRecord(1, 1);
    ASSERT_EQ(m_Finished.size(), 2u);
    EXPECT_EQ(m_Finished[0].type, emRecordFileType_Common);
    EXPECT_EQ(m_Finished[1].type, emRecordFileType_Common);
    EXPECT_EQ(m_Finished[1].triggers, m_Finished[0].triggers);
    const std::vector<std::string> names = XRecListDir(CardDir("DCIM/100video"));
    ASSERT_EQ(names.size(), 2u);
    const tagFileSeen next = Probe(CardDir("DCIM/100video/") + names[1], FALSE);
    EXPECT_EQ(next.sizes.size(), m_Finished[1].frames);
    ASSERT_FALSE(next.keys.empty());
    EXPECT_TRUE(next.keys[0]);
    EXPECT_EQ(DecodeErrors(next.path), "");
    EXPECT_EQ(TriggerMask(next.path), -1);
    // An alarm on the new card opens an alarm file again.
    m_lpRecord->ResumeCommonRecord();
    feeder.Feed(300);
    m_lpRecord->StartAlarmRecord(emAlarmType_Gesture, 'G');
    feeder.Feed(60);  // the alarm file is still open at the stop
    m_lpRecord->StopAllRecord(1, 1);
    ASSERT_EQ(m_Finished.size(), 4u);
    EXPECT_EQ(m_Finished[2].type, emRecordFileType_Common);
    EXPECT_EQ(m_Finished[3].type, emRecordFileType_Alarm);
    EXPECT_EQ(m_Finished[3].triggers, static_cast<uint32_t>(emRecordTriggerType_GestureAlarm));
}

// The card goes away mid-file: the file is closed at once (no descriptor
// stays open on the card, so it can be unmounted), it is not finished, its
// waiting images are gone; recording starts again with the next card.
TEST_F(RecordScenario, CardRemovedMidFile)
{
    CRecordFeeder feeder(*m_lpRecord);
    ASSERT_TRUE(feeder.Ok());
    feeder.Feed(900);
    ASSERT_TRUE(m_lpRecord->GetRecorderFlag() & emRecordFileFlag_Recording);
    m_lpCard->Notify(emSDState_Insert);  // the SD manager before it unmounts
    EXPECT_FALSE(m_lpRecord->GetRecorderFlag() & emRecordFileFlag_Recording);
    EXPECT_FALSE(m_lpRecord->GetIsCanbeRecord());
    const std::string card = m_Board.Path("/tmp/mmc0");
    const std::string fds = XTestRun("ls -l /proc/" + std::to_string(getpid()) + "/fd");
    EXPECT_EQ(fds.find(card), std::string::npos) << fds;
    EXPECT_TRUE(m_Finished.empty());
    EXPECT_EQ(XRecListDir(m_Board.Path("/tmp")).size(), 0u);
    // What is left keeps its recording name (duration 0).
    const std::vector<std::string> left = XRecListDir(CardDir("DCIM/100video"));
    ASSERT_EQ(left.size(), 1u);
    EXPECT_NE(left[0].find("_0"), std::string::npos);
    feeder.Feed(300);
    EXPECT_EQ(XRecListDir(CardDir("DCIM/100video")).size(), 1u);
    m_lpCard->Notify(0);
    m_lpCard->Notify(kCard);
    feeder.Feed(300);
    EXPECT_TRUE(m_lpRecord->GetRecorderFlag() & emRecordFileFlag_Recording);
    m_lpRecord->StopAllRecord(1, 1);
    const std::vector<std::string> names = XRecListDir(CardDir("DCIM/100video"));
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(DecodeErrors(CardDir("DCIM/100video/") + names[1]), "");
}

// A file opened by the flush of a resolution switch carries the size of the
// frames that open it, not the new setting.
TEST_F(RecordScenario, ResolutionSwitchKeepsTheOpeningFrameSize)
{
    CRecordFeeder feeder(*m_lpRecord);
    ASSERT_TRUE(feeder.Ok());
    feeder.Feed(5400 + 60 + 100);  // the first loop file ends inside the cache
    m_lpRecord->SetRecordResolution(PIC_HD720, 1280, 720);
    m_lpRecord->PauseAllRecord(1, 1);
    EXPECT_EQ(m_lpRecord->GetResFlag(), 1080);
    ASSERT_EQ(m_Finished.size(), 2u);
    EXPECT_EQ(m_Finished[1].resFlag, 1080);
    const std::vector<std::string> names = XRecListDir(CardDir("DCIM/100video"));
    ASSERT_EQ(names.size(), 2u);
    const std::string wh = XTestRun("ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 '" +
                                    CardDir("DCIM/100video/") + names[1] + "'");
    EXPECT_EQ(wh, "320,240\n");
}
