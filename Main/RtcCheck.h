#ifndef MAIN_RTCCHECK_H
#define MAIN_RTCCHECK_H

#include "Function/types.h"

// TRUE when the hardware clock can be read and its year is not 1970.
BOOL IsRtcWork();

#endif
