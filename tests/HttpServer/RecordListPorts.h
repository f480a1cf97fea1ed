#ifndef TESTS_HTTPSERVER_RECORDLISTPORTS_H
#define TESTS_HTTPSERVER_RECORDLISTPORTS_H

#include "Record/Record.h"
#include "tests/HttpServer/CameraWebRoles.h"

// The camera's bridges, with the lists of a recording engine of the
// caller's on a card that is always there.
class CRecordListPorts : public CCameraWebRoles {
public:
    explicit CRecordListPorts(CRecord* record) : m_lpRecord(record) {}
    emListBuild GetFileList(emRecFileType type, size_t largest, RecordListBytes& out) override
    {
        return m_lpRecord->GetFileList(type, largest, out);
    }
    int GetSDState() override { return emSDState_Insert | emSDState_Mount; }

private:
    CRecord* m_lpRecord;
};

#endif
