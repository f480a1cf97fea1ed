// Overlay regions of the simulated board: the call rules and the blending
// into a small NV12 picture, pixel by pixel.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Platform/MediaSim.h"
#include "Platform/MpiRgn.h"
#include "Platform/RgnSim.h"
#include "Platform/host/media/RgnCompositor.h"

namespace {

constexpr uint16_t kRed = 0xFC00;    // Y 82, U 90, V 240
constexpr uint16_t kBlue = 0x801F;   // Y 41, U 240, V 110
constexpr uint16_t kWhite = 0xFFFF;  // Y 235, U 128, V 128
constexpr uint16_t kClearRed = 0x7C00;  // red without the alpha bit

constexpr int kW = 16;
constexpr int kH = 8;

// A 16 x 8 NV12 picture of Y 100, U 128, V 128.
struct tagNv12 {
    std::vector<uint8_t> y = std::vector<uint8_t>(kW * kH, 100);
    std::vector<uint8_t> uv = std::vector<uint8_t>(kW * kH / 2, 128);
    tagRgnPicture Pic() { return {y.data(), kW, uv.data(), uv.data() + 1, kW, 2, kW, kH}; }
    int Y(int x, int yy) const { return y[yy * kW + x]; }
    int U(int cx, int cy) const { return uv[cy * kW + 2 * cx]; }
    int V(int cx, int cy) const { return uv[cy * kW + 2 * cx + 1]; }
};

MPP_CHN_S Venc(int chn) { return {HI_ID_VENC, 0, chn}; }

HI_S32 Create(RGN_HANDLE h, uint32_t w, uint32_t hgt)
{
    RGN_ATTR_S a;
    memset(&a, 0, sizeof(a));
    a.enType = OVERLAY_RGN;
    a.unAttr.stOverlay.enPixelFmt = PIXEL_FORMAT_RGB_1555;
    a.unAttr.stOverlay.stSize = {w, hgt};
    return HI_MPI_RGN_Create(h, &a);
}

RGN_CHN_ATTR_S ChnAttr(int x, int y, uint32_t layer, uint32_t alpha, BOOL show)
{
    RGN_CHN_ATTR_S a;
    memset(&a, 0, sizeof(a));
    a.bShow = show;
    a.enType = OVERLAY_RGN;
    a.unChnAttr.stOverlayChn.stPoint = {x, y};
    a.unChnAttr.stOverlayChn.u32FgAlpha = alpha;
    a.unChnAttr.stOverlayChn.u32Layer = layer;
    return a;
}

HI_S32 Attach(RGN_HANDLE h, int chn, int x, int y, uint32_t layer = 0, uint32_t alpha = 128, BOOL show = TRUE)
{
    const MPP_CHN_S c = Venc(chn);
    const RGN_CHN_ATTR_S a = ChnAttr(x, y, layer, alpha, show);
    return HI_MPI_RGN_AttachToChn(h, &c, &a);
}

// A w x h bitmap of one colour, rows of round-up(2w, 4) bytes.
std::vector<uint8_t> Fill(uint32_t w, uint32_t h, uint16_t colour)
{
    const size_t stride = (w * 2 + 3) & ~3u;
    std::vector<uint8_t> b(stride * h, 0xEE);  // padding that must not be read as pixels
    for (uint32_t r = 0; r < h; ++r) {
        for (uint32_t c = 0; c < w; ++c) {
            b[r * stride + 2 * c] = static_cast<uint8_t>(colour & 0xFF);
            b[r * stride + 2 * c + 1] = static_cast<uint8_t>(colour >> 8);
        }
    }
    return b;
}

HI_S32 SetBitMap(RGN_HANDLE h, uint32_t w, uint32_t hgt, std::vector<uint8_t>& pixels)
{
    BITMAP_S b = {PIXEL_FORMAT_RGB_1555, w, hgt, pixels.data()};
    return HI_MPI_RGN_SetBitMap(h, &b);
}

class MpiRgnTest : public ::testing::Test {
protected:
    void SetUp() override { XMediaSimReset(); }
    void TearDown() override { XMediaSimReset(); }
};

struct tagProbe {
    int x;
    int y;
    int value;
};

struct tagComposeCase {
    const char* name;
    void (*setup)();
    int chn;                         // channel composed
    std::vector<tagProbe> luma;      // Y at (x, y)
    std::vector<tagProbe> u;         // U at chroma (cx, cy)
    std::vector<tagProbe> v;
};

void Region(RGN_HANDLE h, uint32_t w, uint32_t hgt, uint16_t colour, int chn, int x, int y, uint32_t layer = 0,
            uint32_t alpha = 128, BOOL show = TRUE)
{
    ASSERT_EQ(HI_SUCCESS, Create(h, w, hgt));
    ASSERT_EQ(HI_SUCCESS, Attach(h, chn, x, y, layer, alpha, show));
    std::vector<uint8_t> px = Fill(w, hgt, colour);
    ASSERT_EQ(HI_SUCCESS, SetBitMap(h, w, hgt, px));
}

const std::vector<tagComposeCase>& ComposeCases()
{
    static const std::vector<tagComposeCase> cases = {
        {"opaque at 128", [] { Region(1, 4, 2, kRed, 0, 2, 2); }, 0,
         {{2, 2, 82}, {5, 3, 82}, {1, 2, 100}, {6, 2, 100}, {2, 4, 100}},
         {{1, 1, 90}, {2, 1, 90}, {0, 1, 128}, {3, 1, 128}},
         {{1, 1, 240}, {2, 1, 240}, {0, 1, 128}}},
        {"white", [] { Region(1, 4, 2, kWhite, 0, 0, 0); }, 0, {{0, 0, 235}, {3, 1, 235}}, {{0, 0, 128}}, {{0, 0, 128}}},
        {"alpha bit 0 is transparent", [] { Region(1, 4, 2, kClearRed, 0, 2, 2); }, 0,
         {{2, 2, 100}, {5, 3, 100}}, {{1, 1, 128}}, {{1, 1, 128}}},
        {"half blend at 64", [] { Region(1, 4, 2, kRed, 0, 2, 2, 0, 64); }, 0,
         {{2, 2, 91}, {5, 3, 91}}, {{1, 1, 109}}, {{1, 1, 184}}},
        {"hidden", [] { Region(1, 4, 2, kRed, 0, 2, 2, 0, 128, FALSE); }, 0, {{2, 2, 100}}, {{1, 1, 128}}, {}},
        {"other channel", [] { Region(1, 4, 2, kRed, 1, 2, 2); }, 0, {{2, 2, 100}}, {{1, 1, 128}}, {}},
        {"per channel", [] { Region(1, 4, 2, kRed, 1, 2, 2); }, 1, {{2, 2, 82}}, {{1, 1, 90}}, {}},
        {"higher layer on top",
         [] {
             Region(1, 4, 2, kBlue, 0, 0, 0, 1);
             Region(2, 4, 2, kRed, 0, 2, 0, 0);
         },
         0, {{0, 0, 41}, {3, 1, 41}, {4, 0, 82}, {5, 1, 82}}, {{1, 0, 240}, {2, 0, 90}}, {{1, 0, 110}}},
        {"same layer: higher handle on top",
         [] {
             Region(2, 4, 2, kBlue, 0, 0, 0, 3);
             Region(1, 4, 2, kRed, 0, 2, 0, 3);
         },
         0, {{2, 0, 41}, {4, 0, 82}}, {{1, 0, 240}}, {}},
        {"clipped at the right and bottom", [] { Region(1, 8, 4, kRed, 0, 12, 6); }, 0,
         {{12, 6, 82}, {15, 7, 82}, {11, 6, 100}, {12, 5, 100}}, {{6, 3, 90}, {7, 3, 90}, {5, 3, 128}}, {}},
        {"odd width: chroma at the mean alpha", [] { Region(1, 3, 2, kRed, 0, 2, 0); }, 0,
         {{4, 0, 82}, {5, 0, 100}}, {{1, 0, 90}, {2, 0, 109}}, {{2, 0, 184}}},
        {"smaller bitmap sits top-left",
         [] {
             ASSERT_EQ(HI_SUCCESS, Create(1, 8, 4));
             ASSERT_EQ(HI_SUCCESS, Attach(1, 0, 4, 2));
             std::vector<uint8_t> px = Fill(2, 2, kRed);
             ASSERT_EQ(HI_SUCCESS, SetBitMap(1, 2, 2, px));
         },
         0, {{4, 2, 82}, {5, 3, 82}, {6, 2, 100}, {4, 4, 100}, {11, 5, 100}}, {{2, 1, 90}, {3, 1, 128}}, {}},
        {"bitmap copied at the call",
         [] {
             ASSERT_EQ(HI_SUCCESS, Create(1, 4, 2));
             ASSERT_EQ(HI_SUCCESS, Attach(1, 0, 0, 0));
             std::vector<uint8_t> px = Fill(4, 2, kRed);
             ASSERT_EQ(HI_SUCCESS, SetBitMap(1, 4, 2, px));
             std::vector<uint8_t> blue = Fill(4, 2, kBlue);
             px = blue;
         },
         0, {{0, 0, 82}}, {{0, 0, 90}}, {}},
        {"no bitmap yet", [] {
             ASSERT_EQ(HI_SUCCESS, Create(1, 4, 2));
             ASSERT_EQ(HI_SUCCESS, Attach(1, 0, 0, 0));
         },
         0, {{0, 0, 100}}, {{0, 0, 128}}, {}},
    };
    return cases;
}

TEST_F(MpiRgnTest, ComposesAsTheTableSays)
{
    for (const tagComposeCase& c : ComposeCases()) {
        SCOPED_TRACE(c.name);
        XMediaSimReset();
        c.setup();
        tagNv12 pic;
        XRgnCompose(c.chn, pic.Pic());
        for (const tagProbe& p : c.luma) {
            EXPECT_EQ(p.value, pic.Y(p.x, p.y)) << "Y at " << p.x << "," << p.y;
        }
        for (const tagProbe& p : c.u) {
            EXPECT_EQ(p.value, pic.U(p.x, p.y)) << "U at " << p.x << "," << p.y;
        }
        for (const tagProbe& p : c.v) {
            EXPECT_EQ(p.value, pic.V(p.x, p.y)) << "V at " << p.x << "," << p.y;
        }
    }
}

TEST_F(MpiRgnTest, CreateRefusesAnExistingHandleAndAZeroSize)
{
    EXPECT_EQ(HI_SUCCESS, Create(3, 16, 16));
    EXPECT_NE(HI_SUCCESS, Create(3, 16, 16));
    EXPECT_NE(HI_SUCCESS, Create(4, 0, 16));
    EXPECT_NE(HI_SUCCESS, Create(4, 16, 0));
    EXPECT_NE(HI_SUCCESS, Create(RGN_HANDLE_MAX, 16, 16));
    EXPECT_EQ((std::vector<RGN_HANDLE>{3}), XRgnSimHandles());
    EXPECT_EQ(HI_SUCCESS, HI_MPI_RGN_Destroy(3));
    EXPECT_NE(HI_SUCCESS, HI_MPI_RGN_Destroy(3));
    EXPECT_TRUE(XRgnSimHandles().empty());
}

TEST_F(MpiRgnTest, AttachmentsAreKeptByHandleWhateverTheEncoder)
{
    // no encoder exists at all: the attachment is still recorded and used
    ASSERT_EQ(HI_SUCCESS, Create(0, 4, 2));
    EXPECT_NE(HI_SUCCESS, Attach(7, 0, 0, 0));  // no such region
    ASSERT_EQ(HI_SUCCESS, Attach(0, 5, 4, 2, 2, 100));
    EXPECT_NE(HI_SUCCESS, Attach(0, 5, 0, 0));  // twice on one channel
    EXPECT_NE(HI_SUCCESS, Attach(0, 6, 3, 0));  // odd position
    EXPECT_NE(HI_SUCCESS, Attach(0, 6, 0, 0, 0, 129));
    EXPECT_NE(HI_SUCCESS, Attach(0, 6, 0, 0, 8));
    const MPP_CHN_S vpss = {HI_ID_VPSS, 0, 0};
    const RGN_CHN_ATTR_S a = ChnAttr(0, 0, 0, 128, TRUE);
    EXPECT_NE(HI_SUCCESS, HI_MPI_RGN_AttachToChn(0, &vpss, &a));

    tagRgnSimInfo info;
    ASSERT_TRUE(XRgnSimInfo(0, &info));
    ASSERT_TRUE(info.bCreated);
    ASSERT_EQ(1u, info.attach.size());
    EXPECT_EQ(5, info.attach[0].chn);
    EXPECT_EQ(4, info.attach[0].attr.unChnAttr.stOverlayChn.stPoint.s32X);
    EXPECT_EQ(100u, info.attach[0].attr.unChnAttr.stOverlayChn.u32FgAlpha);

    // read-modify-write of the display attributes
    const MPP_CHN_S c5 = Venc(5);
    RGN_CHN_ATTR_S d;
    ASSERT_EQ(HI_SUCCESS, HI_MPI_RGN_GetDisplayAttr(0, &c5, &d));
    d.unChnAttr.stOverlayChn.stPoint = {8, 4};
    d.bShow = FALSE;
    ASSERT_EQ(HI_SUCCESS, HI_MPI_RGN_SetDisplayAttr(0, &c5, &d));
    const MPP_CHN_S c6 = Venc(6);
    EXPECT_NE(HI_SUCCESS, HI_MPI_RGN_GetDisplayAttr(0, &c6, &d));
    EXPECT_NE(HI_SUCCESS, HI_MPI_RGN_SetDisplayAttr(0, &c6, &d));
    ASSERT_TRUE(XRgnSimInfo(0, &info));
    EXPECT_EQ(8, info.attach[0].attr.unChnAttr.stOverlayChn.stPoint.s32X);
    EXPECT_FALSE(info.attach[0].attr.bShow);

    EXPECT_NE(std::string::npos,
              XMediaSimStateJson().find("\"rgn\":[{\"handle\":0,\"width\":4,\"height\":2,\"set_bitmap\":0,"
                                        "\"attach\":[{\"chn\":5,\"x\":8,\"y\":4,\"show\":false,\"layer\":2,"
                                        "\"alpha\":100}]}]"))
        << XMediaSimStateJson();

    EXPECT_EQ(HI_SUCCESS, HI_MPI_RGN_DetachFromChn(0, &c5));
    EXPECT_NE(HI_SUCCESS, HI_MPI_RGN_DetachFromChn(0, &c5));
    ASSERT_TRUE(XRgnSimInfo(0, &info));
    EXPECT_TRUE(info.attach.empty());
}

TEST_F(MpiRgnTest, SetBitMapChecksAndKeepsTheLastBitmap)
{
    ASSERT_EQ(HI_SUCCESS, Create(2, 5, 3));
    std::vector<uint8_t> big = Fill(6, 3, kRed);
    EXPECT_NE(HI_SUCCESS, SetBitMap(2, 6, 3, big));
    EXPECT_NE(HI_SUCCESS, SetBitMap(2, 5, 4, big));
    BITMAP_S none = {PIXEL_FORMAT_RGB_1555, 5, 3, nullptr};
    EXPECT_NE(HI_SUCCESS, HI_MPI_RGN_SetBitMap(2, &none));
    std::vector<uint8_t> px = Fill(5, 3, kBlue);
    BITMAP_S wrong = {PIXEL_FORMAT_YUV_SEMIPLANAR_420, 5, 3, px.data()};
    EXPECT_NE(HI_SUCCESS, HI_MPI_RGN_SetBitMap(2, &wrong));
    EXPECT_NE(HI_SUCCESS, SetBitMap(9, 5, 3, px));

    ASSERT_EQ(HI_SUCCESS, SetBitMap(2, 5, 3, px));
    ASSERT_EQ(HI_SUCCESS, SetBitMap(2, 5, 3, px));
    tagRgnSimInfo info;
    ASSERT_TRUE(XRgnSimInfo(2, &info));
    EXPECT_EQ(2u, info.u64SetBitMap);
    EXPECT_EQ(5u, info.u32BmpWidth);
    EXPECT_EQ(3u, info.u32BmpHeight);
    EXPECT_EQ(px, info.bitmap);  // rows of 12 bytes
    EXPECT_EQ(36u, info.bitmap.size());
}

TEST_F(MpiRgnTest, InjectedFailuresHitTheNamedHandle)
{
    const HI_S32 code = XMpiErrCode(HI_ID_RGN, EN_ERR_NOMEM);
    XMediaSimFail("HI_MPI_RGN_Create", code, 9, 1);
    EXPECT_EQ(HI_SUCCESS, Create(8, 4, 4));
    EXPECT_EQ(code, Create(9, 4, 4));
    EXPECT_EQ(HI_SUCCESS, Create(9, 4, 4));  // once only

    XMediaSimFail("HI_MPI_RGN_SetDisplayAttr", code, -1, -1);
    ASSERT_EQ(HI_SUCCESS, Attach(8, 0, 0, 0));
    const MPP_CHN_S c0 = Venc(0);
    RGN_CHN_ATTR_S d;
    ASSERT_EQ(HI_SUCCESS, HI_MPI_RGN_GetDisplayAttr(8, &c0, &d));
    EXPECT_EQ(code, HI_MPI_RGN_SetDisplayAttr(8, &c0, &d));
    EXPECT_EQ(code, HI_MPI_RGN_SetDisplayAttr(8, &c0, &d));
}

}  // namespace
