#ifndef PLATFORM_HOST_MEDIA_TUNINGLOG_H
#define PLATFORM_HOST_MEDIA_TUNINGLOG_H

// The log of picture-attribute sets shared by the simulated ISP, input and
// processing: kept in the process (Platform/TuningSim.h) and, on a board, as
// DIR/log/isp.log, one line for each set whose record or result differs from
// the last of the same function and id:
//   MILLISECONDS FUNC ID RESULT FIELD=VALUE ...
// Not for code outside Platform/host.

#include <cstddef>
#include <string>

#include "Platform/MpiTypes.h"

// Logs one set call with its record; `fields` is the record's summary line.
void XTuningLogSet(const char* func, HI_S32 id, HI_S32 result, const void* record, size_t size,
                   const std::string& fields);

// Tear-down of the picture-attribute state (tests' reset).
void XMediaResetIspTuning();
void XMediaResetViTuning();
void XTuningLogReset();

#endif
