// Tuning strategy of the Sony IMX290/IMX291, and the unit's unused helpers.

#include "AVCapture/hi3516cv200/Imx291Tuning.h"

#include <cstring>

#include "AVCapture/hi3516cv200/ISPTuningStep.h"
#include "Function/XLog.h"

namespace {

const tagTuningTables kTables = {
    {{88, 48, 0}, {100, 72, 0}, {120, 88, 8}, {132, 90, 32}, {156, 96, 48}, {160, 98, 56}, {168, 104, 64}, {0, 0, 0}},
    {3099, 3321, 3559, 3813, 4086, 4229, 4591},
    3015,
    1024,
    {2043, 2135, 2227, 2327, 2428, 2537, 2647, 2766, 2886, 3015, 3146, 3287, 3430, 3583, 3739, 3907},
    {0, 96, 128, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255},
    {91, 91, 90, 90, 90, 88, 88, 88, 88, 250, 250, 250, 250, 250, 250, 250},
    {40, 58, 75, 80, 80, 80, 60, 70, 120, 200, 250, 250, 250, 250, 250, 250},
    {148, 148, 138, 135, 135, 128, 128, 128, 128, 0, 0, 0, 0, 0, 0, 0},
    {168, 168, 156, 156, 156, 156, 152, 152, 152, 0, 0, 0, 0, 0, 0, 0},
    {140, 134, 130, 130, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128},
    8,
    48,
    23,
    true,    // local mixing
    false,   // contrast off keeps its gains
    false,   // defect pixels read once
    false,   // no extra-dark ceiling
};

const int wdr_mode_min_exp_time[8] = {20, 22, 42, 62, 82, 102, 122, 142};
const int wdr_level[16] = {16, 24, 32, 48, 64, 72, 80, 88, 0, 0, 0, 0, 0, 0, 0, 0};
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

void Report(int* minexp, int* curdrc)
{
    *minexp = wdr_mode_min_exp_time[min_exp_time_index];
    *curdrc = wdr_level_index < 0 ? -1 : wdr_level[wdr_level_index];
}

// The free report's own copies.
ISP_EXP_INFO_S g_exp_info;
const int g_wdr_mode_min_exp_time[8] = {20, 22, 42, 62, 82, 102, 122, 142};
const int g_wdr_level[16] = {16, 24, 32, 48, 64, 72, 80, 88, 0, 0, 0, 0, 0, 0, 0, 0};
int g_min_exp_time_index = 0;
int g_wdr_level_index = -1;

}  // namespace

CImx291Tuning::CImx291Tuning() {}

CImx291Tuning::~CImx291Tuning() {}

void CImx291Tuning::ISPTuning(bool bImgSensorReverse, ISP_AE_STRATEGY_E curAeStrategy, bool)
{
    XTuningStep(State(), kTables, bImgSensorReverse, curAeStrategy);
}

void CImx291Tuning::GetCurExposureInfo(ISP_EXP_INFO_S* info, int* minexp, int* curdrc)
{
    XTuningExposure(State(), info);
    Report(minexp, curdrc);
}

void CImx291Tuning::ResetStepState()
{
    XTuningReset(State());
}

bool IsRound(float a, float b)
{
    return a - 0.5f < b && b < a + 0.5f;
}

HI_S32 SetCSCAttr(HI_S32 ViDev, int, int, int)
{
    VI_CSC_ATTR_S csc;
    memset(&csc, 0, sizeof(csc));
    csc.enViCscType = VI_CSC_TYPE_709;
    csc.u32ContrVal = 50;
    csc.u32HueVal = 50;
    csc.u32LumaVal = 50;
    csc.u32SatuVal = 50;
    HI_S32 ret = HI_MPI_VI_SetCSCAttr(ViDev, &csc);
    if (ret != HI_SUCCESS) {
        XERROR("Set vi CSC attr err:0x%x\n", static_cast<unsigned>(ret));
    }
    return ret;
}

HI_S32 GetCSCAttr(HI_S32 ViDev, int* contrast, int* hue, int* luma, int* saturation)
{
    VI_CSC_ATTR_S csc;
    HI_S32 ret = HI_MPI_VI_GetCSCAttr(ViDev, &csc);
    if (ret != HI_SUCCESS) {
        XERROR("Get vi CSC attr err:0x%x\n", static_cast<unsigned>(ret));
        return ret;
    }
    *contrast = static_cast<int>(csc.u32ContrVal);
    *hue = static_cast<int>(csc.u32HueVal);
    *luma = static_cast<int>(csc.u32LumaVal);
    *saturation = static_cast<int>(csc.u32SatuVal);
    return ret;
}

void GetCurExposureInfo(ISP_EXP_INFO_S* info, int* minexp, int* curdrc)
{
    memcpy(info, &g_exp_info, sizeof(*info));
    *minexp = g_wdr_mode_min_exp_time[g_min_exp_time_index];
    *curdrc = g_wdr_level_index < 0 ? -1 : g_wdr_level[g_wdr_level_index];
}
