#include "Record/RecordCard.h"

BOOL CRecordSDCard::RegisterStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv)
{
    return CSDManager::instance()->RegisterSDStateCallback(fun, priv);
}

BOOL CRecordSDCard::UnregisterStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv)
{
    return CSDManager::instance()->UnregisterSDStateCallback(fun, priv);
}

BOOL CRecordSDCard::GetMountPath(char* path, size_t size)
{
    return CSDManager::instance()->GetSDMountPath(path, size);
}

BOOL CRecordSDCard::GetDiskSpaceInfo(uint64_t* total, uint64_t* freeBytes)
{
    return CSDManager::instance()->GetDiskSpaceInfo(total, freeBytes);
}

void CRecordSDCard::SetRecordClient(CSDRecordClient* client)
{
    CSDManager::instance()->SetRecordClient(client);
}
