#include "Record/Index/RecordFileIndexNode.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Function/common.h"
#include "Record/Index/JsonText.h"
#include "Record/Index/RecordNameTokens.h"
#include "Record/RecordNotify.h"

namespace {

const char kCommonHead[] =
    "{\"type\":\"commonvideo\",\"mp4folder\":\"DCIM/100video\",\"titlefolder\":\"DCIM/103thumb\","
    "\"thumbfolder\":\"DCIM/102thumb\",\"mp4data\":[";
const char kAlarmHead[] =
    "{\"type\":\"alarmvideo\",\"mp4folder\":\"DCIM/101video\",\"titlefolder\":\"DCIM/105thumb\","
    "\"imagefolder\":\"DCIM/104snap\",\"mp4data\":[";
const char kImageHead[] = "{\"type\":\"snapshot\",\"jpgfolder\":\"DCIM/104snap\",\"jpgdata\":[";

// Spare bytes beyond the terminator that a key fragment needs.
constexpr int kKeySpare = 1;

// Deletes one file; one that is gone already counts as deleted.
BOOL XDeleteRecFile(const char* path)
{
    if (XDeleteFile(path)) {
        return 1;
    }
    return errno == ENOENT ? 1 : 0;
}

}  // namespace

const char* XGetRecFileIndexHead(emRecFileType type)
{
    switch (type) {
    case emRecFileType_CommonVideo:
        return kCommonHead;
    case emRecFileType_AlarmVideo:
        return kAlarmHead;
    case emRecFileType_AlarmImage:
        return kImageHead;
    }
    return nullptr;
}

void CRecordFileIndexNode::Init()
{
    ReleaseAssociatedDataNode();
    m_RecTime.value = 0;
    m_RecIndex = 0;
    m_RecDuration = 0;
    m_RecType[0] = '\0';
    m_RecType[1] = '\0';
    m_RecSize = 0;
    m_RecTitleSize = 0;
    m_RecThumbSize = 0;
    m_RecFlag = 0;
    m_RecTrigger = 0;
    m_RecResolution = 1080;
    m_RecParkingFlag = 0;
    m_lpNext = nullptr;
    m_lpPrev = nullptr;
}

RecFileNameFields CRecordFileIndexNode::Fields(BOOL bHasDuration, char type) const
{
    RecFileNameFields fields{};
    fields.type = type;
    fields.time = m_RecTime;
    fields.bHasDuration = bHasDuration ? 1 : 0;
    fields.duration = m_RecDuration;
    fields.index = m_RecIndex;
    if (bHasDuration) {
        fields.resolution = m_RecResolution;
        fields.bParking = m_RecParkingFlag ? 1 : 0;
    }
    return fields;
}

BOOL CRecordFileIndexNode::GetFileName(char* filename, const char* ext, BOOL bHasDuration) const
{
    return XMakeRecFilePath(filename, RECORD_NAME_BUF_SIZE, nullptr, nullptr, Fields(bHasDuration, m_RecType[0]), ext);
}

BOOL CRecordFileIndexNode::GetFileName(char* filename, const char* prefixPath, const char* dir, const char* ext,
                                       BOOL bHasDuration) const
{
    return XMakeRecFilePath(filename, RECORD_NAME_BUF_SIZE, prefixPath, dir, Fields(bHasDuration, m_RecType[0]), ext);
}

BOOL CRecordFileIndexNode::GetShownFileName(char* filename, const char* ext, BOOL bHasDuration, BOOL bImage) const
{
    const char type = bImage ? XGetShownTypeLetter(m_RecType[0]) : '\0';
    return XMakeRecFilePath(filename, RECORD_NAME_BUF_SIZE, nullptr, nullptr, Fields(bHasDuration, type), ext);
}

void CRecordFileIndexNode::GetFileTime(char* buff) const
{
    *XWriteNameTime(buff, m_RecTime) = '\0';
}

BOOL CRecordFileIndexNode::PutShownFileName(CJsonWriter& out, const char* key, const char* ext, BOOL bHasDuration,
                                            BOOL bImage, BOOL bPresent) const
{
    char name[RECORD_NAME_BUF_SIZE] = "";
    if (bPresent && !GetShownFileName(name, ext, bHasDuration, bImage)) {
        return 0;
    }
    out.Put(key, kKeySpare);
    out.Put(name, kKeySpare);
    out.PutLiteral("\"", kKeySpare);
    return 1;
}

int CRecordFileIndexNode::GetFileInfoAsJSON(char* buff, int len, emRecFileType type, int bWriteheader) const
{
    const char* head = XGetRecFileIndexHead(type);
    if (head == nullptr || buff == nullptr || len <= 0) {
        return -1;
    }
    // Names and numbers go in directly: the app's lists hold thousands of
    // records, built on the HTTP thread.
    CJsonWriter out(buff, len);
    if (bWriteheader) {
        out.Put(head, kKeySpare);
    }
    if (type == emRecFileType_AlarmImage) {
        if (!PutShownFileName(out, "{\"filename\":\"", "JPG", 0, 1, 1)) {
            return -1;
        }
        out.PutLiteral(",\"filesize\":", kKeySpare);
        out.PutNumber(m_RecSize, kKeySpare);
    } else {
        if (!PutShownFileName(out, "{\"filename\":\"", "MP4", 1, 0, 1)) {
            return -1;
        }
        out.PutLiteral(",\"duration\":", kKeySpare);
        out.PutNumber(m_RecDuration, kKeySpare);
        out.PutLiteral(",\"filesize\":", kKeySpare);
        out.PutNumber(m_RecSize, kKeySpare);
        if (!PutShownFileName(out, ",\"title\":\"", "JPG", 0, 0, HasTitleFile())) {
            return -1;
        }
        out.PutLiteral(",\"titlesize\":", kKeySpare);
        out.PutNumber(m_RecTitleSize, kKeySpare);
        if (type == emRecFileType_CommonVideo) {
            if (!PutShownFileName(out, ",\"thumb\":\"", "TGZ", 0, 0, HasThumbFile())) {
                return -1;
            }
            out.PutLiteral(",\"thumbsize\":", kKeySpare);
            out.PutNumber(m_RecThumbSize, kKeySpare);
        } else {
            char trigger[RECORD_TRIGGER_TEXT_SIZE];
            XGetTriggerText(m_RecTrigger, trigger);
            out.PutLiteral(",\"trigger\":\"", kKeySpare);
            out.Put(trigger, kKeySpare);
            out.PutLiteral("\",\"associateddata\":[", kKeySpare);
            char record[CJsonWriter::kMaxFragment];
            for (const CAssociatedData* d = m_lpAssociatedDataList; d != nullptr && out.Ok(); d = d->GetNext()) {
                // The first fragment has no comma in front.
                char* at = record;
                int room = static_cast<int>(sizeof(record));
                if (d != m_lpAssociatedDataList) {
                    *at++ = ',';
                    --room;
                }
                int n = d->GetFileInfoAsJSON(at, room);
                if (n < 0) {
                    return -1;
                }
                out.Put(record, static_cast<size_t>(n + (at - record)), kKeySpare);
            }
            out.PutLiteral("]", kKeySpare);
        }
    }
    // ,"time":"T"} as one fragment, so that a record fits or is refused as a whole.
    char time[] = ",\"time\":\"YYYYMMDDhhmmss\"}";
    XWriteNameTime(time + 9, m_RecTime);
    out.PutLiteral(time, kKeySpare);
    if (bWriteheader) {
        out.PutLiteral("]}", 0);
    }
    return out.Result();
}

BOOL CRecordFileIndexNode::DeleteFile(const char* mountPath, emRecFileType type)
{
    // The notice describes the file as it was, so it is built first.
    char doc[RECORD_DELETE_NOTICE_SIZE];
    const int docLen = GetFileInfoAsJSON(doc, sizeof(doc), type, 1);

    const char* videoDir = nullptr;
    const char* titleDir = nullptr;
    const char* thumbDir = nullptr;
    switch (type) {
    case emRecFileType_CommonVideo:
        videoDir = RECORD_DIR_COMMON_VIDEO;
        titleDir = RECORD_DIR_COMMON_TITLE;
        thumbDir = RECORD_DIR_COMMON_THUMB;
        break;
    case emRecFileType_AlarmVideo:
        videoDir = RECORD_DIR_ALARM_VIDEO;
        titleDir = RECORD_DIR_ALARM_TITLE;
        break;
    case emRecFileType_AlarmImage:
        videoDir = RECORD_DIR_ALARM_IMAGE;
        break;
    default:
        return 0;
    }

    char path[RECORD_NAME_BUF_SIZE];
    if (titleDir != nullptr && HasTitleFile()) {
        if (!GetFileName(path, mountPath, titleDir, "JPG", 0) || !XDeleteRecFile(path)) {
            return 0;
        }
        m_RecFlag &= ~emRecFileFlag_HasTitle;
        m_RecTitleSize = 0;
    }
    if (thumbDir != nullptr && HasThumbFile()) {
        if (!GetFileName(path, mountPath, thumbDir, "TGZ", 0) || !XDeleteRecFile(path)) {
            return 0;
        }
        m_RecFlag &= ~emRecFileFlag_HasTimestamp;
        m_RecThumbSize = 0;
    }
    const BOOL isImage = type == emRecFileType_AlarmImage;
    if (!GetFileName(path, mountPath, videoDir, isImage ? "JPG" : "MP4", isImage ? 0 : 1) || !XDeleteRecFile(path)) {
        return 0;
    }
    XNotifyFileDeleteUpdate(doc, docLen >= 0 ? docLen : -1);
    return 1;
}

void CRecordFileIndexNode::AddAssociatedData(CAssociatedData* list)
{
    if (XPrependAssociatedDataList(list, m_lpAssociatedDataList) != nullptr) {
        m_lpAssociatedDataList = list;
    }
}

void CRecordFileIndexNode::ReleaseAssociatedDataNode()
{
    XPutAssociatedDataList(m_lpAssociatedDataList);
    m_lpAssociatedDataList = nullptr;
}

