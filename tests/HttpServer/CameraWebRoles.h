#ifndef TESTS_HTTPSERVER_CAMERAWEBROLES_H
#define TESTS_HTTPSERVER_CAMERAWEBROLES_H

// Every part the web bridges reach, each call passed to the camera's own
// implementation as the composition root binds it: the base of the tests'
// fakes, which override what they record.

#include "HttpServer/httpcmd/WebBridges.h"
#include "Main/Wiring/CameraWiring.h"

class CCameraWebRoles : public CWebBridgePorts,
                        public CRecordControl,
                        public CRecordFiles,
                        public CSettings,
                        public CBootEnv,
                        public CCardFiles,
                        public CCardUpkeep,
                        public CSnapshotControl,
                        public CCaptureControls,
                        public CSpeedOverlay,
                        public CSensorTests,
                        public CShell {
public:
    CCameraWebRoles() : m_Camera(CCameraWiring::instance()->ForWeb()) {}

    // This object in every part.
    WebBridgeRoles Roles() { return {this, this, this, this, this, this, this, this, this, this, this, this}; }

    int GetCommonVideoFileAsJson(char* buf, int len) override { return m_Camera.ports->GetCommonVideoFileAsJson(buf, len); }
    int GetAlarmVideoFileAsJSON(char* buf, int len) override { return m_Camera.ports->GetAlarmVideoFileAsJSON(buf, len); }
    int GetAlarmImgFileAsJSON(char* buf, int len) override { return m_Camera.ports->GetAlarmImgFileAsJSON(buf, len); }
    emListBuild GetFileList(emRecFileType type, size_t largest, RecordListBytes& out) override
    {
        return m_Camera.ports->GetFileList(type, largest, out);
    }
    int GetGPSFileListAsJSON(char* buf, int len) override { return m_Camera.ports->GetGPSFileListAsJSON(buf, len); }
    BOOL ForceRetest() override { return m_Camera.ports->ForceRetest(); }
    BOOL ForceTestDone() override { return m_Camera.ports->ForceTestDone(); }
    BOOL Capture(unsigned char* buf, unsigned* len) override { return m_Camera.ports->Capture(buf, len); }
    int GetCurExposureInfo(ISP_EXP_INFO_S* info, int* minexp, int* curdrc) override
    {
        return m_Camera.ports->GetCurExposureInfo(info, minexp, curdrc);
    }
    BOOL GetLDCAttr(VI_LDC_ATTR_S* attr) override { return m_Camera.ports->GetLDCAttr(attr); }
    BOOL SetLDCAttr(const VI_LDC_ATTR_S* attr) override { return m_Camera.ports->SetLDCAttr(attr); }
    BOOL SetAEAttr(unsigned strategy) override { return m_Camera.ports->SetAEAttr(strategy); }
    BOOL SetUseHighestContrastGamma(int use) override { return m_Camera.ports->SetUseHighestContrastGamma(use); }
    BOOL FPNCalibrate() override { return m_Camera.ports->FPNCalibrate(); }
    int GetAEGlobalHist5Statistics(void* stats, void* histThresh) override
    {
        return m_Camera.ports->GetAEGlobalHist5Statistics(stats, histThresh);
    }
    int GetVEncFD(int chn) override { return m_Camera.ports->GetVEncFD(chn); }
    HI_S32 VencQuery(VENC_CHN chn, VENC_CHN_STAT_S* stat) override { return m_Camera.ports->VencQuery(chn, stat); }
    HI_S32 VencGetStream(VENC_CHN chn, VENC_STREAM_S* stream, HI_S32 ms) override
    {
        return m_Camera.ports->VencGetStream(chn, stream, ms);
    }
    HI_S32 VencReleaseStream(VENC_CHN chn, VENC_STREAM_S* stream) override
    {
        return m_Camera.ports->VencReleaseStream(chn, stream);
    }

    BOOL PauseAllRecord(BOOL bFlush, BOOL bNow) override { return m_Camera.record->PauseAllRecord(bFlush, bNow); }
    BOOL ResumeCommonRecord() override { return m_Camera.record->ResumeCommonRecord(); }
    BOOL StopAllRecord(BOOL bFlush, BOOL bNow) override { return m_Camera.record->StopAllRecord(bFlush, bNow); }
    BOOL GetParkingFlag() override { return m_Camera.record->GetParkingFlag(); }

    BOOL DeleteCommonVideoFile(const char* n) override { return m_Camera.files->DeleteCommonVideoFile(n); }
    BOOL DeleteAlarmVideoFile(const char* n) override { return m_Camera.files->DeleteAlarmVideoFile(n); }
    BOOL DeleteAlarmImgFile(const char* n) override { return m_Camera.files->DeleteAlarmImgFile(n); }
    BOOL CleanAllCommonVideoFile() override { return m_Camera.files->CleanAllCommonVideoFile(); }
    BOOL CleanAllAlarmVideoFile() override { return m_Camera.files->CleanAllAlarmVideoFile(); }
    BOOL CleanAllAlarmImgFile() override { return m_Camera.files->CleanAllAlarmImgFile(); }
    void GetTotalFileSize(uint64_t& c, uint64_t& a, uint64_t& i) override { m_Camera.files->GetTotalFileSize(c, a, i); }
    void GetFileSpaceQuotaOnSD(unsigned& c, unsigned& a, unsigned& i) override
    {
        m_Camera.files->GetFileSpaceQuotaOnSD(c, a, i);
    }
    BOOL SetFileSpaceQuotaOnSD(unsigned c, unsigned a, unsigned i) override
    {
        return m_Camera.files->SetFileSpaceQuotaOnSD(c, a, i);
    }

    int GetInt(const char* section, const char* key, int def) override { return m_Camera.settings->GetInt(section, key, def); }
    int GetGpsVoiceCfg() override { return m_Camera.settings->GetGpsVoiceCfg(); }
    int GetParkingVoiceCfg() override { return m_Camera.settings->GetParkingVoiceCfg(); }
    int GetSnapshotAssociateVideoCfg() override { return m_Camera.settings->GetSnapshotAssociateVideoCfg(); }
    int GetGestureCaptureCfg() override { return m_Camera.settings->GetGestureCaptureCfg(); }
    int GetGestureTriggerLevel() override { return m_Camera.settings->GetGestureTriggerLevel(); }
    int GetIniConfig(char* buf, int len) override { return m_Camera.settings->GetIniConfig(buf, len); }
    BOOL OpenFuncSetting() override { return m_Camera.settings->OpenFuncSetting(); }
    BOOL SaveFuncSetting() override { return m_Camera.settings->SaveFuncSetting(); }
    BOOL ResetIniConfig() override { return m_Camera.settings->ResetIniConfig(); }

    BOOL ReadEnvData() override { return m_Camera.env->ReadEnvData(); }
    BOOL GetEnvValue(const char* name, std::string& value) override { return m_Camera.env->GetEnvValue(name, value); }
    BOOL SetEnv(const char* name, const char* value) override { return m_Camera.env->SetEnv(name, value); }
    BOOL SaveEnvData() override { return m_Camera.env->SaveEnvData(); }

    int GetSDState() override { return m_Camera.card->GetSDState(); }
    BOOL GetSDMountPath(char* path, size_t size) override { return m_Camera.card->GetSDMountPath(path, size); }
    BOOL RegisterSDStateCallback(int (*fun)(int, void*), void* priv) override
    {
        return m_Camera.card->RegisterSDStateCallback(fun, priv);
    }
    BOOL UnregisterSDStateCallback(int (*fun)(int, void*), void* priv) override
    {
        return m_Camera.card->UnregisterSDStateCallback(fun, priv);
    }
    int CheckSDCard() override { return m_Camera.upkeep->CheckSDCard(); }
    void CheckSDCardFreeSpace() override { m_Camera.upkeep->CheckSDCardFreeSpace(); }
    BOOL GetDiskSpaceInfo(uint64_t* total, uint64_t* freeBytes) override
    {
        return m_Camera.upkeep->GetDiskSpaceInfo(total, freeBytes);
    }
    int Format() override { return m_Camera.upkeep->Format(); }
    void SetFormatStatusFlag(BOOL flag) override { m_Camera.upkeep->SetFormatStatusFlag(flag); }
    BOOL GetFormatStatusFlag() override { return m_Camera.upkeep->GetFormatStatusFlag(); }
    BOOL GetNoSpaceFlag() override { return m_Camera.upkeep->GetNoSpaceFlag(); }
    BOOL GetCardCheckFailed() override { return m_Camera.upkeep->GetCardCheckFailed(); }

    BOOL PauseSnapshot() override { return m_Camera.snapshots->PauseSnapshot(); }
    BOOL ResumeSnapshot() override { return m_Camera.snapshots->ResumeSnapshot(); }

    void PauseCapture() override { m_Camera.capture->PauseCapture(); }
    void ResumeCapture() override { m_Camera.capture->ResumeCapture(); }
    BOOL ResolutionSwitch(int mode) override { return m_Camera.capture->ResolutionSwitch(mode); }
    void SetParkingMonitoringEnable(int enable) override { m_Camera.capture->SetParkingMonitoringEnable(enable); }
    void SetParkingMonitoringTimeThreshold(unsigned threshold) override
    {
        m_Camera.capture->SetParkingMonitoringTimeThreshold(threshold);
    }
    BOOL StartVO() override { return m_Camera.capture->StartVO(); }
    BOOL StopVO() override { return m_Camera.capture->StopVO(); }

    void GetDisplayGPSSpeedOSD(int& display) override { m_Camera.speed->GetDisplayGPSSpeedOSD(display); }
    BOOL SetDisplayGPSSpeedOSD(int display) override { return m_Camera.speed->SetDisplayGPSSpeedOSD(display); }
    void ForceShowSpeed() override { m_Camera.speed->ForceShowSpeed(); }

    BOOL IRSensorActive() override { return m_Camera.sensors->IRSensorActive(); }
    BOOL GSensorActive() override { return m_Camera.sensors->GSensorActive(); }
    int TESTGetIRSensorParam(unsigned& init, unsigned& trigger, unsigned& cur, unsigned& max, unsigned& min) override
    {
        return m_Camera.sensors->TESTGetIRSensorParam(init, trigger, cur, max, min);
    }
    int TESTSetIRSensorParam(unsigned init, unsigned trigger) override
    {
        return m_Camera.sensors->TESTSetIRSensorParam(init, trigger);
    }
    int TESTCorrectIRSensor() override { return m_Camera.sensors->TESTCorrectIRSensor(); }
    int TESTGetGSensorParam(float& trigger) override { return m_Camera.sensors->TESTGetGSensorParam(trigger); }
    int TESTSetGSensorParam(float trigger) override { return m_Camera.sensors->TESTSetGSensorParam(trigger); }

    int RunCommand(const char* cmd) override { return m_Camera.shell->RunCommand(cmd); }
    int ExecCommand2(const char* cmd, std::vector<std::string>& lines) override
    {
        return m_Camera.shell->ExecCommand2(cmd, lines);
    }
    void SyncFS() override { m_Camera.shell->SyncFS(); }

private:
    WebBridgeRoles m_Camera;
};

// The bridges on the camera's own parts, as the root binds them.
inline void XBindCameraBridges()
{
    CWebBridges::instance()->Bind(CCameraWiring::instance()->ForWeb());
}

#endif
