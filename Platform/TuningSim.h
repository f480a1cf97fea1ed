#ifndef PLATFORM_TUNINGSIM_H
#define PLATFORM_TUNINGSIM_H

// Observation and injection of the simulated ISP's picture side (simulated
// board only): the scene the exposure report and the statistics follow, or
// records injected in their place, and the log of every attribute set.
// Safe from any thread.

#include <cstring>
#include <string>
#include <vector>

#include "Platform/MpiIsp.h"

enum emTuningSimScene {
    emTuningSimScene_Day = 0,     // bright: low gain, high luminance, lit zones
    emTuningSimScene_Night = 1,   // dark: gain up to the exposure's ceiling, dim zones
};

// The exposure report and the statistics follow `scene` again (injected
// records are dropped). Day at power-on and after a reset.
void XTuningSimSetScene(emTuningSimScene scene);
emTuningSimScene XTuningSimScene();

// HI_MPI_ISP_QueryExposureInfo and HI_MPI_ISP_GetStatistics give these
// records from now on, until the next injection or scene.
void XTuningSimInjectExposure(const ISP_EXP_INFO_S& info);
void XTuningSimInjectStatistics(const ISP_STATISTICS_S& stat);

// One set call that reached the stand-in: its function, device or channel,
// result and the record as given.
struct tagTuningSimSet {
    std::string func;               // "HI_MPI_ISP_SetExposureAttr"
    HI_S32 s32Id;
    HI_S32 s32Result;
    std::vector<unsigned char> record;

    template <class T>
    T As() const
    {
        T t;
        memset(&t, 0, sizeof(t));
        memcpy(&t, record.data(), record.size() < sizeof(t) ? record.size() : sizeof(t));
        return t;
    }
};
typedef tagTuningSimSet TuningSimSet;

// The sets since the last reset or clear, oldest first; with `func` only
// those of that function.
std::vector<tagTuningSimSet> XTuningSimSets(const char* func = nullptr);
void XTuningSimClearSets();

#endif
