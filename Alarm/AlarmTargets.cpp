#include "Alarm/AlarmTargets.h"

#include "Record/Record.h"
#include "Snapshot/Snapshot.h"

namespace {

class CRecordAlarmTarget : public CAlarmRecordTarget {
public:
    BOOL StartAlarmRecord(unsigned alarm, unsigned long type) override
    {
        return CRecord::instance()->StartAlarmRecord(alarm, type);
    }
};

class CSnapshotAlarmTarget : public CAlarmSnapshotTarget {
public:
    BOOL Snapshot(int channel, int notify, unsigned long type) override
    {
        return CSnapshotManager::instance()->Snapshot(channel, notify, type);
    }
};

}  // namespace

CAlarmRecordTarget* XDefaultAlarmRecordTarget()
{
    static CRecordAlarmTarget s_Target;
    return &s_Target;
}

CAlarmSnapshotTarget* XDefaultAlarmSnapshotTarget()
{
    static CSnapshotAlarmTarget s_Target;
    return &s_Target;
}
