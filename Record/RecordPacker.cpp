#include "Record/RecordPacker.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>
#include <string>

#include "Function/common.h"
#include "Platform/SchedReset.h"
#include "Record/Index/RecordFileName.h"
#include "Record/Index/RecordScan.h"
#include "Record/RecordNotify.h"
#include "Record/RecordTypes.h"

namespace {

// Whole seconds of `frames`, rounded up; 0 without a rate.
unsigned XDurationOf(uint32_t frames, int fps)
{
    if (fps <= 0) {
        return 0;
    }
    const uint64_t rate = static_cast<uint64_t>(fps);
    return static_cast<unsigned>((static_cast<uint64_t>(frames) + rate - 1) / rate);
}

// Sizes the index records are 32 bits.
unsigned long XIndexSize(uint64_t size)
{
    return size > 0xFFFFFFFFull ? 0xFFFFFFFFul : static_cast<unsigned long>(size);
}

bool XSyncPath(const char* path, int flags)
{
    const int fd = open(path, flags | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

// Flushes the folder holding `path`, so that a rename survives a power cut.
void XSyncParentDir(const char* path)
{
    std::string dir(path);
    const size_t slash = dir.rfind('/');
    if (slash == std::string::npos) {
        return;
    }
    dir.resize(slash + 1);
    XSyncDirectory(dir.c_str());
}

uint64_t XFileSizeOf(const char* path)
{
    size_t size = 0;
    return XGetFileSize(path, &size) ? static_cast<uint64_t>(size) : 0;
}

RecFileNameFields XFields(const RECTIME& time, BOOL bHasDuration, unsigned duration, int index, int resolution,
                          BOOL bParking)
{
    RecFileNameFields f{};
    f.time = time;
    f.bHasDuration = bHasDuration;
    f.duration = duration;
    f.index = index;
    f.resolution = resolution;
    f.bParking = bParking;
    return f;
}

// root/subdir/name of `fields`, the folder created first.
bool XCardName(char* buf, const char* root, const char* subdir, const RecFileNameFields& fields, const char* ext)
{
    std::string dir;
    for (const char* part : {root, subdir}) {
        if (part != nullptr && part[0] != '\0') {
            dir += part;
            if (dir.back() != '/') {
                dir += '/';
            }
        }
    }
    return XCreateFullPathDir(dir.c_str(), 0777) && XMakeRecFilePath(buf, RECORD_NAME_BUF_SIZE, root, subdir, fields, ext);
}

bool XPathExists(const char* root, const char* subdir, const RecFileNameFields& fields, const char* ext)
{
    char path[RECORD_NAME_BUF_SIZE];
    return XMakeRecFilePath(path, sizeof(path), root, subdir, fields, ext) && XFilePathExists(path);
}

// A title or archive is first written as T_0[(n)].ext, a name the card scan
// deletes, and renamed once it is whole and on the card: one cut off by a
// power loss is never listed as the video's.
bool XStagingName(char* buf, const char* root, const char* dir, const RECTIME& time, int n, const char* ext)
{
    return XCardName(buf, root, dir, XFields(time, 1, 0, n, 1080, 0), ext) != 0;
}

bool XPlaceStaged(const char* staging, const char* final)
{
    if (!XSyncPath(staging, O_RDONLY) || rename(staging, final) != 0) {
        return false;
    }
    XSyncParentDir(final);
    return true;
}

// A video name of this time, duration and index exists with any suffixes.
bool XVideoExists(const char* root, const char* subdir, const RECTIME& time, unsigned duration, int index)
{
    static const int kResolutions[2] = {1080, 720};
    for (int res : kResolutions) {
        for (BOOL park = 0; park <= 1; ++park) {
            if (XPathExists(root, subdir, XFields(time, 1, duration, index, res, park), "MP4")) {
                return true;
            }
        }
    }
    return false;
}

// The folders of one kind of video and its companions.
struct tagPackDirs {
    const char* video;
    const char* title;
    const char* thumb;  // null for alarm files
};

// The first index from `start` up whose video, title and archive names are
// all free and that the index does not hold; -1 when none up to 255 is.
int XFreeIndex(const tagRecordFinishInfo& info, CRecordFileIndex& index, const tagPackDirs& dirs, const RECTIME& time,
               unsigned duration, int start)
{
    for (int n = start < 0 ? 0 : start; n <= RECORD_MAX_NAME_INDEX; ++n) {
        const RecFileNameFields plain = XFields(time, 0, 0, n, 1080, 0);
        if (index.FindNode(time, n) != nullptr || XVideoExists(info.szRootPath, dirs.video, time, duration, n) ||
            XPathExists(info.szRootPath, dirs.title, plain, "JPG") ||
            (dirs.thumb != nullptr && XPathExists(info.szRootPath, dirs.thumb, plain, "TGZ"))) {
            continue;
        }
        return n;
    }
    return -1;
}

// Moves the waiting title image to the card with the video's time and index
// and enters it in the index; a failure deletes both names.
void XMoveTitle(const tagRecordFinishInfo& info, CRecordFileIndex& index, const char* dir, const RECTIME& time,
                int n, BOOL bIndexed)
{
    char src[RECORD_NAME_BUF_SIZE];
    if (!info.bHasTitle || info.lpTitleName == nullptr ||
        !info.lpTitleName->GetFileName(info.szTmpPath, nullptr, "JPG", FALSE, TRUE, src)) {
        return;
    }
    char dst[RECORD_NAME_BUF_SIZE];
    char staging[RECORD_NAME_BUF_SIZE];
    if (!XCardName(dst, info.szRootPath, dir, XFields(time, 0, 0, n, 1080, 0), "JPG") ||
        !XStagingName(staging, info.szRootPath, dir, time, n, "JPG")) {
        XERROR("[CHK PACK] GET TITLE IMG DST NAME FAILED.\n");
        XDeleteFile(src);
        return;
    }
    if (!XRenameFile(src, staging) || !XPlaceStaged(staging, dst)) {
        printf("[CHK PACK] MV %s to %s FAILED.\n", src, dst);
        XDeleteFile(src);
        XDeleteFile(staging);
        XDeleteFile(dst);
        return;
    }
    printf("[CHK PACK] MV %s to %s OK.\n", src, dst);
    if (bIndexed && !index.AddRecFileTitle(time, n, XIndexSize(XFileSizeOf(dst)))) {
        XERROR("[CHK PACK] ADD TITLE %s TO THE INDEX FAILED.\n", dst);
    }
}

// Archives the waiting thumbnail folder into the card's 102thumb and removes it.
void XArchiveThumbs(const tagRecordFinishInfo& info, CRecordFileIndex& index, const RECTIME& time, int n,
                    BOOL bIndexed)
{
    if (!info.bHasThumbs || info.lpThumbName == nullptr) {
        return;
    }
    char bare[RECORD_NAME_BUF_SIZE];
    char archive[RECORD_NAME_BUF_SIZE];
    if (!info.lpThumbName->GetDirName(info.szTmpPath, TRUE, FALSE, bare)) {
        XERROR("[CHK PACK] GET THUMB IMG SRC DIR FAILED.\n");
    } else {
        printf("[CHK PACK] THUMB IMG SRC DIR (%s)\n", bare);
        if (!XCardName(archive, info.szRootPath, RECORD_DIR_COMMON_THUMB, XFields(time, 0, 0, n, 1080, 0), "TGZ")) {
            XERROR("[CHK PACK] GET THUMB IMG DST DIR FAILED.\n");
        } else {
            printf("[CHK PACK] THUMB IMG DST DIR (%s).\n", archive);
            char staging[RECORD_NAME_BUF_SIZE];
            const bool named = XStagingName(staging, info.szRootPath, RECORD_DIR_COMMON_THUMB, time, n, "TGZ");
            const std::string cmdline = "tar -zcf " + XShellQuote(staging) + " -C " + XShellQuote(info.szTmpPath) + " " +
                                        XShellQuote(bare);
            const char* cmd = cmdline.c_str();
            // tar must not inherit a real-time priority of the calling thread.
            if (!XResetSchedOnFork()) {
                XERROR("tar runs at the caller's real-time priority.\n");
            }
            if (!named || ExecCommand(cmd) != 0 ||
                !XPlaceStaged(staging, archive)) {
                XERROR("ERROR CMD %s\n", cmd);
                if (named && XFilePathExists(staging)) {
                    XDeleteFile(staging);
                }
            } else {
                if (bIndexed && !index.AddRecFileTimestamp(time, n, XIndexSize(XFileSizeOf(archive)))) {
                    XERROR("[CHK PACK] ADD THUMB %s TO THE INDEX FAILED.\n", archive);
                }
            }
        }
    }
    char full[RECORD_NAME_BUF_SIZE];
    if (!info.lpThumbName->GetDirName(info.szTmpPath, FALSE, TRUE, full)) {
        XERROR("[CHK PACK] GET THUMB IMG SRC FULL PATH DIR FAILED2.\n");
        return;
    }
    if (XFilePathExists(full)) {
        XRemoveDirectory(full, 0);
        printf("[RM DIR]%s\n", full);
    }
}

int XPackedInfo(const tagRecordFinishInfo& info, int n)
{
    const int res = info.nResFlag == 720 ? 720 : 1080;
    return (res << 16) | (n << 8) | (info.bParking ? 1 : 0);
}

// Where a finished file went: its time, final index and duration, and
// whether its index took it.
struct tagFinalName {
    RECTIME time;
    int n;
    unsigned duration;
    BOOL bIndexed;
    std::string name;  // bare final name
};

// The common part of both kinds: source, checks, final name, rename, entry
// in the index (unless bEnterIndex is clear: the card scan enters it),
// title image. 1 once renamed, with the final name's fields in `placed`.
BOOL XPlaceFinal(tagRecordFinishInfo& info, CRecordFileIndex& index, const tagPackDirs& dirs, int start,
                 const char* kind, BOOL bEnterIndex, tagFinalName& placed)
{
    int& n = placed.n;
    unsigned& duration = placed.duration;
    const BOOL alarm = info.emType == emRecordFileType_Alarm;
    char src[RECORD_NAME_BUF_SIZE];
    if (info.lpVideoName == nullptr ||
        !info.lpVideoName->GetFileName(info.szRootPath, dirs.video, "MP4", TRUE, TRUE, src)) {
        XERROR("[CHK PACK] Get %s record src video file name failed.\n", kind);
        return 0;
    }
    const RECTIME time = info.lpVideoName->GetFileNameTime();
    placed.time = time;
    duration = XDurationOf(info.nFrames, info.nFps);
    // A file without its index or without a frame is not presented as a
    // recording; it goes now rather than at the next scan.
    if (!info.bComplete || duration == 0 || !XSyncPath(src, O_RDONLY)) {
        XERROR("[CHK PACK] %s is unfinished (trailer %s, %u frames), deleted.\n", src,
               info.bComplete ? "written" : "failed", info.nFrames);
        XDeleteFile(src);
        return 0;
    }
    n = XFreeIndex(info, index, dirs, time, duration, start);
    char dst[RECORD_NAME_BUF_SIZE];
    const int res = info.nResFlag == 720 ? 720 : 1080;
    if (n < 0 || !XCardName(dst, info.szRootPath, dirs.video, XFields(time, 1, duration, n, res, info.bParking), "MP4")) {
        XERROR("[CHK PACK] Get %s record dst video file name failed.\n", kind);
        XDeleteFile(src);
        return 0;
    }
    if (!XRenameFile(src, dst)) {
        printf("[CHK PACK] MV %s to %s FAILED%s.\n", src, dst, alarm ? "(ALARM)" : "");
        XDeleteFile(src);
        if (XFilePathExists(dst)) {
            XDeleteFile(dst);
        }
        return 0;
    }
    XSyncParentDir(dst);
    printf("[CHK PACK] MV %s to %s OK%s.\n", src, dst, alarm ? "(ALARM)" : "");
    const char* slash = strrchr(dst, '/');
    placed.name = slash != nullptr ? slash + 1 : dst;
    if (!bEnterIndex) {
        placed.bIndexed = FALSE;
        XMoveTitle(info, index, dirs.title, time, n, FALSE);
        return 1;
    }
    const unsigned long size = XIndexSize(static_cast<uint64_t>(info.nTotalSize));
    placed.bIndexed = alarm ? index.AddRecFile(time, duration, XPackedInfo(info, n), size, info.nTriggers)
                            : index.AddRecFile(time, duration, XPackedInfo(info, n), size);
    if (!placed.bIndexed) {
        XERROR("[CHK PACK] ADD %s VIDEO TO THE INDEX FAILED.\n", alarm ? "ALARM" : "COMMON");
    }
    XMoveTitle(info, index, dirs.title, time, n, placed.bIndexed);
    return 1;
}

}  // namespace

CRecordPacker::CRecordPacker()
    : m_lpTmpBuff(new (std::nothrow) char[kJsonBuffLen]), m_nTmpBuffLen(m_lpTmpBuff ? kJsonBuffLen : 0)
{
}

CRecordPacker::~CRecordPacker() = default;

BOOL CRecordPacker::FinishRecordFile(tagRecordFinishInfo& info)
{
    return Finish(info, nullptr);
}

BOOL CRecordPacker::PlaceRecoveredFile(tagRecordFinishInfo& info, std::string& finalName)
{
    finalName.clear();
    return Finish(info, &finalName);
}

BOOL CRecordPacker::Finish(tagRecordFinishInfo& info, std::string* recovered)
{
    BOOL ok = 0;
    if (info.szRootPath != nullptr && info.szTmpPath != nullptr && info.lpCommonIndex != nullptr &&
        info.lpAlarmIndex != nullptr) {
        ok = info.emType == emRecordFileType_Alarm ? PackAlarmFile(info, recovered) : PackCommonFile(info, recovered);
    }
    // Whatever happened, nothing of this file waits in /tmp any more.
    if (info.szTmpPath != nullptr) {
        XDeleteWaitingImages(info);
    }
    XPutAssociatedDataList(info.lpAssociatedData);
    info.lpAssociatedData = nullptr;
    return ok;
}

BOOL CRecordPacker::PackAlarmFile(tagRecordFinishInfo& info, std::string* recovered)
{
    CRecordFileIndex& index = *info.lpAlarmIndex;
    const tagPackDirs dirs = {RECORD_DIR_ALARM_VIDEO, RECORD_DIR_ALARM_TITLE, nullptr};
    const int start = info.lpVideoName != nullptr ? info.lpVideoName->GetFileNameIndex() : 0;
    tagFinalName placed = {};
    if (!XPlaceFinal(info, index, dirs, start, "alarm", recovered == nullptr, placed)) {
        return 0;
    }
    if (recovered != nullptr) {
        *recovered = placed.name;
        return 1;
    }
    if (placed.bIndexed && info.lpAssociatedData != nullptr &&
        index.AddRecAssociatedData(placed.time, placed.n, info.lpAssociatedData)) {
        info.lpAssociatedData = nullptr;
    }
    if (placed.bIndexed && m_lpTmpBuff) {
        const int len = index.GetFileInfoAsJSON(m_lpTmpBuff.get(), m_nTmpBuffLen, placed.time, placed.n);
        if (len > 0) {
            XNotifyAlarmVideoUpdate(m_lpTmpBuff.get(), len);
            printf("==ALARM FILE UPDATE INFO===\n%s\n", m_lpTmpBuff.get());
        }
    }
    return 1;
}

BOOL CRecordPacker::PackCommonFile(tagRecordFinishInfo& info, std::string* recovered)
{
    CRecordFileIndex& index = *info.lpCommonIndex;
    const tagPackDirs dirs = {RECORD_DIR_COMMON_VIDEO, RECORD_DIR_COMMON_TITLE, RECORD_DIR_COMMON_THUMB};
    int start = info.lpVideoName != nullptr ? info.lpVideoName->GetFileNameIndex() : 0;
    // Stale names of an earlier file do not count.
    if (info.bHasTitle && info.lpTitleName != nullptr && info.lpTitleName->GetFileNameIndex() > start) {
        start = info.lpTitleName->GetFileNameIndex();
    }
    if (info.bHasThumbs && info.lpThumbName != nullptr && info.lpThumbName->GetFileNameIndex() > start) {
        start = info.lpThumbName->GetFileNameIndex();
    }
    tagFinalName placed = {};
    if (!XPlaceFinal(info, index, dirs, start, "common", recovered == nullptr, placed)) {
        return 0;
    }
    if (!info.bParking) {
        XArchiveThumbs(info, index, placed.time, placed.n, placed.bIndexed);
    }
    if (recovered != nullptr) {
        *recovered = placed.name;
        return 1;
    }
    if (placed.bIndexed && m_lpTmpBuff) {
        const int len = index.GetFileInfoAsJSON(m_lpTmpBuff.get(), m_nTmpBuffLen, placed.time, placed.n);
        if (len > 0) {
            XNotifyCommonVideoUpdate(m_lpTmpBuff.get(), len);
        }
    }
    return 1;
}
