#ifndef AVCAPTURE_HI3516CV200_MN34227TUNING_H
#define AVCAPTURE_HI3516CV200_MN34227TUNING_H

// Tuning strategy of the Panasonic MN34222, with an extra-dark ceiling. Its
// step state is one set for the class, kept for the process lifetime.

#include "AVCapture/hi3516cv200/ISPTuning.h"

class CMN34227Tuning : public CISPTuning {
public:
    CMN34227Tuning();
    ~CMN34227Tuning() override;

    void ISPTuning(bool bImgSensorReverse, ISP_AE_STRATEGY_E curAeStrategy, bool bUseHighestContrastGamma) override;
    void GetCurExposureInfo(ISP_EXP_INFO_S* info, int* minexp, int* curdrc) override;

    // Tests only: the class's step state back to before its first step.
    static void ResetStepState();
};

#endif
