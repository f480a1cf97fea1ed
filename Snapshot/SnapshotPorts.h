#ifndef SNAPSHOT_SNAPSHOTPORTS_H
#define SNAPSHOT_SNAPSHOTPORTS_H

// What the snapshot side reaches outside itself of its own: the capture
// pipeline's JPEG descriptor, the GPS line and the recording engine's image
// index.

#include <cstddef>

#include "Function/RecTime.h"
#include "Function/types.h"
#include "PlayAudio/Prompts.h"
#include "Record/Index/AssociatedData.h"
#include "Roles/CardFiles.h"

class CSnapshotPorts {
public:
    virtual ~CSnapshotPorts() = default;

    // The pollable descriptor of logical capture channel `chn`; below 0 when
    // there is none yet.
    virtual int GetVEncFD(int chn) = 0;
    // The last GPS record line into buff; `length` gives the room and gets
    // the line's length. FALSE when there is no line.
    virtual BOOL GetGPSData(char* buff, unsigned* length) = 0;
    virtual BOOL AddAlarmImgIndex(const RECTIME& time, char type, int index, unsigned long size) = 0;
    // TRUE when the engine took the record.
    virtual BOOL SetAssociatedData(CAssociatedData* lpData) = 0;
};

// Everything the snapshot side needs, bound before Init: without ports there
// is no picture, without the card Init fails, without prompts none is heard.
typedef struct tagSnapshotRoles {
    CSnapshotPorts* ports;
    CCardFiles* card;
    CPrompts* prompts;
} SnapshotRoles;

#endif
