// The built-in glyph sets and logos: their figures, their artwork, the
// generated arrays against the data files, and the glyph map's parser.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "OSD/CharImageDataBase.h"
#include "OSD/ImageDataBase.h"
#include "OSD/ImageOSD.h"
#include "OSD/TextOSD.h"
#include "Platform/MediaSim.h"
#include "support/TestBoard.h"

namespace {

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string DataDir()
{
    return std::string(DASHCAM_SOURCE_DIR) + "/OSD/data/";
}

struct tagSet {
    int size;
    const unsigned char* data;
    unsigned bytes;
    unsigned expectBytes;
    size_t glyphs;
    unsigned widestDigit;
    unsigned minWidth;
    unsigned maxWidth;
    const char* file;
};

const tagSet kSets[] = {
    {16, g_CharImageDataBase16, GetCharImageDataBase16Size(), 17788, 53, 10, 4, 16, "CharImageDataBase16.bin"},
    {32, g_CharImageDataBase32, GetCharImageDataBase32Size(), 69244, 53, 22, 8, 30, "CharImageDataBase32.bin"},
    {48, g_CharImageDataBase48, GetCharImageDataBase48Size(), 150960, 52, 32, 12, 46, "CharImageDataBase48.bin"},
};

const std::string kAllChars = "0123456789ABCDEFGHIKLMNOPQRSTVWXaceghiklmnortuvxz-:/ ";

uint16_t Pixel(const CharImageDataBaseInfoData& g, unsigned x, unsigned y)
{
    const uint8_t* p = g.data + y * g.info.mem_align + 2 * x;
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

TEST(ImageDataBase, SizesAreTheArrays)
{
    EXPECT_EQ(17788u, GetCharImageDataBase16Size());
    EXPECT_EQ(69244u, GetCharImageDataBase32Size());
    EXPECT_EQ(150960u, GetCharImageDataBase48Size());
    EXPECT_EQ(1416u, GetLogoImageDataBase16Size());
    EXPECT_EQ(6024u, GetLogoImageDataBase32Size());
    EXPECT_EQ(13832u, GetLogoImageDataBase48Size());
    EXPECT_EQ(1224u, GetSubLogoImageDataBase16Size());
    EXPECT_EQ(4872u, GetSubLogoImageDataBase32Size());
    EXPECT_EQ(10760u, GetSubLogoImageDataBase48Size());
}

TEST(ImageDataBase, ArraysEqualTheDataFilesAndTheGenerator)
{
    const struct {
        const unsigned char* data;
        unsigned size;
        const char* file;
    } arrays[] = {
        {g_CharImageDataBase16, GetCharImageDataBase16Size(), "CharImageDataBase16.bin"},
        {g_CharImageDataBase32, GetCharImageDataBase32Size(), "CharImageDataBase32.bin"},
        {g_CharImageDataBase48, GetCharImageDataBase48Size(), "CharImageDataBase48.bin"},
        {g_LogoImageDataBase16, GetLogoImageDataBase16Size(), "LogoImageDataBase16.bin"},
        {g_LogoImageDataBase32, GetLogoImageDataBase32Size(), "LogoImageDataBase32.bin"},
        {g_LogoImageDataBase48, GetLogoImageDataBase48Size(), "LogoImageDataBase48.bin"},
    };
    CTestBoard board;  // a scratch folder
    int status = -1;
    const std::string out = XTestRun(std::string(DASHCAM_PYTHON " ") + DataDir() + "gen_osd_data.py " + board.Dir(),
                                     &status);
    ASSERT_EQ(0, status) << out;
    for (const auto& a : arrays) {
        SCOPED_TRACE(a.file);
        const std::vector<uint8_t> file = ReadFile(DataDir() + a.file);
        EXPECT_EQ(std::vector<uint8_t>(a.data, a.data + a.size), file);
        EXPECT_EQ(file, ReadFile(board.Dir() + "/" + a.file)) << "the generator's output differs";
    }
}

TEST(ImageDataBase, GlyphSetsHoldTheirCharactersAndWidths)
{
    for (const tagSet& s : kSets) {
        SCOPED_TRACE(s.size);
        EXPECT_EQ(s.expectBytes, s.bytes);
        CCharImageDataBase db;
        ASSERT_TRUE(db.ParseData(s.data, s.bytes));
        // the 48-px set's empty records fall on key 0
        EXPECT_EQ(s.glyphs + (s.size == 48 ? 1 : 0), db.GetCount());
        EXPECT_EQ(static_cast<unsigned>(s.size), db.GetMaxHeight());
        EXPECT_EQ(s.maxWidth, db.GetMaxWidth());
        unsigned minWidth = 1000;
        unsigned widestDigit = 0;
        for (char c : kAllChars) {
            const CharImageDataBaseInfoData* g = db.FindData(static_cast<uint16_t>(c));
            if (s.size == 48 && c == 'L') {
                EXPECT_EQ(nullptr, g);
                continue;
            }
            ASSERT_NE(nullptr, g) << c;
            EXPECT_EQ(static_cast<uint16_t>(c), g->info.utf16);
            EXPECT_EQ(static_cast<uint8_t>(c), g->info.utf8[0]);
            EXPECT_EQ(0, g->info.utf8[1]);
            EXPECT_EQ(s.size, g->info.height);
            EXPECT_GE(g->info.mem_align, 2u * g->info.width) << c;
            minWidth = std::min<unsigned>(minWidth, g->info.width);
            if (c >= '0' && c <= '9') {
                widestDigit = std::max<unsigned>(widestDigit, g->info.width);
            }
            // white strokes at least 2 px wide: every lit pixel lies in a lit 2 x 2
            for (unsigned y = 0; y < g->info.height; ++y) {
                for (unsigned x = 0; x < g->info.width; ++x) {
                    const uint16_t p = Pixel(*g, x, y);
                    if (p == 0) {
                        continue;
                    }
                    ASSERT_EQ(0xFFFF, p) << c << " at " << x << "," << y;
                    auto lit = [&](int xx, int yy) {
                        return xx >= 0 && yy >= 0 && xx < g->info.width && yy < g->info.height &&
                               Pixel(*g, static_cast<unsigned>(xx), static_cast<unsigned>(yy)) != 0;
                    };
                    BOOL inBlock = FALSE;
                    for (int dy = -1; dy <= 0 && !inBlock; ++dy) {
                        for (int dx = -1; dx <= 0 && !inBlock; ++dx) {
                            const int bx = static_cast<int>(x) + dx;
                            const int by = static_cast<int>(y) + dy;
                            inBlock = lit(bx, by) && lit(bx + 1, by) && lit(bx, by + 1) && lit(bx + 1, by + 1);
                        }
                    }
                    ASSERT_TRUE(inBlock) << c << " at " << x << "," << y;
                }
            }
        }
        EXPECT_EQ(s.minWidth, minWidth);
        EXPECT_EQ(s.widestDigit, widestDigit);
        EXPECT_EQ(nullptr, db.FindData('?'));
        EXPECT_EQ(nullptr, db.FindData('Y'));
    }
}

TEST(ImageDataBase, RegionWidthsAndLogos)
{
    XMediaSimReset();
    const struct {
        emOSDSize size;
        unsigned timestamp;
        unsigned speed;
        unsigned height;
        unsigned logoW;
        unsigned logoH;
        unsigned regionW;
    } rows[] = {
        {emOSDSize_Small, 192, 80, 16, 44, 16, 48},
        {emOSDSize_Medium, 400, 176, 32, 94, 32, 96},
        {emOSDSize_Big, 576, 256, 48, 144, 48, 144},
    };
    RGN_HANDLE h = 0;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.timestamp);
        CTextOSD ts(r.size, emTextOSDType_Timestamp);
        CTextOSD sp(r.size, emTextOSDType_GPSSpeed);
        CImageOSD logo(r.size, emImageOSDType_Logo);
        ASSERT_TRUE(ts.CreateRgn(h++));
        ASSERT_TRUE(sp.CreateRgn(h++));
        ASSERT_TRUE(logo.CreateRgn(h++));
        EXPECT_EQ(r.timestamp, ts.GetWidth());
        EXPECT_EQ(r.height, ts.GetHeight());
        EXPECT_EQ(r.speed, sp.GetWidth());
        EXPECT_EQ(r.height, sp.GetHeight());
        EXPECT_EQ(r.logoW, logo.GetLogoInfo().width);
        EXPECT_EQ(r.logoH, logo.GetLogoInfo().height);
        EXPECT_EQ(r.regionW, logo.GetWidth());
        EXPECT_EQ(r.logoH, logo.GetHeight());
        ts.DestroyRgn();
        sp.DestroyRgn();
        logo.DestroyRgn();
    }
    testing::internal::CaptureStdout();
    CImageOSD other(emOSDSize_Small, emImageOSDType_SubLogo);
    EXPECT_FALSE(other.CreateRgn(20));
    EXPECT_EQ("Invalid Logo Size.\n", testing::internal::GetCapturedStdout());
    XMediaSimReset();
}

TEST(ImageDataBase, LogosAreFlatBlocksOfAtLeastEightPixels)
{
    const unsigned char* logos[] = {g_LogoImageDataBase16, g_LogoImageDataBase32, g_LogoImageDataBase48};
    for (const unsigned char* l : logos) {
        const unsigned w = l[0] | (l[1] << 8) | (l[2] << 16) | (static_cast<unsigned>(l[3]) << 24);
        const unsigned h = l[4] | (l[5] << 8) | (l[6] << 16) | (static_cast<unsigned>(l[7]) << 24);
        SCOPED_TRACE(w);
        auto px = [&](unsigned x, unsigned y) {
            const unsigned char* p = l + 8 + 2 * (y * w + x);
            return static_cast<uint16_t>(p[0] | (p[1] << 8));
        };
        // every pixel lies in an 8 x 8 square of its own colour
        for (unsigned y = 0; y < h; ++y) {
            for (unsigned x = 0; x < w; ++x) {
                BOOL found = FALSE;
                for (unsigned by = y >= 7 ? y - 7 : 0; by <= y && by + 8 <= h && !found; ++by) {
                    for (unsigned bx = x >= 7 ? x - 7 : 0; bx <= x && bx + 8 <= w && !found; ++bx) {
                        BOOL flat = TRUE;
                        for (unsigned yy = by; yy < by + 8 && flat; ++yy) {
                            for (unsigned xx = bx; xx < bx + 8 && flat; ++xx) {
                                flat = px(xx, yy) == px(x, y);
                            }
                        }
                        found = flat;
                    }
                }
                ASSERT_TRUE(found) << x << "," << y;
                ASSERT_NE(0, px(x, y) & 0x8000) << "opaque";
            }
        }
    }
}

// One record: header then height x align bytes of pixels (value `fill`).
std::vector<uint8_t> Record(uint16_t code, uint16_t w, uint16_t h, uint16_t align, uint8_t fill = 0x11)
{
    std::vector<uint8_t> r = {static_cast<uint8_t>(code & 0x7F), 0, 0, 0};
    for (uint16_t v : {code, w, h, align}) {
        r.push_back(static_cast<uint8_t>(v & 0xFF));
        r.push_back(static_cast<uint8_t>(v >> 8));
    }
    r.insert(r.end(), static_cast<size_t>(h) * align, fill);
    return r;
}

std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> out;
    for (const auto& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

std::vector<uint8_t> Cut(std::vector<uint8_t> v, size_t n)
{
    v.resize(v.size() - n);
    return v;
}

TEST(CharImageDataBase, ParseDataCases)
{
    const struct {
        const char* name;
        std::vector<uint8_t> data;
        BOOL ok;
        size_t count;
        unsigned maxW;
        unsigned maxH;
    } cases[] = {
        {"two records", Cat({Record('a', 3, 4, 6), Record('b', 5, 2, 12)}), TRUE, 2, 5, 4},
        {"a record cut short", Cat({Record('a', 3, 4, 6), Cut(Record('b', 5, 2, 12), 1)}), FALSE, 1, 3, 4},
        {"a repeated key: the last wins", Cat({Record('a', 3, 4, 6, 0x11), Record('a', 7, 4, 14, 0x22)}), TRUE, 1, 7,
         4},
        {"empty records on key 0", Cat({Record('a', 3, 4, 6), Record(0, 0, 0, 0), Record(0, 0, 0, 0),
                                        Record(0, 0, 0, 0)}),
         TRUE, 2, 3, 4},
        {"twelve bytes or fewer left are not a record", Cat({Record('a', 3, 4, 6), std::vector<uint8_t>(12, 0)}),
         TRUE, 1, 3, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CCharImageDataBase db;
        testing::internal::CaptureStderr();
        EXPECT_EQ(c.ok, db.ParseData(c.data.data(), static_cast<unsigned>(c.data.size())));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(c.ok ? std::string::npos : 0u, err.find("Error[")) << err;
        if (!c.ok) {
            EXPECT_NE(std::string::npos, err.find("]: INVALID IMAGE DATABASE.\n"));
        }
        EXPECT_EQ(c.count, db.GetCount());
        EXPECT_EQ(c.maxW, db.GetMaxWidth());
        EXPECT_EQ(c.maxH, db.GetMaxHeight());
    }
    // the last record of a code is the one found, its pixels in place
    const std::vector<uint8_t> twice = Cat({Record('a', 3, 4, 6, 0x11), Record('a', 7, 4, 14, 0x22)});
    CCharImageDataBase db;
    ASSERT_TRUE(db.ParseData(twice.data(), static_cast<unsigned>(twice.size())));
    const CharImageDataBaseInfoData* g = db.FindData('a');
    ASSERT_NE(nullptr, g);
    EXPECT_EQ(7, g->info.width);
    EXPECT_EQ(twice.data() + Record('a', 3, 4, 6).size() + 12, g->data);
}

TEST(CharImageDataBase, FindFallsBackToQuestionMarks)
{
    const std::vector<uint8_t> full = Cat({Record('a', 3, 4, 6), Record('?', 4, 4, 8), Record(0xFF1F, 5, 4, 10)});
    const std::vector<uint8_t> wide = Cat({Record('a', 3, 4, 6), Record(0xFF1F, 5, 4, 10)});
    CCharImageDataBase a;
    CCharImageDataBase b;
    ASSERT_TRUE(a.ParseData(full.data(), static_cast<unsigned>(full.size())));
    ASSERT_TRUE(b.ParseData(wide.data(), static_cast<unsigned>(wide.size())));
    EXPECT_EQ(3, a.FindData('a')->info.width);
    EXPECT_EQ(4, a.FindData('Y')->info.width);
    EXPECT_EQ(5, b.FindData('Y')->info.width);
}

}  // namespace
