#ifndef AVCAPTURE_HI3516CV200_IMX291TUNING_H
#define AVCAPTURE_HI3516CV200_IMX291TUNING_H

// Tuning strategy of the Sony IMX290/IMX291. Its step state is one set for
// the class, kept for the process lifetime.

#include "AVCapture/hi3516cv200/ISPTuning.h"

class CImx291Tuning : public CISPTuning {
public:
    CImx291Tuning();
    ~CImx291Tuning() override;

    void ISPTuning(bool bImgSensorReverse, ISP_AE_STRATEGY_E curAeStrategy, bool bUseHighestContrastGamma) override;
    void GetCurExposureInfo(ISP_EXP_INFO_S* info, int* minexp, int* curdrc) override;

    // Tests only: the class's step state back to before its first step.
    static void ResetStepState();
};

// Helpers of the same unit that the camera does not call.
bool IsRound(float a, float b);
// Sets colour-space type 1 with contrast, hue, luma and saturation 50,
// whatever it is given.
HI_S32 SetCSCAttr(HI_S32 ViDev, int contrast, int hue, int luma);
HI_S32 GetCSCAttr(HI_S32 ViDev, int* contrast, int* hue, int* luma, int* saturation);
// The same report as the class's, over records of its own that no step fills.
void GetCurExposureInfo(ISP_EXP_INFO_S* info, int* minexp, int* curdrc);

#endif
