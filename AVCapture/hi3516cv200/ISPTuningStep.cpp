// One tuning step: the one-time set-up until it succeeds, then noise
// reduction, strategy, gamma, dynamic contrast, zone metering and the
// system-gain ceiling.

#include "AVCapture/hi3516cv200/ISPTuningStep.h"

#include <cstring>

#include "Function/XLog.h"

namespace {

typedef HI_U8 tagWeightTable[AE_ZONE_ROW][AE_ZONE_COLUMN];

// Reads every working record; false at the first that fails.
bool ReadRecords(tagTuningState& s, const tagTuningTables& t)
{
    if (HI_MPI_VPSS_GetNRParam(s.IspDev, &s.VpssNrParam) != HI_SUCCESS ||
        HI_MPI_ISP_GetDRCAttr(s.IspDev, &s.drc) != HI_SUCCESS ||
        HI_MPI_ISP_GetExposureAttr(s.IspDev, &s.ae) != HI_SUCCESS ||
        HI_MPI_ISP_GetSaturationAttr(s.IspDev, &s.sat) != HI_SUCCESS ||
        HI_MPI_ISP_GetWBAttr(s.IspDev, &s.awb) != HI_SUCCESS ||
        HI_MPI_ISP_GetDPDynamicAttr(s.IspDev, &s.stDPDynamicAttr) != HI_SUCCESS) {
        return false;
    }
    if (t.bDPReadTwice && HI_MPI_ISP_GetDPDynamicAttr(s.IspDev, &s.stDPDynamicAttr) != HI_SUCCESS) {
        return false;
    }
    return HI_MPI_ISP_GetSharpenAttr(s.IspDev, &s.stSharpenAttr) == HI_SUCCESS &&
           HI_MPI_ISP_GetUVNRAttr(s.IspDev, &s.stUvnrAttr) == HI_SUCCESS &&
           HI_MPI_VI_GetDCIParam(0, &s.stDciParam) == HI_SUCCESS;
}

void SetUp(tagTuningState& s, const tagTuningTables& t, const tagWeightTable& base)
{
    if (!ReadRecords(s, t)) {
        return;
    }

    s.stDPDynamicAttr.bEnable = 1;
    s.stDPDynamicAttr.enOpType = OP_TYPE_AUTO;
    memcpy(s.stDPDynamicAttr.stAuto.au16Slope, t.DPDSlope_table, sizeof(t.DPDSlope_table));
    HI_S32 ret = HI_MPI_ISP_SetDPDynamicAttr(s.IspDev, &s.stDPDynamicAttr);
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_ISP_SetDPDynamicAttr() error !\n");
    }

    s.drc.bEnable = 1;
    s.drc.enOpType = OP_TYPE_AUTO;
    s.drc.u8SecondPole = 176;
    s.drc.u16DarkGainLmtY = 48;
    s.drc.u16BrightGainLmt = 0;
    s.drc.u16DarkGainLmtC = 16;
    s.drc.u8Stretch = 48;
    s.drc.u8Asymmetry = 8;
    s.drc.u8RangeVar = 0;
    s.drc.u8LocalMixingThres = 2;
    s.drc.u8SpatialVar = 12;
    if (t.bLocalMixing) {
        s.drc.stManual.u8LocalMixingBrigtht = 61;
        s.drc.stManual.u8LocalMixingDark = 61;
    }

    memcpy(s.stSharpenAttr.stAuto.au8SharpenD, t.SharpenD, sizeof(t.SharpenD));
    memcpy(s.stSharpenAttr.stAuto.au8SharpenUd, t.SharpenUD, sizeof(t.SharpenUD));
    memcpy(s.stSharpenAttr.stAuto.au8OverShoot, t.OverShoot, sizeof(t.OverShoot));
    memcpy(s.stSharpenAttr.stAuto.au8UnderShoot, t.UnderShoot, sizeof(t.UnderShoot));
    ret = HI_MPI_ISP_SetSharpenAttr(s.IspDev, &s.stSharpenAttr);
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_ISP_SetSharpenAttr failed width %#x\n", static_cast<unsigned>(ret));
    }

    s.sat.enOpType = OP_TYPE_AUTO;
    memcpy(s.sat.stAuto.au8Sat, t.saturation, sizeof(t.saturation));
    ret = HI_MPI_ISP_SetSaturationAttr(s.IspDev, &s.sat);
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_ISP_SetSaturationAttr failed width %#x\n", static_cast<unsigned>(ret));
    }

    s.ae.enOpType = OP_TYPE_AUTO;
    s.ae.stAuto.stSysGainRange.u32Max = t.u32InitMaxSysgain;
    s.ae.stAuto.stSysGainRange.u32Min = t.u32MinSysgain;
    s.ae.stAuto.u8Speed = 80;
    memcpy(s.ae.stAuto.au8Weight, base, sizeof(s.ae.stAuto.au8Weight));
    if (HI_MPI_ISP_SetExposureAttr(s.IspDev, &s.ae) == HI_SUCCESS) {
        s.param_init = true;
    }

    ret = HI_MPI_ISP_SetDRCAttr(s.IspDev, &s.drc);
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_ISP_SetDRCAttr failed width %#x\n", static_cast<unsigned>(ret));
    }
}

// 0.299 R + 0.587 (Gr + Gb) + 0.114 B: the greens are added, not averaged.
double Luma(const HI_U16 (&c)[ISP_BAYER_CHN_NUM])
{
    return 0.299 * c[0] + 0.587 * (static_cast<double>(c[1]) + c[2]) + 0.114 * c[3];
}

void Mark(HI_U8 (&w)[AE_ZONE_ROW][AE_ZONE_COLUMN], int row, int col)
{
    w[row][col] = 12;
    if (row > 0) {
        w[row - 1][col] = 12;
    }
    if (row <= AE_ZONE_ROW - 2) {
        w[row + 1][col] = 12;
    }
    if (col > 0) {
        w[row][col - 1] = 12;
    }
    if (col <= AE_ZONE_COLUMN - 2) {
        w[row][col + 1] = 12;
    }
}

}  // namespace

void XTuningReset(tagTuningState& s)
{
    s.param_init = false;
    s.IspDev = 0;
    memset(&s.VpssNrParam, 0, sizeof(s.VpssNrParam));
    memset(&s.drc, 0, sizeof(s.drc));
    memset(&s.ae, 0, sizeof(s.ae));
    memset(&s.sat, 0, sizeof(s.sat));
    memset(&s.awb, 0, sizeof(s.awb));
    memset(&s.stDPDynamicAttr, 0, sizeof(s.stDPDynamicAttr));
    memset(&s.stSharpenAttr, 0, sizeof(s.stSharpenAttr));
    memset(&s.stUvnrAttr, 0, sizeof(s.stUvnrAttr));
    memset(&s.stDciParam, 0, sizeof(s.stDciParam));
    memset(&s.stStat, 0, sizeof(s.stStat));
    {
        std::lock_guard<std::mutex> lock(s.exp_lock);
        memset(&s.exp_info, 0, sizeof(s.exp_info));
    }
    s.level = -1;
    s.ae_strategy = AE_STRATEGY_MODE_BUTT;
    s.SysgainLevel = 0;
    s.MaxSysFlag = 0;
    s.maxHeightestWeightIndex[0] = 0;
    s.maxHeightestWeightIndex[1] = 0;
    memset(s.candidates, 0, sizeof(s.candidates));
}

void XTuningExposure(tagTuningState& s, ISP_EXP_INFO_S* info)
{
    std::lock_guard<std::mutex> lock(s.exp_lock);
    *info = s.exp_info;
}

void XTuningStep(tagTuningState& s, const tagTuningTables& t, bool bImgSensorReverse,
                 ISP_AE_STRATEGY_E curAeStrategy)
{
    const tagWeightTable& base = bImgSensorReverse ? u8AEWeight_reverse : u8AEWeight_normal;

    if (!s.param_init) {
        SetUp(s, t, base);
    }
    if (!s.param_init) {
        return;
    }

    // queried aside, so the lock is not held across the call
    ISP_EXP_INFO_S info;
    if (HI_MPI_ISP_QueryExposureInfo(s.IspDev, &info) != HI_SUCCESS) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(s.exp_lock);
        s.exp_info = info;
    }
    const HI_U32 gain = info.u32AGain;

    // noise reduction by analogue gain
    int level = static_cast<int>(gain / 1000 > 7 ? 7 : gain / 1000);
    if (level != s.level) {
        s.VpssNrParam.s32YSFStr = t.dns3d[level][0];
        s.VpssNrParam.s32YTFStr = t.dns3d[level][1];
        s.VpssNrParam.s32YSmthStr = t.dns3d[level][2];
        HI_S32 ret = HI_MPI_VPSS_SetNRParam(s.IspDev, &s.VpssNrParam);
        if (ret != HI_SUCCESS) {
            XERROR("HI_MPI_VPSS_SetNRParam failed width %#x\n", static_cast<unsigned>(ret));
        }
        s.level = level;
    }

    // exposure strategy
    if (curAeStrategy != s.ae_strategy) {
        s.maxHeightestWeightIndex[0] = 0;
        s.maxHeightestWeightIndex[1] = 0;
        memcpy(s.ae.stAuto.au8Weight, base, sizeof(s.ae.stAuto.au8Weight));
        s.ae.stAuto.enAEStrategyMode = curAeStrategy;
        s.ae.stAuto.u8Compensation = curAeStrategy == AE_EXP_HIGHLIGHT_PRIOR ? 45 : 32;
        HI_MPI_ISP_SetExposureAttr(s.IspDev, &s.ae);
        s.ae_strategy = curAeStrategy;
    }

    // gamma: bright at low gain, mid contrast at high gain, kept in between
    if (gain < 1536) {
        HI_MPI_ISP_SetGammaAttr(s.IspDev, &gamma_bright);
    } else if (gain > 2048) {
        HI_MPI_ISP_SetGammaAttr(s.IspDev, &gamma_mid_contrast);
    }

    // dynamic contrast above the threshold gain
    if (gain > t.max_sysgain_table[0]) {
        s.stDciParam.bEnable = 1;
        s.stDciParam.u32BlackGain = 40;
        s.stDciParam.u32ContrastGain = 40;
        s.stDciParam.u32LightGain = 40;
    } else {
        s.stDciParam.bEnable = 0;
        if (t.bDciOffGains) {
            s.stDciParam.u32BlackGain = 32;
            s.stDciParam.u32ContrastGain = 32;
            s.stDciParam.u32LightGain = 32;
        }
    }
    HI_S32 ret = HI_MPI_VI_SetDCIParam(0, &s.stDciParam);
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_VI_SetDCIParam failed width %#x\n", static_cast<unsigned>(ret));
    }

    // zone metering: weight on the N brightest zones of rows 3 to 11
    memcpy(s.ae.stAuto.au8Weight, base, sizeof(s.ae.stAuto.au8Weight));
    const int n = t.nCandidates;
    for (int i = 0; i < n; ++i) {
        s.candidates[i].row = i;
        s.candidates[i].col = i;
        s.candidates[i].value = static_cast<unsigned>(i);
    }
    if (HI_MPI_ISP_GetStatistics(s.IspDev, &s.stStat) != HI_SUCCESS) {
        return;
    }
    const float global = static_cast<float>(Luma(s.stStat.stAEStat.au16GlobalAvg));
    for (int row = 3; row <= 11; ++row) {
        for (int col = 0; col < AE_ZONE_COLUMN; ++col) {
            const double luma = Luma(s.stStat.stAEStat.au16ZoneAvg[row][col]);
            if (luma > static_cast<float>(s.candidates[0].value)) {
                s.candidates[0].row = row;
                s.candidates[0].col = col;
                s.candidates[0].value = static_cast<unsigned>(luma + 0.5);
                Quick_sort(s.candidates, 0, n - 1);
            }
        }
    }
    unsigned sum = 0;
    for (int i = 0; i < n; ++i) {
        const __AE_avgY__& c = s.candidates[i];
        if (c.row >= 0 && c.row < AE_ZONE_ROW && c.col >= 0 && c.col < AE_ZONE_COLUMN) {
            Mark(s.ae.stAuto.au8Weight, c.row, c.col);
        }
        sum += c.value;
    }
    const unsigned mean = sum / static_cast<unsigned>(n);

    // the system-gain ceiling: down in bright scenes, up in the dark
    int next = s.SysgainLevel;
    const float mid = (info.u8AveLum + global) / 2;
    if (mid >= 20) {
        next -= 1;
    } else if (mean > t.u32LumaDown) {
        next -= 1;
    } else if (mean <= t.u32LumaUp) {
        next += 1;
    }
    next = next < 0 ? 0 : (next > TUNING_GAIN_STEPS - 1 ? TUNING_GAIN_STEPS - 1 : next);

    if (next != s.SysgainLevel || (t.bExtraDark && s.MaxSysFlag != 0 && mean > 12)) {
        s.ae.stAuto.stSysGainRange.u32Max = t.MaxSysgain_table[next];
        HI_MPI_ISP_SetExposureAttr(s.IspDev, &s.ae);
        s.SysgainLevel = next;
        s.MaxSysFlag = 0;
    }
    if (t.bExtraDark && mean <= 7 && s.SysgainLevel == TUNING_GAIN_STEPS - 1) {
        s.ae.stAuto.stSysGainRange.u32Max = 6278;
        HI_MPI_ISP_SetExposureAttr(s.IspDev, &s.ae);
        s.MaxSysFlag = 1;
    }
}
