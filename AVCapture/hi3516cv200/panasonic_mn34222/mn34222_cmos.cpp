// Panasonic MN34222 driver: the ISP, AE and AWB callback tables, the
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

constexpr HI_U32 MN34222_ID = 34222;
constexpr HI_S32 kIspDev = 0;
constexpr HI_U32 kFullLinesMax = 0xFFFF;
constexpr HI_U32 kGainEntries = 81;
constexpr float kIntTimeOffset = 0.8045f;

constexpr HI_U8 SENSOR_1080P_30FPS_MODE = 1;

// register-update list entries
enum {
    kIntTimeHigh = 0,
    kIntTimeLow,
    kGainHold,
    kAgainHigh,
    kAgainLow,
    kDgainHigh,
    kDgainLow,
    kFrameHigh,
    kFrameLow,
    kListEntries,
};

struct tagSensorRow {
    HI_U16 reg;
    HI_U16 value;
};

#include "AVCapture/hi3516cv200/panasonic_mn34222/mn34222_sequences.inc"

// Analog and digital gains in 0.375 dB steps (1024 = 1x).
const HI_U32 ad_gain_table[kGainEntries] = {
    1024,  1070,  1116,  1166,  1217,  1271,  1327,  1386,  1446,  1511,  1577,  1647,  1719,  1796,
    1874,  1958,  2043,  2135,  2227,  2327,  2428,  2537,  2647,  2766,  2886,  3015,  3146,  3287,
    3430,  3583,  3739,  3907,  4077,  4259,  4444,  4643,  4845,  5062,  5282,  5518,  5758,  6016,
    6278,  6558,  6844,  7150,  7461,  7795,  8134,  8498,  8867,  9264,  9667,  10100, 10539, 11010,
    11489, 12003, 12526, 13086, 13655, 14266, 14887, 15552, 16229, 16955, 17693, 18484, 19289, 20151,
    21028, 21968, 22925, 23950, 24992, 26110, 27246, 28464, 29703, 31031, 32382,
};

const unsigned char sensor_i2c_addr = 0x6C;
const unsigned int sensor_addr_byte = 2;
const unsigned int sensor_data_byte = 1;

HI_U8 gu8SensorImageMode = SENSOR_1080P_30FPS_MODE;
WDR_MODE_E genSensorMode = WDR_MODE_NONE;
bool bSensorInit = false;
bool bInit = false;
HI_U32 gu32FullLinesStd = 1126;
HI_U32 gu32FullLines = 1126;
ISP_SNS_REGS_INFO_S g_stSnsRegsInfo = {};
ISP_SNS_REGS_INFO_S g_stPreSnsRegsInfo = {};
int g_fd = -1;
char g_acIniPath[256] = {};

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
    0, 0, 0xFFF, 0xB0, 0x00, 0x04, 0x01, 0x08, 0x30, 0x01, 0x20, 0x80, 0x58, 0x48,
    {0, 72, 140, 204, 266, 326, 386, 446, 506, 566, 626, 686, 746, 806},
};

const ISP_CMOS_DEMOSAIC_S g_stIspDemosaic = {
    1, 0x50, 0x98, 0x64, 0x96, 0x48, 0x3C,
    {60, 60, 56, 52, 48, 44, 40, 36, 32, 28, 24, 20, 20, 20, 20, 20},
    {0, 0, 4, 8, 12, 16, 20, 24, 28, 32, 36, 40, 44, 44, 44, 44},
    {8, 8, 7, 7, 6, 6, 5, 5, 4, 4, 3, 3, 3, 3, 3, 3},
};

const ISP_CMOS_RGBSHARPEN_S g_stIspRgbSharpen = {
    {64, 62, 60, 56, 52, 48, 44, 40, 34, 28, 24, 20, 18, 18, 18, 18},
    {36, 36, 34, 32, 28, 24, 20, 18, 16, 14, 12, 10, 10, 10, 10, 10},
    {140, 140, 130, 120, 110, 100, 90, 80, 70, 60, 50, 40, 40, 40, 40, 40},
    {180, 180, 170, 160, 150, 140, 130, 120, 110, 100, 90, 80, 80, 80, 80, 80},
    {22, 22, 24, 26, 28, 30, 32, 34, 36, 38, 40, 42, 42, 42, 42, 42},
    {18, 18, 20, 22, 24, 26, 28, 30, 32, 34, 36, 38, 38, 38, 38, 38},
    {128, 128, 128, 124, 120, 112, 104, 96, 88, 80, 72, 64, 64, 64, 64, 64},
    {28, 28, 28, 28, 26, 24, 22, 20, 18, 16, 14, 12, 12, 12, 12, 12},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {31, 31, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 22, 22, 22, 22},
};

const ISP_CMOS_RGBIR_S g_stCmosRgbir = {
    0, 0, 0, 0,
    {256, 0, 0, 0, 256, 0, 0, 0, 256, 0, 0, 0, 256, 0, 0, 0, 256, 0, 0, 0, 256, 0, 0, 0},
};

const float g_coef_calib_mn34222[9][4] = {
    {100.0f, 20.0f, 0.0301f, 5.8127f},   {200.0f, 23.0f, 0.0338f, 6.0045f},
    {400.0f, 26.0f, 0.0389f, 6.3310f},   {800.0f, 29.0f, 0.0472f, 6.8821f},
    {1600.0f, 32.0f, 0.0610f, 7.8144f},  {3200.0f, 35.0f, 0.0838f, 9.3972f},
    {6400.0f, 38.0f, 0.1219f, 12.1006f}, {12800.0f, 41.0f, 0.1857f, 16.6203f},
    {25600.0f, 44.0f, 0.2921f, 24.1780f},
};

const ISP_NR_ISO_PARA_TABLE_S g_stNrIsoParaTab = {
    {1400, 1400, 1450, 1500, 1550, 1600, 1650, 1700, 1750, 1800, 1850, 1900, 1900, 1900, 1900, 1900},
    {70, 70, 80, 90, 100, 110, 120, 130, 140, 150, 160, 170, 170, 170, 170, 170},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 20, 20, 20, 20},
    {96, 96, 96, 100, 104, 108, 112, 116, 120, 124, 128, 128, 128, 128, 128, 128},
    {4, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 8, 8, 8, 8, 8},
    {6, 6, 8, 8, 10, 10, 12, 12, 14, 14, 16, 16, 16, 16, 16, 16},
};

const ISP_CMOS_UVNR_S g_stIspUVNR = {
    {1, 2, 4, 8, 16, 24, 32, 48, 64, 96, 128, 160, 160, 160, 160, 160},
    {0, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 10, 10, 10},
    {0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2},
    {0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 4, 4, 4, 4, 4},
};

const ISP_CMOS_DPC_S g_stCmosDpc = {
    {0, 0, 0, 160, 200, 200, 220, 220, 220, 220, 160, 160, 160, 160, 160, 160},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 40, 40, 40, 40, 40},
};

// sign-magnitude: bit 15 the sign
constexpr HI_U16 Neg(HI_U16 v) { return static_cast<HI_U16>(0x8000 | v); }

const AWB_CCM_S g_stAwbCcm = {
    5120, {548, Neg(248), Neg(44), Neg(82), 450, Neg(112), 36, Neg(284), 504},
    3633, {504, Neg(181), Neg(67), Neg(125), 480, Neg(99), 33, Neg(338), 561},
    2465, {507, Neg(268), 17, Neg(125), 355, 26, 43, Neg(511), 724},
};

const AWB_AGC_TABLE_S g_stAwbAgcTable = {
    1, {124, 117, 106, 96, 88, 80, 72, 64, 56, 56, 56, 56, 56, 56, 56, 56},
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

[[maybe_unused]] int sensor_read_register(int addr)
{
    (void)addr;
    return 0;
}

void delay_ms(int ms)
{
    usleep(static_cast<useconds_t>(ms) * 1000);
}

// Plays a list of words: register in the high half, value in the low half;
// a high half of 0xFFFE waits the low half in ms, 0xFFFF0000 and above end it.
[[maybe_unused]] void sensor_prog(const unsigned int* rom)
{
    for (int i = 0; rom != nullptr; ++i) {
        const unsigned int word = rom[i];
        if (word >= 0xFFFF0000u) {
            break;
        }
        const unsigned int reg = word >> 16;
        const unsigned int value = word & 0xFFFF;
        if (reg == 0xFFFE) {
            delay_ms(static_cast<int>(value));
        } else {
            sensor_write_register(static_cast<int>(reg), static_cast<int>(value));
        }
    }
}

[[maybe_unused]] int sensor_set_inifile_path(const char* pcPath)
{
    static const char kIniName[] = "mn34222_cfg.ini";
    memset(g_acIniPath, 0, sizeof(g_acIniPath));
    if (pcPath == nullptr) {
        snprintf(g_acIniPath, sizeof(g_acIniPath), "configs/%s", kIniName);
        return 0;
    }
    if (strlen(pcPath) > 226) {
        printf("Set inifile path is larger PATHLEN_MAX!\n");
        return -1;
    }
    snprintf(g_acIniPath, sizeof(g_acIniPath), "%s%s", pcPath, kIniName);
    return 0;
}

// Plays a sequence; returns the writes that failed.
int sensor_play(const tagSensorRow* rows, size_t n)
{
    int failed = 0;
    for (size_t i = 0; i < n; ++i) {
        if (sensor_write_register(rows[i].reg, rows[i].value) != 0) {
            ++failed;
        }
    }
    return failed;
}

bool sensor_linear_1080p30_init()
{
    const size_t n = sizeof(kLinear1080p30) / sizeof(kLinear1080p30[0]);
    const int failed = sensor_play(kLinear1080p30, n);
    if (failed != 0) {
        printf("===panasonic mn34222 sensor init failed: %d of %d writes failed!=====\n", failed,
               static_cast<int>(n));
        return false;
    }
    printf("===panasonic mn34222 sensor lvds 1ch2lane 1080P30fps linear mode init success!=====\n");
    return true;
}

// ---- ISP table ----

void sensor_init(void)
{
    sensor_i2c_init();
    // programmed only when every write landed
    if (sensor_linear_1080p30_init()) {
        bSensorInit = true;
    }
}

void sensor_exit(void)
{
    sensor_i2c_exit();
}

void sensor_global_init(void)
{
    gu8SensorImageMode = SENSOR_1080P_30FPS_MODE;
    genSensorMode = WDR_MODE_NONE;
    gu32FullLinesStd = 1126;
    bInit = false;
    bSensorInit = false;
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
    if (m.u16Width <= 1920 && m.u16Height <= 1080 && m.f32Fps <= 30) {
        const HI_U8 mode = SENSOR_1080P_30FPS_MODE;
        if (bSensorInit && gu8SensorImageMode == mode) {
            return -1;  // already programmed in this mode
        }
        gu8SensorImageMode = mode;
        return 0;
    }
    printf("Not support! Width:%d, Height:%d, Fps:%f, WDRMode:%d\n", m.u16Width, m.u16Height,
           static_cast<double>(m.f32Fps), static_cast<int>(genSensorMode));
    return -1;
}

HI_VOID cmos_set_wdr_mode(HI_U8 u8Mode)
{
    bInit = false;
    if (u8Mode != WDR_MODE_NONE) {
        printf("NOT support this mode!\n");
        return;
    }
    if (gu8SensorImageMode == SENSOR_1080P_30FPS_MODE) {
        gu32FullLinesStd = 1126;
    }
    genSensorMode = WDR_MODE_NONE;
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
    pstDef->stRgbir = g_stCmosRgbir;
    pstDef->stNoiseTbl.stNrCaliPara.u8CalicoefRow = 9;
    pstDef->stNoiseTbl.stNrCaliPara.pCalibcoef = g_coef_calib_mn34222;
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
        level = 256;
    }
    return 0;
}

void SetFrameLength(HI_U32 lines)
{
    g_stSnsRegsInfo.astI2cData[kFrameHigh].u32Data = (lines >> 8) & 0xFF;
    g_stSnsRegsInfo.astI2cData[kFrameLow].u32Data = lines & 0xFF;
}

HI_VOID cmos_set_pixel_detect(HI_BOOL bEnable)
{
    if (genSensorMode != WDR_MODE_NONE || gu8SensorImageMode != SENSOR_1080P_30FPS_MODE) {
        return;
    }
    if (bEnable) {
        sensor_write_register(0x0340, 0x1A);  // 6756 lines
        sensor_write_register(0x0341, 0x64);
        sensor_write_register(0x0202, 0x1A);  // integration 6754
        sensor_write_register(0x0203, 0x62);
        sensor_write_register(0x0204, 0x01);
        sensor_write_register(0x0205, 0x00);
        sensor_write_register(0x3108, 0x01);
        sensor_write_register(0x3109, 0x00);
        return;
    }
    sensor_write_register(0x0340, static_cast<int>((gu32FullLinesStd >> 8) & 0xFF));
    sensor_write_register(0x0341, static_cast<int>(gu32FullLinesStd & 0xFF));
    bInit = false;
}

HI_S32 cmos_get_sns_regs_info(ISP_SNS_REGS_INFO_S* pstSnsRegsInfo)
{
    static const HI_U32 kRegs[kListEntries] = {0x0202, 0x0203, 0x3280, 0x0204, 0x0205,
                                               0x3108, 0x3109, 0x0340, 0x0341};
    static const HI_U8 kDelays[kListEntries] = {0, 0, 1, 1, 1, 1, 1, 0, 0};
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
    memset(&d.stAERouteAttr, 0, sizeof(d.stAERouteAttr));
    d.u32LinesPer500ms = gu32FullLinesStd * 30 / 2;
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
    d.stIntTimeAccu.f32Offset = kIntTimeOffset;
    d.u32MaxIntTime = gu32FullLinesStd - 2;
    d.u32MinIntTime = 2;
    d.u32MaxIntTimeTarget = 0xFFFF;
    d.u32MinIntTimeTarget = 2;

    d.stAgainAccu.enAccuType = AE_ACCURACY_TABLE;
    d.stAgainAccu.f32Accuracy = 0.38f;
    d.u32MaxAgain = ad_gain_table[kGainEntries - 1];
    d.u32MinAgain = ad_gain_table[0];
    d.u32MaxAgainTarget = d.u32MaxAgain;
    d.u32MinAgainTarget = d.u32MinAgain;

    d.stDgainAccu.enAccuType = AE_ACCURACY_TABLE;
    d.stDgainAccu.f32Accuracy = 0.38f;
    d.u32MaxDgain = ad_gain_table[kGainEntries - 1];
    d.u32MinDgain = ad_gain_table[0];
    d.u32MaxDgainTarget = d.u32MaxDgain;
    d.u32MinDgainTarget = d.u32MinDgain;

    d.u32ISPDgainShift = 8;
    d.u32MinISPDgainTarget = 1 << 8;
    d.u32MaxISPDgainTarget = 2 << 10;

    d.enIrisType = ISP_IRIS_DC_TYPE;
    d.stPirisAttr = gstPirisAttr;
    d.enMaxIrisFNO = ISP_IRIS_F_NO_1_4;
    d.enMinIrisFNO = ISP_IRIS_F_NO_5_6;
    return 0;
}

HI_VOID cmos_fps_set(float f32Fps, AE_SENSOR_DEFAULT_S* pstAeSnsDft)
{
    if (!(f32Fps >= 0.5f && f32Fps <= 30)) {
        printf("Not support Fps: %f\n", static_cast<double>(f32Fps));
        return;
    }
    gu32FullLinesStd = static_cast<HI_U32>(33780 / f32Fps);
    if (gu32FullLinesStd > kFullLinesMax) {
        gu32FullLinesStd = kFullLinesMax;
    }
    if (genSensorMode == WDR_MODE_NONE) {
        SetFrameLength(gu32FullLinesStd);
    }
    if (pstAeSnsDft != nullptr) {
        pstAeSnsDft->f32Fps = f32Fps;
        pstAeSnsDft->u32LinesPer500ms = static_cast<HI_U32>(gu32FullLinesStd * f32Fps / 2);
        pstAeSnsDft->u32MaxIntTime = gu32FullLinesStd - 2;
        pstAeSnsDft->u32FullLinesStd = gu32FullLinesStd;
        pstAeSnsDft->u32FullLines = gu32FullLinesStd;
        pstAeSnsDft->stIntTimeAccu.f32Offset = kIntTimeOffset;
    }
    gu32FullLines = gu32FullLinesStd;
}

HI_VOID cmos_slow_framerate_set(HI_U32 u32FullLines, AE_SENSOR_DEFAULT_S* pstAeSnsDft)
{
    gu32FullLines = u32FullLines > kFullLinesMax ? kFullLinesMax : u32FullLines;
    SetFrameLength(gu32FullLines);
    if (pstAeSnsDft != nullptr) {
        pstAeSnsDft->u32FullLines = gu32FullLines;
        pstAeSnsDft->u32MaxIntTime = gu32FullLines - 2;
    }
}

HI_VOID cmos_inttime_update(HI_U32 u32IntTime)
{
    g_stSnsRegsInfo.astI2cData[kIntTimeHigh].u32Data = (u32IntTime >> 8) & 0xFF;
    g_stSnsRegsInfo.astI2cData[kIntTimeLow].u32Data = u32IntTime & 0xFF;
}

HI_VOID cmos_gains_update(HI_U32 u32Again, HI_U32 u32Dgain)
{
    // an index past the table is its last entry
    if (u32Again >= kGainEntries) {
        u32Again = kGainEntries - 1;
    }
    if (u32Dgain >= kGainEntries) {
        u32Dgain = kGainEntries - 1;
    }
    const HI_U32 again = (u32Again + 64) * 4;
    const HI_U32 dgain = (u32Dgain + 64) * 4;
    ISP_I2C_DATA_S* e = g_stSnsRegsInfo.astI2cData;
    const bool same = e[kAgainHigh].u32Data == ((again >> 8) & 0xFF) && e[kAgainLow].u32Data == (again & 0xFF);
    e[kGainHold].u32Data = same ? 0x30 : 0x00;
    e[kAgainHigh].u32Data = (again >> 8) & 0xFF;
    e[kAgainLow].u32Data = again & 0xFF;
    e[kDgainHigh].u32Data = (dgain >> 8) & 0xFF;
    e[kDgainLow].u32Data = dgain & 0xFF;
}

void GainCalcTable(HI_U32* pu32Lin, HI_U32* pu32Db)
{
    if (pu32Lin == nullptr || pu32Db == nullptr) {
        printf("null pointer when get ae sensor gain info  value!\n");
        return;
    }
    if (*pu32Lin >= ad_gain_table[kGainEntries - 1]) {
        *pu32Lin = ad_gain_table[kGainEntries - 1];
        *pu32Db = kGainEntries - 1;
        return;
    }
    for (HI_U32 i = 1; i < kGainEntries; ++i) {
        if (*pu32Lin < ad_gain_table[i]) {
            *pu32Lin = ad_gain_table[i - 1];
            *pu32Db = i - 1;
            return;
        }
    }
}

HI_VOID cmos_again_calc_table(HI_U32* pu32AgainLin, HI_U32* pu32AgainDb)
{
    GainCalcTable(pu32AgainLin, pu32AgainDb);
}

HI_VOID cmos_dgain_calc_table(HI_U32* pu32DgainLin, HI_U32* pu32DgainDb)
{
    GainCalcTable(pu32DgainLin, pu32DgainDb);
}

HI_VOID cmos_get_inttime_max(HI_U32 u32Ratio, HI_U32* pu32IntTimeMax)
{
    (void)u32Ratio;
    if (pu32IntTimeMax == nullptr) {
        printf("null pointer when get ae sensor IntTimeMax value!\n");
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
    pstAwbSnsDft->u16WbRefTemp = 5000;
    pstAwbSnsDft->au16GainOffset[0] = 574;
    pstAwbSnsDft->au16GainOffset[1] = 256;
    pstAwbSnsDft->au16GainOffset[2] = 256;
    pstAwbSnsDft->au16GainOffset[3] = 406;
    const HI_S32 para[6] = {55, 104, -97, 201958, 128, -152540};
    memcpy(pstAwbSnsDft->as32WbPara, para, sizeof(para));
    pstAwbSnsDft->stCcm = g_stAwbCcm;
    pstAwbSnsDft->stAgcTbl = g_stAwbAgcTable;
    return 0;
}

// ---- registration ----

void cmos_init_sensor_exp_function(ISP_SENSOR_EXP_FUNC_S* f)
{
    memset(f, 0, sizeof(*f));
    f->pfn_cmos_sensor_init = sensor_init;
    f->pfn_cmos_sensor_exit = sensor_exit;
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
    f->pfn_cmos_dgain_calc_table = cmos_dgain_calc_table;
    f->pfn_cmos_get_inttime_max = cmos_get_inttime_max;
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

int sensor_write_register(int addr, int data)
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
        printf("I2C_WRITE error!\n");
        return -1;
    }
    return 0;
}

int sensor_register_callback_mn34222(void)
{
    cmos_init_sensor_exp_function(&g_stIspRegister.stSnsExp);
    HI_S32 ret = HI_MPI_ISP_SensorRegCallBack(kIspDev, MN34222_ID, &g_stIspRegister);
    if (ret != HI_SUCCESS) {
        printf("sensor register callback function failed!\n");
        return ret;
    }
    const ALG_LIB_S ae = Lib("hisi_ae_lib");
    cmos_init_ae_exp_function(&g_stAeRegister.stSnsExp);
    ret = HI_MPI_AE_SensorRegCallBack(kIspDev, &ae, MN34222_ID, &g_stAeRegister);
    if (ret != HI_SUCCESS) {
        printf("sensor register callback function to ae lib failed!\n");
        return ret;
    }
    const ALG_LIB_S awb = Lib("hisi_awb_lib");
    cmos_init_awb_exp_function(&g_stAwbRegister.stSnsExp);
    ret = HI_MPI_AWB_SensorRegCallBack(kIspDev, &awb, MN34222_ID, &g_stAwbRegister);
    if (ret != HI_SUCCESS) {
        printf("sensor register callback function to awb lib failed!\n");
        return ret;
    }
    return 0;
}

int sensor_unregister_callback_mn34222(void)
{
    HI_S32 ret = HI_MPI_ISP_SensorUnRegCallBack(kIspDev, MN34222_ID);
    if (ret != HI_SUCCESS) {
        printf("sensor unregister callback function failed!\n");
        return ret;
    }
    const ALG_LIB_S ae = Lib("hisi_ae_lib");
    ret = HI_MPI_AE_SensorUnRegCallBack(kIspDev, &ae, MN34222_ID);
    if (ret != HI_SUCCESS) {
        printf("sensor unregister callback function to ae lib failed!\n");
        return ret;
    }
    const ALG_LIB_S awb = Lib("hisi_awb_lib");
    ret = HI_MPI_AWB_SensorUnRegCallBack(kIspDev, &awb, MN34222_ID);
    if (ret != HI_SUCCESS) {
        printf("sensor unregister callback function to awb lib failed!\n");
        return ret;
    }
    return 0;
}
