#include "AVCapture/hi3516cv200/AVCapture.h"

#include <cstdio>
#include <cstring>

#include "AVCapture/hi3516cv200/SensorDrivers.h"
#include "Function/XLog.h"
#include "Periphery/GPIO.h"

namespace {

// Board strap pins of the sensor type: type = pin 75 x 2 + pin 73.
const int kSensorStrapLow = 73;
const int kSensorStrapHigh = 75;

int RegisterImageSensorCallback(int mode)
{
    switch (mode) {
    case CCommAVCapture::SONY_IMX290_MIPI:
        return sensor_register_callback_imx291();
    case CCommAVCapture::PANASONIC_MN34222_MIPI_1080P_30FPS:
        return sensor_register_callback_mn34222();
    default:
        return -1;
    }
}

int UnregisterImageSensorCallback(int mode)
{
    switch (mode) {
    case CCommAVCapture::SONY_IMX290_MIPI:
        return sensor_unregister_callback_imx291();
    case CCommAVCapture::PANASONIC_MN34222_MIPI_1080P_30FPS:
        return sensor_unregister_callback_mn34222();
    default:
        return -1;
    }
}

}  // namespace

CAVCapture::CAVCapture()
    : m_lpISPTuning(nullptr)
{
    memset(&m_WdrMode, 0, sizeof(m_WdrMode));
    m_WdrMode.enWDRMode = WDR_MODE_NONE;
}

CAVCapture::~CAVCapture()
{
    ReleaseISPTuning();
}

BOOL CAVCapture::CalcPicVbBlkSize(VIDEO_NORM_E enNorm, PIC_SIZE_E enPicSize, PIXEL_FORMAT_E enPixFmt,
                                  HI_U32 u32AlignWidth, unsigned& size)
{
    if (!CCommAVCapture::CalcPicVbBlkSize(enNorm, enPicSize, enPixFmt, u32AlignWidth, size)) {
        return FALSE;
    }
    SIZE_S pic;
    GetPicSize(enNorm, enPicSize, &pic);
    // room for the processing's line data
    size += pic.u32Height * (enPixFmt == PIXEL_FORMAT_YUV_SEMIPLANAR_422 ? 32 : 24);
    return TRUE;
}

BOOL CAVCapture::InitSDKVideoCache()
{
    const int rows[3] = {ENCODE_CHN_H264_MAIN, ENCODE_CHN_H264_SUB, ENCODE_CHN_JPEG_SUB};
    unsigned size[3] = {0, 0, 0};
    const unsigned count[3] = {10, m_ChnCfg[ENCODE_CHN_H264_SUB].res == PIC_HD720 ? 3u : 6u, 6};
    for (int i = 0; i < 3; ++i) {
        const tagChannelConfig& row = m_ChnCfg[rows[i]];
        if (!CalcPicVbBlkSize(row.tv_norm, row.res, m_PxlFmt, 64, size[i])) {
            return FALSE;
        }
    }
    return InitPools(size, count);
}

BOOL CAVCapture::InitImageSensorType()
{
    int low = 255;
    int high = 255;
    CGPIOManager* gpio = CGPIOManager::instance();
    if (!gpio->Read(kSensorStrapLow, low) || !gpio->Read(kSensorStrapHigh, high)) {
        XERROR("Get Image Sensor Type Error.\n");
        return FALSE;
    }
    const int type = high * 2 + low;
    if (type > 1) {
        XERROR("Unkonwn Image Sensor Type %d\n", type);
        return FALSE;
    }
    m_SensorMode = type == 0 ? PANASONIC_MN34222_MIPI_1080P_30FPS : SONY_IMX290_MIPI;
    m_SensorInputResolution = PIC_HD1080;
    return TRUE;
}

BOOL CAVCapture::InitImageSensor()
{
    if (RegisterImageSensorCallback(m_SensorMode) != 0) {
        XERROR("RegisterImageSensorCallback() failed.\n");
        return FALSE;
    }
    printf("Init Sensor OK...\n");
    return TRUE;
}

BOOL CAVCapture::CleanUpImageSensor()
{
    UnregisterImageSensorCallback(m_SensorMode);
    printf("CleanUp Sensor OK...\n");
    return TRUE;
}

BOOL CAVCapture::iInit()
{
    if (!InitImageSensorType()) {
        printf("InitImageSensorType() Error.\n");
        return FALSE;
    }
    fprintf(stderr, "Init SDK...\n");
    if (!InitSDKVideoCache()) {
        printf("InitSDKVideoCache() Error.\n");
        return FALSE;
    }
    fprintf(stderr, "Init Sensor...\n");
    if (!InitImageSensor()) {
        printf("InitImageSensor() Error.\n");
        return FALSE;
    }
    fprintf(stderr, "Init ISP...\n");
    if (!InitISP()) {
        printf("InitISP() Error.\n");
        return FALSE;
    }
    fprintf(stderr, "Init VPSS...\n");
    if (!InitVPSS()) {
        printf("InitVPSS() Error.\n");
        return FALSE;
    }
    if (!ResolutionSwitch(Setting("res_mode", 0))) {
        XERROR("ResolutionSwitch() Error.\n");
        return FALSE;
    }
    fprintf(stderr, "Init VENC...\n");
    if (!InitVideoEnc()) {
        printf("InitVideoEnc() Error.\n");
        return FALSE;
    }
    if (!InitSDKAudioIO()) {
        printf("InitSDKAudioIO() Error.\n");
        return FALSE;
    }
    const tagChannelConfig& main = m_ChnCfg[ENCODE_CHN_H264_MAIN];
    if (m_Roles.sink == nullptr ||
        !m_Roles.sink->Init(static_cast<int>(main.fps), static_cast<int>(main.gop), main.width, main.height)) {
        XERROR("Init Record Failed...\n");
        return FALSE;
    }
    CFactoryState* factory = m_Roles.factory;
    if (factory != nullptr && factory->GetFactoryTesting() && !factory->GetFactoryTestOK()) {
        m_EnableAudioIn = TRUE;
    } else {
        m_EnableAudioIn = Setting("audiorecord", 0) != 0 ? TRUE : FALSE;
    }
    if (!InitISPTuning()) {
        XERROR("Init ISP Tuning error.\n");
        return FALSE;
    }
    m_EnableParkingMonitor = Setting("enableparkingmonitor", 0);
    m_ParkingTimeThreshold = static_cast<unsigned>(Setting("parkingtimethreshold", 10));
    return TRUE;
}

BOOL CAVCapture::Init()
{
    if (!iInit()) {
        XERROR("Init Capture Failed...\n");
        return FALSE;
    }
    return CreateThread(99);
}

BOOL CAVCapture::CleanUp()
{
    DestroyThread(TRUE);
    if (m_Roles.sink != nullptr) {
        m_Roles.sink->CleanUp();
    }
    StopVO();
    CleanUpSDKAudioIO();
    CleanUpVideoEnc();
    CleanUpVPSS();
    CleanUpISP();
    CleanUpImageSensor();
    CleanUpSDKVideoCache();
    return TRUE;
}
