// The ISP tuning object of the camera (stand-in until the tuning classes
// exist: no object is made and a step does nothing).

#include "AVCapture/hi3516cv200/AVCapture.h"

BOOL CAVCapture::InitISPTuning()
{
    return TRUE;
}

BOOL CAVCapture::ISPTuning()
{
    return TRUE;
}

void CAVCapture::ReleaseISPTuning()
{
    m_lpISPTuning = nullptr;
}
