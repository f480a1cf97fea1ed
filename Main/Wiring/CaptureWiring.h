#ifndef MAIN_WIRING_CAPTUREWIRING_H
#define MAIN_WIRING_CAPTUREWIRING_H

#include "AVCapture/CaptureOverlays.h"
#include "AVCapture/CaptureSink.h"

// The camera object's packets and recorder changes go to the recording
// engine; its layouts to the overlay manager.
class CCameraCaptureSink : public CCaptureSink {
public:
    BOOL Init(int fps, int gop, unsigned width, unsigned height) override;
    BOOL CleanUp() override;
    void IncommingPacket(void* stream, const tagChannelConfig* config) override;
    void SetRecordResolution(PIC_SIZE_E res, unsigned width, unsigned height) override;
    void SetParkingMode(BOOL bParking) override;
};

class CCameraCaptureOverlays : public CCaptureOverlays {
public:
    BOOL LayoutOSD(int chn) override;
    BOOL LayoutOSD() override;
};

#endif
