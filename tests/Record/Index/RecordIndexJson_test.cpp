#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Record/Index/AssociatedData.h"
#include "Record/Index/RecordFileIndex.h"
#include "Record/RecordFileTestSupport.h"

namespace {

const RECTIME kRT = RECTIME::Make(24, 1, 5, 8, 30, 0);
RECTIME T(unsigned sec) { return RECTIME::Make(24, 1, 5, 8, 30 + sec / 60, sec % 60); }

const std::string kCommonHead =
    "{\"type\":\"commonvideo\",\"mp4folder\":\"DCIM/100video\",\"titlefolder\":\"DCIM/103thumb\","
    "\"thumbfolder\":\"DCIM/102thumb\",\"mp4data\":[";
const std::string kAlarmHead =
    "{\"type\":\"alarmvideo\",\"mp4folder\":\"DCIM/101video\",\"titlefolder\":\"DCIM/105thumb\","
    "\"imagefolder\":\"DCIM/104snap\",\"mp4data\":[";
const std::string kImageHead = "{\"type\":\"snapshot\",\"jpgfolder\":\"DCIM/104snap\",\"jpgdata\":[";

CAssociatedData* Record(char type, const RECTIME& t, int index, const std::string& gps)
{
    CAssociatedData* d = CAssociatedDataManager::instance()->GetNode();
    d->SetRecType(type);
    d->SetRecTime(t);
    d->SetRecIndex(index);
    d->SetGPSPosition(gps.data(), gps.size());
    return d;
}

std::string List(CRecordFileIndex& idx)
{
    std::vector<char> buf(1 << 20);
    int n = idx.GetFileInfoAsJSON(buf.data(), static_cast<int>(buf.size()));
    return n < 0 ? "<" + std::to_string(n) + ">" : std::string(buf.data(), static_cast<size_t>(n));
}

std::string One(CRecordFileIndex& idx, const RECTIME& t, int index, char type = 0)
{
    std::vector<char> buf(1 << 16);
    int n = idx.GetFileInfoAsJSON(buf.data(), static_cast<int>(buf.size()), t, index, type);
    return n < 0 ? "<" + std::to_string(n) + ">" : std::string(buf.data(), static_cast<size_t>(n));
}

// Calls `build` with buffers of every length up to one past the document
// and checks the exact boundary: -1 up to its length, the whole document
// with room for the terminator. Each buffer is its own allocation so that
// AddressSanitizer sees any write past it.
template <typename Build>
void ExpectExactBoundary(const std::string& doc, Build build)
{
    const int L = static_cast<int>(doc.size());
    for (int len = 0; len <= L + 1; ++len) {
        std::unique_ptr<char[]> buf(new char[static_cast<size_t>(len > 0 ? len : 1)]);
        memset(buf.get(), 'x', static_cast<size_t>(len > 0 ? len : 1));
        int n = build(buf.get(), len);
        if (len <= L) {
            ASSERT_EQ(n, -1) << "len " << len << " of " << L;
            if (len > 0) {
                ASSERT_LT(strnlen(buf.get(), static_cast<size_t>(len)), static_cast<size_t>(len));
                // What was written is the start of the document.
                ASSERT_EQ(doc.compare(0, strlen(buf.get()), buf.get()), 0);
            }
        } else {
            ASSERT_EQ(n, L);
            ASSERT_EQ(std::string(buf.get()), doc);
        }
    }
}

TEST(RecordIndexJson, EmptyCategories)
{
    CRecordFileIndex common(emRecFileType_CommonVideo);
    CRecordFileIndex alarm(emRecFileType_AlarmVideo);
    CRecordFileIndex image(emRecFileType_AlarmImage);
    EXPECT_EQ(List(common), kCommonHead + "]}");
    EXPECT_EQ(List(alarm), kAlarmHead + "]}");
    EXPECT_EQ(List(image), "{\"type\":\"snapshot\",\"jpgfolder\":\"DCIM/104snap\",\"jpgdata\":[]}");
    // The head needs its length + 2, the closing more than 2 bytes left.
    char buf[256];
    const int h = static_cast<int>(kImageHead.size());
    EXPECT_EQ(image.GetFileInfoAsJSON(buf, h + 1), -1);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(image.GetFileInfoAsJSON(buf, h + 2), -1);
    EXPECT_EQ(std::string(buf), kImageHead);
    EXPECT_EQ(image.GetFileInfoAsJSON(buf, h + 3), h + 2);
    // Unknown category.
    CRecordFileIndex other(static_cast<emRecFileType>(3));
    EXPECT_EQ(other.GetFileInfoAsJSON(buf, sizeof(buf)), -2);
    EXPECT_EQ(other.GetFileInfoAsJSON(buf, sizeof(buf), kRT, 0), -2);
}

TEST(RecordIndexJson, CommonVideoExactForms)
{
    CRecordFileIndex idx(emRecFileType_CommonVideo);
    ASSERT_TRUE(idx.AddRecFile(kRT, 180u, 1080 << 16, 150000000ul));
    ASSERT_TRUE(idx.AddRecFileTitle(kRT, 0, 25000ul));
    ASSERT_TRUE(idx.AddRecFileTimestamp(kRT, 0, 400000ul));
    ASSERT_TRUE(idx.AddRecFile(T(180), 180u, (720 << 16) | (2 << 8) | 1, 4294967295ul));
    const std::string first =
        "{\"filename\":\"20240105083000_180.MP4\",\"duration\":180,\"filesize\":150000000,"
        "\"title\":\"20240105083000.JPG\",\"titlesize\":25000,\"thumb\":\"20240105083000.TGZ\","
        "\"thumbsize\":400000,\"time\":\"20240105083000\"}";
    // Without title or archive: empty strings and zero sizes.
    const std::string second =
        "{\"filename\":\"20240105083300_180(2)_720p_P.MP4\",\"duration\":180,\"filesize\":4294967295,"
        "\"title\":\"\",\"titlesize\":0,\"thumb\":\"\",\"thumbsize\":0,\"time\":\"20240105083300\"}";
    EXPECT_EQ(One(idx, kRT, 0), kCommonHead + first + "]}");
    EXPECT_EQ(List(idx), kCommonHead + second + "," + first + "]}");
    ExpectExactBoundary(kCommonHead + second + "," + first + "]}",
                        [&](char* b, int len) { return idx.GetFileInfoAsJSON(b, len); });
    ExpectExactBoundary(kCommonHead + first + "]}",
                        [&](char* b, int len) { return idx.GetFileInfoAsJSON(b, len, kRT, 0); });
}

TEST(RecordIndexJson, AlarmVideoExactForms)
{
    CRecordFileIndex idx(emRecFileType_AlarmVideo);
    const unsigned ga = emRecordTriggerType_GestureAlarm | emRecordTriggerType_AcceleratorAlarm;
    ASSERT_TRUE(idx.AddRecFile(kRT, 10u, 1080 << 16, 5000ul, ga));
    ASSERT_TRUE(idx.AddRecFileTitle(kRT, 0, 30ul));
    CAssociatedData* a = Record('A', kRT, 0, "$GPRMC,083000.00,A");
    a->SetNext(Record('G', T(3), 1, ""));
    ASSERT_TRUE(idx.AddRecAssociatedData(kRT, 0, a));
    ASSERT_TRUE(idx.AddRecFile(T(60), 11u, 1080 << 16, 6000ul, 1u));  // common bit only
    const std::string first =
        "{\"filename\":\"20240105083000_10.MP4\",\"duration\":10,\"filesize\":5000,"
        "\"title\":\"20240105083000.JPG\",\"titlesize\":30,\"trigger\":\"GA\",\"associateddata\":["
        "{\"image\":\"A20240105083000.JPG\",\"position\":\"$GPRMC,083000.00,A\"},"
        "{\"image\":\"G20240105083003(1).JPG\",\"position\":\"\"}],\"time\":\"20240105083000\"}";
    const std::string second =
        "{\"filename\":\"20240105083100_11.MP4\",\"duration\":11,\"filesize\":6000,\"title\":\"\","
        "\"titlesize\":0,\"trigger\":\"U\",\"associateddata\":[],\"time\":\"20240105083100\"}";
    EXPECT_EQ(One(idx, kRT, 0), kAlarmHead + first + "]}");
    EXPECT_EQ(List(idx), kAlarmHead + second + "," + first + "]}");
    ExpectExactBoundary(kAlarmHead + second + "," + first + "]}",
                        [&](char* b, int len) { return idx.GetFileInfoAsJSON(b, len); });
}

TEST(RecordIndexJson, TriggerLetters)
{
    const struct {
        unsigned bits;
        const char* text;
    } cases[] = {{0, "U"},     {1, "U"},      {2, "G"},     {4, "A"},       {6, "GA"},     {8, "M"},
                 {16, "V"},    {32, "R"},     {64, "W"},    {127, "GAMVRW"}, {0x80, "U"}, {0xFFFFFFFF, "GAMVRW"},
                 {96, "RW"},   {0x19, "MV"}};
    for (const auto& c : cases) {
        char text[RECORD_TRIGGER_TEXT_SIZE];
        XGetTriggerText(c.bits, text);
        EXPECT_STREQ(text, c.text) << c.bits;
    }
}

TEST(RecordIndexJson, ImageExactFormsAndLettersOutsideAZ)
{
    CRecordFileIndex idx(emRecFileType_AlarmImage);
    ASSERT_TRUE(idx.AddRecFile(kRT, 0u, 'A', 0, 200000ul));
    ASSERT_TRUE(idx.AddRecFile(kRT, 0u, 'G', 1, 300000ul));
    ASSERT_TRUE(idx.AddRecFile(T(1), 0u, '"', 0, 1ul));
    const std::string a = "{\"filename\":\"A20240105083000.JPG\",\"filesize\":200000,\"time\":\"20240105083000\"}";
    const std::string g = "{\"filename\":\"G20240105083000(1).JPG\",\"filesize\":300000,\"time\":\"20240105083000\"}";
    const std::string q = "{\"filename\":\"U20240105083001.JPG\",\"filesize\":1,\"time\":\"20240105083001\"}";
    EXPECT_EQ(List(idx), kImageHead + q + "," + g + "," + a + "]}");
    EXPECT_EQ(One(idx, kRT, 1), kImageHead + g + "]}");
    EXPECT_EQ(One(idx, kRT, 0, 'A'), kImageHead + a + "]}");
    ExpectExactBoundary(kImageHead + q + "," + g + "," + a + "]}",
                        [&](char* b, int len) { return idx.GetFileInfoAsJSON(b, len); });
}

TEST(RecordIndexJson, MissingFilePrintsFindError)
{
    CRecordFileIndex idx(emRecFileType_AlarmImage);
    char buf[1024];
    testing::internal::CaptureStdout();
    EXPECT_EQ(idx.GetFileInfoAsJSON(buf, sizeof(buf), kRT, 3), -1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("FIND ERROR[2024/0001/0005 08:30:00 (3)].\n"), std::string::npos) << out;
}

TEST(RecordIndexJson, AssociatedDataObject)
{
    CAssociatedData d;
    d.SetRecType('M');
    d.SetRecTime(kRT);
    d.SetGPSPosition("pos");
    char buf[256];
    EXPECT_EQ(d.GetFileInfoAsJSON(buf, 127), -1);
    const std::string want = "{\"image\":\"M20240105083000.JPG\",\"position\":\"pos\"}";
    EXPECT_EQ(d.GetFileInfoAsJSON(buf, 128), static_cast<int>(want.size()));
    EXPECT_EQ(std::string(buf), want);
    d.SetRecIndex(12);
    d.SetRecType('z');
    EXPECT_GT(d.GetFileInfoAsJSON(buf, sizeof(buf)), 0);
    EXPECT_EQ(std::string(buf), "{\"image\":\"U20240105083000(12).JPG\",\"position\":\"pos\"}");
    // 63 quotes escape to 126 characters: more than 128 bytes, refused whole.
    d.SetGPSPosition(std::string(63, '"').c_str());
    EXPECT_EQ(d.GetFileInfoAsJSON(buf, 128), -1);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_GT(d.GetFileInfoAsJSON(buf, sizeof(buf)), 128);
}

TEST(RecordIndexJson, GPSTextIsBoundedAndTerminated)
{
    CAssociatedData d;
    char raw[64];
    memset(raw, 'N', sizeof(raw));  // no terminator, as read from a file
    d.SetGPSPosition(raw, sizeof(raw));
    EXPECT_EQ(strlen(d.GetGPSPosition()), 63u);
    d.SetGPSPosition("abc\0def", 7);
    EXPECT_STREQ(d.GetGPSPosition(), "abc");
    d.SetGPSPosition(std::string(500, 'x').c_str());
    EXPECT_EQ(strlen(d.GetGPSPosition()), 63u);
    d.SetGPSPosition(nullptr);
    EXPECT_STREQ(d.GetGPSPosition(), "");
    CAssociatedData e;
    e.SetGPSPosition("$GPRMC");
    e.SetRecType('A');
    e.SetRecIndex(4);
    CAssociatedData* link = &d;
    e.SetNext(link);
    e.CopyFrom(d);
    EXPECT_EQ(e.GetNext(), link);
    EXPECT_STREQ(e.GetGPSPosition(), "");
    EXPECT_EQ(e.GetRecIndex(), 0);
}

std::string Hex(const std::string& s)
{
    std::string out = "x";
    char b[3];
    for (unsigned char c : s) {
        snprintf(b, sizeof(b), "%02x", c);
        out += b;
    }
    return out;
}

// Every document of a card with awkward contents read by python3's json.
TEST(RecordIndexJson, EveryDocumentParsesWithAnIndependentReader)
{
    const std::vector<std::string> gps = {
        "$GPRMC,083000.00,A,3150.7813,N,11711.9278,E,0.0,0.0,050124,,,A*6B",
        "quote \" and backslash \\ and both \\\"",
        std::string(63, '"'),
        std::string(63, '\\'),
        "tab\tnewline\ncr\rbell\x07 esc\x1b del\x7f",
        "\xff\xfe\x80 high bytes \xc3\xa9",
        "</script><!-- {\"a\":[1]} -->",
        "N",
    };
    CRecordFileIndex common(emRecFileType_CommonVideo);
    CRecordFileIndex alarm(emRecFileType_AlarmVideo);
    CRecordFileIndex image(emRecFileType_AlarmImage);
    std::string lines;
    std::vector<std::string> alarmPositions;
    unsigned seed = 5;
    auto rnd = [&seed](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (unsigned i = 0; i < 60; ++i) {
        const RECTIME t = T(rnd(30) * 60);
        const int index = static_cast<int>(rnd(3));
        const int packed = ((rnd(2) ? 720 : 1080) << 16) | (index << 8) | static_cast<int>(rnd(2));
        if (common.FindNode(t, index) == nullptr) {
            ASSERT_TRUE(common.AddRecFile(t, static_cast<unsigned>(rnd(200)), packed, static_cast<unsigned long>(rnd(1u << 30))));
            if (rnd(2)) common.AddRecFileTitle(t, index, 1000ul);
            if (rnd(2)) common.AddRecFileTimestamp(t, index, 2000ul);
            std::string doc = One(common, t, index);
            lines += "commonfile\t" + doc + "\t\n";
        }
    }
    lines += "commonlist\t" + List(common) + "\t\n";
    for (unsigned trig = 0; trig < 128; ++trig) {
        const RECTIME t = T(trig * 10);
        ASSERT_TRUE(alarm.AddRecFile(t, 10u, 1080 << 16, 100ul, trig));
        CAssociatedData* list = nullptr;
        std::vector<std::string> mine;
        const unsigned records = rnd(4);
        for (unsigned r = 0; r < records; ++r) {
            const std::string& text = gps[rnd(static_cast<unsigned>(gps.size()))];
            const char letters[] = {'A', 'G', 'M', 'R', 'V', 'W', 'a', '"', '\\', '\x01'};
            CAssociatedData* d = Record(letters[rnd(sizeof(letters))], t, static_cast<int>(rnd(3)), text);
            d->SetNext(list);
            list = d;
            mine.insert(mine.begin(), Hex(std::string(d->GetGPSPosition())));
        }
        if (list != nullptr) {
            ASSERT_TRUE(alarm.AddRecAssociatedData(t, 0, list));
        }
        std::string joined;
        for (const std::string& h : mine) {
            joined += (joined.empty() ? "" : ",") + h;
        }
        lines += "alarmfile\t" + One(alarm, t, 0) + "\t" + joined + "\n";
        // The list runs newest first.
        alarmPositions.insert(alarmPositions.begin(), joined);
    }
    std::string all;
    for (const std::string& j : alarmPositions) {
        if (!j.empty()) {
            all += (all.empty() ? "" : ",") + j;
        }
    }
    lines += "alarmlist\t" + List(alarm) + "\t" + all + "\n";
    const char letters[] = {'A', 'G', 'M', 'R', 'V', 'W', 'U', 'P', 'a', '"', '\\', '\x7f', '\n', '\0'};
    for (unsigned i = 0; i < sizeof(letters); ++i) {
        ASSERT_TRUE(image.AddRecFile(T(i), 0u, letters[i], static_cast<int>(i % 3), 10ul));
        lines += "imagefile\t" + One(image, T(i), static_cast<int>(i % 3)) + "\t\n";
    }
    lines += "imagelist\t" + List(image) + "\t\n";
    int status = -1;
    std::string out = XRecRunPython("RecordIndexJson_check.py", lines, &status);
    EXPECT_EQ(status, 0) << out;
    const size_t docs = static_cast<size_t>(std::count(lines.begin(), lines.end(), '\n'));
    EXPECT_NE(out.find("parsed " + std::to_string(docs) + " documents"), std::string::npos) << out;
}

}  // namespace
