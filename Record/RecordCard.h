#ifndef RECORD_RECORDCARD_H
#define RECORD_RECORDCARD_H

// The SD card as the recording engine sees it: state callbacks, the mount
// folder and its space, and the free-space policy's hold on the engine. The
// process uses CRecordSDCard over CSDManager; tests and tools hand the engine
// a card of their own.

#include <cstddef>
#include <cstdint>

#include "Function/types.h"
#include "Periphery/SDManager.h"
#include "Periphery/SDRecordClient.h"

class CRecordCard {
public:
    virtual ~CRecordCard() = default;
    virtual BOOL RegisterStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv) = 0;
    virtual BOOL UnregisterStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv) = 0;
    // The device's mount folder with a trailing '/' ("/tmp/mmc0/"); 0 unless
    // the card is inserted and mounted.
    virtual BOOL GetMountPath(char* path, size_t size) = 0;
    virtual BOOL GetDiskSpaceInfo(uint64_t* total, uint64_t* freeBytes) = 0;
    virtual void SetRecordClient(CSDRecordClient* client) = 0;
};

// The process's card: CSDManager::instance().
class CRecordSDCard : public CRecordCard {
public:
    BOOL RegisterStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv) override;
    BOOL UnregisterStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv) override;
    BOOL GetMountPath(char* path, size_t size) override;
    BOOL GetDiskSpaceInfo(uint64_t* total, uint64_t* freeBytes) override;
    void SetRecordClient(CSDRecordClient* client) override;
};

#endif
