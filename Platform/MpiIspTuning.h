#ifndef PLATFORM_MPIISPTUNING_H
#define PLATFORM_MPIISPTUNING_H

// ISP image-quality attributes, the exposure report and the statistics.
// Every attribute is read and written as a whole record; a set checks the
// record's ranges and keeps it. Included by Platform/MpiIsp.h.

#include "Platform/MpiIsp.h"
#include "Platform/MpiTypes.h"

#define ISP_AUTO_STENGTH_NUM 16   // automatic-mode arrays: one entry per gain step
#define AE_ZONE_ROW 15
#define AE_ZONE_COLUMN 17
#define GAMMA_NODE_NUMBER 257
#define ISP_BAYER_CHN_NUM 4       // R, Gr, Gb, B

enum emIspOpType : uint32_t {
    OP_TYPE_AUTO = 0,
    OP_TYPE_MANUAL = 1,
    OP_TYPE_BUTT,
};
typedef emIspOpType ISP_OP_TYPE_E;

// ---- dynamic range compression ----
struct tagIspDrcManual {
    HI_U8 u8Strength;
    HI_U8 u8LocalMixingBrigtht;
    HI_U8 u8LocalMixingDark;
};

struct tagIspDrcAuto {
    HI_U8 u8Strength;
};

struct tagIspDrcAttr {
    HI_BOOL bEnable;
    HI_U8 u8SpatialVar;         // 0..15
    HI_U8 u8RangeVar;           // 0..15
    HI_U8 u8Asymmetry;          // 1..30
    HI_U8 u8SecondPole;         // 150..210
    HI_U8 u8Stretch;            // 30..60
    HI_U8 u8LocalMixingThres;   // 2..5
    HI_U16 u16DarkGainLmtY;     // 0..128
    HI_U16 u16DarkGainLmtC;     // 0..128
    HI_U16 u16BrightGainLmt;    // 0..128
    ISP_OP_TYPE_E enOpType;
    tagIspDrcManual stManual;
    tagIspDrcAuto stAuto;
};
typedef tagIspDrcAttr ISP_DRC_ATTR_S;

// ---- exposure ----
struct tagIspAeRange {
    HI_U32 u32Max;
    HI_U32 u32Min;
};
typedef tagIspAeRange ISP_AE_RANGE_S;

struct tagIspAeAttr {
    ISP_AE_RANGE_S stExpTimeRange;    // lines
    ISP_AE_RANGE_S stAGainRange;      // gains: 1024 is 1x
    ISP_AE_RANGE_S stDGainRange;
    ISP_AE_RANGE_S stISPDGainRange;
    ISP_AE_RANGE_S stSysGainRange;
    HI_U32 u32GainThreshold;
    HI_U8 u8Speed;
    HI_U8 u8Tolerance;
    HI_U8 u8Compensation;             // target luminance
    HI_U16 u16EVBias;
    ISP_AE_STRATEGY_E enAEStrategyMode;
    HI_U16 u16HistRatioSlope;
    HI_U8 u8MaxHistOffset;
    HI_U8 au8Weight[AE_ZONE_ROW][AE_ZONE_COLUMN];   // 0..15
};
typedef tagIspAeAttr ISP_AE_ATTR_S;

struct tagIspMeAttr {
    HI_U32 u32ExpTime;
    HI_U32 u32AGain;
    HI_U32 u32DGain;
    HI_U32 u32ISPDGain;
};
typedef tagIspMeAttr ISP_ME_ATTR_S;

struct tagIspExposureAttr {
    HI_BOOL bByPass;
    ISP_OP_TYPE_E enOpType;
    ISP_ME_ATTR_S stManual;
    ISP_AE_ATTR_S stAuto;
};
typedef tagIspExposureAttr ISP_EXPOSURE_ATTR_S;

// The exposure in force, as the phone app's report shows it.
struct tagIspExpInfo {
    HI_U32 u32ExpTime;
    HI_U32 u32AGain;
    HI_U32 u32DGain;
    HI_U32 u32ISPDGain;
    HI_U32 u32Exposure;
    HI_BOOL bExposureIsMAX;
    HI_U32 u32AE_Hist256Value[256];
    HI_U16 u16AE_Hist5Value[5];
    HI_U8 u8AveLum;
};
typedef tagIspExpInfo ISP_EXP_INFO_S;

// ---- saturation ----
struct tagIspSaturationAttr {
    ISP_OP_TYPE_E enOpType;
    struct {
        HI_U8 u8Saturation;
    } stManual;
    struct {
        HI_U8 au8Sat[ISP_AUTO_STENGTH_NUM];
    } stAuto;
};
typedef tagIspSaturationAttr ISP_SATURATION_ATTR_S;

// ---- white balance ----
struct tagIspMwbAttr {
    HI_U16 u16Rgain;
    HI_U16 u16Grgain;
    HI_U16 u16Gbgain;
    HI_U16 u16Bgain;
};

struct tagIspAwbAttr {
    HI_BOOL bEnable;
    HI_U16 u16RefColorTemp;
    HI_U16 au16StaticWB[4];
    HI_S32 as32CurvePara[6];
    HI_U8 u8RGStrength;
    HI_U8 u8BGStrength;
    HI_U16 u16Speed;
    HI_U16 u16ZoneSel;
    HI_U16 u16HighColorTemp;
    HI_U16 u16LowColorTemp;
};

struct tagIspWbAttr {
    HI_BOOL bByPass;
    ISP_OP_TYPE_E enOpType;
    tagIspMwbAttr stManual;
    tagIspAwbAttr stAuto;
};
typedef tagIspWbAttr ISP_WB_ATTR_S;

// ---- dynamic defect pixels ----
struct tagIspDpDynamicAttr {
    HI_BOOL bEnable;
    ISP_OP_TYPE_E enOpType;
    struct {
        HI_U16 u16Slope;
        HI_U16 u16Thresh;
    } stManual;
    struct {
        HI_U16 au16Slope[ISP_AUTO_STENGTH_NUM];   // 0..255
    } stAuto;
};
typedef tagIspDpDynamicAttr ISP_DP_DYNAMIC_ATTR_S;

// ---- sharpen ----
struct tagIspSharpenAttr {
    HI_BOOL bEnable;
    ISP_OP_TYPE_E enOpType;
    struct {
        HI_U8 u8SharpenD;
        HI_U8 u8SharpenUd;
        HI_U8 u8OverShoot;
        HI_U8 u8UnderShoot;
    } stManual;
    struct {
        HI_U8 au8SharpenD[ISP_AUTO_STENGTH_NUM];
        HI_U8 au8SharpenUd[ISP_AUTO_STENGTH_NUM];
        HI_U8 au8OverShoot[ISP_AUTO_STENGTH_NUM];
        HI_U8 au8UnderShoot[ISP_AUTO_STENGTH_NUM];
    } stAuto;
};
typedef tagIspSharpenAttr ISP_SHARPEN_ATTR_S;

// ---- chroma (UV) noise reduction ----
struct tagIspUvnrAttr {
    HI_BOOL bEnable;
    ISP_OP_TYPE_E enOpType;
    struct {
        HI_U8 u8ColorCast;
        HI_U8 u8UvnrThreshold;
        HI_U8 u8UvnrStrength;
    } stManual;
    struct {
        HI_U8 au8ColorCast[ISP_AUTO_STENGTH_NUM];
        HI_U8 au8UvnrThreshold[ISP_AUTO_STENGTH_NUM];
        HI_U8 au8UvnrStrength[ISP_AUTO_STENGTH_NUM];
    } stAuto;
};
typedef tagIspUvnrAttr ISP_UVNR_ATTR_S;

// ---- gamma ----
enum emIspGammaCurveType : uint32_t {
    ISP_GAMMA_CURVE_DEFAULT = 0,
    ISP_GAMMA_CURVE_SRGB = 1,
    ISP_GAMMA_CURVE_USER_DEFINE = 2,
    ISP_GAMMA_CURVE_BUTT,
};
typedef emIspGammaCurveType ISP_GAMMA_CURVE_TYPE_E;

struct tagIspGammaAttr {
    HI_BOOL bEnable;
    ISP_GAMMA_CURVE_TYPE_E enCurveType;
    HI_U16 u16Table[GAMMA_NODE_NUMBER];   // 0..4095, user-defined curves only
};
typedef tagIspGammaAttr ISP_GAMMA_ATTR_S;

// ---- statistics: the exposure part, channels in the order R, Gr, Gb, B ----
struct tagIspAeStatistics {
    HI_U32 au32Hist256Value[256];
    HI_U16 au16GlobalAvg[ISP_BAYER_CHN_NUM];
    HI_U16 au16ZoneAvg[AE_ZONE_ROW][AE_ZONE_COLUMN][ISP_BAYER_CHN_NUM];
};
typedef tagIspAeStatistics ISP_AE_STATISTICS_S;

struct tagIspStatistics {
    ISP_AE_STATISTICS_S stAEStat;
};
typedef tagIspStatistics ISP_STATISTICS_S;

HI_S32 HI_MPI_ISP_SetDRCAttr(HI_S32 IspDev, const ISP_DRC_ATTR_S* pstDRC);
HI_S32 HI_MPI_ISP_GetDRCAttr(HI_S32 IspDev, ISP_DRC_ATTR_S* pstDRC);
HI_S32 HI_MPI_ISP_SetExposureAttr(HI_S32 IspDev, const ISP_EXPOSURE_ATTR_S* pstExpAttr);
HI_S32 HI_MPI_ISP_GetExposureAttr(HI_S32 IspDev, ISP_EXPOSURE_ATTR_S* pstExpAttr);
HI_S32 HI_MPI_ISP_SetSaturationAttr(HI_S32 IspDev, const ISP_SATURATION_ATTR_S* pstSatAttr);
HI_S32 HI_MPI_ISP_GetSaturationAttr(HI_S32 IspDev, ISP_SATURATION_ATTR_S* pstSatAttr);
HI_S32 HI_MPI_ISP_SetWBAttr(HI_S32 IspDev, const ISP_WB_ATTR_S* pstWBAttr);
HI_S32 HI_MPI_ISP_GetWBAttr(HI_S32 IspDev, ISP_WB_ATTR_S* pstWBAttr);
HI_S32 HI_MPI_ISP_SetDPDynamicAttr(HI_S32 IspDev, const ISP_DP_DYNAMIC_ATTR_S* pstDPDynamicAttr);
HI_S32 HI_MPI_ISP_GetDPDynamicAttr(HI_S32 IspDev, ISP_DP_DYNAMIC_ATTR_S* pstDPDynamicAttr);
HI_S32 HI_MPI_ISP_SetSharpenAttr(HI_S32 IspDev, const ISP_SHARPEN_ATTR_S* pstSharpenAttr);
HI_S32 HI_MPI_ISP_GetSharpenAttr(HI_S32 IspDev, ISP_SHARPEN_ATTR_S* pstSharpenAttr);
HI_S32 HI_MPI_ISP_SetUVNRAttr(HI_S32 IspDev, const ISP_UVNR_ATTR_S* pstUvnrAttr);
HI_S32 HI_MPI_ISP_GetUVNRAttr(HI_S32 IspDev, ISP_UVNR_ATTR_S* pstUvnrAttr);
HI_S32 HI_MPI_ISP_SetGammaAttr(HI_S32 IspDev, const ISP_GAMMA_ATTR_S* pstGammaAttr);
HI_S32 HI_MPI_ISP_GetGammaAttr(HI_S32 IspDev, ISP_GAMMA_ATTR_S* pstGammaAttr);
HI_S32 HI_MPI_ISP_QueryExposureInfo(HI_S32 IspDev, ISP_EXP_INFO_S* pstExpInfo);
HI_S32 HI_MPI_ISP_GetStatistics(HI_S32 IspDev, ISP_STATISTICS_S* pstStat);

#endif
