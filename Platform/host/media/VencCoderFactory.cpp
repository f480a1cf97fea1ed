#include <atomic>

#include "Platform/MediaSim.h"
#include "Platform/host/media/VencCoder.h"

namespace {

std::atomic<BOOL> g_bPlaceholders{FALSE};

}  // namespace

void XMediaSimUsePlaceholders(BOOL placeholders)
{
    g_bPlaceholders = placeholders;
}

std::unique_ptr<CVencCoder> XVencCreateCoder(const VENC_CHN_ATTR_S& attr)
{
#if DASHCAM_HAVE_VIDEO_CODECS
    if (!g_bPlaceholders) {
        return XVencCreateRealCoder(attr);
    }
#endif
    return XVencCreatePlaceholder(attr);
}
