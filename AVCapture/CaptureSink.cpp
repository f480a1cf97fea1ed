#include "AVCapture/CaptureSink.h"

#include <atomic>

#include "Record/Record.h"

namespace {

std::atomic<CCaptureSink*> g_lpSink{nullptr};

}  // namespace

CCaptureSink* CCaptureSink::instance()
{
    static CCaptureSink record;
    CCaptureSink* sink = g_lpSink.load();
    return sink != nullptr ? sink : &record;
}

void CCaptureSink::SetSink(CCaptureSink* lpSink)
{
    g_lpSink.store(lpSink);
}

BOOL CCaptureSink::Init(int fps, int gop, unsigned width, unsigned height)
{
    return CRecord::instance()->Init(fps, gop, width, height);
}

BOOL CCaptureSink::CleanUp()
{
    return CRecord::instance()->CleanUp();
}

void CCaptureSink::IncommingPacket(void* stream, const tagChannelConfig* config)
{
    CRecord::instance()->IncommingPacket(stream, config);
}

BOOL CCaptureSink::PauseAllRecord(BOOL bFlushBuffer, BOOL bImmediately)
{
    return CRecord::instance()->PauseAllRecord(bFlushBuffer, bImmediately);
}

BOOL CCaptureSink::ResumeCommonRecord()
{
    return CRecord::instance()->ResumeCommonRecord();
}

void CCaptureSink::SetRecordResolution(PIC_SIZE_E res, unsigned width, unsigned height)
{
    CRecord::instance()->SetRecordResolution(res, width, height);
}

void CCaptureSink::SetParkingMode(BOOL bParking)
{
    CRecord::instance()->SetParkingMode(bParking);
}

BOOL CCaptureSink::GetParkingFlag()
{
    return CRecord::instance()->GetParkingFlag();
}
