#include "Record/Index/RecordScan.h"

#include <strings.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "Function/common.h"
#include "Record/MP4/AssociatedDataReader.h"
#include "Record/MP4/MP4JournalFormat.h"
#include "Record/RecordTypes.h"

namespace {

struct tagFileTypeInfo {
    const char* dir;
    const char* ext;
};

const tagFileTypeInfo kFileTypes[] = {
    {nullptr, nullptr},
    {RECORD_DIR_COMMON_VIDEO, "MP4"},
    {RECORD_DIR_COMMON_TITLE, "JPG"},
    {RECORD_DIR_COMMON_THUMB, "TGZ"},
    {RECORD_DIR_ALARM_VIDEO, "MP4"},
    {RECORD_DIR_ALARM_TITLE, "JPG"},
    {RECORD_DIR_ALARM_IMAGE, "JPG"},
};

// The first page of an alarm video, where the walk of its boxes starts.
constexpr off_t kAlarmHeadBytes = 4096;

bool XIsValidType(emFileType type)
{
    return type >= emFileType_Video && type <= emFileType_AlarmImg;
}

bool XIsVideoType(emFileType type)
{
    return type == emFileType_Video || type == emFileType_AlarmVideo;
}

uint64_t XFileSizeOf(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

}  // namespace

BOOL MatchFileType(const char* extension, emFileType type)
{
    if (extension == nullptr || !XIsValidType(type)) {
        return 0;
    }
    return strcasecmp(extension, kFileTypes[type].ext) == 0 ? 1 : 0;
}

const char* XGetFileTypeDir(emFileType type)
{
    return XIsValidType(type) ? kFileTypes[type].dir : nullptr;
}

const char* XGetFileTypeExt(emFileType type)
{
    return XIsValidType(type) ? kFileTypes[type].ext : nullptr;
}

BOOL XParseCardFileName(const char* name, emFileType type, RecFileNameFields& fields)
{
    if (!XIsValidType(type)) {
        fields = RecFileNameFields{};
        return 0;
    }
    const emRecFileNameKind kind = XIsVideoType(type)            ? emRecFileNameKind_Video
                                   : type == emFileType_AlarmImg ? emRecFileNameKind_Image
                                                                 : emRecFileNameKind_Plain;
    return XParseRecFileName(name, kind, kFileTypes[type].ext, fields, emRecFileNameRule_Card);
}

BOOL XMakeCardFileName(char* buf, size_t size, emFileType type, const RecFileNameFields& fields)
{
    if (!XIsValidType(type)) {
        return 0;
    }
    RecFileNameFields f = fields;
    if (!XIsVideoType(type)) {
        f.bHasDuration = 0;
        f.resolution = 1080;
        f.bParking = 0;
    }
    if (type != emFileType_AlarmImg) {
        f.type = '\0';
    }
    return XMakeRecFilePath(buf, size, nullptr, nullptr, f, kFileTypes[type].ext);
}

// One file that passed the checks, under its canonical name.
struct CRecordScan::tagScanEntry {
    RecFileNameFields fields;
    uint64_t size;
    std::string path;
};

CRecordScan::CRecordScan(CRecordFileIndex& common, CRecordFileIndex& alarm, CRecordFileIndex& image,
                         CRecordScanRecoverer* recoverer)
    : m_CommonRecordFileIndex(common),
      m_AlarmRecordFileIndex(alarm),
      m_AlarmImageFileIndex(image),
      m_lpRecoverer(recoverer)
{
}

void CRecordScan::ScanCard(const char* rootPath)
{
    static const emFileType kOrder[] = {emFileType_Video,      emFileType_TitleImg,      emFileType_TimestampImg,
                                        emFileType_AlarmVideo, emFileType_AlarmTitleImg, emFileType_AlarmImg};
    if (rootPath == nullptr || rootPath[0] == '\0') {
        return;
    }
    const size_t len = strlen(rootPath);
    const std::string root = std::string(rootPath) + (rootPath[len - 1] == '/' ? "" : "/");
    for (emFileType type : kOrder) {
        ScanDir((root + kFileTypes[type].dir).c_str(), type);
    }
}

BOOL CRecordScan::MakeEntry(const std::string& folder, const std::string& name, uint64_t size, emFileType type,
                            tagScanEntry& entry)
{
    const std::string path = folder + name;
    char canonical[RECORD_NAME_BUF_SIZE];
    if (!XParseCardFileName(name.c_str(), type, entry.fields) ||
        !XMakeCardFileName(canonical, sizeof(canonical), type, entry.fields)) {
        XDeleteFile(path.c_str());
        return 0;
    }
    entry.path = folder + canonical;
    entry.size = size;
    // Case too: the indexes name files in their canonical spelling.
    if (strcmp(canonical, name.c_str()) != 0) {
        // Never over another file: a name taken already (other than this
        // file itself on a card that ignores case) counts as a failure.
        struct stat target;
        struct stat self;
        const bool taken = lstat(entry.path.c_str(), &target) == 0 &&
                           !(lstat(path.c_str(), &self) == 0 && self.st_dev == target.st_dev &&
                             self.st_ino == target.st_ino);
        if (taken || !XRenameFile(path.c_str(), entry.path.c_str())) {
            printf("RENAME FILE %s to %s FAILED.\n", path.c_str(), entry.path.c_str());
            XDeleteFile(path.c_str());
            return 0;
        }
        // The new name on the card before it is listed.
        XSyncDirectory(folder.c_str());
    }
    return 1;
}

BOOL CRecordScan::ScanDir(const char* dir, emFileType type)
{
    if (dir == nullptr || !XIsValidType(type)) {
        return 1;
    }
    // The listing is read whole before any file is renamed or deleted: a
    // folder changed while it is read may hand out a renamed file again.
    struct tagFound {
        std::string name;
        uint64_t size;
        RecFileNameFields fields;
    };
    std::vector<tagFound> found;
    // Recovery journals of the videos in the folder, by video name.
    std::map<std::string, std::string> journals;
    std::string folder;
    {
        DIR_CTX ctx = {};
        XFileFindData fd;
        std::string video;
        for (BOOL more = XFindFirstFile(dir, &ctx, &fd); more; more = XFindNextFile(&ctx, &fd)) {
            if (fd.is_dir) {
                continue;
            }
            if (MatchFileType(fd.extname, type)) {
                found.push_back({fd.filename, fd.size, RecFileNameFields{}});
            } else if (XIsVideoType(type) && XMP4JournalVideoName(fd.filename, video)) {
                journals[video] = fd.filename;
            }
        }
        folder = ctx.path;
        XCloseFindFile(&ctx, FALSE);
    }
    std::vector<tagScanEntry> entries;
    std::vector<tagFound> unfinished;
    entries.reserve(found.size());
    for (tagFound& file : found) {
        const std::string path = folder + file.name;
        if (file.size == 0) {
            XDeleteFile(path.c_str());
            continue;
        }
        if (XIsVideoType(type) && XParseCardFileName(file.name.c_str(), type, file.fields) &&
            file.fields.duration == 0) {
            // Its recording never ended: finished from its journal, or gone.
            if (m_lpRecoverer != nullptr && journals.count(file.name) != 0) {
                unfinished.push_back(file);
            } else {
                XDeleteFile(path.c_str());
            }
            continue;
        }
        tagScanEntry entry;
        if (MakeEntry(folder, file.name, file.size, type, entry)) {
            entries.push_back(std::move(entry));
        }
    }

    // Oldest first, as the files were made: every file then goes to the head
    // of its index, and the lists do not depend on the directory's order.
    std::sort(entries.begin(), entries.end(), [](const tagScanEntry& a, const tagScanEntry& b) {
        if (a.fields.time != b.fields.time) {
            return a.fields.time < b.fields.time;
        }
        if (a.fields.index != b.fields.index) {
            return a.fields.index < b.fields.index;
        }
        return a.fields.type < b.fields.type;
    });
    if (type == emFileType_AlarmVideo) {
        // Each alarm video's boxes are walked below from the first one, one
        // file after the other: ask for all their first pages at once, so a
        // freshly mounted card reads them together instead of one per file.
        const int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (const tagScanEntry& entry : entries) {
            const int fd = dirFd >= 0 ? openat(dirFd, entry.path.c_str() + folder.size(), O_RDONLY | O_CLOEXEC) : -1;
            if (fd >= 0) {
                posix_fadvise(fd, 0, kAlarmHeadBytes, POSIX_FADV_WILLNEED);
                close(fd);
            }
        }
        if (dirFd >= 0) {
            close(dirFd);
        }
    }
    for (const tagScanEntry& entry : entries) {
        EnterFile(entry, type);
    }
    // After the finished files, so that a recovered one takes a free index.
    for (const tagFound& file : unfinished) {
        const std::string journal = journals[file.name];
        journals.erase(file.name);
        std::string finalName;
        if (!m_lpRecoverer->RecoverVideo(folder, file.name, journal, type, file.fields, finalName)) {
            continue;
        }
        tagScanEntry entry;
        if (MakeEntry(folder, finalName, XFileSizeOf(folder + finalName), type, entry)) {
            EnterFile(entry, type);
        }
    }
    for (const auto& orphan : journals) {
        printf("[SCAN] JOURNAL %s%s WITHOUT ITS VIDEO, DELETED.\n", folder.c_str(), orphan.second.c_str());
        XDeleteFile((folder + orphan.second).c_str());
    }
    return 1;
}

void CRecordScan::EnterFile(const tagScanEntry& entry, emFileType type)
{
    const RecFileNameFields& f = entry.fields;
    const RECTIME& t = f.time;
    const unsigned duration = static_cast<unsigned>(f.duration);
    const unsigned long size = entry.size > 0xFFFFFFFFull ? 0xFFFFFFFFul : static_cast<unsigned long>(entry.size);
    const int packed = (f.resolution << 16) | (f.index << 8) | (f.bParking ? 1 : 0);
    const char* path = entry.path.c_str();
    const int year = static_cast<int>(t.year()) + 2000;
    const int month = static_cast<int>(t.month());
    const int day = static_cast<int>(t.day());
    const int hour = static_cast<int>(t.hour());
    const int minute = static_cast<int>(t.minute());
    const int second = static_cast<int>(t.second());
    const int shownDuration = static_cast<int>(f.duration > 0x7FFFFFFF ? 0x7FFFFFFF : f.duration);

    switch (type) {
    case emFileType_Video:
        if (!m_CommonRecordFileIndex.AddRecFile(t, duration, packed, size)) {
            printf("m_CommonRecordFileIndex.AddRecFile(%s) ERROR[%04d/%02d/%02d %02d:%02d:%02d,%d,%d]...\n", path,
                   year, month, day, hour, minute, second, shownDuration, f.index);
        }
        break;
    case emFileType_TitleImg:
    case emFileType_TimestampImg: {
        const BOOL ok = type == emFileType_TitleImg ? m_CommonRecordFileIndex.AddRecFileTitle(t, f.index, size)
                                                    : m_CommonRecordFileIndex.AddRecFileTimestamp(t, f.index, size);
        if (!ok) {
            XDeleteFile(path);
            printf("m_CommonRecordFileIndex.AddRecFile(%s) ERROR[%04d/%02d/%02d %02d:%02d:%02d,%d,%d]...\n", path,
                   year, month, day, hour, minute, second, shownDuration, f.index);
        }
        break;
    }
    case emFileType_AlarmVideo: {
        uint32_t trigger = 0;
        CAssociatedData* records = nullptr;
        CAssociatedDataReader::GetAlarmVideoFileAssociatedData(path, &trigger, &records);
        if (!m_AlarmRecordFileIndex.AddRecFile(t, duration, packed, size, trigger)) {
            printf("m_AlarmRecordFileIndex.AddRecFile(%s) ERROR[%04d/%02d/%02d %02d:%02d:%02d,%d,%d]...\n", path,
                   year, month, day, hour, minute, second, shownDuration, f.index);
            XPutAssociatedDataList(records);
        } else if (records != nullptr && !m_AlarmRecordFileIndex.AddRecAssociatedData(t, f.index, records)) {
            printf("m_AlarmRecordFileIndex.AddRecAssociatedData(%s) ERROR...\n", path);
            XPutAssociatedDataList(records);
        }
        break;
    }
    case emFileType_AlarmTitleImg:
        if (!m_AlarmRecordFileIndex.AddRecFileTitle(t, f.index, size)) {
            XDeleteFile(path);
            printf("m_AlarmRecordFileIndex.AddRecFile(%s) ERROR[%04d/%02d/%02d %02d:%02d:%02d,%d,%d]...\n", path,
                   year, month, day, hour, minute, second, shownDuration, f.index);
        }
        break;
    case emFileType_AlarmImg:
        if (!m_AlarmImageFileIndex.AddRecFile(t, 0u, f.type, f.index, size)) {
            printf("m_AlarmRecordFileIndex.AddRecFile(%s) ERROR[%04d/%02d/%02d %02d:%02d:%02d,%d,%d]...\n", path,
                   year, month, day, hour, minute, second, 0, f.index);
        }
        break;
    default:
        break;
    }
}
