#include "Platform/host/VencCoder.h"

std::unique_ptr<CVencCoder> XVencCreateCoder(const VENC_CHN_ATTR_S& attr)
{
    return XVencCreatePlaceholder(attr);
}
