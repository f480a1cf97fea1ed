#ifndef PLATFORM_HOST_DEVICES_I2CMODEL_H
#define PLATFORM_HOST_DEVICES_I2CMODEL_H

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "Platform/host/devices/DevModel.h"

class CI2cSlaveModel;

// The simulated I2C buses /dev/i2c-0..2: per descriptor the slave address
// and the register and data widths; per (bus, slave) a register model; every
// write in an ordered log with monotonic times, also appended to
// DIR/log/i2c.log as "TIME_US BUS 0xSLAVE 0xREG 0xVALUE". The motion sensors
// on bus 2 answer through their own chip models (I2cSensorModels.h).
class CI2cModel {
public:
    struct tagWrite {
        int64_t timeUs;  // monotonic
        int bus;
        uint32_t slave;
        uint32_t reg;
        uint32_t value;
        std::vector<uint8_t> bytes;  // as written
    };

    static CI2cModel* instance();
    CDevModel* BusOf(const char* devpath);  // nullptr if not an I2C bus

    void ResetModel();
    // The writes since the reset (the most recent 64Ki-128Ki of a long run).
    std::vector<tagWrite> Log() const;
    // Register value of a slave (0 if never written); Poke presets one.
    uint32_t Peek(int bus, uint32_t slave, uint32_t reg) const;
    void Poke(int bus, uint32_t slave, uint32_t reg, uint32_t value);

    // Injected failures (errno EIO): opens of a bus, a request number, the
    // k-th write (1-based, counted from the reset) and those after it
    // for `count` writes.
    void FailOpen(int bus, bool fail);
    void FailRequest(unsigned long request, bool fail);
    void FailWrite(int k, int count = 1);

    // Called by the buses.
    int Open(int bus);
    void OpenFd(int fd, int bus);
    int Ioctl(int fd, unsigned long request, void* arg);
    long Write(int fd, const void* buf, unsigned long len);
    long Read(int fd, void* buf, unsigned long len);
    void CloseFd(int fd);

private:
    CI2cModel();
    struct tagFile {
        int bus = 0;
        uint32_t slave = 0;
        int regBytes = 1;
        int dataBytes = 1;
        bool addressed = false;
    };
    mutable std::mutex m_Lock;
    std::vector<std::unique_ptr<CDevModel>> m_Buses;
    std::map<int, tagFile> m_Files;
    std::map<std::tuple<int, uint32_t, uint32_t>, uint32_t> m_Regs;
    std::map<std::pair<int, uint32_t>, CI2cSlaveModel*> m_Slaves;  // chips with their own model
    std::vector<tagWrite> m_Log;
    std::map<int, bool> m_FailOpen;
    std::map<unsigned long, bool> m_FailRequest;
    int m_nWrites = 0;
    int m_nFailFrom = 0;
    int m_nFailCount = 0;
};

#endif
