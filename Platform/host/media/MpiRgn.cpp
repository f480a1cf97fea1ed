// Overlay regions: attributes, attachments by handle, the copied bitmap and
// its converted form, which the compositor blends.

#include "Platform/MpiRgn.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "Platform/RgnSim.h"
#include "Platform/host/media/MediaCore.h"
#include "Platform/host/media/MediaModules.h"
#include "Platform/host/media/RgnState.h"

namespace {

constexpr HI_S32 Err(uint32_t number) { return XMpiErrCode(HI_ID_RGN, number); }

HI_S32 Find(RGN_HANDLE h, std::shared_ptr<tagRgnRegion>* out)
{
    if (h >= RGN_HANDLE_MAX) {
        return Err(EN_ERR_INVALID_CHNID);
    }
    tagRgnState& s = XRgnState();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.regions.find(h);
    if (it == s.regions.end()) {
        return Err(EN_ERR_UNEXIST);
    }
    *out = it->second;
    return HI_SUCCESS;
}

HI_S32 CheckChn(const MPP_CHN_S* chn)
{
    if (chn == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    if (chn->enModId != HI_ID_VENC) {
        return Err(EN_ERR_NOT_SUPPORT);
    }
    if (chn->s32DevId != 0) {
        return Err(EN_ERR_INVALID_DEVID);
    }
    if (chn->s32ChnId < 0 || chn->s32ChnId >= 16) {
        return Err(EN_ERR_INVALID_CHNID);
    }
    return HI_SUCCESS;
}

// The region and an encoder channel of a per-channel call.
HI_S32 FindForChn(RGN_HANDLE h, const MPP_CHN_S* chn, std::shared_ptr<tagRgnRegion>* out)
{
    if (HI_S32 e = Find(h, out)) {
        return e;
    }
    return CheckChn(chn);
}

HI_S32 CheckChnAttr(const RGN_CHN_ATTR_S* a)
{
    if (a == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    if (a->enType != OVERLAY_RGN) {
        return Err(EN_ERR_ILLEGAL_PARAM);
    }
    const OVERLAY_CHN_ATTR_S& o = a->unChnAttr.stOverlayChn;
    if (o.stPoint.s32X < 0 || o.stPoint.s32Y < 0 || (o.stPoint.s32X & 1) != 0 || (o.stPoint.s32Y & 1) != 0 ||
        o.u32FgAlpha > RGN_ALPHA_MAX || o.u32BgAlpha > RGN_ALPHA_MAX || o.u32Layer > RGN_MAX_LAYER) {
        return Err(EN_ERR_ILLEGAL_PARAM);
    }
    return HI_SUCCESS;
}

// RGB1555 to BT.601 limited range.
void ToYuv(uint16_t p, uint8_t* y, uint8_t* u, uint8_t* v)
{
    const int r5 = (p >> 10) & 0x1F;
    const int g5 = (p >> 5) & 0x1F;
    const int b5 = p & 0x1F;
    const int r = (r5 << 3) | (r5 >> 2);
    const int g = (g5 << 3) | (g5 >> 2);
    const int b = (b5 << 3) | (b5 >> 2);
    *y = static_cast<uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
    *u = static_cast<uint8_t>(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
    *v = static_cast<uint8_t>(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
}

}  // namespace

tagRgnState& XRgnState()
{
    static tagRgnState* s = new tagRgnState;
    return *s;
}

HI_S32 HI_MPI_RGN_Create(RGN_HANDLE Handle, const RGN_ATTR_S* pstRegion)
{
    XMEDIA_FAULT(static_cast<int>(Handle));
    if (Handle >= RGN_HANDLE_MAX) {
        return Err(EN_ERR_INVALID_CHNID);
    }
    if (pstRegion == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    if (pstRegion->enType != OVERLAY_RGN) {
        return Err(EN_ERR_NOT_SUPPORT);
    }
    const OVERLAY_ATTR_S& o = pstRegion->unAttr.stOverlay;
    if (o.enPixelFmt != PIXEL_FORMAT_RGB_1555 || o.stSize.u32Width == 0 || o.stSize.u32Height == 0 ||
        o.stSize.u32Width > 4096 || o.stSize.u32Height > 4096) {
        return Err(EN_ERR_ILLEGAL_PARAM);
    }
    std::shared_ptr<tagRgnRegion> r(new tagRgnRegion);
    r->handle = Handle;
    r->attr = *pstRegion;
    const size_t n = static_cast<size_t>(o.stSize.u32Width) * o.stSize.u32Height;
    r->y.assign(n, 0);
    r->u.assign(n, 0);
    r->v.assign(n, 0);
    r->kind.assign(n, 0);
    {
        tagRgnState& s = XRgnState();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.regions.count(Handle) != 0) {
            return Err(EN_ERR_EXIST);
        }
        s.regions[Handle] = r;
    }
    XMediaStateChanged();
    return HI_SUCCESS;
}

HI_S32 HI_MPI_RGN_Destroy(RGN_HANDLE Handle)
{
    XMEDIA_FAULT(static_cast<int>(Handle));
    if (Handle >= RGN_HANDLE_MAX) {
        return Err(EN_ERR_INVALID_CHNID);
    }
    {
        tagRgnState& s = XRgnState();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.regions.erase(Handle) == 0) {
            return Err(EN_ERR_UNEXIST);
        }
    }
    XMediaStateChanged();
    return HI_SUCCESS;
}

HI_S32 HI_MPI_RGN_AttachToChn(RGN_HANDLE Handle, const MPP_CHN_S* pstChn, const RGN_CHN_ATTR_S* pstChnAttr)
{
    XMEDIA_FAULT(static_cast<int>(Handle));
    std::shared_ptr<tagRgnRegion> r;
    if (HI_S32 e = FindForChn(Handle, pstChn, &r)) {
        return e;
    }
    if (HI_S32 e = CheckChnAttr(pstChnAttr)) {
        return e;
    }
    {
        std::lock_guard<std::mutex> lock(r->mutex);
        if (r->chn.count(pstChn->s32ChnId) != 0) {
            return Err(EN_ERR_EXIST);
        }
        r->chn[pstChn->s32ChnId] = *pstChnAttr;
    }
    XMediaStateChanged();
    return HI_SUCCESS;
}

HI_S32 HI_MPI_RGN_DetachFromChn(RGN_HANDLE Handle, const MPP_CHN_S* pstChn)
{
    XMEDIA_FAULT(static_cast<int>(Handle));
    std::shared_ptr<tagRgnRegion> r;
    if (HI_S32 e = FindForChn(Handle, pstChn, &r)) {
        return e;
    }
    {
        std::lock_guard<std::mutex> lock(r->mutex);
        if (r->chn.erase(pstChn->s32ChnId) == 0) {
            return Err(EN_ERR_UNEXIST);
        }
    }
    XMediaStateChanged();
    return HI_SUCCESS;
}

HI_S32 HI_MPI_RGN_GetDisplayAttr(RGN_HANDLE Handle, const MPP_CHN_S* pstChn, RGN_CHN_ATTR_S* pstChnAttr)
{
    XMEDIA_FAULT(static_cast<int>(Handle));
    std::shared_ptr<tagRgnRegion> r;
    if (HI_S32 e = FindForChn(Handle, pstChn, &r)) {
        return e;
    }
    if (pstChnAttr == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    std::lock_guard<std::mutex> lock(r->mutex);
    auto it = r->chn.find(pstChn->s32ChnId);
    if (it == r->chn.end()) {
        return Err(EN_ERR_UNEXIST);
    }
    *pstChnAttr = it->second;
    return HI_SUCCESS;
}

HI_S32 HI_MPI_RGN_SetDisplayAttr(RGN_HANDLE Handle, const MPP_CHN_S* pstChn, const RGN_CHN_ATTR_S* pstChnAttr)
{
    XMEDIA_FAULT(static_cast<int>(Handle));
    std::shared_ptr<tagRgnRegion> r;
    if (HI_S32 e = FindForChn(Handle, pstChn, &r)) {
        return e;
    }
    if (HI_S32 e = CheckChnAttr(pstChnAttr)) {
        return e;
    }
    {
        std::lock_guard<std::mutex> lock(r->mutex);
        auto it = r->chn.find(pstChn->s32ChnId);
        if (it == r->chn.end()) {
            return Err(EN_ERR_UNEXIST);
        }
        it->second = *pstChnAttr;
    }
    XMediaStateChanged();
    return HI_SUCCESS;
}

HI_S32 HI_MPI_RGN_SetBitMap(RGN_HANDLE Handle, const BITMAP_S* pstBitmap)
{
    XMEDIA_FAULT(static_cast<int>(Handle));
    std::shared_ptr<tagRgnRegion> r;
    if (HI_S32 e = Find(Handle, &r)) {
        return e;
    }
    if (pstBitmap == nullptr || pstBitmap->pData == nullptr) {
        return Err(EN_ERR_NULL_PTR);
    }
    const OVERLAY_ATTR_S& o = r->attr.unAttr.stOverlay;
    const uint32_t w = pstBitmap->u32Width;
    const uint32_t h = pstBitmap->u32Height;
    if (pstBitmap->enPixelFormat != o.enPixelFmt || w == 0 || h == 0 || w > o.stSize.u32Width ||
        h > o.stSize.u32Height) {
        return Err(EN_ERR_ILLEGAL_PARAM);
    }
    const size_t stride = (static_cast<size_t>(w) * 2 + 3) & ~static_cast<size_t>(3);
    const uint8_t* src = static_cast<const uint8_t*>(pstBitmap->pData);
    std::lock_guard<std::mutex> lock(r->mutex);
    r->raw.assign(src, src + stride * h);
    r->bmpW = w;
    r->bmpH = h;
    ++r->setCount;
    const uint32_t rw = o.stSize.u32Width;
    std::fill(r->kind.begin(), r->kind.end(), 0);
    for (uint32_t row = 0; row < h; ++row) {
        const uint8_t* line = r->raw.data() + stride * row;
        for (uint32_t col = 0; col < w; ++col) {
            const uint16_t p = static_cast<uint16_t>(line[2 * col] | (line[2 * col + 1] << 8));
            const size_t i = static_cast<size_t>(row) * rw + col;
            ToYuv(p, &r->y[i], &r->u[i], &r->v[i]);
            r->kind[i] = (p & 0x8000) != 0 ? 2 : 1;
        }
    }
    return HI_SUCCESS;
}

BOOL XRgnSimInfo(RGN_HANDLE handle, tagRgnSimInfo* info)
{
    if (handle >= RGN_HANDLE_MAX || info == nullptr) {
        return FALSE;
    }
    info->bCreated = FALSE;
    memset(&info->attr, 0, sizeof(info->attr));
    info->attach.clear();
    info->u32BmpWidth = 0;
    info->u32BmpHeight = 0;
    info->bitmap.clear();
    info->u64SetBitMap = 0;
    std::shared_ptr<tagRgnRegion> r;
    if (Find(handle, &r) != HI_SUCCESS) {
        return TRUE;
    }
    std::lock_guard<std::mutex> lock(r->mutex);
    info->bCreated = TRUE;
    info->attr = r->attr;
    for (const auto& c : r->chn) {
        info->attach.push_back({c.first, c.second});
    }
    info->u32BmpWidth = r->bmpW;
    info->u32BmpHeight = r->bmpH;
    info->bitmap = r->raw;
    info->u64SetBitMap = r->setCount;
    return TRUE;
}

std::vector<RGN_HANDLE> XRgnSimHandles()
{
    std::vector<RGN_HANDLE> out;
    tagRgnState& s = XRgnState();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (const auto& r : s.regions) {
        out.push_back(r.first);
    }
    return out;
}

void XMediaResetRgn()
{
    tagRgnState& s = XRgnState();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.regions.clear();
}
