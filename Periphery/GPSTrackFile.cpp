#include "Periphery/GPSTrackFile.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "Function/XLog.h"
#include "Function/common.h"
#include "Periphery/SDManager.h"
#include "Platform/BoardRoot.h"

CGPSTrackFile::~CGPSTrackFile()
{
    DisableSaveData();
}

void CGPSTrackFile::SaveData(const char* line, int cardState, CCardFiles* card, CGPSLinks* links)
{
    if (m_fdGPSData < 0 && EnableSaveData(cardState, card, links)) {
        printf("SAVE GPS DATA ENABLED...\n");
    }
    if (m_fdGPSData >= 0) {
        const size_t len = strlen(line);
        if (FullWrite(m_fdGPSData, line, len) != static_cast<ssize_t>(len)) {
            XERROR("Write GPS Data Error: %s\n", strerror(errno));
        }
    }
}

BOOL CGPSTrackFile::CreateSaveGPSDataFileName(char* name, size_t size, CCardFiles* card, CGPSLinks* links)
{
    char mount[XPATH_BUF_SIZE + 1];
    if (card == nullptr || !card->GetSDMountPath(mount, sizeof(mount))) {
        return FALSE;
    }
    const std::string dir = XBoardPath(std::string(mount) + "gps/");
    if (!XCreateFullPathDir(dir.c_str(), 0755)) {
        XERROR("Create Full Path [%s] Failed.\n", dir.c_str());
        return FALSE;
    }
    const time_t now = links->Now();
    tm t;
    memset(&t, 0, sizeof(t));
    gmtime_r(&now, &t);
    const int n = snprintf(name, size, "%s%04d%02d%02d.dat", dir.c_str(), t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    return n > 0 && static_cast<size_t>(n) < size ? TRUE : FALSE;
}

BOOL CGPSTrackFile::EnableSaveData(int cardState, CCardFiles* card, CGPSLinks* links)
{
    const BOOL usable = XSDStateWritable(cardState) ? TRUE : FALSE;
    if (m_PauseSaveData || !usable) {
        return FALSE;
    }
    char name[2 * XPATH_BUF_SIZE];
    if (!CreateSaveGPSDataFileName(name, sizeof(name), card, links)) {
        printf("SD INVLID(SD RW=%d(%#x))\n", usable ? 1 : 0, static_cast<unsigned>(cardState));
        return FALSE;
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

BOOL CGPSTrackFile::DisableSaveData()
{
    if (m_fdGPSData >= 0) {
        fsync(m_fdGPSData);
        close(m_fdGPSData);
        m_fdGPSData = -1;
    }
    return TRUE;
}

void CGPSTrackFile::Pause()
{
    m_PauseSaveData = TRUE;
    DisableSaveData();
}

void CGPSTrackFile::Resume()
{
    m_PauseSaveData = FALSE;
}
