#ifndef AVCAPTURE_HI3516CV200_AVCAPTURE_H
#define AVCAPTURE_HI3516CV200_AVCAPTURE_H

// The camera object of this SoC and the process-wide camera singleton: the
// sensor from the board's strap pins, the platform brought up in order
// (pools, sensor driver, MIPI receiver, ISP with its run thread, video input,
// processing group, resolution, encoders, audio, recording engine, ISP
// tuning, parking settings), the capture thread, and the tear-down.

#include "AVCapture/CommAVCapture.h"
#include "MultiTask/Singleton.h"

class CISPTuning;

class CAVCapture : public CCommAVCapture, public CSingleton<CAVCapture> {
public:
    CAVCapture();
    ~CAVCapture() override;

    BOOL Init() override;
    BOOL CleanUp() override;
    BOOL CalcPicVbBlkSize(VIDEO_NORM_E enNorm, PIC_SIZE_E enPicSize, PIXEL_FORMAT_E enPixFmt,
                          HI_U32 u32AlignWidth, unsigned& size) override;
    BOOL InitSDKVideoCache() override;
    BOOL InitImageSensor() override;
    BOOL CleanUpImageSensor() override;
    BOOL InitISP() override;
    BOOL CleanUpISP() override;
    BOOL ISPTuning() override;

    BOOL InitImageSensorType();
    BOOL InitMipi();
    BOOL GetVIDevAttr(VI_DEV_ATTR_S* attr);
    BOOL InitISPParam();
    BOOL InitISPTuning();
    // The tuning object's exposure report; zeros without one.
    void GetCurExposureInfo(ISP_EXP_INFO_S* info, int* minexp, int* curdrc);

protected:
    BOOL iInit();
    // Deletes the tuning object (process exit).
    void ReleaseISPTuning();

    ISP_WDR_MODE_S m_WdrMode;
    CISPTuning* m_lpISPTuning;
};

// The ISP run thread's body: HI_MPI_ISP_Run(0) until the ISP is shut down.
void* Test_ISP_Run(void* arg);

#endif
