#include "Platform/host/devices/MtdModel.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "Platform/BoardRoot.h"
#include "Platform/Mtd.h"

namespace {

const uint32_t kEraseSize = 0x10000;

bool BoardFileExists(const char* path)
{
    struct stat st;
    return stat(XBoardPath(path).c_str(), &st) == 0;
}

}  // namespace

CMtdModel* CMtdModel::instance()
{
    static CMtdModel* model = new CMtdModel;  // outlives every thread
    return model;
}

int CMtdModel::Open()
{
    return 0;
}

void CMtdModel::Close()
{
}

int CMtdModel::BoardType()
{
    std::ifstream in(XBoardPath("/dev/mtd0.type"));
    std::string word;
    if (!(in >> word) || word == "nor") {
        return MTD_NORFLASH;
    }
    if (word == "nand") {
        return MTD_NANDFLASH;
    }
    return atoi(word.c_str());
}

void CMtdModel::LogLine(const char* what, uint32_t start, uint32_t length)
{
    FILE* f = fopen(XBoardPath("/log/mtd.log").c_str(), "a");
    if (f != nullptr) {
        fprintf(f, "%s %x %x\n", what, start, length);
        fclose(f);
    }
}

int CMtdModel::Ioctl(unsigned long request, void* arg)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    MtdRequest entry = {static_cast<uint32_t>(request), 0, 0, 0};
    struct stat st;
    const std::string path = XBoardPath(MTD_DEVICE_PATH);
    int err = 0;
    if (arg == nullptr) {
        err = EFAULT;
    } else if (stat(path.c_str(), &st) != 0) {
        err = ENODEV;
    } else if (request == MEMGETINFO) {
        mtd_info_user info;
        memset(&info, 0, sizeof(info));
        info.type = static_cast<uint8_t>(m_nType >= 0 ? m_nType : BoardType());
        info.flags = info.type == MTD_NORFLASH ? MTD_CAP_NORFLASH : MTD_CAP_NANDFLASH;
        info.size = static_cast<uint32_t>(st.st_size);
        info.erasesize = kEraseSize;
        info.writesize = info.type == MTD_NORFLASH ? 1 : 2048;
        memcpy(arg, &info, sizeof(info));
    } else if (request == MEMERASE || request == MEMLOCK || request == MEMUNLOCK) {
        erase_info_user region;
        memcpy(&region, arg, sizeof(region));
        entry.start = region.start;
        entry.length = region.length;
        const uint64_t end = static_cast<uint64_t>(region.start) + region.length;
        const char* name = request == MEMERASE ? "MEMERASE" : request == MEMLOCK ? "MEMLOCK" : "MEMUNLOCK";
        if (end > static_cast<uint64_t>(st.st_size) || region.start % kEraseSize != 0 ||
            region.length % kEraseSize != 0) {
            err = EINVAL;
        } else if (request == MEMERASE) {
            if (m_nEraseTimes != 0) {
                err = m_nEraseError;
                if (m_nEraseTimes > 0) {
                    --m_nEraseTimes;
                }
            } else if (BoardFileExists("/dev/mtd0.erase-fail")) {
                err = EIO;
            } else {
                int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
                std::string ones(region.length, '\xff');
                if (fd < 0 || pwrite(fd, ones.data(), ones.size(), region.start) !=
                                  static_cast<ssize_t>(ones.size())) {
                    err = EIO;
                } else {
                    ++m_nErases;
                }
                if (fd >= 0) {
                    close(fd);
                }
            }
        }
        LogLine(err == 0 ? name : (std::string(name) + " failed").c_str(), region.start, region.length);
    } else {
        err = ENOTTY;
    }
    entry.result = err == 0 ? 0 : -1;
    m_Requests.push_back(entry);
    if (err != 0) {
        errno = err;
        return -1;
    }
    return 0;
}

unsigned long CMtdModel::Transfer(bool write, unsigned long len)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    long& limit = write ? m_nShortWrite : m_nShortRead;
    if (limit >= 0 && static_cast<unsigned long>(limit) < len) {
        len = static_cast<unsigned long>(limit);
    }
    limit = -1;
    return len;
}

void CMtdModel::ResetModel()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Requests.clear();
    m_nErases = 0;
    m_nType = -1;
    m_nEraseError = 0;
    m_nEraseTimes = 0;
    m_nShortRead = -1;
    m_nShortWrite = -1;
}

std::vector<MtdRequest> CMtdModel::Requests()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Requests;
}

uint32_t CMtdModel::Erases()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_nErases;
}

void CMtdModel::SetType(int type)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_nType = type;
}

void CMtdModel::FailErase(int error, int times)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_nEraseError = error;
    m_nEraseTimes = times;
}

void CMtdModel::ShortRead(unsigned long len)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_nShortRead = static_cast<long>(len);
}

void CMtdModel::ShortWrite(unsigned long len)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_nShortWrite = static_cast<long>(len);
}
