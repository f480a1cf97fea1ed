#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "Function/RecTime.h"
#include "Record/Index/RecordFileIndexNode.h"
#include "Record/Index/RecordFileName.h"
#include "Record/RecordFileTestSupport.h"

namespace {

// 2024-01-05 08:30:00 UTC.
constexpr time_t kT = 1704443400;
const RECTIME kRT = RECTIME::Make(24, 1, 5, 8, 30, 0);

RecFileNameFields Fields(char type, RECTIME t, bool dur, int64_t d, int n, int res = 1080, bool park = false)
{
    RecFileNameFields p{};
    p.type = type;
    p.time = t;
    p.bHasDuration = dur ? 1 : 0;
    p.duration = d;
    p.index = n;
    p.resolution = res;
    p.bParking = park ? 1 : 0;
    return p;
}

std::string Make(const char* root, const char* sub, const RecFileNameFields& p, const char* ext)
{
    char buf[RECORD_NAME_BUF_SIZE];
    if (!XMakeRecFilePath(buf, sizeof(buf), root, sub, p, ext)) {
        return "<refused>";
    }
    return buf;
}

// Names of every pattern, built by the code and handed with their expected
// fields to an independent regular-expression check.
class RecordFileNameTable : public ::testing::Test {
protected:
    void Add(const char* row, const std::string& name, const std::string& fields)
    {
        m_Lines += std::string(row) + "\t" + name + "\t" + fields + "\n";
    }
    std::string m_Lines;
};

struct tagPackedCase {
    unsigned duration;
    int index;
    int res;
    bool park;
    const char* name;
    const char* fields;
};

TEST_F(RecordFileNameTable, EveryPatternRowMatchesAnIndependentRegex)
{
    // Packed videos through the index node's builder.
    const tagPackedCase packed[] = {
        {180, 0, 1080, false, "20240105083000_180.MP4", "T=20240105083000,D=180"},
        {180, 1, 720, true, "20240105083000_180(1)_720p_P.MP4", "T=20240105083000,D=180,n=1,res=1,park=1"},
        {180, 2, 720, true, "20240105083000_180(2)_720p_P.MP4", "T=20240105083000,D=180,n=2,res=1,park=1"},
        {1, 0, 720, true, "20240105083000_1_720p_P.MP4", "T=20240105083000,D=1,res=1,park=1"},
        {60, 0, 720, false, "20240105083000_60_720p.MP4", "T=20240105083000,D=60,res=1"},
        {7, 12, 1080, true, "20240105083000_7(12)_P.MP4", "T=20240105083000,D=7,n=12,park=1"},
        {4294967295u, 255, 1080, false, "20240105083000_4294967295(255).MP4", "T=20240105083000,D=4294967295,n=255"},
    };
    for (const tagPackedCase& c : packed) {
        CRecordFileIndexNode node;
        node.SetRecTime(kRT);
        node.SetRecDuration(c.duration);
        node.SetRecIndex(c.index);
        node.SetRecResolution(c.res);
        node.SetRecParkingFlag(c.park);
        char name[RECORD_NAME_BUF_SIZE];
        ASSERT_TRUE(node.GetFileName(name, "MP4", 1));
        EXPECT_STREQ(name, c.name);
        Add("packed", name, c.fields);
        // Title and archive of the same video: time and index, no suffixes.
        ASSERT_TRUE(node.GetFileName(name, "JPG", 0));
        std::string n = c.index > 0 ? ",n=" + std::to_string(c.index) : "";
        Add("title", name, "T=20240105083000" + n);
        ASSERT_TRUE(node.GetFileName(name, "TGZ", 0));
        Add("archive", name, "T=20240105083000" + n);
    }
    EXPECT_EQ(Make(nullptr, nullptr, Fields(0, kRT, false, 0, 0), "JPG"), "20240105083000.JPG");
    EXPECT_EQ(Make(nullptr, nullptr, Fields(0, kRT, false, 0, 3), "TGZ"), "20240105083000(3).TGZ");

    // Alarm images, every letter, with and without index.
    for (char l : std::string("AGMRVWUP")) {
        for (int n : {0, 1, 9}) {
            CRecordFileIndexNode node;
            node.SetRecTime(RECTIME::Make(63, 12, 31, 23, 59, 59));
            node.SetRecType(l);
            node.SetRecIndex(n);
            char name[RECORD_NAME_BUF_SIZE];
            ASSERT_TRUE(node.GetFileName(name, "JPG", 0));
            std::string want = std::string(1, l) + "20631231235959" + (n ? "(" + std::to_string(n) + ")" : "") + ".JPG";
            EXPECT_EQ(name, want);
            Add("image", name, std::string("L=") + l + ",T=20631231235959" + (n ? ",n=" + std::to_string(n) : ""));
        }
    }

    // Files being recorded, title images in /tmp and thumbnails in /tmp: the
    // builders that create folders and search for a free index.
    CRecTempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    const std::string card = dir / "mmc0";
    const std::string tmp = dir / "tmp";
    CRecordFileName video;
    char name[RECORD_NAME_BUF_SIZE];
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(video.CreateFileName(card.c_str(), "DCIM/100video", "MP4", kT, 0, name));
        EXPECT_EQ(video.GetFileNameIndex(), i);
        std::string rel = std::string(name).substr(card.size() + 1);
        EXPECT_EQ(rel, i == 0 ? "DCIM/100video/20240105083000_0.MP4"
                              : "DCIM/100video/20240105083000_0(" + std::to_string(i) + ").MP4");
        Add("recording", rel.substr(strlen("DCIM/100video/")),
            "T=20240105083000" + (i ? ",n=" + std::to_string(i) : std::string()));
        XRecWriteFile(name, "x");
    }
    CRecordFileName title;
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(title.CreateFileName(tmp.c_str(), nullptr, "JPG", kRT, name));
        std::string shown = "/tmp" + std::string(name).substr(tmp.size());
        EXPECT_EQ(shown, i == 0 ? "/tmp/20240105083000.JPG" : "/tmp/20240105083000(1).JPG");
        Add("tmptitle", shown, "T=20240105083000" + (i ? std::string(",n=1") : std::string()));
        XRecWriteFile(name, "x");
    }
    CRecordFileName thumb;
    for (unsigned ms : {0u, 20000u, 4294967295u}) {
        ASSERT_TRUE(thumb.CreateFileName(tmp.c_str(), nullptr, "JPG", kRT, 2, ms, name));
        std::string shown = "/tmp" + std::string(name).substr(tmp.size());
        EXPECT_EQ(shown, "/tmp/20240105083000(2)/" + std::to_string(ms) + ".JPG");
        Add("tmpthumb", shown, "T=20240105083000,n=2,ms=" + std::to_string(ms));
        struct stat st;
        EXPECT_EQ(stat((tmp + "/20240105083000(2)").c_str(), &st), 0);
    }
    EXPECT_EQ(thumb.GetFileNameIndex(), 2);

    int status = -1;
    std::string out = XRecRunPython("RecordFileName_regex.py", m_Lines, &status);
    EXPECT_EQ(status, 0) << out;
}

struct tagJoinCase {
    const char* root;
    const char* sub;
    const char* want;
};

TEST(RecordFileName, PathJoining)
{
    const RecFileNameFields p = Fields(0, kRT, true, 180, 0);
    const tagJoinCase cases[] = {
        {"/tmp/mmc0", "DCIM/100video", "/tmp/mmc0/DCIM/100video/20240105083000_180.MP4"},
        {"/tmp/mmc0/", "DCIM/100video/", "/tmp/mmc0/DCIM/100video/20240105083000_180.MP4"},
        {"/tmp/mmc0/", "DCIM/100video", "/tmp/mmc0/DCIM/100video/20240105083000_180.MP4"},
        {nullptr, "DCIM/100video", "DCIM/100video/20240105083000_180.MP4"},
        {"", "DCIM/100video", "DCIM/100video/20240105083000_180.MP4"},
        {"/tmp", nullptr, "/tmp/20240105083000_180.MP4"},
        {"/tmp", "", "/tmp/20240105083000_180.MP4"},
        {"/", nullptr, "/20240105083000_180.MP4"},
        {nullptr, nullptr, "20240105083000_180.MP4"},
    };
    for (const tagJoinCase& c : cases) {
        EXPECT_EQ(Make(c.root, c.sub, p, "MP4"), c.want) << (c.root ? c.root : "(null)") << " + "
                                                          << (c.sub ? c.sub : "(null)");
    }
}

TEST(RecordFileName, BuildRefusesWhatDoesNotFit)
{
    const RecFileNameFields p = Fields(0, kRT, true, 180, 0);
    const std::string longRoot(240, 'r');
    char buf[RECORD_NAME_BUF_SIZE];
    memset(buf, 'x', sizeof(buf));
    EXPECT_FALSE(XMakeRecFilePath(buf, sizeof(buf), longRoot.c_str(), "DCIM/100video", p, "MP4"));
    EXPECT_STREQ(buf, "");
    // Exactly 255 characters fit, 256 do not.
    const std::string name = "20240105083000_180.MP4";
    const std::string root255(255 - name.size() - 1, 'a');
    EXPECT_TRUE(XMakeRecFilePath(buf, sizeof(buf), root255.c_str(), nullptr, p, "MP4"));
    EXPECT_EQ(strlen(buf), 255u);
    const std::string root256 = root255 + "a";
    EXPECT_FALSE(XMakeRecFilePath(buf, sizeof(buf), root256.c_str(), nullptr, p, "MP4"));

    CRecordFileName n;
    char out[RECORD_NAME_BUF_SIZE];
    EXPECT_FALSE(n.CreateFileName(("/tmp/" + longRoot).c_str(), "DCIM/100video", "MP4", kT, 0, out));
    EXPECT_FALSE(n.GetFileName(("/tmp/" + longRoot).c_str(), "DCIM/100video", "MP4", 1, 0, out));
}

struct tagParseCase {
    const char* name;
    emRecFileNameKind kind;
    char type;
    unsigned year, month, day, hour, minute, second;
    int64_t duration;
    int index;
    int res;
    bool park;
};

TEST(RecordFileName, ParseTable)
{
    constexpr emRecFileNameKind V = emRecFileNameKind_Video;
    constexpr emRecFileNameKind I = emRecFileNameKind_Image;
    constexpr emRecFileNameKind P = emRecFileNameKind_Plain;
    const tagParseCase cases[] = {
        {"20240105083000_180.MP4", V, 0, 24, 1, 5, 8, 30, 0, 180, 0, 1080, false},
        {"20240105083000_180(1)_720p_P.MP4", V, 0, 24, 1, 5, 8, 30, 0, 180, 1, 720, true},
        {"20240105083000_180(2)_720p.MP4", V, 0, 24, 1, 5, 8, 30, 0, 180, 2, 720, false},
        {"20240105083000_180_P.MP4", V, 0, 24, 1, 5, 8, 30, 0, 180, 0, 1080, true},
        {"20240105083000_180_720P_p.mp4", V, 0, 24, 1, 5, 8, 30, 0, 180, 0, 720, true},
        {"20240105083000_0.MP4", V, 0, 24, 1, 5, 8, 30, 0, 0, 0, 1080, false},
        {"20000101000000_4294967295(255).MP4", V, 0, 0, 1, 1, 0, 0, 0, 4294967295, 255, 1080, false},
        {"20631231235959_1.MP4", V, 0, 63, 12, 31, 23, 59, 59, 1, 0, 1080, false},
        {"A20240105083000.JPG", I, 'A', 24, 1, 5, 8, 30, 0, 0, 0, 0, false},
        {"G20240105083000(3).JPG", I, 'G', 24, 1, 5, 8, 30, 0, 0, 3, 0, false},
        {"20240105083000(3).TGZ", P, 0, 24, 1, 5, 8, 30, 0, 0, 3, 0, false},
    };
    for (const tagParseCase& c : cases) {
        SCOPED_TRACE(c.name);
        RecFileNameFields p;
        const char* ext = c.kind == V ? "MP4" : (c.kind == I ? "JPG" : "TGZ");
        ASSERT_TRUE(XParseRecFileName(c.name, c.kind, ext, p));
        EXPECT_EQ(p.type, c.type);
        EXPECT_EQ(p.time.value, RECTIME::Make(c.year, c.month, c.day, c.hour, c.minute, c.second).value);
        EXPECT_EQ(p.duration, c.duration);
        EXPECT_EQ(p.index, c.index);
        if (c.kind == V) {
            EXPECT_EQ(p.resolution, c.res);
            EXPECT_EQ(p.bParking != 0, c.park);
        }
    }
    const struct {
        const char* name;
        emRecFileNameKind kind;
    } refused[] = {
        // Outside the grammar.
        {"IMG_0001.MP4", V},
        {"20240105083000.MP4", V},
        {"20240105083000_.MP4", V},
        {"20240105083000_180.JPG", V},
        {"20240105083000_180.MP4.bak", V},
        {"20240105083000_180(0).MP4", V},
        {"20240105083000_180(01).MP4", V},
        {"20240105083000_180(256).MP4", V},
        {"20240105083000_180(1.MP4", V},
        {"20240105083000_180(-1).MP4", V},
        {"20240105083000_4294967296.MP4", V},
        {"20240105083000_180_1080p.MP4", V},
        {"20240105083000_180_P_720p.MP4", V},
        {"2024010508300_180.MP4", V},
        {" 20240105083000_180.MP4", V},
        {"a20240105083000.JPG", I},
        {"20240105083000.JPG", I},
        {"AA20240105083000.JPG", I},
        {"", V},
        // Out-of-range fields are refused, not masked into another time.
        {"19991231235959_180.MP4", V},
        {"20640101000000_180.MP4", V},
        {"20240005083000_180.MP4", V},
        {"20241305083000_180.MP4", V},
        {"20240100083000_180.MP4", V},
        {"20240132083000_180.MP4", V},
        {"20230229083000_180.MP4", V},
        {"20240431083000_180.MP4", V},
        {"20240105243000_180.MP4", V},
        {"20240105086000_180.MP4", V},
        {"20240105083060_180.MP4", V},
        {"A20241305083000.JPG", I},
    };
    for (const auto& c : refused) {
        RecFileNameFields p;
        EXPECT_FALSE(XParseRecFileName(c.name, c.kind, c.kind == V ? "MP4" : "JPG", p)) << c.name;
    }
    // Over-long names are refused before any field is read.
    std::string big(4000, '9');
    RecFileNameFields p;
    EXPECT_FALSE(XParseRecFileName(big.c_str(), V, "MP4", p));
    std::string long256 = "20240105083000_" + std::string(256 - 15 - 4, '1') + ".MP4";
    ASSERT_EQ(long256.size(), 256u);
    EXPECT_FALSE(XParseRecFileName(long256.c_str(), V, "MP4", p));
}

// The one reader under both rules: what only a card may show (leading
// zeros, a written index 0, a lower-case type letter) is refused by the
// strict rule of delete-by-name; what neither writes is refused by both.
TEST(RecordFileName, StrictAndCardRules)
{
    constexpr emRecFileNameKind V = emRecFileNameKind_Video;
    constexpr emRecFileNameKind I = emRecFileNameKind_Image;
    constexpr emRecFileNameKind P = emRecFileNameKind_Plain;
    const struct {
        const char* name;
        emRecFileNameKind kind;
        const char* ext;
        bool strict;
        bool card;
        int64_t duration;  // under the card rule
        int index;
        char type;
    } cases[] = {
        {"20240105083000_180(3)_720p_P.MP4", V, "MP4", true, true, 180, 3, 0},
        {"20240105083000_180.mp4", V, "MP4", true, true, 180, 0, 0},
        {"20240105083000_0180.MP4", V, "MP4", false, true, 180, 0, 0},
        {"20240105083000_0000000009(007).MP4", V, "MP4", false, true, 9, 7, 0},
        {"20240105083000_180(0).MP4", V, "MP4", false, true, 180, 0, 0},
        {"20240105083000_180(01).MP4", V, "MP4", false, true, 180, 1, 0},
        {"20240105083000_00000000001.MP4", V, "MP4", false, false, 0, 0, 0},
        {"20240105083000_180(0001).MP4", V, "MP4", false, false, 0, 0, 0},
        {"20240105083000_180(256).MP4", V, "MP4", false, false, 0, 0, 0},
        {"20240105083000_4294967296.MP4", V, "MP4", false, false, 0, 0, 0},
        {"20240105083000_180_P_720p.MP4", V, "MP4", false, false, 0, 0, 0},
        {"G20240105083000(3).JPG", I, "JPG", true, true, 0, 3, 'G'},
        {"g20240105083000.jpg", I, "JPG", false, true, 0, 0, 'G'},
        {"120240105083000.JPG", I, "JPG", false, false, 0, 0, 0},
        {"20240105083000(000).TGZ", P, "TGZ", false, true, 0, 0, 0},
        {"20240105083000_180.TGZ", P, "TGZ", false, false, 0, 0, 0},
        {"20230229083000(1).TGZ", P, "TGZ", false, false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecFileNameFields strict;
        EXPECT_EQ(c.strict, XParseRecFileName(c.name, c.kind, c.ext, strict, emRecFileNameRule_Strict) != 0);
        RecFileNameFields card;
        ASSERT_EQ(c.card, XParseRecFileName(c.name, c.kind, c.ext, card, emRecFileNameRule_Card) != 0);
        if (!c.card) {
            continue;
        }
        EXPECT_EQ(c.duration, card.duration);
        EXPECT_EQ(c.index, card.index);
        EXPECT_EQ(c.type, card.type);
        EXPECT_EQ(kRT.value, card.time.value);
        // The card rule gives every kind a resolution; the strict one only videos.
        EXPECT_EQ(std::strstr(c.name, "_720p") != nullptr ? 720 : 1080, card.resolution);
        if (c.strict) {
            EXPECT_EQ(c.kind == V ? card.resolution : 0, strict.resolution);
            EXPECT_EQ(card.index, strict.index);
            EXPECT_EQ(card.duration, strict.duration);
        }
    }
}

TEST(RecordFileName, BuildThenParseGivesTheSameFields)
{
    unsigned seed = 7;
    auto rnd = [&seed](unsigned n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    for (int i = 0; i < 2000; ++i) {
        const unsigned year = rnd(64), month = 1 + rnd(12);
        static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        const unsigned days = month == 2 && year % 4 == 0 ? 29 : kDays[month - 1];
        RECTIME t = RECTIME::Make(year, month, 1 + rnd(days), rnd(24), rnd(60), rnd(60));
        const bool image = rnd(3) == 0;
        RecFileNameFields in = Fields(image ? static_cast<char>('A' + rnd(26)) : 0, t, !image, image ? 0 : rnd(100000),
                                    rnd(4) == 0 ? 0 : 1 + static_cast<int>(rnd(255)), image || rnd(2) ? 1080 : 720,
                                    !image && rnd(2));
        std::string name = Make(nullptr, nullptr, in, image ? "JPG" : "MP4");
        RecFileNameFields out;
        ASSERT_TRUE(XParseRecFileName(name.c_str(), image ? emRecFileNameKind_Image : emRecFileNameKind_Video,
                                      image ? "JPG" : "MP4", out))
            << name;
        EXPECT_EQ(out.type, in.type) << name;
        EXPECT_EQ(out.time.value, in.time.value) << name;
        EXPECT_EQ(out.duration, in.duration) << name;
        EXPECT_EQ(out.index, in.index) << name;
        if (!image) {
            EXPECT_EQ(out.resolution, in.resolution) << name;
            EXPECT_EQ(out.bParking, in.bParking) << name;
        }
    }
}

class RecordFileNameDisk : public ::testing::Test {
protected:
    CRecTempDir m_Dir;
};

TEST_F(RecordFileNameDisk, StartsAt2000AndLooksUpExistingNames)
{
    CRecordFileName n;
    EXPECT_EQ(n.GetFileNameTime().value, RECTIME::Make(0, 1, 1, 0, 0, 0).value);
    EXPECT_EQ(n.GetFileNameIndex(), 0);
    EXPECT_EQ(n.GetFileNameDuration(), 0);
    EXPECT_EQ(n.GetFileSize(), 0u);

    const std::string card = m_Dir.Root();
    char name[RECORD_NAME_BUF_SIZE];
    ASSERT_TRUE(n.CreateFileName(card.c_str(), "DCIM/101video", "MP4", kT, 0, name));
    XRecWriteFile(name, "x");
    n.SetFileNameDuartion(10);
    EXPECT_EQ(n.GetFileNameDuration(), 10);

    // Stored index and duration; the check says whether the file exists.
    EXPECT_TRUE(n.GetFileName(card.c_str(), "DCIM/101video", "MP4", 1, 0, name));
    EXPECT_EQ(std::string(name), m_Dir / "DCIM/101video/20240105083000_10.MP4");
    EXPECT_FALSE(n.GetFileName(card.c_str(), "DCIM/101video", "MP4", 1, 1, name));
    n.SetFileNameDuartion(0);
    EXPECT_TRUE(n.GetFileName(card.c_str(), "DCIM/101video", "MP4", 1, 1, name));
    EXPECT_TRUE(n.CheckFileExists(card.c_str(), "DCIM/101video", "MP4", 0, 1));
    EXPECT_FALSE(n.CheckFileExists(card.c_str(), "DCIM/101video", "MP4", 1, 1));
    EXPECT_FALSE(n.CheckFileExists(card.c_str(), "DCIM/101video", "MP4", 0, 0));

    // GetFileName2 creates the folder it names into.
    n.SetFileNameDuartion(180);
    ASSERT_TRUE(n.GetFileName2(card.c_str(), "DCIM/105thumb", "JPG", 3, 0, name));
    EXPECT_EQ(std::string(name), m_Dir / "DCIM/105thumb/20240105083000(3).JPG");
    EXPECT_TRUE(XRecExists(m_Dir / "DCIM/105thumb"));
    ASSERT_TRUE(n.GetFileName2(card.c_str(), "DCIM/101video", "MP4", 2, 1, name));
    EXPECT_EQ(std::string(name), m_Dir / "DCIM/101video/20240105083000_180(2).MP4");
}

TEST_F(RecordFileNameDisk, DirName)
{
    CRecordFileName thumb;
    char name[RECORD_NAME_BUF_SIZE];
    const std::string tmp = m_Dir / "tmp";
    ASSERT_TRUE(thumb.CreateFileName(tmp.c_str(), nullptr, "JPG", kRT, 1, 600, name));
    EXPECT_TRUE(thumb.GetDirName(tmp.c_str(), 1, 1, name));
    EXPECT_EQ(std::string(name), tmp + "/20240105083000(1)");
    EXPECT_TRUE(thumb.GetDirName(tmp.c_str(), 1, 0, name));
    EXPECT_STREQ(name, "20240105083000(1)");
    CRecordFileName other;
    EXPECT_FALSE(other.GetDirName(tmp.c_str(), 1, 1, name));
    EXPECT_FALSE(other.GetDirName(tmp.c_str(), 1, 0, name));
    EXPECT_TRUE(other.GetDirName(tmp.c_str(), 0, 1, name));
    EXPECT_EQ(std::string(name), tmp + "/20000101000000");
}

TEST_F(RecordFileNameDisk, CreatedFoldersCanBeEntered)
{
    CRecordFileName n;
    char name[RECORD_NAME_BUF_SIZE];
    ASSERT_TRUE(n.CreateFileName(m_Dir.Path().c_str(), "DCIM/100video", "MP4", kT, 0, name));
    struct stat st;
    ASSERT_EQ(stat((m_Dir / "DCIM/100video").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_NE(st.st_mode & S_IXUSR, 0u);
}

TEST_F(RecordFileNameDisk, FolderThatCannotBeMadeFails)
{
    XRecWriteFile(m_Dir / "DCIM", "a file where the folder should be");
    CRecordFileName n;
    char name[RECORD_NAME_BUF_SIZE];
    EXPECT_FALSE(n.CreateFileName(m_Dir.Path().c_str(), "DCIM/100video", "MP4", kT, 0, name));
    EXPECT_FALSE(n.GetFileName2(m_Dir.Path().c_str(), "DCIM/100video", "MP4", 0, 1, name));
    EXPECT_FALSE(n.CreateFileName(m_Dir.Path().c_str(), "DCIM/tmp", "JPG", kRT, 0, 0u, name));
}

TEST_F(RecordFileNameDisk, CollisionIndexStopsAt255)
{
    // The index travels in 8 bits: index 256 would land in another field.
    const std::string dir = m_Dir / "DCIM/104snap";
    XRecWriteFile(dir + "/20240105083000.JPG", "x");
    for (int i = 1; i <= 255; ++i) {
        XRecWriteFile(dir + "/20240105083000(" + std::to_string(i) + ").JPG", "x");
    }
    CRecordFileName n;
    char name[RECORD_NAME_BUF_SIZE];
    testing::internal::CaptureStderr();
    EXPECT_FALSE(n.CreateFileName(m_Dir.Path().c_str(), "DCIM/104snap", "JPG", kRT, name));
    testing::internal::GetCapturedStderr();
    unlink((dir + "/20240105083000(255).JPG").c_str());
    ASSERT_TRUE(n.CreateFileName(m_Dir.Path().c_str(), "DCIM/104snap", "JPG", kRT, name));
    EXPECT_EQ(n.GetFileNameIndex(), 255);
}

}  // namespace
