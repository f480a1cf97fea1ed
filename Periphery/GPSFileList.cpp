#include "Periphery/GPSFileList.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Function/common.h"

namespace {

const char kJsonHead[] = "{\"gpsfolder\":\"gps\",\"gpsdata\":[";
const int kJsonHeadLen = sizeof(kJsonHead) - 1;  // 30

// Seconds of 00:00:00 UTC of the given date.
time_t XUtcMidnight(int year, int month, int day)
{
    tm t;
    memset(&t, 0, sizeof(t));
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    return timegm(&t);
}

}  // namespace

CGPSFile::CGPSFile(unsigned year, unsigned month, unsigned day) : m_lpNext(nullptr)
{
    m_FileName.day = day & 0x1Fu;
    m_FileName.month = month & 0x0Fu;
    m_FileName.year = year & 0x7FFFFFu;
}

CGPSFile::~CGPSFile()
{
    // iteratively, so a long chain does not recurse
    CGPSFile* p = m_lpNext;
    m_lpNext = nullptr;
    while (p != nullptr) {
        CGPSFile* next = p->m_lpNext;
        p->m_lpNext = nullptr;
        delete p;
        p = next;
    }
}

CGPSFileList::~CGPSFileList()
{
    Clear();
}

void CGPSFileList::Clear()
{
    delete m_lpFiles;
    m_lpFiles = nullptr;
}

void CGPSFileList::Scan(const char* dir, time_t now)
{
    tm today;
    memset(&today, 0, sizeof(today));
    gmtime_r(&now, &today);
    const time_t cutoff = XUtcMidnight(today.tm_year + 1900, today.tm_mon + 1, today.tm_mday) -
                          static_cast<time_t>(kKeepDays) * 86400;

    DIR_CTX ctx;
    memset(&ctx, 0, sizeof(ctx));
    XFileFindData info;
    if (!XFindFirstFile(dir, &ctx, &info)) {
        return;
    }
    do {
        printf("FIND IN GPS FOLDER[%s]\n", info.filename);
        if (info.is_dir || strcmp(info.filename, ".") == 0 || strcmp(info.filename, "..") == 0 ||
            strcasecmp(info.extname, "dat") != 0) {
            continue;
        }
        unsigned year = 0;
        unsigned month = 0;
        unsigned day = 0;
        if (sscanf(info.filename, "%04u%02u%02u", &year, &month, &day) != 3) {
            continue;
        }
        const std::string path = std::string(dir) + info.filename;
        char canonical[2 * XPATH_BUF_SIZE];
        snprintf(canonical, sizeof(canonical), "%s%04u%02u%02u.%s", dir, year, month, day, "dat");
        // a month or day out of range would not survive the list's bit-fields
        if (month < 1 || month > 12 || day < 1 || day > 31 || year > 9999 || !XFilePathExists(canonical)) {
            XDeleteFile(path.c_str());
            continue;
        }
        if (XUtcMidnight(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day)) < cutoff) {
            XDeleteFile(path.c_str());
            continue;
        }
        CGPSFile* node = new CGPSFile(year, month, day);
        node->m_lpNext = m_lpFiles;
        m_lpFiles = node;
    } while (XFindNextFile(&ctx, &info));
    XCloseFindFile(&ctx, FALSE);
}

int CGPSFileList::Json(char* buf, int size) const
{
    if (buf == nullptr || size <= kJsonHeadLen) {
        return -1;
    }
    memcpy(buf, kJsonHead, static_cast<size_t>(kJsonHeadLen));
    int len = kJsonHeadLen;
    for (const CGPSFile* f = m_lpFiles; f != nullptr; f = f->m_lpNext) {
        const int left = size - len;
        const bool first = f == m_lpFiles;
        if (first ? left < 16 : left <= 16) {
            return -1;
        }
        const int n = snprintf(buf + len, static_cast<size_t>(left), "%s\"%04u%02u%02u.dat\"", first ? "" : ",",
                               static_cast<unsigned>(f->m_FileName.year), static_cast<unsigned>(f->m_FileName.month),
                               static_cast<unsigned>(f->m_FileName.day));
        if (n < 0 || n >= left) {
            return -1;
        }
        len += n;
    }
    if (size - len <= 2) {
        return -1;
    }
    memcpy(buf + len, "]}", 3);
    return len + 2;
}
