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
#include "Platform/host/AcodecModel.h"
#include "Platform/host/DevModel.h"

namespace {

// The board's known devices, by device path.
CDevModel* ModelOf(const char* devpath)
{
    if (strcmp(devpath, ACODEC_DEVICE_PATH) == 0) {
        return CAcodecModel::instance();
    }
    return nullptr;
}

std::mutex g_OpenLock;
std::map<int, CDevModel*> g_OpenModels;  // descriptor -> its device

CDevModel* ModelOfFd(int fd)
{
    std::lock_guard<std::mutex> lock(g_OpenLock);
    auto it = g_OpenModels.find(fd);
    return it == g_OpenModels.end() ? nullptr : it->second;
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
        std::lock_guard<std::mutex> lock(g_OpenLock);
        g_OpenModels[fd] = model;
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
    return model->Ioctl(request, arg);
}

int XDevClose(int fd)
{
    CDevModel* model = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_OpenLock);
        auto it = g_OpenModels.find(fd);
        if (it != g_OpenModels.end()) {
            model = it->second;
            g_OpenModels.erase(it);
        }
    }
    if (model != nullptr) {
        model->Close();
    }
    return close(fd);
}
