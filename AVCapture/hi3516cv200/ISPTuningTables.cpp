// Tables shared by the tuning strategies: exposure weights, gamma curves, and
// the candidates' sort.

#include <utility>

#include "AVCapture/hi3516cv200/ISPTuning.h"

namespace {

constexpr int kRows = AE_ZONE_ROW;
constexpr int kCols = AE_ZONE_COLUMN;

struct tagWeights {
    HI_U8 w[kRows][kCols];
};

}  // namespace

constexpr HI_U8 u8AEWeight_normal[AE_ZONE_ROW][AE_ZONE_COLUMN] = {
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
    {1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1},
    {1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1},
    {1, 1, 1, 2, 3, 3, 3, 3, 3, 3, 3, 3, 3, 2, 1, 1, 1},
    {1, 1, 2, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 3, 2, 1, 1},
    {1, 2, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 3, 2, 1},
    {2, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 3, 2},
    {2, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 3, 2},
    {2, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 2},
    {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2},
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

namespace {

constexpr tagWeights UpsideDown(const HI_U8 (&in)[kRows][kCols])
{
    tagWeights out{};
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kCols; ++c) {
            out.w[r][c] = in[kRows - 1 - r][c];
        }
    }
    return out;
}

constexpr tagWeights kReverse = UpsideDown(u8AEWeight_normal);

// The curves are given at these points; the others follow a monotone cubic
// through them (PCHIP: weighted harmonic-mean slopes, flat at a turn).
constexpr int kKnots = 15;
constexpr int kKnotX[kKnots] = {0, 1, 2, 4, 8, 16, 32, 64, 96, 128, 160, 192, 224, 255, 256};

constexpr ISP_GAMMA_ATTR_S Curve(const int (&y)[kKnots])
{
    double d[kKnots - 1] = {};
    for (int k = 0; k + 1 < kKnots; ++k) {
        d[k] = static_cast<double>(y[k + 1] - y[k]) / (kKnotX[k + 1] - kKnotX[k]);
    }
    double m[kKnots] = {};
    m[0] = d[0];
    m[kKnots - 1] = d[kKnots - 2];
    for (int k = 1; k + 1 < kKnots; ++k) {
        if (d[k - 1] * d[k] <= 0.0) {
            m[k] = 0.0;
        } else {
            const double h0 = kKnotX[k] - kKnotX[k - 1];
            const double h1 = kKnotX[k + 1] - kKnotX[k];
            const double w1 = 2.0 * h1 + h0;
            const double w2 = h1 + 2.0 * h0;
            m[k] = (w1 + w2) / (w1 / d[k - 1] + w2 / d[k]);
        }
    }
    ISP_GAMMA_ATTR_S g{};
    g.bEnable = 1;
    g.enCurveType = ISP_GAMMA_CURVE_USER_DEFINE;
    int k = 0;
    for (int x = 0; x < GAMMA_NODE_NUMBER; ++x) {
        while (k + 2 < kKnots && x > kKnotX[k + 1]) {
            ++k;
        }
        const double h = kKnotX[k + 1] - kKnotX[k];
        const double t = (x - kKnotX[k]) / h;
        const double t2 = t * t;
        const double t3 = t2 * t;
        double v = (2 * t3 - 3 * t2 + 1) * y[k] + (t3 - 2 * t2 + t) * h * m[k] + (-2 * t3 + 3 * t2) * y[k + 1] +
                   (t3 - t2) * h * m[k + 1];
        v = v < 0.0 ? 0.0 : (v > 4095.0 ? 4095.0 : v);
        g.u16Table[x] = static_cast<HI_U16>(static_cast<int>(v + 0.5));
    }
    return g;
}

constexpr int kMid[kKnots] = {0, 87, 162, 288, 488, 821, 1370, 2205, 2791, 3192, 3496, 3737, 3933, 4093, 4095};
constexpr int kBright[kKnots] = {0, 102, 187, 325, 541, 891, 1454, 2264, 2812, 3199, 3500, 3738, 3933, 4092, 4095};
constexpr int kHigh[kKnots] = {0, 54, 106, 209, 403, 754, 1335, 2172, 2746, 3164, 3482, 3732, 3933, 4095, 4095};
constexpr int kHighest[kKnots] = {0, 27, 60, 140, 276, 540, 1035, 1970, 2708, 3164, 3482, 3732, 3933, 4095, 4095};

}  // namespace

const HI_U8 (&u8AEWeight_reverse)[AE_ZONE_ROW][AE_ZONE_COLUMN] = kReverse.w;

constexpr ISP_GAMMA_ATTR_S gamma_high_contrast = Curve(kHigh);
constexpr ISP_GAMMA_ATTR_S gamma_highest_contrast = Curve(kHighest);
constexpr ISP_GAMMA_ATTR_S gamma_mid_contrast = Curve(kMid);
constexpr ISP_GAMMA_ATTR_S gamma_bright = Curve(kBright);

void Quick_sort(__AE_avgY__* a, int low, int high)
{
    const unsigned pivot = a[(low + high) / 2].value;
    int i = low;
    int j = high;
    do {
        while (a[i].value < pivot && i < high) {
            ++i;
        }
        while (a[j].value > pivot && j > low) {
            --j;
        }
        if (i <= j) {
            std::swap(a[i], a[j]);
            ++i;
            --j;
        }
    } while (i <= j);
    if (i < high) {
        Quick_sort(a, i, high);
    }
    if (low < j) {
        Quick_sort(a, low, j);
    }
}
