#include "HttpServer/httpcmd/HttpCmd.h"

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <new>
#include <string>
#include <vector>

#include "HttpServer/httpcmd/WebBridges.h"
#include "Record/PauseReasons.h"

namespace {

int XOk(BOOL ok)
{
    return ok ? 0 : -1;
}

WebBridgeRoles XRoles()
{
    return CWebBridges::instance()->Roles();
}

// What `call` answers of the bridges' part `part`, or `missing` without one.
template <typename Role, typename R, typename Call>
R XAsk(Role* WebBridgeRoles::*part, R missing, Call call)
{
    Role* role = XRoles().*part;
    return role != nullptr ? call(*role) : missing;
}

void XPauseAll()
{
    const WebBridgeRoles r = XRoles();
    if (r.record != nullptr) {
        r.record->PauseAllRecord(FALSE, TRUE);
    }
    if (r.capture != nullptr) {
        r.capture->PauseCapture();
    }
    if (r.snapshots != nullptr) {
        r.snapshots->PauseSnapshot();
    }
    if (r.shell != nullptr) {
        r.shell->SyncFS();
    }
}

BOOL XResumeAll()
{
    const WebBridgeRoles r = XRoles();
    if (r.record != nullptr) {
        r.record->ResumeCommonRecord();
    }
    if (r.capture != nullptr) {
        r.capture->ResumeCapture();
    }
    return r.snapshots != nullptr && r.snapshots->ResumeSnapshot();
}

// The first line of a tool's output; false when it printed none.
bool XFirstLine(const char* cmd, std::string& line)
{
    std::vector<std::string> lines;
    XAsk(&WebBridgeRoles::shell, 0, [&](CShell& shell) { return shell.ExecCommand2(cmd, lines); });
    if (lines.empty()) {
        return false;
    }
    line = lines.front();
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    return true;
}

}  // namespace

int GetCommonVideoJson(char* buf, int len)
{
    return XAsk(&WebBridgeRoles::ports, -1, [&](CWebBridgePorts& p) { return p.GetCommonVideoFileAsJson(buf, len); });
}

int GetAlarmVideoJson(char* buf, int len)
{
    return XAsk(&WebBridgeRoles::ports, -1, [&](CWebBridgePorts& p) { return p.GetAlarmVideoFileAsJSON(buf, len); });
}

int GetAlarmJpgJson(char* buf, int len)
{
    return XAsk(&WebBridgeRoles::ports, -1, [&](CWebBridgePorts& p) { return p.GetAlarmImgFileAsJSON(buf, len); });
}

int GetGPSDataFileJson(char* buf, int len)
{
    return XAsk(&WebBridgeRoles::ports, -1, [&](CWebBridgePorts& p) { return p.GetGPSFileListAsJSON(buf, len); });
}

emListBuild GetRecordFileList(emRecFileType type, size_t largest, RecordListBytes& out)
{
    return XAsk(&WebBridgeRoles::ports, emListBuild_Refused,
                [&](CWebBridgePorts& p) { return p.GetFileList(type, largest, out); });
}

int GetIniConfig(char* buf, int len)
{
    return XAsk(&WebBridgeRoles::settings, -1, [&](CSettings& s) { return s.GetIniConfig(buf, len); });
}

int DeleteAlarmVideoFile(const char* filename)
{
    return XAsk(&WebBridgeRoles::files, -1, [&](CRecordFiles& f) { return XOk(f.DeleteAlarmVideoFile(filename)); });
}

int DeleteCommonVideoFile(const char* filename)
{
    return XAsk(&WebBridgeRoles::files, -1, [&](CRecordFiles& f) { return XOk(f.DeleteCommonVideoFile(filename)); });
}

int DeleteAlarmImageFile(const char* filename)
{
    return XAsk(&WebBridgeRoles::files, -1, [&](CRecordFiles& f) { return XOk(f.DeleteAlarmImgFile(filename)); });
}

int CleanAllCommonVideoFile()
{
    return XAsk(&WebBridgeRoles::files, -1, [](CRecordFiles& f) { return XOk(f.CleanAllCommonVideoFile()); });
}

int CleanAllAlarmVideoFile()
{
    return XAsk(&WebBridgeRoles::files, -1, [](CRecordFiles& f) { return XOk(f.CleanAllAlarmVideoFile()); });
}

int CleanAllAlarmImgFile()
{
    return XAsk(&WebBridgeRoles::files, -1, [](CRecordFiles& f) { return XOk(f.CleanAllAlarmImgFile()); });
}

int ForceFactoryTest()
{
    return XAsk(&WebBridgeRoles::ports, -1, [](CWebBridgePorts& p) { return XOk(p.ForceRetest()); });
}

int ForceFactoryTestDone()
{
    return XAsk(&WebBridgeRoles::ports, -1, [](CWebBridgePorts& p) { return XOk(p.ForceTestDone()); });
}

int SetUbootEnv(const char* name, const char* value, int save)
{
    return XAsk(&WebBridgeRoles::env, -1, [&](CBootEnv& env) {
        if (!env.SetEnv(name, value)) {
            return -1;
        }
        return save && !env.SaveEnvData() ? -2 : 0;
    });
}

const char* GetUbootEnv(const char* name)
{
    // Another thread's SetEnv moves the block: the value is copied under
    // the store's lock into storage of this bridge.
    static std::string s_Value;
    std::string value;
    const int found = XAsk(&WebBridgeRoles::env, 0, [&](CBootEnv& env) {
        return name != nullptr && env.GetEnvValue(name, value) ? 1 : 0;
    });
    if (!found) {
        return nullptr;
    }
    s_Value.swap(value);
    return s_Value.c_str();
}

int GetSDCardState()
{
    return XAsk(&WebBridgeRoles::card, 0, [](CCardFiles& c) { return c.GetSDState(); });
}

int GetSDInfo(int* state, uint64_t* totalspace, uint64_t* freespace)
{
    *state = GetSDCardState();
    return XAsk(&WebBridgeRoles::upkeep, -1,
                [&](CCardUpkeep& u) { return XOk(u.GetDiskSpaceInfo(totalspace, freespace)); });
}

int GetFileSize(uint64_t* commonvideo, uint64_t* alarmvideo, uint64_t* alarmimage)
{
    return XAsk(&WebBridgeRoles::files, -1, [&](CRecordFiles& f) {
        f.GetTotalFileSize(*commonvideo, *alarmvideo, *alarmimage);
        return 0;
    });
}

int GetFileSpaceQuotaOnSD(uint32_t* commonvideo, uint32_t* alarmvideo, uint32_t* alarmimage)
{
    return XAsk(&WebBridgeRoles::files, -1, [&](CRecordFiles& f) {
        unsigned c = 0;
        unsigned a = 0;
        unsigned i = 0;
        f.GetFileSpaceQuotaOnSD(c, a, i);
        *commonvideo = c;
        *alarmvideo = a;
        *alarmimage = i;
        return 0;
    });
}

int SetFileSpaceQuotaOnSD(uint32_t commonvideo, uint32_t alarmvideo, uint32_t alarmimage)
{
    return XAsk(&WebBridgeRoles::files, -1, [&](CRecordFiles& f) {
        return XOk(f.SetFileSpaceQuotaOnSD(commonvideo, alarmvideo, alarmimage));
    });
}

int FormatSD()
{
    return XAsk(&WebBridgeRoles::upkeep, -1, [](CCardUpkeep& u) { return u.Format(); });
}

int CaptureMainImage(char* buff, uint32_t* buff_len)
{
    unsigned len = *buff_len;
    const int r = XAsk(&WebBridgeRoles::ports, -1, [&](CWebBridgePorts& p) {
        return XOk(p.Capture(reinterpret_cast<unsigned char*>(buff), &len));
    });
    *buff_len = len;
    return r;
}

int GetExposureInfo(ISP_EXP_INFO_S* info, int* minexp, int* curdrc)
{
    return XAsk(&WebBridgeRoles::ports, -1,
                [&](CWebBridgePorts& p) { return p.GetCurExposureInfo(info, minexp, curdrc); });
}

int GetDisplaySpeedOSD(int* display)
{
    return XAsk(&WebBridgeRoles::speed, -1, [&](CSpeedOverlay& s) {
        s.GetDisplayGPSSpeedOSD(*display);
        return 0;
    });
}

int SetDisplaySpeedOSD(int display)
{
    return XAsk(&WebBridgeRoles::speed, -1, [&](CSpeedOverlay& s) { return XOk(s.SetDisplayGPSSpeedOSD(display)); });
}

int EnableCVBSOutput()
{
    return XAsk(&WebBridgeRoles::capture, -1, [](CCaptureControls& c) { return XOk(c.StartVO()); });
}

int DisableCVBSOutput()
{
    return XAsk(&WebBridgeRoles::capture, -1, [](CCaptureControls& c) { return XOk(c.StopVO()); });
}

int GetLDCAttr(VI_LDC_ATTR_S* attr)
{
    return XAsk(&WebBridgeRoles::ports, -1, [&](CWebBridgePorts& p) { return XOk(p.GetLDCAttr(attr)); });
}

int SetLDCAttr(VI_LDC_ATTR_S* attr)
{
    return XAsk(&WebBridgeRoles::ports, -1, [&](CWebBridgePorts& p) { return XOk(p.SetLDCAttr(attr)); });
}

int SetAEAttr(uint32_t strategy)
{
    return XAsk(&WebBridgeRoles::ports, -1, [&](CWebBridgePorts& p) { return XOk(p.SetAEAttr(strategy)); });
}

int SetUseHighestContrastGamma(int use)
{
    return XAsk(&WebBridgeRoles::ports, -1, [&](CWebBridgePorts& p) { return XOk(p.SetUseHighestContrastGamma(use)); });
}

int FPNCalibration()
{
    return XAsk(&WebBridgeRoles::ports, -1, [](CWebBridgePorts& p) { return XOk(p.FPNCalibrate()); });
}

int GetIRSensorParam(uint32_t* initvalue, uint32_t* threshold, uint32_t* curvalue, uint32_t* maxvalue,
                     uint32_t* minvalue)
{
    return XAsk(&WebBridgeRoles::sensors, -1, [&](CSensorTests& s) {
        return s.TESTGetIRSensorParam(*initvalue, *threshold, *curvalue, *maxvalue, *minvalue);
    });
}

int SetIRSensorParam(uint32_t initvalue, uint32_t threshold)
{
    return XAsk(&WebBridgeRoles::sensors, -1,
                [&](CSensorTests& s) { return s.TESTSetIRSensorParam(initvalue, threshold); });
}

int CorrectIRSensor()
{
    return XAsk(&WebBridgeRoles::sensors, -1, [](CSensorTests& s) { return s.TESTCorrectIRSensor(); });
}

int GetGSensorParam(float* threshold)
{
    return XAsk(&WebBridgeRoles::sensors, -1, [&](CSensorTests& s) { return s.TESTGetGSensorParam(*threshold); });
}

int SetGSensorParam(float threshold)
{
    return XAsk(&WebBridgeRoles::sensors, -1, [&](CSensorTests& s) { return s.TESTSetGSensorParam(threshold); });
}

int GetSubStreamEncFD()
{
    return XAsk(&WebBridgeRoles::ports, -1, [](CWebBridgePorts& p) { return p.GetVEncFD(1); });
}

int SwitchToTrainMode() { return -1; }
int SwitchToWakeupMode() { return -1; }
int StartVoiceTrain(int, const char*, uint32_t) { return -1; }
int ContinueVoiceTrain() { return -1; }
int RestartVoiceTrain() { return -1; }
int CancelVoiceTrain(int) { return -1; }
int VoiceTrainDone() { return -1; }
int GetHWVoiceWakeUpInfoAsJSON(char*, int*) { return -1; }

int GetAEGlobalHist5Statistics(void* stats, void* histThresh)
{
    return XAsk(&WebBridgeRoles::ports, -1,
                [&](CWebBridgePorts& p) { return p.GetAEGlobalHist5Statistics(stats, histThresh); });
}

int SetCSCAttr() { return -1; }
int GetCSCAttr() { return -1; }

void PauseRecord()
{
    printf("http cmd PauseRecord\n");
    CPauseReasons::instance()->Add(CPauseReasons::emPauseReason_HttpCommand, XPauseAll);
}

int ResumeRecord()
{
    printf("http cmd ResumeRecord\n");
    BOOL result = TRUE;
    CPauseReasons::instance()->Remove(CPauseReasons::emPauseReason_HttpCommand, [&result] { result = XResumeAll(); });
    return result;
}

void PauseRecordForSpeedTest()
{
    printf("http cmd PauseRecord\n");
    CPauseReasons::instance()->Add(CPauseReasons::emPauseReason_SpeedTest, XPauseAll);
}

void ResumeRecordForSpeedTest()
{
    printf("http cmd ResumeRecord\n");
    CPauseReasons::instance()->Remove(CPauseReasons::emPauseReason_SpeedTest, [] { XResumeAll(); });
}

const char* GetWifiMacStr()
{
    static std::string s_Mac;
    std::string line;
    if (!XFirstLine("ifconfig wlan0 | grep -i Hwaddr", line)) {
        return nullptr;
    }
    printf("cmdret %s\n", line.c_str());
    if (line.size() < 19) {
        return nullptr;
    }
    s_Mac = line.substr(line.size() - 19);
    return s_Mac.c_str();
}

const char* GetWifiSignalLevelStr()
{
    static std::string s_Level;
    std::string line;
    if (!XFirstLine("iwconfig wlan0 | grep -i Signal", line)) {
        return nullptr;
    }
    printf("cmdret %s\n", line.c_str());
    static const char kKey[] = "Signal level=";
    const size_t at = line.find(kKey);
    if (at == std::string::npos || line.size() - (at + sizeof(kKey) - 1) < 7) {
        return nullptr;
    }
    s_Level = line.substr(at + sizeof(kKey) - 1, 7);
    return s_Level.c_str();
}

namespace {

const int kSubStreamChn = 1;
std::vector<VENC_PACK_S> g_Packs;  // kept between calls, HTTP thread only
bool g_bSkipToIdr = false;         // a frame was dropped: the stream waits for an IDR

int XNalType(const VENC_PACK_S& pack)
{
    return pack.u32Len > 4 && pack.pu8Addr != nullptr ? pack.pu8Addr[4] : -1;
}

}  // namespace

int GetFrame(uint8_t* buff, int buff_len, int* idr)
{
    CWebBridgePorts* ports = XRoles().ports;
    VENC_CHN_STAT_S status;
    memset(&status, 0, sizeof(status));
    if (ports == nullptr || ports->VencQuery(kSubStreamChn, &status) != HI_SUCCESS || status.u32CurPacks == 0) {
        return 0;
    }
    if (g_Packs.size() < status.u32CurPacks) {
        try {
            g_Packs.resize(status.u32CurPacks);
        } catch (const std::bad_alloc&) {
            std::vector<VENC_PACK_S>().swap(g_Packs);
            return -1;
        }
    }
    VENC_STREAM_S stream;
    memset(&stream, 0, sizeof(stream));
    stream.pstPack = g_Packs.data();
    stream.u32PackCount = status.u32CurPacks;
    if (ports->VencGetStream(kSubStreamChn, &stream, 0) != HI_SUCCESS) {
        return 0;
    }
    if (buff == nullptr) {
        ports->VencReleaseStream(kSubStreamChn, &stream);
        return 1;
    }
    // What would be copied, and whether it holds an IDR slice.
    size_t need = 0;
    bool hasIdr = false;
    for (uint32_t i = 0; i < stream.u32PackCount; ++i) {
        const int type = XNalType(stream.pstPack[i]);
        if (type < 0 || type == 0x06) {
            continue;
        }
        need += stream.pstPack[i].u32Len;
        hasIdr = hasIdr || type == 0x65;
    }
    if (need > static_cast<size_t>(buff_len > 0 ? buff_len : 0) || (g_bSkipToIdr && !hasIdr)) {
        g_bSkipToIdr = true;
        ports->VencReleaseStream(kSubStreamChn, &stream);
        return 0;
    }
    g_bSkipToIdr = false;
    size_t total = 0;
    for (uint32_t i = 0; i < stream.u32PackCount; ++i) {
        const VENC_PACK_S& pack = stream.pstPack[i];
        const int type = XNalType(pack);
        if (type < 0 || type == 0x06) {
            continue;
        }
        memcpy(buff + total, pack.pu8Addr, pack.u32Len);
        total += pack.u32Len;
        if (type != 0x67 && type != 0x68 && idr != nullptr) {
            *idr = type == 0x65 ? 1 : 0;
        }
    }
    ports->VencReleaseStream(kSubStreamChn, &stream);
    return static_cast<int>(total);
}

int GetH264SubStreamData(char* buff, int buff_len, int init)
{
    uint8_t* out = reinterpret_cast<uint8_t*>(buff);
    if (!init) {
        return GetFrame(out, buff_len, nullptr);
    }
    // Drops what is queued (bounded: the encoder keeps producing).
    for (int i = 0; i < 2 * VENC_MAX_QUEUED_PICTURES && GetFrame(nullptr, 0, nullptr) > 0; ++i) {
    }
    int idr = 0;
    int len = 0;
    for (int tries = 0; !(len > 0 && idr); ++tries) {
        usleep(30000);
        if (tries >= 51) {
            return 0;
        }
        len = GetFrame(out, buff_len, &idr);
        if (len < 0) {
            return len;
        }
    }
    return len;
}
