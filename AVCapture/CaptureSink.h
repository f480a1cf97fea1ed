#ifndef AVCAPTURE_CAPTURESINK_H
#define AVCAPTURE_CAPTURESINK_H

// Where the camera object sends its packets and its recorder changes (the
// recording engine on the camera).

#include "Function/types.h"
#include "Platform/MediaTypes.h"
#include "Platform/MpiTypes.h"

class CCaptureSink {
public:
    virtual ~CCaptureSink() = default;

    virtual BOOL Init(int fps, int gop, unsigned width, unsigned height) = 0;
    virtual BOOL CleanUp() = 0;
    // Capture thread: one stream with its description.
    virtual void IncommingPacket(void* stream, const tagChannelConfig* config) = 0;
    virtual void SetRecordResolution(PIC_SIZE_E res, unsigned width, unsigned height) = 0;
    virtual void SetParkingMode(BOOL bParking) = 0;
};

#endif
