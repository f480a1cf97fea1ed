#ifndef TESTS_AVCAPTURE_ENGINESINK_H
#define TESTS_AVCAPTURE_ENGINESINK_H

#include "AVCapture/CaptureSink.h"
#include "Record/Record.h"
#include "Record/RecordControl.h"

// The capture's packets and recorder changes to an engine of the caller's own.
class CEngineSink : public CCaptureSink, public CRecordControl {
public:
    explicit CEngineSink(CRecord* lpRecord) : m_lpRecord(lpRecord) {}
    BOOL Init(int fps, int gop, unsigned width, unsigned height) override
    {
        return m_lpRecord->Init(fps, gop, width, height);
    }
    BOOL CleanUp() override { return m_lpRecord->CleanUp(); }
    void IncommingPacket(void* stream, const tagChannelConfig* config) override
    {
        m_lpRecord->IncommingPacket(stream, config);
    }
    BOOL PauseAllRecord(BOOL bFlushBuffer, BOOL bImmediately) override
    {
        return m_lpRecord->PauseAllRecord(bFlushBuffer, bImmediately);
    }
    BOOL ResumeCommonRecord() override { return m_lpRecord->ResumeCommonRecord(); }
    BOOL StopAllRecord(BOOL bFlushBuffer, BOOL bImmediately) override
    {
        return m_lpRecord->StopAllRecord(bFlushBuffer, bImmediately);
    }
    void SetRecordResolution(PIC_SIZE_E res, unsigned width, unsigned height) override
    {
        m_lpRecord->SetRecordResolution(res, width, height);
    }
    void SetParkingMode(BOOL bParking) override { m_lpRecord->SetParkingMode(bParking); }
    BOOL GetParkingFlag() override { return m_lpRecord->GetParkingFlag(); }

private:
    CRecord* m_lpRecord;
};

#endif
