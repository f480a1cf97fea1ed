#include "Periphery/SDSystem.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "Function/common.h"
#include "Periphery/GPIO.h"
#include "Platform/Card.h"

BOOL CSDSystem::ReadPhyAddr(unsigned phy_addr, int& value)
{
    return CGPIOManager::instance()->ReadPhyAddr(phy_addr, value);
}

BOOL CSDSystem::Mount(const char* dev, const char* dir, const char* fstype, BOOL bReadOnly, int& err)
{
    err = PlatformCardMount(dev, dir, fstype, bReadOnly);
    return err == 0 ? TRUE : FALSE;
}

BOOL CSDSystem::Umount(const char* dir, BOOL bDetach, int& err)
{
    err = PlatformCardUmount(dir, bDetach);
    return err == 0 ? TRUE : FALSE;
}

BOOL CSDSystem::StatFs(const char* dir, SDFsInfo& info)
{
    struct statvfs sv;
    if (dir == nullptr || statvfs(dir, &sv) != 0) {
        return FALSE;
    }
    uint64_t total = 0;
    uint64_t freeBytes = 0;
    if (!XGetDiskPartitionSpace(dir, &total, &freeBytes)) {
        return FALSE;
    }
    info.block_size = static_cast<uint32_t>(sv.f_bsize);
    info.total_bytes = total;
    info.free_bytes = freeBytes;
    return TRUE;
}

BOOL CSDSystem::ReadMountTable(const char* path, std::string& text)
{
    text.clear();
    std::ifstream in(path);
    if (!in) {
        return FALSE;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    text = ss.str();
    return TRUE;
}

int CSDSystem::ReadPartition(const char* dev, uint64_t offset, void* buf, size_t len)
{
    struct stat st;
    if (dev == nullptr || stat(dev, &st) != 0) {
        return ENOENT;
    }
    // On a block device O_EXCL fails with EBUSY while a file system has it.
    const int flags = O_RDONLY | O_CLOEXEC | (S_ISBLK(st.st_mode) ? O_EXCL : 0);
    const int fd = open(dev, flags);
    if (fd < 0) {
        return errno;
    }
    uint8_t* at = static_cast<uint8_t*>(buf);
    size_t done = 0;
    int err = 0;
    while (done < len) {
        const ssize_t n = pread(fd, at + done, len - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            err = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<size_t>(n);
    }
    close(fd);
    return err;
}

int CSDSystem::Exec(const char* cmd)
{
    return ExecCommand(cmd);
}

void CSDSystem::Sleep(unsigned ms)
{
    XSleep(ms);
}
