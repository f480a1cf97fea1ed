#include "HttpServer/IniCommand.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <cfloat>
#include <cmath>
#include <string>

#include "HttpServer/HttpEngine.h"
#include "HttpServer/HttpRequest.h"
#include "HttpServer/IniReports.h"
#include "HttpServer/MemoryReply.h"
#include "HttpServer/httpcmd/HttpCmd.h"

namespace {

// Value buffers with their NUL.
const size_t kValueSize = 64;
const size_t kEnvNameSize = 256;
const size_t kLongValueSize = 2552;
// What the builders are given of the shared buffer.
const int kBodyCapacity = HTTP_JSON_BUFFER_CAPACITY;
const char kMime[] = "text/html";

enum emParam {
    emParam_Present,
    emParam_Missing,
    emParam_TooLong,  // refused: never cut and used
};

// One command being run: its target and the body built in the shared buffer.
struct tagIniRun {
    connection* conn;
    const char* url;
    const char* cmd;
    char* body;
    int length;    // below 0: empty body
    bool replied;  // the row made the reply itself
};

emParam XParam(const tagIniRun& run, const char* key, char* value, size_t capacity)
{
    const int r = parse_get_method_param_field(run.url, key, value, capacity);
    if (r == 0) {
        return emParam_Present;
    }
    value[0] = '\0';
    return r == -2 ? emParam_TooLong : emParam_Missing;
}

// An integer parameter (atoi) of a 64-byte buffer.
emParam XIntParam(const tagIniRun& run, const char* key, int* out)
{
    char value[kValueSize];
    const emParam p = XParam(run, key, value, sizeof(value));
    if (p == emParam_Present) {
        *out = atoi(value);
    }
    return p;
}

// A whole decimal number within [0, max]: digits only, nothing else.
emParam XBoundedParam(const tagIniRun& run, const char* key, long max, long* out, bool* valid)
{
    char value[kValueSize];
    const emParam p = XParam(run, key, value, sizeof(value));
    *valid = false;
    if (p != emParam_Present || value[0] == '\0' || strspn(value, "0123456789") != strlen(value)) {
        return p;
    }
    char* end = nullptr;
    const long v = strtol(value, &end, 10);
    if (end != nullptr && *end == '\0' && v >= 0 && v <= max) {
        *out = v;
        *valid = true;
    }
    return p;
}

void XText(tagIniRun& run, const char* format, ...) __attribute__((format(printf, 2, 3)));
void XText(tagIniRun& run, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    const int n = vsnprintf(run.body, kBodyCapacity, format, ap);
    va_end(ap);
    run.length = n >= 0 && n < kBodyCapacity ? n : -1;
}

// The standard reply of a command.
void XJson(tagIniRun& run, const char* name, int ret)
{
    XText(run, "{\"cmd\":\"%s\",\"success\":%s,\"ret\":%d,\"msg\":\"\"}", name, ret == 0 ? "true" : "false", ret);
}

void XJson(tagIniRun& run, int ret)
{
    XJson(run, run.cmd, ret);
}

// The standard reply with success written as true.
void XJsonTrue(tagIniRun& run, int ret)
{
    XText(run, "{\"cmd\":\"%s\",\"success\":true,\"ret\":%d,\"msg\":\"\"}", run.cmd, ret);
}

void XOkNg(tagIniRun& run, int result)
{
    XText(run, "%s", result >= 0 ? "OK" : "NG");
}

void XOkNgCmd(tagIniRun& run, int result)
{
    XText(run, "%s %s", result >= 0 ? "OK" : "NG", run.cmd);
}

// A builder's length, or the empty body.
void XBuilt(tagIniRun& run, int length)
{
    run.length = length >= 0 && length <= kBodyCapacity ? length : -1;
}

void XList(tagIniRun& run, int type, int (*build)(char*, int))
{
    reply_list(run.conn, type, build, kMime);
    run.replied = true;
}

// A variable name the store can hold: not empty, no '='.
bool XEnvName(const char* name)
{
    return name[0] != '\0' && strchr(name, '=') == nullptr;
}

void XForceRetest(tagIniRun& run) { XOkNgCmd(run, ForceFactoryTest()); }
void XForceRetestDone(tagIniRun& run) { XOkNgCmd(run, ForceFactoryTestDone()); }

void XSetDeviceSn(tagIniRun& run)
{
    char value[kLongValueSize];
    const emParam p = XParam(run, "value", value, sizeof(value));
    if (p == emParam_TooLong) {
        XOkNg(run, -1);
        return;
    }
    XOkNg(run, SetUbootEnv("devicesn", p == emParam_Present ? value : nullptr, 1));
}

void XGetDeviceSn(tagIniRun& run)
{
    const char* value = GetUbootEnv("devicesn");
    XText(run, "%s", value != nullptr ? value : "unknow");
}

void XGetWifiMac(tagIniRun& run)
{
    const char* mac = GetWifiMacStr();
    XText(run, "%s", mac != nullptr ? mac : "unknow");
}

void XGetWifiSignal(tagIniRun& run)
{
    const char* level = GetWifiSignalLevelStr();
    XText(run, "%s", level != nullptr ? level : "unknow");
}

void XSetUbootEnv(tagIniRun& run)
{
    char name[kEnvNameSize];
    char value[kLongValueSize];
    char save[kValueSize];
    int result = -1;
    if (XParam(run, "name", name, sizeof(name)) == emParam_Present && XEnvName(name)) {
        const emParam v = XParam(run, "value", value, sizeof(value));
        const emParam s = XParam(run, "savetoflash", save, sizeof(save));
        if (v != emParam_TooLong && s != emParam_TooLong) {
            result = SetUbootEnv(name, v == emParam_Present ? value : nullptr, s == emParam_Present ? atoi(save) : 1);
        }
    }
    XText(run, "%s setubootenv", result >= 0 ? "OK" : "NG");
}

void XGetUbootEnv(tagIniRun& run)
{
    char name[kLongValueSize];
    const char* value = nullptr;
    if (XParam(run, "name", name, sizeof(name)) == emParam_Present && XEnvName(name)) {
        value = GetUbootEnv(name);
    }
    if (value != nullptr) {
        XText(run, "OK getubootenv\n%s=%s", name, value);
    } else {
        XText(run, "NG getubootenv");
    }
}

void XSetAeAttr(tagIniRun& run)
{
    int strategy = 0;
    int ret = -1;
    if (XIntParam(run, "strategy", &strategy) == emParam_Present) {
        ret = SetAEAttr(strategy != 0 ? 1u : 0u);
    }
    XJson(run, ret);
}

void XUseHighestContrastGamma(tagIniRun& run)
{
    int use = 0;
    int ret = -1;
    if (XIntParam(run, "use", &use) == emParam_Present) {
        ret = SetUseHighestContrastGamma(use);
    } else {
        printf("get param 'use' failed[%s]\n", run.url);
    }
    XJson(run, "dayusehighestcontrastgamma", ret);
}

void XStartVoiceTrain(tagIniRun& run)
{
    int index = 0;
    int linkage = 0;
    char name[kValueSize];
    int ret = -1;
    if (XIntParam(run, "index", &index) != emParam_Present) {
        printf("get param 'index' failed[%s]\n", run.url);
    } else if (XIntParam(run, "linkage", &linkage) != emParam_Present) {
        printf("get param 'linkage' failed[%s]\n", run.url);
    } else if (XParam(run, "name", name, sizeof(name)) != emParam_Present) {
        printf("get param 'name' failed[%s]\n", run.url);
    } else {
        ret = StartVoiceTrain(index, name, static_cast<uint32_t>(linkage));
    }
    XJson(run, ret);
}

void XRestartVoiceTrain(tagIniRun& run) { XJson(run, RestartVoiceTrain()); }
void XContinueVoiceTrain(tagIniRun& run) { XJson(run, ContinueVoiceTrain()); }

void XCancelVoiceTrain(tagIniRun& run)
{
    int continous = 1;
    const emParam p = XIntParam(run, "continous", &continous);
    XJson(run, p == emParam_TooLong ? -1 : CancelVoiceTrain(continous));
}

void XVoiceTrainDone(tagIniRun& run) { XJson(run, VoiceTrainDone()); }

void XGetHwVoiceWakeUpInfo(tagIniRun& run)
{
    int len = kBodyCapacity;
    const int ret = GetHWVoiceWakeUpInfoAsJSON(run.body, &len);
    XBuilt(run, ret >= 0 ? len : -1);
}

void XSwitchToTrainMode(tagIniRun& run) { XJsonTrue(run, SwitchToTrainMode()); }
void XSwitchToWakeupMode(tagIniRun& run) { XJsonTrue(run, SwitchToWakeupMode()); }
void XGetIniConfig(tagIniRun& run) { XBuilt(run, GetIniConfig(run.body, kBodyCapacity)); }

void XGetLdcAttr(tagIniRun& run)
{
    VI_LDC_ATTR_S attr;
    memset(&attr, 0, sizeof(attr));
    const int ret = GetLDCAttr(&attr);
    XText(run,
          "{\"cmd\":\"getldcattr\",\"success\":%s,\"ret\":%d,\"msg\":\"\",\"enableldc\":%d,\"ldcviewtype\":%d,"
          "\"xoffset\":%d,\"yoffset\":%d,\"ratio\":%d}",
          ret == 0 ? "true" : "false", ret, static_cast<int>(attr.bEnable), static_cast<int>(attr.stAttr.enViewType),
          attr.stAttr.s32CenterXOffset, attr.stAttr.s32CenterYOffset, attr.stAttr.s32Ratio);
}

void XSetLdcAttr(tagIniRun& run)
{
    int enable = 0;
    int view = 0;
    int x = 0;
    int y = 0;
    int ratio = 0;
    int ret = -1;
    if (XIntParam(run, "enableldc", &enable) == emParam_Present &&
        XIntParam(run, "ldcviewtype", &view) == emParam_Present &&
        XIntParam(run, "xoffset", &x) == emParam_Present && XIntParam(run, "yoffset", &y) == emParam_Present &&
        XIntParam(run, "ratio", &ratio) == emParam_Present) {
        VI_LDC_ATTR_S attr;
        memset(&attr, 0, sizeof(attr));
        attr.bEnable = enable != 0 ? 1 : 0;
        attr.stAttr.enViewType = static_cast<LDC_VIEW_TYPE_E>(view != 0 ? 1 : 0);
        attr.stAttr.s32CenterXOffset = x;
        attr.stAttr.s32CenterYOffset = y;
        attr.stAttr.s32Ratio = ratio;
        ret = SetLDCAttr(&attr);
    }
    XJson(run, ret);
}

void XRecordList(tagIniRun& run, int type, emRecFileType kind)
{
    reply_record_list(run.conn, type, kind, kMime);
    run.replied = true;
}

void XAlarmImageList(tagIniRun& run) { XRecordList(run, HTTP_BUFFER_ALARM_JPG_JSON, emRecFileType_AlarmImage); }
void XCommonVideoList(tagIniRun& run) { XRecordList(run, HTTP_BUFFER_COMMON_VIDEO_JSON, emRecFileType_CommonVideo); }
void XAlarmVideoList(tagIniRun& run) { XRecordList(run, HTTP_BUFFER_ALARM_VIDEO_JSON, emRecFileType_AlarmVideo); }

void XDelete(tagIniRun& run, int (*remove)(const char*))
{
    char filename[kValueSize];
    switch (XParam(run, "filename", filename, sizeof(filename))) {
    case emParam_Missing:
        XText(run, "IW %s", run.cmd);
        break;
    case emParam_TooLong:
        XText(run, "NG %s", run.cmd);
        break;
    case emParam_Present:
        XText(run, "%s %s", remove(filename) < 0 ? "NG" : "OK", run.cmd);
        break;
    }
}

void XDeleteAlarmVideo(tagIniRun& run) { XDelete(run, DeleteAlarmVideoFile); }
void XDeleteCommonVideo(tagIniRun& run) { XDelete(run, DeleteCommonVideoFile); }
void XDeleteAlarmImage(tagIniRun& run) { XDelete(run, DeleteAlarmImageFile); }
void XCleanAllCommonVideo(tagIniRun& run) { XJson(run, CleanAllCommonVideoFile()); }
void XCleanAllAlarmVideo(tagIniRun& run) { XJson(run, CleanAllAlarmVideoFile()); }
void XCleanAllAlarmImage(tagIniRun& run) { XJson(run, CleanAllAlarmImgFile()); }
void XFpnCalibration(tagIniRun& run) { XJson(run, FPNCalibration()); }
void XGetProductInfo(tagIniRun& run) { XBuilt(run, GetProductInfo(run.body, kBodyCapacity)); }
void XGpsDataList(tagIniRun& run) { XList(run, HTTP_BUFFER_ORDINARY, GetGPSDataFileJson); }

void XGetIrSensorParam(tagIniRun& run)
{
    uint32_t init = 0;
    uint32_t threshold = 0;
    uint32_t cur = 0;
    uint32_t max = 0;
    uint32_t min = 65535;
    GetIRSensorParam(&init, &threshold, &cur, &max, &min);
    XText(run, "{\"initvalue\":%u,\"threshold\":%u,\"curvalue\":%u,\"maxvalue\":%u, \"minvalue\":%u}", init,
          threshold, cur, max, min);
}

void XSetIrSensorParam(tagIniRun& run)
{
    long init = 0;
    long threshold = 0;
    bool initOk = false;
    bool thresholdOk = false;
    int ret = -1;
    if (XBoundedParam(run, "initvalue", 65535, &init, &initOk) == emParam_Present && initOk &&
        XBoundedParam(run, "threshold", 65535, &threshold, &thresholdOk) == emParam_Present && thresholdOk) {
        printf("HTTP CMD[setirsensorparam(%u,%u)]\n", static_cast<unsigned>(init), static_cast<unsigned>(threshold));
        ret = SetIRSensorParam(static_cast<uint32_t>(init), static_cast<uint32_t>(threshold));
    }
    XJson(run, ret);
}

void XCorrectIrSensor(tagIniRun& run) { XJson(run, CorrectIRSensor()); }

void XGetGSensorParam(tagIniRun& run)
{
    float threshold = 0.0f;
    GetGSensorParam(&threshold);
    XText(run, "{\"threshold\":%.3f}", static_cast<double>(threshold));
}

void XSetGSensorParam(tagIniRun& run)
{
    printf("URL:%s\n", run.url);
    char value[kValueSize];
    int ret = -1;
    if (XParam(run, "threshold", value, sizeof(value)) == emParam_Present) {
        // Not a number, infinite, zero or below would end or flood the alarms;
        // beyond the float's range the narrowing itself is undefined.
        const double wide = atof(value);
        const float threshold = std::isfinite(wide) && wide > 0.0 && wide <= FLT_MAX ? static_cast<float>(wide) : 0.0f;
        if (threshold > 0.0f) {
            printf("HTTP CMD[setgsensorparam(%f)]\n", static_cast<double>(threshold));
            ret = SetGSensorParam(threshold);
        }
    }
    XJson(run, ret);
}

void XGetStorageInfo(tagIniRun& run) { XBuilt(run, XStorageReport(run.body, kBodyCapacity)); }

void XSetStorageQuota(tagIniRun& run)
{
    long common = 0;
    long alarm = 0;
    long image = 0;
    bool ok[3] = {false, false, false};
    int ret = -1;
    if (XBoundedParam(run, "commonvideo", 100, &common, &ok[0]) == emParam_Present && ok[0] &&
        XBoundedParam(run, "alarmvideo", 100, &alarm, &ok[1]) == emParam_Present && ok[1] &&
        XBoundedParam(run, "alarmimage", 100, &image, &ok[2]) == emParam_Present && ok[2]) {
        ret = SetFileSpaceQuotaOnSD(static_cast<uint32_t>(common), static_cast<uint32_t>(alarm),
                                    static_cast<uint32_t>(image));
    }
    XJson(run, ret);
}

void XFormatSd(tagIniRun& run)
{
    const int ret = FormatSD();
    printf("SD FORMAT DONE(ret=%d)...\n", ret);
    XJson(run, ret);
}

void XGetExposureInfo(tagIniRun& run) { XBuilt(run, XExposureReport(run.body, kBodyCapacity)); }
void XGetZoneHistogram(tagIniRun& run) { XBuilt(run, XZoneHistogramReport(run.body, kBodyCapacity)); }

void XGetOsdInfo(tagIniRun& run)
{
    int display = 0;
    GetDisplaySpeedOSD(&display);
    XText(run, "{\"cmd\":\"getosdinfo\",\"success\":true,\"ret\":0,\"msg\":\"\",\"displayspeedosd\":%d}", display);
}

void XSetOsdInfo(tagIniRun& run)
{
    int display = 0;
    int ret = -1;
    if (XIntParam(run, "displayspeedosd", &display) == emParam_Present) {
        ret = SetDisplaySpeedOSD(display);
    }
    XJson(run, ret);
}

void XEnableCvbs(tagIniRun& run) { XJson(run, EnableCVBSOutput()); }
void XDisableCvbs(tagIniRun& run) { XJson(run, DisableCVBSOutput()); }

void XPauseRecord(tagIniRun& run)
{
    PauseRecord();
    XText(run, "OK");
}

void XResumeRecord(tagIniRun& run)
{
    ResumeRecord();
    XText(run, "OK");
}

struct tagIniRow {
    const char* name;
    void (*run)(tagIniRun& run);
};

// Compared exactly, in this order.
const tagIniRow kIniCommands[] = {
    {"forcefactoryretest", XForceRetest},
    {"forcefactoryretestdone", XForceRetestDone},
    {"setdevicesn", XSetDeviceSn},
    {"getdevicesn", XGetDeviceSn},
    {"getwifimac", XGetWifiMac},
    {"getwifisignallevel", XGetWifiSignal},
    {"setubootenv", XSetUbootEnv},
    {"getubootenv", XGetUbootEnv},
    {"setaeattr", XSetAeAttr},
    {"usehighestcontrastgamma", XUseHighestContrastGamma},
    {"startvoicetrain", XStartVoiceTrain},
    {"restartvoicetrain", XRestartVoiceTrain},
    {"continuevoicetrain", XContinueVoiceTrain},
    {"cancelvoicetrain", XCancelVoiceTrain},
    {"voicetraindone", XVoiceTrainDone},
    {"gethwvoicewakeupinfo", XGetHwVoiceWakeUpInfo},
    {"switchtotrainmode", XSwitchToTrainMode},
    {"switchtowakeupmode", XSwitchToWakeupMode},
    {"getiniconfig", XGetIniConfig},
    {"getldcattr", XGetLdcAttr},
    {"setldcattr", XSetLdcAttr},
    {"alarmimagelist", XAlarmImageList},
    {"commonvideolist", XCommonVideoList},
    {"alarmvideolist", XAlarmVideoList},
    {"deletealarmvideo", XDeleteAlarmVideo},
    {"deletecommonvideo", XDeleteCommonVideo},
    {"deletealarmimage", XDeleteAlarmImage},
    {"cleanallcommonvideofile", XCleanAllCommonVideo},
    {"cleanallalarmvideofile", XCleanAllAlarmVideo},
    {"cleanallalarmimagefile", XCleanAllAlarmImage},
    {"fpncalibration", XFpnCalibration},
    {"getproductinfo", XGetProductInfo},
    {"gpsdatalist", XGpsDataList},
    {"getirsensorparam", XGetIrSensorParam},
    {"setirsensorparam", XSetIrSensorParam},
    {"correctirsensor", XCorrectIrSensor},
    {"getgsensorparam", XGetGSensorParam},
    {"setgsensorparam", XSetGSensorParam},
    {"getstorageinfo", XGetStorageInfo},
    {"setstoragequota", XSetStorageQuota},
    {"formatsd", XFormatSd},
    {"getexposureinfo", XGetExposureInfo},
    {"getaeglobalhist5statistics", XGetZoneHistogram},
    {"getosdinfo", XGetOsdInfo},
    {"setosdinfo", XSetOsdInfo},
    {"enablecvbsoutput", XEnableCvbs},
    {"disablecvbsoutput", XDisableCvbs},
    {"PauseRecord", XPauseRecord},
    {"ResumeRecord", XResumeRecord},
};

static_assert(sizeof(kIniCommands) / sizeof(kIniCommands[0]) == 49, "the web command table");

// The cmd value whole, for the reply to one too long for its buffer.
std::string XWholeValue(const char* url, const char* key)
{
    std::string value(strlen(url) + 1, '\0');
    if (parse_get_method_param_field(url, key, &value[0], value.size()) != 0) {
        return std::string();
    }
    value.resize(strlen(value.c_str()));
    return value;
}

}  // namespace

void process_ini_command(connection* conn)
{
    char* body = httpd_make_json_buffer();
    if (body == nullptr) {
        reply_cannot_return(conn, "out of memory");
        return;
    }
    body[0] = '\0';
    char cmd[kValueSize];
    tagIniRun run = {conn, conn->url.c_str(), cmd, body, -1, false};
    switch (XParam(run, "cmd", cmd, sizeof(cmd))) {
    case emParam_Missing:
        XText(run, "%s", run.url);
        break;
    case emParam_TooLong:
        XText(run, "US %s", XWholeValue(run.url, "cmd").c_str());
        break;
    case emParam_Present: {
        const tagIniRow* row = nullptr;
        for (const tagIniRow& r : kIniCommands) {
            if (strcmp(r.name, cmd) == 0) {
                row = &r;
                break;
            }
        }
        if (row != nullptr) {
            row->run(run);
        } else {
            XText(run, "US %s", cmd);
        }
        break;
    }
    }
    if (run.replied) {
        return;
    }
    if (run.length < 0) {
        body[0] = '\0';
        run.length = 0;
    }
    reply_from_memory(conn, body, static_cast<off_t>(run.length), kMime);
    conn->reply_dont_free = 1;
    conn->buffer_type = HTTP_BUFFER_ORDINARY;
}
