#ifndef AVCAPTURE_HI3516CV200_ISPTUNINGSTEP_H
#define AVCAPTURE_HI3516CV200_ISPTUNINGSTEP_H

// The tuning step both strategies share, over a strategy's own tables and
// step state. Used by the strategies only.

#include <mutex>

#include "AVCapture/hi3516cv200/ISPTuning.h"
#include "Platform/MpiVpss.h"

#define TUNING_MAX_CANDIDATES 8
#define TUNING_GAIN_STEPS 7

// What differs between the strategies.
struct tagTuningTables {
    HI_S32 dns3d[8][3];                            // YSF, YTF, YSmth by noise-reduction level
    HI_U32 MaxSysgain_table[TUNING_GAIN_STEPS];    // system-gain ceiling by step
    HI_U32 u32InitMaxSysgain;
    HI_U32 u32MinSysgain;
    HI_U32 max_sysgain_table[16];                  // entry 0: the contrast threshold
    HI_U16 DPDSlope_table[ISP_AUTO_STENGTH_NUM];
    HI_U8 SharpenD[ISP_AUTO_STENGTH_NUM];
    HI_U8 SharpenUD[ISP_AUTO_STENGTH_NUM];
    HI_U8 OverShoot[ISP_AUTO_STENGTH_NUM];
    HI_U8 UnderShoot[ISP_AUTO_STENGTH_NUM];
    HI_U8 saturation[ISP_AUTO_STENGTH_NUM];
    int nCandidates;
    unsigned u32LumaDown;                          // brightest zones above this: ceiling down
    unsigned u32LumaUp;                            // at most this: ceiling up
    bool bLocalMixing;                             // DRC's manual local mixing set to 61
    bool bDciOffGains;                             // contrast off also sets its gains to 32
    bool bDPReadTwice;
    bool bExtraDark;                               // the extra-dark ceiling and its flag
};

// The step state of one strategy, kept for the process lifetime.
struct tagTuningState {
    bool param_init;
    HI_S32 IspDev;
    VPSS_NR_PARAM_S VpssNrParam;
    ISP_DRC_ATTR_S drc;
    ISP_EXPOSURE_ATTR_S ae;
    ISP_SATURATION_ATTR_S sat;
    ISP_WB_ATTR_S awb;
    ISP_DP_DYNAMIC_ATTR_S stDPDynamicAttr;
    ISP_SHARPEN_ATTR_S stSharpenAttr;
    ISP_UVNR_ATTR_S stUvnrAttr;
    VI_DCI_PARAM_S stDciParam;
    ISP_STATISTICS_S stStat;
    ISP_EXP_INFO_S exp_info;       // under exp_lock: read from other threads
    std::mutex exp_lock;
    int level;
    ISP_AE_STRATEGY_E ae_strategy;
    int SysgainLevel;
    int MaxSysFlag;
    int maxHeightestWeightIndex[2];
    __AE_avgY__ candidates[TUNING_MAX_CANDIDATES];
};

// Back to the state before the first step.
void XTuningReset(tagTuningState& s);
void XTuningStep(tagTuningState& s, const tagTuningTables& t, bool bImgSensorReverse,
                 ISP_AE_STRATEGY_E curAeStrategy);
// The last exposure record under the state's lock.
void XTuningExposure(tagTuningState& s, ISP_EXP_INFO_S* info);

#endif
