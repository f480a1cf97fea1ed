#include "Periphery/SDSystem.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

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
    const CFdCloser fd(open(dev, O_RDONLY | O_CLOEXEC | (S_ISBLK(st.st_mode) ? O_EXCL : 0)));
    if (fd.Get() < 0) {
        return errno;
    }
    return XReadAt(fd.Get(), offset, buf, len) ? 0 : EIO;
}

int CSDSystem::Exec(const char* cmd)
{
    return ExecCommand(cmd);
}

void CSDSystem::Sleep(unsigned ms)
{
    XSleep(ms);
}
