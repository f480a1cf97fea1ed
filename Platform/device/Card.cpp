#include "Platform/Card.h"

#include <errno.h>
#include <sys/mount.h>
#include <sys/wait.h>

const char* PlatformCardFsType()
{
    return "vfat";
}

int PlatformCardMount(const char* source, const char* target, const char* fstype, int bReadOnly)
{
    if (source == nullptr || target == nullptr || fstype == nullptr) {
        return EINVAL;
    }
    unsigned long flags = bReadOnly ? MS_RDONLY : 0;
    return mount(source, target, fstype, flags, nullptr) == 0 ? 0 : errno;
}

int PlatformCardUmount(const char* target, int bDetach)
{
    if (target == nullptr) {
        return EINVAL;
    }
    return umount2(target, bDetach ? MNT_DETACH : 0) == 0 ? 0 : errno;
}

const char* PlatformCardCheckCommand()
{
    return "fsck.vfat -a";
}

int PlatformCardCheckResult(int status)
{
    if (status == -1 || !WIFEXITED(status)) {
        return -1;
    }
    // fsck.vfat: 1 errors found (repaired in the automatic mode), 2 and up
    // the check did not run.
    const int code = WEXITSTATUS(status);
    return code == 0 ? 0 : code == 1 ? 1 : -1;
}
