// Tuning strategy of the Panasonic MN34222.

#include "AVCapture/hi3516cv200/MN34227Tuning.h"

#include "AVCapture/hi3516cv200/ISPTuningStep.h"

namespace {

const tagTuningTables kTables = {
    {{88, 64, 0}, {100, 72, 0}, {120, 88, 0}, {140, 100, 16}, {150, 100, 32}, {158, 104, 48}, {168, 104, 56},
     {172, 108, 64}},
    {3015, 3583, 3907, 4259, 4643, 5062, 5282},
    3287,
    1024,
    {2043, 2135, 2227, 2327, 2428, 2537, 2647, 2766, 2886, 3015, 3146, 3287, 3430, 3583, 3739, 3907},
    {0, 200, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255},
    {88, 88, 84, 86, 88, 88, 180, 200, 220, 250, 250, 250, 250, 250, 250, 250},
    {38, 40, 48, 70, 72, 84, 88, 102, 120, 200, 250, 250, 250, 250, 250, 250},
    {150, 148, 138, 132, 130, 130, 130, 10, 0, 0, 0, 0, 0, 0, 0, 0},
    {168, 168, 138, 138, 138, 138, 138, 70, 30, 0, 0, 0, 0, 0, 0, 0},
    {140, 140, 136, 136, 128, 120, 104, 69, 56, 56, 56, 56, 56, 56, 56, 56},
    7,
    36,
    19,
    false,   // no local mixing
    true,    // contrast off sets its gains to 32
    true,    // defect pixels read twice
    true,    // extra-dark ceiling
};

const int wdr_mode_min_exp_time[8] = {20, 22, 42, 62, 82, 102, 122, 142};
const int wdr_level[8] = {16, 24, 32, 48, 64, 72, 80, 88};
int min_exp_time_index = 0;
int wdr_level_index = -1;

tagTuningState& State()
{
    static tagTuningState* s = [] {
        tagTuningState* t = new tagTuningState;
        XTuningReset(*t);
        return t;
    }();
    return *s;
}

}  // namespace

CMN34227Tuning::CMN34227Tuning() {}

CMN34227Tuning::~CMN34227Tuning() {}

void CMN34227Tuning::ISPTuning(bool bImgSensorReverse, ISP_AE_STRATEGY_E curAeStrategy, bool)
{
    XTuningStep(State(), kTables, bImgSensorReverse, curAeStrategy);
}

void CMN34227Tuning::GetCurExposureInfo(ISP_EXP_INFO_S* info, int* minexp, int* curdrc)
{
    XTuningExposure(State(), info);
    *minexp = wdr_mode_min_exp_time[min_exp_time_index];
    *curdrc = wdr_level_index < 0 ? -1 : wdr_level[wdr_level_index];
}

void CMN34227Tuning::ResetStepState()
{
    XTuningReset(State());
}
