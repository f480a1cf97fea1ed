#ifndef PLATFORM_DEVFILE_H
#define PLATFORM_DEVFILE_H

// Open, request and close of the SoC's device files (/dev/acodec, ...), named
// by their device path. On the camera these are the kernel's own calls; on
// the simulated board the path resolves under the board root and each known
// device is a model that decodes its requests into state (unknown files are
// opened as plain files and refuse every request).
//
// XDevOpen returns a descriptor or -1 (errno set); XDevIoctl returns the
// request's result (-1 with errno set on failure); XDevClose returns 0 or -1.
int XDevOpen(const char* devpath, int flags);
int XDevIoctl(int fd, unsigned long request, void* arg);
int XDevClose(int fd);
// Write and read on a device file: bytes moved, or -1 with errno set.
long XDevWrite(int fd, const void* buf, unsigned long len);
long XDevRead(int fd, void* buf, unsigned long len);

#endif
