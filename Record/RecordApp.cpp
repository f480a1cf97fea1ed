// The app's file operations on the engine: JSON lists, deletions, clean-all,
// the card quotas and alarm images from the snapshot side. Every call holds
// the engine's lock, so none of them sees a half-finished file.

#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "Function/XLog.h"
#include "IniConfig/IniConfig.h"
#include "Platform/BoardRoot.h"
#include "Record/Record.h"
#include "Record/RecordNotify.h"

namespace {

// Room for the document of one alarm image sent to the phone.
const int kImageNoticeLen = 4096;

// total x percent / 100; percentages are stored unchecked, so a share above
// the whole card saturates instead of wrapping.
uint64_t XQuotaShare(uint64_t total, unsigned percent)
{
    const uint64_t whole = total / 100;
    const uint64_t part = total % 100 * percent / 100;
    if (percent != 0 && whole > (~0ULL - part) / percent) {
        return ~0ULL;
    }
    return whole * percent + part;
}

int XListResult(int len)
{
    return len < 0 ? -1 : len;
}

}  // namespace

BOOL CRecord::IsCardListable() const
{
    const int state = m_SDState.load();
    return (state & emSDState_Insert) && (state & emSDState_Mount);
}

CRecordFileIndex& CRecord::IndexOf(emRecFileType type)
{
    switch (type) {
    case emRecFileType_AlarmVideo:
        return m_AlarmRecordFileIndex;
    case emRecFileType_AlarmImage:
        return m_AlarmImageFileIndex;
    case emRecFileType_CommonVideo:
        break;
    }
    return m_CommonRecordFileIndex;
}

int CRecord::GetFileListAsJson(emRecFileType type, char* buff, int buff_len)
{
    CGuard guard(m_Mutex);
    if (!IsCardListable() || buff == nullptr || buff_len <= 0) {
        return -1;
    }
    return XListResult(IndexOf(type).GetFileInfoAsJSON(buff, buff_len));
}

emListBuild CRecord::GetFileList(emRecFileType type, size_t largest, RecordListBytes& out)
{
    CGuard guard(m_Mutex);
    // Each category's slot; anything else lists the common videos, as IndexOf does.
    const size_t slot = static_cast<size_t>(type);
    CRecordListCache& cache = m_ListCache[slot < 3 ? slot : 0];
    if (!IsCardListable()) {
        cache.Drop();
        return emListBuild_Refused;
    }
    return cache.Get(IndexOf(type), largest, out);
}

BOOL CRecord::ChangeCardFiles(emRecFileType type, emCardFilesChange change, const char* filename)
{
    CGuard guard(m_Mutex);
    if (!IsCardUsable() || !FetchMountPath()) {
        if (type == emRecFileType_AlarmVideo && change == emCardFilesChange_Delete) {
            XERROR("CRecord::DeleteAlarmVideoFile():SD Card Invalide.\n");
        }
        return FALSE;
    }
    const std::string root = XBoardPath(m_szSDMountPath);
    CRecordFileIndex& index = IndexOf(type);
    switch (change) {
    case emCardFilesChange_Delete:
        return index.DeleteFile(root.c_str(), filename);
    case emCardFilesChange_CleanAll:
        return index.CleanAllFile(root.c_str());
    case emCardFilesChange_DeleteOldest:
        return index.DeleteOldestFile(root.c_str());
    }
    return FALSE;
}

int CRecord::GetCommonVideoFileAsJson(char* buff, int buff_len)
{
    return GetFileListAsJson(emRecFileType_CommonVideo, buff, buff_len);
}

int CRecord::GetAlarmVideoFileAsJSON(char* buff, int buff_len)
{
    return GetFileListAsJson(emRecFileType_AlarmVideo, buff, buff_len);
}

int CRecord::GetAlarmImgFileAsJSON(char* buff, int buff_len)
{
    return GetFileListAsJson(emRecFileType_AlarmImage, buff, buff_len);
}

BOOL CRecord::DeleteCommonVideoFile(const char* filename)
{
    return ChangeCardFiles(emRecFileType_CommonVideo, emCardFilesChange_Delete, filename);
}

BOOL CRecord::DeleteAlarmVideoFile(const char* filename)
{
    return ChangeCardFiles(emRecFileType_AlarmVideo, emCardFilesChange_Delete, filename);
}

BOOL CRecord::DeleteAlarmImgFile(const char* filename)
{
    return ChangeCardFiles(emRecFileType_AlarmImage, emCardFilesChange_Delete, filename);
}

BOOL CRecord::CleanAllCommonVideoFile()
{
    return ChangeCardFiles(emRecFileType_CommonVideo, emCardFilesChange_CleanAll, nullptr);
}

BOOL CRecord::CleanAllAlarmVideoFile()
{
    return ChangeCardFiles(emRecFileType_AlarmVideo, emCardFilesChange_CleanAll, nullptr);
}

BOOL CRecord::CleanAllAlarmImgFile()
{
    return ChangeCardFiles(emRecFileType_AlarmImage, emCardFilesChange_CleanAll, nullptr);
}

void CRecord::UpdateByteLimits()
{
    uint64_t total = ~0ULL;
    uint64_t freeBytes = 0;
    if (!m_lpCard || !m_lpCard->GetDiskSpaceInfo(&total, &freeBytes)) {
        total = ~0ULL;
    }
    m_nMaxCommonVideoSize = XQuotaShare(total, m_nCommonVideoOnSDQuota);
    m_nMaxAlarmVideoSize = XQuotaShare(total, m_nAlarmVideoOnSDQuota);
    m_nMaxAlarmImageSize = XQuotaShare(total, m_nAlarmImageOnSDQuota);
}

void CRecord::GetFileSpaceQuotaOnSD(unsigned& common, unsigned& alarmVideo, unsigned& alarmImage)
{
    CGuard guard(m_Mutex);
    common = m_nCommonVideoOnSDQuota;
    alarmVideo = m_nAlarmVideoOnSDQuota;
    alarmImage = m_nAlarmImageOnSDQuota;
}

BOOL CRecord::SetFileSpaceQuotaOnSD(unsigned common, unsigned alarmVideo, unsigned alarmImage)
{
    {
        CGuard guard(m_Mutex);
        m_nCommonVideoOnSDQuota = common;
        m_nAlarmVideoOnSDQuota = alarmVideo;
        m_nAlarmImageOnSDQuota = alarmImage;
        if (IsCardUsable()) {
            UpdateByteLimits();
        }
    }
    // The settings store has a lock of its own and saves its file on every
    // write: not under the engine's lock.
    CIniConfig* ini = CIniConfig::instance();
    ini->SetInt("storageset", "commonvideoonsdquota", static_cast<int>(common));
    ini->SetInt("storageset", "alarmvideoonsdquota", static_cast<int>(alarmVideo));
    ini->SetInt("storageset", "alarmimageonsdquota", static_cast<int>(alarmImage));
    return TRUE;
}

void CRecord::GetTotalFileSize(uint64_t& common, uint64_t& alarm, uint64_t& image) const
{
    common = m_CommonRecordFileIndex.GetTotalSize();
    alarm = m_AlarmRecordFileIndex.GetTotalSize();
    image = m_AlarmImageFileIndex.GetTotalSize();
}

BOOL CRecord::AddAlarmImgIndex(const RECTIME& time, char type, int index, unsigned long size)
{
    CGuard guard(m_Mutex);
    if (!m_AlarmImageFileIndex.AddRecFile(time, 0u, type, index, size)) {
        return FALSE;
    }
    std::unique_ptr<char[]> buff(new (std::nothrow) char[kImageNoticeLen]);
    if (buff) {
        const int len = m_AlarmImageFileIndex.GetFileInfoAsJSON(buff.get(), kImageNoticeLen, time, index, type);
        if (len > 0) {
            XNotifyAlarmJpgUpdate(buff.get(), len);
        }
    }
    return TRUE;
}
