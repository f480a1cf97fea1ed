#ifndef AVCAPTURE_HI3516CV200_ISPTUNING_H
#define AVCAPTURE_HI3516CV200_ISPTUNING_H

// Dynamic ISP tuning: a per-sensor strategy that follows the exposure and the
// scene's luminance with noise reduction, gamma, dynamic contrast, exposure
// weights on the brightest zones and the system-gain ceiling. One step runs on
// the capture thread; GetCurExposureInfo may run on any other.

#include "Platform/MpiIsp.h"
#include "Platform/MpiVi.h"

class CISPTuning {
public:
    virtual ~CISPTuning() {}
    // One step: `bImgSensorReverse` selects the upside-down weight table;
    // `bUseHighestContrastGamma` has no effect.
    virtual void ISPTuning(bool bImgSensorReverse, ISP_AE_STRATEGY_E curAeStrategy,
                           bool bUseHighestContrastGamma) = 0;
    // The last exposure record queried, the minimum exposure time and the
    // DRC level (-1: none).
    virtual void GetCurExposureInfo(ISP_EXP_INFO_S* info, int* minexp, int* curdrc) = 0;
};

// A metering candidate: a zone and its luma rounded.
struct tagAeAvgY {
    int row;
    int col;
    unsigned value;
};
typedef tagAeAvgY __AE_avgY__;

// Sorts a[low..high] (inclusive) ascending by value.
void Quick_sort(__AE_avgY__* a, int low, int high);

// Exposure weights of the 15 x 17 zones; the reverse table is the normal one
// upside down, for a sensor mounted the other way round.
extern const HI_U8 u8AEWeight_normal[AE_ZONE_ROW][AE_ZONE_COLUMN];
extern const HI_U8 (&u8AEWeight_reverse)[AE_ZONE_ROW][AE_ZONE_COLUMN];

// User-defined gamma curves of 257 points; the step applies the last two.
extern const ISP_GAMMA_ATTR_S gamma_high_contrast;
extern const ISP_GAMMA_ATTR_S gamma_highest_contrast;
extern const ISP_GAMMA_ATTR_S gamma_mid_contrast;
extern const ISP_GAMMA_ATTR_S gamma_bright;

#endif
