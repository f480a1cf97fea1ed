#ifndef SNAPSHOT_SNAPSHOTCONTROL_H
#define SNAPSHOT_SNAPSHOTCONTROL_H

#include "Function/types.h"

// Event images paused and resumed (power line, web and app commands).
class CSnapshotControl {
public:
    virtual ~CSnapshotControl() = default;

    virtual BOOL PauseSnapshot() = 0;
    virtual BOOL ResumeSnapshot() = 0;
};

#endif
