#ifndef RECORD_RECORDFILES_H
#define RECORD_RECORDFILES_H

#include <cstdint>

#include "Function/types.h"

// The recorded files as the phone app manages them (web commands and the
// app channel): deletions, their sizes and the card quotas in percent.
class CRecordFiles {
public:
    virtual ~CRecordFiles() = default;

    virtual BOOL DeleteCommonVideoFile(const char* name) = 0;
    virtual BOOL DeleteAlarmVideoFile(const char* name) = 0;
    virtual BOOL DeleteAlarmImgFile(const char* name) = 0;
    virtual BOOL CleanAllCommonVideoFile() = 0;
    virtual BOOL CleanAllAlarmVideoFile() = 0;
    virtual BOOL CleanAllAlarmImgFile() = 0;
    virtual void GetTotalFileSize(uint64_t& common, uint64_t& alarm, uint64_t& image) = 0;
    virtual void GetFileSpaceQuotaOnSD(unsigned& common, unsigned& alarm, unsigned& image) = 0;
    virtual BOOL SetFileSpaceQuotaOnSD(unsigned common, unsigned alarm, unsigned image) = 0;
};

#endif
