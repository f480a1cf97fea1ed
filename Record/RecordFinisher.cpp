#include "Record/RecordFinisher.h"

#include "Function/common.h"

void XDeleteWaitingImages(const tagRecordFinishInfo& info)
{
    char name[RECORD_NAME_BUF_SIZE];
    if (info.bHasTitle && info.lpTitleName != nullptr &&
        info.lpTitleName->GetFileName(info.szTmpPath, nullptr, "JPG", FALSE, TRUE, name)) {
        XDeleteFile(name);
    }
    if (info.bHasThumbs && info.lpThumbName != nullptr &&
        info.lpThumbName->GetDirName(info.szTmpPath, TRUE, TRUE, name)) {
        XRemoveDirectory(name, 0);
    }
}

BOOL CRecordKeepFinisher::FinishRecordFile(tagRecordFinishInfo& info)
{
    XDeleteWaitingImages(info);
    XPutAssociatedDataList(info.lpAssociatedData);
    info.lpAssociatedData = nullptr;
    return FALSE;
}
