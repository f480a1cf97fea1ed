#include "Snapshot/SnapshotPorts.h"

#include <cstring>

#include "AVCapture/hi3516cv200/AVCapture.h"
#include "Periphery/GPS.h"
#include "PlayAudio/PlayAudio.h"
#include "Record/Record.h"

BOOL CSnapshotSystemPorts::RegisterSDStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv)
{
    return CSDManager::instance()->RegisterSDStateCallback(fun, priv);
}

BOOL CSnapshotSystemPorts::UnregisterSDStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv)
{
    return CSDManager::instance()->UnregisterSDStateCallback(fun, priv);
}

BOOL CSnapshotSystemPorts::GetSDMountPath(char* path, size_t size)
{
    return CSDManager::instance()->GetSDMountPath(path, size);
}

int CSnapshotSystemPorts::GetVEncFD(int chn)
{
    return CAVCapture::instance()->GetVEncFD(chn);
}

BOOL CSnapshotSystemPorts::GetGPSData(char* buff, unsigned* length)
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

void CSnapshotSystemPorts::PlayPrompt(int index)
{
    CPlayAudio::instance()->PlayAudio(static_cast<pcm_index_t>(index));
}

BOOL CSnapshotSystemPorts::AddAlarmImgIndex(const RECTIME& time, char type, int index, unsigned long size)
{
    return CRecord::instance()->AddAlarmImgIndex(time, type, index, size);
}

BOOL CSnapshotSystemPorts::SetAssociatedData(CAssociatedData* lpData)
{
    return CRecord::instance()->SetAssociatedData(lpData);
}
