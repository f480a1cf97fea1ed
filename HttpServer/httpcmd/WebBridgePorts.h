#ifndef HTTPSERVER_HTTPCMD_WEBBRIDGEPORTS_H
#define HTTPSERVER_HTTPCMD_WEBBRIDGEPORTS_H

#include <cstdint>
#include <string>
#include <vector>

#include "Function/types.h"
#include "Platform/MpiIspTuning.h"
#include "Platform/MpiVenc.h"
#include "Platform/MpiVi.h"
#include "Record/RecordListCache.h"
#include "Record/RecordTypes.h"

// What the web bridges reach: the managers and encoder channel 1.
// CWebBridgeSystemPorts is the camera's; tests bring fakes.
class CWebBridgePorts {
public:
    virtual ~CWebBridgePorts() = default;

    // ---- recording engine ----
    virtual int GetCommonVideoFileAsJson(char* buf, int len) = 0;
    virtual int GetAlarmVideoFileAsJSON(char* buf, int len) = 0;
    virtual int GetAlarmImgFileAsJSON(char* buf, int len) = 0;
    // A category's list as shared bytes, at most `largest`. Here built anew
    // by the builder above in buffers of 2 MiB and up; the camera's comes
    // from the recording engine, built once per change of its index.
    virtual emListBuild GetFileList(emRecFileType type, size_t largest, RecordListBytes& out);
    virtual BOOL DeleteCommonVideoFile(const char* name) = 0;
    virtual BOOL DeleteAlarmVideoFile(const char* name) = 0;
    virtual BOOL DeleteAlarmImgFile(const char* name) = 0;
    virtual BOOL CleanAllCommonVideoFile() = 0;
    virtual BOOL CleanAllAlarmVideoFile() = 0;
    virtual BOOL CleanAllAlarmImgFile() = 0;
    virtual void GetTotalFileSize(uint64_t& common, uint64_t& alarm, uint64_t& image) = 0;
    virtual void GetFileSpaceQuotaOnSD(unsigned& common, unsigned& alarm, unsigned& image) = 0;
    virtual BOOL SetFileSpaceQuotaOnSD(unsigned common, unsigned alarm, unsigned image) = 0;
    virtual void PauseAllRecord(BOOL bFlush, BOOL bImmediately) = 0;
    virtual void ResumeCommonRecord() = 0;

    // ---- GPS, settings, boot environment, factory test ----
    virtual int GetGPSFileListAsJSON(char* buf, int len) = 0;
    virtual int GetIniConfig(char* buf, int len) = 0;
    virtual BOOL ForceRetest() = 0;
    virtual BOOL ForceTestDone() = 0;
    virtual BOOL SetEnv(const char* name, const char* value) = 0;
    virtual BOOL SaveEnvData() = 0;
    // A copy of the value taken under the store's lock; FALSE when unset.
    virtual BOOL GetEnvValue(const char* name, std::string& value) = 0;

    // ---- card ----
    virtual int GetSDState() = 0;
    virtual BOOL GetDiskSpaceInfo(uint64_t* total, uint64_t* freeBytes) = 0;
    virtual int Format() = 0;

    // ---- snapshots, capture, overlays, sensors ----
    virtual BOOL Capture(unsigned char* buf, unsigned* len) = 0;
    virtual void PauseSnapshot() = 0;
    virtual BOOL ResumeSnapshot() = 0;
    virtual void PauseCapture() = 0;
    virtual void ResumeCapture() = 0;
    virtual int GetCurExposureInfo(ISP_EXP_INFO_S* info, int* minexp, int* curdrc) = 0;
    virtual void GetDisplayGPSSpeedOSD(int& display) = 0;
    virtual BOOL SetDisplayGPSSpeedOSD(int display) = 0;
    virtual BOOL StartVO() = 0;
    virtual BOOL StopVO() = 0;
    virtual BOOL GetLDCAttr(VI_LDC_ATTR_S* attr) = 0;
    virtual BOOL SetLDCAttr(const VI_LDC_ATTR_S* attr) = 0;
    virtual BOOL SetAEAttr(unsigned strategy) = 0;
    virtual BOOL SetUseHighestContrastGamma(int use) = 0;
    virtual BOOL FPNCalibrate() = 0;
    virtual int TESTGetIRSensorParam(unsigned* init, unsigned* threshold, unsigned* cur, unsigned* max,
                                     unsigned* min) = 0;
    virtual int TESTSetIRSensorParam(unsigned init, unsigned threshold) = 0;
    virtual int TESTCorrectIRSensor() = 0;
    virtual int TESTGetGSensorParam(float* threshold) = 0;
    virtual int TESTSetGSensorParam(float threshold) = 0;
    // 15 x 17 zones x 5 bins of 16-bit counts, and 4 threshold bytes.
    virtual int GetAEGlobalHist5Statistics(void* stats, void* histThresh) = 0;

    // ---- encoder channel 1, shell, file system ----
    virtual int GetVEncFD(int chn) = 0;
    virtual HI_S32 VencQuery(VENC_CHN chn, VENC_CHN_STAT_S* stat) = 0;
    virtual HI_S32 VencGetStream(VENC_CHN chn, VENC_STREAM_S* stream, HI_S32 ms) = 0;
    virtual HI_S32 VencReleaseStream(VENC_CHN chn, VENC_STREAM_S* stream) = 0;
    virtual int ExecCommand2(const char* cmd, std::vector<std::string>& lines) = 0;
    virtual void SyncFS() = 0;
};

// The camera's managers as they are today: the parts not on this board yet
// (factory retest, the I2C sensor manager's IR and G-sensor controls) fail;
// capture controls fail while no camera object is running.
class CWebBridgeSystemPorts : public CWebBridgePorts {
public:
    static CWebBridgeSystemPorts* instance();

    int GetCommonVideoFileAsJson(char* buf, int len) override;
    int GetAlarmVideoFileAsJSON(char* buf, int len) override;
    int GetAlarmImgFileAsJSON(char* buf, int len) override;
    emListBuild GetFileList(emRecFileType type, size_t largest, RecordListBytes& out) override;
    BOOL DeleteCommonVideoFile(const char* name) override;
    BOOL DeleteAlarmVideoFile(const char* name) override;
    BOOL DeleteAlarmImgFile(const char* name) override;
    BOOL CleanAllCommonVideoFile() override;
    BOOL CleanAllAlarmVideoFile() override;
    BOOL CleanAllAlarmImgFile() override;
    void GetTotalFileSize(uint64_t& common, uint64_t& alarm, uint64_t& image) override;
    void GetFileSpaceQuotaOnSD(unsigned& common, unsigned& alarm, unsigned& image) override;
    BOOL SetFileSpaceQuotaOnSD(unsigned common, unsigned alarm, unsigned image) override;
    void PauseAllRecord(BOOL bFlush, BOOL bImmediately) override;
    void ResumeCommonRecord() override;
    int GetGPSFileListAsJSON(char* buf, int len) override;
    int GetIniConfig(char* buf, int len) override;
    BOOL ForceRetest() override;
    BOOL ForceTestDone() override;
    BOOL SetEnv(const char* name, const char* value) override;
    BOOL SaveEnvData() override;
    BOOL GetEnvValue(const char* name, std::string& value) override;
    int GetSDState() override;
    BOOL GetDiskSpaceInfo(uint64_t* total, uint64_t* freeBytes) override;
    int Format() override;
    BOOL Capture(unsigned char* buf, unsigned* len) override;
    void PauseSnapshot() override;
    BOOL ResumeSnapshot() override;
    void PauseCapture() override;
    void ResumeCapture() override;
    int GetCurExposureInfo(ISP_EXP_INFO_S* info, int* minexp, int* curdrc) override;
    void GetDisplayGPSSpeedOSD(int& display) override;
    BOOL SetDisplayGPSSpeedOSD(int display) override;
    BOOL StartVO() override;
    BOOL StopVO() override;
    BOOL GetLDCAttr(VI_LDC_ATTR_S* attr) override;
    BOOL SetLDCAttr(const VI_LDC_ATTR_S* attr) override;
    BOOL SetAEAttr(unsigned strategy) override;
    BOOL SetUseHighestContrastGamma(int use) override;
    BOOL FPNCalibrate() override;
    int TESTGetIRSensorParam(unsigned* init, unsigned* threshold, unsigned* cur, unsigned* max,
                             unsigned* min) override;
    int TESTSetIRSensorParam(unsigned init, unsigned threshold) override;
    int TESTCorrectIRSensor() override;
    int TESTGetGSensorParam(float* threshold) override;
    int TESTSetGSensorParam(float threshold) override;
    int GetAEGlobalHist5Statistics(void* stats, void* histThresh) override;
    int GetVEncFD(int chn) override;
    HI_S32 VencQuery(VENC_CHN chn, VENC_CHN_STAT_S* stat) override;
    HI_S32 VencGetStream(VENC_CHN chn, VENC_STREAM_S* stream, HI_S32 ms) override;
    HI_S32 VencReleaseStream(VENC_CHN chn, VENC_STREAM_S* stream) override;
    int ExecCommand2(const char* cmd, std::vector<std::string>& lines) override;
    void SyncFS() override;
};

// The ports the bridges use (null: the camera's).
void WebBridgeSetPorts(CWebBridgePorts* ports);
CWebBridgePorts* WebBridgePorts();

#endif
