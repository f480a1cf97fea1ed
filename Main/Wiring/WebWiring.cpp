#include "Main/Wiring/WebWiring.h"

#include "AVCapture/hi3516cv200/AVCapture.h"
#include "FactoryTest/FactoryTest.h"
#include "HttpServer/HttpServer.h"
#include "HttpServer/ProcessGet.h"
#include "HttpServer/httpcmd/HttpCmd.h"
#include "HttpServer/httpcmd/WebBridges.h"
#include "Main/Wiring/CameraWiring.h"
#include "Periphery/GPS.h"
#include "Record/Record.h"
#include "Snapshot/Snapshot.h"

void CCameraEngineLinks::ReplyGet(connection* conn)
{
    process_get(conn);
}

void CCameraEngineLinks::ResumeRecord()
{
    ResumeRecordForSpeedTest();
}

time_t CCameraEngineLinks::WallTime()
{
    return time(nullptr);
}

int CCameraWebBridgePorts::GetCommonVideoFileAsJson(char* buf, int len)
{
    return CRecord::instance()->GetCommonVideoFileAsJson(buf, len);
}

int CCameraWebBridgePorts::GetAlarmVideoFileAsJSON(char* buf, int len)
{
    return CRecord::instance()->GetAlarmVideoFileAsJSON(buf, len);
}

int CCameraWebBridgePorts::GetAlarmImgFileAsJSON(char* buf, int len)
{
    return CRecord::instance()->GetAlarmImgFileAsJSON(buf, len);
}

emListBuild CCameraWebBridgePorts::GetFileList(emRecFileType type, size_t largest, RecordListBytes& out)
{
    return CRecord::instance()->GetFileList(type, largest, out);
}

int CCameraWebBridgePorts::GetGPSFileListAsJSON(char* buf, int len)
{
    return CGPS::instance()->GetGPSFileListAsJSON(buf, len);
}

BOOL CCameraWebBridgePorts::ForceRetest()
{
    return CFactoryTest::instance()->ForceRetest();
}

BOOL CCameraWebBridgePorts::ForceTestDone()
{
    return CFactoryTest::instance()->ForceTestDone();
}

BOOL CCameraWebBridgePorts::Capture(unsigned char* buf, unsigned* len)
{
    return CSnapshotManager::instance()->Capture(buf, len);
}

int CCameraWebBridgePorts::GetCurExposureInfo(ISP_EXP_INFO_S* info, int* minexp, int* curdrc)
{
    return XOn(dynamic_cast<CAVCapture*>(m_lpCapture->Attached()), -1, [&](CAVCapture& c) {
        c.GetCurExposureInfo(info, minexp, curdrc);
        return 0;
    });
}

BOOL CCameraWebBridgePorts::GetLDCAttr(VI_LDC_ATTR_S* attr)
{
    return XOn(m_lpCapture->Attached(), FALSE, [&](CCommAVCapture& c) { return c.GetLDCAttr(attr); });
}

BOOL CCameraWebBridgePorts::SetLDCAttr(const VI_LDC_ATTR_S* attr)
{
    return XOn(m_lpCapture->Attached(), FALSE, [&](CCommAVCapture& c) { return c.SetLDCAttr(attr); });
}

BOOL CCameraWebBridgePorts::SetAEAttr(unsigned strategy)
{
    return XOn(m_lpCapture->Attached(), FALSE, [&](CCommAVCapture& c) {
        c.SetAEAttr(static_cast<ISP_AE_STRATEGY_E>(strategy));
        return TRUE;
    });
}

BOOL CCameraWebBridgePorts::SetUseHighestContrastGamma(int use)
{
    return XOn(m_lpCapture->Attached(), FALSE, [&](CCommAVCapture& c) {
        c.SetUseHighestContrastGamma(use);
        return TRUE;
    });
}

BOOL CCameraWebBridgePorts::FPNCalibrate()
{
    return XOn(m_lpCapture->Attached(), FALSE, [](CCommAVCapture& c) { return c.FPNCalibrate(); });
}

int CCameraWebBridgePorts::GetAEGlobalHist5Statistics(void*, void*)
{
    return -1;  // this ISP has no zone statistics: nothing written
}

int CCameraWebBridgePorts::GetVEncFD(int chn)
{
    CCommAVCapture* capture = m_lpCapture->Attached();
    return capture != nullptr ? capture->GetVEncFD(chn) : HI_MPI_VENC_GetFd(chn);
}

HI_S32 CCameraWebBridgePorts::VencQuery(VENC_CHN chn, VENC_CHN_STAT_S* stat)
{
    return HI_MPI_VENC_Query(chn, stat);
}

HI_S32 CCameraWebBridgePorts::VencGetStream(VENC_CHN chn, VENC_STREAM_S* stream, HI_S32 ms)
{
    return HI_MPI_VENC_GetStream(chn, stream, ms);
}

HI_S32 CCameraWebBridgePorts::VencReleaseStream(VENC_CHN chn, VENC_STREAM_S* stream)
{
    return HI_MPI_VENC_ReleaseStream(chn, stream);
}

WebBridgeRoles CCameraWiring::ForWeb()
{
    return {&m_WebPorts, &m_RecordControl, &m_RecordFiles,  &m_Settings,    CFactoryTest::instance(), &m_Card,
            &m_Card,     &m_SnapshotControl, &m_Capture, &m_SpeedOverlay, &m_SensorTests,          &m_Shell};
}

void CCameraWiring::WireWeb()
{
    CWebBridges::instance()->Bind(ForWeb());
    CHttpServer::instance()->Bind({&m_Card, &m_EngineLinks});
}
