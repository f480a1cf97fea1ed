#include "Main/Wiring/CaptureWiring.h"

#include "AVCapture/hi3516cv200/AVCapture.h"
#include "Main/Wiring/CameraWiring.h"
#include "OSD/OSDManager.h"
#include "Record/Record.h"

BOOL CCameraCaptureSink::Init(int fps, int gop, unsigned width, unsigned height)
{
    return CRecord::instance()->Init(fps, gop, width, height);
}

BOOL CCameraCaptureSink::CleanUp()
{
    return CRecord::instance()->CleanUp();
}

void CCameraCaptureSink::IncommingPacket(void* stream, const tagChannelConfig* config)
{
    CRecord::instance()->IncommingPacket(stream, config);
}

void CCameraCaptureSink::SetRecordResolution(PIC_SIZE_E res, unsigned width, unsigned height)
{
    CRecord::instance()->SetRecordResolution(res, width, height);
}

void CCameraCaptureSink::SetParkingMode(BOOL bParking)
{
    CRecord::instance()->SetParkingMode(bParking);
}

BOOL CCameraCaptureOverlays::LayoutOSD(int chn)
{
    return COSDManager::instance()->LayoutOSD(chn);
}

BOOL CCameraCaptureOverlays::LayoutOSD()
{
    return COSDManager::instance()->LayoutOSD();
}

CaptureRoles CCameraWiring::ForCapture()
{
    return {&m_CaptureSink, &m_RecordControl, &m_CaptureOverlays, &m_Prompts, &m_Alarms, &m_FactoryState, &m_Settings};
}

void CCameraWiring::WireCapture()
{
    CAVCapture* capture = CAVCapture::instance();
    capture->Bind(ForCapture());
    // The speaker, microphone and run-time controls of the others reach it
    // from now on.
    m_Capture.Attach(capture);
}
