#ifndef RECORD_RECORDCONTROL_H
#define RECORD_RECORDCONTROL_H

#include "Function/types.h"

// Recording paused, resumed and stopped from outside the engine (the
// capture's switches, the web and app commands, the supervision loop).
class CRecordControl {
public:
    virtual ~CRecordControl() = default;

    virtual BOOL PauseAllRecord(BOOL bFlushBuffer, BOOL bImmediately) = 0;
    virtual BOOL ResumeCommonRecord() = 0;
    virtual BOOL StopAllRecord(BOOL bFlushBuffer, BOOL bImmediately) = 0;
    // Parking time-lapse recording is on.
    virtual BOOL GetParkingFlag() = 0;
};

#endif
