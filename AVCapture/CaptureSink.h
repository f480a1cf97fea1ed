#ifndef AVCAPTURE_CAPTURESINK_H
#define AVCAPTURE_CAPTURESINK_H

// Where the camera object sends its packets and its recorder changes. The
// default forwards everything to CRecord::instance(); tests set their own.

#include "Function/types.h"
#include "Platform/MediaTypes.h"
#include "Platform/MpiTypes.h"

class CCaptureSink {
public:
    virtual ~CCaptureSink() = default;

    // The current sink (the recording engine until one is set).
    static CCaptureSink* instance();
    // Null goes back to the recording engine. Not owned.
    static void SetSink(CCaptureSink* lpSink);

    virtual BOOL Init(int fps, int gop, unsigned width, unsigned height);
    virtual BOOL CleanUp();
    // Capture thread: one stream with its description.
    virtual void IncommingPacket(void* stream, const tagChannelConfig* config);
    virtual BOOL PauseAllRecord(BOOL bFlushBuffer, BOOL bImmediately);
    virtual BOOL ResumeCommonRecord();
    virtual void SetRecordResolution(PIC_SIZE_E res, unsigned width, unsigned height);
    virtual void SetParkingMode(BOOL bParking);
    virtual BOOL GetParkingFlag();
};

#endif
