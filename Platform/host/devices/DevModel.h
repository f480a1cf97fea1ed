#ifndef PLATFORM_HOST_DEVICES_DEVMODEL_H
#define PLATFORM_HOST_DEVICES_DEVMODEL_H

// A device of the simulated board behind a device file: XDevOpen, XDevIoctl
// and XDevClose on its path reach it. Open and Ioctl return 0 (or the
// request's result) or -1 with errno set. Calls may come from any thread.
class CDevModel {
public:
    virtual ~CDevModel() = default;
    virtual int Open() = 0;
    virtual int Ioctl(unsigned long request, void* arg) = 0;
    virtual void Close() = 0;
    // Bytes of a read or write of `len` the device carries out (all of them
    // unless the model cuts it short).
    virtual unsigned long Transfer(bool write, unsigned long len) { (void)write; return len; }

    // Descriptor-aware entry points, for devices whose settings belong to
    // the open file (the I2C buses). The defaults ignore the descriptor and
    // move the board file's bytes as far as Transfer allows.
    virtual int OpenFd(int fd) { (void)fd; return 0; }
    virtual int IoctlFd(int fd, unsigned long request, void* arg) { (void)fd; return Ioctl(request, arg); }
    virtual long WriteFd(int fd, const void* buf, unsigned long len);
    virtual long ReadFd(int fd, void* buf, unsigned long len);
    virtual void CloseFd(int fd) { (void)fd; Close(); }
};

#endif
