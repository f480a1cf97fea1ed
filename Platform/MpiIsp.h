#ifndef PLATFORM_MPIISP_H
#define PLATFORM_MPIISP_H

// ISP life cycle and the registration of the 3A libraries and the sensor's
// callback tables.
//
// Order: the sensor driver registers its tables (with the ISP and with the AE
// and AWB libraries by name), the libraries register with the ISP, then
// HI_MPI_ISP_MemInit, HI_MPI_ISP_SetWDRMode, HI_MPI_ISP_SetPubAttr,
// HI_MPI_ISP_Init (refused without a sensor table) and HI_MPI_ISP_Run on a
// thread of its own: Run returns only at HI_MPI_ISP_Exit. A second Exit does
// nothing. At clean-up the libraries leave first, then the sensor's tables.
//
// The callback tables are laid out in Platform/MpiSns.h; the ISP keeps the
// pointers it is given and calls their slots from MemInit on.

#include "Platform/MpiTypes.h"

#define ALG_LIB_NAME_SIZE_MAX 20

struct tagAlgLib {
    HI_S32 s32Id;
    HI_CHAR acLibName[ALG_LIB_NAME_SIZE_MAX];
};
typedef tagAlgLib ALG_LIB_S;

enum emWdrMode : uint32_t {
    WDR_MODE_NONE = 0,
    WDR_MODE_BUILT_IN = 1,
    WDR_MODE_2To1_LINE = 2,
    WDR_MODE_2To1_FRAME = 3,
    WDR_MODE_2To1_FRAME_FULL_RATE = 4,
    WDR_MODE_BUTT,
};
typedef emWdrMode WDR_MODE_E;

struct tagIspWdrMode {
    WDR_MODE_E enWDRMode;
};
typedef tagIspWdrMode ISP_WDR_MODE_S;

enum emIspBayer : uint32_t {
    BAYER_RGGB = 0,
    BAYER_GRBG = 1,
    BAYER_GBRG = 2,
    BAYER_BGGR = 3,
    BAYER_BUTT,
};
typedef emIspBayer ISP_BAYER_FORMAT_E;

struct tagIspPubAttr {
    RECT_S stWndRect;
    float f32FrameRate;
    ISP_BAYER_FORMAT_E enBayer;
};
typedef tagIspPubAttr ISP_PUB_ATTR_S;

struct tagIspRgbirAttr {
    HI_BOOL bEnable;
    HI_BOOL bRemovelEn;
    HI_U32 u32ExpCtrl1;
    HI_U32 u32ExpCtrl2;
};
typedef tagIspRgbirAttr ISP_RGBIR_ATTR_S;

enum emIspAeStrategy : uint32_t {
    AE_EXP_HIGHLIGHT_PRIOR = 0,
    AE_EXP_LOWLIGHT_PRIOR = 1,
    AE_STRATEGY_MODE_BUTT,
};
typedef emIspAeStrategy ISP_AE_STRATEGY_E;

// The sensor driver's callback tables (defined with the drivers).
struct tagIspSensorRegister;
typedef tagIspSensorRegister ISP_SENSOR_REGISTER_S;
struct tagAeSensorRegister;
typedef tagAeSensorRegister AE_SENSOR_REGISTER_S;
struct tagAwbSensorRegister;
typedef tagAwbSensorRegister AWB_SENSOR_REGISTER_S;

HI_S32 HI_MPI_ISP_MemInit(HI_S32 IspDev);
HI_S32 HI_MPI_ISP_SetWDRMode(HI_S32 IspDev, const ISP_WDR_MODE_S* pstWdrMode);
HI_S32 HI_MPI_ISP_GetWDRMode(HI_S32 IspDev, ISP_WDR_MODE_S* pstWdrMode);
HI_S32 HI_MPI_ISP_SetPubAttr(HI_S32 IspDev, const ISP_PUB_ATTR_S* pstPubAttr);
HI_S32 HI_MPI_ISP_GetPubAttr(HI_S32 IspDev, ISP_PUB_ATTR_S* pstPubAttr);
HI_S32 HI_MPI_ISP_Init(HI_S32 IspDev);
HI_S32 HI_MPI_ISP_Run(HI_S32 IspDev);
HI_S32 HI_MPI_ISP_Exit(HI_S32 IspDev);
HI_S32 HI_MPI_ISP_SetRgbirAttr(HI_S32 IspDev, const ISP_RGBIR_ATTR_S* pstRgbirAttr);
HI_S32 HI_MPI_ISP_GetRgbirAttr(HI_S32 IspDev, ISP_RGBIR_ATTR_S* pstRgbirAttr);

HI_S32 HI_MPI_AE_Register(HI_S32 IspDev, const ALG_LIB_S* pstAeLib);
HI_S32 HI_MPI_AE_UnRegister(HI_S32 IspDev, const ALG_LIB_S* pstAeLib);
HI_S32 HI_MPI_AWB_Register(HI_S32 IspDev, const ALG_LIB_S* pstAwbLib);
HI_S32 HI_MPI_AWB_UnRegister(HI_S32 IspDev, const ALG_LIB_S* pstAwbLib);
HI_S32 HI_MPI_AF_Register(HI_S32 IspDev, const ALG_LIB_S* pstAfLib);
HI_S32 HI_MPI_AF_UnRegister(HI_S32 IspDev, const ALG_LIB_S* pstAfLib);

HI_S32 HI_MPI_ISP_SensorRegCallBack(HI_S32 IspDev, HI_U32 u32SensorId, const ISP_SENSOR_REGISTER_S* pstRegister);
HI_S32 HI_MPI_ISP_SensorUnRegCallBack(HI_S32 IspDev, HI_U32 u32SensorId);
HI_S32 HI_MPI_AE_SensorRegCallBack(HI_S32 IspDev, const ALG_LIB_S* pstAeLib, HI_U32 u32SensorId,
                                   const AE_SENSOR_REGISTER_S* pstRegister);
HI_S32 HI_MPI_AE_SensorUnRegCallBack(HI_S32 IspDev, const ALG_LIB_S* pstAeLib, HI_U32 u32SensorId);
HI_S32 HI_MPI_AWB_SensorRegCallBack(HI_S32 IspDev, const ALG_LIB_S* pstAwbLib, HI_U32 u32SensorId,
                                    const AWB_SENSOR_REGISTER_S* pstRegister);
HI_S32 HI_MPI_AWB_SensorUnRegCallBack(HI_S32 IspDev, const ALG_LIB_S* pstAwbLib, HI_U32 u32SensorId);

// Image-quality attributes, exposure report and statistics.
#include "Platform/MpiIspTuning.h"

#endif
