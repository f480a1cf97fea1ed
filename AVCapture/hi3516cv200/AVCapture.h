#ifndef AVCAPTURE_HI3516CV200_AVCAPTURE_H
#define AVCAPTURE_HI3516CV200_AVCAPTURE_H

// The camera object of this SoC: block sizes with room for the processing's
// line data, and the buffer pools sized from the stream table.

#include "AVCapture/CommAVCapture.h"

class CAVCapture : public CCommAVCapture {
public:
    CAVCapture();
    ~CAVCapture() override;

    BOOL CalcPicVbBlkSize(VIDEO_NORM_E enNorm, PIC_SIZE_E enPicSize, PIXEL_FORMAT_E enPixFmt,
                          HI_U32 u32AlignWidth, unsigned& size) override;
    BOOL InitSDKVideoCache() override;

protected:
    ISP_WDR_MODE_S m_WdrMode;
};

#endif
