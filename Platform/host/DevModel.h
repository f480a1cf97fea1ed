#ifndef PLATFORM_HOST_DEVMODEL_H
#define PLATFORM_HOST_DEVMODEL_H

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
};

#endif
