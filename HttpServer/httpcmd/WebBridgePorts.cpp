#include "HttpServer/httpcmd/WebBridgePorts.h"

#include "Periphery/I2CDevManager.h"

#include <atomic>

#include "AVCapture/CommAVCapture.h"
#include "AVCapture/hi3516cv200/AVCapture.h"
#include "FactoryTest/FactoryTest.h"
#include "Function/common.h"
#include "HttpServer/HttpConnection.h"
#include "IniConfig/IniConfig.h"
#include "OSD/OSDManager.h"
#include "Periphery/GPS.h"
#include "Periphery/SDManager.h"
#include "Record/Record.h"
#include "Snapshot/Snapshot.h"
#include "TCPComm/AppCommandPorts.h"

namespace {
std::atomic<CWebBridgePorts*> g_pPorts{nullptr};
}

void WebBridgeSetPorts(CWebBridgePorts* ports)
{
    g_pPorts = ports;
}

CWebBridgePorts* WebBridgePorts()
{
    CWebBridgePorts* p = g_pPorts.load();
    return p != nullptr ? p : CWebBridgeSystemPorts::instance();
}

emListBuild CWebBridgePorts::GetFileList(emRecFileType type, size_t largest, RecordListBytes& out)
{
    const auto build = [this, type](char* buf, int len) {
        switch (type) {
        case emRecFileType_AlarmVideo:
            return GetAlarmVideoFileAsJSON(buf, len);
        case emRecFileType_AlarmImage:
            return GetAlarmImgFileAsJSON(buf, len);
        case emRecFileType_CommonVideo:
            break;
        }
        return GetCommonVideoFileAsJson(buf, len);
    };
    return XBuildListBytes(build, HTTP_JSON_BUFFER_CAPACITY, largest, out);
}

CWebBridgeSystemPorts* CWebBridgeSystemPorts::instance()
{
    static CWebBridgeSystemPorts s_Ports;
    return &s_Ports;
}

int CWebBridgeSystemPorts::GetCommonVideoFileAsJson(char* buf, int len)
{
    return CRecord::instance()->GetCommonVideoFileAsJson(buf, len);
}

int CWebBridgeSystemPorts::GetAlarmVideoFileAsJSON(char* buf, int len)
{
    return CRecord::instance()->GetAlarmVideoFileAsJSON(buf, len);
}

int CWebBridgeSystemPorts::GetAlarmImgFileAsJSON(char* buf, int len)
{
    return CRecord::instance()->GetAlarmImgFileAsJSON(buf, len);
}

emListBuild CWebBridgeSystemPorts::GetFileList(emRecFileType type, size_t largest, RecordListBytes& out)
{
    return CRecord::instance()->GetFileList(type, largest, out);
}

BOOL CWebBridgeSystemPorts::DeleteCommonVideoFile(const char* name)
{
    return CRecord::instance()->DeleteCommonVideoFile(name);
}

BOOL CWebBridgeSystemPorts::DeleteAlarmVideoFile(const char* name)
{
    return CRecord::instance()->DeleteAlarmVideoFile(name);
}

BOOL CWebBridgeSystemPorts::DeleteAlarmImgFile(const char* name)
{
    return CRecord::instance()->DeleteAlarmImgFile(name);
}

BOOL CWebBridgeSystemPorts::CleanAllCommonVideoFile()
{
    return CRecord::instance()->CleanAllCommonVideoFile();
}

BOOL CWebBridgeSystemPorts::CleanAllAlarmVideoFile()
{
    return CRecord::instance()->CleanAllAlarmVideoFile();
}

BOOL CWebBridgeSystemPorts::CleanAllAlarmImgFile()
{
    return CRecord::instance()->CleanAllAlarmImgFile();
}

void CWebBridgeSystemPorts::GetTotalFileSize(uint64_t& common, uint64_t& alarm, uint64_t& image)
{
    CRecord::instance()->GetTotalFileSize(common, alarm, image);
}

void CWebBridgeSystemPorts::GetFileSpaceQuotaOnSD(unsigned& common, unsigned& alarm, unsigned& image)
{
    CRecord::instance()->GetFileSpaceQuotaOnSD(common, alarm, image);
}

BOOL CWebBridgeSystemPorts::SetFileSpaceQuotaOnSD(unsigned common, unsigned alarm, unsigned image)
{
    return CRecord::instance()->SetFileSpaceQuotaOnSD(common, alarm, image);
}

void CWebBridgeSystemPorts::PauseAllRecord(BOOL bFlush, BOOL bImmediately)
{
    CRecord::instance()->PauseAllRecord(bFlush, bImmediately);
}

void CWebBridgeSystemPorts::ResumeCommonRecord()
{
    CRecord::instance()->ResumeCommonRecord();
}

int CWebBridgeSystemPorts::GetGPSFileListAsJSON(char* buf, int len)
{
    return CGPS::instance()->GetGPSFileListAsJSON(buf, len);
}

int CWebBridgeSystemPorts::GetIniConfig(char* buf, int len)
{
    return CIniConfig::instance()->GetIniConfig(buf, len);
}

BOOL CWebBridgeSystemPorts::ForceRetest()
{
    return CFactoryTest::instance()->ForceRetest();
}

BOOL CWebBridgeSystemPorts::ForceTestDone()
{
    return CFactoryTest::instance()->ForceTestDone();
}

BOOL CWebBridgeSystemPorts::SetEnv(const char* name, const char* value)
{
    return CFactoryTest::instance()->SetEnv(name, value);
}

BOOL CWebBridgeSystemPorts::SaveEnvData()
{
    return CFactoryTest::instance()->SaveEnvData();
}

BOOL CWebBridgeSystemPorts::GetEnvValue(const char* name, std::string& value)
{
    return CFactoryTest::instance()->GetEnvValue(name, value);
}

int CWebBridgeSystemPorts::GetSDState()
{
    return CSDManager::instance()->GetSDSate();
}

BOOL CWebBridgeSystemPorts::GetDiskSpaceInfo(uint64_t* total, uint64_t* freeBytes)
{
    return CSDManager::instance()->GetDiskSpaceInfo(total, freeBytes);
}

int CWebBridgeSystemPorts::Format()
{
    return CSDManager::instance()->Format();
}

BOOL CWebBridgeSystemPorts::Capture(unsigned char* buf, unsigned* len)
{
    return CSnapshotManager::instance()->Capture(buf, len);
}

void CWebBridgeSystemPorts::PauseSnapshot()
{
    CSnapshotManager::instance()->PauseSnapshot();
}

BOOL CWebBridgeSystemPorts::ResumeSnapshot()
{
    return CSnapshotManager::instance()->ResumeSnapshot();
}

void CWebBridgeSystemPorts::PauseCapture()
{
    if (CCommAVCapture* capture = XCaptureControls()) {
        capture->PauseCapture();
    }
}

void CWebBridgeSystemPorts::ResumeCapture()
{
    if (CCommAVCapture* capture = XCaptureControls()) {
        capture->ResumeCapture();
    }
}

int CWebBridgeSystemPorts::GetCurExposureInfo(ISP_EXP_INFO_S* info, int* minexp, int* curdrc)
{
    CAVCapture* capture = dynamic_cast<CAVCapture*>(XCaptureControls());
    if (capture == nullptr) {
        return -1;
    }
    capture->GetCurExposureInfo(info, minexp, curdrc);
    return 0;
}

void CWebBridgeSystemPorts::GetDisplayGPSSpeedOSD(int& display)
{
    COSDManager::instance()->GetDisplayGPSSpeedOSD(display);
}

BOOL CWebBridgeSystemPorts::SetDisplayGPSSpeedOSD(int display)
{
    return COSDManager::instance()->SetDisplayGPSSpeedOSD(display);
}

BOOL CWebBridgeSystemPorts::StartVO()
{
    CCommAVCapture* capture = XCaptureControls();
    return capture != nullptr && capture->StartVO();
}

BOOL CWebBridgeSystemPorts::StopVO()
{
    CCommAVCapture* capture = XCaptureControls();
    return capture != nullptr && capture->StopVO();
}

BOOL CWebBridgeSystemPorts::GetLDCAttr(VI_LDC_ATTR_S* attr)
{
    CCommAVCapture* capture = XCaptureControls();
    return capture != nullptr && capture->GetLDCAttr(attr);
}

BOOL CWebBridgeSystemPorts::SetLDCAttr(const VI_LDC_ATTR_S* attr)
{
    CCommAVCapture* capture = XCaptureControls();
    return capture != nullptr && capture->SetLDCAttr(attr);
}

BOOL CWebBridgeSystemPorts::SetAEAttr(unsigned strategy)
{
    CCommAVCapture* capture = XCaptureControls();
    if (capture == nullptr) {
        return FALSE;
    }
    capture->SetAEAttr(static_cast<ISP_AE_STRATEGY_E>(strategy));
    return TRUE;
}

BOOL CWebBridgeSystemPorts::SetUseHighestContrastGamma(int use)
{
    CCommAVCapture* capture = XCaptureControls();
    if (capture == nullptr) {
        return FALSE;
    }
    capture->SetUseHighestContrastGamma(use);
    return TRUE;
}

BOOL CWebBridgeSystemPorts::FPNCalibrate()
{
    CCommAVCapture* capture = XCaptureControls();
    return capture != nullptr && capture->FPNCalibrate();
}

int CWebBridgeSystemPorts::TESTGetIRSensorParam(unsigned* init, unsigned* trigger, unsigned* cur,
                                                unsigned* max, unsigned* min)
{
    CI2CDevManager::instance()->TESTGetIRSensorParam(*init, *trigger, *cur, *max, *min);
    return 0;
}

int CWebBridgeSystemPorts::TESTSetIRSensorParam(unsigned init, unsigned trigger)
{
    return CI2CDevManager::instance()->TESTSetIRSensorParam(init, trigger);
}

int CWebBridgeSystemPorts::TESTCorrectIRSensor()
{
    return CI2CDevManager::instance()->TESTCorrectIRSensor();
}

int CWebBridgeSystemPorts::TESTGetGSensorParam(float* threshold)
{
    CI2CDevManager::instance()->TESTGetGSensorParam(*threshold);
    return 0;
}

int CWebBridgeSystemPorts::TESTSetGSensorParam(float threshold)
{
    return CI2CDevManager::instance()->TESTSetGSensorParam(threshold);
}

int CWebBridgeSystemPorts::GetAEGlobalHist5Statistics(void*, void*)
{
    return -1;  // this ISP has no zone statistics: nothing written
}

int CWebBridgeSystemPorts::GetVEncFD(int chn)
{
    CCommAVCapture* capture = XCaptureControls();
    return capture != nullptr ? capture->GetVEncFD(chn) : HI_MPI_VENC_GetFd(chn);
}

HI_S32 CWebBridgeSystemPorts::VencQuery(VENC_CHN chn, VENC_CHN_STAT_S* stat)
{
    return HI_MPI_VENC_Query(chn, stat);
}

HI_S32 CWebBridgeSystemPorts::VencGetStream(VENC_CHN chn, VENC_STREAM_S* stream, HI_S32 ms)
{
    return HI_MPI_VENC_GetStream(chn, stream, ms);
}

HI_S32 CWebBridgeSystemPorts::VencReleaseStream(VENC_CHN chn, VENC_STREAM_S* stream)
{
    return HI_MPI_VENC_ReleaseStream(chn, stream);
}

int CWebBridgeSystemPorts::ExecCommand2(const char* cmd, std::vector<std::string>& lines)
{
    return ::ExecCommand2(cmd, lines);
}

void CWebBridgeSystemPorts::SyncFS()
{
    ::SyncFS();
}
