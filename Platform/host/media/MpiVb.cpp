// Video buffer pools: configuration kept for the state and the tests; the
// simulated board carries no picture memory in them.

#include "Platform/MpiSys.h"

#include <mutex>

#include "Platform/host/media/MediaCore.h"

namespace {

constexpr HI_S32 Err(uint32_t number) { return XMpiErrCode(HI_ID_VB, number); }

// Media memory of the camera's board for all pools together.
constexpr uint64_t kMediaMemoryBytes = 96ull << 20;

struct tagVbState {
    std::mutex mutex;
    BOOL bConf = FALSE;
    VB_CONF_S conf = {};
    BOOL bInit = FALSE;
};

tagVbState& State()
{
    static tagVbState* s = new tagVbState;
    return *s;
}

}  // namespace

HI_S32 HI_MPI_VB_SetConf(const VB_CONF_S* pstConf)
{
    if (HI_S32 f = XMediaFault(__func__, -1)) {
        return f;
    }
    if (pstConf == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    if (pstConf->u32MaxPoolCnt == 0 || pstConf->u32MaxPoolCnt > 256) {
        return Err(EN_ERR_ILLEGAL_PARAM);
    }
    for (const tagVbCommPool& p : pstConf->astCommPool) {
        if ((p.u32BlkCnt != 0) != (p.u32BlkSize != 0)) {
            return Err(EN_ERR_ILLEGAL_PARAM);
        }
    }
    tagVbState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.bInit) {
        return Err(EN_ERR_NOT_PERM);
    }
    s.conf = *pstConf;
    s.bConf = TRUE;
    return HI_SUCCESS;
}

HI_S32 HI_MPI_VB_GetConf(VB_CONF_S* pstConf)
{
    if (HI_S32 f = XMediaFault(__func__, -1)) {
        return f;
    }
    if (pstConf == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    tagVbState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.bConf) {
        return Err(EN_ERR_NOT_CONFIG);
    }
    *pstConf = s.conf;
    return HI_SUCCESS;
}

HI_S32 HI_MPI_VB_Init(HI_VOID)
{
    if (HI_S32 f = XMediaFault(__func__, -1)) {
        return f;
    }
    tagVbState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.bConf) {
        return Err(EN_ERR_NOT_CONFIG);
    }
    if (s.bInit) {
        return HI_SUCCESS;
    }
    uint64_t total = 0;
    for (const tagVbCommPool& p : s.conf.astCommPool) {
        total += static_cast<uint64_t>(p.u32BlkSize) * p.u32BlkCnt;
    }
    if (total > kMediaMemoryBytes) {
        return Err(EN_ERR_NOMEM);
    }
    s.bInit = TRUE;
    return HI_SUCCESS;
}

HI_S32 HI_MPI_VB_Exit(HI_VOID)
{
    if (HI_S32 f = XMediaFault(__func__, -1)) {
        return f;
    }
    if (XMediaSysReady()) {
        return Err(EN_ERR_BUSY);  // the system still uses the pools
    }
    tagVbState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.bInit = FALSE;
    return HI_SUCCESS;
}

BOOL XMediaVbReady()
{
    tagVbState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.bInit;
}

void XMediaResetVb()
{
    tagVbState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.bConf = FALSE;
    s.conf = VB_CONF_S();
    s.bInit = FALSE;
}
