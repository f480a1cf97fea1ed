#include "Platform/host/MediaModules.h"

void XMediaResetModules()
{
}
