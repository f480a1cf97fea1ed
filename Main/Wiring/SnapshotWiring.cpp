#include "Main/Wiring/SnapshotWiring.h"

#include <cstring>

#include "AVCapture/hi3516cv200/AVCapture.h"
#include "Main/Wiring/CameraWiring.h"
#include "Periphery/GPS.h"
#include "Record/Record.h"
#include "Snapshot/Snapshot.h"

int CCameraSnapshotPorts::GetVEncFD(int chn)
{
    return CAVCapture::instance()->GetVEncFD(chn);
}

BOOL CCameraSnapshotPorts::GetGPSData(char* buff, unsigned* length)
{
    char line[GPS_BUFF_SIZE];
    unsigned int n = 0;
    if (buff == nullptr || length == nullptr || !CGPS::instance()->GetGPSData(line, &n)) {
        return FALSE;
    }
    const unsigned room = *length;
    n = n < room ? n : room;
    memcpy(buff, line, n);
    if (n < room) {
        buff[n] = '\0';
    }
    *length = n;
    return TRUE;
}

BOOL CCameraSnapshotPorts::AddAlarmImgIndex(const RECTIME& time, char type, int index, unsigned long size)
{
    return CRecord::instance()->AddAlarmImgIndex(time, type, index, size);
}

BOOL CCameraSnapshotPorts::SetAssociatedData(CAssociatedData* lpData)
{
    return CRecord::instance()->SetAssociatedData(lpData);
}

SnapshotRoles CCameraWiring::ForSnapshots()
{
    return {&m_SnapshotPorts, &m_Card, &m_Prompts};
}

void CCameraWiring::WireSnapshots()
{
    CSnapshotManager::instance()->Bind(ForSnapshots());
}
