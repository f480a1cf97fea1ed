// The card scan on a card folder of a simulated board: what it repairs,
// deletes, keeps and indexes, and that its lists do not depend on the order
// the folder hands out its entries.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Record/Index/AssociatedData.h"
#include "Record/Index/RecordFileIndex.h"
#include "Record/Index/RecordScan.h"
#include "Record/MP4/MP4TestFile.h"
#include "Record/RecordFileTestSupport.h"
#include "support/TestBoard.h"

namespace {

using mp4test::CBytes;

enum emOutcome { Kept, Deleted, Renamed, LeftAlone };

struct tagScanCase {
    const char* name;  // what the row shows
    std::string file;  // path under the mount folder
    size_t size;       // bytes written; an alarm video gets a private box in front
    emOutcome outcome;
    std::string renamed;  // the new name, for Renamed
};

// An alarm video whose private box holds triggers 2 and 4 and two records.
std::string AlarmVideo(size_t size)
{
    auto rec = [](char type, unsigned sec, uint32_t index, const char* gps) {
        std::vector<uint8_t> r = CBytes().u8(static_cast<uint8_t>(type)).u32(RECTIME::Make(24, 1, 5, 9, 0, sec).value)
                                     .u32(index).Data();
        std::vector<uint8_t> text(64, 0);
        memcpy(text.data(), gps, strlen(gps));
        r.insert(r.end(), text.begin(), text.end());
        return r;
    };
    CBytes skip;
    skip.u32(8 + 16 + 16 + 2 * 73).tag("skip").u32(16).tag("altg").u32(0).u32(6);
    skip.u32(16 + 2 * 73).tag("asct").u32(0).u32(2).raw(rec('G', 2, 0, "N1")).raw(rec('A', 1, 1, "N2"));
    std::vector<uint8_t> bytes = CBytes().u32(16).tag("ftyp").tag("isom").u32(0x200).raw(skip.Data()).Data();
    const size_t pad = size > bytes.size() + 8 ? size - bytes.size() - 8 : 0;
    bytes = CBytes().raw(bytes).u32(static_cast<uint32_t>(8 + pad)).tag("moov").zeros(pad).Data();
    return std::string(bytes.begin(), bytes.end());
}

const std::string kLong = "20240105083000_180" + std::string(228, 'x') + ".MP4";  // 250 characters

const std::vector<tagScanCase> kCases = {
    {"loop video", "DCIM/100video/20240105083000_180.MP4", 1000, Kept, ""},
    {"unfinished recording", "DCIM/100video/20240105083300_0.MP4", 1000, Deleted, ""},
    {"unfinished second recording", "DCIM/100video/20240105083300_0(1).MP4", 1000, Deleted, ""},
    {"written index 0", "DCIM/100video/20240105083600_180(0).MP4", 1000, Renamed, "20240105083600_180.MP4"},
    {"720p parking with index", "DCIM/100video/20240105083900_180(1)_720p_P.MP4", 1000, Kept, ""},
    {"same second, index 0", "DCIM/100video/20240105083900_180.MP4", 1000, Kept, ""},
    {"leading zeros", "DCIM/100video/20240105084200_0180.MP4", 1000, Renamed, "20240105084200_180.MP4"},
    {"lower-case extension and suffix", "DCIM/100video/20240105084500_180_720P.mp4", 1000, Renamed,
     "20240105084500_180_720p.MP4"},
    {"empty file", "DCIM/100video/20240105084800_180.MP4", 0, Deleted, ""},
    {"foreign name", "DCIM/100video/IMG_0001.MP4", 1000, Deleted, ""},
    {"foreign suffix", "DCIM/100video/20240105083000_180_1080p.MP4", 1000, Deleted, ""},
    {"no such day", "DCIM/100video/20240230083000_180.MP4", 1000, Deleted, ""},
    {"no such hour", "DCIM/100video/20240105250000_180.MP4", 1000, Deleted, ""},
    {"year outside the packed time", "DCIM/100video/20640105083000_180.MP4", 1000, Deleted, ""},
    {"index above 255", "DCIM/100video/20240105083000_180(256).MP4", 1000, Deleted, ""},
    {"duration above 32 bits", "DCIM/100video/20240105083000_4294967296.MP4", 1000, Deleted, ""},
    {"250-character name", "DCIM/100video/" + kLong, 1000, Deleted, ""},
    {"canonical name taken", "DCIM/100video/20240105085400_180(0).MP4", 1000, Deleted, ""},
    {"its owner", "DCIM/100video/20240105085400_180.MP4", 1000, Kept, ""},
    {"other file", "DCIM/100video/notes.txt", 10, LeftAlone, ""},
    {"empty other file", "DCIM/100video/empty.txt", 0, LeftAlone, ""},
    {"title", "DCIM/103thumb/20240105083000.JPG", 50, Kept, ""},
    {"title with index", "DCIM/103thumb/20240105083900(1).JPG", 50, Kept, ""},
    {"title, index 0 written", "DCIM/103thumb/20240105083600(0).JPG", 50, Renamed, "20240105083600.JPG"},
    {"orphan title", "DCIM/103thumb/20240105093000.JPG", 50, Deleted, ""},
    {"title of a deleted recording", "DCIM/103thumb/20240105083300.JPG", 50, Deleted, ""},
    {"archive", "DCIM/102thumb/20240105083000.TGZ", 70, Kept, ""},
    {"orphan archive", "DCIM/102thumb/20240105093000(2).TGZ", 70, Deleted, ""},
    {"partial archive", "DCIM/102thumb/20240105083000.TGZ.part", 70, LeftAlone, ""},
    {"archive cut off while written", "DCIM/102thumb/20240105083000_0.TGZ", 70, Deleted, ""},
    {"title cut off while copied", "DCIM/103thumb/20240105083900_0(1).JPG", 50, Deleted, ""},
    {"alarm video", "DCIM/101video/20240105090000_10.MP4", 600, Kept, ""},
    {"unfinished alarm video", "DCIM/101video/20240105090100_0(1).MP4", 600, Deleted, ""},
    {"alarm title", "DCIM/105thumb/20240105090000.JPG", 40, Kept, ""},
    {"orphan alarm title", "DCIM/105thumb/20240105090500.JPG", 40, Deleted, ""},
    {"image", "DCIM/104snap/A20240105090001.JPG", 30, Kept, ""},
    {"image with index", "DCIM/104snap/G20240105090001(1).JPG", 30, Kept, ""},
    {"image, same second, other letter", "DCIM/104snap/M20240105090001.JPG", 30, Kept, ""},
    {"image, index 0 written", "DCIM/104snap/R20240105090004(0).JPG", 30, Renamed, "R20240105090004.JPG"},
    {"image without letter", "DCIM/104snap/20240105090005.JPG", 30, Deleted, ""},
    {"image, lower-case letter", "DCIM/104snap/w20240105090007.jpg", 30, Renamed, "W20240105090007.JPG"},
    {"empty image", "DCIM/104snap/A20240105090006.JPG", 0, Deleted, ""},
    {"other file among images", "DCIM/104snap/readme.txt", 5, LeftAlone, ""},
};

// One card of files and the three indexes it is scanned into.
class CScanCard {
public:
    explicit CScanCard(const std::string& root)
        : m_strRoot(root),
          m_Common(emRecFileType_CommonVideo),
          m_Alarm(emRecFileType_AlarmVideo),
          m_Image(emRecFileType_AlarmImage)
    {
    }
    void Create(const std::vector<tagScanCase>& cases) const
    {
        for (const tagScanCase& c : cases) {
            const bool alarm = c.file.rfind("DCIM/101video/", 0) == 0;
            XRecWriteFile(m_strRoot + c.file, alarm ? AlarmVideo(c.size) : std::string(c.size, 'd'));
        }
        // A folder with a video's name is not a video.
        XCreateFullPathDir((m_strRoot + "DCIM/100video/20240105085100_180.MP4").c_str(), 0777);
    }
    void Scan()
    {
        m_Common.CleanAllFile();
        m_Alarm.CleanAllFile();
        m_Image.CleanAllFile();
        CRecordScan scan(m_Common, m_Alarm, m_Image);
        scan.ScanCard(m_strRoot.c_str());
    }
    std::string Json(CRecordFileIndex& index) const
    {
        std::vector<char> buf(1 << 16);
        int n = index.GetFileInfoAsJSON(buf.data(), static_cast<int>(buf.size()));
        return n < 0 ? std::string("(-1)") : std::string(buf.data(), static_cast<size_t>(n));
    }
    std::string Lists() { return Json(m_Common) + "\n" + Json(m_Alarm) + "\n" + Json(m_Image); }

    std::string m_strRoot;
    CRecordFileIndex m_Common;
    CRecordFileIndex m_Alarm;
    CRecordFileIndex m_Image;
};

// The lists as an independent parser reads them: one line per file.
std::string Summary(const std::string& lists)
{
    int status = 0;
    std::string out = XRecRunPython("RecordLists_summary.py", lists, &status);
    EXPECT_EQ(0, status) << out;
    return out;
}

class RecordScanTest : public ::testing::Test {
protected:
    std::string Card() const { return m_Board.Path("/tmp/mmc0/"); }
    CTestBoard m_Board;
};

TEST_F(RecordScanTest, RepairsDeletesAndIndexes)
{
    CScanCard card(Card());
    card.Create(kCases);
    testing::internal::CaptureStdout();
    card.Scan();
    const std::string out = testing::internal::GetCapturedStdout();
    for (const tagScanCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string path = Card() + c.file;
        const std::string dir = path.substr(0, path.rfind('/') + 1);
        switch (c.outcome) {
        case Kept:
        case LeftAlone:
            EXPECT_TRUE(XRecExists(path));
            break;
        case Deleted:
            EXPECT_FALSE(XRecExists(path));
            break;
        case Renamed:
            EXPECT_FALSE(XRecExists(path));
            EXPECT_TRUE(XRecExists(dir + c.renamed));
            break;
        }
    }
    struct stat st;
    EXPECT_EQ(0, stat((Card() + "DCIM/100video/20240105085100_180.MP4").c_str(), &st));
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_NE(std::string::npos,
              out.find("RENAME FILE " + Card() + "DCIM/100video/20240105085400_180(0).MP4 to " + Card() +
                       "DCIM/100video/20240105085400_180.MP4 FAILED.\n"))
        << out;
    EXPECT_NE(std::string::npos,
              out.find("m_CommonRecordFileIndex.AddRecFile(" + Card() +
                       "DCIM/103thumb/20240105093000.JPG) ERROR[2024/01/05 09:30:00,0,0]...\n"))
        << out;
    EXPECT_NE(std::string::npos,
              out.find("m_AlarmRecordFileIndex.AddRecFile(" + Card() +
                       "DCIM/105thumb/20240105090500.JPG) ERROR[2024/01/05 09:05:00,0,0]...\n"))
        << out;

    // Newest first; among files of one second the higher index first.
    EXPECT_EQ("commonvideo 7\n"
              "  20240105085400_180.MP4|180|1000||0||0\n"
              "  20240105084500_180_720p.MP4|180|1000||0||0\n"
              "  20240105084200_180.MP4|180|1000||0||0\n"
              "  20240105083900_180(1)_720p_P.MP4|180|1000|20240105083900(1).JPG|50||0\n"
              "  20240105083900_180.MP4|180|1000||0||0\n"
              "  20240105083600_180.MP4|180|1000|20240105083600.JPG|50||0\n"
              "  20240105083000_180.MP4|180|1000|20240105083000.JPG|50|20240105083000.TGZ|70\n"
              "alarmvideo 1\n"
              "  20240105090000_10.MP4|10|600|20240105090000.JPG|40|GA|G20240105090002.JPG@N1|"
              "A20240105090001(1).JPG@N2\n"
              "snapshot 5\n"
              "  W20240105090007.JPG|30\n"
              "  R20240105090004.JPG|30\n"
              "  G20240105090001(1).JPG|30\n"
              "  M20240105090001.JPG|30\n"
              "  A20240105090001.JPG|30\n",
              Summary(card.Lists()));
    EXPECT_EQ(7 * 1000u + 3 * 50u + 70u, card.m_Common.GetTotalSize());
    EXPECT_EQ(600u + 40u, card.m_Alarm.GetTotalSize());
    EXPECT_EQ(5 * 30u, card.m_Image.GetTotalSize());
}

// A second scan of the same card lists the same bytes, and so does a card
// holding the same files made in the opposite order.
TEST_F(RecordScanTest, ListsDependOnTheFilesOnly)
{
    CScanCard card(Card());
    card.Create(kCases);
    testing::internal::CaptureStdout();
    card.Scan();
    const std::string first = card.Lists();
    card.Scan();
    const std::string second = card.Lists();
    std::vector<tagScanCase> reversed(kCases.rbegin(), kCases.rend());
    CScanCard other(m_Board.Path("/tmp/other/"));
    other.Create(reversed);
    other.Scan();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, other.Lists());
}

// An alarm file of 64 MiB of 8-byte boxes (a good skip box at its very end)
// is entered like any other, without triggers or records.
TEST_F(RecordScanTest, AlarmFileOfTinyBoxesHasNoRecords)
{
    const std::string path = Card() + "DCIM/101video/20240105090000_10.MP4";
    XCreateFullPathDir((Card() + "DCIM/101video").c_str(), 0777);
    const std::vector<uint8_t> ftyp = CBytes().u32(16).tag("ftyp").tag("isom").u32(0x200).Data();
    const std::string alarm = AlarmVideo(300);
    const std::vector<uint8_t> tail(alarm.begin() + static_cast<std::ptrdiff_t>(ftyp.size()), alarm.end());
    ASSERT_TRUE(mp4test::XWriteTinyBoxFile(path, ftyp, 64u << 20, tail));
    CScanCard card(Card());
    testing::internal::CaptureStdout();
    card.Scan();
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(XRecExists(path));
    ASSERT_EQ(1, card.m_Alarm.GetFileCount());
    const CRecordFileIndexNode* node = card.m_Alarm.GetFileListHead();
    EXPECT_EQ(0u, node->GetRecTrigger());
    EXPECT_EQ(nullptr, node->GetAssociatedData());
    EXPECT_EQ(10u, node->GetRecDuration());
}

// A folder that is not there, or a card without DCIM, gives empty lists.
TEST_F(RecordScanTest, MissingFolders)
{
    CScanCard card(Card());
    XCreateFullPathDir(Card().c_str(), 0777);
    card.Scan();
    EXPECT_EQ(0, card.m_Common.GetFileCount());
    CRecordScan scan(card.m_Common, card.m_Alarm, card.m_Image);
    EXPECT_EQ(1, scan.ScanDir((Card() + "nowhere").c_str(), emFileType_Video));
    EXPECT_EQ(1, scan.ScanDir(nullptr, emFileType_Video));
    EXPECT_EQ(1, scan.ScanDir(Card().c_str(), emFileType_Unknown));
}

TEST(RecordScanNames, MatchFileType)
{
    struct {
        const char* ext;
        emFileType type;
        BOOL match;
    } cases[] = {
        {"MP4", emFileType_Video, 1},        {"mp4", emFileType_AlarmVideo, 1},   {"JPG", emFileType_TitleImg, 1},
        {"jpg", emFileType_AlarmTitleImg, 1}, {"Jpg", emFileType_AlarmImg, 1},    {"TGZ", emFileType_TimestampImg, 1},
        {"JPG", emFileType_Video, 0},        {"MP4", emFileType_TitleImg, 0},     {"TGZ", emFileType_AlarmImg, 0},
        {"MP", emFileType_Video, 0},         {"MP44", emFileType_Video, 0},       {"", emFileType_Video, 0},
        {"MP4", emFileType_Unknown, 0},      {nullptr, emFileType_Video, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.match, MatchFileType(c.ext, c.type)) << (c.ext ? c.ext : "(null)") << " " << c.type;
    }
}

// Parsed fields and the canonical name they give.
TEST(RecordScanNames, ParseAndCanonicalName)
{
    struct {
        const char* name;
        emFileType type;
        const char* canonical;  // null: refused
        unsigned duration;
        int index;
        int resolution;
        BOOL parking;
        char letter;
    } cases[] = {
        {"20240105083000_180.MP4", emFileType_Video, "20240105083000_180.MP4", 180, 0, 1080, 0, 0},
        {"20240105083000_180(3)_720p_P.MP4", emFileType_AlarmVideo, "20240105083000_180(3)_720p_P.MP4", 180, 3, 720, 1,
         0},
        {"20240105083000_7_P.mp4", emFileType_Video, "20240105083000_7_P.MP4", 7, 0, 1080, 1, 0},
        {"20240229235959_1(255).MP4", emFileType_Video, "20240229235959_1(255).MP4", 1, 255, 1080, 0, 0},
        {"20240105083000_0000000009(007).MP4", emFileType_Video, "20240105083000_9(7).MP4", 9, 7, 1080, 0, 0},
        {"20240105083000_4294967295.MP4", emFileType_Video, "20240105083000_4294967295.MP4", 4294967295u, 0, 1080, 0, 0},
        {"20240105083000(2).TGZ", emFileType_TimestampImg, "20240105083000(2).TGZ", 0, 2, 1080, 0, 0},
        {"20240105083000.jpg", emFileType_TitleImg, "20240105083000.JPG", 0, 0, 1080, 0, 0},
        {"W20240105083000(0).JPG", emFileType_AlarmImg, "W20240105083000.JPG", 0, 0, 1080, 0, 'W'},
        {"20230229083000_180.MP4", emFileType_Video, nullptr, 0, 0, 0, 0, 0},
        {"19991231235959_180.MP4", emFileType_Video, nullptr, 0, 0, 0, 0, 0},
        {"20240105083000_00000000001.MP4", emFileType_Video, nullptr, 0, 0, 0, 0, 0},
        {"20240105083000_180(1000).MP4", emFileType_Video, nullptr, 0, 0, 0, 0, 0},
        {"20240105083000_180()(1).MP4", emFileType_Video, nullptr, 0, 0, 0, 0, 0},
        {"20240105083000_180_P_720p.MP4", emFileType_Video, nullptr, 0, 0, 0, 0, 0},
        {"20240105083000_180.MP4.MP4", emFileType_Video, nullptr, 0, 0, 0, 0, 0},
        {"20240105083000_-1.MP4", emFileType_Video, nullptr, 0, 0, 0, 0, 0},
        {"2024010508300_180.MP4", emFileType_Video, nullptr, 0, 0, 0, 0, 0},
        {"20240105083000.MP4", emFileType_Video, nullptr, 0, 0, 0, 0, 0},
        {"20240105083000_180.JPG", emFileType_TitleImg, nullptr, 0, 0, 0, 0, 0},
        {"20240105083000_720p.JPG", emFileType_TitleImg, nullptr, 0, 0, 0, 0, 0},
        {"m20240105083000.jpg", emFileType_AlarmImg, "M20240105083000.JPG", 0, 0, 1080, 0, 'M'},
        {"120240105083000.JPG", emFileType_AlarmImg, nullptr, 0, 0, 0, 0, 0},
        {"AA20240105083000.JPG", emFileType_AlarmImg, nullptr, 0, 0, 0, 0, 0},
        {"", emFileType_Video, nullptr, 0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecFileNameFields f;
        const BOOL ok = XParseCardFileName(c.name, c.type, f);
        EXPECT_EQ(c.canonical != nullptr, ok != 0);
        if (!ok || c.canonical == nullptr) {
            continue;
        }
        char buf[RECORD_NAME_BUF_SIZE];
        ASSERT_TRUE(XMakeCardFileName(buf, sizeof(buf), c.type, f));
        EXPECT_STREQ(c.canonical, buf);
        EXPECT_EQ(c.duration, static_cast<unsigned>(f.duration));
        EXPECT_EQ(c.index, f.index);
        EXPECT_EQ(c.resolution, f.resolution);
        EXPECT_EQ(c.parking, f.bParking);
        EXPECT_EQ(c.letter, f.type);
    }
    RecFileNameFields f;
    EXPECT_FALSE(XParseCardFileName(nullptr, emFileType_Video, f));
    EXPECT_FALSE(XParseCardFileName(std::string(300, '2').c_str(), emFileType_Video, f));
}

}  // namespace

// Thousands of names to repair in one folder: each file is renamed once and
// entered once, although the folder changes while the scan goes through it.
TEST_F(RecordScanTest, LargeFolderOfRenamesIsEnteredOnce)
{
    const int kFiles = 3000;
    for (int i = 0; i < kFiles; ++i) {
        char name[64];
        snprintf(name, sizeof(name), "DCIM/100video/20240105%02d%02d%02d_180(0).MP4", 8 + i / 3600, i / 60 % 60,
                 i % 60);
        XRecWriteFile(Card() + name, "dddd");
    }
    CScanCard card(Card());
    testing::internal::CaptureStdout();
    card.Scan();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(card.m_Common.GetFileCount(), kFiles);
    EXPECT_EQ(card.m_Common.GetTotalSize(), 4u * kFiles);
    const std::vector<std::string> names = XRecListDir(Card() + "DCIM/100video");
    ASSERT_EQ(names.size(), static_cast<size_t>(kFiles));
    EXPECT_EQ(names.front(), "20240105080000_180.MP4");
    EXPECT_EQ(names.back(), "20240105084959_180.MP4");
}
