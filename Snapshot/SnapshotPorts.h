#ifndef SNAPSHOT_SNAPSHOTPORTS_H
#define SNAPSHOT_SNAPSHOTPORTS_H

// What the snapshot side reaches outside itself: the SD card, the capture
// pipeline's JPEG descriptor, the GPS line, the prompt player and the
// recording engine's image index. The process uses CSnapshotSystemPorts
// over the singletons; tests bring their own card, engine and GPS line.

#include <cstddef>

#include "Function/RecTime.h"
#include "Function/types.h"
#include "Periphery/SDManager.h"
#include "Record/Index/AssociatedData.h"

class CSnapshotPorts {
public:
    virtual ~CSnapshotPorts() = default;

    virtual BOOL RegisterSDStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv) = 0;
    virtual BOOL UnregisterSDStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv) = 0;
    // The card's mount folder with a trailing '/' (a device path).
    virtual BOOL GetSDMountPath(char* path, size_t size) = 0;
    // The pollable descriptor of logical capture channel `chn`; below 0 when
    // there is none yet.
    virtual int GetVEncFD(int chn) = 0;
    // The last GPS record line into buff; `length` gives the room and gets
    // the line's length. FALSE when there is no line.
    virtual BOOL GetGPSData(char* buff, unsigned* length) = 0;
    virtual void PlayPrompt(int index) = 0;
    virtual BOOL AddAlarmImgIndex(const RECTIME& time, char type, int index, unsigned long size) = 0;
    // TRUE when the engine took the record.
    virtual BOOL SetAssociatedData(CAssociatedData* lpData) = 0;
};

// The SD manager, the encoder's own descriptor, the GPS receiver's record
// line, the prompt log and the recording engine's singleton.
class CSnapshotSystemPorts : public CSnapshotPorts {
public:
    BOOL RegisterSDStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv) override;
    BOOL UnregisterSDStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv) override;
    BOOL GetSDMountPath(char* path, size_t size) override;
    int GetVEncFD(int chn) override;
    BOOL GetGPSData(char* buff, unsigned* length) override;
    void PlayPrompt(int index) override;
    BOOL AddAlarmImgIndex(const RECTIME& time, char type, int index, unsigned long size) override;
    BOOL SetAssociatedData(CAssociatedData* lpData) override;
};

#endif
