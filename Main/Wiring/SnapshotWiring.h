#ifndef MAIN_WIRING_SNAPSHOTWIRING_H
#define MAIN_WIRING_SNAPSHOTWIRING_H

#include "Snapshot/SnapshotPorts.h"

// The snapshot side's JPEG descriptor from the camera object, its GPS line
// from the receiver, its image index and alarm records in the recording
// engine.
class CCameraSnapshotPorts : public CSnapshotPorts {
public:
    int GetVEncFD(int chn) override;
    BOOL GetGPSData(char* buff, unsigned* length) override;
    BOOL AddAlarmImgIndex(const RECTIME& time, char type, int index, unsigned long size) override;
    BOOL SetAssociatedData(CAssociatedData* lpData) override;
};

#endif
