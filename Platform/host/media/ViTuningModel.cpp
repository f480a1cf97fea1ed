// Dynamic contrast and colour-space conversion of the simulated video input:
// records kept and every set logged.

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "Platform/MpiVi.h"
#include "Platform/host/media/MediaCore.h"
#include "Platform/host/media/TuningLog.h"

namespace {

constexpr HI_S32 Err(uint32_t number) { return XMpiErrCode(HI_ID_VIU, number); }

struct tagViTuningState {
    std::mutex mutex;
    VI_DCI_PARAM_S dci[VIU_MAX_CHN_NUM];
    VI_CSC_ATTR_S csc[VIU_MAX_DEV_NUM];
};

void Defaults(tagViTuningState& s)
{
    for (VI_DCI_PARAM_S& d : s.dci) {
        d = {0, 32, 32, 32};
    }
    for (VI_CSC_ATTR_S& c : s.csc) {
        c = {VI_CSC_TYPE_709, 50, 50, 50, 50};
    }
}

tagViTuningState& State()
{
    static tagViTuningState* s = [] {
        tagViTuningState* t = new tagViTuningState;
        Defaults(*t);
        return t;
    }();
    return *s;
}

HI_S32 CheckId(HI_S32 id, int count, uint32_t invalid)
{
    if (id < 0 || id >= count) {
        return Err(invalid);
    }
    return XMediaSysReady() ? HI_SUCCESS : Err(EN_ERR_SYS_NOTREADY);
}

bool Valid(const VI_DCI_PARAM_S& d)
{
    return (d.bEnable == 0 || d.bEnable == 1) && d.u32BlackGain <= 63 && d.u32ContrastGain <= 63 &&
           d.u32LightGain <= 63;
}

bool Valid(const VI_CSC_ATTR_S& c)
{
    return c.enViCscType < VI_CSC_TYPE_BUTT && c.u32LumaVal <= 100 && c.u32ContrVal <= 100 && c.u32HueVal <= 100 &&
           c.u32SatuVal <= 100;
}

std::string Fields(const VI_DCI_PARAM_S& d)
{
    char b[96];
    snprintf(b, sizeof(b), "enable=%d black=%u contrast=%u light=%u", d.bEnable, d.u32BlackGain, d.u32ContrastGain,
             d.u32LightGain);
    return b;
}

std::string Fields(const VI_CSC_ATTR_S& c)
{
    char b[96];
    snprintf(b, sizeof(b), "type=%u luma=%u contrast=%u hue=%u saturation=%u", c.enViCscType, c.u32LumaVal,
             c.u32ContrVal, c.u32HueVal, c.u32SatuVal);
    return b;
}

template <class T, int N>
HI_S32 Set(const char* func, HI_S32 id, uint32_t invalid, const T* in, T (tagViTuningState::*field)[N])
{
    HI_S32 r = XMediaFault(func, id);
    if (r == HI_SUCCESS) {
        r = CheckId(id, N, invalid);
    }
    if (r == HI_SUCCESS && in == nullptr) {
        r = Err(EN_ERR_NULL_PTR);
    }
    if (r == HI_SUCCESS && !Valid(*in)) {
        r = Err(EN_ERR_ILLEGAL_PARAM);
    }
    if (r == HI_SUCCESS) {
        tagViTuningState& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        (s.*field)[id] = *in;
    }
    XTuningLogSet(func, id, r, in, in != nullptr ? sizeof(T) : 0, in != nullptr ? Fields(*in) : std::string());
    return r;
}

template <class T, int N>
HI_S32 Get(const char* func, HI_S32 id, uint32_t invalid, T* out, T (tagViTuningState::*field)[N])
{
    if (HI_S32 fault = XMediaFault(func, id)) {
        return fault;
    }
    if (HI_S32 r = CheckId(id, N, invalid)) {
        return r;
    }
    if (out == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    tagViTuningState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    *out = (s.*field)[id];
    return HI_SUCCESS;
}

}  // namespace

HI_S32 HI_MPI_VI_SetDCIParam(HI_S32 ViChn, const VI_DCI_PARAM_S* pstDciParam)
{
    return Set(__func__, ViChn, EN_ERR_INVALID_CHNID, pstDciParam, &tagViTuningState::dci);
}

HI_S32 HI_MPI_VI_GetDCIParam(HI_S32 ViChn, VI_DCI_PARAM_S* pstDciParam)
{
    return Get(__func__, ViChn, EN_ERR_INVALID_CHNID, pstDciParam, &tagViTuningState::dci);
}

HI_S32 HI_MPI_VI_SetCSCAttr(HI_S32 ViDev, const VI_CSC_ATTR_S* pstCSCAttr)
{
    return Set(__func__, ViDev, EN_ERR_INVALID_DEVID, pstCSCAttr, &tagViTuningState::csc);
}

HI_S32 HI_MPI_VI_GetCSCAttr(HI_S32 ViDev, VI_CSC_ATTR_S* pstCSCAttr)
{
    return Get(__func__, ViDev, EN_ERR_INVALID_DEVID, pstCSCAttr, &tagViTuningState::csc);
}

void XMediaResetViTuning()
{
    tagViTuningState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    Defaults(s);
}
