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
