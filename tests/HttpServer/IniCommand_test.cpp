// The web command table behind "/ini.htm" over the engine and process_get,
// with a fake of the managers that records every call with its arguments:
// the rows, their bodies and heads, the reports read by Python's json, the
// refused values, and the lists too large for the shared buffer.
#include <stdarg.h>
#include <stdio.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Function/common.h"
#include "HttpServer/IniCommand.h"
#include "HttpServer/httpcmd/HttpCmd.h"
#include "HttpServer/httpcmd/WebBridgePorts.h"
#include "IniConfig/IniConfig.h"
#include "Periphery/SDManager.h"
#include "Record/PauseReasons.h"
#include "Record/Record.h"
#include "support/TestBoard.h"
#include "tests/HttpServer/CameraWebRoles.h"
#include "tests/HttpServer/HttpEngineFixture.h"

namespace {

const uint64_t kMiB = 1048576ULL;
const uint64_t kGiB = 1073741824ULL;

// Every port the table reaches, recorded as "Name(arg,...)". A name in
// `fail` makes that port fail.
class CIniPorts : public CCameraWebRoles {
public:
    std::set<std::string> fail;
    std::map<std::string, std::string> env = {{"devicesn", "SN0"}, {"devmodel", "C1"}};
    std::map<std::string, std::vector<std::string>> shell = {
        {"ifconfig wlan0 | grep -i Hwaddr", {"wlan0     Link encap:Ethernet  HWaddr 00:11:22:33:44:55  \n"}},
        {"iwconfig wlan0 | grep -i Signal", {"          Link Quality=70/70  Signal level=-45 dBm  Noise level=0\n"}},
    };
    std::string alarmImages = "{\"alarmimage\":[1]}";
    std::string commonVideos = "{\"commonvideo\":[2]}";
    std::string alarmVideos = "{\"alarmvideo\":[3]}";
    std::string gpsFiles = "{\"gps\":[4]}";
    std::string iniText = "[storageset]\ncommonvideoonsdquota=65\n";
    int sdState = emSDState_Insert | emSDState_Mount;
    uint64_t total = 0, freeBytes = 0, common = 0, alarm = 0, image = 0;
    unsigned quota[3] = {65, 30, 5};

    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> g(m_Lock);
        return m_Calls;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> g(m_Lock);
        m_Calls.clear();
    }

    int GetCommonVideoFileAsJson(char* buf, int len) override
    {
        return List("GetCommonVideoFileAsJson", commonVideos, buf, len);
    }
    int GetAlarmVideoFileAsJSON(char* buf, int len) override
    {
        return List("GetAlarmVideoFileAsJSON", alarmVideos, buf, len);
    }
    int GetAlarmImgFileAsJSON(char* buf, int len) override
    {
        return List("GetAlarmImgFileAsJSON", alarmImages, buf, len);
    }
    emListBuild GetFileList(emRecFileType type, size_t largest, RecordListBytes& out) override
    {
        return CWebBridgePorts::GetFileList(type, largest, out);
    }
    int GetGPSFileListAsJSON(char* buf, int len) override { return List("GetGPSFileListAsJSON", gpsFiles, buf, len); }
    int GetIniConfig(char* buf, int len) override
    {
        if (!Ok(Rec("GetIniConfig(%d)", len)) || static_cast<int>(iniText.size()) > len) {
            return -1;
        }
        memcpy(buf, iniText.data(), iniText.size());
        return static_cast<int>(iniText.size());
    }
    BOOL DeleteCommonVideoFile(const char* n) override { return Ok(Rec("DeleteCommonVideoFile(%s)", n)); }
    BOOL DeleteAlarmVideoFile(const char* n) override { return Ok(Rec("DeleteAlarmVideoFile(%s)", n)); }
    BOOL DeleteAlarmImgFile(const char* n) override { return Ok(Rec("DeleteAlarmImgFile(%s)", n)); }
    BOOL CleanAllCommonVideoFile() override { return Ok(Rec("CleanAllCommonVideoFile")); }
    BOOL CleanAllAlarmVideoFile() override { return Ok(Rec("CleanAllAlarmVideoFile")); }
    BOOL CleanAllAlarmImgFile() override { return Ok(Rec("CleanAllAlarmImgFile")); }
    void GetTotalFileSize(uint64_t& c, uint64_t& a, uint64_t& i) override
    {
        Rec("GetTotalFileSize");
        c = common;
        a = alarm;
        i = image;
    }
    void GetFileSpaceQuotaOnSD(unsigned& c, unsigned& a, unsigned& i) override
    {
        Rec("GetFileSpaceQuotaOnSD");
        c = quota[0];
        a = quota[1];
        i = quota[2];
    }
    BOOL SetFileSpaceQuotaOnSD(unsigned c, unsigned a, unsigned i) override
    {
        return Ok(Rec("SetFileSpaceQuotaOnSD(%u,%u,%u)", c, a, i));
    }
    BOOL PauseAllRecord(BOOL bFlush, BOOL bImmediately) override
    {
        Rec("PauseAllRecord(%d,%d)", bFlush, bImmediately);
        return TRUE;
    }
    BOOL ResumeCommonRecord() override
    {
        Rec("ResumeCommonRecord");
        return TRUE;
    }
    BOOL ForceRetest() override { return Ok(Rec("ForceRetest")); }
    BOOL ForceTestDone() override { return Ok(Rec("ForceTestDone")); }
    BOOL SetEnv(const char* name, const char* value) override
    {
        return Ok(Rec("SetEnv(%s,%s)", name, value != nullptr ? value : "null"));
    }
    BOOL SaveEnvData() override { return Ok(Rec("SaveEnvData")); }
    BOOL GetEnvValue(const char* name, std::string& value) override
    {
        const auto it = env.find(name);
        if (!Ok(Rec("GetEnvValue(%s)", name)) || it == env.end()) {
            return FALSE;
        }
        value = it->second;
        return TRUE;
    }
    int GetSDState() override
    {
        Rec("GetSDState");
        return sdState;
    }
    BOOL GetDiskSpaceInfo(uint64_t* t, uint64_t* f) override
    {
        if (!Ok(Rec("GetDiskSpaceInfo"))) {
            return FALSE;
        }
        *t = total;
        *f = freeBytes;
        return TRUE;
    }
    int Format() override { return Ok(Rec("Format")) ? 0 : -2; }
    BOOL PauseSnapshot() override
    {
        Rec("PauseSnapshot");
        return TRUE;
    }
    BOOL ResumeSnapshot() override { return Ok(Rec("ResumeSnapshot")); }
    void PauseCapture() override { Rec("PauseCapture"); }
    void ResumeCapture() override { Rec("ResumeCapture"); }
    int GetCurExposureInfo(ISP_EXP_INFO_S* info, int* minexp, int* curdrc) override
    {
        Rec("GetCurExposureInfo");
        info->u32ExpTime = 101;
        info->u32AGain = 102;
        info->u32DGain = 103;
        info->u32ISPDGain = 104;
        info->u32Exposure = 105;
        info->bExposureIsMAX = 1;
        for (unsigned i = 0; i < 255; ++i) {
            info->u32AE_Hist256Value[i] = 1000 + 7 * i;
        }
        info->u32AE_Hist256Value[255] = 4000000000u;
        for (unsigned i = 0; i < 5; ++i) {
            info->u16AE_Hist5Value[i] = static_cast<HI_U16>(60000 + i);
        }
        info->u8AveLum = 250;
        *minexp = -107;
        *curdrc = 108;
        return 0;
    }
    void GetDisplayGPSSpeedOSD(int& display) override
    {
        Rec("GetDisplayGPSSpeedOSD");
        display = 1;
    }
    BOOL SetDisplayGPSSpeedOSD(int display) override { return Ok(Rec("SetDisplayGPSSpeedOSD(%d)", display)); }
    BOOL StartVO() override { return Ok(Rec("StartVO")); }
    BOOL StopVO() override { return Ok(Rec("StopVO")); }
    BOOL GetLDCAttr(VI_LDC_ATTR_S* attr) override
    {
        if (!Ok(Rec("GetLDCAttr"))) {
            return FALSE;
        }
        attr->bEnable = 1;
        attr->stAttr.enViewType = LDC_VIEW_TYPE_CROP;
        attr->stAttr.s32CenterXOffset = -3;
        attr->stAttr.s32CenterYOffset = 4;
        attr->stAttr.s32Ratio = 200;
        return TRUE;
    }
    BOOL SetLDCAttr(const VI_LDC_ATTR_S* a) override
    {
        return Ok(Rec("SetLDCAttr(%d,%d,%d,%d,%d)", static_cast<int>(a->bEnable),
                      static_cast<int>(a->stAttr.enViewType),
                      a->stAttr.s32CenterXOffset, a->stAttr.s32CenterYOffset, a->stAttr.s32Ratio));
    }
    BOOL SetAEAttr(unsigned strategy) override { return Ok(Rec("SetAEAttr(%u)", strategy)); }
    BOOL SetUseHighestContrastGamma(int use) override { return Ok(Rec("SetUseHighestContrastGamma(%d)", use)); }
    // The capture object's calibration hook reports failure.
    BOOL FPNCalibrate() override
    {
        Rec("FPNCalibrate");
        return FALSE;
    }
    int TESTGetIRSensorParam(unsigned& init, unsigned& threshold, unsigned& cur, unsigned& max, unsigned& min) override
    {
        if (!Ok(Rec("TESTGetIRSensorParam"))) {
            return -1;
        }
        init = 1;
        threshold = 2;
        cur = 3;
        max = 4294967295u;
        min = 5;
        return 0;
    }
    int TESTSetIRSensorParam(unsigned init, unsigned threshold) override
    {
        return Ok(Rec("TESTSetIRSensorParam(%u,%u)", init, threshold)) ? 0 : -1;
    }
    int TESTCorrectIRSensor() override { return Ok(Rec("TESTCorrectIRSensor")) ? 0 : -1; }
    int TESTGetGSensorParam(float& threshold) override
    {
        if (!Ok(Rec("TESTGetGSensorParam"))) {
            return -1;
        }
        threshold = 1.23456f;
        return 0;
    }
    int TESTSetGSensorParam(float threshold) override
    {
        return Ok(Rec("TESTSetGSensorParam(%.3f)", static_cast<double>(threshold))) ? 0 : -1;
    }
    int GetAEGlobalHist5Statistics(void* stats, void* histThresh) override
    {
        Rec("GetAEGlobalHist5Statistics");
        HI_U16(*zones)[17][5] = static_cast<HI_U16(*)[17][5]>(stats);
        for (int r = 0; r < 15; ++r) {
            for (int c = 0; c < 17; ++c) {
                for (int b = 0; b < 5; ++b) {
                    zones[r][c][b] = static_cast<HI_U16>(r * 1000 + c * 10 + b + 1);
                }
            }
        }
        const HI_U8 thresholds[4] = {11, 22, 33, 255};
        memcpy(histThresh, thresholds, sizeof(thresholds));
        return 0;
    }
    int ExecCommand2(const char* cmd, std::vector<std::string>& lines) override
    {
        lines.clear();
        if (Ok(Rec("ExecCommand2(%s)", cmd)) && shell.count(cmd) != 0) {
            lines = shell[cmd];
        }
        return 0;
    }
    void SyncFS() override { Rec("SyncFS"); }

private:
    std::mutex m_Lock;
    std::vector<std::string> m_Calls;

    // Records the call; returns its name (the text before any '(').
    __attribute__((format(printf, 2, 3))) std::string Rec(const char* format, ...)
    {
        va_list ap;
        va_start(ap, format);
        std::vector<char> text(4096);
        vsnprintf(text.data(), text.size(), format, ap);
        va_end(ap);
        std::lock_guard<std::mutex> g(m_Lock);
        m_Calls.emplace_back(text.data());
        return m_Calls.back().substr(0, m_Calls.back().find('('));
    }
    bool Ok(const std::string& name) const { return fail.count(name) == 0; }
    // A list builder: -1 when the list does not fit or the card is not usable.
    int List(const char* name, const std::string& text, char* buf, int len)
    {
        const bool usable = (sdState & emSDState_Insert) != 0 && (sdState & emSDState_Mount) != 0;
        if (!Ok(Rec("%s(%d)", name, len)) || !usable || static_cast<int>(text.size()) + 1 > len) {
            return -1;
        }
        memcpy(buf, text.c_str(), text.size() + 1);
        return static_cast<int>(text.size());
    }
};

// The standard reply, built from its members.
std::string J(const std::string& name, int ret)
{
    return "{\"cmd\":\"" + name + "\",\"success\":" + (ret == 0 ? "true" : "false") + ",\"ret\":" +
           std::to_string(ret) + ",\"msg\":\"\"}";
}

std::string Joined(const std::vector<std::string>& calls)
{
    std::string s;
    for (const std::string& c : calls) {
        s += (s.empty() ? "" : " ") + c.substr(0, 200);
    }
    return s;
}

class IniCommandTest : public HttpEngineFixture {
protected:
    void SetUp() override
    {
        CPauseReasons::instance()->Reset();
        CWebBridges::instance()->Bind(m_Ports.Roles());
        HttpEngineFixture::SetUp();
    }
    void TearDown() override
    {
        HttpEngineFixture::TearDown();
        XBindCameraBridges();
        CPauseReasons::instance()->Reset();
    }
    XTestReply Send(int s, const std::string& method, const std::string& query)
    {
        XTestSend(s, method + " /ini.htm" + query + " HTTP/1.1\r\n\r\n");
        return XTestReadReply(s, method == "HEAD");
    }
    XTestReply Ini(const std::string& query, const std::string& method = "GET")
    {
        const int s = XTestConnect(m_nPort);
        EXPECT_GE(s, 0);
        const XTestReply r = Send(s, method, query);
        close(s);
        return r;
    }
    // One query: its body and Content-Length, and the calls it made.
    void Expect(const std::string& query, const std::vector<std::string>& calls, const std::string& body)
    {
        SCOPED_TRACE(query.substr(0, 120));
        m_Ports.Clear();
        const XTestReply r = Ini(query);
        ASSERT_TRUE(r.ok) << r.head;
        EXPECT_EQ(r.head.substr(0, 17), "HTTP/1.1 200 OK\r\n");
        EXPECT_NE(r.head.find("\r\nContent-Length: " + std::to_string(body.size()) + "\r\n"), std::string::npos)
            << r.head;
        EXPECT_EQ(r.body, body);
        EXPECT_EQ(Joined(m_Ports.Calls()), Joined(calls));
    }
    // The calls whose names start with `prefix`.
    std::vector<std::string> CallsOf(const std::string& prefix)
    {
        std::vector<std::string> out;
        for (const std::string& c : m_Ports.Calls()) {
            if (c.compare(0, prefix.size(), prefix) == 0) {
                out.push_back(c);
            }
        }
        return out;
    }
    static std::string Python(const std::string& args, const std::string& input)
    {
        char tmpl[] = "/tmp/ini-report-XXXXXX";
        const int fd = mkstemp(tmpl);
        if (fd < 0) {
            return "mkstemp failed";
        }
        const bool written = write(fd, input.data(), input.size()) == static_cast<ssize_t>(input.size());
        close(fd);
        std::string out = written ? XTestRun(std::string(DASHCAM_PYTHON) + " " + DASHCAM_SOURCE_DIR +
                                             "/tests/HttpServer/IniReports_check.py " + args + " < " + tmpl + " 2>&1")
                                  : "write failed";
        unlink(tmpl);
        while (!out.empty() && out.back() == '\n') {
            out.pop_back();
        }
        return out;
    }

    CIniPorts m_Ports;
};

struct tagIniCase {
    const char* query;  // after "/ini.htm"
    const char* fail;   // the port that fails, or null
    std::vector<std::string> calls;
    std::string body;
};

TEST_F(IniCommandTest, EveryRow)
{
    // The board only for the product JSON of the app channel.
    CTestBoard board;
    std::vector<char> product(4096);
    const int productLen = GetProductInfo(product.data(), static_cast<int>(product.size()));
    ASSERT_GT(productLen, 0);
    const std::string productJson(product.data(), static_cast<size_t>(productLen));
    ASSERT_EQ(productJson.front(), '{');

    const std::string mac = "ExecCommand2(ifconfig wlan0 | grep -i Hwaddr)";
    const std::string level = "ExecCommand2(iwconfig wlan0 | grep -i Signal)";
    const std::vector<std::string> pause = {"PauseAllRecord(0,1)", "PauseCapture", "PauseSnapshot", "SyncFS"};
    const std::vector<std::string> resume = {"ResumeCommonRecord", "ResumeCapture", "ResumeSnapshot"};
    const std::vector<tagIniCase> cases = {
        // no cmd: the raw target; unknown names, compared case-sensitively
        {"", nullptr, {}, "/ini.htm"},
        {"?x=1&y", nullptr, {}, "/ini.htm?x=1&y"},
        {"?cmd=nosuch", nullptr, {}, "US nosuch"},
        {"?cmd=", nullptr, {}, "US "},
        {"?cmd=PAUSERECORD", nullptr, {}, "US PAUSERECORD"},
        {"?cmd=FormatSD", nullptr, {}, "US FormatSD"},
        {"?xcmd=nosuch", nullptr, {}, "US nosuch"},  // a key ending in "cmd" matches
        // 1, 2
        {"?cmd=forcefactoryretest", nullptr, {"ForceRetest"}, "OK forcefactoryretest"},
        {"?cmd=forcefactoryretest", "ForceRetest", {"ForceRetest"}, "NG forcefactoryretest"},
        {"?cmd=forcefactoryretestdone", nullptr, {"ForceTestDone"}, "OK forcefactoryretestdone"},
        {"?cmd=forcefactoryretestdone", "ForceTestDone", {"ForceTestDone"}, "NG forcefactoryretestdone"},
        // 3: value missing deletes; "value" also matches inside "initvalue="
        {"?cmd=setdevicesn&value=SN1", nullptr, {"SetEnv(devicesn,SN1)", "SaveEnvData"}, "OK"},
        {"?cmd=setdevicesn", nullptr, {"SetEnv(devicesn,null)", "SaveEnvData"}, "OK"},
        {"?cmd=setdevicesn&value=", nullptr, {"SetEnv(devicesn,)", "SaveEnvData"}, "OK"},
        {"?cmd=setdevicesn&initvalue=7", nullptr, {"SetEnv(devicesn,7)", "SaveEnvData"}, "OK"},
        {"?cmd=setdevicesn&value=SN1", "SetEnv", {"SetEnv(devicesn,SN1)"}, "NG"},
        {"?cmd=setdevicesn&value=SN1", "SaveEnvData", {"SetEnv(devicesn,SN1)", "SaveEnvData"}, "NG"},
        // 4, 5, 6
        {"?cmd=getdevicesn", nullptr, {"GetEnvValue(devicesn)"}, "SN0"},
        {"?cmd=getdevicesn", "GetEnvValue", {"GetEnvValue(devicesn)"}, "unknow"},
        {"?cmd=getwifimac", nullptr, {mac}, "00:11:22:33:44:55  "},
        {"?cmd=getwifimac", "ExecCommand2", {mac}, "unknow"},
        {"?cmd=getwifisignallevel", nullptr, {level}, "-45 dBm"},
        {"?cmd=getwifisignallevel", "ExecCommand2", {level}, "unknow"},
        // 7
        {"?cmd=setubootenv&name=x&value=1&savetoflash=0", nullptr, {"SetEnv(x,1)"}, "OK setubootenv"},
        {"?cmd=setubootenv&name=x&savetoflash=0", nullptr, {"SetEnv(x,null)"}, "OK setubootenv"},
        {"?cmd=setubootenv&name=x&value=1", nullptr, {"SetEnv(x,1)", "SaveEnvData"}, "OK setubootenv"},
        {"?cmd=setubootenv&name=x&value=1&savetoflash=", nullptr, {"SetEnv(x,1)"}, "OK setubootenv"},
        {"?cmd=setubootenv&value=1", nullptr, {}, "NG setubootenv"},
        {"?cmd=setubootenv&name=x&value=1", "SetEnv", {"SetEnv(x,1)"}, "NG setubootenv"},
        {"?cmd=setubootenv&name=x&value=1", "SaveEnvData", {"SetEnv(x,1)", "SaveEnvData"}, "NG setubootenv"},
        // 8
        {"?cmd=getubootenv&name=devmodel", nullptr, {"GetEnvValue(devmodel)"}, "OK getubootenv\ndevmodel=C1"},
        {"?cmd=getubootenv&name=unset", nullptr, {"GetEnvValue(unset)"}, "NG getubootenv"},
        {"?cmd=getubootenv", nullptr, {}, "NG getubootenv"},
        // 9: non-zero strategy becomes 1
        {"?cmd=setaeattr&strategy=7", nullptr, {"SetAEAttr(1)"},
         "{\"cmd\":\"setaeattr\",\"success\":true,\"ret\":0,\"msg\":\"\"}"},
        {"?cmd=setaeattr&strategy=0", nullptr, {"SetAEAttr(0)"}, J("setaeattr", 0)},
        {"?cmd=setaeattr&strategy=", nullptr, {"SetAEAttr(0)"}, J("setaeattr", 0)},
        {"?cmd=setaeattr", nullptr, {}, "{\"cmd\":\"setaeattr\",\"success\":false,\"ret\":-1,\"msg\":\"\"}"},
        {"?cmd=setaeattr&strategy=1", "SetAEAttr", {"SetAEAttr(1)"}, J("setaeattr", -1)},
        // 10: answered under another name
        {"?cmd=usehighestcontrastgamma&use=1", nullptr, {"SetUseHighestContrastGamma(1)"},
         J("dayusehighestcontrastgamma", 0)},
        {"?cmd=usehighestcontrastgamma", nullptr, {}, J("dayusehighestcontrastgamma", -1)},
        // 11 to 18: the voice stubs
        {"?cmd=startvoicetrain&index=1&linkage=2&name=n", nullptr, {}, J("startvoicetrain", -1)},
        {"?cmd=startvoicetrain&index=1", nullptr, {}, J("startvoicetrain", -1)},
        {"?cmd=restartvoicetrain", nullptr, {}, J("restartvoicetrain", -1)},
        {"?cmd=continuevoicetrain", nullptr, {}, J("continuevoicetrain", -1)},
        {"?cmd=cancelvoicetrain", nullptr, {}, J("cancelvoicetrain", -1)},
        {"?cmd=cancelvoicetrain&continous=0", nullptr, {}, J("cancelvoicetrain", -1)},
        {"?cmd=voicetraindone", nullptr, {}, J("voicetraindone", -1)},
        {"?cmd=gethwvoicewakeupinfo", nullptr, {}, ""},
        {"?cmd=switchtotrainmode", nullptr, {},
         "{\"cmd\":\"switchtotrainmode\",\"success\":true,\"ret\":-1,\"msg\":\"\"}"},
        {"?cmd=switchtowakeupmode", nullptr, {},
         "{\"cmd\":\"switchtowakeupmode\",\"success\":true,\"ret\":-1,\"msg\":\"\"}"},
        // 19
        {"?cmd=getiniconfig", nullptr, {"GetIniConfig(2097152)"}, m_Ports.iniText},
        {"?cmd=getiniconfig", "GetIniConfig", {"GetIniConfig(2097152)"}, ""},
        // 20, 21
        {"?cmd=getldcattr", nullptr, {"GetLDCAttr"},
         "{\"cmd\":\"getldcattr\",\"success\":true,\"ret\":0,\"msg\":\"\",\"enableldc\":1,\"ldcviewtype\":1,"
         "\"xoffset\":-3,\"yoffset\":4,\"ratio\":200}"},
        {"?cmd=getldcattr", "GetLDCAttr", {"GetLDCAttr"},
         "{\"cmd\":\"getldcattr\",\"success\":false,\"ret\":-1,\"msg\":\"\",\"enableldc\":0,\"ldcviewtype\":0,"
         "\"xoffset\":0,\"yoffset\":0,\"ratio\":0}"},
        {"?cmd=setldcattr&enableldc=5&ldcviewtype=3&xoffset=-3&yoffset=4&ratio=200", nullptr,
         {"SetLDCAttr(1,1,-3,4,200)"}, J("setldcattr", 0)},
        {"?cmd=setldcattr&ratio=9&yoffset=0&xoffset=1&ldcviewtype=0&enableldc=0", nullptr, {"SetLDCAttr(0,0,1,0,9)"},
         J("setldcattr", 0)},
        {"?cmd=setldcattr&enableldc=1&ldcviewtype=1&xoffset=-3&yoffset=4", nullptr, {}, J("setldcattr", -1)},
        // 22 to 24, 33: the lists as built
        {"?cmd=alarmimagelist", nullptr, {"GetAlarmImgFileAsJSON(2097152)"}, m_Ports.alarmImages},
        {"?cmd=commonvideolist", nullptr, {"GetCommonVideoFileAsJson(2097152)"}, m_Ports.commonVideos},
        {"?cmd=alarmvideolist", nullptr, {"GetAlarmVideoFileAsJSON(2097152)"}, m_Ports.alarmVideos},
        {"?cmd=gpsdatalist", nullptr, {"GetGPSFileListAsJSON(2097152)"}, m_Ports.gpsFiles},
        // 25 to 27
        {"?cmd=deletealarmvideo&filename=a.mp4", nullptr, {"DeleteAlarmVideoFile(a.mp4)"}, "OK deletealarmvideo"},
        {"?cmd=deletealarmvideo&filename=a.mp4", "DeleteAlarmVideoFile", {"DeleteAlarmVideoFile(a.mp4)"},
         "NG deletealarmvideo"},
        {"?cmd=deletealarmvideo", nullptr, {}, "IW deletealarmvideo"},
        {"?cmd=deletecommonvideo&filename=c.mp4", nullptr, {"DeleteCommonVideoFile(c.mp4)"}, "OK deletecommonvideo"},
        {"?cmd=deletecommonvideo&filename=c.mp4", "DeleteCommonVideoFile", {"DeleteCommonVideoFile(c.mp4)"},
         "NG deletecommonvideo"},
        {"?cmd=deletecommonvideo", nullptr, {}, "IW deletecommonvideo"},
        {"?cmd=deletealarmimage&filename=i.jpg", nullptr, {"DeleteAlarmImgFile(i.jpg)"}, "OK deletealarmimage"},
        {"?cmd=deletealarmimage&filename=i.jpg", "DeleteAlarmImgFile", {"DeleteAlarmImgFile(i.jpg)"},
         "NG deletealarmimage"},
        {"?cmd=deletealarmimage", nullptr, {}, "IW deletealarmimage"},
        // 28 to 32
        {"?cmd=cleanallcommonvideofile", nullptr, {"CleanAllCommonVideoFile"}, J("cleanallcommonvideofile", 0)},
        {"?cmd=cleanallcommonvideofile", "CleanAllCommonVideoFile", {"CleanAllCommonVideoFile"},
         J("cleanallcommonvideofile", -1)},
        {"?cmd=cleanallalarmvideofile", nullptr, {"CleanAllAlarmVideoFile"}, J("cleanallalarmvideofile", 0)},
        {"?cmd=cleanallalarmimagefile", nullptr, {"CleanAllAlarmImgFile"}, J("cleanallalarmimagefile", 0)},
        {"?cmd=cleanallalarmimagefile", "CleanAllAlarmImgFile", {"CleanAllAlarmImgFile"},
         J("cleanallalarmimagefile", -1)},
        {"?cmd=fpncalibration", nullptr, {"FPNCalibrate"},
         "{\"cmd\":\"fpncalibration\",\"success\":false,\"ret\":-1,\"msg\":\"\"}"},
        {"?cmd=getproductinfo", nullptr, {}, productJson},
        // 34 to 38: one space before "minvalue"; the presets when the sensor fails
        {"?cmd=getirsensorparam", nullptr, {"TESTGetIRSensorParam"},
         "{\"initvalue\":1,\"threshold\":2,\"curvalue\":3,\"maxvalue\":4294967295, \"minvalue\":5}"},
        {"?cmd=getirsensorparam", "TESTGetIRSensorParam", {"TESTGetIRSensorParam"},
         "{\"initvalue\":0,\"threshold\":0,\"curvalue\":0,\"maxvalue\":0, \"minvalue\":65535}"},
        {"?cmd=setirsensorparam&initvalue=5&threshold=9", nullptr, {"TESTSetIRSensorParam(5,9)"},
         J("setirsensorparam", 0)},
        {"?cmd=setirsensorparam&threshold=9&initvalue=5", nullptr, {"TESTSetIRSensorParam(5,9)"},
         J("setirsensorparam", 0)},
        {"?cmd=setirsensorparam&initvalue=5&threshold=9", "TESTSetIRSensorParam", {"TESTSetIRSensorParam(5,9)"},
         J("setirsensorparam", -1)},
        {"?cmd=setirsensorparam&initvalue=5", nullptr, {}, J("setirsensorparam", -1)},
        {"?cmd=setirsensorparam&threshold=9", nullptr, {}, J("setirsensorparam", -1)},
        {"?cmd=correctirsensor", nullptr, {"TESTCorrectIRSensor"}, J("correctirsensor", 0)},
        {"?cmd=correctirsensor", "TESTCorrectIRSensor", {"TESTCorrectIRSensor"}, J("correctirsensor", -1)},
        {"?cmd=getgsensorparam", nullptr, {"TESTGetGSensorParam"}, "{\"threshold\":1.235}"},
        {"?cmd=getgsensorparam", "TESTGetGSensorParam", {"TESTGetGSensorParam"}, "{\"threshold\":0.000}"},
        {"?cmd=setgsensorparam&threshold=2.5", nullptr, {"TESTSetGSensorParam(2.500)"}, J("setgsensorparam", 0)},
        {"?cmd=setgsensorparam&threshold=2.5", "TESTSetGSensorParam", {"TESTSetGSensorParam(2.500)"},
         J("setgsensorparam", -1)},
        {"?cmd=setgsensorparam", nullptr, {}, J("setgsensorparam", -1)},
        // 39 and 42, 43 have tests of their own; 40, 41
        {"?cmd=setstoragequota&commonvideo=60&alarmvideo=30&alarmimage=10", nullptr,
         {"SetFileSpaceQuotaOnSD(60,30,10)"}, J("setstoragequota", 0)},
        {"?cmd=setstoragequota&commonvideo=60&alarmvideo=30&alarmimage=10", "SetFileSpaceQuotaOnSD",
         {"SetFileSpaceQuotaOnSD(60,30,10)"}, J("setstoragequota", -1)},
        {"?cmd=setstoragequota&commonvideo=60&alarmvideo=30", nullptr, {}, J("setstoragequota", -1)},
        {"?cmd=setstoragequota&alarmvideo=30&alarmimage=10", nullptr, {}, J("setstoragequota", -1)},
        {"?cmd=formatsd", nullptr, {"Format"}, J("formatsd", 0)},
        {"?cmd=formatsd", "Format", {"Format"}, J("formatsd", -2)},
        // 44 to 47
        {"?cmd=getosdinfo", nullptr, {"GetDisplayGPSSpeedOSD"},
         "{\"cmd\":\"getosdinfo\",\"success\":true,\"ret\":0,\"msg\":\"\",\"displayspeedosd\":1}"},
        {"?cmd=setosdinfo&displayspeedosd=1", nullptr, {"SetDisplayGPSSpeedOSD(1)"}, J("setosdinfo", 0)},
        {"?cmd=setosdinfo&displayspeedosd=0", "SetDisplayGPSSpeedOSD", {"SetDisplayGPSSpeedOSD(0)"},
         J("setosdinfo", -1)},
        {"?cmd=setosdinfo", nullptr, {}, J("setosdinfo", -1)},
        {"?cmd=enablecvbsoutput", nullptr, {"StartVO"}, J("enablecvbsoutput", 0)},
        {"?cmd=enablecvbsoutput", "StartVO", {"StartVO"}, J("enablecvbsoutput", -1)},
        {"?cmd=disablecvbsoutput", nullptr, {"StopVO"}, J("disablecvbsoutput", 0)},
        {"?cmd=disablecvbsoutput", "StopVO", {"StopVO"}, J("disablecvbsoutput", -1)},
        // 48, 49
        {"?cmd=PauseRecord", nullptr, pause, "OK"},
        {"?cmd=ResumeRecord", nullptr, resume, "OK"},
        {"?cmd=ResumeRecord", nullptr, resume, "OK"},  // resumes whatever is held
    };
    std::set<std::string> rows;
    for (const tagIniCase& c : cases) {
        m_Ports.fail.clear();
        if (c.fail != nullptr) {
            m_Ports.fail.insert(c.fail);
        }
        Expect(c.query, c.calls, c.body);
        const std::string q = c.query;
        if (q.compare(0, 5, "?cmd=") == 0) {
            rows.insert(q.substr(5, q.find('&') - 5));
        }
    }
    for (const char* own : {"getstorageinfo", "getexposureinfo", "getaeglobalhist5statistics"}) {
        rows.insert(own);
    }
    // every row of the table, with the four unknown names above
    EXPECT_EQ(rows.size(), 49u + 4u);
}

TEST_F(IniCommandTest, HeadLinesAndHeadRequests)
{
    const int s = XTestConnect(m_nPort);
    ASSERT_GE(s, 0);
    // HEAD runs the command and sends only the head
    XTestReply r = Send(s, "HEAD", "?cmd=PauseRecord");
    EXPECT_EQ(r.head.substr(0, 17), "HTTP/1.1 200 OK\r\n");
    EXPECT_NE(r.head.find("\r\nContent-Length: 2\r\n"), std::string::npos) << r.head;
    EXPECT_EQ(Joined(m_Ports.Calls()), "PauseAllRecord(0,1) PauseCapture PauseSnapshot SyncFS");
    // the next reply on the connection follows the head directly
    m_Ports.Clear();
    r = Send(s, "GET", "?cmd=ResumeRecord");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.head.substr(0, 17), "HTTP/1.1 200 OK\r\n");
    EXPECT_EQ(r.body, "OK");
    EXPECT_EQ(Joined(m_Ports.Calls()), "ResumeCommonRecord ResumeCapture ResumeSnapshot");
    close(s);

    // Date, Accept-Ranges, the keep-alive field, Content-Length,
    // Content-Type and Last-Modified, each ending in CR LF
    r = Ini("?cmd=nosuch");
    std::vector<std::string> lines;
    std::istringstream in(r.head);
    for (std::string line; std::getline(in, line);) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r');
        lines.push_back(line.substr(0, line.size() - 1));
    }
    ASSERT_EQ(lines.size(), 8u) << r.head;
    EXPECT_EQ(lines[0], "HTTP/1.1 200 OK");
    EXPECT_EQ(lines[1].substr(0, 6), "Date: ");
    EXPECT_EQ(lines[1].size(), 6u + 29u);
    EXPECT_EQ(lines[1].substr(lines[1].size() - 4), " GMT");
    EXPECT_EQ(lines[2], "Accept-Ranges: bytes");
    EXPECT_EQ(lines[3].substr(0, 12), "Keep-Alive: ");
    EXPECT_EQ(lines[4], "Content-Length: 9");
    EXPECT_EQ(lines[5], "Content-Type: text/html");
    EXPECT_EQ(lines[6].substr(0, 15), "Last-Modified: ");
    EXPECT_EQ(lines[6].size(), 15u + 29u);
    EXPECT_EQ(lines[7], "");

    // a closing request gets "Connection: close" in that place
    const int s2 = XTestConnect(m_nPort);
    XTestSend(s2, "GET /ini.htm?cmd=nosuch HTTP/1.0\r\n\r\n");
    const XTestReply c = XTestReadReply(s2);
    close(s2);
    EXPECT_NE(c.head.find("\r\nAccept-Ranges: bytes\r\nConnection: close\r\nContent-Length: 9\r\n"),
              std::string::npos)
        << c.head;
}

TEST_F(IniCommandTest, StorageReport)
{
    // no card: nothing known but the quotas
    m_Ports.sdState = 0;
    m_Ports.fail.insert("GetDiskSpaceInfo");
    Expect("?cmd=getstorageinfo", {"GetSDState", "GetDiskSpaceInfo", "GetTotalFileSize", "GetFileSpaceQuotaOnSD"},
           "{\"cmd\":\"getstorageinfo\",\"success\":true,\"ret\":0,\"msg\":\"\",\"sdstate\":0,\"totalspace\":\"0 B\","
           "\"freespace\":\"0 B\",\"commonvideoused\":\"[0.00%]0 B\",\"alarmvideoused\":\"[0.00%]0 B\","
           "\"amarmimageused\":\"[0.00%]0 B\",\"commonvideoquota\":65,\"alarmvideoquota\":30,"
           "\"alarmimagequota\":5}");

    m_Ports.fail.clear();
    m_Ports.sdState = emSDState_Insert | emSDState_Mount;
    m_Ports.total = 8 * kGiB;
    m_Ports.freeBytes = 6 * kGiB + 512 * kMiB;
    m_Ports.common = kGiB;
    m_Ports.alarm = 512 * kMiB;
    m_Ports.image = 1536 * 1024;  // 0.018 %
    m_Ports.quota[0] = 60;
    m_Ports.quota[1] = 30;
    m_Ports.quota[2] = 10;
    Expect("?cmd=getstorageinfo", {"GetSDState", "GetDiskSpaceInfo", "GetTotalFileSize", "GetFileSpaceQuotaOnSD"},
           "{\"cmd\":\"getstorageinfo\",\"success\":true,\"ret\":0,\"msg\":\"\",\"sdstate\":3,"
           "\"totalspace\":\"8.00 GB\","
           "\"freespace\":\"6.50 GB\",\"commonvideoused\":\"[12.50%]1.00 GB\",\"alarmvideoused\":\"[6.25%]512.00 MB\","
           "\"amarmimageused\":\"[0.02%]1.50 MB\",\"commonvideoquota\":60,\"alarmvideoquota\":30,"
           "\"alarmimagequota\":10}");
}

TEST_F(IniCommandTest, ExposureAndZoneReportsReadByJson)
{
    XTestReply r = Ini("?cmd=getexposureinfo");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(Joined(m_Ports.Calls()), "GetCurExposureInfo");
    EXPECT_EQ(Python("exposure", r.body), "ok") << r.body.substr(0, 400);
    // each histogram value in its own brackets, as text
    EXPECT_NE(r.body.find("\"hist256\":[[1000],[1007],[1014],"), std::string::npos);
    EXPECT_NE(r.body.find(",[2778],[4000000000]],\"hist5\":[[60000],[60001],[60002],[60003],[60004]]}"),
              std::string::npos);

    m_Ports.Clear();
    r = Ini("?cmd=getaeglobalhist5statistics");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(Joined(m_Ports.Calls()), "GetAEGlobalHist5Statistics");
    EXPECT_EQ(Python("zone", r.body), "ok") << r.body.substr(0, 400);
    const std::string start = "{\"cmd\":\"getaeglobalhist5statistics\",\"success\":true,\"ret\":0,\"msg\":\"\","
                              "\"hist5thresh\":[11,22,33,255],\"hist5_1\":[[1,11,21,";
    EXPECT_EQ(r.body.rfind(start, 0), 0u) << r.body.substr(0, 120);
    const std::string end = ",14155,14165]]}";
    ASSERT_GT(r.body.size(), end.size());
    EXPECT_EQ(r.body.substr(r.body.size() - end.size()), end);
}

TEST_F(IniCommandTest, RefusedValues)
{
    const std::string s63(63, 'f');
    const std::string s64(64, 'f');
    const std::string quota = "?cmd=setstoragequota&commonvideo=60&alarmimage=10&alarmvideo=";
    const std::string irInit = "?cmd=setirsensorparam&threshold=9&initvalue=";
    const std::string g = "?cmd=setgsensorparam&threshold=";
    struct tagRefused {
        std::string query;
        std::string body;
    };
    std::vector<tagRefused> refused;
    for (const char* v : {"-1", "101", "5000000000", "", "1e2", "5x", "+5", "0x10", "%205", "18446744073709551617"}) {
        refused.push_back({quota + v, J("setstoragequota", -1)});
    }
    refused.push_back({"?cmd=setstoragequota&commonvideo=-1&alarmvideo=30&alarmimage=10", J("setstoragequota", -1)});
    refused.push_back(
        {"?cmd=setstoragequota&commonvideo=60&alarmvideo=30&alarmimage=" + s64, J("setstoragequota", -1)});
    for (const char* v : {"nan", "NAN", "inf", "-inf", "-1", "0", "", "abc", "1e40", "1e39", "1e-50", "-0.001"}) {
        refused.push_back({g + v, J("setgsensorparam", -1)});
    }
    for (const char* v : {"65536", "-1", "1.5", "", "0x10", "99999999999", "4294967301"}) {
        refused.push_back({irInit + v, J("setirsensorparam", -1)});
        refused.push_back({std::string("?cmd=setirsensorparam&initvalue=5&threshold=") + v, J("setirsensorparam", -1)});
    }
    const std::vector<tagRefused> more = {
        // names the store cannot hold
        {"?cmd=setubootenv&name=a=b&value=v", "NG setubootenv"},
        {"?cmd=setubootenv&name=&value=v", "NG setubootenv"},
        {"?cmd=setubootenv&name=", "NG setubootenv"},
        {"?cmd=getubootenv&name=a=b", "NG getubootenv"},
        {"?cmd=getubootenv&name=", "NG getubootenv"},
        // values longer than their buffers: refused, never cut nor taken as missing
        {"?cmd=deletecommonvideo&filename=" + s64, "NG deletecommonvideo"},
        {"?cmd=deletealarmvideo&filename=" + s64, "NG deletealarmvideo"},
        {"?cmd=deletealarmimage&filename=" + s64, "NG deletealarmimage"},
        {"?cmd=setdevicesn&value=" + std::string(2552, '7'), "NG"},
        {"?cmd=setubootenv&name=x&value=" + std::string(2552, '7'), "NG setubootenv"},
        {"?cmd=setubootenv&name=x&value=1&savetoflash=" + std::string(64, '0'), "NG setubootenv"},
        {"?cmd=setubootenv&name=" + std::string(256, 'n') + "&value=1", "NG setubootenv"},
        {"?cmd=getubootenv&name=" + std::string(2552, 'n'), "NG getubootenv"},
        {"?cmd=setaeattr&strategy=" + std::string(64, '1'), J("setaeattr", -1)},
        {"?cmd=usehighestcontrastgamma&use=" + std::string(64, '1'), J("dayusehighestcontrastgamma", -1)},
        {"?cmd=setldcattr&enableldc=1&ldcviewtype=1&xoffset=1&yoffset=1&ratio=" + std::string(64, '1'),
         J("setldcattr", -1)},
        {"?cmd=setosdinfo&displayspeedosd=" + std::string(64, '1'), J("setosdinfo", -1)},
        {"?cmd=setgsensorparam&threshold=" + std::string(64, '1'), J("setgsensorparam", -1)},
        // a cmd too long for its buffer matches no row
        {"?cmd=" + s64, "US " + s64},
        {"?cmd=forcefactoryretest" + std::string(46, 'x'), "US forcefactoryretest" + std::string(46, 'x')},
        {"?cmd=PauseRecord&x=" + s64, "OK"},  // but a long other value does not hurt
    };
    refused.insert(refused.end(), more.begin(), more.end());
    for (const tagRefused& c : refused) {
        const bool pauses = c.query.compare(0, 16, "?cmd=PauseRecord") == 0;
        Expect(c.query, pauses ? std::vector<std::string>{"PauseAllRecord(0,1)", "PauseCapture", "PauseSnapshot",
                                                          "SyncFS"}
                               : std::vector<std::string>{},
               c.body);
    }

    // the longest values that fit are taken whole
    Expect("?cmd=deletecommonvideo&filename=" + s63, {"DeleteCommonVideoFile(" + s63 + ")"}, "OK deletecommonvideo");
    const std::string sn(2551, '7');
    Expect("?cmd=setdevicesn&value=" + sn, {"SetEnv(devicesn," + sn + ")", "SaveEnvData"}, "OK");
    const std::string name(255, 'n');
    Expect("?cmd=setubootenv&name=" + name + "&value=1&savetoflash=0", {"SetEnv(" + name + ",1)"}, "OK setubootenv");
    Expect(quota + "0", {"SetFileSpaceQuotaOnSD(60,0,10)"}, J("setstoragequota", 0));
    Expect(quota + "100", {"SetFileSpaceQuotaOnSD(60,100,10)"}, J("setstoragequota", 0));
    Expect(quota + "007", {"SetFileSpaceQuotaOnSD(60,7,10)"}, J("setstoragequota", 0));
    Expect("?cmd=setirsensorparam&initvalue=0&threshold=65535", {"TESTSetIRSensorParam(0,65535)"},
           J("setirsensorparam", 0));
    Expect(g + "0.001", {"TESTSetGSensorParam(0.001)"}, J("setgsensorparam", 0));
}

// The quotas through the camera's recorder and settings file.
TEST_F(IniCommandTest, RefusedQuotasLeaveTheSettingsFile)
{
    CTestBoard board;
    CIniConfig::instance()->OpenFuncSetting();
    unsigned before[3];
    CRecord::instance()->GetFileSpaceQuotaOnSD(before[0], before[1], before[2]);
    XBindCameraBridges();
    const auto file = [&] {
        std::ifstream f(board.Path("/root/system.ini"), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    };
    XTestReply r = Ini("?cmd=setstoragequota&commonvideo=60&alarmvideo=30&alarmimage=10");
    EXPECT_EQ(r.body, J("setstoragequota", 0));
    const std::string stored = file();
    const std::string ini = XTestRun(std::string(DASHCAM_PYTHON) +
                                     " -c 'import configparser,sys\n"
                                     "c = configparser.ConfigParser()\n"
                                     "c.read(sys.argv[1])\n"
                                     "s = c[\"storageset\"]\n"
                                     "print(s[\"commonvideoonsdquota\"], s[\"alarmvideoonsdquota\"], "
                                     "s[\"alarmimageonsdquota\"])' " +
                                     XShellQuote(board.Path("/root/system.ini")));
    EXPECT_EQ(ini, "60 30 10\n");
    for (const char* v : {"-1", "101", "5000000000", "", "1e2", "5x"}) {
        SCOPED_TRACE(v);
        r = Ini(std::string("?cmd=setstoragequota&commonvideo=50&alarmimage=20&alarmvideo=") + v);
        EXPECT_EQ(r.body, J("setstoragequota", -1));
        EXPECT_EQ(file(), stored);
        unsigned q[3];
        CRecord::instance()->GetFileSpaceQuotaOnSD(q[0], q[1], q[2]);
        EXPECT_EQ(q[0] * 10000 + q[1] * 100 + q[2], 603010u);
    }
    CRecord::instance()->SetFileSpaceQuotaOnSD(before[0], before[1], before[2]);
    CWebBridges::instance()->Bind(m_Ports.Roles());
}

TEST_F(IniCommandTest, ListsBeyondTheSharedBuffer)
{
    struct tagListRow {
        const char* cmd;
        const char* builder;
        std::string* text;
    };
    const std::vector<tagListRow> lists = {
        {"alarmimagelist", "GetAlarmImgFileAsJSON", &m_Ports.alarmImages},
        {"commonvideolist", "GetCommonVideoFileAsJson", &m_Ports.commonVideos},
        {"alarmvideolist", "GetAlarmVideoFileAsJSON", &m_Ports.alarmVideos},
        {"gpsdatalist", "GetGPSFileListAsJSON", &m_Ports.gpsFiles},
    };
    for (const tagListRow& l : lists) {
        SCOPED_TRACE(l.cmd);
        const std::string query = std::string("?cmd=") + l.cmd;
        const std::string builder = l.builder;
        // the builder's calls with these capacities
        const auto built = [&](const std::vector<int>& lengths) {
            std::vector<std::string> calls;
            for (int len : lengths) {
                calls.push_back(builder + "(" + std::to_string(len) + ")");
            }
            return Joined(calls);
        };
        // 3 MiB: rebuilt in a buffer of 4 MiB and sent whole
        *l.text = "[" + std::string(3 * kMiB, 'x') + "]";
        m_Ports.sdState = emSDState_Insert | emSDState_Mount;
        m_Ports.Clear();
        XTestReply r = Ini(query);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.head.substr(0, 17), "HTTP/1.1 200 OK\r\n");
        EXPECT_NE(r.head.find("\r\nContent-Length: " + std::to_string(l.text->size()) + "\r\n"), std::string::npos);
        EXPECT_TRUE(r.body == *l.text);
        EXPECT_EQ(Joined(CallsOf(builder)), built({2097152, 4194304}));

        // past 16 MiB: 500
        *l.text = std::string(17 * kMiB, 'x');
        m_Ports.Clear();
        r = Ini(query);
        EXPECT_EQ(r.head.substr(9, 3), "500");
        EXPECT_EQ(Joined(CallsOf(builder)), built({2097152, 4194304, 8388608, 16777216}));

        // no card: 200 with an empty body
        *l.text = "[" + std::string(3 * kMiB, 'x') + "]";
        m_Ports.sdState = emSDState_Insert;
        r = Ini(query);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.head.substr(0, 17), "HTTP/1.1 200 OK\r\n");
        EXPECT_NE(r.head.find("\r\nContent-Length: 0\r\n"), std::string::npos);
        EXPECT_EQ(r.body, "");
        *l.text = "[]";
    }
    // after the large lists the shared buffer serves the next command
    m_Ports.sdState = emSDState_Insert | emSDState_Mount;
    Expect("?cmd=commonvideolist", {"GetCommonVideoFileAsJson(2097152)"}, "[]");
}

// Straight on a connection, with no engine running: the shared buffer is
// made when missing, and the reply is left in it for the engine to send.
TEST(IniCommandBare, BuildsInTheSharedBuffer)
{
    if (httpd_json_buffer() != nullptr) {
        GTEST_SKIP() << "the shared buffer is held";
    }
    CIniPorts ports;
    CWebBridges::instance()->Bind(ports.Roles());
    connection conn;
    conn.url = "/ini.htm?cmd=setaeattr&strategy=7";
    process_ini_command(&conn);
    ASSERT_NE(httpd_json_buffer(), nullptr);
    const std::string body = J("setaeattr", 0);
    EXPECT_EQ(conn.http_code, 200);
    EXPECT_EQ(conn.reply, httpd_json_buffer());
    EXPECT_EQ(conn.reply_dont_free, 1);
    EXPECT_EQ(conn.reply_type, REPLY_GENERATED);
    EXPECT_EQ(conn.reply_start, 0);
    EXPECT_EQ(conn.reply_length, static_cast<off_t>(body.size()));
    EXPECT_EQ(conn.header_only, 0);
    EXPECT_EQ(std::string(conn.reply, body.size()), body);
    EXPECT_NE(conn.header.find("\r\nConnection: close\r\nContent-Length: 51\r\nContent-Type: text/html\r\n"),
              std::string::npos)
        << conn.header;
    EXPECT_EQ(Joined(ports.Calls()), "SetAEAttr(1)");
    XBindCameraBridges();
    deinit_exec_env();
}

}  // namespace
