#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "Record/Index/AssociatedData.h"
#include "Record/Index/RecordFileIndex.h"
#include "Record/RecordFileTestSupport.h"
#include "Record/RecordNotify.h"

namespace {

RECTIME T(unsigned sec) { return RECTIME::Make(24, 1, 5, 8, 30 + sec / 60, sec % 60); }

// Collects deletion notices.
class CNoticeLog : public CRecordNotify {
public:
    void NotifyFileDeleteUpdate(const char* json, int length) override
    {
        m_Docs.push_back(length >= 0 ? std::string(json, static_cast<size_t>(length)) : std::string());
        m_Lengths.push_back(length);
    }
    void NotifyCommonVideoUpdate(const char*, int) override {}
    void NotifyAlarmVideoUpdate(const char*, int) override {}
    void NotifyAlarmJpgUpdate(const char*, int) override {}

    std::vector<std::string> m_Docs;
    std::vector<int> m_Lengths;
};

// A card folder with files of all three categories and their indexes.
class RecordIndexDelete : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_Dir.Path().empty());
        m_Mount = m_Dir.Root();
        m_lpPrevious = CRecordNotify::SetReceiver(&m_Log);
    }
    void TearDown() override { CRecordNotify::SetReceiver(m_lpPrevious); }

    // A common video with its title and archive, on the card and indexed.
    void AddCommon(unsigned sec, int index, bool title = true, bool archive = true, int res = 1080, int park = 0)
    {
        const unsigned long size = 1000;
        ASSERT_TRUE(m_Common.AddRecFile(T(sec), 180u, (res << 16) | (index << 8) | park, size));
        const CRecordFileIndexNode* n = m_Common.FindNode(T(sec), index);
        char name[RECORD_NAME_BUF_SIZE];
        ASSERT_TRUE(n->GetFileName(name, m_Mount.c_str(), RECORD_DIR_COMMON_VIDEO, "MP4", 1));
        XRecWriteFile(name, std::string(size, 'v'));
        if (title) {
            ASSERT_TRUE(n->GetFileName(name, m_Mount.c_str(), RECORD_DIR_COMMON_TITLE, "JPG", 0));
            XRecWriteFile(name, "title");
            ASSERT_TRUE(m_Common.AddRecFileTitle(T(sec), index, 10ul));
        }
        if (archive) {
            ASSERT_TRUE(n->GetFileName(name, m_Mount.c_str(), RECORD_DIR_COMMON_THUMB, "TGZ", 0));
            XRecWriteFile(name, "archive");
            ASSERT_TRUE(m_Common.AddRecFileTimestamp(T(sec), index, 20ul));
        }
    }
    void AddImage(unsigned sec, char type, int index)
    {
        ASSERT_TRUE(m_Images.AddRecFile(T(sec), 0u, type, index, 300ul));
        char name[RECORD_NAME_BUF_SIZE];
        ASSERT_TRUE(m_Images.FindNode(T(sec), index, type)->GetFileName(name, m_Mount.c_str(), RECORD_DIR_ALARM_IMAGE, "JPG", 0));
        XRecWriteFile(name, std::string(300, 'i'));
    }
    std::string Card(const std::string& rel) const { return m_Mount + rel; }

    CRecTempDir m_Dir;
    std::string m_Mount;
    CNoticeLog m_Log;
    CRecordNotify* m_lpPrevious = nullptr;
    CRecordFileIndex m_Common{emRecFileType_CommonVideo};
    CRecordFileIndex m_Alarm{emRecFileType_AlarmVideo};
    CRecordFileIndex m_Images{emRecFileType_AlarmImage};
};

TEST_F(RecordIndexDelete, OldestCommonVideoGoesWithTitleAndArchive)
{
    AddCommon(0, 0);
    AddCommon(10, 0);
    EXPECT_EQ(m_Common.GetTotalSize(), 2060u);
    ASSERT_TRUE(m_Common.DeleteOldestFile(m_Mount.c_str()));
    EXPECT_FALSE(XRecExists(Card("DCIM/100video/20240105083000_180.MP4")));
    EXPECT_FALSE(XRecExists(Card("DCIM/103thumb/20240105083000.JPG")));
    EXPECT_FALSE(XRecExists(Card("DCIM/102thumb/20240105083000.TGZ")));
    EXPECT_TRUE(XRecExists(Card("DCIM/100video/20240105083010_180.MP4")));
    EXPECT_EQ(m_Common.GetFileCount(), 1);
    EXPECT_EQ(m_Common.GetTotalSize(), 1030u);
    // The notice is the file's document from before the deletion.
    ASSERT_EQ(m_Log.m_Docs.size(), 1u);
    EXPECT_EQ(m_Log.m_Docs[0],
              "{\"type\":\"commonvideo\",\"mp4folder\":\"DCIM/100video\",\"titlefolder\":\"DCIM/103thumb\","
              "\"thumbfolder\":\"DCIM/102thumb\",\"mp4data\":[{\"filename\":\"20240105083000_180.MP4\","
              "\"duration\":180,\"filesize\":1000,\"title\":\"20240105083000.JPG\",\"titlesize\":10,"
              "\"thumb\":\"20240105083000.TGZ\",\"thumbsize\":20,\"time\":\"20240105083000\"}]}");
}

TEST_F(RecordIndexDelete, MissingCompanionDoesNotBlockTheDeletion)
{
    AddCommon(0, 0);
    AddCommon(10, 0);
    unlink(Card("DCIM/103thumb/20240105083000.JPG").c_str());
    unlink(Card("DCIM/102thumb/20240105083000.TGZ").c_str());
    // The free-space policy deletes oldest first: it must get past the file.
    ASSERT_TRUE(m_Common.DeleteOverflowFile(m_Mount.c_str(), 1030));
    EXPECT_FALSE(XRecExists(Card("DCIM/100video/20240105083000_180.MP4")));
    EXPECT_EQ(m_Common.GetFileCount(), 1);
    EXPECT_EQ(m_Log.m_Docs.size(), 1u);
    // A main file that is gone counts as deleted too.
    unlink(Card("DCIM/100video/20240105083010_180.MP4").c_str());
    EXPECT_TRUE(m_Common.DeleteOldestFile(m_Mount.c_str()));
    EXPECT_EQ(m_Common.GetFileCount(), 0);
    EXPECT_EQ(m_Common.GetTotalSize(), 0u);
}

TEST_F(RecordIndexDelete, FileThatCannotBeDeletedKeepsItsNodeAndSendsNothing)
{
    AddCommon(0, 0);
    // A folder in the video's place: unlink fails with EISDIR, even for root.
    unlink(Card("DCIM/100video/20240105083000_180.MP4").c_str());
    mkdir(Card("DCIM/100video/20240105083000_180.MP4").c_str(), 0755);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(m_Common.DeleteOldestFile(m_Mount.c_str()));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("DELETE OLDEST FILE ERROR."), std::string::npos);
    EXPECT_EQ(m_Common.GetFileCount(), 1);
    EXPECT_TRUE(m_Log.m_Docs.empty());
    // The companions went first: their flags and sizes are gone with them.
    const CRecordFileIndexNode* n = m_Common.GetFileListTail();
    EXPECT_FALSE(n->HasTitleFile());
    EXPECT_FALSE(n->HasThumbFile());
    EXPECT_EQ(m_Common.GetTotalSize(), 1000u);
    EXPECT_FALSE(m_Common.DeleteOverflowFile(m_Mount.c_str(), 0));
    EXPECT_FALSE(m_Common.CleanAllFile(m_Mount.c_str()));
    // Once the obstacle is gone the same node deletes.
    rmdir(Card("DCIM/100video/20240105083000_180.MP4").c_str());
    EXPECT_TRUE(m_Common.CleanAllFile(m_Mount.c_str()));
    EXPECT_EQ(m_Common.GetFileCount(), 0);
    EXPECT_EQ(m_Log.m_Docs.size(), 1u);
}

TEST_F(RecordIndexDelete, ReadOnlyFolderKeepsTheNode)
{
    // Root ignores folder permissions: the deletion runs in a child that
    // gave up root.
    struct passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr) {
        GTEST_SKIP() << "no user nobody";
    }
    AddCommon(0, 0, false, false);
    chmod(m_Dir.Path().c_str(), 0755);
    chmod(Card("DCIM").c_str(), 0755);
    chmod(Card("DCIM/100video").c_str(), 0555);
    fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0) {
            _exit(10);
        }
        if (access(Card("DCIM/100video").c_str(), W_OK) == 0) {
            _exit(11);
        }
        int bad = 0;
        if (m_Common.DeleteOldestFile(m_Mount.c_str())) bad |= 1;
        if (m_Common.GetFileCount() != 1) bad |= 2;
        if (!m_Log.m_Docs.empty()) bad |= 4;
        if (m_Common.DeleteFile(m_Mount.c_str(), "20240105083000_180.MP4")) bad |= 8;
        if (m_Common.GetTotalSize() != 1000u) bad |= 16;
        _exit(bad);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 10) {
        GTEST_SKIP() << "cannot drop root here";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(XRecExists(Card("DCIM/100video/20240105083000_180.MP4")));
}

TEST_F(RecordIndexDelete, ImagesOfTwoLettersInOneSecond)
{
    AddImage(5, 'A', 0);
    AddImage(5, 'G', 0);
    AddImage(6, 'A', 1);
    ASSERT_TRUE(m_Images.DeleteFile(m_Mount.c_str(), "G20240105083005.JPG"));
    EXPECT_FALSE(XRecExists(Card("DCIM/104snap/G20240105083005.JPG")));
    EXPECT_TRUE(XRecExists(Card("DCIM/104snap/A20240105083005.JPG")));
    EXPECT_NE(m_Images.FindNode(T(5), 0, 'A'), nullptr);
    EXPECT_EQ(m_Images.FindNode(T(5), 0, 'G'), nullptr);
    // A letter with no such image deletes nothing.
    EXPECT_FALSE(m_Images.DeleteFile(m_Mount.c_str(), "M20240105083005.JPG"));
    EXPECT_TRUE(m_Images.DeleteFile(m_Mount.c_str(), "DCIM/104snap/A20240105083006(1).JPG"));
    EXPECT_TRUE(m_Images.DeleteFile(m_Mount.c_str(), "A20240105083005.JPG"));
    EXPECT_EQ(m_Images.GetFileCount(), 0);
    ASSERT_EQ(m_Log.m_Docs.size(), 3u);
    EXPECT_EQ(m_Log.m_Docs[0],
              "{\"type\":\"snapshot\",\"jpgfolder\":\"DCIM/104snap\",\"jpgdata\":[{\"filename\":"
              "\"G20240105083005.JPG\",\"filesize\":300,\"time\":\"20240105083005\"}]}");
}

struct tagByNameCase {
    const char* what;
    const char* name;
    bool deleted;
    const char* gone;  // file that must be gone afterwards, relative to the card
};

TEST_F(RecordIndexDelete, DeleteByNameTable)
{
    const std::string huge(4000, '2');
    const std::string hugeName = "20240105083000_" + huge + ".MP4";
    const std::string hugeFolder = "DCIM/" + huge + "/20240105083000_180.MP4";
    const tagByNameCase cases[] = {
        {"foreign name", "IMG_0001.MP4", false, nullptr},
        {"4000 characters", hugeName.c_str(), false, nullptr},
        {"4000-character folder", hugeFolder.c_str(), false, nullptr},
        {"month 13", "20241305083000_180.MP4", false, nullptr},
        {"year 2064 would mask to 2000", "20640105083000_180.MP4", false, nullptr},
        {"second 64 would mask to 0", "20240105083064_180.MP4", false, nullptr},
        {"day 32 would mask to 0", "20240132083000_180.MP4", false, nullptr},
        {"an index that is not there", "20240105083000_180(5).MP4", false, nullptr},
        {"plain name, index 0", "20240105083000_180.MP4", true, "DCIM/100video/20240105083000_180.MP4"},
        {"suffixed name with index", "20240105083000_180(2)_720p_P.MP4", true,
         "DCIM/100video/20240105083000_180(2)_720p_P.MP4"},
        {"with its folder, other duration", "DCIM/100video/20000105083000_9.MP4", true,
         "DCIM/100video/20000105083000_180.MP4"},
    };
    AddCommon(0, 0);
    AddCommon(0, 2, true, true, 720, 1);
    // The file that a masked year 2064 would have hit.
    ASSERT_TRUE(m_Common.AddRecFile(RECTIME::Make(0, 1, 5, 8, 30, 0), 180u, 1080 << 16, 1000ul));
    XRecWriteFile(Card("DCIM/100video/20000105083000_180.MP4"), "v");
    // ... and the ones of masked seconds and days.
    ASSERT_TRUE(m_Common.AddRecFile(RECTIME::Make(24, 1, 0, 8, 30, 0), 180u, 1080 << 16, 1000ul));
    for (const tagByNameCase& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = m_Common.GetFileCount();
        testing::internal::CaptureStdout();
        EXPECT_EQ(m_Common.DeleteFile(m_Mount.c_str(), c.name), c.deleted ? 1 : 0);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(m_Common.GetFileCount(), before - (c.deleted ? 1 : 0));
        if (c.gone != nullptr) {
            EXPECT_FALSE(XRecExists(Card(c.gone)));
        }
        if (!c.deleted && strstr(c.what, "not there") == nullptr) {
            EXPECT_NE(out.find(") not match rules.\n"), std::string::npos) << out;
        }
    }
    EXPECT_TRUE(XRecExists(Card("DCIM/100video/20240105083000_180(2)_720p_P.MP4")) == false);
    EXPECT_FALSE(XRecExists(Card("DCIM/103thumb/20240105083000(2).JPG")));
    EXPECT_FALSE(XRecExists(Card("DCIM/102thumb/20240105083000(2).TGZ")));
    EXPECT_EQ(m_Log.m_Docs.size(), 3u);
    // The listing names the 720p parking file by the name it was deleted under.
    EXPECT_NE(m_Log.m_Docs[1].find("\"filename\":\"20240105083000_180(2)_720p_P.MP4\""), std::string::npos);
}

// Two videos of one key (a card from an older camera after its clock went
// back): deleting one by name deletes that one, whatever the list order.
TEST_F(RecordIndexDelete, SameKeyVideosAreDeletedByTheirOwnName)
{
    const char* names[] = {"20240105083000_180.MP4", "20240105083000_180_720p.MP4", "20240105083000_59.MP4"};
    ASSERT_TRUE(m_Common.AddRecFile(T(0), 180u, 1080 << 16, 1000ul));
    ASSERT_TRUE(m_Common.AddRecFile(T(0), 180u, 720 << 16, 1000ul));
    ASSERT_TRUE(m_Common.AddRecFile(T(0), 59u, 1080 << 16, 1000ul));
    for (const char* n : names) {
        XRecWriteFile(Card(std::string("DCIM/100video/") + n), "v");
    }
    for (int i : {1, 2, 0}) {
        SCOPED_TRACE(names[i]);
        testing::internal::CaptureStdout();
        EXPECT_TRUE(m_Common.DeleteFile(m_Mount.c_str(), names[i]));
        testing::internal::GetCapturedStdout();
        for (int j = 0; j < 3; ++j) {
            const bool gone = j == i || (i == 2 && j == 1) || i == 0;
            EXPECT_EQ(XRecExists(Card(std::string("DCIM/100video/") + names[j])), !gone) << names[j];
        }
    }
    EXPECT_EQ(m_Common.GetFileCount(), 0);
}

TEST_F(RecordIndexDelete, NotIndexedPrintsAndFails)
{
    testing::internal::CaptureStdout();
    EXPECT_FALSE(m_Alarm.DeleteFile(m_Mount.c_str(), T(1), 0));
    EXPECT_FALSE(m_Images.DeleteFile(m_Mount.c_str(), "IMG_0001.JPG"));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Not Find Node Index..."), std::string::npos);
    // The image category fails without the rule message.
    EXPECT_EQ(out.find("not match rules"), std::string::npos);
    EXPECT_FALSE(m_Alarm.DeleteOldestFile(m_Mount.c_str()));
    EXPECT_TRUE(m_Alarm.DeleteOverflowFile(m_Mount.c_str(), 0));
    EXPECT_TRUE(m_Alarm.CleanAllFile(m_Mount.c_str()));
}

TEST_F(RecordIndexDelete, AlarmVideoWithTitleAndOverflowTrim)
{
    for (unsigned s = 0; s < 5; ++s) {
        ASSERT_TRUE(m_Alarm.AddRecFile(T(s), 10u, 1080 << 16, 100ul, static_cast<unsigned>(emRecordTriggerType_AcceleratorAlarm)));
        char name[RECORD_NAME_BUF_SIZE];
        const CRecordFileIndexNode* n = m_Alarm.FindNode(T(s), 0);
        ASSERT_TRUE(n->GetFileName(name, m_Mount.c_str(), RECORD_DIR_ALARM_VIDEO, "MP4", 1));
        XRecWriteFile(name, "a");
        ASSERT_TRUE(n->GetFileName(name, m_Mount.c_str(), RECORD_DIR_ALARM_TITLE, "JPG", 0));
        XRecWriteFile(name, "t");
        ASSERT_TRUE(m_Alarm.AddRecFileTitle(T(s), 0, 10ul));
    }
    EXPECT_EQ(m_Alarm.GetTotalSize(), 550u);
    // Within the limit: nothing happens.
    EXPECT_TRUE(m_Alarm.DeleteOverflowFile(m_Mount.c_str(), 550));
    EXPECT_TRUE(m_Log.m_Docs.empty());
    EXPECT_TRUE(m_Alarm.DeleteOverflowFile(m_Mount.c_str(), 300));
    EXPECT_EQ(m_Alarm.GetTotalSize(), 220u);
    EXPECT_EQ(m_Log.m_Docs.size(), 3u);
    EXPECT_FALSE(XRecExists(Card("DCIM/101video/20240105083000_10.MP4")));
    EXPECT_FALSE(XRecExists(Card("DCIM/105thumb/20240105083002.JPG")));
    EXPECT_TRUE(XRecExists(Card("DCIM/105thumb/20240105083003.JPG")));
    EXPECT_TRUE(XRecExists(Card("DCIM/101video/20240105083004_10.MP4")));
}

TEST_F(RecordIndexDelete, CleanAllFromTheCardAndWithout)
{
    AddCommon(0, 0);
    AddCommon(1, 0);
    AddCommon(2, 0);
    EXPECT_TRUE(m_Common.CleanAllFile(m_Mount.c_str()));
    EXPECT_EQ(m_Common.GetFileCount(), 0);
    EXPECT_EQ(m_Log.m_Docs.size(), 3u);
    // The oldest goes first.
    EXPECT_NE(m_Log.m_Docs[0].find("20240105083000_180.MP4"), std::string::npos);
    // Without a path nothing on the card is touched.
    AddCommon(3, 0);
    m_Common.CleanAllFile();
    EXPECT_TRUE(XRecExists(Card("DCIM/100video/20240105083003_180.MP4")));
    EXPECT_EQ(m_Common.GetTotalSize(), 0u);
}

TEST_F(RecordIndexDelete, NoticeWithoutRoomHasLengthMinusOne)
{
    CAssociatedDataManager* pool = CAssociatedDataManager::instance();
    ASSERT_TRUE(m_Alarm.AddRecFile(T(0), 10u, 1080 << 16, 100ul, 4u));
    CAssociatedData* list = nullptr;
    for (int i = 0; i < 12; ++i) {
        CAssociatedData* d = pool->GetNode();
        d->SetRecType('A');
        d->SetRecTime(T(0));
        d->SetGPSPosition("$GPRMC,083000.00,A,3150.7813,N,11711.9278,E,0.0,0.0,050124,,,A*6B");
        d->SetNext(list);
        list = d;
    }
    ASSERT_TRUE(m_Alarm.AddRecAssociatedData(T(0), 0, list));
    XRecWriteFile(Card("DCIM/101video/20240105083000_10.MP4"), "a");
    ASSERT_TRUE(m_Alarm.DeleteOldestFile(m_Mount.c_str()));
    ASSERT_EQ(m_Log.m_Lengths.size(), 1u);
    EXPECT_EQ(m_Log.m_Lengths[0], -1);
}

}  // namespace
