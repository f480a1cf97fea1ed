#include "Platform/host/devices/I2cModel.h"

#include <errno.h>
#include <time.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "Platform/BoardRoot.h"
#include "Platform/I2c.h"
#include "Platform/host/devices/I2cSensorModels.h"

namespace {

constexpr int kBuses = 3;
constexpr size_t kLogMax = 1 << 17;  // writes kept in process

int64_t NowUs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

class CI2cBus : public CDevModel {
public:
    explicit CI2cBus(int bus) : m_nBus(bus) {}
    int Open() override { return CI2cModel::instance()->Open(m_nBus); }
    int Ioctl(unsigned long, void*) override
    {
        errno = EBADF;
        return -1;
    }
    void Close() override {}
    int OpenFd(int fd) override
    {
        CI2cModel::instance()->OpenFd(fd, m_nBus);
        return 0;
    }
    int IoctlFd(int fd, unsigned long request, void* arg) override
    {
        return CI2cModel::instance()->Ioctl(fd, request, arg);
    }
    long WriteFd(int fd, const void* buf, unsigned long len) override
    {
        return CI2cModel::instance()->Write(fd, buf, len);
    }
    long ReadFd(int fd, void* buf, unsigned long len) override
    {
        return CI2cModel::instance()->Read(fd, buf, len);
    }
    void CloseFd(int fd) override { CI2cModel::instance()->CloseFd(fd); }

private:
    int m_nBus;
};

uint32_t LittleValue(const uint8_t* p, int n)
{
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
}

}  // namespace

CI2cModel* CI2cModel::instance()
{
    static CI2cModel* model = new CI2cModel;  // outlives every thread
    return model;
}

CI2cModel::CI2cModel()
{
    for (int i = 0; i < kBuses; ++i) {
        m_Buses.emplace_back(new CI2cBus(i));
    }
    m_Slaves[{2, CI2cSensorModel::kProxSlave}] = CI2cSensorModel::Prox();
    m_Slaves[{2, CI2cSensorModel::kAccelSlave}] = CI2cSensorModel::Accel();
}

CDevModel* CI2cModel::BusOf(const char* devpath)
{
    static const char kPrefix[] = "/dev/i2c-";
    if (strncmp(devpath, kPrefix, sizeof(kPrefix) - 1) != 0) {
        return nullptr;
    }
    const char* n = devpath + sizeof(kPrefix) - 1;
    if (n[0] < '0' || n[0] >= '0' + kBuses || n[1] != '\0') {
        return nullptr;
    }
    return m_Buses[static_cast<size_t>(n[0] - '0')].get();
}

void CI2cModel::ResetModel()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Regs.clear();
    m_Log.clear();
    m_FailOpen.clear();
    m_FailRequest.clear();
    m_nWrites = 0;
    m_nFailFrom = 0;
    m_nFailCount = 0;
}

std::vector<CI2cModel::tagWrite> CI2cModel::Log() const
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Log;
}

uint32_t CI2cModel::Peek(int bus, uint32_t slave, uint32_t reg) const
{
    std::lock_guard<std::mutex> lock(m_Lock);
    auto it = m_Regs.find(std::make_tuple(bus, slave, reg));
    return it == m_Regs.end() ? 0 : it->second;
}

void CI2cModel::Poke(int bus, uint32_t slave, uint32_t reg, uint32_t value)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Regs[std::make_tuple(bus, slave, reg)] = value;
}

void CI2cModel::FailOpen(int bus, bool fail)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_FailOpen[bus] = fail;
}

void CI2cModel::FailRequest(unsigned long request, bool fail)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_FailRequest[request] = fail;
}

void CI2cModel::FailWrite(int k, int count)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_nFailFrom = k;
    m_nFailCount = count;
}

int CI2cModel::Open(int bus)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_FailOpen[bus]) {
        errno = EIO;
        return -1;
    }
    return 0;
}

void CI2cModel::OpenFd(int fd, int bus)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    tagFile file;
    file.bus = bus;
    m_Files[fd] = file;
}

int CI2cModel::Ioctl(int fd, unsigned long request, void* arg)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    auto it = m_Files.find(fd);
    if (it == m_Files.end()) {
        errno = EBADF;
        return -1;
    }
    if (m_FailRequest[request]) {
        errno = EIO;
        return -1;
    }
    // The argument is passed by value, as the drivers do.
    const uintptr_t value = reinterpret_cast<uintptr_t>(arg);
    tagFile& f = it->second;
    switch (request) {
    case I2C_SLAVE_FORCE:
        f.slave = static_cast<uint32_t>(value & 0xFF);
        f.addressed = true;
        return 0;
    case I2C_16BIT_REG:
        f.regBytes = value != 0 ? 2 : 1;
        return 0;
    case I2C_16BIT_DATA:
        f.dataBytes = value != 0 ? 2 : 1;
        return 0;
    default:
        errno = ENOTTY;
        return -1;
    }
}

long CI2cModel::Write(int fd, const void* buf, unsigned long len)
{
    tagWrite w;
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        auto it = m_Files.find(fd);
        if (it == m_Files.end()) {
            errno = EBADF;
            return -1;
        }
        const tagFile& f = it->second;
        const unsigned long need = static_cast<unsigned long>(f.regBytes + f.dataBytes);
        if (buf == nullptr || len != need) {
            errno = EINVAL;
            return -1;
        }
        if (!f.addressed) {
            errno = ENXIO;  // no slave answers
            return -1;
        }
        ++m_nWrites;
        if (m_nFailFrom > 0 && m_nWrites >= m_nFailFrom && m_nWrites < m_nFailFrom + m_nFailCount) {
            errno = EIO;
            return -1;
        }
        const uint8_t* p = static_cast<const uint8_t*>(buf);
        w.timeUs = NowUs();
        w.bus = f.bus;
        w.slave = f.slave;
        w.reg = LittleValue(p, f.regBytes);
        w.value = LittleValue(p + f.regBytes, f.dataBytes);
        w.bytes.assign(p, p + len);
        auto chip = m_Slaves.find({w.bus, w.slave});
        if (chip != m_Slaves.end() && !chip->second->Write(w.reg, w.value)) {
            errno = EIO;  // no acknowledge
            return -1;
        }
        m_Regs[std::make_tuple(w.bus, w.slave, w.reg)] = w.value;
        m_Log.push_back(w);
        if (m_Log.size() > kLogMax) {
            m_Log.erase(m_Log.begin(), m_Log.begin() + kLogMax / 2);  // a long run keeps its recent half
        }
    }
    const std::string path = XBoardPath("/log/i2c.log");
    if (FILE* out = fopen(path.c_str(), "a")) {
        fprintf(out, "%" PRId64 " %d 0x%02X 0x%04X 0x%02X\n", w.timeUs, w.bus, w.slave, w.reg, w.value);
        fclose(out);
    }
    return static_cast<long>(len);
}

long CI2cModel::Read(int fd, void* buf, unsigned long len)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    auto it = m_Files.find(fd);
    if (it == m_Files.end()) {
        errno = EBADF;
        return -1;
    }
    const tagFile& f = it->second;
    if (buf == nullptr || len < static_cast<unsigned long>(f.regBytes) ||
        len < static_cast<unsigned long>(f.dataBytes)) {
        errno = EINVAL;
        return -1;
    }
    if (!f.addressed) {
        errno = ENXIO;
        return -1;
    }
    uint8_t* p = static_cast<uint8_t*>(buf);
    const uint32_t reg = LittleValue(p, f.regBytes);
    uint32_t value = 0;
    auto chip = m_Slaves.find({f.bus, f.slave});
    if (chip != m_Slaves.end()) {
        if (!chip->second->Read(reg, value)) {
            errno = EIO;
            return -1;
        }
    } else {
        auto r = m_Regs.find(std::make_tuple(f.bus, f.slave, reg));
        value = r == m_Regs.end() ? 0 : r->second;
    }
    for (int i = 0; i < f.dataBytes; ++i) {
        p[i] = static_cast<uint8_t>(value >> (8 * i));
    }
    return f.dataBytes;
}

void CI2cModel::CloseFd(int fd)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Files.erase(fd);
}
