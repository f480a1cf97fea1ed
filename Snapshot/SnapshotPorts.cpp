#include "Snapshot/SnapshotPorts.h"

#include "AVCapture/hi3516cv200/AVCapture.h"
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

BOOL CSnapshotSystemPorts::GetGPSData(char*, unsigned*)
{
    return FALSE;  // no GPS reader in this build yet
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
