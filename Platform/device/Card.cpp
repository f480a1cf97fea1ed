#include "Platform/Card.h"

#include <errno.h>
#include <sys/mount.h>

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

int PlatformCardCheckRepairedMax()
{
    // fsck.vfat: 1 errors found (repaired in the automatic mode); 2 and up
    // the check did not run.
    return 1;
}
