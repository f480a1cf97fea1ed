#ifndef MAIN_WIRING_ALARMWIRING_H
#define MAIN_WIRING_ALARMWIRING_H

#include "Alarm/AlarmTargets.h"

// The alarm linkages' targets on the camera: the recording engine and the
// snapshot manager.
class CCameraAlarmRecordTarget : public CAlarmRecordTarget {
public:
    BOOL StartAlarmRecord(unsigned alarm, unsigned long type) override;
};

class CCameraAlarmSnapshotTarget : public CAlarmSnapshotTarget {
public:
    BOOL Snapshot(int channel, int notify, unsigned long type) override;
};

#endif
