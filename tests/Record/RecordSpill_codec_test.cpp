// Power cuts with the packet cache spilled: a child process records with the
// real engine, writer and packer, the flusher once per recorded second, and
// ends at the cut without writing its cache; a fresh engine mounts the card
// and its scan recovers. The recovered files are read back with ffprobe and
// decoded with ffmpeg; their names and frames must cover the recording up to
// the last flush without a gap, and an alarm must be listed with its trigger.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Function/common.h"
#include "Record/MP4/MP4File.h"
#include "Record/Record.h"
#include "Record/RecordPacker.h"
#include "Record/RecordSpillFormat.h"
#include "Record/RecordSpillReader.h"
#include "RecordFeeder.h"
#include "RecordFileTestSupport.h"
#include "RecordTestCard.h"
#include "RecordVideoCheck.h"
#include "support/TestBoard.h"

namespace {

const int kCard = emSDState_Insert | emSDState_Mount;
const int kFps = 30;
// Frames the engine throws away at start-up.
const int kDiscarded = 2 * kFps;

// One recovered video: its start in frames from 08:30:00 (its name) and its frames.
struct tagPiece {
    std::string name;
    bool alarm;
    int start;
    int frames;
};

// An alarm raised after the last recorded second, before the frames fed
// after the last flush: none, one a flush took before the cut, or one only
// the engine knew of at the cut.
enum emLateAlarm { kNoLateAlarm, kLateAlarmFlushed, kLateAlarmUnflushed };

struct tagCut {
    const char* name;
    int seconds;         // recorded seconds, each followed by a flush
    int unflushed;       // frames fed after the last flush
    int alarmAt;         // second of an acceleration alarm (-1 none)
    emLateAlarm late;
};

class RecordSpill : public ::testing::Test {
protected:
    std::string Card(const std::string& sub) const { return m_Board.Path("/tmp/mmc0/" + sub); }

    // Records in a child that ends as a power cut ends it.
    void RecordAndCut(const tagCut& k)
    {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            CFolderCard* card = new CFolderCard();
            CRecord record(new CMP4File(), card, new CRecordPacker());
            if (!record.EnableSpill()) {
                _exit(2);
            }
            record.SetRecoveryPeriod(0);
            record.Init(kFps, kFps, 320, 240);
            card->Notify(kCard);
            record.ResumeCommonRecord();
            CRecordFeeder feeder(record);
            bool ok = feeder.Ok();
            for (int s = 0; s < k.seconds && ok; ++s) {
                if (s == k.alarmAt) {
                    record.StartAlarmRecord(emAlarmType_Accelerate, 'A');
                }
                feeder.Feed(kFps);
                ok = record.FlushRecoveryData();
            }
            if (k.late != kNoLateAlarm) {
                record.StartAlarmRecord(emAlarmType_Accelerate, 'A');
                ok = ok && (k.late == kLateAlarmUnflushed || record.FlushRecoveryData());
            }
            feeder.Feed(k.unflushed);
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }

    void Mount()
    {
        m_lpCard = new CFolderCard();
        m_lpRecord.reset(new CRecord(new CMP4File(), m_lpCard, new CRecordPacker()));
        ASSERT_TRUE(m_lpRecord->Init(kFps, kFps, 320, 240));
        m_lpCard->Notify(kCard);
    }

    std::string List(int kind)
    {
        std::vector<char> buf(1 << 16);
        const int n = kind == 0 ? m_lpRecord->GetCommonVideoFileAsJson(buf.data(), static_cast<int>(buf.size()))
                                : m_lpRecord->GetAlarmVideoFileAsJSON(buf.data(), static_cast<int>(buf.size()));
        return n > 0 ? std::string(buf.data(), static_cast<size_t>(n)) : std::string();
    }

    // Every video on the card, checked with ffprobe and a full decode, in
    // the order of their names' times; no hidden file is left beside them.
    std::vector<tagPiece> Pieces()
    {
        std::vector<tagPiece> pieces;
        for (const char* sub : {"DCIM/100video", "DCIM/101video"}) {
            std::error_code ec;
            for (std::filesystem::directory_iterator it(Card(sub), ec), end; !ec && it != end; it.increment(ec)) {
                EXPECT_NE(it->path().filename().string()[0], '.') << it->path();
            }
            for (const std::string& n : XRecListDir(Card(sub))) {
                const std::string path = Card(sub) + "/" + n;
                tagPiece p;
                p.name = n;
                p.alarm = std::string(sub) == "DCIM/101video";
                p.frames = XRecProbeFrames(path);
                EXPECT_EQ(XRecDecodeErrors(path), "") << n;
                // 20240105hhmmss_D[(n)].MP4, from 08:30:00
                p.start = ((std::stoi(n.substr(8, 2)) - 8) * 3600 + (std::stoi(n.substr(10, 2)) - 30) * 60 +
                           std::stoi(n.substr(12, 2))) *
                          kFps;
                EXPECT_EQ(std::stoi(n.substr(15)), (p.frames + kFps - 1) / kFps) << n;
                pieces.push_back(p);
            }
        }
        std::sort(pieces.begin(), pieces.end(), [](const tagPiece& a, const tagPiece& b) { return a.start < b.start; });
        EXPECT_FALSE(XRecExists(Card(RECORD_SPILL_NAME0)));
        EXPECT_FALSE(XRecExists(Card(RECORD_SPILL_NAME1)));
        return pieces;
    }

    CTestBoard m_Board;
    CFolderCard* m_lpCard = nullptr;
    std::unique_ptr<CRecord> m_lpRecord;
};

// Cuts at many moments: inside a loop file, just before and after the loop
// file's change by name (182 s) and by the engine (when that I-frame leaves
// the 6 s cache, 188 s), 1 to 8 s after an alarm, right after an alarm that
// had not opened its file yet, and file changes the last flush did not see:
// an alarm file begun, and the loop file after an alarm file begun, between
// the last flush and the cut.
TEST_F(RecordSpill, CutsLoseOnlyWhatFollowsTheLastFlush)
{
    const tagCut cases[] = {
        {"inside the first loop file", 20, 0, -1, kNoLateAlarm},
        {"half a second after a flush", 20, 15, -1, kNoLateAlarm},
        {"a second before the file change by name", 181, 0, -1, kNoLateAlarm},
        {"a second after the file change by name", 183, 10, -1, kNoLateAlarm},
        {"just before the engine's file change", 187, 29, -1, kNoLateAlarm},
        {"just after the engine's file change", 189, 0, -1, kNoLateAlarm},
        {"an alarm not yet begun", 20, 0, -1, kLateAlarmFlushed},
        {"an alarm file begun after the last flush", 20, 31, -1, kLateAlarmUnflushed},
        {"an alarm file begun after the last flush, the loop file it cut a second long", 9, 31, -1,
         kLateAlarmUnflushed},
        {"1 s after an alarm", 21, 0, 20, kNoLateAlarm},
        {"3 s after an alarm", 23, 12, 20, kNoLateAlarm},
        {"6 s after an alarm", 26, 0, 20, kNoLateAlarm},
        {"8 s after an alarm, its file's end in the cache", 28, 0, 20, kNoLateAlarm},
        {"the loop file after an alarm file begun after the last flush", 30, 20, 20, kNoLateAlarm},
    };
    for (const tagCut& k : cases) {
        SCOPED_TRACE(k.name);
        m_lpRecord.reset();
        std::filesystem::remove_all(Card(""));
        std::filesystem::remove_all(m_Board.Path("/tmp"));
        std::filesystem::create_directories(Card(""));
        RecordAndCut(k);
        if (HasFatalFailure()) {
            return;
        }
        // /tmp is RAM: its title images are gone with the power.
        for (const std::string& n : XRecListDir(m_Board.Path("/tmp"))) {
            std::filesystem::remove_all(m_Board.Path("/tmp/" + n));
        }
        Mount();
        const std::vector<tagPiece> pieces = Pieces();
        ASSERT_FALSE(pieces.empty());
        // One gapless timeline from the first recorded frame to the last flush.
        EXPECT_EQ(pieces.front().start, kDiscarded);
        int end = pieces.front().start;
        for (const tagPiece& p : pieces) {
            EXPECT_EQ(p.start, end) << p.name;
            end = p.start + p.frames;
        }
        EXPECT_EQ(end, k.seconds * kFps);
        const std::string alarms = List(1);
        const bool alarm = k.alarmAt >= 0 || k.late != kNoLateAlarm;
        const int alarmSecond = k.late != kNoLateAlarm ? k.seconds : k.alarmAt;
        const auto first = std::find_if(pieces.begin(), pieces.end(), [](const tagPiece& p) { return p.alarm; });
        ASSERT_EQ(first != pieces.end(), alarm);
        if (alarm) {
            // The alarm file begins where the engine begins it: at the
            // I-frame leaving the 6 s cache next.
            EXPECT_EQ(first->start, (alarmSecond - 6) * kFps) << first->name;
            EXPECT_NE(alarms.find("\"filename\":\"" + first->name + "\""), std::string::npos) << alarms;
            EXPECT_NE(alarms.find("\"trigger\":\"A\""), std::string::npos) << alarms;
        }
        for (const tagPiece& p : pieces) {
            const std::string& list = p.alarm ? alarms : List(0);
            EXPECT_NE(list.find("\"filename\":\"" + p.name + "\""), std::string::npos) << p.name;
        }
    }
}

}  // namespace

namespace {

// A name a file system repair may leave as a second name of a video's
// file (an inode freed at the cut and used again).
enum emLink {
    kNoLink,
    kOldJournalOnOpenVideo,   // the finished loop file's journal name, on the open alarm video
    kSpillOnFinishedVideo,    // the second spill name, on the finished loop video
    kJournalOnFinishedVideo,  // the open video's journal name, on the finished loop video
};

struct tagDamage {
    const char* name;
    int file;         // spill file damaged (0 or 1), -1 the journal
    double keep;      // share of its bytes kept (1: all)
    bool bGarbage;    // every 97th byte flipped
    bool bSwap;       // the two spill files change places
    bool bNoJournal;  // the open file's journal is gone
    emLink link;
};

// Spill data cut at any byte, garbled, swapped or not matching the journal,
// and journal or spill names that are a video's file: nothing good is lost
// (the finished loop file as it was, the alarm file as far as its journal
// goes), nothing is written through such a name, every video decodes,
// nothing is left behind.
TEST_F(RecordSpill, HostileSpillLosesNothingGood)
{
    RecordAndCut({"3 s after an alarm", 23, 0, 20, kNoLateAlarm});
    ASSERT_FALSE(HasFatalFailure());
    const std::string saved = m_Board.Path("/saved-card");
    std::filesystem::copy(Card(""), saved, std::filesystem::copy_options::recursive);
    const std::string spill[2] = {XRecReadFile(Card(RECORD_SPILL_NAME0)), XRecReadFile(Card(RECORD_SPILL_NAME1))};
    std::vector<tagDamage> cases = {
        {"whole", 0, 1, false, false, false, kNoLink},
        {"garbled", 0, 1, true, false, false, kNoLink},
        {"garbled second", 1, 1, true, false, false, kNoLink},
        {"swapped", 0, 1, false, true, false, kNoLink},
        {"open file's journal gone", 0, 1, false, false, true, kNoLink},
        {"journal's tail torn", -1, 0.97, false, false, false, kNoLink},
        {"journal half", -1, 0.5, false, false, false, kNoLink},
        {"old journal name on the open video", 0, 1, false, false, false, kOldJournalOnOpenVideo},
        {"spill name on the finished video", 1, 0, false, false, false, kSpillOnFinishedVideo},
        {"open file's journal name on the finished video", 0, 1, false, false, true, kJournalOnFinishedVideo},
    };
    for (int i = 0; i <= 12; ++i) {
        for (int f = 0; f < 2; ++f) {
            if (!spill[f].empty()) {
                cases.push_back({"cut", f, i / 12.0 - (i == 12 ? 0.00001 : 0.0), false, false, false, kNoLink});
            }
        }
    }
    for (const tagDamage& k : cases) {
        SCOPED_TRACE(std::string(k.name) + " " + std::to_string(k.file) + " at " + std::to_string(k.keep));
        m_lpRecord.reset();
        std::filesystem::remove_all(Card(""));
        std::filesystem::copy(saved, Card(""), std::filesystem::copy_options::recursive);
        std::string alarmName;
        for (const std::string& n : XRecListDir(Card("DCIM/101video"))) {
            alarmName = n;
        }
        ASSERT_NE(alarmName, "");
        const std::string journal = Card("DCIM/101video/." + alarmName + ".jnl");
        const std::string target = k.file < 0 ? journal : Card(k.file == 0 ? RECORD_SPILL_NAME0 : RECORD_SPILL_NAME1);
        std::string bytes = XRecReadFile(target);
        bytes.resize(static_cast<size_t>(bytes.size() * k.keep));
        if (k.bGarbage) {
            for (size_t i = 8; i < bytes.size(); i += 97) {
                bytes[i] = static_cast<char>(bytes[i] ^ 0x41);
            }
        }
        std::filesystem::remove(target);
        XRecWriteFile(target, bytes);
        if (k.bSwap) {
            std::filesystem::rename(Card(RECORD_SPILL_NAME0), Card("DCIM/swap"));
            std::filesystem::rename(Card(RECORD_SPILL_NAME1), Card(RECORD_SPILL_NAME0));
            std::filesystem::rename(Card("DCIM/swap"), Card(RECORD_SPILL_NAME1));
        }
        if (k.bNoJournal) {
            std::filesystem::remove(journal);
        }
        const std::string loop = Card("DCIM/100video/20240105083002_12.MP4");
        const std::string loopBytes = XRecReadFile(loop);
        const std::string video = Card("DCIM/101video/" + alarmName);
        const std::string names[] = {"", Card("DCIM/100video/.20240105083002_0.MP4.jnl"), target, journal};
        if (k.link != kNoLink) {
            std::filesystem::remove(names[k.link]);
            ASSERT_EQ(link((k.link == kOldJournalOnOpenVideo ? video : loop).c_str(), names[k.link].c_str()), 0);
        }
        Mount();
        EXPECT_EQ(XRecReadFile(loop), loopBytes);
        if (k.link != kNoLink) {
            EXPECT_FALSE(XRecExists(names[k.link]));
        }
        const std::vector<tagPiece> pieces = Pieces();
        // The loop file cut by the alarm was finished before the cut.
        ASSERT_FALSE(pieces.empty());
        EXPECT_EQ(pieces.front().name, "20240105083002_12.MP4");
        EXPECT_EQ(pieces.front().frames, 12 * kFps);
        int end = pieces.front().start;
        for (const tagPiece& p : pieces) {
            EXPECT_EQ(p.start, end) << p.name;
            end = p.start + p.frames;
        }
        if (k.file >= 0 && !k.bNoJournal) {
            // The alarm file at least as far as its journal goes (17 s), at
            // most up to the last flush.
            ASSERT_EQ(pieces.size(), 2u);
            EXPECT_TRUE(pieces[1].alarm);
            EXPECT_GE(end, 17 * kFps);
            EXPECT_LE(end, 23 * kFps);
            EXPECT_NE(List(1).find("\"trigger\":\"A\""), std::string::npos);
        }
        if (k.keep == 1 && !k.bGarbage && !k.bNoJournal) {
            EXPECT_EQ(end, 23 * kFps);
        }
    }
}

// A cut while the flush that turns to the other spill file is being written:
// that file is emptied, and the state already on the card must not need it.
TEST_F(RecordSpill, CutWhileTurningToTheOtherFileKeepsTheLastFlush)
{
    const auto read = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    const std::string paths[2] = {Card(RECORD_SPILL_NAME0), Card(RECORD_SPILL_NAME1)};
    std::filesystem::create_directories(Card(""));
    CFolderCard* card = new CFolderCard();
    // A ring whose half, the size a spill file turns at, holds less than the
    // 6 s the cache keeps: the turn waits for the oldest packet kept to
    // pass the other file's.
    CRecord record(new CMP4File(), card, new CRecordPacker(), 400 * 1024);
    ASSERT_TRUE(record.EnableSpill());
    record.SetRecoveryPeriod(0);
    ASSERT_TRUE(record.Init(kFps, kFps, 320, 240));
    card->Notify(kCard);
    record.ResumeCommonRecord();
    CRecordFeeder feeder(record);
    ASSERT_TRUE(feeder.Ok());
    int turns = 0;
    for (int s = 0; s < 60 && turns < 2; ++s) {
        feeder.Feed(kFps);
        const uint64_t before = record.GetSpill()->GetStats().rotations;
        const std::vector<uint8_t> was[2] = {read(paths[0]), read(paths[1])};
        ASSERT_TRUE(record.FlushRecoveryData());
        if (record.GetSpill()->GetStats().rotations == before) {
            continue;
        }
        ++turns;
        SCOPED_TRACE(s);
        // The file turned to was cut back to its head; the other is as the
        // last flush left it.
        const int emptied = read(paths[0]).size() < was[0].size() ? 0 : 1;
        ASSERT_EQ(read(paths[1 - emptied]), was[1 - emptied]);
        const std::vector<uint8_t> head(was[emptied].begin(), was[emptied].begin() + 8);
        const std::vector<uint8_t>* const files[2] = {emptied == 0 ? &head : &was[0],
                                                      emptied == 1 ? &head : &was[1]};
        tagRecordSpillContent c;
        ASSERT_TRUE(CRecordSpillReader::Parse(files, c)) << c.problem;
        ASSERT_FALSE(c.packets.empty()) << c.problem;
        EXPECT_EQ(c.packets.front().seq, c.state.keep);
    }
    EXPECT_EQ(turns, 2);
    record.StopAllRecord(1, 1);
    record.CleanUp();
}

}  // namespace
