#include "Platform/Aenc.h"

#include <cstring>
#include <mutex>

#include "Platform/host/AencHost.h"
#include "Platform/host/MediaCore.h"

namespace {

struct tagAencModule {
    std::mutex lock;
    AENC_ENCODER_S encoders[AENC_MAX_ENCODERS];
    bool used[AENC_MAX_ENCODERS] = {};
    uint32_t registrations = 0;
};

tagAencModule& Module()
{
    static tagAencModule module;
    return module;
}

}  // namespace

int32_t HI_MPI_AENC_RegisterEncoder(int32_t* ps32Handle, const AENC_ENCODER_S* pstEncoder)
{
    if (ps32Handle == nullptr || pstEncoder == nullptr) {
        return AENC_ERR_NULL_PTR;
    }
    if (HI_S32 f = XMediaFault(__func__, -1)) {
        return f;
    }
    if (pstEncoder->pfnOpenEncoder == nullptr || pstEncoder->pfnEncodeFrm == nullptr ||
        pstEncoder->pfnCloseEncoder == nullptr || pstEncoder->u32MaxFrmLen == 0 ||
        memchr(pstEncoder->aszName, '\0', sizeof(pstEncoder->aszName)) == nullptr) {
        return AENC_ERR_ILLEGAL_PARAM;
    }
    tagAencModule& m = Module();
    std::lock_guard<std::mutex> lock(m.lock);
    int free = -1;
    for (int i = 0; i < AENC_MAX_ENCODERS; ++i) {
        if (m.used[i] && m.encoders[i].enType == pstEncoder->enType) {
            return AENC_ERR_EXIST;
        }
        if (!m.used[i] && free < 0) {
            free = i;
        }
    }
    if (free < 0) {
        return AENC_ERR_NOMEM;
    }
    m.encoders[free] = *pstEncoder;
    m.used[free] = true;
    m.registrations++;
    *ps32Handle = free;
    return 0;
}

int32_t HI_MPI_AENC_UnRegisterEncoder(int32_t s32Handle)
{
    tagAencModule& m = Module();
    std::lock_guard<std::mutex> lock(m.lock);
    if (s32Handle < 0 || s32Handle >= AENC_MAX_ENCODERS || !m.used[s32Handle]) {
        return AENC_ERR_UNEXIST;
    }
    m.used[s32Handle] = false;
    return 0;
}

std::vector<AencRegistration> XAencRegistrations()
{
    tagAencModule& m = Module();
    std::lock_guard<std::mutex> lock(m.lock);
    std::vector<AencRegistration> out;
    for (int i = 0; i < AENC_MAX_ENCODERS; ++i) {
        if (m.used[i]) {
            out.push_back({i, m.encoders[i].enType, m.encoders[i].u32MaxFrmLen, m.encoders[i].aszName});
        }
    }
    return out;
}

uint32_t XAencRegistrationCount()
{
    tagAencModule& m = Module();
    std::lock_guard<std::mutex> lock(m.lock);
    return m.registrations;
}
