#include "FactoryTest/FactoryTest.h"

#include <errno.h>
#include <fcntl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Function/ByteOrder.h"
#include "Function/Crc32.h"
#include "Function/XLog.h"
#include "Platform/DevFile.h"
#include "Platform/Mtd.h"

namespace {

const long kEnvOffset = 0x80000;
const long kEnvSize = 0x40000;

}  // namespace


CFactoryTest::CFactoryTest()
    : CThread(FALSE, 0, 0),
      m_lpEnvDev(MTD_DEVICE_PATH),
      m_EnvOffset(kEnvOffset),
      m_EnvSize(kEnvSize),
      m_lpEnvBuff(nullptr),
      m_lpEnvData(nullptr),
      m_bFactoryTestOK(FALSE),
      m_bBurnInTesting(FALSE),
      m_bFactoryTesting(FALSE),
      m_bFactoryCheckModel(FALSE),
      m_bForceDiscorvery(FALSE),
      m_bEnableDiscorvery(FALSE),
      m_MACAddr(),
      m_DevTitle(),
      m_bSDRegistered(FALSE),
      m_sockServerTcp(-1),
      m_sockServerUdp(-1),
      m_ReqTcp(nullptr),
      m_ReqUdp(nullptr),
      m_UdpPort(FACTORY_TEST_UDP_PORT),
      m_TcpPort(FACTORY_TEST_TCP_PORT),
      m_UdpPortBound(0),
      m_TcpPortBound(0)
{
    snprintf(m_DevTitle, sizeof(m_DevTitle), "%s", "kx-recorder");
}

CFactoryTest::~CFactoryTest()
{
    DestroyThread(TRUE);
    CleanUpRequest();
    free(m_lpEnvBuff);
}

void CFactoryTest::SetServerPorts(unsigned short udp, unsigned short tcp)
{
    std::lock_guard<std::mutex> lock(m_StartLock);
    m_UdpPort = udp;
    m_TcpPort = tcp;
}

std::string CFactoryTest::GetDevTitle()
{
    std::lock_guard<std::mutex> lock(m_TitleLock);
    return std::string(m_DevTitle);
}

void CFactoryTest::SetEnvLocation(const char* devpath, long offset, long size)
{
    std::lock_guard<std::recursive_mutex> lock(m_EnvLock);
    ReleaseLocked();
    m_lpEnvDev = devpath;
    m_EnvOffset = offset;
    m_EnvSize = size;
}

BOOL CFactoryTest::Init()
{
    {
        std::lock_guard<std::mutex> lock(m_StartLock);
        if (!m_bSDRegistered && m_Roles.card != nullptr) {
            m_bSDRegistered = m_Roles.card->RegisterSDStateCallback(SDCardStateChange, this);
        }
    }
    {
        std::lock_guard<std::recursive_mutex> lock(m_EnvLock);
        const int r = LoadLocked();
        if (r < 0) {
            return FALSE;
        }
        if (r == 1) {
            printf("Device Not Init...\n");
        } else {
            PrintEnv("firmware_ver");
        }
        m_bFactoryTestOK = CheckTestDone();
    }
    if (!m_bFactoryTestOK) {
        return EnableDiscovery();
    }
    printf("FACTORY TEST WAS DONE.\n");
    return TRUE;
}

void CFactoryTest::CleanUp()
{
    DestroyThread(TRUE);
}

void CFactoryTest::ReleaseLocked()
{
    free(m_lpEnvBuff);
    m_lpEnvBuff = nullptr;
    m_lpEnvData = nullptr;
}

int CFactoryTest::LoadLocked()
{
    const char* dev = m_lpEnvDev.c_str();
    int fd = XDevOpen(dev, O_RDONLY);
    if (fd < 0) {
        printf("Can't open %s: %s\n", dev, strerror(errno));
        ReleaseLocked();
        return -1;
    }
    mtd_info_user info;
    memset(&info, 0, sizeof(info));
    if (XDevIoctl(fd, MEMGETINFO, &info) != 0) {
        printf("Can't get MTD info on %s: %s\n", dev, strerror(errno));
        XDevClose(fd);
        ReleaseLocked();
        return -1;
    }
    if (info.type != MTD_NORFLASH && info.type != MTD_NANDFLASH) {
        XERROR("Unsupported flash type %u\n", static_cast<unsigned>(info.type));
        XDevClose(fd);
        ReleaseLocked();
        return -1;
    }
    if (m_lpEnvBuff == nullptr) {
        m_lpEnvBuff = static_cast<unsigned char*>(malloc(static_cast<size_t>(m_EnvSize)));
        if (m_lpEnvBuff == nullptr) {
            XDevClose(fd);
            return -1;
        }
    }
    m_lpEnvData = nullptr;
    memset(m_lpEnvBuff, 0, static_cast<size_t>(m_EnvSize));
    if (XDevSeek(fd, m_EnvOffset) != m_EnvOffset) {
        printf("Seek error on %s: %s\n", dev, strerror(errno));
        XDevClose(fd);
        ReleaseLocked();
        return -1;
    }
    errno = 0;
    if (XDevRead(fd, m_lpEnvBuff, static_cast<unsigned long>(m_EnvSize)) != m_EnvSize) {
        printf("Read error on %s: %s\n", dev, strerror(errno));
        XDevClose(fd);
        ReleaseLocked();
        return -1;
    }
    XDevClose(fd);
    m_lpEnvData = reinterpret_cast<Environment*>(m_lpEnvBuff);
    // every load checks the CRC: a damaged block reads as an empty list, so
    // no save stamps it with a valid CRC
    const uint32_t stored = XGetLE32(m_lpEnvBuff);
    if (crc32(0, m_lpEnvBuff + 4, static_cast<size_t>(m_EnvSize - 4)) != stored) {
        memset(m_lpEnvBuff, 0, static_cast<size_t>(m_EnvSize));
        return 1;
    }
    return 0;
}

BOOL CFactoryTest::ReadEnvData()
{
    std::lock_guard<std::recursive_mutex> lock(m_EnvLock);
    return LoadLocked() >= 0 ? TRUE : FALSE;
}

BOOL CFactoryTest::SaveEnvData()
{
    std::lock_guard<std::recursive_mutex> lock(m_EnvLock);
    if (m_lpEnvData == nullptr) {
        return FALSE;
    }
    XPutLE32(m_lpEnvBuff, crc32(0, m_lpEnvBuff + 4, static_cast<size_t>(m_EnvSize - 4)));
    const char* dev = m_lpEnvDev.c_str();
    int fd = XDevOpen(dev, O_RDWR);
    if (fd < 0) {
        printf("Can't open %s: %s\n", dev, strerror(errno));
        return FALSE;
    }
    mtd_info_user info;
    memset(&info, 0, sizeof(info));
    if (XDevIoctl(fd, MEMGETINFO, &info) != 0) {
        printf("Can't get MTD info on %s: %s\n", dev, strerror(errno));
        XDevClose(fd);
        return FALSE;
    }
    if (info.type != MTD_NORFLASH) {
        XERROR("Unsupported flash type %u\n", static_cast<unsigned>(info.type));
        XDevClose(fd);
        return FALSE;
    }
    erase_info_user region;
    region.start = static_cast<uint32_t>(m_EnvOffset);
    region.length = static_cast<uint32_t>(m_EnvSize);
    XDevIoctl(fd, MEMUNLOCK, &region);
    if (XDevIoctl(fd, MEMERASE, &region) != 0) {
        printf("MTD erase error on %s: %s\n", dev, strerror(errno));
        XDevClose(fd);
        return FALSE;
    }
    printf("ERASE %x %x OK\n", region.start, region.length);
    if (XDevSeek(fd, m_EnvOffset) != m_EnvOffset) {
        printf("Seek error on %s: %s\n", dev, strerror(errno));
        XDevClose(fd);
        return FALSE;
    }
    errno = 0;
    if (XDevWrite(fd, m_lpEnvBuff, static_cast<unsigned long>(m_EnvSize)) != m_EnvSize) {
        printf("Write error on %s: %s\n", dev, strerror(errno));
        XDevClose(fd);
        return FALSE;
    }
    XDevIoctl(fd, MEMLOCK, &region);
    XDevClose(fd);
    return TRUE;
}

const char* CFactoryTest::MatchEnv(const char* name, const char* entry)
{
    while (*name == *entry) {
        if (*name == '\0') {
            return nullptr;  // the entry has no '='
        }
        if (*name == '=') {
            return entry + 1;
        }
        ++name;
        ++entry;
    }
    if (*name == '\0' && *entry == '=') {
        return entry + 1;
    }
    return nullptr;
}

BOOL CFactoryTest::WalkLocked(const char* name, long& found, long& foundEnd, long& listEnd)
{
    found = -1;
    foundEnd = -1;
    const char* base = reinterpret_cast<const char*>(m_lpEnvBuff);
    long pos = 4;
    while (pos >= m_EnvSize || base[pos] != '\0') {
        const void* nul = pos < m_EnvSize ? memchr(base + pos, 0, static_cast<size_t>(m_EnvSize - pos))
                                          : nullptr;
        if (nul == nullptr) {
            printf("## Environment not terminated\n");
            return FALSE;
        }
        const long end = static_cast<const char*>(nul) - base;
        if (found < 0 && name != nullptr && MatchEnv(name, base + pos) != nullptr) {
            found = pos;
            foundEnd = end + 1;
        }
        pos = end + 1;
    }
    listEnd = pos;
    return TRUE;
}

const char* CFactoryTest::GetEnvLocked(const char* name)
{
    if (m_lpEnvData == nullptr || name == nullptr) {
        return nullptr;
    }
    long found, foundEnd, listEnd;
    if (!WalkLocked(name, found, foundEnd, listEnd) || found < 0) {
        return nullptr;
    }
    return MatchEnv(name, reinterpret_cast<const char*>(m_lpEnvBuff) + found);
}

const char* CFactoryTest::GetEnv(const char* name)
{
    std::lock_guard<std::recursive_mutex> lock(m_EnvLock);
    return GetEnvLocked(name);
}

BOOL CFactoryTest::GetEnvValue(const char* name, std::string& value)
{
    std::lock_guard<std::recursive_mutex> lock(m_EnvLock);
    const char* v = GetEnvLocked(name);
    if (v == nullptr) {
        return FALSE;
    }
    value = v;
    return TRUE;
}

BOOL CFactoryTest::SetEnv(const char* name, const char* value)
{
    // an empty name or one holding '=' would delete another variable and
    // write an entry no lookup finds
    if (name == nullptr || name[0] == '\0' || strchr(name, '=') != nullptr) {
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> lock(m_EnvLock);
    if (m_lpEnvData == nullptr) {
        return FALSE;
    }
    long found, foundEnd, listEnd;
    if (!WalkLocked(name, found, foundEnd, listEnd)) {
        return FALSE;
    }
    char* base = reinterpret_cast<char*>(m_lpEnvBuff);
    if (found >= 0) {
        // move the rest of the list, its closing NUL too, over the entry
        memmove(base + found, base + foundEnd, static_cast<size_t>(listEnd + 1 - foundEnd));
        listEnd -= foundEnd - found;
        base[listEnd] = '\0';
        if (listEnd + 1 < m_EnvSize) {
            base[listEnd + 1] = '\0';
        }
    }
    if (value == nullptr) {
        return TRUE;
    }
    const long needed = static_cast<long>(strlen(name) + strlen(value) + 3);
    if (m_EnvSize - listEnd < needed) {
        printf("Environment overflow, \"%s\" deleted\n", name);
        return FALSE;
    }
    char* p = base + listEnd;
    p += sprintf(p, "%s=%s", name, value);
    p[0] = '\0';
    p[1] = '\0';
    return TRUE;
}

BOOL CFactoryTest::PrintEnv(const char* name)
{
    std::lock_guard<std::recursive_mutex> lock(m_EnvLock);
    if (name != nullptr) {
        const char* v = GetEnvLocked(name);
        if (v != nullptr) {
            printf("%s=%s\n", name, v);
        } else {
            printf("ENV '%s' NOT SET\n", name);
        }
        return TRUE;
    }
    printf("-----print uboot env info-----------\n");
    long found, foundEnd, listEnd;
    if (m_lpEnvData != nullptr && WalkLocked(nullptr, found, foundEnd, listEnd)) {
        const char* base = reinterpret_cast<const char*>(m_lpEnvBuff);
        for (long pos = 4; pos < listEnd; pos += static_cast<long>(strlen(base + pos)) + 1) {
            printf("%s\n", base + pos);
        }
    }
    printf("-----print uboot env info done------\n");
    return TRUE;
}

BOOL CFactoryTest::CheckTestDone()
{
    std::lock_guard<std::recursive_mutex> lock(m_EnvLock);
    const char* v = GetEnvLocked("factorytest");
    return v != nullptr && strcmp(v, "yes") == 0 ? TRUE : FALSE;
}

BOOL CFactoryTest::GetModelString(char* model, size_t size)
{
    if (model == nullptr || size == 0) {
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> lock(m_EnvLock);
    model[0] = '\0';
    const char* v = GetEnvLocked("devmodel");
    if (v == nullptr || v[0] == '\0') {
        return FALSE;
    }
    snprintf(model, size, "%s", v);
    return TRUE;
}
