#include "Record/RecordFinisher.h"

#include <fcntl.h>
#include <unistd.h>

#include "Function/common.h"

BOOL XSaveRecordImage(const char* path, const uint8_t* data, uint32_t len, BOOL bSync)
{
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        XERROR("OPEN %s FAILED\n", path);
        return FALSE;
    }
    BOOL ok = FullWrite(fd, data, len) == static_cast<ssize_t>(len);
    if (ok && bSync && fsync(fd) != 0) {
        ok = FALSE;
    }
    if (close(fd) != 0) {
        ok = FALSE;
    }
    if (!ok) {
        XERROR("WRITE %s FAILED\n", path);
    }
    return ok;
}

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
