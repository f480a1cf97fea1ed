// The point-list reader over small MIF/MID pairs written for each case.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "Periphery/Poiel.h"
#include "support/TestBoard.h"

namespace {

void XWriteText(const std::string& path, const std::string& text)
{
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    EXPECT_EQ(fwrite(text.data(), 1, text.size(), f), text.size());
    fclose(f);
}

std::vector<PoielInfo_t> XPoints(const CPoielInfo& poiel)
{
    std::vector<PoielInfo_t> v;
    for (const PoielInfoList_t* n = poiel.GetPoielInfoList(); n != nullptr; n = n->pNext) {
        v.push_back(n->poielInfo);
    }
    return v;
}

const char kHeader[] = "Version 300\nCharset \"WindowsSimpChinese\"\nDelimiter \",\"\nColumns 9\nData\n\n";

struct tagPointCase {
    const char* name;
    std::string mif;
    std::string mid;
    std::vector<std::vector<float>> points;  // x, y, then the nine attributes
};

class Poiel : public ::testing::Test {
protected:
    BOOL Load(CPoielInfo& poiel, const std::string& mif, const std::string& mid, std::string* out = nullptr)
    {
        XWriteText(m_Board.Dir() + "/p.mif", mif);
        XWriteText(m_Board.Dir() + "/p.mid", mid);
        testing::internal::CaptureStdout();
        const BOOL ok = poiel.OpenFile((m_Board.Dir() + "/p.mid").c_str(), (m_Board.Dir() + "/p.mif").c_str());
        const std::string o = testing::internal::GetCapturedStdout();
        if (out != nullptr) {
            *out = o;
        }
        return ok;
    }

    // Loads the case's pair and compares every point and attribute.
    void ExpectPoints(const tagPointCase& c)
    {
        SCOPED_TRACE(c.name);
        CPoielInfo poiel;
        std::string out;
        ASSERT_TRUE(Load(poiel, c.mif, c.mid, &out));
        const std::vector<PoielInfo_t> got = XPoints(poiel);
        ASSERT_EQ(got.size(), c.points.size());
        for (size_t i = 0; i < got.size(); ++i) {
            const PoielInfo_t& p = got[i];
            const std::vector<float>& e = c.points[i];
            EXPECT_FLOAT_EQ(p.piont.x, e[0]);
            EXPECT_FLOAT_EQ(p.piont.y, e[1]);
            const int attrs[] = {p.pointId, p.meshId, p.owner, p.featCode, p.roadId, p.sol, p.azimuth, p.limit, p.speech};
            for (int k = 0; k < 9; ++k) {
                EXPECT_EQ(attrs[k], static_cast<int>(e[2 + k])) << "point " << i << " field " << k + 1;
            }
        }
        // The whole list is printed at the end, a line a point.
        size_t lines = 0;
        for (char ch : out) {
            lines += ch == '\n';
        }
        EXPECT_EQ(lines, got.size()) << out;
    }

    CTestBoard m_Board;
};

TEST_F(Poiel, ReadsPointsWithTheirAttributes)
{
    const std::string prefix = "7,1,2,\"3\",4,5,\"6\",\"60\",\"9\",";
    const std::string longMid = prefix + std::string(255 - prefix.size(), 'z');
    const tagPointCase cases[] = {
        {"two points", std::string(kHeader) + "Point 116.397 39.908\n    Symbol (35,0,12)\n  Point 121.5 31.25\n",
         "1,595673,0,\"1201\",77,1,\"180\",\"60\",\"12\"\n2, 595674 ,0,\"1202\",78,0,\"90\",\"80\",\"13\"\n",
         {{116.397f, 39.908f, 1, 595673, 0, 1201, 77, 1, 180, 60, 12},
          {121.5f, 31.25f, 2, 595674, 0, 1202, 78, 0, 90, 80, 13}}},
        {"fewer MID lines than points", std::string(kHeader) + "Point 1.5 2.5\nPoint 3.5 4.5\nPoint 5.5 6.5\n",
         "1,2,3,\"4\",5,6,\"7\",\"8\",\"9\"\n",
         {{1.5f, 2.5f, 1, 2, 3, 4, 5, 6, 7, 8, 9}}},
        {"a double space", "Point  116.5 39.9\n", "1,2,3,\"4\",5,6,\"7\",\"8\",\"9\"\n",
         {{0.0f, 116.5f, 1, 2, 3, 4, 5, 6, 7, 8, 9}}},
        {"short MID lines", "Point 1 2\nPoint 3 4\nPoint 5 6\n",
         "11,12,13,\"14\"\n21,22,23,4,25,26,7,,\n\n",
         {{1, 2, 11, 12, 13, 14, 0, 0, 0, 0, 0}, {3, 4, 21, 22, 23, 0, 25, 26, 0, 0, 0},
          {5, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0}}},
        {"a 255-character line", "Point 8 9\nPoint 10 11\n", longMid + "\n" + "2,0,0,\"0\",0,0,\"0\",\"0\",\"0\"\n",
         {{8, 9, 7, 1, 2, 3, 4, 5, 6, 60, 9}, {10, 11, 2, 0, 0, 0, 0, 0, 0, 0, 0}}},
        {"longer lines lose their tail", "Point 8 9 " + std::string(400, '9') + "\nPoint 10 11\n",
         "1,2,3,\"4\",5,6,\"7\",\"8\",\"9\"" + std::string(400, ' ') + "\n2\n",
         {{8, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {10, 11, 2, 0, 0, 0, 0, 0, 0, 0, 0}}},
    };
    for (const tagPointCase& c : cases) {
        ExpectPoints(c);
    }
}

TEST_F(Poiel, ALineWithANulByteIsOneBadLine)
{
    using namespace std::string_literals;
    const std::string three = "Point 1 2\nPoint 3 4\nPoint 5 6\n";
    const std::string attrs = "1,1,1,\"1\",1,1,\"1\",\"1\",\"1\"\n2\n3\n";
    const std::vector<std::vector<float>> lastTwo = {{3, 4, 2, 0, 0, 0, 0, 0, 0, 0, 0},
                                                     {5, 6, 3, 0, 0, 0, 0, 0, 0, 0, 0}};
    const tagPointCase cases[] = {
        {"MIF: a NUL ending another line", "a\0\nPoint 1 2\n"s, "1\n", {{1, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0}}},
        {"MIF: a NUL starting a point", "\0"s + three, attrs, lastTwo},
        {"MIF: a NUL inside a point", "Point 1\0 2\nPoint 3 4\nPoint 5 6\n"s, attrs, lastTwo},
        {"MIF: a NUL ending a point", "Point 1 2\0\nPoint 3 4\nPoint 5 6\n"s, attrs, lastTwo},
        {"MID: a NUL starting a line", three, "\0"s + attrs, lastTwo},
        {"MID: a NUL inside a line", three, "1,1,1,\"1\0\",1,1,\"1\",\"1\",\"1\"\n2\n3\n"s, lastTwo},
        {"MID: a NUL ending a line", three, "1,1,1,\"1\",1,1,\"1\",\"1\",\"1\"\0\r\n2\n3\n"s, lastTwo},
        {"MIF: a line of NULs before the last line", "Point 1 2\n\0\0\0\nPoint 3 4"s, "1\n2\n",
         {{1, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0}, {3, 4, 2, 0, 0, 0, 0, 0, 0, 0, 0}}},
    };
    for (const tagPointCase& c : cases) {
        ExpectPoints(c);
    }
    CPoielInfo poiel;
    ASSERT_TRUE(Load(poiel, "Delimiter \"\0;\"\n"s, ""));
    EXPECT_STREQ(poiel.GetDelimiter(), "");
}

TEST_F(Poiel, PrintsEachPointAndKeepsTheDelimiter)
{
    CPoielInfo poiel;
    std::string out;
    ASSERT_TRUE(Load(poiel, std::string(kHeader) + "Point 116.5 39.25\n", "1,595673,0,\"1201\",77,1,\"180\",\"60\",\"12\"\n",
                     &out));
    EXPECT_EQ(out, "116.500000  39.250000  1  595673  0  1201  77  1  180  60  12 \n");
    EXPECT_STREQ(poiel.GetDelimiter(), "\",\"");
    CPoielInfo longDelimiter;
    ASSERT_TRUE(Load(longDelimiter, "Delimiter \"::::\"\n", ""));
    EXPECT_STREQ(longDelimiter.GetDelimiter(), "\"::");
    EXPECT_EQ(longDelimiter.GetPoielInfoList(), nullptr);
}

TEST_F(Poiel, FindsExactCoordinatesOnly)
{
    CPoielInfo poiel;
    ASSERT_TRUE(Load(poiel, "Point 116.397 39.908\nPoint 121.5 31.25\n", "1\n2\n"));
    PoielInfoList_t* hit = poiel.FindPoielInfoList(poiel.GetPoielInfoList(), 121.5f, 31.25f);
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(hit->poielInfo.pointId, 2);
    testing::internal::CaptureStdout();
    EXPECT_EQ(poiel.FindPoielInfoList(poiel.GetPoielInfoList(), std::nextafter(116.397f, 200.0f), 39.908f), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "NOT FOUND !\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(poiel.FindPoielInfoList(nullptr, 1, 2), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("PoielInfoList phead is null ."), std::string::npos);
}

TEST_F(Poiel, ConvertsNmeaCoordinates)
{
    CPoielInfo poiel;
    float x = 0, y = 0;
    ASSERT_TRUE(poiel.GPSCoordinateToMap(3954.5f, 11623.82f, &x, &y));
    EXPECT_NEAR(x, 39.908333f, 1e-5);
    EXPECT_NEAR(y, 116.397f, 1e-4);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(poiel.GPSCoordinateToMap(1, 2, &x, nullptr));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("mapX or mapY is null."), std::string::npos);

    const struct {
        float value;
        bool ok;
        float degrees;
    } cases[] = {
        {18000.0f, true, 180.0f},   {-3954.5f, true, -39.908333f}, {0.0f, true, 0.0f},
        {5959.99f, true, 59.99983f}, {1e30f, false, 0},            {-1e30f, false, 0},
        {INFINITY, false, 0},       {-INFINITY, false, 0},         {NAN, false, 0},
        {18000.5f, false, 0},       {18100.0f, false, 0},          {3960.0f, false, 0},
        {-9999.0f, false, 0},
    };
    // standard error is left alone here: a sanitizer report stays in sight
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        for (int axis = 0; axis < 2; ++axis) {
            float mx = -1;
            float my = -1;
            const BOOL ok = axis == 0 ? poiel.GPSCoordinateToMap(c.value, 3954.5f, &mx, &my)
                                      : poiel.GPSCoordinateToMap(3954.5f, c.value, &mx, &my);
            ASSERT_EQ(ok, c.ok ? TRUE : FALSE) << "axis " << axis;
            if (c.ok) {
                EXPECT_NEAR(axis == 0 ? mx : my, c.degrees, 1e-4) << "axis " << axis;
            } else {
                EXPECT_EQ(mx, -1.0f);  // the outputs stay as they were
                EXPECT_EQ(my, -1.0f);
            }
        }
    }
    testing::internal::CaptureStderr();
    EXPECT_FALSE(poiel.GPSCoordinateToMap(3954.5f, NAN, &x, &y));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("gpsX or gpsY is no coordinate"), std::string::npos) << err;
}

TEST_F(Poiel, OpenErrorsAndTheBoardFiles)
{
    CPoielInfo poiel;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(poiel.Init());  // no /root/poiel on a fresh board
    EXPECT_FALSE(poiel.OpenFile(nullptr, "x.mif"));
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(err.find("fopen() error !"), std::string::npos);
    EXPECT_NE(err.find("open file error."), std::string::npos);
    EXPECT_NE(out.find("fnameMid: " + m_Board.Path("/root/poiel/Poiel.mid") + "\n fnameMif: " +
                       m_Board.Path("/root/poiel/Poiel.mif") + "\n"),
              std::string::npos)
        << out;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(poiel.ParseFile(nullptr, nullptr));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("fp_mid or fp_mif is null !"), std::string::npos);

    mkdir(m_Board.Path("/root/poiel").c_str(), 0755);
    XWriteText(m_Board.Path("/root/poiel/Poiel.mif"), "Point 1 2\n");
    XWriteText(m_Board.Path("/root/poiel/Poiel.mid"), "5,0,0,\"0\",0,0,\"0\",\"0\",\"0\"\n");
    testing::internal::CaptureStdout();
    EXPECT_TRUE(poiel.Init());
    testing::internal::GetCapturedStdout();
    ASSERT_NE(poiel.GetPoielInfoList(), nullptr);
    EXPECT_EQ(poiel.GetPoielInfoList()->poielInfo.pointId, 5);
}

TEST(PoielParseLine, BoundsTheSegment)
{
    CPoielInfo poiel;
    char seg[8];
    const char* rest = nullptr;
    EXPECT_TRUE(poiel.ParseLine("a b,cd", seg, sizeof(seg), &rest, ","));
    EXPECT_STREQ(seg, "ab");
    EXPECT_STREQ(rest, "cd");
    EXPECT_TRUE(poiel.ParseLine(rest, seg, sizeof(seg), &rest, ","));
    EXPECT_STREQ(seg, "cd");
    EXPECT_EQ(rest, nullptr);
    EXPECT_TRUE(poiel.ParseLine("0123456789abc,z", seg, sizeof(seg), &rest, ","));
    EXPECT_STREQ(seg, "0123456");
    EXPECT_STREQ(rest, "z");
    EXPECT_TRUE(poiel.ParseLine("x,", seg, sizeof(seg), &rest, ","));
    EXPECT_STREQ(rest, "");
    EXPECT_FALSE(poiel.ParseLine("", seg, sizeof(seg), &rest, ","));
    EXPECT_FALSE(poiel.ParseLine(nullptr, seg, sizeof(seg), &rest, ","));
}

}  // namespace
