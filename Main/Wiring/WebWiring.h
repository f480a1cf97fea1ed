#ifndef MAIN_WIRING_WEBWIRING_H
#define MAIN_WIRING_WEBWIRING_H

#include "HttpServer/HttpEngineLinks.h"
#include "HttpServer/httpcmd/SubStreamSource.h"
#include "HttpServer/httpcmd/WebBridgePorts.h"

class CCameraCapture;

// The HTTP engine's links on the camera: the GET replies of process_get,
// the speed test's resume, encoder channel 1 through the bridges, the
// system's clock.
class CCameraEngineLinks : public CHttpEngineLinks {
public:
    void ReplyGet(connection* conn) override;
    void ResumeRecord() override;
    CHttpFrameSource* FrameSource() override { return &m_Source; }
    time_t WallTime() override;

private:
    CSubStreamSource m_Source;
};

// The web bridges' own parts on the camera: the lists of the recording
// engine and the GPS receiver, the factory retest, the snapshot manager's
// picture, and the image controls and encoder channel 1 of the camera
// object the capture roles are attached to (the controls fail without one;
// the channel is then reached through the media layer itself).
class CCameraWebBridgePorts : public CWebBridgePorts {
public:
    explicit CCameraWebBridgePorts(const CCameraCapture* lpCapture) : m_lpCapture(lpCapture) {}

    int GetCommonVideoFileAsJson(char* buf, int len) override;
    int GetAlarmVideoFileAsJSON(char* buf, int len) override;
    int GetAlarmImgFileAsJSON(char* buf, int len) override;
    emListBuild GetFileList(emRecFileType type, size_t largest, RecordListBytes& out) override;
    int GetGPSFileListAsJSON(char* buf, int len) override;
    BOOL ForceRetest() override;
    BOOL ForceTestDone() override;
    BOOL Capture(unsigned char* buf, unsigned* len) override;
    int GetCurExposureInfo(ISP_EXP_INFO_S* info, int* minexp, int* curdrc) override;
    BOOL GetLDCAttr(VI_LDC_ATTR_S* attr) override;
    BOOL SetLDCAttr(const VI_LDC_ATTR_S* attr) override;
    BOOL SetAEAttr(unsigned strategy) override;
    BOOL SetUseHighestContrastGamma(int use) override;
    BOOL FPNCalibrate() override;
    int GetAEGlobalHist5Statistics(void* stats, void* histThresh) override;
    int GetVEncFD(int chn) override;
    HI_S32 VencQuery(VENC_CHN chn, VENC_CHN_STAT_S* stat) override;
    HI_S32 VencGetStream(VENC_CHN chn, VENC_STREAM_S* stream, HI_S32 ms) override;
    HI_S32 VencReleaseStream(VENC_CHN chn, VENC_STREAM_S* stream) override;

private:
    const CCameraCapture* m_lpCapture;
};

#endif
