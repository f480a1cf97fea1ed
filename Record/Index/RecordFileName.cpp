#include "Record/Index/RecordFileName.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "Function/XLog.h"
#include "Record/Index/DecimalText.h"
#include "Record/Index/RecordNameTokens.h"

namespace {

// Folders are made searchable: a directory without execute bits cannot be
// entered by anyone but root.
constexpr mode_t kDirMode = 0777;

// Appends printf output to buf[n..size); false (buf emptied) when it does not fit.
bool XAppend(char* buf, size_t size, size_t& n, const char* fmt, ...) __attribute__((format(printf, 4, 5)));

bool XAppend(char* buf, size_t size, size_t& n, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int w = vsnprintf(buf + n, size - n, fmt, ap);
    va_end(ap);
    if (w < 0 || static_cast<size_t>(w) >= size - n) {
        buf[0] = '\0';
        return false;
    }
    n += static_cast<size_t>(w);
    return true;
}

// Appends `len` bytes; false (buf emptied) when they do not fit.
bool XAppendBytes(char* buf, size_t size, size_t& n, const char* text, size_t len)
{
    if (len >= size - n) {
        buf[0] = '\0';
        return false;
    }
    memcpy(buf + n, text, len);
    n += len;
    buf[n] = '\0';
    return true;
}

bool XAppendFolder(char* buf, size_t size, size_t& n, const char* folder)
{
    if (folder == nullptr || folder[0] == '\0') {
        return true;
    }
    const size_t len = strlen(folder);
    return XAppendBytes(buf, size, n, folder, len) && (folder[len - 1] == '/' || XAppendBytes(buf, size, n, "/", 1));
}

// root/subdir, or empty when both are missing; false when too long.
bool XMakeFolder(char* buf, size_t size, const char* root, const char* subdir)
{
    size_t n = 0;
    buf[0] = '\0';
    return XAppendFolder(buf, size, n, root) && XAppendFolder(buf, size, n, subdir);
}

bool XCreateFolder(const char* root, const char* subdir)
{
    char dir[RECORD_NAME_BUF_SIZE];
    if (!XMakeFolder(dir, sizeof(dir), root, subdir)) {
        return false;
    }
    return dir[0] == '\0' || XCreateFullPathDir(dir, kDirMode);
}

}  // namespace

BOOL XMakeRecFilePath(char* buf, size_t size, const char* root, const char* subdir, const RecFileNameFields& fields,
                      const char* ext)
{
    if (buf == nullptr || size == 0) {
        return 0;
    }
    size_t n = 0;
    buf[0] = '\0';
    if (!XAppendFolder(buf, size, n, root) || !XAppendFolder(buf, size, n, subdir)) {
        return 0;
    }
    // The name is written in place: 1 + 14 + 21 + 12 + 5 + 2 + 1 bytes at most
    // before the extension.
    char name[64];
    char* p = name;
    if (fields.type != '\0') {
        *p++ = fields.type;
    }
    p = XWriteNameTime(p, fields.time);
    if (fields.bHasDuration) {
        *p++ = '_';
        p = XWriteSignedDecimal(p, fields.duration);
    }
    if (fields.index > 0) {
        *p++ = '(';
        p = XWriteDecimal(p, static_cast<unsigned>(fields.index));
        *p++ = ')';
    }
    if (fields.resolution == 720) {
        memcpy(p, "_720p", 5);
        p += 5;
    }
    if (fields.bParking) {
        *p++ = '_';
        *p++ = 'P';
    }
    if (ext != nullptr) {
        *p++ = '.';
    }
    if (!XAppendBytes(buf, size, n, name, static_cast<size_t>(p - name))) {
        return 0;
    }
    return ext == nullptr || XAppendBytes(buf, size, n, ext, strlen(ext)) ? 1 : 0;
}

BOOL XParseRecFileName(const char* name, emRecFileNameKind kind, const char* ext, RecFileNameFields& fields,
                       emRecFileNameRule rule)
{
    // Longest duration and index texts (with leading zeros on a card).
    constexpr int kMaxDurationDigits = 10;
    constexpr int kMaxIndexDigits = 3;
    const bool card = rule == emRecFileNameRule_Card;
    fields = RecFileNameFields{};
    if (name == nullptr || ext == nullptr || strnlen(name, RECORD_NAME_BUF_SIZE) >= RECORD_NAME_BUF_SIZE) {
        return 0;
    }
    const char* p = name;
    if (kind == emRecFileNameKind_Image) {
        if (card && *p >= 'a' && *p <= 'z') {
            fields.type = static_cast<char>(*p++ - 'a' + 'A');
        } else if (*p >= 'A' && *p <= 'Z') {
            fields.type = *p++;
        } else {
            return 0;
        }
    }
    if (!XNameTime(p, fields.time)) {
        return 0;
    }
    if (card) {
        fields.resolution = 1080;
    }
    if (kind == emRecFileNameKind_Video) {
        uint64_t duration;
        if (*p++ != '_' || !XNameNumber(p, kMaxDurationDigits, card, duration) || duration > 0xFFFFFFFFu) {
            return 0;
        }
        fields.bHasDuration = 1;
        fields.duration = static_cast<int64_t>(duration);
    }
    if (*p == '(') {
        ++p;
        uint64_t index;
        if (!XNameNumber(p, kMaxIndexDigits, card, index) || (!card && index == 0) ||
            index > RECORD_MAX_NAME_INDEX || *p++ != ')') {
            return 0;
        }
        fields.index = static_cast<int>(index);
    }
    if (kind == emRecFileNameKind_Video) {
        fields.resolution = XNameText(p, "_720p") ? 720 : 1080;
        fields.bParking = XNameText(p, "_P") ? 1 : 0;
    }
    if (*p++ != '.' || !XNameText(p, ext) || *p != '\0') {
        return 0;
    }
    return 1;
}

CRecordFileName::CRecordFileName()
    : m_TimePart(RECTIME::Make(0, 1, 1, 0, 0, 0)), m_IndexPart(0), m_DurationPart(0), m_FileSize(0)
{
}

RecFileNameFields CRecordFileName::Fields(int index, BOOL bHasDuration) const
{
    RecFileNameFields fields{};
    fields.time = m_TimePart;
    fields.bHasDuration = bHasDuration ? 1 : 0;
    fields.duration = m_DurationPart;
    fields.index = index;
    return fields;
}

BOOL CRecordFileName::CreateUnique(const char* root, const char* subdir, const char* ext, BOOL bHasDuration,
                                   char* filename)
{
    if (filename == nullptr) {
        return 0;
    }
    filename[0] = '\0';
    if (!XCreateFolder(root, subdir)) {
        return 0;
    }
    for (int index = 0; index <= RECORD_MAX_NAME_INDEX; ++index) {
        if (!XMakeRecFilePath(filename, RECORD_NAME_BUF_SIZE, root, subdir, Fields(index, bHasDuration), ext)) {
            return 0;
        }
        if (!XFilePathExists(filename)) {
            m_IndexPart = index;
            return 1;
        }
    }
    XERROR("No free name index for %s.\n", filename);
    filename[0] = '\0';
    return 0;
}

BOOL CRecordFileName::CreateFileName(const char* root, const char* subdir, const char* ext, time_t time,
                                     int duration, char* filename)
{
    Second2RECTIME(time, m_TimePart);
    m_DurationPart = duration;
    m_IndexPart = 0;
    return CreateUnique(root, subdir, ext, 1, filename);
}

BOOL CRecordFileName::CreateFileName(const char* root, const char* subdir, const char* ext, time_t time,
                                     char* filename)
{
    RECTIME t;
    Second2RECTIME(time, t);
    return CreateFileName(root, subdir, ext, t, filename);
}

BOOL CRecordFileName::CreateFileName(const char* root, const char* subdir, const char* ext, const RECTIME& time,
                                     char* filename)
{
    m_TimePart = time;
    m_IndexPart = 0;
    return CreateUnique(root, subdir, ext, 0, filename);
}

BOOL CRecordFileName::CreateFileName(const char* root, const char* subdir, const char* ext, const RECTIME& timedir,
                                     int dirindex, unsigned timestamp, char* filename)
{
    if (filename == nullptr) {
        return 0;
    }
    filename[0] = '\0';
    m_TimePart = timedir;
    m_IndexPart = dirindex;
    char folder[RECORD_NAME_BUF_SIZE];
    char dir[RECORD_NAME_BUF_SIZE];
    if (!XMakeFolder(folder, sizeof(folder), root, subdir) ||
        !XMakeRecFilePath(dir, sizeof(dir), folder, nullptr, Fields(dirindex, 0), nullptr)) {
        return 0;
    }
    size_t n = strlen(dir);
    if (!XAppend(dir, sizeof(dir), n, "/") || !XCreateFullPathDir(dir, kDirMode)) {
        return 0;
    }
    n = 0;
    return XAppend(filename, RECORD_NAME_BUF_SIZE, n, "%s%u.%s", dir, timestamp, ext != nullptr ? ext : "") ? 1 : 0;
}

BOOL CRecordFileName::GetFileName(const char* root, const char* subdir, const char* ext, BOOL bHasDuration,
                                  BOOL bCheckExists, char* filename) const
{
    if (!XMakeRecFilePath(filename, RECORD_NAME_BUF_SIZE, root, subdir, Fields(m_IndexPart, bHasDuration), ext)) {
        return 0;
    }
    return bCheckExists ? XFilePathExists(filename) : 1;
}

BOOL CRecordFileName::GetFileName2(const char* root, const char* subdir, const char* ext, int index,
                                   BOOL bHasDuration, char* filename) const
{
    if (filename == nullptr) {
        return 0;
    }
    filename[0] = '\0';
    if (!XCreateFolder(root, subdir)) {
        return 0;
    }
    return XMakeRecFilePath(filename, RECORD_NAME_BUF_SIZE, root, subdir, Fields(index, bHasDuration), ext);
}

BOOL CRecordFileName::CheckFileExists(const char* root, const char* subdir, const char* ext, int index,
                                      BOOL bHasDuration) const
{
    char filename[RECORD_NAME_BUF_SIZE];
    return XMakeRecFilePath(filename, sizeof(filename), root, subdir, Fields(index, bHasDuration), ext) &&
           XFilePathExists(filename);
}

BOOL CRecordFileName::GetDirName(const char* root, BOOL bCheckExists, BOOL bHasRootPath, char* dirname) const
{
    if (!XMakeRecFilePath(dirname, RECORD_NAME_BUF_SIZE, bHasRootPath ? root : nullptr, nullptr,
                          Fields(m_IndexPart, 0), nullptr)) {
        return 0;
    }
    if (!bCheckExists) {
        return 1;
    }
    if (bHasRootPath) {
        return XFilePathExists(dirname);
    }
    char full[RECORD_NAME_BUF_SIZE];
    return XMakeRecFilePath(full, sizeof(full), root, nullptr, Fields(m_IndexPart, 0), nullptr) &&
           XFilePathExists(full);
}
