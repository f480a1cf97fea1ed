#include "Alarm/AlarmTargets.h"

#include "Record/Record.h"

namespace {

class CRecordAlarmTarget : public CAlarmRecordTarget {
public:
    BOOL StartAlarmRecord(unsigned alarm, unsigned long type) override
    {
        return CRecord::instance()->StartAlarmRecord(alarm, type);
    }
};

// No snapshot side in this build yet: the request goes nowhere.
class CNoSnapshotTarget : public CAlarmSnapshotTarget {
public:
    BOOL Snapshot(int, int, unsigned long) override { return FALSE; }
};

}  // namespace

CAlarmRecordTarget* XDefaultAlarmRecordTarget()
{
    static CRecordAlarmTarget s_Target;
    return &s_Target;
}

CAlarmSnapshotTarget* XDefaultAlarmSnapshotTarget()
{
    static CNoSnapshotTarget s_Target;
    return &s_Target;
}
