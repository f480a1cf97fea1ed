// The engine with the real MP4 writer and the packer, fed with libx264 and
// fdk-aac packets onto a card folder of a simulated board: what it lists is
// what a fresh scan of the card lists, and every listed file plays.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "Function/common.h"
#include "Record/MP4/MP4File.h"
#include "Record/Record.h"
#include "Record/RecordPacker.h"
#include "RecordFeeder.h"
#include "RecordFileTestSupport.h"
#include "RecordTestCard.h"
#include "support/TestBoard.h"

namespace {

const int kCard = emSDState_Insert | emSDState_Mount;

// 10 frames a second keeps the runs short; every rule counts in frames of
// the rate (loop files of fps x 180 frames).
tagRecordFeederConfig Config()
{
    tagRecordFeederConfig cfg;
    cfg.fps = 10;
    cfg.gop = 10;
    cfg.poolFrames = 100;
    return cfg;
}

std::string Json(CRecordFileIndex& index)
{
    std::vector<char> buf(1 << 16);
    const int n = index.GetFileInfoAsJSON(buf.data(), static_cast<int>(buf.size()));
    return n < 0 ? std::string("(-1)") : std::string(buf.data(), static_cast<size_t>(n));
}

std::string Lists(CRecord& record)
{
    return Json(record.GetCommonRecordFileIndex()) + "\n" + Json(record.GetAlarmRecordFileIndex()) + "\n" +
           Json(record.GetAlarmImageFileIndex());
}

// The videos an index lists, as names on the card.
std::vector<std::string> Listed(CRecordFileIndex& index)
{
    std::vector<std::string> names;
    for (const CRecordFileIndexNode* n = index.GetFileListHead(); n != nullptr; n = n->GetNext()) {
        char name[RECORD_NAME_BUF_SIZE];
        n->GetFileName(name, "MP4", 1);
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// ffprobe reads the file and ffmpeg decodes all of it without a complaint.
void ExpectPlayable(const std::string& path)
{
    SCOPED_TRACE(path);
    int status = -1;
    const std::string frames = XTestRun("ffprobe -v error -select_streams v:0 -count_frames -show_entries "
                                        "stream=nb_read_frames -of csv=p=0 '" + path + "' 2>&1",
                                        &status);
    EXPECT_EQ(0, status) << frames;
    EXPECT_GT(atoi(frames.c_str()), 0) << frames;
    const std::string errors = XTestRun("ffmpeg -nostdin -v error -i '" + path + "' -f null - 2>&1", &status);
    EXPECT_EQ(0, status);
    EXPECT_EQ("", errors);
}

class RecordPackScenario : public ::testing::Test {
protected:
    // A fresh engine on the board's card, as after a start of the camera.
    void Start()
    {
        m_lpRecord.reset();
        m_lpCard = new CFolderCard();
        m_lpRecord.reset(new CRecord(new CMP4File(), m_lpCard, new CRecordPacker()));
        ASSERT_TRUE(m_lpRecord->Init(10, 10, 320, 240));
        m_lpCard->Notify(kCard);
    }
    void TearDown() override { m_lpRecord.reset(); }

    std::string Card(const char* sub) const { return m_Board.Path(std::string("/tmp/mmc0/") + sub); }

    // Every listed video plays, and the folders hold the listed videos only.
    void ExpectCardAsListed()
    {
        for (int alarm = 0; alarm < 2; ++alarm) {
            CRecordFileIndex& index = alarm ? m_lpRecord->GetAlarmRecordFileIndex() : m_lpRecord->GetCommonRecordFileIndex();
            const std::string dir = Card(alarm ? "DCIM/101video/" : "DCIM/100video/");
            const std::vector<std::string> listed = Listed(index);
            EXPECT_EQ(listed, XRecListDir(dir));
            for (const std::string& n : listed) {
                ExpectPlayable(dir + n);
            }
        }
    }

    CTestBoard m_Board;
    CFolderCard* m_lpCard = nullptr;
    std::unique_ptr<CRecord> m_lpRecord;
};

CAssociatedData* Snapshot(char type, unsigned sec, const char* gps)
{
    CAssociatedData* d = CAssociatedDataManager::instance()->GetNode();
    d->SetRecType(type);
    d->SetRecTime(RECTIME::Make(24, 1, 5, 8, 36, sec));
    d->SetGPSPosition(gps);
    return d;
}

// Two loop files, an alarm file with two snapshots and the loop file after
// it; then the camera starts again and scans the card.
TEST_F(RecordPackScenario, FreshScanListsWhatWasRecorded)
{
    testing::internal::CaptureStdout();
    Start();
    m_lpRecord->ResumeCommonRecord();
    CRecordFeeder feeder(*m_lpRecord, Config());
    ASSERT_TRUE(feeder.Ok());
    CRecordFileIndex& common = m_lpRecord->GetCommonRecordFileIndex();
    CRecordFileIndex& alarm = m_lpRecord->GetAlarmRecordFileIndex();
    while (common.GetFileCount() < 2 && feeder.FramesFed() < 5000) {
        feeder.Feed(10);
    }
    ASSERT_EQ(2, common.GetFileCount());
    m_lpRecord->StartAlarmRecord(emAlarmType_Accelerate, 'A');
    ASSERT_TRUE(m_lpRecord->SetAssociatedData(Snapshot('A', 1, "N22.5,E113.9")));
    ASSERT_TRUE(m_lpRecord->SetAssociatedData(Snapshot('G', 2, "N22.6,E114.0")));
    while (alarm.GetFileCount() < 1 && feeder.FramesFed() < 8000) {
        feeder.Feed(10);
    }
    feeder.Feed(50);
    m_lpRecord->StopAllRecord(1, 1);
    const std::string recorded = Lists(*m_lpRecord);
    testing::internal::GetCapturedStdout();

    ASSERT_EQ(1, alarm.GetFileCount());
    EXPECT_EQ(4, common.GetFileCount()) << recorded;  // two loop files, the one cut by the alarm, the one after
    const CRecordFileIndexNode* a = alarm.GetFileListHead();
    EXPECT_TRUE(a->HasTitleFile());
    EXPECT_EQ(static_cast<uint32_t>(emRecordTriggerType_AcceleratorAlarm), a->GetRecTrigger());
    // The newest snapshot first, as the file holds them.
    EXPECT_NE(std::string::npos, recorded.find("\"associateddata\":[{\"image\":\"G20240105083602.JPG\",\"position\":"
                                               "\"N22.6,E114.0\"},{\"image\":\"A20240105083601.JPG\",\"position\":"
                                               "\"N22.5,E113.9\"}]"))
        << recorded;
    for (const CRecordFileIndexNode* n = common.GetFileListTail(); n != nullptr; n = n->GetPrev()) {
        EXPECT_TRUE(n->HasTitleFile());
        if (n->GetRecDuration() >= 20) {
            ASSERT_TRUE(n->HasThumbFile());
            char tgz[RECORD_NAME_BUF_SIZE];
            n->GetFileName(tgz, Card("").c_str(), RECORD_DIR_COMMON_THUMB, "TGZ", 0);
            int status = -1;
            const std::string listing = XTestRun(std::string("tar -tzf '") + tgz + "'", &status);
            EXPECT_EQ(0, status);
            // One thumbnail every 20 s after the first frame, in the file's own folder.
            EXPECT_EQ(1 + (n->GetRecDuration() - 1) / 20,
                      static_cast<uint32_t>(std::count(listing.begin(), listing.end(), '\n')))
                << tgz << "\n" << listing;
            char folder[16];
            n->GetFileTime(folder);
            EXPECT_NE(std::string::npos, listing.find(std::string(folder) + "/20000.JPG\n")) << listing;
        }
    }
    // Both loop files hold 180 s.
    const CRecordFileIndexNode* oldest = common.GetFileListTail();
    EXPECT_EQ(180u, oldest->GetRecDuration());
    EXPECT_EQ(180u, oldest->GetPrev()->GetRecDuration());
    ExpectCardAsListed();

    testing::internal::CaptureStdout();
    Start();
    const std::string scanned = Lists(*m_lpRecord);
    m_lpCard->Notify(kCard);
    const std::string again = Lists(*m_lpRecord);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(recorded, scanned);
    EXPECT_EQ(recorded, again);
}

// The process killed in the middle of a recording: after the restart only
// finished files are listed, and they all play.
TEST_F(RecordPackScenario, KilledWhileRecording)
{
    int ready[2];
    ASSERT_EQ(0, pipe(ready));
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(ready[0]);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        CFolderCard* card = new CFolderCard();
        CRecord record(new CMP4File(), card, new CRecordPacker());
        record.Init(10, 10, 320, 240);
        card->Notify(kCard);
        record.ResumeCommonRecord();
        CRecordFeeder feeder(record, Config());
        bool told = false;
        for (int64_t f = 0; f < 100000; f += 10) {
            feeder.Feed(10);
            if (!told && record.GetCommonRecordFileIndex().GetFileCount() >= 1) {
                if (write(ready[1], "r", 1) != 1) {
                    _exit(1);
                }
                told = true;
            }
            if (f == 2300) {
                record.StartAlarmRecord(emAlarmType_Accelerate, 'A');
            }
        }
        _exit(0);
    }
    close(ready[1]);
    struct pollfd p = {ready[0], POLLIN, 0};
    ASSERT_EQ(1, poll(&p, 1, 300000)) << "the recording never finished a file";
    char c;
    ASSERT_EQ(1, read(ready[0], &c, 1));
    close(ready[0]);
    // Kill while a file is being recorded: its recording name is on the card
    // (between two files the finishing step may be running instead).
    auto recording = [this] {
        for (const char* dir : {"DCIM/100video/", "DCIM/101video/"}) {
            for (const std::string& n : XRecListDir(Card(dir))) {
                if (n.find("_0.") != std::string::npos || n.find("_0(") != std::string::npos) {
                    return true;
                }
            }
        }
        return false;
    };
    // Stopped first, so the file seen is still being recorded when it dies.
    usleep(300 * 1000);
    for (int i = 0; i < 30000; i++) {
        kill(pid, SIGSTOP);
        waitpid(pid, nullptr, WUNTRACED);
        if (recording()) {
            break;
        }
        kill(pid, SIGCONT);
        usleep(1000);
    }
    kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    ASSERT_TRUE(WIFSIGNALED(status));
    usleep(200 * 1000);  // a thumbnail archive of the killed process may still be written

    // The file being recorded is a loop file or, once the alarm has cut in, an alarm file.
    std::vector<std::string> before = XRecListDir(Card("DCIM/100video/"));
    for (const std::string& n : XRecListDir(Card("DCIM/101video/"))) {
        before.push_back(n);
    }
    testing::internal::CaptureStdout();
    Start();
    testing::internal::GetCapturedStdout();
    bool unfinishedWasThere = false;
    for (const std::string& n : before) {
        unfinishedWasThere = unfinishedWasThere || n.find("_0.") != std::string::npos || n.find("_0(") != std::string::npos;
    }
    std::string names;
    for (const std::string& n : before) {
        names += n + " ";
    }
    EXPECT_TRUE(unfinishedWasThere) << "the kill left a file being recorded: " << names;
    EXPECT_GE(m_lpRecord->GetCommonRecordFileIndex().GetFileCount(), 1);
    ExpectCardAsListed();
}

}  // namespace
