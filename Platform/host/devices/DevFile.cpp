#include "Platform/DevFile.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "Platform/Acodec.h"
#include "Platform/BoardRoot.h"
#include "Platform/host/audio/AcodecModel.h"
#include "Platform/host/devices/DevModel.h"
#include "Platform/host/devices/I2cModel.h"
#include "Platform/host/devices/MipiModel.h"
#include "Platform/host/devices/MtdModel.h"
#include "Platform/Mipi.h"
#include "Platform/Mtd.h"

namespace {

// The board's known devices, by device path.
CDevModel* ModelOf(const char* devpath)
{
    if (strcmp(devpath, ACODEC_DEVICE_PATH) == 0) {
        return CAcodecModel::instance();
    }
    if (strcmp(devpath, MTD_DEVICE_PATH) == 0) {
        return CMtdModel::instance();
    }
    if (strcmp(devpath, MIPI_DEVICE_PATH) == 0) {
        return CMipiModel::instance();
    }
    return CI2cModel::instance()->BusOf(devpath);
}

struct tagOpenFiles {
    std::mutex lock;
    std::map<int, CDevModel*> models;  // descriptor -> its device
};

tagOpenFiles& OpenFiles()
{
    static tagOpenFiles* files = new tagOpenFiles;  // outlives every thread
    return *files;
}

CDevModel* ModelOfFd(int fd)
{
    tagOpenFiles& f = OpenFiles();
    std::lock_guard<std::mutex> lock(f.lock);
    auto it = f.models.find(fd);
    return it == f.models.end() ? nullptr : it->second;
}

}  // namespace

int XDevOpen(const char* devpath, int flags)
{
    if (devpath == nullptr) {
        errno = EFAULT;
        return -1;
    }
    CDevModel* model = ModelOf(devpath);
    if (model != nullptr && model->Open() != 0) {
        return -1;
    }
    // The board's device file gives the descriptor; the model gives the device.
    const std::string path = XBoardPath(devpath);
    int fd = open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        if (model != nullptr) {
            model->Close();
        }
        errno = err;
        return -1;
    }
    if (model != nullptr) {
        tagOpenFiles& f = OpenFiles();
        std::lock_guard<std::mutex> lock(f.lock);
        f.models[fd] = model;
    }
    if (model != nullptr) {
        model->OpenFd(fd);  // outside the table's lock: the model has its own
    }
    return fd;
}

int XDevIoctl(int fd, unsigned long request, void* arg)
{
    CDevModel* model = ModelOfFd(fd);
    if (model == nullptr) {
        // a plain file of the board: no driver answers
        (void)request;
        (void)arg;
        errno = fcntl(fd, F_GETFD) < 0 ? EBADF : ENOTTY;
        return -1;
    }
    return model->IoctlFd(fd, request, arg);
}

int XDevClose(int fd)
{
    CDevModel* model = nullptr;
    {
        tagOpenFiles& f = OpenFiles();
        std::lock_guard<std::mutex> lock(f.lock);
        auto it = f.models.find(fd);
        if (it != f.models.end()) {
            model = it->second;
            f.models.erase(it);
        }
    }
    if (model != nullptr) {
        model->CloseFd(fd);
    }
    return close(fd);
}

long CDevModel::WriteFd(int fd, const void* buf, unsigned long len)
{
    return static_cast<long>(write(fd, buf, Transfer(true, len)));
}

long CDevModel::ReadFd(int fd, void* buf, unsigned long len)
{
    return static_cast<long>(read(fd, buf, Transfer(false, len)));
}

long XDevRead(int fd, void* buf, unsigned long len)
{
    CDevModel* model = ModelOfFd(fd);
    if (model == nullptr) {
        return static_cast<long>(read(fd, buf, len));
    }
    return model->ReadFd(fd, buf, len);
}

long XDevWrite(int fd, const void* buf, unsigned long len)
{
    CDevModel* model = ModelOfFd(fd);
    if (model == nullptr) {
        return static_cast<long>(write(fd, buf, len));
    }
    return model->WriteFd(fd, buf, len);
}

long XDevSeek(int fd, long offset)
{
    return static_cast<long>(lseek(fd, offset, SEEK_SET));
}
