// The MIPI receiver, the ISP with its 3A libraries and run thread, and the
// video input of this SoC.

#include <sched.h>

#include <cstdio>
#include <cstring>

#include "AVCapture/hi3516cv200/AVCapture.h"
#include "Function/XLog.h"
#include "Platform/DevFile.h"
#include "Platform/Mipi.h"
#include "Platform/MpiIsp.h"
#include "Platform/MpiVi.h"
#include "Platform/Thread.h"

#include <fcntl.h>

namespace {

const char* const kAeLib = "hisi_ae_lib";
const char* const kAwbLib = "hisi_awb_lib";
const char* const kAfLib = "hisi_af_lib";

ALG_LIB_S Lib(const char* name)
{
    ALG_LIB_S lib;
    memset(&lib, 0, sizeof(lib));
    lib.s32Id = 0;
    strncpy(lib.acLibName, name, sizeof(lib.acLibName) - 1);
    return lib;
}

VI_DEV_ATTR_S Template(VI_INTF_MODE_E mode, HI_U32 compMask, HI_U32 vsyncNeg, HI_U32 hsyncAct, HI_U32 vsyncAct)
{
    VI_DEV_ATTR_S a;
    memset(&a, 0, sizeof(a));
    a.enIntfMode = mode;
    a.enWorkMode = VI_WORK_MODE_1Multiplex;
    a.au32CompMask[0] = compMask;
    a.au32CompMask[1] = 0;
    a.enScanMode = VI_SCAN_PROGRESSIVE;
    for (HI_S32& c : a.s32AdChnId) {
        c = -1;
    }
    a.enDataSeq = VI_INPUT_DATA_YUYV;
    a.stSynCfg.enVsync = 1;
    a.stSynCfg.enVsyncNeg = vsyncNeg;
    a.stSynCfg.enHsync = 0;
    a.stSynCfg.enHsyncNeg = 0;
    a.stSynCfg.enVsyncValid = 1;
    a.stSynCfg.enVsyncValidNeg = 0;
    a.stSynCfg.stTimingBlank.u32HsyncAct = hsyncAct;
    a.stSynCfg.stTimingBlank.u32VsyncVact = vsyncAct;
    a.enDataPath = VI_PATH_ISP;
    a.enInputDataType = VI_DATA_TYPE_RGB;
    a.bDataRev = 0;
    a.stDevRect = {0, 0, 1920, 1080};
    return a;
}

const VI_DEV_ATTR_S kLvdsTemplate = Template(VI_MODE_LVDS, 0xFFF00000u, 1, 1280, 720);
const VI_DEV_ATTR_S kMipiTemplate = Template(VI_MODE_MIPI, 0xFFF00000u, 0, 1280, 720);
const VI_DEV_ATTR_S kDcTemplate = Template(VI_MODE_DIGITAL_CAMERA, 0x0FFF0000u, 0, 1920, 1080);

BOOL Is720pSensor(int mode)
{
    return mode == CCommAVCapture::APTINA_AR0130_DC_720P_30FPS || mode == CCommAVCapture::APTINA_9M034_DC_720P_30FPS ||
           mode == CCommAVCapture::SONY_IMX122_DC_720P_30FPS || mode == CCommAVCapture::OMNIVISION_OV9752_MIPI_720P_30FPS;
}

ISP_PUB_ATTR_S PubAttr(int mode)
{
    ISP_PUB_ATTR_S a;
    memset(&a, 0, sizeof(a));
    a.f32FrameRate = 30.0f;
    switch (mode) {
    case CCommAVCapture::APTINA_AR0130_DC_720P_30FPS:
    case CCommAVCapture::APTINA_9M034_DC_720P_30FPS:
        a.stWndRect = {0, 0, 1280, 720};
        a.enBayer = BAYER_GRBG;
        break;
    case CCommAVCapture::SONY_IMX122_DC_1080P_30FPS:
        a.stWndRect = {200, 20, 1920, 1080};
        a.enBayer = BAYER_RGGB;
        break;
    case CCommAVCapture::SONY_IMX290_MIPI:
    case CCommAVCapture::SONY_IMX323_DC_1080P_30FPS:
        a.stWndRect = {0, 0, 1920, 1080};
        a.enBayer = BAYER_RGGB;
        break;
    case CCommAVCapture::SONY_IMX122_DC_720P_30FPS:
        a.stWndRect = {200, 20, 1280, 720};
        a.enBayer = BAYER_RGGB;
        break;
    case CCommAVCapture::OMNIVISION_OV9752_MIPI_720P_30FPS:
        a.stWndRect = {0, 0, 1280, 720};
        a.enBayer = BAYER_BGGR;
        break;
    default:
        a.stWndRect = {0, 0, 1920, 1080};
        a.enBayer = BAYER_GRBG;
        break;
    }
    return a;
}

}  // namespace

void* Test_ISP_Run(void*)
{
    HI_MPI_ISP_Run(0);
    return nullptr;
}

BOOL CAVCapture::InitMipi()
{
    combo_dev_attr_t attr;
    memset(&attr, 0, sizeof(attr));
    switch (m_SensorMode) {
    case PANASONIC_MN34222_MIPI_1080P_30FPS:
    case SONY_IMX290_MIPI: {
        attr.input_mode = INPUT_MODE_MIPI;
        attr.mipi_attr.raw_data_type = RAW_DATA_12BIT;
        const int lanes = m_SensorMode == SONY_IMX290_MIPI ? 4 : 2;
        for (int i = 0; i < MIPI_LANE_NUM; ++i) {
            attr.mipi_attr.lane_id[i] = static_cast<int16_t>(i < lanes ? i : -1);
        }
        break;
    }
    case SONY_IMX323_DC_1080P_30FPS:
        attr.input_mode = INPUT_MODE_CMOS_33V;
        break;
    default:
        return FALSE;
    }
    const int fd = XDevOpen(MIPI_DEVICE_PATH, O_RDWR);
    if (fd < 0) {
        XERROR("open hi_mipi dev failed\n");
        return FALSE;
    }
    if (XDevIoctl(fd, HI_MIPI_SET_DEV_ATTR, &attr) != 0) {
        XERROR("set mipi attr failed\n");
        XDevClose(fd);
        return FALSE;
    }
    XDevClose(fd);
    return TRUE;
}

BOOL CAVCapture::GetVIDevAttr(VI_DEV_ATTR_S* attr)
{
    switch (m_SensorMode) {
    case PANASONIC_MN34222_MIPI_1080P_30FPS:
        *attr = kLvdsTemplate;
        attr->stDevRect = {0, 0, 1920, 1080};
        break;
    case SONY_IMX290_MIPI:
        *attr = kMipiTemplate;
        attr->stDevRect = {0, 0, 1920, 1080};
        attr->stSynCfg.stTimingBlank.u32HsyncAct = 1920;
        attr->stSynCfg.stTimingBlank.u32VsyncVact = 1080;
        break;
    case SONY_IMX323_DC_1080P_30FPS:
        *attr = kDcTemplate;
        attr->stDevRect = {128, 20, 1920, 1080};
        attr->stSynCfg.stTimingBlank.u32HsyncAct = 1920;
        attr->stSynCfg.stTimingBlank.u32VsyncVact = 1080;
        break;
    default:
        *attr = kLvdsTemplate;
        break;
    }
    return TRUE;
}

BOOL CAVCapture::InitISPParam()
{
    return TRUE;
}

BOOL CAVCapture::InitISP()
{
    if (!InitMipi()) {
        XERROR("INIT MIPI INTERFACE ERROR\n");
        return FALSE;
    }
    const ALG_LIB_S ae = Lib(kAeLib);
    const ALG_LIB_S awb = Lib(kAwbLib);
    const ALG_LIB_S af = Lib(kAfLib);
    HI_S32 ret = HI_MPI_AE_Register(0, &ae);
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_AE_Register failed width %#x\n", static_cast<unsigned>(ret));
        return FALSE;
    }
    ret = HI_MPI_AWB_Register(0, &awb);
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_AWB_Register failed width %#x\n", static_cast<unsigned>(ret));
        return FALSE;
    }
    ret = HI_MPI_AF_Register(0, &af);
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_AF_Register failed width %#x\n", static_cast<unsigned>(ret));
        return FALSE;
    }
    ret = HI_MPI_ISP_MemInit(0);
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_ISP_Init failed width %#x\n", static_cast<unsigned>(ret));
        return FALSE;
    }
    ret = HI_MPI_ISP_SetWDRMode(0, &m_WdrMode);
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_ISP_SetWDRMode failed width %#x\n", static_cast<unsigned>(ret));
        return FALSE;
    }
    const ISP_PUB_ATTR_S pub = PubAttr(m_SensorMode);
    ret = HI_MPI_ISP_SetPubAttr(0, &pub);
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_ISP_SetPubAttr() failed with %#x!\n", static_cast<unsigned>(ret));
        return FALSE;
    }
    ret = HI_MPI_ISP_Init(0);
    if (ret != HI_SUCCESS) {
        XERROR("HI_MPI_ISP_Init failed with %#x\n", static_cast<unsigned>(ret));
        return FALSE;
    }
    pthread_t isp;
    if (PlatformCreateSchedThread(&isp, SCHED_RR, 50, Test_ISP_Run, nullptr) != 0) {
        XERROR("create isp running thread failed\n");
        return FALSE;
    }
    m_ISPThead = isp;
    ISP_RGBIR_ATTR_S rgbir;
    memset(&rgbir, 0, sizeof(rgbir));
    ret = HI_MPI_ISP_GetRgbirAttr(0, &rgbir);
    if (ret == HI_SUCCESS) {
        rgbir.bEnable = 0;
        ret = HI_MPI_ISP_SetRgbirAttr(0, &rgbir);
    }
    if (ret != HI_SUCCESS) {
        printf("%s: HI_MPI_ISP_SetModuleControl failed with %#x!\n", "InitISP", static_cast<unsigned>(ret));
        return FALSE;
    }
    for (int dev = 0; dev < m_InputSensors; ++dev) {
        VI_DEV_ATTR_S attr;
        if (!GetVIDevAttr(&attr)) {
            XERROR("UNKNOWN VI DEV\n");
            return FALSE;
        }
        ret = HI_MPI_VI_SetDevAttr(dev, &attr);
        if (ret != HI_SUCCESS) {
            XERROR("HI_MPI_VI_SetDevAttr(%d) failed with %#x!\n", dev, static_cast<unsigned>(ret));
            return FALSE;
        }
        ret = HI_MPI_VI_EnableDev(dev);
        if (ret != HI_SUCCESS) {
            XERROR("HI_MPI_VI_EnableDev(%d) failed with %#x\n", dev, static_cast<unsigned>(ret));
            return FALSE;
        }
    }
    const BOOL b720 = Is720pSensor(m_SensorMode);
    const HI_U32 w = b720 ? 1280 : 1920;
    const HI_U32 h = b720 ? 720 : 1080;
    for (int chn = 0; chn < m_InputSensors; ++chn) {
        VI_CHN_ATTR_S attr;
        memset(&attr, 0, sizeof(attr));
        attr.stCapRect = {0, 0, w, h};
        attr.stDestSize = {w, h};
        attr.enCapSel = VI_CAPSEL_BOTH;
        attr.enPixFormat = m_PxlFmt;
        attr.enCompressMode = COMPRESS_MODE_NONE;
        attr.bMirror = m_bMirror.load();
        attr.bFlip = m_bFlip.load();
        attr.s32SrcFrameRate = -1;
        attr.s32DstFrameRate = -1;
        ret = HI_MPI_VI_SetChnAttr(chn, &attr);
        if (ret != HI_SUCCESS) {
            XERROR("HI_MPI_VI_SetChnAttr(%d) failed with %#x\n", chn, static_cast<unsigned>(ret));
            CleanUpISP();
            return FALSE;
        }
        if (m_enRotate != ROTATE_NONE) {
            ret = HI_MPI_VI_SetRotate(chn, m_enRotate);
            if (ret != HI_SUCCESS) {
                XERROR("HI_MPI_VI_SetRotate(%d,%d) failed with %#x!\n", chn, static_cast<int>(m_enRotate),
                       static_cast<unsigned>(ret));
                CleanUpISP();
                return FALSE;
            }
        }
        ret = HI_MPI_VI_EnableChn(chn);
        if (ret != HI_SUCCESS) {
            XERROR("HI_MPI_VI_EnableChn(%d) with %#x!\n", chn, static_cast<unsigned>(ret));
            CleanUpISP();
            return FALSE;
        }
    }
    printf("Init ISP OK...\n");
    return InitISPParam();
}

BOOL CAVCapture::CleanUpISP()
{
    for (int i = 0; i < m_InputSensors; ++i) {
        HI_S32 ret = HI_MPI_VI_DisableChn(i);
        if (ret != HI_SUCCESS) {
            XERROR("HI_MPI_VI_DisableChn failed with %#x\n", static_cast<unsigned>(ret));
        }
        ret = HI_MPI_VI_DisableDev(i);
        if (ret != HI_SUCCESS) {
            XERROR("HI_MPI_VI_DisableDev failed with %#x\n", static_cast<unsigned>(ret));
        }
    }
    HI_MPI_ISP_Exit(0);
    const ALG_LIB_S ae = Lib(kAeLib);
    const ALG_LIB_S awb = Lib(kAwbLib);
    const ALG_LIB_S af = Lib(kAfLib);
    HI_MPI_AE_UnRegister(0, &ae);
    HI_MPI_AWB_UnRegister(0, &awb);
    HI_MPI_AF_UnRegister(0, &af);
    sensor_unregister_callback();
    if (m_ISPThead != 0) {
        pthread_join(m_ISPThead, nullptr);
        m_ISPThead = 0;
    }
    printf("CleanUp ISP OK...\n");
    return TRUE;
}
