// Videos cut off by a power loss or a pulled card, recovered by the card
// scan from their journals: the real engine, writer and packer record in a
// child process that ends as a power cut ends it; a fresh engine mounts the
// card. The files are read back with ffprobe and decoded with ffmpeg.

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
#include "Record/MP4/MP4JournalReader.h"
#include "Record/Record.h"
#include "Record/RecordPacker.h"
#include "RecordFeeder.h"
#include "RecordFileTestSupport.h"
#include "RecordTestCard.h"
#include "RecordVideoCheck.h"
#include "support/TestBoard.h"

namespace {

const int kCard = emSDState_Insert | emSDState_Mount;

class RecordRecovery : public ::testing::Test {
protected:
    std::string Card(const std::string& sub) const { return m_Board.Path("/tmp/mmc0/" + sub); }

    // Records in a child process: `seconds` of video, with an acceleration
    // alarm and one snapshot record at `alarmAt` (-1: none). Once the
    // journal has reached the card the child ends at once, its open file
    // unfinished.
    void RecordAndCut(int seconds, int alarmAt)
    {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            CFolderCard* card = new CFolderCard();
            CMP4File* writer = new CMP4File();
            CRecord record(writer, card, new CRecordPacker());
            record.Init(30, 30, 320, 240);
            card->Notify(kCard);
            record.ResumeCommonRecord();
            CRecordFeeder feeder(record);
            for (int s = 0; s < seconds && feeder.Ok(); ++s) {
                if (s == alarmAt) {
                    record.StartAlarmRecord(emAlarmType_Accelerate, 'A');
                }
                if (s == alarmAt + 7) {
                    CAssociatedData* d = CAssociatedDataManager::instance()->GetNode();
                    d->SetRecType('A');
                    d->SetRecTime(RECTIME::Make(2024, 1, 5, 8, 30, 15));
                    d->SetRecIndex(0);
                    d->SetGPSPosition("N22.5,E114.0");
                    if (!record.SetAssociatedData(d)) {
                        XPutAssociatedDataList(d);
                    }
                }
                feeder.Feed(30);
            }
            _exit(feeder.Ok() && writer->GetJournal()->Flush() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    // A fresh engine with the real packer mounts the card: its scan runs.
    void Mount()
    {
        m_lpCard = new CFolderCard();
        m_lpRecord.reset(new CRecord(new CMP4File(), m_lpCard, new CRecordPacker()));
        ASSERT_TRUE(m_lpRecord->Init(30, 30, 320, 240));
        m_lpCard->Notify(kCard);
    }

    // The one unfinished video of `sub` (name ending in _0.MP4).
    std::string Unfinished(const std::string& sub) const
    {
        for (const std::string& n : XRecListDir(Card(sub))) {
            if (n.size() > 6 && n.compare(n.size() - 6, 6, "_0.MP4") == 0) {
                return n;
            }
        }
        return "";
    }

    std::string List(int kind)
    {
        std::vector<char> buf(1 << 16);
        const int n = kind == 0 ? m_lpRecord->GetCommonVideoFileAsJson(buf.data(), static_cast<int>(buf.size()))
                                : m_lpRecord->GetAlarmVideoFileAsJSON(buf.data(), static_cast<int>(buf.size()));
        return n > 0 ? std::string(buf.data(), static_cast<size_t>(n)) : std::string();
    }

    // Every video of `sub` passes ffprobe and a full decode, and no journal
    // is left beside them; their names.
    std::vector<std::string> CheckedVideos(const std::string& sub)
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (std::filesystem::directory_iterator it(Card(sub), ec), end; !ec && it != end; it.increment(ec)) {
            EXPECT_NE(it->path().filename().string()[0], '.') << it->path();
        }
        for (const std::string& n : XRecListDir(Card(sub))) {
            EXPECT_GT(XRecProbeFrames(Card(sub) + "/" + n), 0) << n;
            EXPECT_EQ(XRecDecodeErrors(Card(sub) + "/" + n), "") << n;
            names.push_back(n);
        }
        return names;
    }

    CTestBoard m_Board;
    CFolderCard* m_lpCard = nullptr;
    std::unique_ptr<CRecord> m_lpRecord;
};

struct tagCutCase {
    const char* name;
    int64_t videoCut;      // bytes cut off the video's end (-1: keep it whole)
    double videoAt;        // or keep this share of the journaled data (0: unused)
    int64_t journalCut;    // bytes cut off the journal's end
    bool bGarbageJournal;
    bool bNoJournal;
};

TEST_F(RecordRecovery, LoopFileCutAtManyPlaces)
{
    RecordAndCut(20, -1);
    const std::string name = Unfinished("DCIM/100video");
    ASSERT_NE(name, "");
    const std::string video = XRecReadFile(Card("DCIM/100video/" + name));
    const std::string journal = XRecReadFile(Card("DCIM/100video/." + name + ".jnl"));
    tagMP4JournalContent full;
    ASSERT_TRUE(CMP4JournalReader::Parse(reinterpret_cast<const uint8_t*>(journal.data()), journal.size(),
                                         video.size(), full));
    ASSERT_GT(full.videoSamples, 300u);
    const std::vector<std::string> finished = XRecListDir(Card("DCIM/100video"));

    const tagCutCase cases[] = {
        {"whole", -1, 0, 0, false, false},
        {"last sample torn", static_cast<int64_t>(video.size() - full.dataEnd) + 1, 0, 0, false, false},
        {"a fifth on the card", -1, 0.2, 0, false, false},
        {"half on the card", -1, 0.5, 0, false, false},
        {"most on the card", -1, 0.93, 0, false, false},
        {"inside the first key frame", static_cast<int64_t>(video.size()) - 64 - 100, 0, 0, false, false},
        {"header only", static_cast<int64_t>(video.size()) - 64, 0, 0, false, false},
        {"journal's last record torn", -1, 0, 5, false, false},
        {"journal garbled", -1, 0, 0, true, false},
        {"no journal", -1, 0, 0, false, true},
    };
    for (const tagCutCase& k : cases) {
        SCOPED_TRACE(k.name);
        m_lpRecord.reset();
        uint64_t size = video.size();
        if (k.videoAt > 0) {
            size = 64 + static_cast<uint64_t>((full.dataEnd - 64) * k.videoAt);
        } else if (k.videoCut >= 0) {
            size = video.size() - static_cast<uint64_t>(k.videoCut);
        }
        std::string j = journal.substr(0, journal.size() - static_cast<size_t>(k.journalCut));
        if (k.bGarbageJournal) {
            for (size_t i = 0; i < j.size(); i += 7) {
                j[i] = static_cast<char>(j[i] ^ 0x5A);
            }
        }
        // What must come back: the video samples wholly on the card that the
        // journal names, up to the first that is not.
        tagMP4JournalContent cut;
        uint32_t expect = 0;
        if (!k.bNoJournal && CMP4JournalReader::Parse(reinterpret_cast<const uint8_t*>(j.data()), j.size(),
                                                      video.size(), cut)) {
            for (const tagMP4JournalSample& s : cut.samples) {
                if (s.offset + s.size > size) {
                    break;
                }
                expect += s.kind == emMP4JournalEntry_Video ? 1 : 0;
            }
        }
        const std::string dir = Card("DCIM/100video");
        std::filesystem::remove(dir + "/" + name);
        XRecWriteFile(dir + "/" + name, video.substr(0, size));
        if (!k.bNoJournal) {
            XRecWriteFile(dir + "/." + name + ".jnl", j);
        }
        Mount();
        std::vector<std::string> now = CheckedVideos("DCIM/100video");
        std::vector<std::string> added;
        for (const std::string& n : now) {
            if (std::find(finished.begin(), finished.end(), n) == finished.end()) {
                added.push_back(n);
            }
        }
        EXPECT_FALSE(XRecExists(dir + "/." + name + ".jnl"));
        EXPECT_FALSE(XRecExists(dir + "/" + name));
        if (expect == 0) {
            EXPECT_TRUE(added.empty());
            continue;
        }
        ASSERT_EQ(added.size(), 1u);
        const std::string stem = name.substr(0, 14);
        const std::string finalName = stem + "_" + std::to_string((expect + 29) / 30) + ".MP4";
        EXPECT_EQ(added[0], finalName);
        EXPECT_EQ(XRecProbeFrames(dir + "/" + added[0]), static_cast<int>(expect));
        EXPECT_NE(List(0).find("\"filename\":\"" + finalName + "\""), std::string::npos) << List(0);
        std::filesystem::remove(dir + "/" + added[0]);
        std::filesystem::remove(Card("DCIM/103thumb/" + stem + ".JPG"));
        std::filesystem::remove(Card("DCIM/102thumb/" + stem + ".TGZ"));
    }
}

TEST_F(RecordRecovery, AlarmFileKeepsItsTriggerSnapshotAndTitle)
{
    RecordAndCut(18, 10);
    const std::string name = Unfinished("DCIM/101video");
    ASSERT_NE(name, "");
    const std::string stem = name.substr(0, 14);
    // The title image still waits in the board's /tmp (a crash, not a cut).
    ASSERT_TRUE(XRecExists(m_Board.Path("/tmp/" + stem + ".JPG")));
    Mount();
    const std::vector<std::string> alarms = CheckedVideos("DCIM/101video");
    CheckedVideos("DCIM/100video");
    ASSERT_EQ(alarms.size(), 1u);
    EXPECT_EQ(alarms[0].substr(0, 15), stem + "_");
    const std::string list = List(1);
    EXPECT_NE(list.find("\"filename\":\"" + alarms[0] + "\""), std::string::npos) << list;
    EXPECT_NE(list.find("\"trigger\":\"A\""), std::string::npos) << list;
    EXPECT_NE(list.find("\"title\":\"" + stem + ".JPG\""), std::string::npos) << list;
    EXPECT_NE(list.find("\"position\":\"N22.5,E114.0\""), std::string::npos) << list;
    EXPECT_TRUE(XRecExists(Card("DCIM/105thumb/" + stem + ".JPG")));
    EXPECT_FALSE(XRecExists(m_Board.Path("/tmp/" + stem + ".JPG")));
}

TEST_F(RecordRecovery, AlarmFileAfterATrueCutHasNoTitle)
{
    RecordAndCut(18, 10);
    const std::string name = Unfinished("DCIM/101video");
    ASSERT_NE(name, "");
    const std::string stem = name.substr(0, 14);
    std::filesystem::remove(m_Board.Path("/tmp/" + stem + ".JPG"));  // /tmp is RAM: gone with the power
    Mount();
    const std::vector<std::string> alarms = CheckedVideos("DCIM/101video");
    ASSERT_EQ(alarms.size(), 1u);
    const std::string list = List(1);
    EXPECT_NE(list.find("\"trigger\":\"A\""), std::string::npos) << list;
    EXPECT_NE(list.find("\"title\":\"\""), std::string::npos) << list;
    EXPECT_FALSE(XRecExists(Card("DCIM/105thumb/" + stem + ".JPG")));
}

// The file closed at once when the card goes keeps its recording name; the
// scan at the next insertion finishes it with every frame it holds.
TEST_F(RecordRecovery, PulledCardFileIsFinishedAtReinsertion)
{
    Mount();
    m_lpRecord->ResumeCommonRecord();
    CRecordFeeder feeder(*m_lpRecord);
    ASSERT_TRUE(feeder.Ok());
    feeder.Feed(30 * 14);
    const std::string name = Unfinished("DCIM/100video");
    ASSERT_NE(name, "");
    m_lpCard->Notify(0);
    EXPECT_TRUE(XRecExists(Card("DCIM/100video/" + name)));
    EXPECT_TRUE(XRecExists(Card("DCIM/100video/." + name + ".jnl")));
    const int frames = XRecProbeFrames(Card("DCIM/100video/" + name));
    ASSERT_GT(frames, 0);
    m_lpCard->Notify(kCard);
    const std::vector<std::string> videos = CheckedVideos("DCIM/100video");
    const std::string finalName = name.substr(0, 14) + "_" + std::to_string((frames + 29) / 30) + ".MP4";
    ASSERT_EQ(videos.size(), 1u);
    EXPECT_EQ(videos[0], finalName);
    EXPECT_EQ(XRecProbeFrames(Card("DCIM/100video/" + finalName)), frames);
    EXPECT_NE(List(0).find(finalName), std::string::npos);
    // Recording goes on on the card.
    m_lpRecord->ResumeCommonRecord();
    feeder.Feed(30 * 8);
    EXPECT_NE(Unfinished("DCIM/100video"), "");
}

// Journals whose video is gone or finished go; the videos stay as they are.
TEST_F(RecordRecovery, OrphanJournalsAreDeleted)
{
    const std::string dir = Card("DCIM/100video");
    XRecWriteFile(dir + "/.20240105083000_0.MP4.jnl", "MP4JRN\x00\x01 whatever");
    XRecWriteFile(dir + "/20240105083100_7.MP4", "finished elsewhere");
    XRecWriteFile(dir + "/.20240105083100_0.MP4.jnl", "MP4JRN");
    XRecWriteFile(dir + "/.notes.txt", "left alone");
    Mount();
    EXPECT_FALSE(XRecExists(dir + "/.20240105083000_0.MP4.jnl"));
    EXPECT_FALSE(XRecExists(dir + "/.20240105083100_0.MP4.jnl"));
    EXPECT_TRUE(XRecExists(dir + "/20240105083100_7.MP4"));
    EXPECT_TRUE(XRecExists(dir + "/.notes.txt"));
    EXPECT_EQ(m_lpRecord->GetCommonRecordFileIndex().GetFileCount(), 1);
}

}  // namespace
