#ifndef TESTS_AVCAPTURE_AUDIOTESTCAPTURE_H
#define TESTS_AVCAPTURE_AUDIOTESTCAPTURE_H

// The common camera object with its audio member reachable, nothing else
// brought up.

#include "AVCapture/CommAVCapture.h"

class CAudioTestCapture : public CCommAVCapture {
public:
    BOOL Init() override { return FALSE; }
    BOOL CleanUp() override { return TRUE; }
    BOOL InitISP() override { return TRUE; }
    BOOL CleanUpISP() override { return TRUE; }
    BOOL ISPTuning() override { return TRUE; }
    void ThreadProc() override {}
    using CCommAVCapture::m_AudioCapture;
};

#endif
