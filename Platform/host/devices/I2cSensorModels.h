#ifndef PLATFORM_HOST_DEVICES_I2CSENSORMODELS_H
#define PLATFORM_HOST_DEVICES_I2CSENSORMODELS_H

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// A chip on a simulated I2C bus: answers the register transfers the bus
// hands it. False is a NACK (the transfer fails with EIO).
class CI2cSlaveModel {
public:
    virtual ~CI2cSlaveModel() = default;
    virtual bool Write(uint32_t reg, uint32_t value) = 0;
    virtual bool Read(uint32_t reg, uint32_t& value) = 0;
};

// One transfer as a sensor model saw it, in order across both sensors.
struct tagSensorTransfer {
    bool write;
    uint32_t slave;
    uint32_t reg;
    uint32_t value;  // written, or read back (0 on a NACK)
    bool ok;
};

// The two motion sensors on bus 2: the STK3410 proximity sensor (0x90) and
// the mCube accelerometer (0x98). Their resting values, presence and id come
// from the board folder (DIR/sensor/prox, DIR/sensor/accel, lines "present
// 0|1", "id 0xNN", "rest ..."); queued samples are files that sim/board
// renames into DIR/sensor/prox.in/ or DIR/sensor/accel.in/, taken whole in
// name order and deleted. Tests drive the same state through the setters.
class CI2cSensorModel : public CI2cSlaveModel {
public:
    enum { kProxSlave = 0x90, kAccelSlave = 0x98 };
    enum emFault { emFault_None, emFault_Absent, emFault_Floating };

    // Proximity sample: PS and the two gesture channels (16 bits each).
    struct tagProx {
        uint32_t ps;
        uint32_t gs0;
        uint32_t gs1;
    };
    // Accelerometer sample: tilt register and axes in LSB of the 8-bit
    // layout (the MC3213 reads them doubled, 10 bits).
    struct tagAccel {
        int tilt;
        int x;
        int y;
        int z;
    };

    static CI2cSensorModel* Prox();
    static CI2cSensorModel* Accel();

    // Back to the board's settings and the chip's power-on state; drops the
    // log, the queue, the faults and the reset count.
    void ResetModel();

    void SetFault(emFault fault);
    // The next `count` transfers of register `reg` fail.
    void FailNext(uint32_t reg, int count);
    void SetId(uint32_t id);
    // Proximity: whether a read of the flag register brings new data.
    void SetDataReady(bool ready);
    void SetRestProx(const tagProx& rest);
    void SetRestAccel(const tagAccel& rest, bool noise);
    void QueueProx(const std::vector<tagProx>& samples);
    void QueueAccel(const std::vector<tagAccel>& samples);

    // Register file (what the chip holds now).
    uint32_t Reg(uint32_t reg) const;
    int SoftResets() const;
    size_t Queued() const;
    // Transfers of both sensors since the last reset of either log.
    static std::vector<tagSensorTransfer> Log();
    static void ClearLog();

    bool Write(uint32_t reg, uint32_t value) override;
    bool Read(uint32_t reg, uint32_t& value) override;

private:
    explicit CI2cSensorModel(uint32_t slave);
    void PowerOn();
    void LoadBoard();
    void TakeInbox();
    void Advance();
    bool Faulted(uint32_t reg);
    void Record(bool write, uint32_t reg, uint32_t value, bool ok);
    uint32_t ProxThreshold() const;
    void SetAxes(const tagAccel& a);

    const uint32_t m_Slave;
    mutable std::mutex m_Lock;
    uint8_t m_Regs[256];
    emFault m_Fault = emFault_None;
    std::map<uint32_t, int> m_FailNext;
    uint32_t m_Id;
    bool m_bDataReady = true;
    tagProx m_RestProx{0x0040, 0x0020, 0x0020};
    tagAccel m_RestAccel{1, 0, 0, 84};
    bool m_bNoise = true;
    unsigned m_nNoise = 0;
    std::deque<tagProx> m_ProxQueue;
    std::deque<tagAccel> m_AccelQueue;
    tagProx m_Prox{};
    int m_nResets = 0;
    bool m_bBoardLoaded = false;
    std::string m_strCfgStamp;  // size and time of the board's settings file read last
};

#endif
