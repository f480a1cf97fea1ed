#include "Platform/DevFile.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

int XDevOpen(const char* devpath, int flags)
{
    return open(devpath, flags | O_CLOEXEC);
}

int XDevIoctl(int fd, unsigned long request, void* arg)
{
    return ioctl(fd, request, arg);
}

int XDevClose(int fd)
{
    return close(fd);
}

long XDevRead(int fd, void* buf, unsigned long len)
{
    return static_cast<long>(read(fd, buf, len));
}

long XDevWrite(int fd, const void* buf, unsigned long len)
{
    return static_cast<long>(write(fd, buf, len));
}

long XDevSeek(int fd, long offset)
{
    return static_cast<long>(lseek(fd, offset, SEEK_SET));
}
