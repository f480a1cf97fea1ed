#ifndef PLATFORM_MTD_H
#define PLATFORM_MTD_H

// The NOR flash of the boot loader, reached through the device seam with
// Linux's MTD requests (MEMGETINFO, MEMUNLOCK, MEMERASE, MEMLOCK).
#include <sys/ioctl.h>

#include <mtd/mtd-user.h>

#define MTD_DEVICE_PATH "/dev/mtd0"

#endif
