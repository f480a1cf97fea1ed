// The ISP tuning object of the camera: one per detected sensor, made once
// and kept until the camera object goes at exit.

#include <string.h>

#include "AVCapture/hi3516cv200/AVCapture.h"
#include "AVCapture/hi3516cv200/Imx291Tuning.h"
#include "AVCapture/hi3516cv200/MN34227Tuning.h"

BOOL CAVCapture::InitISPTuning()
{
    if (m_lpISPTuning != nullptr) {
        return TRUE;  // a bring-up after a clean-up keeps the object
    }
    if (m_SensorMode == SONY_IMX290_MIPI) {
        m_lpISPTuning = new CImx291Tuning();
    } else {
        m_lpISPTuning = new CMN34227Tuning();
    }
    return m_lpISPTuning != nullptr;
}

BOOL CAVCapture::ISPTuning()
{
    if (m_lpISPTuning == nullptr) {
        return FALSE;
    }
    m_lpISPTuning->ISPTuning(m_bFlip.load() != 0, m_AeStrategy.load(), m_UseHighestContrastGamma.load() != 0);
    return TRUE;
}

void CAVCapture::GetCurExposureInfo(ISP_EXP_INFO_S* info, int* minexp, int* curdrc)
{
    if (m_lpISPTuning == nullptr) {
        memset(info, 0, sizeof(*info));
        *minexp = 0;
        *curdrc = 0;
        return;
    }
    m_lpISPTuning->GetCurExposureInfo(info, minexp, curdrc);
}

void CAVCapture::ReleaseISPTuning()
{
    delete m_lpISPTuning;
    m_lpISPTuning = nullptr;
}
