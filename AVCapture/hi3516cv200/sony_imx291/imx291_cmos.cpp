// Sony IMX290/IMX291 driver: the ISP, AE and AWB callback tables, the
// register-update list and the sensor's I2C set-up. Every driver global has
// internal linkage; only registration and the register write are exported.

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "AVCapture/hi3516cv200/SensorDrivers.h"
#include "Platform/DevFile.h"
#include "Platform/I2c.h"
#include "Platform/MpiIsp.h"
#include "Platform/MpiSns.h"

namespace {

constexpr HI_U32 IMX291_ID = 291;
constexpr HI_S32 kIspDev = 0;
constexpr HI_U32 kFullLinesMax = 0x3FFFF;
constexpr HI_U32 kGainEntries = 262;
constexpr HI_U32 kHcgIndex = 21;  // first gain with high conversion gain

constexpr HI_U8 SENSOR_1080P_30FPS_MODE = 0;
constexpr HI_U8 SENSOR_1080P_60FPS_MODE = 1;
constexpr HI_U8 SENSOR_720P_60FPS_MODE = 2;
constexpr HI_U8 SENSOR_720P_120FPS_MODE = 3;

// register-update list entries
enum {
    kShutterLow = 0,
    kShutterMid,
    kShutterHigh,
    kGain,
    kHcg,
    kVmaxLow,
    kVmaxMid,
    kVmaxHigh,
    kListEntries,
};

struct tagSensorRow {
    HI_U16 reg;
    HI_U16 value;
};
constexpr HI_U16 kWait = 0xFFFF;

#include "AVCapture/hi3516cv200/sony_imx291/imx291_gain_table.inc"
#include "AVCapture/hi3516cv200/sony_imx291/imx291_sequences.inc"

const unsigned char sensor_i2c_addr = 0x34;
const unsigned int sensor_addr_byte = 2;
const unsigned int sensor_data_byte = 1;

HI_U8 gu8SensorImageModeImx290 = SENSOR_1080P_30FPS_MODE;
WDR_MODE_E genSensorModeImx290 = WDR_MODE_NONE;
bool bSensorInitImx290 = false;
bool bInit = false;
HI_U32 gu32FullLinesStd = 1133;
HI_U32 gu32FullLines = 1133;
ISP_SNS_REGS_INFO_S g_stSnsRegsInfo = {};
ISP_SNS_REGS_INFO_S g_stPreSnsRegsInfo = {};
int g_fd = -1;
HI_U8 gu8HCGReg = 2;

ISP_SENSOR_REGISTER_S g_stIspRegister = {};
AE_SENSOR_REGISTER_S g_stAeRegister = {};
AWB_SENSOR_REGISTER_S g_stAwbRegister = {};

// ---- image-quality data ----

ISP_PIRIS_ATTR_S MakePirisAttr()
{
    ISP_PIRIS_ATTR_S a;
    memset(&a, 0, sizeof(a));
    a.bStepFNOTableChange = 1;
    a.bZeroIsMax = 1;
    a.u16TotalStep = 93;
    a.u16StepCount = 62;
    for (int i = 0; i < 62; ++i) {
        a.au16StepFNOTable[i] = static_cast<HI_U16>(30 + i);
    }
    a.enMaxIrisFNOTarget = ISP_IRIS_F_NO_1_4;
    a.enMinIrisFNOTarget = ISP_IRIS_F_NO_5_6;
    return a;
}
const ISP_PIRIS_ATTR_S gstPirisAttr = MakePirisAttr();

const ISP_CMOS_DRC_S g_stIspDrc = {
    0, 0, 0xFFF, 0xB0, 0x00, 0x04, 0x01, 0x08, 0x30, 0x01, 0x20, 0x80, 0x60, 0x40,
    {0, 64, 128, 192, 256, 320, 384, 448, 512, 576, 640, 704, 768, 832},
};

const ISP_CMOS_DEMOSAIC_S g_stIspDemosaic = {
    1, 0x5A, 0x9B, 0x6E, 0xA0, 0x50, 0x40,
    {64, 64, 60, 56, 52, 48, 44, 40, 36, 32, 28, 24, 24, 24, 24, 24},
    {0, 0, 2, 4, 8, 12, 16, 20, 24, 28, 32, 36, 40, 40, 40, 40},
    {8, 8, 8, 7, 7, 6, 6, 5, 5, 4, 4, 3, 3, 3, 3, 3},
};

const ISP_CMOS_RGBSHARPEN_S g_stIspRgbSharpen = {
    {72, 70, 68, 64, 60, 54, 48, 42, 36, 30, 26, 22, 20, 20, 20, 20},
    {40, 40, 38, 36, 32, 28, 24, 20, 16, 14, 12, 10, 10, 10, 10, 10},
    {150, 150, 140, 130, 120, 110, 100, 90, 80, 70, 60, 50, 50, 50, 50, 50},
    {200, 200, 190, 180, 170, 160, 150, 140, 130, 120, 110, 100, 100, 100, 100, 100},
    {20, 20, 22, 24, 26, 28, 30, 32, 34, 36, 38, 40, 40, 40, 40, 40},
    {16, 16, 18, 20, 22, 24, 26, 28, 30, 32, 34, 36, 36, 36, 36, 36},
    {128, 128, 128, 128, 128, 120, 112, 104, 96, 88, 80, 72, 72, 72, 72, 72},
    {30, 30, 30, 30, 28, 26, 24, 22, 20, 18, 16, 14, 14, 14, 14, 14},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {31, 31, 31, 31, 30, 29, 28, 27, 26, 25, 24, 23, 23, 23, 23, 23},
};

const ISP_CMOS_GE_S g_stIspGe = {
    1, 9, 4, 300, 128,
    {128, 128, 128, 128, 129, 129, 129, 129, 130, 130, 130, 130, 131, 131, 131, 131},
    0,
};

const float g_coef_calib_imx291[7][4] = {
    {100.0f, 20.0f, 0.0334f, 6.1120f},   {200.0f, 23.0f, 0.0372f, 6.2941f},
    {400.0f, 26.0f, 0.0426f, 6.6005f},   {800.0f, 29.0f, 0.0515f, 7.1330f},
    {1600.0f, 32.0f, 0.0660f, 8.0572f},  {3200.0f, 35.0f, 0.0902f, 9.6610f},
    {6400.0f, 38.0f, 0.1307f, 12.4536f},
};

const ISP_NR_ISO_PARA_TABLE_S g_stNrIsoParaTab = {
    {1500, 1500, 1500, 1550, 1550, 1600, 1650, 1700, 1750, 1800, 1850, 1900, 1900, 1900, 1900, 1900},
    {80, 80, 80, 90, 100, 110, 120, 130, 140, 150, 160, 170, 170, 170, 170, 170},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 18, 18, 18, 18},
    {96, 96, 96, 96, 100, 104, 108, 112, 116, 120, 124, 128, 128, 128, 128, 128},
    {4, 4, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 8, 8, 8, 8},
    {6, 6, 6, 8, 8, 10, 10, 12, 12, 14, 14, 16, 16, 16, 16, 16},
};

const ISP_CMOS_UVNR_S g_stIspUVNR = {
    {1, 2, 4, 8, 16, 24, 32, 48, 64, 96, 128, 160, 160, 160, 160, 160},
    {0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 10, 10, 10},
    {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2},
    {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 4, 4, 4, 4},
};

const ISP_CMOS_DPC_S g_stCmosDpc = {
    {0, 0, 0, 152, 200, 200, 220, 220, 220, 220, 152, 152, 152, 152, 152, 152},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 50, 50, 50, 50, 50, 50},
};

// sign-magnitude: bit 15 the sign
constexpr HI_U16 Neg(HI_U16 v) { return static_cast<HI_U16>(0x8000 | v); }

const AWB_CCM_S g_stAwbCcm = {
    5291, {476, Neg(178), Neg(41), Neg(90), 408, Neg(61), 19, Neg(283), 520},
    3184, {451, Neg(139), Neg(56), Neg(133), 421, Neg(32), 58, Neg(332), 529},
    2457, {370, Neg(28), Neg(86), Neg(140), 416, Neg(20), Neg(29), Neg(343), 628},
};

const AWB_AGC_TABLE_S g_stAwbAgcTable = {
    1, {128, 128, 122, 120, 112, 104, 96, 88, 80, 72, 64, 56, 56, 56, 56, 56},
};

// ---- I2C ----

void* Arg(uintptr_t v) { return reinterpret_cast<void*>(v); }

int sensor_i2c_init(void)
{
    if (g_fd >= 0) {
        return 0;
    }
    g_fd = XDevOpen("/dev/i2c-0", O_RDWR);
    if (g_fd < 0) {
        printf("Open /dev/i2c-0 error!\n");
        return -1;
    }
    int ret = XDevIoctl(g_fd, I2C_SLAVE_FORCE, Arg(sensor_i2c_addr));
    if (ret < 0) {
        printf("CMD_SET_DEV error!\n");
        // no descriptor left open without its slave address
        XDevClose(g_fd);
        g_fd = -1;
        return ret;
    }
    printf("-----IMX290 I2C Init OK!----\n");
    return 0;
}

int sensor_i2c_exit(void)
{
    if (g_fd >= 0) {
        XDevClose(g_fd);
        g_fd = -1;
        return 0;
    }
    return -1;
}

void delay_ms(int ms)
{
    usleep(static_cast<useconds_t>(ms) * 1000);
}

// Plays a sequence; returns the writes that failed and counts the writes.
int sensor_play(const tagSensorRow* rows, size_t n, int* writes)
{
    int failed = 0;
    *writes = 0;
    for (size_t i = 0; i < n; ++i) {
        if (rows[i].reg == kWait) {
            delay_ms(rows[i].value);
            continue;
        }
        ++*writes;
        if (imx291_sensor_write_register(rows[i].reg, rows[i].value) != 0) {
            ++failed;
        }
    }
    return failed;
}

template <size_t N>
bool sensor_run(const tagSensorRow (&rows)[N], const char* banner)
{
    int writes = 0;
    const int failed = sensor_play(rows, N, &writes);
    if (failed != 0) {
        printf("--IMX290 sensor init failed: %d of %d writes failed!----\n", failed, writes);
        return false;
    }
    printf("%s\n", banner);
    return true;
}

bool sensor_linear_1080p30_init()
{
    return sensor_run(kLinear1080p30, "--------IMX290 1080P 30fps LINE CSI-2 12bit Init OK!----");
}

bool sensor_linear_1080p60_init()
{
    return sensor_run(kLinear1080p60, "--IMX290 1080P 60fps CSI-2 12bit LINE Init OK!----");
}

bool sensor_linear_720p120_init()
{
    return sensor_run(kLinear720p120, "--IMX290 720P 120fps LINE Init OK!----");
}

bool sensor_wdr_1080p30_init()
{
    return sensor_run(kWdr1080p30, "--IMX290 1080P 30fps 12bit DOL WDR Init OK!----");
}

bool sensor_wdr_720p60_init()
{
    return sensor_run(kWdr720p60, "--IMX290 720P 60fps DOL WDR Init OK!----");
}

// ---- ISP table ----

void sensor_init_imx291(void)
{
    sensor_i2c_init();
    bool ok = false;
    const bool wdr = genSensorModeImx290 == WDR_MODE_2To1_LINE;
    if (!wdr && gu8SensorImageModeImx290 == SENSOR_1080P_30FPS_MODE) {
        ok = sensor_linear_1080p30_init();
    } else if (!wdr && gu8SensorImageModeImx290 == SENSOR_1080P_60FPS_MODE) {
        ok = sensor_linear_1080p60_init();
    } else if (!wdr && gu8SensorImageModeImx290 == SENSOR_720P_120FPS_MODE) {
        ok = sensor_linear_720p120_init();
    } else if (wdr && gu8SensorImageModeImx290 == SENSOR_1080P_30FPS_MODE) {
        ok = sensor_wdr_1080p30_init();
    } else if (wdr && gu8SensorImageModeImx290 == SENSOR_720P_60FPS_MODE) {
        ok = sensor_wdr_720p60_init();
    } else {
        printf("Not support this mode!\n");
        return;
    }
    // programmed only when every write landed
    if (ok) {
        bSensorInitImx290 = true;
    }
}

void sensor_exit_imx291(void)
{
    sensor_i2c_exit();
}

void sensor_global_init(void)
{
    gu8SensorImageModeImx290 = SENSOR_1080P_30FPS_MODE;
    genSensorModeImx290 = WDR_MODE_NONE;
    gu32FullLinesStd = 1133;
    gu32FullLines = 1133;
    bInit = false;
    bSensorInitImx290 = false;
    memset(&g_stSnsRegsInfo, 0, sizeof(g_stSnsRegsInfo));
    memset(&g_stPreSnsRegsInfo, 0, sizeof(g_stPreSnsRegsInfo));
}

HI_S32 cmos_set_image_mode(ISP_CMOS_SENSOR_IMAGE_MODE_S* pstSensorImageMode)
{
    bInit = false;
    if (pstSensorImageMode == nullptr) {
        printf("null pointer when set image mode\n");
        return -1;
    }
    const ISP_CMOS_SENSOR_IMAGE_MODE_S& m = *pstSensorImageMode;
    if ((m.u16Width > 1280 || m.u16Height > 720) && m.u16Width <= 1920 && m.u16Height <= 1080 &&
        genSensorModeImx290 == WDR_MODE_NONE && m.f32Fps <= 30) {
        const HI_U8 mode = SENSOR_1080P_30FPS_MODE;
        gu8HCGReg = 2;
        if (bSensorInitImx290 && gu8SensorImageModeImx290 == mode) {
            return -1;  // already programmed in this mode
        }
        gu8SensorImageModeImx290 = mode;
        return 0;
    }
    printf("Not support! Width:%d, Height:%d, Fps:%f, WDRMode:%d\n", m.u16Width, m.u16Height,
           static_cast<double>(m.f32Fps), static_cast<int>(genSensorModeImx290));
    return -1;
}

HI_VOID cmos_set_wdr_mode(HI_U8 u8Mode)
{
    bInit = false;
    if (u8Mode != WDR_MODE_NONE) {
        printf("NOT support this mode!\n");
        return;
    }
    if (gu8SensorImageModeImx290 == SENSOR_1080P_30FPS_MODE || gu8SensorImageModeImx290 == SENSOR_1080P_60FPS_MODE) {
        gu32FullLinesStd = 1133;
    }
    genSensorModeImx290 = WDR_MODE_NONE;
    printf("linear mode\n");
}

HI_S32 cmos_get_isp_default(ISP_CMOS_DEFAULT_S* pstDef)
{
    if (pstDef == nullptr) {
        printf("null pointer when get isp default value!\n");
        return -1;
    }
    memset(pstDef, 0, sizeof(*pstDef));
    pstDef->stDrc = g_stIspDrc;
    pstDef->stDemosaic = g_stIspDemosaic;
    pstDef->stRgbSharpen = g_stIspRgbSharpen;
    pstDef->stGe = g_stIspGe;
    pstDef->stNoiseTbl.stNrCaliPara.u8CalicoefRow = 7;
    pstDef->stNoiseTbl.stNrCaliPara.pCalibcoef = g_coef_calib_imx291;
    pstDef->stNoiseTbl.stIsoParaTable = g_stNrIsoParaTab;
    pstDef->stUvnr = g_stIspUVNR;
    pstDef->stDpc = g_stCmosDpc;
    pstDef->stSensorMaxResolution.u32MaxWidth = 1920;
    pstDef->stSensorMaxResolution.u32MaxHeight = 1080;
    return 0;
}

HI_S32 cmos_get_isp_black_level(ISP_CMOS_BLACK_LEVEL_S* pstBlackLevel)
{
    if (pstBlackLevel == nullptr) {
        printf("null pointer when get isp black level value!\n");
        return -1;
    }
    pstBlackLevel->bUpdate = 0;
    for (HI_U16& level : pstBlackLevel->au16BlackLevel) {
        level = 240;
    }
    return 0;
}

void SetFrameLength(HI_U32 lines)
{
    g_stSnsRegsInfo.astI2cData[kVmaxLow].u32Data = lines & 0xFF;
    g_stSnsRegsInfo.astI2cData[kVmaxMid].u32Data = (lines >> 8) & 0xFF;
    g_stSnsRegsInfo.astI2cData[kVmaxHigh].u32Data = (lines >> 16) & 0x03;
}

HI_VOID cmos_set_pixel_detect(HI_BOOL bEnable)
{
    if (gu8SensorImageModeImx290 != SENSOR_1080P_30FPS_MODE && gu8SensorImageModeImx290 != SENSOR_1080P_60FPS_MODE) {
        return;
    }
    if (bEnable) {
        imx291_sensor_write_register(0x3014, 0x00);
        imx291_sensor_write_register(0x3018, 0x8E);  // 6798 lines
        imx291_sensor_write_register(0x3019, 0x1A);
        imx291_sensor_write_register(0x301A, 0x00);
        imx291_sensor_write_register(0x3020, 0x8C);  // shutter 6796
        imx291_sensor_write_register(0x3021, 0x1A);
        imx291_sensor_write_register(0x3022, 0x00);
        return;
    }
    if (gu32FullLinesStd > kFullLinesMax) {
        gu32FullLinesStd = kFullLinesMax;
    }
    imx291_sensor_write_register(0x3018, static_cast<int>(gu32FullLines & 0xFF));
    imx291_sensor_write_register(0x3019, static_cast<int>((gu32FullLines >> 8) & 0xFF));
    imx291_sensor_write_register(0x301A, static_cast<int>((gu32FullLines >> 16) & 0x03));
    bInit = false;
}

HI_S32 cmos_get_sns_regs_info(ISP_SNS_REGS_INFO_S* pstSnsRegsInfo)
{
    static const HI_U32 kRegs[kListEntries] = {0x3020, 0x3021, 0x3022, 0x3014, 0x3009, 0x3018, 0x3019, 0x301A};
    static const HI_U8 kDelays[kListEntries] = {0, 0, 0, 0, 1, 0, 0, 0};
    if (!bInit) {
        g_stSnsRegsInfo.enSnsType = ISP_SNS_I2C_TYPE;
        g_stSnsRegsInfo.u32RegNum = kListEntries;
        g_stSnsRegsInfo.u8Cfg2ValidDelayMax = 2;
        for (int i = 0; i < kListEntries; ++i) {
            ISP_I2C_DATA_S& e = g_stSnsRegsInfo.astI2cData[i];
            e.bUpdate = 1;
            e.u8DevAddr = sensor_i2c_addr;
            e.u32AddrByteNum = sensor_addr_byte;
            e.u32DataByteNum = sensor_data_byte;
            e.u32RegAddr = kRegs[i];
            e.u8DelayFrmNum = kDelays[i];
        }
        bInit = true;
    } else {
        for (int i = 0; i < kListEntries; ++i) {
            ISP_I2C_DATA_S& e = g_stSnsRegsInfo.astI2cData[i];
            e.bUpdate = e.u32Data != g_stPreSnsRegsInfo.astI2cData[i].u32Data ? 1 : 0;
        }
    }
    if (pstSnsRegsInfo == nullptr) {
        printf("null pointer when get sns reg info!\n");
        return -1;
    }
    memcpy(pstSnsRegsInfo, &g_stSnsRegsInfo, sizeof(g_stSnsRegsInfo));
    memcpy(&g_stPreSnsRegsInfo, &g_stSnsRegsInfo, sizeof(g_stSnsRegsInfo));
    return 0;
}

// ---- AE table ----

HI_S32 cmos_get_ae_default(AE_SENSOR_DEFAULT_S* pstAeSnsDft)
{
    if (pstAeSnsDft == nullptr) {
        printf("null pointer when get ae default value!\n");
        return -1;
    }
    AE_SENSOR_DEFAULT_S& d = *pstAeSnsDft;
    d.u32LinesPer500ms = 0;
    d.u32FullLinesStd = gu32FullLinesStd;
    d.u32FlickerFreq = 0;
    d.u32FullLinesMax = kFullLinesMax;

    d.au8HistThresh[0] = 13;
    d.au8HistThresh[1] = 40;
    d.au8HistThresh[2] = 96;
    d.au8HistThresh[3] = 128;
    d.u8AeCompensation = 56;

    d.stIntTimeAccu.enAccuType = AE_ACCURACY_LINEAR;
    d.stIntTimeAccu.f32Accuracy = 1;
    d.stIntTimeAccu.f32Offset = 0;
    d.u32MaxIntTime = gu32FullLinesStd - 2;
    d.u32MinIntTime = 1;
    d.u32MaxIntTimeTarget = 0xFFFF;
    d.u32MinIntTimeTarget = 1;

    d.stAgainAccu.enAccuType = AE_ACCURACY_TABLE;
    d.stAgainAccu.f32Accuracy = 1;
    d.u32MaxAgain = gain_table[kGainEntries - 1];
    d.u32MinAgain = gain_table[0];
    d.u32MaxAgainTarget = d.u32MaxAgain;
    d.u32MinAgainTarget = d.u32MinAgain;

    d.stDgainAccu.enAccuType = AE_ACCURACY_LINEAR;
    d.stDgainAccu.f32Accuracy = 1;
    d.u32MaxDgain = 1;
    d.u32MinDgain = 1;
    d.u32MaxDgainTarget = 1;
    d.u32MinDgainTarget = 1;

    d.u32ISPDgainShift = 8;
    d.u32MinISPDgainTarget = 1 << 8;
    d.u32MaxISPDgainTarget = 0x10000;

    d.enIrisType = ISP_IRIS_DC_TYPE;
    d.stPirisAttr = gstPirisAttr;
    d.enMaxIrisFNO = ISP_IRIS_F_NO_1_4;
    d.enMinIrisFNO = ISP_IRIS_F_NO_5_6;
    d.u8AERunInterval = 1;
    return 0;
}

HI_VOID cmos_fps_set(float f32Fps, AE_SENSOR_DEFAULT_S* pstAeSnsDft)
{
    if (gu8SensorImageModeImx290 == SENSOR_1080P_30FPS_MODE) {
        if (f32Fps >= 0.5f && f32Fps <= 30) {
            gu32FullLinesStd = static_cast<HI_U32>(33990 / f32Fps);
        } else {
            printf("Not support Fps: %f\n", static_cast<double>(f32Fps));
            return;
        }
    }
    if (gu32FullLinesStd > kFullLinesMax) {
        gu32FullLinesStd = kFullLinesMax;
    }
    SetFrameLength(gu32FullLinesStd);
    if (pstAeSnsDft != nullptr) {
        pstAeSnsDft->u32MaxIntTime = gu32FullLinesStd - 2;
        pstAeSnsDft->u32LinesPer500ms = static_cast<HI_U32>(gu32FullLinesStd * f32Fps / 2);
        pstAeSnsDft->u32FullLinesStd = gu32FullLinesStd;
    }
    gu32FullLines = gu32FullLinesStd;
}

HI_VOID cmos_slow_framerate_set(HI_U32 u32FullLines, AE_SENSOR_DEFAULT_S* pstAeSnsDft)
{
    gu32FullLines = u32FullLines > kFullLinesMax ? kFullLinesMax : u32FullLines;
    SetFrameLength(gu32FullLines);
    if (pstAeSnsDft != nullptr) {
        pstAeSnsDft->u32MaxIntTime = gu32FullLines - 2;
    }
}

HI_VOID cmos_inttime_update(HI_U32 u32IntTime)
{
    // at most a line short of the frame: shutter 0, never a wrapped value
    if (gu32FullLines == 0) {
        u32IntTime = 0;
    } else if (u32IntTime >= gu32FullLines) {
        u32IntTime = gu32FullLines - 1;
    }
    const HI_U32 shutter = gu32FullLines == 0 ? 0 : gu32FullLines - u32IntTime - 1;
    g_stSnsRegsInfo.astI2cData[kShutterLow].u32Data = shutter & 0xFF;
    g_stSnsRegsInfo.astI2cData[kShutterMid].u32Data = (shutter >> 8) & 0xFF;
    g_stSnsRegsInfo.astI2cData[kShutterHigh].u32Data = (shutter >> 16) & 0x03;
}

HI_VOID cmos_gains_update(HI_U32 u32Again, HI_U32 u32Dgain)
{
    (void)u32Dgain;  // fixed at 1
    if (u32Again >= kGainEntries) {
        u32Again = kGainEntries - 1;
    }
    if (u32Again < kHcgIndex) {
        g_stSnsRegsInfo.astI2cData[kGain].u32Data = u32Again;
        g_stSnsRegsInfo.astI2cData[kHcg].u32Data = gu8HCGReg;
    } else {
        g_stSnsRegsInfo.astI2cData[kGain].u32Data = u32Again - kHcgIndex;
        g_stSnsRegsInfo.astI2cData[kHcg].u32Data = gu8HCGReg | 0x10;
    }
}

HI_VOID cmos_again_calc_table(HI_U32* pu32AgainLin, HI_U32* pu32AgainDb)
{
    if (pu32AgainLin == nullptr || pu32AgainDb == nullptr) {
        return;
    }
    if (*pu32AgainLin >= gain_table[kGainEntries - 1]) {
        *pu32AgainLin = gain_table[kGainEntries - 1];
        *pu32AgainDb = kGainEntries - 1;
        return;
    }
    for (HI_U32 i = 1; i < kGainEntries; ++i) {
        if (*pu32AgainLin < gain_table[i]) {
            *pu32AgainLin = gain_table[i - 1];
            *pu32AgainDb = i - 1;
            return;
        }
    }
}

// ---- AWB table ----

HI_S32 cmos_get_awb_default(AWB_SENSOR_DEFAULT_S* pstAwbSnsDft)
{
    if (pstAwbSnsDft == nullptr) {
        printf("null pointer when get awb default value!\n");
        return -1;
    }
    memset(pstAwbSnsDft, 0, sizeof(*pstAwbSnsDft));
    pstAwbSnsDft->u16WbRefTemp = 4900;
    pstAwbSnsDft->au16GainOffset[0] = 418;
    pstAwbSnsDft->au16GainOffset[1] = 256;
    pstAwbSnsDft->au16GainOffset[2] = 256;
    pstAwbSnsDft->au16GainOffset[3] = 541;
    const HI_S32 para[6] = {72, 36, -148, 190509, 128, -141264};
    memcpy(pstAwbSnsDft->as32WbPara, para, sizeof(para));
    pstAwbSnsDft->stCcm = g_stAwbCcm;
    pstAwbSnsDft->stAgcTbl = g_stAwbAgcTable;
    return 0;
}

// ---- registration ----

void cmos_init_sensor_exp_function(ISP_SENSOR_EXP_FUNC_S* f)
{
    memset(f, 0, sizeof(*f));
    f->pfn_cmos_sensor_init = sensor_init_imx291;
    f->pfn_cmos_sensor_exit = sensor_exit_imx291;
    f->pfn_cmos_sensor_global_init = sensor_global_init;
    f->pfn_cmos_set_image_mode = cmos_set_image_mode;
    f->pfn_cmos_set_wdr_mode = cmos_set_wdr_mode;
    f->pfn_cmos_get_isp_default = cmos_get_isp_default;
    f->pfn_cmos_get_isp_black_level = cmos_get_isp_black_level;
    f->pfn_cmos_set_pixel_detect = cmos_set_pixel_detect;
    f->pfn_cmos_get_sns_reg_info = cmos_get_sns_regs_info;
}

void cmos_init_ae_exp_function(AE_SENSOR_EXP_FUNC_S* f)
{
    memset(f, 0, sizeof(*f));
    f->pfn_cmos_get_ae_default = cmos_get_ae_default;
    f->pfn_cmos_fps_set = cmos_fps_set;
    f->pfn_cmos_slow_framerate_set = cmos_slow_framerate_set;
    f->pfn_cmos_inttime_update = cmos_inttime_update;
    f->pfn_cmos_gains_update = cmos_gains_update;
    f->pfn_cmos_again_calc_table = cmos_again_calc_table;
}

void cmos_init_awb_exp_function(AWB_SENSOR_EXP_FUNC_S* f)
{
    memset(f, 0, sizeof(*f));
    f->pfn_cmos_get_awb_default = cmos_get_awb_default;
}

ALG_LIB_S Lib(const char* name)
{
    ALG_LIB_S lib;
    memset(&lib, 0, sizeof(lib));
    lib.s32Id = 0;
    strncpy(lib.acLibName, name, sizeof(lib.acLibName) - 1);
    return lib;
}

}  // namespace

int imx291_sensor_write_register(int addr, int data)
{
    unsigned char buf[3];
    buf[0] = static_cast<unsigned char>(addr & 0xFF);
    if (XDevIoctl(g_fd, I2C_16BIT_REG, Arg(1)) < 0) {
        printf("CMD_SET_REG_WIDTH error!\n");
        return -1;
    }
    buf[1] = static_cast<unsigned char>((addr >> 8) & 0xFF);
    buf[2] = static_cast<unsigned char>(data & 0xFF);
    if (XDevIoctl(g_fd, I2C_16BIT_DATA, Arg(0)) != 0) {
        printf("hi_i2c write faild!\n");
        return -1;
    }
    if (XDevWrite(g_fd, buf, sizeof(buf)) != static_cast<long>(sizeof(buf))) {
        printf("I2C_WRITE error! addr: 0x%x\n", static_cast<unsigned>(addr));
        return -1;
    }
    return 0;
}

int sensor_register_callback_imx291(void)
{
    cmos_init_sensor_exp_function(&g_stIspRegister.stSnsExp);
    HI_S32 ret = HI_MPI_ISP_SensorRegCallBack(kIspDev, IMX291_ID, &g_stIspRegister);
    if (ret != HI_SUCCESS) {
        printf("sensor register callback function failed!\n");
        return ret;
    }
    const ALG_LIB_S ae = Lib("hisi_ae_lib");
    cmos_init_ae_exp_function(&g_stAeRegister.stSnsExp);
    ret = HI_MPI_AE_SensorRegCallBack(kIspDev, &ae, IMX291_ID, &g_stAeRegister);
    if (ret != HI_SUCCESS) {
        printf("sensor register callback function to ae lib failed!\n");
        return ret;
    }
    const ALG_LIB_S awb = Lib("hisi_awb_lib");
    cmos_init_awb_exp_function(&g_stAwbRegister.stSnsExp);
    ret = HI_MPI_AWB_SensorRegCallBack(kIspDev, &awb, IMX291_ID, &g_stAwbRegister);
    if (ret != HI_SUCCESS) {
        printf("sensor register callback function to awb lib failed!\n");
        return ret;
    }
    return 0;
}

int sensor_unregister_callback_imx291(void)
{
    HI_S32 ret = HI_MPI_ISP_SensorUnRegCallBack(kIspDev, IMX291_ID);
    if (ret != HI_SUCCESS) {
        printf("sensor unregister callback function failed!\n");
        return ret;
    }
    const ALG_LIB_S ae = Lib("hisi_ae_lib");
    ret = HI_MPI_AE_SensorUnRegCallBack(kIspDev, &ae, IMX291_ID);
    if (ret != HI_SUCCESS) {
        printf("sensor unregister callback function to ae lib failed!\n");
        return ret;
    }
    const ALG_LIB_S awb = Lib("hisi_awb_lib");
    ret = HI_MPI_AWB_SensorUnRegCallBack(kIspDev, &awb, IMX291_ID);
    if (ret != HI_SUCCESS) {
        printf("sensor unregister callback function to awb lib failed!\n");
        return ret;
    }
    return 0;
}
