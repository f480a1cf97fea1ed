#ifndef PLATFORM_MPISNS_H
#define PLATFORM_MPISNS_H

// The image sensor's callback tables as the ISP and its AE and AWB libraries
// call them, and the records they fill. A sensor driver fills the tables and
// registers them (Platform/MpiIsp.h); the ISP keeps the pointers it is given
// and calls every slot that is not empty.

#include "Platform/MpiIsp.h"
#include "Platform/MpiTypes.h"

// ---- register-update list the ISP writes out once per frame ----
#define ISP_MAX_SNS_REGS 32

enum emIspSnsType : uint32_t {
    ISP_SNS_I2C_TYPE = 0,
    ISP_SNS_SSP_TYPE = 1,
    ISP_SNS_TYPE_BUTT,
};
typedef emIspSnsType ISP_SNS_TYPE_E;

struct tagIspI2cData {
    HI_BOOL bUpdate;        // write it with this list
    HI_U8 u8DelayFrmNum;    // frames after the list is taken
    HI_U8 u8DevAddr;        // slave address (8-bit form)
    HI_U32 u32RegAddr;
    HI_U32 u32AddrByteNum;
    HI_U32 u32Data;
    HI_U32 u32DataByteNum;
};
typedef tagIspI2cData ISP_I2C_DATA_S;

struct tagIspSnsRegsInfo {
    ISP_SNS_TYPE_E enSnsType;
    HI_U32 u32RegNum;
    HI_U8 u8Cfg2ValidDelayMax;
    ISP_I2C_DATA_S astI2cData[ISP_MAX_SNS_REGS];
};
typedef tagIspSnsRegsInfo ISP_SNS_REGS_INFO_S;

struct tagIspCmosSensorImageMode {
    HI_U16 u16Width;
    HI_U16 u16Height;
    float f32Fps;
};
typedef tagIspCmosSensorImageMode ISP_CMOS_SENSOR_IMAGE_MODE_S;

// ---- image-quality defaults ----
enum emIspIrisType : uint32_t {
    ISP_IRIS_DC_TYPE = 0,
    ISP_IRIS_P_TYPE = 1,
    ISP_IRIS_TYPE_BUTT,
};
typedef emIspIrisType ISP_IRIS_TYPE_E;

enum emIspIrisFNo : uint32_t {
    ISP_IRIS_F_NO_32_0 = 0,
    ISP_IRIS_F_NO_22_0,
    ISP_IRIS_F_NO_16_0,
    ISP_IRIS_F_NO_11_0,
    ISP_IRIS_F_NO_8_0,
    ISP_IRIS_F_NO_5_6,
    ISP_IRIS_F_NO_4_0,
    ISP_IRIS_F_NO_2_8,
    ISP_IRIS_F_NO_2_0,
    ISP_IRIS_F_NO_1_4,
    ISP_IRIS_F_NO_1_0,
    ISP_IRIS_F_NO_BUTT,
};
typedef emIspIrisFNo ISP_IRIS_F_NO_E;

#define PIRIS_STEP_TABLE_MAX 1024

struct tagIspPirisAttr {
    HI_BOOL bStepFNOTableChange;
    HI_BOOL bZeroIsMax;
    HI_U16 u16TotalStep;
    HI_U16 u16StepCount;
    HI_U16 au16StepFNOTable[PIRIS_STEP_TABLE_MAX];
    ISP_IRIS_F_NO_E enMaxIrisFNOTarget;
    ISP_IRIS_F_NO_E enMinIrisFNOTarget;
};
typedef tagIspPirisAttr ISP_PIRIS_ATTR_S;

#define ISP_AUTO_ISO_LEVELS 16

struct tagIspCmosDrc {
    HI_BOOL bEnable;
    HI_U32 u32BlackLevel;
    HI_U32 u32WhiteLevel;
    HI_U32 u32SlopeMax;
    HI_U32 u32SlopeMin;
    HI_U32 u32VarianceSpace;
    HI_U32 u32VarianceIntensity;
    HI_U32 u32Asymmetry;
    HI_U32 u32BrightEnhance;
    HI_U32 u32FilterMux;
    HI_U32 u32Svariance;
    HI_U32 u32BrightPr;
    HI_U32 u32Contrast;
    HI_U32 u32DarkEnhance;
    HI_U16 au16ToneCurve[14];
};
typedef tagIspCmosDrc ISP_CMOS_DRC_S;

struct tagIspCmosDemosaic {
    HI_BOOL bEnable;
    HI_U16 u16VhSlope;
    HI_U16 u16AaSlope;
    HI_U16 u16VaSlope;
    HI_U16 u16UuSlope;
    HI_U16 u16SatSlope;
    HI_U16 u16FcThr;
    HI_U8 au8LumThresh[ISP_AUTO_ISO_LEVELS];
    HI_U16 au16NpOffset[ISP_AUTO_ISO_LEVELS];
    HI_U8 au8EdgeLut[ISP_AUTO_ISO_LEVELS];
};
typedef tagIspCmosDemosaic ISP_CMOS_DEMOSAIC_S;

struct tagIspCmosRgbSharpen {
    HI_U8 au8SharpenD[ISP_AUTO_ISO_LEVELS];
    HI_U8 au8SharpenUd[ISP_AUTO_ISO_LEVELS];
    HI_U8 au8OverShoot[ISP_AUTO_ISO_LEVELS];
    HI_U8 au8UnderShoot[ISP_AUTO_ISO_LEVELS];
    HI_U8 au8TextureThd[ISP_AUTO_ISO_LEVELS];
    HI_U8 au8EdgeThd[ISP_AUTO_ISO_LEVELS];
    HI_U8 au8DetailCtrl[ISP_AUTO_ISO_LEVELS];
    HI_U8 au8ShootSupSt[ISP_AUTO_ISO_LEVELS];
    HI_U8 au8LowLumaShoot[ISP_AUTO_ISO_LEVELS];
    HI_U8 au8LumaWgt[ISP_AUTO_ISO_LEVELS];
};
typedef tagIspCmosRgbSharpen ISP_CMOS_RGBSHARPEN_S;

struct tagIspCmosGe {
    HI_BOOL bEnable;
    HI_U8 u8Slope;
    HI_U8 u8Sensitivity;
    HI_U16 u16Threshold;
    HI_U16 u16SensiThreshold;
    HI_U16 au16Strength[ISP_AUTO_ISO_LEVELS];
    HI_U16 u16Reserved;
};
typedef tagIspCmosGe ISP_CMOS_GE_S;

struct tagIspCmosRgbir {
    HI_BOOL bEnable;
    HI_BOOL bRemovelEn;
    HI_U32 u32ExpCtrl1;
    HI_U32 u32ExpCtrl2;
    HI_S16 as16ScaleCoef[24];
};
typedef tagIspCmosRgbir ISP_CMOS_RGBIR_S;

struct tagIspNrIsoParaTable {
    HI_U16 au16Threshold[ISP_AUTO_ISO_LEVELS];
    HI_U8 au8VarStrength[ISP_AUTO_ISO_LEVELS];
    HI_U8 au8FixStrength[ISP_AUTO_ISO_LEVELS];
    HI_U8 au8LowFreqSlope[ISP_AUTO_ISO_LEVELS];
    HI_U8 au8DirectStrength[ISP_AUTO_ISO_LEVELS];
    HI_U8 au8HighFreqSlope[ISP_AUTO_ISO_LEVELS];
    HI_U8 au8TnrStrength[ISP_AUTO_ISO_LEVELS];
};
typedef tagIspNrIsoParaTable ISP_NR_ISO_PARA_TABLE_S;

struct tagIspNrCalibPara {
    HI_U8 u8CalicoefRow;
    const float (*pCalibcoef)[4];  // u8CalicoefRow rows of 4
};
typedef tagIspNrCalibPara ISP_NR_CALIB_PARA_S;

struct tagIspCmosNoiseTable {
    ISP_NR_CALIB_PARA_S stNrCaliPara;
    ISP_NR_ISO_PARA_TABLE_S stIsoParaTable;
};
typedef tagIspCmosNoiseTable ISP_CMOS_NOISE_TABLE_S;

struct tagIspCmosUvnr {
    HI_U16 au16UvnrThreshold[ISP_AUTO_ISO_LEVELS];
    HI_U16 au16UvnrStrength[ISP_AUTO_ISO_LEVELS];
    HI_U8 au8ColorCast[ISP_AUTO_ISO_LEVELS];
    HI_U8 au8MedFilterStrength[ISP_AUTO_ISO_LEVELS];
};
typedef tagIspCmosUvnr ISP_CMOS_UVNR_S;

struct tagIspCmosDpc {
    HI_U16 au16Slope[ISP_AUTO_ISO_LEVELS];
    HI_U16 au16BlendRatio[ISP_AUTO_ISO_LEVELS];
};
typedef tagIspCmosDpc ISP_CMOS_DPC_S;

struct tagIspCmosSensorMaxResolution {
    HI_U32 u32MaxWidth;
    HI_U32 u32MaxHeight;
};
typedef tagIspCmosSensorMaxResolution ISP_CMOS_SENSOR_MAX_RESOLUTION_S;

struct tagIspCmosDefault {
    ISP_CMOS_DRC_S stDrc;
    ISP_CMOS_DEMOSAIC_S stDemosaic;
    ISP_CMOS_RGBSHARPEN_S stRgbSharpen;
    ISP_CMOS_GE_S stGe;
    ISP_CMOS_RGBIR_S stRgbir;
    ISP_CMOS_NOISE_TABLE_S stNoiseTbl;
    ISP_CMOS_UVNR_S stUvnr;
    ISP_CMOS_DPC_S stDpc;
    ISP_CMOS_SENSOR_MAX_RESOLUTION_S stSensorMaxResolution;
};
typedef tagIspCmosDefault ISP_CMOS_DEFAULT_S;

struct tagIspCmosBlackLevel {
    HI_BOOL bUpdate;
    HI_U16 au16BlackLevel[4];
};
typedef tagIspCmosBlackLevel ISP_CMOS_BLACK_LEVEL_S;

// ---- AE ----
enum emAeAccuracy : uint32_t {
    AE_ACCURACY_DB = 0,
    AE_ACCURACY_LINEAR = 1,
    AE_ACCURACY_TABLE = 2,
    AE_ACCURACY_BUTT,
};
typedef emAeAccuracy AE_ACCURACY_E;

struct tagAeAccuracy {
    AE_ACCURACY_E enAccuType;
    float f32Accuracy;
    float f32Offset;
};
typedef tagAeAccuracy AE_ACCURACY_S;

#define ISP_AE_ROUTE_MAX_NODES 16

struct tagIspAeRouteNode {
    HI_U32 u32IntTime;
    HI_U32 u32SysGain;
    ISP_IRIS_F_NO_E enIrisFNO;
};
typedef tagIspAeRouteNode ISP_AE_ROUTE_NODE_S;

struct tagIspAeRoute {
    HI_U32 u32TotalNum;
    ISP_AE_ROUTE_NODE_S astRouteNode[ISP_AE_ROUTE_MAX_NODES];
};
typedef tagIspAeRoute ISP_AE_ROUTE_S;

struct tagAeSensorDefault {
    HI_U8 au8HistThresh[4];
    HI_U8 u8AeCompensation;
    HI_U8 u8AERunInterval;
    HI_U32 u32LinesPer500ms;
    HI_U32 u32FlickerFreq;
    float f32Fps;
    HI_U32 u32FullLinesStd;
    HI_U32 u32FullLinesMax;
    HI_U32 u32FullLines;

    HI_U32 u32MaxIntTime;  // lines
    HI_U32 u32MinIntTime;
    HI_U32 u32MaxIntTimeTarget;
    HI_U32 u32MinIntTimeTarget;
    AE_ACCURACY_S stIntTimeAccu;

    HI_U32 u32MaxAgain;  // 1024 = 1x
    HI_U32 u32MinAgain;
    HI_U32 u32MaxAgainTarget;
    HI_U32 u32MinAgainTarget;
    AE_ACCURACY_S stAgainAccu;

    HI_U32 u32MaxDgain;
    HI_U32 u32MinDgain;
    HI_U32 u32MaxDgainTarget;
    HI_U32 u32MinDgainTarget;
    AE_ACCURACY_S stDgainAccu;

    HI_U32 u32ISPDgainShift;
    HI_U32 u32MaxISPDgainTarget;
    HI_U32 u32MinISPDgainTarget;

    ISP_AE_ROUTE_S stAERouteAttr;
    ISP_IRIS_TYPE_E enIrisType;
    ISP_PIRIS_ATTR_S stPirisAttr;
    ISP_IRIS_F_NO_E enMaxIrisFNO;
    ISP_IRIS_F_NO_E enMinIrisFNO;
};
typedef tagAeSensorDefault AE_SENSOR_DEFAULT_S;

// ---- AWB ----
#define CCM_MATRIX_SIZE 9

struct tagAwbCcm {
    HI_U16 u16HighColorTemp;
    HI_U16 au16HighCCM[CCM_MATRIX_SIZE];  // sign-magnitude: bit 15 the sign, 256 = 1.0
    HI_U16 u16MidColorTemp;
    HI_U16 au16MidCCM[CCM_MATRIX_SIZE];
    HI_U16 u16LowColorTemp;
    HI_U16 au16LowCCM[CCM_MATRIX_SIZE];
};
typedef tagAwbCcm AWB_CCM_S;

struct tagAwbAgcTable {
    HI_BOOL bValid;
    HI_U8 au8Saturation[ISP_AUTO_ISO_LEVELS];  // by gain level
};
typedef tagAwbAgcTable AWB_AGC_TABLE_S;

struct tagAwbSensorDefault {
    HI_U16 u16WbRefTemp;
    HI_U16 au16GainOffset[4];
    HI_S32 as32WbPara[6];
    AWB_AGC_TABLE_S stAgcTbl;
    AWB_CCM_S stCcm;
};
typedef tagAwbSensorDefault AWB_SENSOR_DEFAULT_S;

// ---- the three tables, slots in calling order ----
struct tagIspSensorExpFunc {
    HI_VOID (*pfn_cmos_sensor_init)(HI_VOID);
    HI_VOID (*pfn_cmos_sensor_exit)(HI_VOID);
    HI_VOID (*pfn_cmos_sensor_global_init)(HI_VOID);
    HI_S32 (*pfn_cmos_set_image_mode)(ISP_CMOS_SENSOR_IMAGE_MODE_S* pstSensorImageMode);
    HI_VOID (*pfn_cmos_set_wdr_mode)(HI_U8 u8Mode);
    HI_S32 (*pfn_cmos_get_isp_default)(ISP_CMOS_DEFAULT_S* pstDef);
    HI_S32 (*pfn_cmos_get_isp_black_level)(ISP_CMOS_BLACK_LEVEL_S* pstBlackLevel);
    HI_VOID (*pfn_cmos_set_pixel_detect)(HI_BOOL bEnable);
    HI_S32 (*pfn_cmos_get_sns_reg_info)(ISP_SNS_REGS_INFO_S* pstSnsRegsInfo);
};
typedef tagIspSensorExpFunc ISP_SENSOR_EXP_FUNC_S;

struct tagIspSensorRegister {
    ISP_SENSOR_EXP_FUNC_S stSnsExp;
};

struct tagAeSensorExpFunc {
    HI_S32 (*pfn_cmos_get_ae_default)(AE_SENSOR_DEFAULT_S* pstAeSnsDft);
    HI_VOID (*pfn_cmos_fps_set)(float f32Fps, AE_SENSOR_DEFAULT_S* pstAeSnsDft);
    HI_VOID (*pfn_cmos_slow_framerate_set)(HI_U32 u32FullLines, AE_SENSOR_DEFAULT_S* pstAeSnsDft);
    HI_VOID (*pfn_cmos_inttime_update)(HI_U32 u32IntTime);
    // Table indices where the gain's accuracy is a table, else linear gains.
    HI_VOID (*pfn_cmos_gains_update)(HI_U32 u32Again, HI_U32 u32Dgain);
    // In: the wanted linear gain; out: the table's gain at or below it and its index.
    HI_VOID (*pfn_cmos_again_calc_table)(HI_U32* pu32AgainLin, HI_U32* pu32AgainDb);
    HI_VOID (*pfn_cmos_dgain_calc_table)(HI_U32* pu32DgainLin, HI_U32* pu32DgainDb);
    HI_VOID (*pfn_cmos_get_inttime_max)(HI_U32 u32Ratio, HI_U32* pu32IntTimeMax);
};
typedef tagAeSensorExpFunc AE_SENSOR_EXP_FUNC_S;

struct tagAeSensorRegister {
    AE_SENSOR_EXP_FUNC_S stSnsExp;
};

struct tagAwbSensorExpFunc {
    HI_S32 (*pfn_cmos_get_awb_default)(AWB_SENSOR_DEFAULT_S* pstAwbSnsDft);
};
typedef tagAwbSensorExpFunc AWB_SENSOR_EXP_FUNC_S;

struct tagAwbSensorRegister {
    AWB_SENSOR_EXP_FUNC_S stSnsExp;
};

// Sizes of the drivers' image-quality blocks, in bytes.
static_assert(sizeof(ISP_PIRIS_ATTR_S) == 2068, "iris attributes");
static_assert(sizeof(ISP_CMOS_DRC_S) == 84, "DRC block");
static_assert(sizeof(ISP_CMOS_DEMOSAIC_S) == 80, "demosaic block");
static_assert(sizeof(ISP_CMOS_RGBSHARPEN_S) == 160, "RGB sharpen block");
static_assert(sizeof(ISP_CMOS_GE_S) == 44, "GE block");
static_assert(sizeof(ISP_CMOS_RGBIR_S) == 64, "RGB-IR block");
static_assert(sizeof(ISP_NR_ISO_PARA_TABLE_S) == 128, "ISO noise table");
static_assert(sizeof(ISP_CMOS_UVNR_S) == 96, "UV noise block");
static_assert(sizeof(ISP_CMOS_DPC_S) == 64, "defect pixel block");
static_assert(sizeof(AWB_CCM_S) == 60, "colour matrices");
static_assert(sizeof(AWB_AGC_TABLE_S) == 20, "saturation table");

#endif
