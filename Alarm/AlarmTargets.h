#ifndef ALARM_ALARMTARGETS_H
#define ALARM_ALARMTARGETS_H

#include "Function/types.h"

// Where the Record linkage starts alarm recordings.
class CAlarmRecordTarget {
public:
    virtual ~CAlarmRecordTarget() = default;
    // `alarm` the full alarm value, `type` the trigger letter.
    virtual BOOL StartAlarmRecord(unsigned alarm, unsigned long type) = 0;
};

// Where the Snapshot linkage asks for event images.
class CAlarmSnapshotTarget {
public:
    virtual ~CAlarmSnapshotTarget() = default;
    // `notify` non-zero: the image's record goes with the alarm video.
    virtual BOOL Snapshot(int channel, int notify, unsigned long type) = 0;
};

// Where the linkages act: the camera's are the recording engine and the
// snapshot manager, bound by the composition root; a linkage without its
// target does nothing and fails.
typedef struct tagAlarmTargets {
    CAlarmRecordTarget* record;
    CAlarmSnapshotTarget* snapshot;
} AlarmTargets;

#endif
