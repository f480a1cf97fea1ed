// The record line, the daily track files on the card and their list.
#include <errno.h>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "Function/common.h"
#include "Periphery/GPS.h"
#include "Periphery/SDManager.h"
#include "Platform/BoardRoot.h"

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

void CGPS::ClearFileList()
{
    CGuard guard(m_Mutex);
    delete m_lpGPSDataFileList;
    m_lpGPSDataFileList = nullptr;
}

void CGPS::ClearRecordLine()
{
    CGuard guard(m_Mutex);
    m_szPrivGPSData[0] = '\0';
}

BOOL CGPS::IsCardUsable(int state) const
{
    return XSDStateWritable(state) ? TRUE : FALSE;
}

void CGPS::SaveData()
{
    CGuard guard(m_Mutex);
    const time_t now = Links()->Now();
    tm t;
    memset(&t, 0, sizeof(t));
    gmtime_r(&now, &t);
    const tagRecommendedMinimumData& r = m_RecommendedMinimumData;
    // an indicator that did not come is an empty part, never a NUL
    const char ns[2] = {r.NSIndicator, '\0'};
    const char we[2] = {r.WEIndicator, '\0'};
    snprintf(m_szPrivGPSData, sizeof(m_szPrivGPSData), "%04d%02d%02d%02d%02d%02d,%s,%s,%s,%s,%s,%s\r\n",
             t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, r.szLatitude, ns,
             r.szLongitude, we, r.szSpeed, m_GeographicPosition.nElevation);
    if (m_fdGPSData.load() < 0 && EnableSaveData()) {
        printf("SAVE GPS DATA ENABLED...\n");
    }
    const int fd = m_fdGPSData.load();
    if (fd >= 0) {
        const size_t len = strlen(m_szPrivGPSData);
        if (FullWrite(fd, m_szPrivGPSData, len) != static_cast<ssize_t>(len)) {
            XERROR("Write GPS Data Error: %s\n", strerror(errno));
        }
    }
}

BOOL CGPS::CreateSaveGPSDataFileName(char* name, size_t size)
{
    char mount[XPATH_BUF_SIZE + 1];
    if (m_Roles.card == nullptr || !m_Roles.card->GetSDMountPath(mount, sizeof(mount))) {
        return FALSE;
    }
    const std::string dir = XBoardPath(std::string(mount) + "gps/");
    if (!XCreateFullPathDir(dir.c_str(), 0755)) {
        XERROR("Create Full Path [%s] Failed.\n", dir.c_str());
        return FALSE;
    }
    const time_t now = Links()->Now();
    tm t;
    memset(&t, 0, sizeof(t));
    gmtime_r(&now, &t);
    const int n = snprintf(name, size, "%s%04d%02d%02d.dat", dir.c_str(), t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    return n > 0 && static_cast<size_t>(n) < size ? TRUE : FALSE;
}

BOOL CGPS::EnableSaveData()
{
    CGuard guard(m_Mutex);
    const int state = m_SDState.load();
    if (m_PauseSaveData.load() || !IsCardUsable(state)) {
        return FALSE;
    }
    char name[2 * XPATH_BUF_SIZE];
    if (!CreateSaveGPSDataFileName(name, sizeof(name))) {
        printf("SD INVLID(SD RW=%d(%#x))\n", IsCardUsable(state) ? 1 : 0, static_cast<unsigned>(state));
        return FALSE;
    }
    if (m_fdGPSData.load() >= 0) {
        return TRUE;
    }
    const int fd = open(name, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        XERROR("Open File %s Error.\n", name);
        return FALSE;
    }
    lseek(fd, 0, SEEK_END);
    if (FullWrite(fd, "#\r\n", 3) != 3) {
        XERROR("Write GPS Data Error: %s\n", strerror(errno));
    }
    m_fdGPSData = fd;
    return TRUE;
}

BOOL CGPS::DisableSaveData()
{
    CGuard guard(m_Mutex);
    const int fd = m_fdGPSData.load();
    if (fd >= 0) {
        fsync(fd);
        close(fd);
        m_fdGPSData = -1;
    }
    return TRUE;
}

BOOL CGPS::PauseSaveData()
{
    CGuard guard(m_Mutex);
    m_PauseSaveData = TRUE;
    DisableSaveData();
    return TRUE;
}

BOOL CGPS::ResumeSaveData()
{
    CGuard guard(m_Mutex);
    m_PauseSaveData = FALSE;
    return TRUE;
}

int CGPS::SDCardStateChange(int state, void* priv)
{
    return static_cast<CGPS*>(priv)->OnSDCardStateChange(state);
}

int CGPS::OnSDCardStateChange(int state)
{
    printf("IN GPS SD CALLBACK...\n");
    CGuard guard(m_Mutex);
    m_SDState = state;
    // every notification rebuilds the list from the folder
    ClearFileList();
    const int need = emSDState_Insert | emSDState_Mount;
    char mount[XPATH_BUF_SIZE + 1];
    if ((state & need) == need && m_Roles.card != nullptr && m_Roles.card->GetSDMountPath(mount, sizeof(mount))) {
        ScanGPSFile(XBoardPath(std::string(mount) + "gps/").c_str());
    }
    if (!IsCardUsable(state)) {
        DisableSaveData();
    }
    return 0;
}

void CGPS::ScanGPSFile(const char* dir)
{
    CGuard guard(m_Mutex);
    const time_t now = Links()->Now();
    tm today;
    memset(&today, 0, sizeof(today));
    gmtime_r(&now, &today);
    const time_t cutoff = XUtcMidnight(today.tm_year + 1900, today.tm_mon + 1, today.tm_mday) -
                          static_cast<time_t>(m_GPSDataSaveTime) * 86400;

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
        node->m_lpNext = m_lpGPSDataFileList;
        m_lpGPSDataFileList = node;
    } while (XFindNextFile(&ctx, &info));
    XCloseFindFile(&ctx, FALSE);
}

int CGPS::GetGPSFileListAsJSON(char* buf, int size)
{
    CGuard guard(m_Mutex);
    if (buf == nullptr || size <= kJsonHeadLen) {
        return -1;
    }
    memcpy(buf, kJsonHead, static_cast<size_t>(kJsonHeadLen));
    int len = kJsonHeadLen;
    for (const CGPSFile* f = m_lpGPSDataFileList; f != nullptr; f = f->m_lpNext) {
        const int left = size - len;
        const bool first = f == m_lpGPSDataFileList;
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

BOOL CGPS::GetGPSData(char* data, unsigned int* len)
{
    CGuard guard(m_Mutex);
    if (m_szPrivGPSData[0] == '\0') {
        return FALSE;
    }
    size_t n = strcspn(m_szPrivGPSData, "\r\n");
    if (n > GPS_BUFF_SIZE - 1) {
        n = GPS_BUFF_SIZE - 1;
    }
    memcpy(data, m_szPrivGPSData, n);
    data[n] = '\0';
    if (len != nullptr) {
        *len = static_cast<unsigned int>(n);
    }
    return TRUE;
}

int CGPS::GetGPSPositon(char* out, size_t size)
{
    CGuard guard(m_Mutex);
    if (m_szPrivGPSData[0] == '\0' || out == nullptr || size == 0) {
        return -1;
    }
    // parts 2 (latitude) and 4 (longitude) of the record line
    std::string parts[5];
    size_t k = 0;
    for (const char* p = m_szPrivGPSData; *p != '\0' && *p != '\r' && k < 5; ++p) {
        if (*p == ',') {
            ++k;
        } else if (k < 5) {
            parts[k] += *p;
        }
    }
    const int n = snprintf(out, size, "%s,%s", parts[3].c_str(), parts[1].c_str());
    return n >= 0 && static_cast<size_t>(n) < size ? n : -1;
}
