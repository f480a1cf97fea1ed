#ifndef PERIPHERY_SDRECORDCLIENT_H
#define PERIPHERY_SDRECORDCLIENT_H

#include "Function/types.h"

// The recording engine as the SD card's free-space policy uses it. The engine
// registers itself with CSDManager::SetRecordClient; without one the policy
// does nothing.
class CSDRecordClient {
public:
    virtual ~CSDRecordClient() = default;

    // Non-zero while recording is paused or stopped.
    virtual int GetIsPauseRecord() = 0;
    // Trims alarm videos and images, oldest first, to their quotas.
    virtual BOOL CheckOverflowFile() = 0;
    // Deletes the oldest loop video with its title image and thumbnails;
    // 0 when there is none.
    virtual BOOL DeleteOldestCommonRecordFile() = 0;
    virtual BOOL StopAllRecord(BOOL bFlushBuffer, BOOL bImmediately) = 0;
};

#endif
