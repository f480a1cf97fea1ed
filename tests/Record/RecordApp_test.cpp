// The engine's file operations for the app on a card folder of a simulated
// board: the three lists (read back by python3's json), deletions by name
// with their companions, clean-all, the refusals on an unusable card, alarm
// images with their phone notice, and the quotas in the settings.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "IniConfig/IniConfig.h"
#include "Record/MP4/MP4File.h"
#include "Record/Record.h"
#include "Record/RecordNotify.h"
#include "RecordFileTestSupport.h"
#include "RecordTestCard.h"
#include "support/TestBoard.h"

namespace {

const int kCard = emSDState_Insert | emSDState_Mount;

RECTIME T(unsigned sec) { return RECTIME::Make(24, 1, 5, 8, 30 + sec / 60, sec % 60); }

// Collects the notices for the phone.
class CPhoneLog : public CRecordNotify {
public:
    void NotifyFileDeleteUpdate(const char* json, int length) override { m_Deleted.push_back(Doc(json, length)); }
    void NotifyCommonVideoUpdate(const char*, int) override {}
    void NotifyAlarmVideoUpdate(const char*, int) override {}
    void NotifyAlarmJpgUpdate(const char* json, int length) override { m_Images.push_back(Doc(json, length)); }

    static std::string Doc(const char* json, int length)
    {
        return length >= 0 ? std::string(json, static_cast<size_t>(length)) : std::string();
    }
    std::vector<std::string> m_Deleted;
    std::vector<std::string> m_Images;
};

// One value per object of a document's list, read by python3's json:
// "KEY" of every object of the list under "LIST", comma separated.
std::string PyField(const std::string& doc, const std::string& list, const std::string& key)
{
    int status = -1;
    const std::string out = XRecRunPython(
        "RecordApp_field.py", list + "\t" + key + "\t" + doc, &status);
    return status == 0 ? out : "python failed: " + out;
}

class RecordFileApi : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_lpPrevious = CRecordNotify::SetReceiver(&m_Log);
        Make();
    }
    void TearDown() override
    {
        m_lpRecord.reset();
        CRecordNotify::SetReceiver(m_lpPrevious);
    }
    void Make()
    {
        m_lpRecord.reset();
        m_lpCard = new CFolderCard();
        m_lpRecord.reset(new CRecord(new CMP4File(), m_lpCard, new CNoteFinisher(&m_Finished)));
        ASSERT_TRUE(m_lpRecord->Init(30, 30, 320, 240));
    }
    std::string Card(const std::string& rel) const { return m_Board.Path("/tmp/mmc0/") + rel; }

    // The indexes are emptied at every card change: files are added after it.
    void AddCommon(unsigned sec, int index, int res = 1080, int park = 0)
    {
        CRecordFileIndex& idx = m_lpRecord->GetCommonRecordFileIndex();
        ASSERT_TRUE(idx.AddRecFile(T(sec), 180u, (res << 16) | (index << 8) | park, 1000ul));
        const CRecordFileIndexNode* n = idx.FindNode(T(sec), index);
        ASSERT_NE(n, nullptr);
        char name[RECORD_NAME_BUF_SIZE];
        const std::string mount = Card("");
        ASSERT_TRUE(n->GetFileName(name, mount.c_str(), RECORD_DIR_COMMON_VIDEO, "MP4", 1));
        XRecWriteFile(name, std::string(1000, 'v'));
        ASSERT_TRUE(n->GetFileName(name, mount.c_str(), RECORD_DIR_COMMON_TITLE, "JPG", 0));
        XRecWriteFile(name, "title");
        ASSERT_TRUE(idx.AddRecFileTitle(T(sec), index, 5ul));
        ASSERT_TRUE(n->GetFileName(name, mount.c_str(), RECORD_DIR_COMMON_THUMB, "TGZ", 0));
        XRecWriteFile(name, "archive");
        ASSERT_TRUE(idx.AddRecFileTimestamp(T(sec), index, 7ul));
    }
    void AddAlarm(unsigned sec, int index)
    {
        CRecordFileIndex& idx = m_lpRecord->GetAlarmRecordFileIndex();
        ASSERT_TRUE(idx.AddRecFile(T(sec), 10u, (1080 << 16) | (index << 8), 2000ul,
                                   static_cast<unsigned>(emRecordTriggerType_AcceleratorAlarm)));
        const CRecordFileIndexNode* n = idx.FindNode(T(sec), index);
        ASSERT_NE(n, nullptr);
        char name[RECORD_NAME_BUF_SIZE];
        const std::string mount = Card("");
        ASSERT_TRUE(n->GetFileName(name, mount.c_str(), RECORD_DIR_ALARM_VIDEO, "MP4", 1));
        XRecWriteFile(name, std::string(2000, 'a'));
        ASSERT_TRUE(n->GetFileName(name, mount.c_str(), RECORD_DIR_ALARM_TITLE, "JPG", 0));
        XRecWriteFile(name, "title");
        ASSERT_TRUE(idx.AddRecFileTitle(T(sec), index, 5ul));
    }
    // An image written by the snapshot side, entered through the engine.
    BOOL AddImage(unsigned sec, char type, int index)
    {
        char name[64];
        snprintf(name, sizeof(name), "DCIM/104snap/%c20240105%02u%02u%02u%s.JPG", type, 8u, 30 + sec / 60, sec % 60,
                 index > 0 ? ("(" + std::to_string(index) + ")").c_str() : "");
        XRecWriteFile(Card(name), std::string(300, 'i'));
        return m_lpRecord->AddAlarmImgIndex(T(sec), type, index, 300ul);
    }
    // A usable card with two files of each category.
    void FillCard()
    {
        m_lpCard->Notify(kCard);
        AddCommon(0, 0);
        AddCommon(60, 1, 720, 1);
        AddAlarm(5, 0);
        AddAlarm(6, 0);
        ASSERT_TRUE(AddImage(7, 'A', 0));
        ASSERT_TRUE(AddImage(8, 'M', 2));
    }
    std::string CommonList()
    {
        std::vector<char> buff(65536);
        const int len = m_lpRecord->GetCommonVideoFileAsJson(buff.data(), static_cast<int>(buff.size()));
        return len < 0 ? "-1" : std::string(buff.data(), static_cast<size_t>(len));
    }
    std::string AlarmList()
    {
        std::vector<char> buff(65536);
        const int len = m_lpRecord->GetAlarmVideoFileAsJSON(buff.data(), static_cast<int>(buff.size()));
        return len < 0 ? "-1" : std::string(buff.data(), static_cast<size_t>(len));
    }
    std::string ImageList()
    {
        std::vector<char> buff(65536);
        const int len = m_lpRecord->GetAlarmImgFileAsJSON(buff.data(), static_cast<int>(buff.size()));
        return len < 0 ? "-1" : std::string(buff.data(), static_cast<size_t>(len));
    }

    CTestBoard m_Board;
    CPhoneLog m_Log;
    CRecordNotify* m_lpPrevious = nullptr;
    CFolderCard* m_lpCard = nullptr;
    std::vector<tagFinished> m_Finished;
    std::unique_ptr<CRecord> m_lpRecord;
};

}  // namespace

// The three lists through the engine, parsed by an independent reader.
TEST_F(RecordFileApi, ListsReadBackByPythonJson)
{
    m_lpCard->Notify(kCard);
    AddCommon(0, 0);
    AddCommon(60, 1, 720, 1);
    AddAlarm(5, 0);
    ASSERT_TRUE(AddImage(7, 'A', 0));
    ASSERT_TRUE(AddImage(8, 'M', 2));
    const std::string common = CommonList();
    const std::string alarm = AlarmList();
    const std::string images = ImageList();
    int status = -1;
    const std::string out = XRecRunPython("RecordIndexJson_check.py",
                                          "commonlist\t" + common + "\t\nalarmlist\t" + alarm +
                                              "\t\nimagelist\t" + images + "\t\n",
                                          &status);
    EXPECT_EQ(status, 0) << out;
    // Newest first.
    EXPECT_EQ(PyField(common, "mp4data", "filename"), "20240105083100_180(1)_720p_P.MP4,20240105083000_180.MP4\n");
    EXPECT_EQ(PyField(common, "mp4data", "thumb"), "20240105083100(1).TGZ,20240105083000.TGZ\n");
    EXPECT_EQ(PyField(alarm, "mp4data", "title"), "20240105083005.JPG\n");
    EXPECT_EQ(PyField(images, "jpgdata", "filename"), "M20240105083008(2).JPG,A20240105083007.JPG\n");
    // The document is NUL-terminated: a buffer of exactly its length is too
    // short, one more byte is enough.
    std::vector<char> buff(common.size() + 1);
    EXPECT_EQ(m_lpRecord->GetCommonVideoFileAsJson(buff.data(), static_cast<int>(common.size())), -1);
    EXPECT_EQ(m_lpRecord->GetCommonVideoFileAsJson(buff.data(), static_cast<int>(common.size()) + 1),
              static_cast<int>(common.size()));
    EXPECT_EQ(std::string(buff.data()), common);
    EXPECT_EQ(m_lpRecord->GetAlarmImgFileAsJSON(nullptr, 100), -1);
}

// Lists need an inserted and mounted card; a read-only one still lists.
TEST_F(RecordFileApi, ListsFollowTheCardState)
{
    struct Case {
        int state;
        bool lists;
    };
    const Case cases[] = {
        {0, false},
        {emSDState_Insert, false},
        {kCard, true},
        {kCard | emSDState_ReadOnly, true},
        {kCard | emSDState_WriteProtect, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        m_lpCard->Notify(c.state);
        AddCommon(0, 0);
        AddAlarm(5, 0);
        ASSERT_TRUE(AddImage(7, 'A', 0));
        EXPECT_EQ(CommonList() != "-1", c.lists);
        EXPECT_EQ(AlarmList() != "-1", c.lists);
        EXPECT_EQ(ImageList() != "-1", c.lists);
    }
}

// Deleting by the name the app shows removes the file, its companions and
// its index entry, and tells the phone.
TEST_F(RecordFileApi, DeleteByNameOfEachCategory)
{
    FillCard();

    ASSERT_TRUE(m_lpRecord->DeleteCommonVideoFile("20240105083100_180(1)_720p_P.MP4"));
    EXPECT_FALSE(XRecExists(Card("DCIM/100video/20240105083100_180(1)_720p_P.MP4")));
    EXPECT_FALSE(XRecExists(Card("DCIM/103thumb/20240105083100(1).JPG")));
    EXPECT_FALSE(XRecExists(Card("DCIM/102thumb/20240105083100(1).TGZ")));
    EXPECT_TRUE(XRecExists(Card("DCIM/100video/20240105083000_180.MP4")));
    EXPECT_EQ(m_lpRecord->GetCommonRecordFileIndex().GetFileCount(), 1);
    EXPECT_EQ(PyField(CommonList(), "mp4data", "filename"), "20240105083000_180.MP4\n");

    ASSERT_TRUE(m_lpRecord->DeleteAlarmVideoFile("20240105083005_10.MP4"));
    EXPECT_FALSE(XRecExists(Card("DCIM/101video/20240105083005_10.MP4")));
    EXPECT_FALSE(XRecExists(Card("DCIM/105thumb/20240105083005.JPG")));
    EXPECT_TRUE(XRecExists(Card("DCIM/101video/20240105083006_10.MP4")));
    EXPECT_EQ(PyField(AlarmList(), "mp4data", "filename"), "20240105083006_10.MP4\n");

    ASSERT_TRUE(m_lpRecord->DeleteAlarmImgFile("M20240105083008(2).JPG"));
    EXPECT_FALSE(XRecExists(Card("DCIM/104snap/M20240105083008(2).JPG")));
    EXPECT_TRUE(XRecExists(Card("DCIM/104snap/A20240105083007.JPG")));
    EXPECT_EQ(PyField(ImageList(), "jpgdata", "filename"), "A20240105083007.JPG\n");
    EXPECT_EQ(m_Log.m_Deleted.size(), 3u);

    // Names that are not indexed, or fit no rule, delete nothing.
    for (const char* name : {"20240105083100_180(1)_720p_P.MP4", "junk.MP4", "", "20240105083000_180.JPG"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(m_lpRecord->DeleteAlarmVideoFile(name));
    }
    EXPECT_FALSE(m_lpRecord->DeleteAlarmImgFile("A20240105083008.JPG"));
    EXPECT_EQ(m_lpRecord->GetCommonRecordFileIndex().GetFileCount(), 1);
    EXPECT_EQ(m_lpRecord->GetAlarmRecordFileIndex().GetFileCount(), 1);
    EXPECT_EQ(m_lpRecord->GetAlarmImageFileIndex().GetFileCount(), 1);
}

// Every deletion and clean-all is refused unless the card is usable; the
// files and the index stay.
TEST_F(RecordFileApi, RefusalsOnAnUnusableCard)
{
    const int states[] = {0, emSDState_Insert, kCard | emSDState_ReadOnly, kCard | emSDState_WriteProtect};
    for (int state : states) {
        SCOPED_TRACE(state);
        m_lpCard->Notify(state);
        AddCommon(0, 0);
        AddAlarm(5, 0);
        ASSERT_TRUE(AddImage(7, 'A', 0));
        testing::internal::CaptureStderr();
        EXPECT_FALSE(m_lpRecord->DeleteAlarmVideoFile("20240105083005_10.MP4"));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("CRecord::DeleteAlarmVideoFile():SD Card Invalide."), std::string::npos) << err;
        EXPECT_FALSE(m_lpRecord->DeleteCommonVideoFile("20240105083000_180.MP4"));
        EXPECT_FALSE(m_lpRecord->DeleteAlarmImgFile("A20240105083007.JPG"));
        EXPECT_FALSE(m_lpRecord->CleanAllCommonVideoFile());
        EXPECT_FALSE(m_lpRecord->CleanAllAlarmVideoFile());
        EXPECT_FALSE(m_lpRecord->CleanAllAlarmImgFile());
        EXPECT_FALSE(m_lpRecord->DeleteOldestCommonRecordFile());
        EXPECT_FALSE(m_lpRecord->CheckOverflowFile());
        EXPECT_TRUE(XRecExists(Card("DCIM/100video/20240105083000_180.MP4")));
        EXPECT_TRUE(XRecExists(Card("DCIM/101video/20240105083005_10.MP4")));
        EXPECT_TRUE(XRecExists(Card("DCIM/104snap/A20240105083007.JPG")));
        EXPECT_EQ(m_lpRecord->GetCommonRecordFileIndex().GetFileCount(), 1);
        EXPECT_EQ(m_lpRecord->GetAlarmRecordFileIndex().GetFileCount(), 1);
        EXPECT_EQ(m_lpRecord->GetAlarmImageFileIndex().GetFileCount(), 1);
        EXPECT_TRUE(m_Log.m_Deleted.empty());
    }
}

// Clean-all empties one category only, card and index.
TEST_F(RecordFileApi, CleanAllOfEachCategory)
{
    m_lpCard->Notify(kCard);
    AddCommon(0, 0);
    AddCommon(60, 1);
    AddAlarm(5, 0);
    AddAlarm(6, 0);
    ASSERT_TRUE(AddImage(7, 'A', 0));
    ASSERT_TRUE(AddImage(8, 'M', 0));
    ASSERT_TRUE(m_lpRecord->CleanAllAlarmVideoFile());
    EXPECT_EQ(m_lpRecord->GetAlarmRecordFileIndex().GetFileCount(), 0);
    EXPECT_FALSE(XRecExists(Card("DCIM/101video/20240105083006_10.MP4")));
    EXPECT_FALSE(XRecExists(Card("DCIM/105thumb/20240105083005.JPG")));
    EXPECT_EQ(m_lpRecord->GetCommonRecordFileIndex().GetFileCount(), 2);
    EXPECT_EQ(m_lpRecord->GetAlarmImageFileIndex().GetFileCount(), 2);
    ASSERT_TRUE(m_lpRecord->CleanAllAlarmImgFile());
    EXPECT_EQ(m_lpRecord->GetAlarmImageFileIndex().GetFileCount(), 0);
    EXPECT_FALSE(XRecExists(Card("DCIM/104snap/M20240105083008.JPG")));
    ASSERT_TRUE(m_lpRecord->CleanAllCommonVideoFile());
    EXPECT_EQ(m_lpRecord->GetCommonRecordFileIndex().GetFileCount(), 0);
    EXPECT_FALSE(XRecExists(Card("DCIM/100video/20240105083100_180(1).MP4")));
    EXPECT_FALSE(XRecExists(Card("DCIM/102thumb/20240105083000.TGZ")));
    EXPECT_EQ(PyField(CommonList(), "mp4data", "filename"), "\n");
    // An empty index cleans fine.
    EXPECT_TRUE(m_lpRecord->CleanAllCommonVideoFile());
}

// An alarm image enters the index and the phone gets its own document; a
// second image with the same key is refused without a notice.
TEST_F(RecordFileApi, AddAlarmImgIndexWithItsNotice)
{
    m_lpCard->Notify(kCard);
    ASSERT_TRUE(AddImage(7, 'G', 1));
    ASSERT_EQ(m_Log.m_Images.size(), 1u);
    int status = -1;
    const std::string out =
        XRecRunPython("RecordIndexJson_check.py", "imagefile\t" + m_Log.m_Images[0] + "\t\n", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(PyField(m_Log.m_Images[0], "jpgdata", "filename"), "G20240105083007(1).JPG\n");
    EXPECT_EQ(PyField(m_Log.m_Images[0], "jpgdata", "filesize"), "300\n");
    EXPECT_EQ(m_lpRecord->GetAlarmImageFileIndex().GetTotalSize(), 300u);
    // The same time and index with another letter is another image.
    ASSERT_TRUE(AddImage(7, 'A', 1));
    EXPECT_EQ(m_Log.m_Images.size(), 2u);
    EXPECT_EQ(m_lpRecord->GetAlarmImageFileIndex().GetFileCount(), 2);
    // Without a receiver the image is still indexed.
    CRecordNotify::SetReceiver(nullptr);
    ASSERT_TRUE(AddImage(9, 'M', 0));
    CRecordNotify::SetReceiver(&m_Log);
    EXPECT_EQ(m_Log.m_Images.size(), 2u);
    EXPECT_EQ(m_lpRecord->GetAlarmImageFileIndex().GetFileCount(), 3);
}

// On a card that is not mounted the percentages are stored and saved, the
// byte limits stay; a new engine reads them back from the settings.
TEST_F(RecordFileApi, QuotaOnAnUnmountedCardIsSavedButLimitsStay)
{
    ASSERT_TRUE(CIniConfig::instance()->Init());
    Make();
    m_lpCard->Notify(emSDState_Insert);
    uint64_t c0 = 0, a0 = 0, i0 = 0;
    m_lpRecord->GetByteLimits(c0, a0, i0);
    EXPECT_TRUE(m_lpRecord->SetFileSpaceQuotaOnSD(50, 35, 15));
    unsigned c = 0, a = 0, i = 0;
    m_lpRecord->GetFileSpaceQuotaOnSD(c, a, i);
    EXPECT_EQ(c, 50u);
    EXPECT_EQ(a, 35u);
    EXPECT_EQ(i, 15u);
    uint64_t c1 = 0, a1 = 0, i1 = 0;
    m_lpRecord->GetByteLimits(c1, a1, i1);
    EXPECT_EQ(c1, c0);
    EXPECT_EQ(a1, a0);
    EXPECT_EQ(i1, i0);
    EXPECT_EQ(CIniConfig::instance()->GetInt("storageset", "commonvideoonsdquota", -1), 50);
    EXPECT_EQ(CIniConfig::instance()->GetInt("storageset", "alarmvideoonsdquota", -1), 35);
    EXPECT_EQ(CIniConfig::instance()->GetInt("storageset", "alarmimageonsdquota", -1), 15);
    // Saved to the file: a reload gives them back, and so does a new engine.
    ASSERT_TRUE(CIniConfig::instance()->Init());
    EXPECT_EQ(CIniConfig::instance()->GetInt("storageset", "alarmvideoonsdquota", -1), 35);
    Make();
    m_lpRecord->GetFileSpaceQuotaOnSD(c, a, i);
    EXPECT_EQ(c, 50u);
    EXPECT_EQ(a, 35u);
    EXPECT_EQ(i, 15u);
}

// On a usable card the limits follow at once; percentages are not checked,
// and a share above the card saturates instead of wrapping.
TEST_F(RecordFileApi, QuotaOnAUsableCardRecomputesTheLimits)
{
    ASSERT_TRUE(CIniConfig::instance()->Init());
    m_lpCard->Notify(kCard);
    uint64_t total = 0, freeBytes = 0;
    ASSERT_TRUE(XGetDiskPartitionSpace(m_Board.Path("/tmp/mmc0").c_str(), &total, &freeBytes));
    struct Case {
        unsigned common, alarm, image;
    };
    const Case cases[] = {{65, 30, 5}, {0, 100, 1}, {200, 0, 99}};
    for (const Case& q : cases) {
        SCOPED_TRACE(q.common);
        EXPECT_TRUE(m_lpRecord->SetFileSpaceQuotaOnSD(q.common, q.alarm, q.image));
        uint64_t c = 0, a = 0, i = 0;
        m_lpRecord->GetByteLimits(c, a, i);
        EXPECT_EQ(c, total / 100 * q.common + total % 100 * q.common / 100);
        EXPECT_EQ(a, total / 100 * q.alarm + total % 100 * q.alarm / 100);
        EXPECT_EQ(i, total / 100 * q.image + total % 100 * q.image / 100);
        unsigned gc = 0, ga = 0, gi = 0;
        m_lpRecord->GetFileSpaceQuotaOnSD(gc, ga, gi);
        EXPECT_EQ(gc, q.common);
        EXPECT_EQ(CIniConfig::instance()->GetInt("storageset", "alarmimageonsdquota", -1),
                  static_cast<int>(q.image));
    }
}

// The free-space policy: alarm videos and images trimmed to their shares,
// oldest first; loop videos only by the oldest-file rule.
TEST_F(RecordFileApi, OverflowAndOldestFollowTheShares)
{
    ASSERT_TRUE(CIniConfig::instance()->Init());
    m_lpCard->Notify(kCard);
    AddCommon(0, 0);
    AddCommon(60, 0);
    AddAlarm(5, 0);
    AddAlarm(6, 0);
    ASSERT_TRUE(AddImage(7, 'A', 0));
    ASSERT_TRUE(AddImage(8, 'M', 0));
    // A share of 0 leaves nothing of alarms and images; loop videos stay.
    ASSERT_TRUE(m_lpRecord->SetFileSpaceQuotaOnSD(0, 0, 0));
    EXPECT_TRUE(m_lpRecord->CheckOverflowFile());
    EXPECT_EQ(m_lpRecord->GetAlarmRecordFileIndex().GetFileCount(), 0);
    EXPECT_EQ(m_lpRecord->GetAlarmImageFileIndex().GetFileCount(), 0);
    EXPECT_FALSE(XRecExists(Card("DCIM/101video/20240105083006_10.MP4")));
    EXPECT_FALSE(XRecExists(Card("DCIM/104snap/M20240105083008.JPG")));
    EXPECT_EQ(m_lpRecord->GetCommonRecordFileIndex().GetFileCount(), 2);
    ASSERT_TRUE(m_lpRecord->DeleteOldestCommonRecordFile());
    EXPECT_FALSE(XRecExists(Card("DCIM/100video/20240105083000_180.MP4")));
    EXPECT_FALSE(XRecExists(Card("DCIM/103thumb/20240105083000.JPG")));
    EXPECT_TRUE(XRecExists(Card("DCIM/100video/20240105083100_180.MP4")));
    EXPECT_EQ(m_lpRecord->GetCommonRecordFileIndex().GetFileCount(), 1);
}

namespace {

// A card whose space query fails.
class CNoSpaceCard : public CFolderCard {
public:
    BOOL GetDiskSpaceInfo(uint64_t*, uint64_t*) override { return FALSE; }
};

}  // namespace

// A failed space query counts the card as all ones; a share above 100 of it
// saturates at all ones instead of wrapping round to a small limit.
TEST_F(RecordFileApi, QuotaWithoutTheCardSpace)
{
    ASSERT_TRUE(CIniConfig::instance()->Init());
    m_lpRecord.reset();
    CNoSpaceCard* card = new CNoSpaceCard();
    m_lpCard = card;
    m_lpRecord.reset(new CRecord(new CMP4File(), card, new CNoteFinisher(&m_Finished)));
    ASSERT_TRUE(m_lpRecord->Init(30, 30, 320, 240));
    card->Notify(kCard);
    const uint64_t all = ~0ULL;
    ASSERT_TRUE(m_lpRecord->SetFileSpaceQuotaOnSD(30, 200, 100));
    uint64_t c = 0, a = 0, i = 0;
    m_lpRecord->GetByteLimits(c, a, i);
    EXPECT_EQ(c, all / 100 * 30 + all % 100 * 30 / 100);
    EXPECT_EQ(a, all);
    EXPECT_EQ(i, all / 100 * 100 + all % 100);
    // The next mount computes the same limits from the stored shares.
    card->Notify(0);
    card->Notify(kCard);
    c = a = i = 0;
    m_lpRecord->GetByteLimits(c, a, i);
    EXPECT_EQ(c, all / 100 * 30 + all % 100 * 30 / 100);
    EXPECT_EQ(a, all);
    EXPECT_EQ(i, all / 100 * 100 + all % 100);
}

namespace {

const size_t kLargestList = 16u << 20;

// The document of a category as a reader of the shared lists gets it.
RecordListBytes Shared(CRecord& record, emRecFileType type)
{
    RecordListBytes bytes;
    EXPECT_EQ(record.GetFileList(type, kLargestList, bytes), emListBuild_Done);
    return bytes ? bytes : std::make_shared<const std::string>("not built");
}

// The document built now into a buffer of the caller's.
std::string Fresh(CRecord& record, emRecFileType type, size_t capacity = 1u << 20)
{
    std::vector<char> buff(capacity);
    const int n = static_cast<int>(buff.size());
    const int len = type == emRecFileType_CommonVideo  ? record.GetCommonVideoFileAsJson(buff.data(), n)
                    : type == emRecFileType_AlarmVideo ? record.GetAlarmVideoFileAsJSON(buff.data(), n)
                                                       : record.GetAlarmImgFileAsJSON(buff.data(), n);
    return len < 0 ? "-1" : std::string(buff.data(), static_cast<size_t>(len));
}

}  // namespace

// The shared lists: the same object while the index stands still, a new one
// (the bytes of a fresh build) after each change of its own index only; a
// document already handed out keeps its bytes.
TEST_F(RecordFileApi, SharedListsFollowTheirIndex)
{
    const emRecFileType kinds[] = {emRecFileType_CommonVideo, emRecFileType_AlarmVideo, emRecFileType_AlarmImage};
    FillCard();
    RecordListBytes held[3];
    std::string copies[3];
    for (int k = 0; k < 3; ++k) {
        held[k] = Shared(*m_lpRecord, kinds[k]);
        copies[k] = *held[k];
        EXPECT_EQ(*held[k], Fresh(*m_lpRecord, kinds[k]));
        EXPECT_EQ(Shared(*m_lpRecord, kinds[k]).get(), held[k].get());  // a hit builds nothing
    }
    CRecordFileIndex& common = m_lpRecord->GetCommonRecordFileIndex();
    CRecordFileIndex& alarm = m_lpRecord->GetAlarmRecordFileIndex();
    struct Step {
        const char* what;
        std::function<void()> change;
        bool changes[3];  // common, alarm, image
    };
    const std::vector<Step> steps = {
        {"loop file added", [&] { ASSERT_TRUE(common.AddRecFile(T(120), 180u, 1080 << 16, 900ul)); },
         {true, false, false}},
        {"its title", [&] { ASSERT_TRUE(common.AddRecFileTitle(T(120), 0, 4ul)); }, {true, false, false}},
        {"its archive", [&] { ASSERT_TRUE(common.AddRecFileTimestamp(T(120), 0, 6ul)); }, {true, false, false}},
        {"snapshot records",
         [&] {
             CAssociatedData* d = CAssociatedDataManager::instance()->GetNode();
             d->SetRecType('A');
             d->SetRecTime(T(5));
             d->SetGPSPosition("$GPRMC", 6);
             ASSERT_TRUE(alarm.AddRecAssociatedData(T(5), 0, d));
         },
         {false, true, false}},
        {"image added", [&] { ASSERT_TRUE(AddImage(9, 'G', 0)); }, {false, false, true}},
        {"loop file deleted",
         [&] { ASSERT_TRUE(m_lpRecord->DeleteCommonVideoFile("20240105083100_180(1)_720p_P.MP4")); },
         {true, false, false}},
        {"image deleted", [&] { ASSERT_TRUE(m_lpRecord->DeleteAlarmImgFile("A20240105083007.JPG")); },
         {false, false, true}},
        {"nothing", [] {}, {false, false, false}},
        {"alarm videos cleaned", [&] { ASSERT_TRUE(m_lpRecord->CleanAllAlarmVideoFile()); }, {false, true, false}},
        {"oldest loop file", [&] { ASSERT_TRUE(m_lpRecord->DeleteOldestCommonRecordFile()); },
         {true, false, false}},
        {"card scanned again", [&] { m_lpCard->Notify(kCard); }, {true, true, true}},
        {"files back", [&] {
             AddCommon(0, 0);
             AddAlarm(5, 0);
             ASSERT_TRUE(AddImage(7, 'A', 0));
         },
         {true, true, true}},
        {"read-only card", [&] { m_lpCard->Notify(kCard | emSDState_ReadOnly); }, {true, true, true}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        s.change();
        for (int k = 0; k < 3; ++k) {
            SCOPED_TRACE(k);
            const RecordListBytes now = Shared(*m_lpRecord, kinds[k]);
            EXPECT_EQ(*now, Fresh(*m_lpRecord, kinds[k]));
            EXPECT_EQ(now.get() != held[k].get(), s.changes[k]);
            EXPECT_EQ(*held[k], copies[k]);  // what a reply holds stays as it was
            EXPECT_EQ(Shared(*m_lpRecord, kinds[k]).get(), now.get());
            held[k] = now;
            copies[k] = *now;
        }
    }
    // Card gone: refused as the lists are, and built again on the next card.
    for (int state : {0, static_cast<int>(emSDState_Insert)}) {
        m_lpCard->Notify(state);
        for (int k = 0; k < 3; ++k) {
            RecordListBytes none;
            EXPECT_EQ(m_lpRecord->GetFileList(kinds[k], kLargestList, none), emListBuild_Refused);
            EXPECT_EQ(none, nullptr);
            EXPECT_EQ(Fresh(*m_lpRecord, kinds[k]), "-1");
            EXPECT_EQ(*held[k], copies[k]);
        }
    }
    m_lpCard->Notify(kCard);
    AddCommon(0, 0);
    for (int k = 0; k < 3; ++k) {
        const RecordListBytes now = Shared(*m_lpRecord, kinds[k]);
        EXPECT_NE(now.get(), held[k].get());
        EXPECT_EQ(*now, Fresh(*m_lpRecord, kinds[k]));
    }
}

// A list beyond the web server's 2 MiB buffer is built once, whole; the
// limit counts its terminator, as a buffer of that size would.
TEST_F(RecordFileApi, SharedListBeyondTwoMiB)
{
    m_lpCard->Notify(kCard);
    CRecordFileIndex& common = m_lpRecord->GetCommonRecordFileIndex();
    for (unsigned i = 0; i < 16000; ++i) {
        const RECTIME t = RECTIME::Make(24, 1, 5, i / 3600, i / 60 % 60, i % 60);
        ASSERT_TRUE(common.AddRecFile(t, 180u, ((i % 2 ? 720 : 1080) << 16) | (i % 2), 100000ul + i));
    }
    const RecordListBytes list = Shared(*m_lpRecord, emRecFileType_CommonVideo);
    EXPECT_GT(list->size(), 2u << 20);
    EXPECT_EQ(*list, Fresh(*m_lpRecord, emRecFileType_CommonVideo, kLargestList));
    int status = -1;
    const std::string out = XRecRunPython("RecordIndexJson_check.py", "commonlist\t" + *list + "\t\n", &status);
    EXPECT_EQ(status, 0) << out.substr(0, 400);

    RecordListBytes bytes;
    EXPECT_EQ(m_lpRecord->GetFileList(emRecFileType_CommonVideo, list->size(), bytes), emListBuild_Refused);
    EXPECT_EQ(m_lpRecord->GetFileList(emRecFileType_CommonVideo, list->size() + 1, bytes), emListBuild_Done);
    EXPECT_EQ(*bytes, *list);
}

// The builds of a list: buffers doubling up to the largest, exactly the
// bytes written kept.
TEST(RecordListBytes, BuffersDoubleUpToTheLargest)
{
    struct Case {
        size_t first, largest, needs;
        std::vector<int> caps;
        emListBuild result;
    };
    const std::vector<Case> cases = {
        {1000, 5000, 900, {1000}, emListBuild_Done},
        {1000, 5000, 3000, {1000, 2000, 4000}, emListBuild_Done},
        {1000, 5000, 4500, {1000, 2000, 4000, 5000}, emListBuild_Done},
        {1000, 5000, 5000, {1000, 2000, 4000, 5000}, emListBuild_Refused},
        {8000, 5000, 100, {5000}, emListBuild_Done},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.needs);
        std::vector<int> caps;
        RecordListBytes out;
        const emListBuild r = XBuildListBytes(
            [&](char* buff, int len) {
                caps.push_back(len);
                if (static_cast<size_t>(len) <= c.needs) {
                    return -1;
                }
                memset(buff, 'x', c.needs);
                return static_cast<int>(c.needs);
            },
            c.first, c.largest, out);
        EXPECT_EQ(r, c.result);
        EXPECT_EQ(caps, c.caps);
        if (r == emListBuild_Done) {
            EXPECT_EQ(*out, std::string(c.needs, 'x'));
        }
    }
}
