// ISP image-quality attributes, the exposure report and the statistics of the
// simulated board. Attributes are kept as whole records (power-on defaults
// below); the report and the statistics follow the scene, or the records
// injected in its place. Night exposure climbs to the exposure attributes'
// system-gain ceiling, so a raised ceiling brightens the picture.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "Platform/TuningSim.h"
#include "Platform/MpiIsp.h"
#include "Platform/host/media/MediaCore.h"
#include "Platform/host/media/TuningLog.h"

namespace {

constexpr HI_S32 Err(uint32_t number) { return XMpiErrCode(HI_ID_ISP, number); }

struct tagTuningState {
    std::mutex mutex;
    ISP_DRC_ATTR_S drc;
    ISP_EXPOSURE_ATTR_S exposure;
    ISP_SATURATION_ATTR_S saturation;
    ISP_WB_ATTR_S wb;
    ISP_DP_DYNAMIC_ATTR_S dp;
    ISP_SHARPEN_ATTR_S sharpen;
    ISP_UVNR_ATTR_S uvnr;
    ISP_GAMMA_ATTR_S gamma;
    emTuningSimScene scene;
    BOOL bExpInjected;
    ISP_EXP_INFO_S expInjected;
    BOOL bStatInjected;
    ISP_STATISTICS_S statInjected;
};

void Defaults(tagTuningState& s)
{
    memset(&s.drc, 0, sizeof(s.drc));
    s.drc.bEnable = 0;
    s.drc.u8SpatialVar = 10;
    s.drc.u8RangeVar = 3;
    s.drc.u8Asymmetry = 2;
    s.drc.u8SecondPole = 180;
    s.drc.u8Stretch = 54;
    s.drc.u8LocalMixingThres = 2;
    s.drc.u16DarkGainLmtY = 0;
    s.drc.u16DarkGainLmtC = 0;
    s.drc.u16BrightGainLmt = 0;
    s.drc.enOpType = OP_TYPE_AUTO;
    s.drc.stManual = {128, 64, 64};
    s.drc.stAuto.u8Strength = 128;

    memset(&s.exposure, 0, sizeof(s.exposure));
    s.exposure.enOpType = OP_TYPE_AUTO;
    s.exposure.stManual = {1000, 1024, 1024, 1024};
    ISP_AE_ATTR_S& ae = s.exposure.stAuto;
    ae.stExpTimeRange = {1124, 2};
    ae.stAGainRange = {63488, 1024};
    ae.stDGainRange = {8192, 1024};
    ae.stISPDGainRange = {2048, 1024};
    ae.stSysGainRange = {65536, 1024};
    ae.u32GainThreshold = 65536;
    ae.u8Speed = 64;
    ae.u8Tolerance = 2;
    ae.u8Compensation = 56;
    ae.u16EVBias = 1024;
    ae.enAEStrategyMode = AE_EXP_HIGHLIGHT_PRIOR;
    ae.u16HistRatioSlope = 128;
    ae.u8MaxHistOffset = 16;
    for (auto& row : ae.au8Weight) {
        for (HI_U8& w : row) {
            w = 1;
        }
    }

    memset(&s.saturation, 0, sizeof(s.saturation));
    s.saturation.enOpType = OP_TYPE_AUTO;
    s.saturation.stManual.u8Saturation = 128;
    for (int i = 0; i < ISP_AUTO_STENGTH_NUM; ++i) {
        s.saturation.stAuto.au8Sat[i] = static_cast<HI_U8>(std::max(56, 136 - 6 * i));
    }

    memset(&s.wb, 0, sizeof(s.wb));
    s.wb.enOpType = OP_TYPE_AUTO;
    s.wb.stManual = {0x1C0, 0x100, 0x100, 0x1A0};
    s.wb.stAuto.bEnable = 1;
    s.wb.stAuto.u16RefColorTemp = 5000;
    s.wb.stAuto.au16StaticWB[0] = 0x1C0;
    s.wb.stAuto.au16StaticWB[1] = 0x100;
    s.wb.stAuto.au16StaticWB[2] = 0x100;
    s.wb.stAuto.au16StaticWB[3] = 0x1A0;
    s.wb.stAuto.u8RGStrength = 0x80;
    s.wb.stAuto.u8BGStrength = 0x80;
    s.wb.stAuto.u16Speed = 0x100;
    s.wb.stAuto.u16HighColorTemp = 10000;
    s.wb.stAuto.u16LowColorTemp = 2000;

    memset(&s.dp, 0, sizeof(s.dp));
    s.dp.bEnable = 1;
    s.dp.enOpType = OP_TYPE_AUTO;
    s.dp.stManual = {64, 0};
    for (HI_U16& v : s.dp.stAuto.au16Slope) {
        v = 64;
    }

    memset(&s.sharpen, 0, sizeof(s.sharpen));
    s.sharpen.bEnable = 1;
    s.sharpen.enOpType = OP_TYPE_AUTO;
    s.sharpen.stManual = {64, 64, 128, 128};
    for (int i = 0; i < ISP_AUTO_STENGTH_NUM; ++i) {
        s.sharpen.stAuto.au8SharpenD[i] = 64;
        s.sharpen.stAuto.au8SharpenUd[i] = 64;
        s.sharpen.stAuto.au8OverShoot[i] = 128;
        s.sharpen.stAuto.au8UnderShoot[i] = 128;
    }

    memset(&s.uvnr, 0, sizeof(s.uvnr));
    s.uvnr.bEnable = 1;
    s.uvnr.enOpType = OP_TYPE_AUTO;
    s.uvnr.stManual = {0, 2, 16};
    for (int i = 0; i < ISP_AUTO_STENGTH_NUM; ++i) {
        s.uvnr.stAuto.au8ColorCast[i] = 0;
        s.uvnr.stAuto.au8UvnrThreshold[i] = static_cast<HI_U8>(std::min(64, 2 + 4 * i));
        s.uvnr.stAuto.au8UvnrStrength[i] = static_cast<HI_U8>(std::min(64, 16 + 3 * i));
    }

    memset(&s.gamma, 0, sizeof(s.gamma));
    s.gamma.bEnable = 1;
    s.gamma.enCurveType = ISP_GAMMA_CURVE_DEFAULT;

    s.scene = emTuningSimScene_Day;
    s.bExpInjected = FALSE;
    memset(&s.expInjected, 0, sizeof(s.expInjected));
    s.bStatInjected = FALSE;
    memset(&s.statInjected, 0, sizeof(s.statInjected));
}

tagTuningState& State()
{
    static tagTuningState* s = [] {
        tagTuningState* t = new tagTuningState;
        Defaults(*t);
        return t;
    }();
    return *s;
}

HI_S32 CheckDev(HI_S32 dev)
{
    if (dev != 0) {
        return Err(EN_ERR_INVALID_DEVID);
    }
    return XMediaSysReady() ? HI_SUCCESS : Err(EN_ERR_SYS_NOTREADY);
}

bool IsBool(HI_BOOL b) { return b == 0 || b == 1; }

// ---- range checks and log summaries per record ----

bool Valid(const ISP_DRC_ATTR_S& a)
{
    return IsBool(a.bEnable) && a.enOpType < OP_TYPE_BUTT && a.u8SpatialVar <= 15 && a.u8RangeVar <= 15 &&
           a.u8Asymmetry >= 1 && a.u8Asymmetry <= 30 && a.u8SecondPole >= 150 && a.u8SecondPole <= 210 &&
           a.u8Stretch >= 30 && a.u8Stretch <= 60 && a.u8LocalMixingThres >= 2 && a.u8LocalMixingThres <= 5 &&
           a.u16DarkGainLmtY <= 128 && a.u16DarkGainLmtC <= 128 && a.u16BrightGainLmt <= 128;
}

std::string Fields(const ISP_DRC_ATTR_S& a)
{
    char b[256];
    snprintf(b, sizeof(b),
             "enable=%d op=%u secondpole=%u darkgainy=%u brightgain=%u darkgainc=%u stretch=%u asymmetry=%u "
             "rangevar=%u mixthres=%u spatialvar=%u mixbright=%u mixdark=%u",
             a.bEnable, a.enOpType, a.u8SecondPole, a.u16DarkGainLmtY, a.u16BrightGainLmt, a.u16DarkGainLmtC,
             a.u8Stretch, a.u8Asymmetry, a.u8RangeVar, a.u8LocalMixingThres, a.u8SpatialVar,
             a.stManual.u8LocalMixingBrigtht, a.stManual.u8LocalMixingDark);
    return b;
}

bool ValidRange(const ISP_AE_RANGE_S& r) { return r.u32Min <= r.u32Max; }

bool Valid(const ISP_EXPOSURE_ATTR_S& a)
{
    const ISP_AE_ATTR_S& ae = a.stAuto;
    if (!IsBool(a.bByPass) || a.enOpType >= OP_TYPE_BUTT || ae.enAEStrategyMode >= AE_STRATEGY_MODE_BUTT) {
        return false;
    }
    if (!ValidRange(ae.stExpTimeRange) || !ValidRange(ae.stAGainRange) || !ValidRange(ae.stDGainRange) ||
        !ValidRange(ae.stISPDGainRange) || !ValidRange(ae.stSysGainRange) || ae.stSysGainRange.u32Min < 1024) {
        return false;
    }
    for (const auto& row : ae.au8Weight) {
        for (HI_U8 w : row) {
            if (w > 15) {
                return false;
            }
        }
    }
    return true;
}

std::string Fields(const ISP_EXPOSURE_ATTR_S& a)
{
    const ISP_AE_ATTR_S& ae = a.stAuto;
    char b[160];
    snprintf(b, sizeof(b), "op=%u sysgain=%u..%u speed=%u compensation=%u strategy=%u weights=", a.enOpType,
             ae.stSysGainRange.u32Min, ae.stSysGainRange.u32Max, ae.u8Speed, ae.u8Compensation,
             ae.enAEStrategyMode);
    std::string s = b;
    for (int r = 0; r < AE_ZONE_ROW; ++r) {
        if (r > 0) {
            s += '/';
        }
        for (int c = 0; c < AE_ZONE_COLUMN; ++c) {
            s += "0123456789ABCDEF"[ae.au8Weight[r][c] & 0xF];
        }
    }
    return s;
}

template <class T, size_t N>
std::string List(const T (&v)[N])
{
    std::string s;
    for (size_t i = 0; i < N; ++i) {
        if (i > 0) {
            s += ',';
        }
        s += std::to_string(static_cast<unsigned>(v[i]));
    }
    return s;
}

bool Valid(const ISP_SATURATION_ATTR_S& a) { return a.enOpType < OP_TYPE_BUTT; }

std::string Fields(const ISP_SATURATION_ATTR_S& a)
{
    return "op=" + std::to_string(a.enOpType) + " manual=" + std::to_string(a.stManual.u8Saturation) +
           " auto=" + List(a.stAuto.au8Sat);
}

bool Valid(const ISP_WB_ATTR_S& a)
{
    return IsBool(a.bByPass) && a.enOpType < OP_TYPE_BUTT && IsBool(a.stAuto.bEnable) &&
           a.stAuto.u16LowColorTemp <= a.stAuto.u16HighColorTemp;
}

std::string Fields(const ISP_WB_ATTR_S& a)
{
    char b[160];
    snprintf(b, sizeof(b), "op=%u manual=%u,%u,%u,%u auto=%d speed=%u temp=%u..%u", a.enOpType, a.stManual.u16Rgain,
             a.stManual.u16Grgain, a.stManual.u16Gbgain, a.stManual.u16Bgain, a.stAuto.bEnable, a.stAuto.u16Speed,
             a.stAuto.u16LowColorTemp, a.stAuto.u16HighColorTemp);
    return b;
}

bool Valid(const ISP_DP_DYNAMIC_ATTR_S& a)
{
    if (!IsBool(a.bEnable) || a.enOpType >= OP_TYPE_BUTT || a.stManual.u16Slope > 255) {
        return false;
    }
    return std::all_of(std::begin(a.stAuto.au16Slope), std::end(a.stAuto.au16Slope),
                       [](HI_U16 v) { return v <= 255; });
}

std::string Fields(const ISP_DP_DYNAMIC_ATTR_S& a)
{
    return "enable=" + std::to_string(a.bEnable) + " op=" + std::to_string(a.enOpType) +
           " slope=" + List(a.stAuto.au16Slope);
}

bool Valid(const ISP_SHARPEN_ATTR_S& a) { return IsBool(a.bEnable) && a.enOpType < OP_TYPE_BUTT; }

std::string Fields(const ISP_SHARPEN_ATTR_S& a)
{
    return "enable=" + std::to_string(a.bEnable) + " op=" + std::to_string(a.enOpType) +
           " d=" + List(a.stAuto.au8SharpenD) + " ud=" + List(a.stAuto.au8SharpenUd) +
           " over=" + List(a.stAuto.au8OverShoot) + " under=" + List(a.stAuto.au8UnderShoot);
}

bool Valid(const ISP_UVNR_ATTR_S& a) { return IsBool(a.bEnable) && a.enOpType < OP_TYPE_BUTT; }

std::string Fields(const ISP_UVNR_ATTR_S& a)
{
    return "enable=" + std::to_string(a.bEnable) + " op=" + std::to_string(a.enOpType) +
           " threshold=" + List(a.stAuto.au8UvnrThreshold) + " strength=" + List(a.stAuto.au8UvnrStrength);
}

bool Valid(const ISP_GAMMA_ATTR_S& a)
{
    if (!IsBool(a.bEnable) || a.enCurveType >= ISP_GAMMA_CURVE_BUTT) {
        return false;
    }
    return a.enCurveType != ISP_GAMMA_CURVE_USER_DEFINE ||
           std::all_of(std::begin(a.u16Table), std::end(a.u16Table), [](HI_U16 v) { return v <= 4095; });
}

std::string Fields(const ISP_GAMMA_ATTR_S& a)
{
    char b[128];
    // the curve by its points 1, 16, 64 and 128
    snprintf(b, sizeof(b), "enable=%d curve=%u points=%u,%u,%u,%u", a.bEnable, a.enCurveType, a.u16Table[1],
             a.u16Table[16], a.u16Table[64], a.u16Table[128]);
    return b;
}

// ---- the generic get and set ----

template <class T>
HI_S32 Get(const char* func, HI_S32 dev, T* out, T tagTuningState::*field)
{
    if (HI_S32 fault = XMediaFault(func, dev)) {
        return fault;
    }
    if (HI_S32 r = CheckDev(dev)) {
        return r;
    }
    if (out == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    tagTuningState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    *out = s.*field;
    return HI_SUCCESS;
}

template <class T>
HI_S32 Set(const char* func, HI_S32 dev, const T* in, T tagTuningState::*field)
{
    HI_S32 r = XMediaFault(func, dev);
    if (r == HI_SUCCESS) {
        r = CheckDev(dev);
    }
    if (r == HI_SUCCESS && in == nullptr) {
        r = Err(EN_ERR_NULL_PTR);
    }
    if (r == HI_SUCCESS && !Valid(*in)) {
        r = Err(EN_ERR_ILLEGAL_PARAM);
    }
    if (r == HI_SUCCESS) {
        tagTuningState& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.*field = *in;
    }
    XTuningLogSet(func, dev, r, in, in != nullptr ? sizeof(T) : 0, in != nullptr ? Fields(*in) : std::string());
    return r;
}

// ---- the scene ----

// Zone averages of the scene (8-bit per channel): day a bright sky over a
// grey road, night a dark road under a row of dim lamps.
void SceneStatistics(emTuningSimScene scene, HI_U32 sysGain, ISP_STATISTICS_S* st)
{
    memset(st, 0, sizeof(*st));
    ISP_AE_STATISTICS_S& ae = st->stAEStat;
    unsigned sum[ISP_BAYER_CHN_NUM] = {0, 0, 0, 0};
    for (int r = 0; r < AE_ZONE_ROW; ++r) {
        for (int c = 0; c < AE_ZONE_COLUMN; ++c) {
            unsigned rgb[3];
            if (scene == emTuningSimScene_Day) {
                const unsigned sky = 200 - 8 * r;
                rgb[0] = r < 6 ? sky - 20 : 96 + (c % 3) * 4;
                rgb[1] = r < 6 ? sky : 100 + (c % 3) * 4;
                rgb[2] = r < 6 ? sky + 20 : 104 + (c % 3) * 4;
            } else {
                // a raised ceiling lifts the dark parts a little
                const unsigned lift = sysGain > 4000 ? 1 : 0;
                const BOOL lamp = (r == 4 && c % 4 == 1);
                rgb[0] = (lamp ? 10 : 4) + lift;
                rgb[1] = (lamp ? 9 : 5) + lift;
                rgb[2] = (lamp ? 6 : 6) + lift;
            }
            HI_U16* z = ae.au16ZoneAvg[r][c];
            z[0] = static_cast<HI_U16>(rgb[0]);
            z[1] = static_cast<HI_U16>(rgb[1]);
            z[2] = static_cast<HI_U16>(rgb[1]);
            z[3] = static_cast<HI_U16>(rgb[2]);
            for (int k = 0; k < ISP_BAYER_CHN_NUM; ++k) {
                sum[k] += z[k];
            }
            // each zone counts once into the histogram at its mean channel level
            const unsigned level = std::min(255u, static_cast<unsigned>(z[0] + z[1] + z[2] + z[3]) / 4);
            ae.au32Hist256Value[level] += 1;
        }
    }
    for (int k = 0; k < ISP_BAYER_CHN_NUM; ++k) {
        ae.au16GlobalAvg[k] = static_cast<HI_U16>(sum[k] / (AE_ZONE_ROW * AE_ZONE_COLUMN));
    }
}

void SceneExposure(emTuningSimScene scene, const ISP_AE_ATTR_S& ae, const ISP_STATISTICS_S& st, ISP_EXP_INFO_S* info)
{
    memset(info, 0, sizeof(*info));
    const HI_U32 ceiling = std::max<HI_U32>(1024, ae.stSysGainRange.u32Max);
    if (scene == emTuningSimScene_Day) {
        info->u32ExpTime = 420;
        info->u32AGain = 1024;
        info->u8AveLum = 56;
    } else {
        info->u32ExpTime = ae.stExpTimeRange.u32Max;
        info->u32AGain = std::min<HI_U32>(ceiling, 16384u);
        info->bExposureIsMAX = info->u32AGain == ceiling ? 1 : 0;
        info->u8AveLum = static_cast<HI_U8>(4 + 8 * info->u32AGain / 6278);
    }
    info->u32DGain = 1024;
    info->u32ISPDGain = 1024;
    info->u32Exposure = static_cast<HI_U32>(static_cast<uint64_t>(info->u32ExpTime) * info->u32AGain >> 4);
    // the histogram: zones spread over 256 bins, each bin weighted by zone count
    const HI_U32* zones = st.stAEStat.au32Hist256Value;
    for (int i = 0; i < 256; ++i) {
        info->u32AE_Hist256Value[i] = zones[i] * 1024;
    }
    // five bins of 51 levels (the last one 52)
    for (int i = 0; i < 256; ++i) {
        const int bin = std::min(4, i / 51);
        info->u16AE_Hist5Value[bin] = static_cast<HI_U16>(
            std::min<HI_U32>(0xFFFF, info->u16AE_Hist5Value[bin] + zones[i] * 256));
    }
}

}  // namespace

HI_S32 HI_MPI_ISP_SetDRCAttr(HI_S32 IspDev, const ISP_DRC_ATTR_S* pstDRC)
{
    return Set(__func__, IspDev, pstDRC, &tagTuningState::drc);
}

HI_S32 HI_MPI_ISP_GetDRCAttr(HI_S32 IspDev, ISP_DRC_ATTR_S* pstDRC)
{
    return Get(__func__, IspDev, pstDRC, &tagTuningState::drc);
}

HI_S32 HI_MPI_ISP_SetExposureAttr(HI_S32 IspDev, const ISP_EXPOSURE_ATTR_S* pstExpAttr)
{
    return Set(__func__, IspDev, pstExpAttr, &tagTuningState::exposure);
}

HI_S32 HI_MPI_ISP_GetExposureAttr(HI_S32 IspDev, ISP_EXPOSURE_ATTR_S* pstExpAttr)
{
    return Get(__func__, IspDev, pstExpAttr, &tagTuningState::exposure);
}

HI_S32 HI_MPI_ISP_SetSaturationAttr(HI_S32 IspDev, const ISP_SATURATION_ATTR_S* pstSatAttr)
{
    return Set(__func__, IspDev, pstSatAttr, &tagTuningState::saturation);
}

HI_S32 HI_MPI_ISP_GetSaturationAttr(HI_S32 IspDev, ISP_SATURATION_ATTR_S* pstSatAttr)
{
    return Get(__func__, IspDev, pstSatAttr, &tagTuningState::saturation);
}

HI_S32 HI_MPI_ISP_SetWBAttr(HI_S32 IspDev, const ISP_WB_ATTR_S* pstWBAttr)
{
    return Set(__func__, IspDev, pstWBAttr, &tagTuningState::wb);
}

HI_S32 HI_MPI_ISP_GetWBAttr(HI_S32 IspDev, ISP_WB_ATTR_S* pstWBAttr)
{
    return Get(__func__, IspDev, pstWBAttr, &tagTuningState::wb);
}

HI_S32 HI_MPI_ISP_SetDPDynamicAttr(HI_S32 IspDev, const ISP_DP_DYNAMIC_ATTR_S* pstDPDynamicAttr)
{
    return Set(__func__, IspDev, pstDPDynamicAttr, &tagTuningState::dp);
}

HI_S32 HI_MPI_ISP_GetDPDynamicAttr(HI_S32 IspDev, ISP_DP_DYNAMIC_ATTR_S* pstDPDynamicAttr)
{
    return Get(__func__, IspDev, pstDPDynamicAttr, &tagTuningState::dp);
}

HI_S32 HI_MPI_ISP_SetSharpenAttr(HI_S32 IspDev, const ISP_SHARPEN_ATTR_S* pstSharpenAttr)
{
    return Set(__func__, IspDev, pstSharpenAttr, &tagTuningState::sharpen);
}

HI_S32 HI_MPI_ISP_GetSharpenAttr(HI_S32 IspDev, ISP_SHARPEN_ATTR_S* pstSharpenAttr)
{
    return Get(__func__, IspDev, pstSharpenAttr, &tagTuningState::sharpen);
}

HI_S32 HI_MPI_ISP_SetUVNRAttr(HI_S32 IspDev, const ISP_UVNR_ATTR_S* pstUvnrAttr)
{
    return Set(__func__, IspDev, pstUvnrAttr, &tagTuningState::uvnr);
}

HI_S32 HI_MPI_ISP_GetUVNRAttr(HI_S32 IspDev, ISP_UVNR_ATTR_S* pstUvnrAttr)
{
    return Get(__func__, IspDev, pstUvnrAttr, &tagTuningState::uvnr);
}

HI_S32 HI_MPI_ISP_SetGammaAttr(HI_S32 IspDev, const ISP_GAMMA_ATTR_S* pstGammaAttr)
{
    return Set(__func__, IspDev, pstGammaAttr, &tagTuningState::gamma);
}

HI_S32 HI_MPI_ISP_GetGammaAttr(HI_S32 IspDev, ISP_GAMMA_ATTR_S* pstGammaAttr)
{
    return Get(__func__, IspDev, pstGammaAttr, &tagTuningState::gamma);
}

HI_S32 HI_MPI_ISP_QueryExposureInfo(HI_S32 IspDev, ISP_EXP_INFO_S* pstExpInfo)
{
    XMEDIA_FAULT(IspDev);
    if (HI_S32 r = CheckDev(IspDev)) {
        return r;
    }
    if (pstExpInfo == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    tagTuningState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.bExpInjected) {
        *pstExpInfo = s.expInjected;
        return HI_SUCCESS;
    }
    ISP_STATISTICS_S st;
    SceneStatistics(s.scene, s.exposure.stAuto.stSysGainRange.u32Max, &st);
    SceneExposure(s.scene, s.exposure.stAuto, st, pstExpInfo);
    return HI_SUCCESS;
}

HI_S32 HI_MPI_ISP_GetStatistics(HI_S32 IspDev, ISP_STATISTICS_S* pstStat)
{
    XMEDIA_FAULT(IspDev);
    if (HI_S32 r = CheckDev(IspDev)) {
        return r;
    }
    if (pstStat == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    tagTuningState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.bStatInjected) {
        *pstStat = s.statInjected;
    } else {
        SceneStatistics(s.scene, s.exposure.stAuto.stSysGainRange.u32Max, pstStat);
    }
    return HI_SUCCESS;
}

void XTuningSimSetScene(emTuningSimScene scene)
{
    tagTuningState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.scene = scene;
    s.bExpInjected = FALSE;
    s.bStatInjected = FALSE;
}

emTuningSimScene XTuningSimScene()
{
    tagTuningState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.scene;
}

void XTuningSimInjectExposure(const ISP_EXP_INFO_S& info)
{
    tagTuningState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.expInjected = info;
    s.bExpInjected = TRUE;
}

void XTuningSimInjectStatistics(const ISP_STATISTICS_S& stat)
{
    tagTuningState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.statInjected = stat;
    s.bStatInjected = TRUE;
}

void XMediaResetIspTuning()
{
    tagTuningState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    Defaults(s);
}
