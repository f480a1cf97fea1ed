#include "HttpServer/httpcmd/WebBridgePorts.h"

#include "HttpServer/HttpConnection.h"

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
