#include "Main/Wiring/AlarmWiring.h"

#include "Alarm/AlarmConfigManager.h"
#include "Main/Wiring/CameraWiring.h"
#include "Record/Record.h"
#include "Snapshot/Snapshot.h"

BOOL CCameraAlarmRecordTarget::StartAlarmRecord(unsigned alarm, unsigned long type)
{
    return CRecord::instance()->StartAlarmRecord(alarm, type);
}

BOOL CCameraAlarmSnapshotTarget::Snapshot(int channel, int notify, unsigned long type)
{
    return CSnapshotManager::instance()->Snapshot(channel, notify, type);
}

AlarmTargets CCameraWiring::ForAlarms()
{
    return {&m_AlarmRecord, &m_AlarmSnapshot};
}

void CCameraWiring::WireAlarms()
{
    CAlarmConfigManager::instance()->Bind(ForAlarms());
}
