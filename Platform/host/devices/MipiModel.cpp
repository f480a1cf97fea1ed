#include "Platform/host/devices/MipiModel.h"

#include <errno.h>

#include <cstdio>
#include <cstring>

#include "Platform/BoardRoot.h"

CMipiModel* CMipiModel::instance()
{
    static CMipiModel* model = new CMipiModel;  // outlives every thread
    return model;
}

CMipiModel::CMipiModel() : m_nSets(0), m_nFailError(0), m_nFailTimes(0)
{
    memset(&m_Attr, 0, sizeof(m_Attr));
}

int CMipiModel::Open()
{
    return 0;
}

void CMipiModel::Close()
{
}

int CMipiModel::Ioctl(unsigned long request, void* arg)
{
    if (static_cast<uint32_t>(request) != HI_MIPI_SET_DEV_ATTR) {
        errno = ENOTTY;
        return -1;
    }
    if (arg == nullptr) {
        errno = EFAULT;
        return -1;
    }
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_nFailTimes != 0) {
        if (m_nFailTimes > 0) {
            m_nFailTimes--;
        }
        errno = m_nFailError;
        return -1;
    }
    memcpy(&m_Attr, arg, sizeof(m_Attr));
    m_nSets++;
    const std::string path = XBoardPath("/log/hi_mipi.bin");
    if (FILE* f = fopen(path.c_str(), "wb")) {
        fwrite(&m_Attr, sizeof(m_Attr), 1, f);
        fclose(f);
    }
    return 0;
}

void CMipiModel::ResetModel()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    memset(&m_Attr, 0, sizeof(m_Attr));
    m_nSets = 0;
    m_nFailError = 0;
    m_nFailTimes = 0;
}

int CMipiModel::Attr(combo_dev_attr_t* attr)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_nSets == 0) {
        return 0;
    }
    *attr = m_Attr;
    return 1;
}

int CMipiModel::SetCount()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_nSets;
}

void CMipiModel::FailSet(int error, int times)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_nFailError = error;
    m_nFailTimes = times;
}
