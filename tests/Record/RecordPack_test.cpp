// Finishing closed recordings on a card folder of a simulated board: final
// names, the title image and the thumbnail archive, the index entry and the
// phone notice, and every way a file can fail to be finished.

#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Function/common.h"
#include "Record/Index/AssociatedData.h"
#include "Record/Index/RecordFileIndex.h"
#include "Record/Index/RecordScan.h"
#include "Record/RecordNotify.h"
#include "Record/RecordPacker.h"
#include "RecordFileTestSupport.h"
#include "support/TestBoard.h"

namespace {

// 2024-01-05 08:30:00 UTC.
const time_t kStart = 1704443400;
const char kT[] = "20240105083000";

class CPushLog : public CRecordNotify {
public:
    void NotifyFileDeleteUpdate(const char* json, int length) override { Add('D', json, length); }
    void NotifyCommonVideoUpdate(const char* json, int length) override { Add('C', json, length); }
    void NotifyAlarmVideoUpdate(const char* json, int length) override { Add('A', json, length); }
    void NotifyAlarmJpgUpdate(const char* json, int length) override { Add('J', json, length); }
    std::vector<std::pair<char, std::string>> m_Pushes;

private:
    void Add(char kind, const char* json, int length)
    {
        m_Pushes.emplace_back(kind, length >= 0 ? std::string(json, static_cast<size_t>(length)) : std::string("-1"));
    }
};

int Outstanding()
{
    CAssociatedDataManager* pool = CAssociatedDataManager::instance();
    return pool->GetAllocatedCount() - pool->GetFreeCount();
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) {
        out.push_back(l);
    }
    std::sort(out.begin(), out.end());
    return out;
}

const std::string kVideoBytes(5000, 'v');
const std::string kTitleBytes = "\xFF\xD8title\xFF\xD9";

// A closed recording as the engine hands it over: the file under its
// recording name, its title image and thumbnails waiting in /tmp.
class RecordPackTest : public ::testing::Test {
protected:
    void SetUp() override { m_lpPrevious = CRecordNotify::SetReceiver(&m_Log); }
    void TearDown() override { CRecordNotify::SetReceiver(m_lpPrevious); }

    std::string Root() const { return m_Board.Path("/tmp/mmc0/"); }
    std::string Tmp() const { return m_Board.Path("/tmp"); }

    void Record(bool alarm, bool title = true, int thumbs = 3)
    {
        char name[RECORD_NAME_BUF_SIZE];
        ASSERT_TRUE(m_Video.CreateFileName(Root().c_str(), alarm ? RECORD_DIR_ALARM_VIDEO : RECORD_DIR_COMMON_VIDEO,
                                           "MP4", kStart, 0, name));
        XRecWriteFile(name, kVideoBytes);
        m_bTitle = title;
        m_bThumbs = !alarm && thumbs > 0;
        if (title) {
            ASSERT_TRUE(m_Title.CreateFileName(Tmp().c_str(), nullptr, "JPG", m_Video.GetFileNameTime(), name));
            XRecWriteFile(name, kTitleBytes);
        }
        for (int i = 0; i < thumbs && !alarm; ++i) {
            ASSERT_TRUE(m_Thumb.CreateFileName(Tmp().c_str(), nullptr, "JPG", m_Video.GetFileNameTime(),
                                               m_Video.GetFileNameIndex(), static_cast<unsigned>(i * 20000), name));
            XRecWriteFile(name, "thumb" + std::to_string(i));
        }
    }

    tagRecordFinishInfo Info(bool alarm, uint32_t frames = 5400, int fps = 30, int res = 1080, BOOL parking = 0)
    {
        tagRecordFinishInfo info;
        memset(&info, 0, sizeof(info));
        info.emType = alarm ? emRecordFileType_Alarm : emRecordFileType_Common;
        info.szMountPath = "/tmp/mmc0/";
        m_strRoot = Root();
        m_strTmp = Tmp();
        info.szRootPath = m_strRoot.c_str();
        info.szTmpPath = m_strTmp.c_str();
        info.lpVideoName = &m_Video;
        info.lpTitleName = &m_Title;
        info.lpThumbName = alarm ? nullptr : &m_Thumb;
        info.bHasTitle = m_bTitle;
        info.bHasThumbs = m_bThumbs;
        info.bComplete = 1;
        info.nFrames = frames;
        info.nFps = fps;
        info.nTotalSize = static_cast<int64_t>(kVideoBytes.size());
        info.nTriggers = alarm ? emRecordTriggerType_AcceleratorAlarm : 0;
        info.nResFlag = res;
        info.bParking = parking;
        info.lpCommonIndex = &m_Common;
        info.lpAlarmIndex = &m_Alarm;
        info.lpImageIndex = &m_Image;
        return info;
    }

    BOOL Finish(tagRecordFinishInfo& info, std::string* out = nullptr, std::string* err = nullptr)
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const BOOL ok = m_Packer.FinishRecordFile(info);
        const std::string o = testing::internal::GetCapturedStdout();
        const std::string e = testing::internal::GetCapturedStderr();
        if (out != nullptr) {
            *out = o;
        }
        if (err != nullptr) {
            *err = e;
        }
        return ok;
    }

    // Nothing of the recording waits in /tmp.
    void ExpectTmpClean() const
    {
        DIR_CTX ctx;
        XFileFindData fd;
        for (BOOL ok = XFindFirstFile(Tmp().c_str(), &ctx, &fd); ok; ok = XFindNextFile(&ctx, &fd)) {
            EXPECT_NE(0, strncmp(fd.filename, "2024", 4)) << fd.filename << " left in /tmp";
        }
        XCloseFindFile(&ctx, FALSE);
    }

    // Back to an empty card and empty indexes.
    void Reset()
    {
        XTestRun("rm -rf '" + m_Board.Path("/tmp/mmc0") + "' '" + Tmp() + "'/2024*");
        m_Common.CleanAllFile();
        m_Alarm.CleanAllFile();
        m_Image.CleanAllFile();
        m_Log.m_Pushes.clear();
    }

    CTestBoard m_Board;
    CPushLog m_Log;
    CRecordNotify* m_lpPrevious = nullptr;
    CRecordFileIndex m_Common{emRecFileType_CommonVideo};
    CRecordFileIndex m_Alarm{emRecFileType_AlarmVideo};
    CRecordFileIndex m_Image{emRecFileType_AlarmImage};
    CRecordFileName m_Video;
    CRecordFileName m_Title;
    CRecordFileName m_Thumb;
    BOOL m_bTitle = 0;
    BOOL m_bThumbs = 0;
    std::string m_strRoot;
    std::string m_strTmp;
    CRecordPacker m_Packer;
};

struct tagNameCase {
    const char* name;
    bool alarm;
    int res;
    BOOL parking;
    uint32_t frames;
    int fps;
    std::vector<std::string> existing;  // files on the card before
    bool scanned;                       // the card was scanned with them
    std::string video;                  // expected paths under the mount folder
    std::string title;
    std::string archive;  // empty: none
};

TEST_F(RecordPackTest, FinalNames)
{
    const std::string T = kT;
    const std::string cv = "DCIM/100video/", ct = "DCIM/103thumb/", ca = "DCIM/102thumb/";
    const std::string av = "DCIM/101video/", at = "DCIM/105thumb/";
    const std::vector<tagNameCase> cases = {
        {"1080p loop file", false, 1080, 0, 5400, 30, {}, false, cv + T + "_180.MP4", ct + T + ".JPG", ca + T + ".TGZ"},
        {"one frame more rounds up", false, 1080, 0, 5401, 30, {}, false, cv + T + "_181.MP4", ct + T + ".JPG",
         ca + T + ".TGZ"},
        {"one frame of a second", false, 1080, 0, 1, 30, {}, false, cv + T + "_1.MP4", ct + T + ".JPG", ca + T + ".TGZ"},
        {"720p", false, 720, 0, 5400, 30, {}, false, cv + T + "_180_720p.MP4", ct + T + ".JPG", ca + T + ".TGZ"},
        {"1080p parking", false, 1080, 1, 180, 1, {}, false, cv + T + "_180_P.MP4", ct + T + ".JPG", ""},
        {"720p parking, 1 frame at 1 fps", false, 720, 1, 1, 1, {}, false, cv + T + "_1_720p_P.MP4", ct + T + ".JPG",
         ""},
        {"final name taken: index 1 for all three", false, 1080, 0, 5400, 30, {cv + T + "_180.MP4"}, false,
         cv + T + "_180(1).MP4", ct + T + "(1).JPG", ca + T + "(1).TGZ"},
        {"720p name of the same key counts", false, 1080, 0, 5400, 30, {cv + T + "_180_720p.MP4"}, false,
         cv + T + "_180(1).MP4", ct + T + "(1).JPG", ca + T + "(1).TGZ"},
        {"parking name of the same key counts", false, 720, 0, 5400, 30, {cv + T + "_180_P.MP4", cv + T + "_180(1)_720p_P.MP4"},
         false, cv + T + "_180(2)_720p.MP4", ct + T + "(2).JPG", ca + T + "(2).TGZ"},
        {"title name taken", false, 1080, 0, 5400, 30, {ct + T + ".JPG"}, false, cv + T + "_180(1).MP4",
         ct + T + "(1).JPG", ca + T + "(1).TGZ"},
        {"archive name taken", false, 1080, 0, 5400, 30, {ca + T + ".TGZ"}, false, cv + T + "_180(1).MP4",
         ct + T + "(1).JPG", ca + T + "(1).TGZ"},
        {"indexed file of another duration", false, 1080, 0, 5400, 30, {cv + T + "_5.MP4"}, true,
         cv + T + "_180(1).MP4", ct + T + "(1).JPG", ca + T + "(1).TGZ"},
        {"second recording of the second", false, 1080, 0, 5400, 30, {cv + T + "_0.MP4"}, false,
         cv + T + "_180(1).MP4", ct + T + "(1).JPG", ca + T + "(1).TGZ"},
        {"alarm file", true, 1080, 0, 300, 30, {}, false, av + T + "_10.MP4", at + T + ".JPG", ""},
        {"720p parking alarm file", true, 720, 1, 10, 1, {}, false, av + T + "_10_720p_P.MP4", at + T + ".JPG", ""},
        {"alarm name taken", true, 1080, 0, 290, 30, {av + T + "_10_P.MP4"}, false, av + T + "_10(1).MP4",
         at + T + "(1).JPG", ""},
        {"alarm title taken", true, 1080, 0, 300, 30, {at + T + ".JPG"}, false, av + T + "_10(1).MP4",
         at + T + "(1).JPG", ""},
        {"indexed alarm file of another duration", true, 1080, 0, 300, 30, {av + T + "_7.MP4"}, true,
         av + T + "_10(1).MP4", at + T + "(1).JPG", ""},
    };
    for (const tagNameCase& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        for (const std::string& e : c.existing) {
            XRecWriteFile(Root() + e, "old");
        }
        if (c.scanned) {
            testing::internal::CaptureStdout();
            CRecordScan(m_Common, m_Alarm, m_Image).ScanCard(Root().c_str());
            testing::internal::GetCapturedStdout();
        }
        Record(c.alarm);
        char src[RECORD_NAME_BUF_SIZE];
        ASSERT_TRUE(m_Video.GetFileName(Root().c_str(), c.alarm ? RECORD_DIR_ALARM_VIDEO : RECORD_DIR_COMMON_VIDEO,
                                        "MP4", TRUE, TRUE, src));
        tagRecordFinishInfo info = Info(c.alarm, c.frames, c.fps, c.res, c.parking);
        std::string out;
        ASSERT_TRUE(Finish(info, &out));

        EXPECT_FALSE(XRecExists(src));
        EXPECT_EQ(kVideoBytes, ReadFile(Root() + c.video));
        EXPECT_NE(std::string::npos, out.find(std::string("[CHK PACK] MV ") + src + " to " + Root() + c.video + " OK" +
                                              (c.alarm ? "(ALARM)" : "") + ".\n"))
            << out;
        EXPECT_EQ(kTitleBytes, ReadFile(Root() + c.title));
        if (!c.archive.empty()) {
            EXPECT_TRUE(XRecExists(Root() + c.archive));
        } else {
            EXPECT_FALSE(XRecExists(Root() + "DCIM/102thumb")) << "no archive";
        }
        ExpectTmpClean();

        // The push is the index's own document of the new file.
        ASSERT_EQ(1u, m_Log.m_Pushes.size());
        EXPECT_EQ(c.alarm ? 'A' : 'C', m_Log.m_Pushes[0].first);
        const std::string& doc = m_Log.m_Pushes[0].second;
        const std::string base = c.video.substr(c.video.rfind('/') + 1);
        EXPECT_NE(std::string::npos, doc.find("{\"filename\":\"" + base + "\",\"duration\":")) << doc;
        EXPECT_NE(std::string::npos, doc.find("\"title\":\"" + c.title.substr(c.title.rfind('/') + 1) + "\"")) << doc;
        if (!c.alarm) {
            const std::string thumb = c.archive.empty() ? "" : c.archive.substr(c.archive.rfind('/') + 1);
            EXPECT_NE(std::string::npos, doc.find("\"thumb\":\"" + thumb + "\"")) << doc;
        } else {
            EXPECT_NE(std::string::npos, doc.find("\"trigger\":\"A\"")) << doc;
            EXPECT_NE(std::string::npos, out.find("==ALARM FILE UPDATE INFO===\n" + doc + "\n")) << out;
        }
        CRecordFileIndex& index = c.alarm ? m_Alarm : m_Common;
        std::vector<char> buf(4096);
        RecFileNameFields f;
        ASSERT_TRUE(XParseCardFileName(base.c_str(), c.alarm ? emFileType_AlarmVideo : emFileType_Video, f));
        const int n = index.GetFileInfoAsJSON(buf.data(), static_cast<int>(buf.size()), f.time, f.index);
        ASSERT_GT(n, 0);
        EXPECT_EQ(doc, std::string(buf.data(), static_cast<size_t>(n)));
    }
}

// The thumbnails go into one archive that tar itself reads back; parking
// files get none.
TEST_F(RecordPackTest, ThumbnailArchive)
{
    Record(false, true, 3);
    tagRecordFinishInfo info = Info(false);
    std::string out;
    ASSERT_TRUE(Finish(info, &out));
    const std::string archive = Root() + "DCIM/102thumb/" + kT + ".TGZ";
    int status = -1;
    const std::string listing = XTestRun("tar -tzf '" + archive + "'", &status);
    EXPECT_EQ(0, status);
    const std::string T = kT;
    EXPECT_EQ(std::vector<std::string>({T + "/", T + "/0.JPG", T + "/20000.JPG", T + "/40000.JPG"}), Lines(listing));
    EXPECT_EQ("thumb1", XTestRun("tar -xzOf '" + archive + "' " + T + "/20000.JPG"));
    EXPECT_NE(std::string::npos, out.find("[CHK PACK] THUMB IMG SRC DIR (" + T + ")\n")) << out;
    EXPECT_NE(std::string::npos, out.find("[CHK PACK] THUMB IMG DST DIR (" + archive + ").\n")) << out;
    EXPECT_NE(std::string::npos, out.find("[RM DIR]" + Tmp() + "/" + T + "\n")) << out;
    ExpectTmpClean();
    const CRecordFileIndexNode* node = m_Common.GetFileListHead();
    ASSERT_NE(nullptr, node);
    EXPECT_TRUE(node->HasThumbFile());
    size_t size = 0;
    ASSERT_TRUE(XGetFileSize(archive.c_str(), &size));
    EXPECT_EQ(size, node->GetRecThumbSize());
    EXPECT_EQ(kVideoBytes.size() + kTitleBytes.size() + size, m_Common.GetTotalSize());
    // Only the final names are left on the card.
    EXPECT_EQ(std::vector<std::string>({T + ".TGZ"}), XRecListDir(Root() + "DCIM/102thumb"));
    EXPECT_EQ(std::vector<std::string>({T + ".JPG"}), XRecListDir(Root() + "DCIM/103thumb"));

    Reset();
    Record(false, true, 2);
    info = Info(false, 180, 1, 1080, 1);
    ASSERT_TRUE(Finish(info));
    EXPECT_FALSE(XRecExists(Root() + "DCIM/102thumb"));
    EXPECT_FALSE(m_Common.GetFileListHead()->HasThumbFile());
    ExpectTmpClean();
}

// The alarm file's snapshot records go to its index entry, in their order.
TEST_F(RecordPackTest, AlarmRecordsAttached)
{
    const int before = Outstanding();
    CAssociatedDataManager* pool = CAssociatedDataManager::instance();
    CAssociatedData* newer = pool->GetNode();
    CAssociatedData* older = pool->GetNode();
    newer->SetRecType('G');
    newer->SetRecTime(RECTIME::Make(24, 1, 5, 8, 30, 7));
    newer->SetGPSPosition("N2");
    older->SetRecType('A');
    older->SetRecTime(RECTIME::Make(24, 1, 5, 8, 30, 3));
    older->SetRecIndex(1);
    older->SetGPSPosition("N1");
    newer->SetNext(older);
    Record(true);
    tagRecordFinishInfo info = Info(true);
    info.lpAssociatedData = newer;
    ASSERT_TRUE(Finish(info));
    EXPECT_EQ(nullptr, info.lpAssociatedData);
    ASSERT_EQ(1u, m_Log.m_Pushes.size());
    EXPECT_NE(std::string::npos,
              m_Log.m_Pushes[0].second.find("\"associateddata\":[{\"image\":\"G20240105083007.JPG\",\"position\":\"N2\"},"
                                            "{\"image\":\"A20240105083003(1).JPG\",\"position\":\"N1\"}]"))
        << m_Log.m_Pushes[0].second;
    EXPECT_EQ(before + 2, Outstanding());
    m_Alarm.CleanAllFile();
    EXPECT_EQ(before, Outstanding());
}

struct tagFailCase {
    const char* name;
    bool alarm;
    const char* what;  // what goes wrong
    BOOL result;
    std::string error;  // expected on standard error
};

// A file that cannot be finished is not listed or pushed, is not left under
// a name that looks finished, and nothing of it stays in /tmp or out of the
// record pool.
TEST_F(RecordPackTest, FilesThatCannotBeFinished)
{
    const std::vector<tagFailCase> cases = {
        {"trailer failed", false, "trailer", 0, "is unfinished (trailer failed"},
        {"alarm trailer failed", true, "trailer", 0, "is unfinished (trailer failed"},
        {"no frame written", false, "frames", 0, "is unfinished (trailer written, 0 frames)"},
        {"no frame rate", true, "fps", 0, "is unfinished"},
        {"recording gone", false, "source", 0, "[CHK PACK] Get common record src video file name failed.\n"},
        {"alarm recording gone", true, "source", 0, "[CHK PACK] Get alarm record src video file name failed.\n"},
        {"every index taken", false, "indexes", 0, "[CHK PACK] Get common record dst video file name failed.\n"},
        {"every alarm index taken", true, "indexes", 0, "[CHK PACK] Get alarm record dst video file name failed.\n"},
    };
    for (const tagFailCase& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        const std::string what = c.what;
        if (what == "indexes") {
            for (int n = 0; n <= 255; ++n) {
                XRecWriteFile(Root() + (c.alarm ? "DCIM/105thumb/" : "DCIM/103thumb/") + kT +
                                  (n > 0 ? "(" + std::to_string(n) + ")" : std::string()) + ".JPG",
                              "t");
            }
        }
        Record(c.alarm);
        char src[RECORD_NAME_BUF_SIZE];
        ASSERT_TRUE(m_Video.GetFileName(Root().c_str(), c.alarm ? RECORD_DIR_ALARM_VIDEO : RECORD_DIR_COMMON_VIDEO,
                                        "MP4", TRUE, TRUE, src));
        tagRecordFinishInfo info = Info(c.alarm);
        if (what == "trailer") {
            info.bComplete = 0;
        } else if (what == "frames") {
            info.nFrames = 0;
        } else if (what == "fps") {
            info.nFps = 0;
        } else if (what == "source") {
            unlink(src);
        }
        const int before = Outstanding();
        if (c.alarm) {
            CAssociatedData* d = CAssociatedDataManager::instance()->GetNode();
            d->SetRecType('A');
            info.lpAssociatedData = d;
        }
        std::string err;
        EXPECT_EQ(c.result, Finish(info, nullptr, &err));
        EXPECT_NE(std::string::npos, err.find(c.error)) << err;
        EXPECT_FALSE(XRecExists(src)) << "the recording name goes";
        DIR_CTX ctx;
        XFileFindData fd;
        const std::string videos = Root() + (c.alarm ? "DCIM/101video" : "DCIM/100video");
        for (BOOL ok = XFindFirstFile(videos.c_str(), &ctx, &fd); ok; ok = XFindNextFile(&ctx, &fd)) {
            EXPECT_TRUE(fd.is_dir) << fd.filename << " left";
        }
        XCloseFindFile(&ctx, FALSE);
        EXPECT_FALSE(XRecExists(Root() + "DCIM/102thumb"));
        EXPECT_EQ(0, m_Common.GetFileCount());
        EXPECT_EQ(0, m_Alarm.GetFileCount());
        EXPECT_TRUE(m_Log.m_Pushes.empty());
        EXPECT_EQ(nullptr, info.lpAssociatedData);
        EXPECT_EQ(before, Outstanding());
        ExpectTmpClean();
    }
}

// A title or archive that cannot be stored leaves the video finished without it.
TEST_F(RecordPackTest, CompanionsThatCannotBeStored)
{
    XRecWriteFile(Root() + "DCIM/103thumb", "a file where the folder should be");
    XRecWriteFile(Root() + "DCIM/102thumb", "a file where the folder should be");
    Record(false);
    tagRecordFinishInfo info = Info(false);
    std::string err;
    ASSERT_TRUE(Finish(info, nullptr, &err));
    EXPECT_NE(std::string::npos, err.find("[CHK PACK] GET THUMB IMG DST DIR FAILED.\n")) << err;
    EXPECT_TRUE(XRecExists(Root() + "DCIM/100video/" + kT + "_180.MP4"));
    ASSERT_EQ(1u, m_Log.m_Pushes.size());
    EXPECT_NE(std::string::npos, m_Log.m_Pushes[0].second.find("\"title\":\"\",\"titlesize\":0,\"thumb\":\"\",\"thumbsize\":0"))
        << m_Log.m_Pushes[0].second;
    EXPECT_EQ(kVideoBytes.size(), m_Common.GetTotalSize());
    ExpectTmpClean();
}

// tar does not run at the real-time priority of the capture thread.
TEST_F(RecordPackTest, ArchiveRunsAtNormalPriority)
{
    Record(false);
    tagRecordFinishInfo info = Info(false);
    std::string policy;
    bool realtime = false;
    BOOL ok = 0;
    std::thread capture([&] {
        sched_param param = {};
        param.sched_priority = 99;
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) != 0) {
            return;
        }
        realtime = true;
        ok = Finish(info);
        // A child of this thread, as tar was: field 41 of its stat is its policy.
        std::vector<std::string> lines;
        ExecCommand2("cut -d' ' -f41 /proc/self/stat", lines);
        policy = lines.empty() ? "" : lines[0];
    });
    capture.join();
    if (!realtime) {
        GTEST_SKIP() << "this machine does not allow SCHED_FIFO threads";
    }
    EXPECT_TRUE(ok);
    EXPECT_TRUE(XRecExists(Root() + "DCIM/102thumb/" + kT + ".TGZ"));
    EXPECT_EQ("0", policy) << "SCHED_OTHER";
}

}  // namespace
