#include "Platform/host/devices/I2cSensorModels.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "Platform/BoardRoot.h"

namespace {

constexpr uint32_t kProxDefaultId = 0x11;
constexpr uint32_t kMC3232Id = 0x19;
constexpr uint32_t kMC3213Id = 0x90;
constexpr uint32_t kAccelChipId = 0x01;  // register 0x18

// STK3410 registers
constexpr uint32_t kState = 0x00;
constexpr uint32_t kThdhMsb = 0x06;
constexpr uint32_t kThdhLsb = 0x07;
constexpr uint32_t kFlag = 0x10;
constexpr uint32_t kProductId = 0x3E;
constexpr uint32_t kSoftReset = 0x80;
constexpr uint8_t kFlagData = 0x40;
constexpr uint8_t kFlagInt = 0x10;

// mCube registers
constexpr uint32_t kTilt = 0x03;
constexpr uint32_t kMode = 0x07;
constexpr uint32_t kChipId = 0x18;
constexpr uint32_t kProduct = 0x3B;

std::mutex g_LogLock;
std::vector<tagSensorTransfer> g_Log;
constexpr size_t kLogMax = 1 << 16;

int Clamp(int v, int lo, int hi)
{
    return std::max(lo, std::min(hi, v));
}

std::string Stamp(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return "";
    }
    char text[64];
    snprintf(text, sizeof(text), "%lld.%ld.%lld", static_cast<long long>(st.st_mtim.tv_sec), st.st_mtim.tv_nsec,
             static_cast<long long>(st.st_size));
    return text;
}

}  // namespace

CI2cSensorModel* CI2cSensorModel::Prox()
{
    static CI2cSensorModel* model = new CI2cSensorModel(kProxSlave);  // outlives every thread
    return model;
}

CI2cSensorModel* CI2cSensorModel::Accel()
{
    static CI2cSensorModel* model = new CI2cSensorModel(kAccelSlave);
    return model;
}

CI2cSensorModel::CI2cSensorModel(uint32_t slave)
    : m_Slave(slave), m_Id(slave == kProxSlave ? kProxDefaultId : kMC3232Id)
{
    PowerOn();
}

void CI2cSensorModel::PowerOn()
{
    memset(m_Regs, 0, sizeof(m_Regs));
    if (m_Slave == kProxSlave) {
        // Power-on defaults; not the values the camera programs.
        m_Regs[0x01] = 0x31;
        m_Regs[0x02] = 0x39;
        m_Regs[0x03] = 0x01;
        m_Regs[0x04] = 0xC0;
        m_Regs[0x05] = 0x07;
        m_Regs[kThdhMsb] = 0xFF;
        m_Regs[kThdhLsb] = 0xFF;
        m_Regs[0x15] = 0x01;
        m_Regs[0x16] = 0x10;
        m_Regs[kProductId] = static_cast<uint8_t>(m_Id);
    } else {
        m_Regs[kMode] = 0x03;
        m_Regs[kChipId] = kAccelChipId;
        m_Regs[kProduct] = static_cast<uint8_t>(m_Id);
    }
}

void CI2cSensorModel::ResetModel()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Fault = emFault_None;
    m_FailNext.clear();
    m_Id = m_Slave == kProxSlave ? kProxDefaultId : kMC3232Id;
    m_bDataReady = true;
    m_RestProx = {0x0040, 0x0020, 0x0020};
    m_RestAccel = {1, 0, 0, 84};
    m_bNoise = true;
    m_nNoise = 0;
    m_ProxQueue.clear();
    m_AccelQueue.clear();
    m_Prox = {};
    m_nResets = 0;
    m_bBoardLoaded = false;
    m_strCfgStamp.clear();
    PowerOn();
}

void CI2cSensorModel::SetFault(emFault fault)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Fault = fault;
}

void CI2cSensorModel::FailNext(uint32_t reg, int count)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_FailNext[reg] = count;
}

void CI2cSensorModel::SetId(uint32_t id)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Id = id & 0xFF;
    m_Regs[m_Slave == kProxSlave ? kProductId : kProduct] = static_cast<uint8_t>(m_Id);
}

void CI2cSensorModel::SetDataReady(bool ready)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_bDataReady = ready;
}

void CI2cSensorModel::SetRestProx(const tagProx& rest)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_RestProx = rest;
}

void CI2cSensorModel::SetRestAccel(const tagAccel& rest, bool noise)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_RestAccel = rest;
    m_bNoise = noise;
}

void CI2cSensorModel::QueueProx(const std::vector<tagProx>& samples)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_ProxQueue.insert(m_ProxQueue.end(), samples.begin(), samples.end());
}

void CI2cSensorModel::QueueAccel(const std::vector<tagAccel>& samples)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_AccelQueue.insert(m_AccelQueue.end(), samples.begin(), samples.end());
}

uint32_t CI2cSensorModel::Reg(uint32_t reg) const
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Regs[reg & 0xFF];
}

int CI2cSensorModel::SoftResets() const
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_nResets;
}

size_t CI2cSensorModel::Queued() const
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Slave == kProxSlave ? m_ProxQueue.size() : m_AccelQueue.size();
}

std::vector<tagSensorTransfer> CI2cSensorModel::Log()
{
    std::lock_guard<std::mutex> lock(g_LogLock);
    return g_Log;
}

void CI2cSensorModel::ClearLog()
{
    std::lock_guard<std::mutex> lock(g_LogLock);
    g_Log.clear();
}

void CI2cSensorModel::Record(bool write, uint32_t reg, uint32_t value, bool ok)
{
    std::lock_guard<std::mutex> lock(g_LogLock);
    g_Log.push_back({write, m_Slave, reg, value, ok});
    if (g_Log.size() > kLogMax) {
        g_Log.erase(g_Log.begin(), g_Log.begin() + kLogMax / 2);
    }
}

// The board's settings file, read again whenever it changed.
void CI2cSensorModel::LoadBoard()
{
    if (PlatformBoardRoot().empty()) {
        return;
    }
    const char* name = m_Slave == kProxSlave ? "/sensor/prox" : "/sensor/accel";
    const std::string path = XBoardPath(name);
    const std::string stamp = Stamp(path);
    if (m_bBoardLoaded && stamp == m_strCfgStamp) {
        return;
    }
    m_bBoardLoaded = true;
    m_strCfgStamp = stamp;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "present") {
            int present = 1;
            words >> present;
            m_Fault = present != 0 ? emFault_None : emFault_Absent;
        } else if (key == "id") {
            std::string text;
            words >> text;
            m_Id = static_cast<uint32_t>(strtoul(text.c_str(), nullptr, 0)) & 0xFF;
            m_Regs[m_Slave == kProxSlave ? kProductId : kProduct] = static_cast<uint8_t>(m_Id);
        } else if (key == "rest" && m_Slave == kProxSlave) {
            tagProx r = m_RestProx;
            if (words >> r.ps >> r.gs0 >> r.gs1) {
                m_RestProx = r;
            }
        } else if (key == "rest") {
            tagAccel r = m_RestAccel;
            if (words >> r.tilt >> r.x >> r.y >> r.z) {
                m_RestAccel = r;
            }
        }
    }
}

// Queued sample files, taken whole in name order once the queue ran dry.
void CI2cSensorModel::TakeInbox()
{
    if (PlatformBoardRoot().empty()) {
        return;
    }
    const bool prox = m_Slave == kProxSlave;
    if ((prox && !m_ProxQueue.empty()) || (!prox && !m_AccelQueue.empty())) {
        return;
    }
    const std::string dir = XBoardPath(prox ? "/sensor/prox.in" : "/sensor/accel.in");
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) {
        return;
    }
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] != '.') {
            names.emplace_back(e->d_name);
        }
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        const std::string path = dir + "/" + n;
        std::ifstream in(path);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            if (prox) {
                tagProx s{};
                if (words >> s.ps >> s.gs0 >> s.gs1) {
                    m_ProxQueue.push_back(s);
                }
            } else {
                tagAccel s{};
                if (words >> s.tilt >> s.x >> s.y >> s.z) {
                    m_AccelQueue.push_back(s);
                }
            }
        }
        unlink(path.c_str());
    }
}

uint32_t CI2cSensorModel::ProxThreshold() const
{
    return static_cast<uint32_t>(m_Regs[kThdhMsb]) << 8 | m_Regs[kThdhLsb];
}

void CI2cSensorModel::SetAxes(const tagAccel& a)
{
    m_Regs[kTilt] = static_cast<uint8_t>(a.tilt);
    const int axes[3] = {a.x, a.y, a.z};
    if (m_Id == kMC3213Id) {
        for (int i = 0; i < 3; ++i) {
            // 10-bit two's complement, sign-extended into the high byte
            const int v = Clamp(axes[i] * 2, -512, 511);
            const uint16_t raw = static_cast<uint16_t>(v);
            m_Regs[0x0D + 2 * i] = static_cast<uint8_t>(raw & 0xFF);
            m_Regs[0x0E + 2 * i] = static_cast<uint8_t>(raw >> 8);
        }
    } else {
        for (int i = 0; i < 3; ++i) {
            m_Regs[0x00 + i] = static_cast<uint8_t>(Clamp(axes[i], -128, 127));
        }
    }
}

// One sample: the proximity sensor's on a read of its flag register while it
// measures, the accelerometer's on a read of its tilt register while awake.
void CI2cSensorModel::Advance()
{
    TakeInbox();
    if (m_Slave == kProxSlave) {
        if ((m_Regs[kState] & 0x01) == 0 || !m_bDataReady) {
            m_Regs[kFlag] = static_cast<uint8_t>(m_Regs[kFlag] & ~kFlagData);
            return;
        }
        if (!m_ProxQueue.empty()) {
            m_Prox = m_ProxQueue.front();
            m_ProxQueue.pop_front();
        } else {
            m_Prox = m_RestProx;
            if (m_bNoise) {
                static const int kNoise[4] = {0, 1, 0, -1};
                m_Prox.ps = static_cast<uint32_t>(
                    Clamp(static_cast<int>(m_Prox.ps) + kNoise[m_nNoise++ % 4], 0, 0xFFFF));
            }
        }
        m_Prox.ps = std::min<uint32_t>(m_Prox.ps, 0xFFFF);
        m_Regs[0x11] = static_cast<uint8_t>(m_Prox.ps >> 8);
        m_Regs[0x12] = static_cast<uint8_t>(m_Prox.ps);
        m_Regs[0x24] = static_cast<uint8_t>(m_Prox.gs0 >> 8);
        m_Regs[0x25] = static_cast<uint8_t>(m_Prox.gs0);
        m_Regs[0x26] = static_cast<uint8_t>(m_Prox.gs1 >> 8);
        m_Regs[0x27] = static_cast<uint8_t>(m_Prox.gs1);
        uint8_t flag = static_cast<uint8_t>(m_Regs[kFlag] | kFlagData);
        if (m_Prox.ps >= ProxThreshold()) {
            flag = static_cast<uint8_t>(flag | kFlagInt);
        }
        m_Regs[kFlag] = flag;
        return;
    }
    if (m_Regs[kMode] != 0x01) {
        return;  // standby: the axes hold
    }
    tagAccel a;
    if (!m_AccelQueue.empty()) {
        a = m_AccelQueue.front();
        m_AccelQueue.pop_front();
    } else {
        a = m_RestAccel;
        if (m_bNoise) {
            static const int kNoise[4] = {0, 1, 0, -1};
            a.x += kNoise[m_nNoise++ % 4];
        }
    }
    SetAxes(a);
}

bool CI2cSensorModel::Faulted(uint32_t reg)
{
    if (m_Fault == emFault_Absent) {
        return true;
    }
    auto it = m_FailNext.find(reg);
    if (it != m_FailNext.end() && it->second > 0) {
        --it->second;
        return true;
    }
    return false;
}

bool CI2cSensorModel::Write(uint32_t reg, uint32_t value)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    LoadBoard();
    reg &= 0xFF;
    value &= 0xFF;
    if (Faulted(reg)) {
        Record(true, reg, value, false);
        return false;
    }
    Record(true, reg, value, true);
    if (m_Fault == emFault_Floating) {
        return true;
    }
    if (m_Slave == kProxSlave) {
        if (reg == kSoftReset) {
            if (value & 0x01) {
                ++m_nResets;
                PowerOn();
            }
            return true;
        }
        if (reg == kFlag) {
            m_Regs[kFlag] = static_cast<uint8_t>(m_Regs[kFlag] & ~kFlagInt);
            return true;
        }
        if (reg == kProductId || (reg >= 0x11 && reg <= 0x12) || (reg >= 0x24 && reg <= 0x27)) {
            return true;  // read-only
        }
    } else if (reg == kProduct || reg == kChipId || reg <= kTilt || (reg >= 0x0D && reg <= 0x12)) {
        return true;  // read-only
    }
    m_Regs[reg] = static_cast<uint8_t>(value);
    return true;
}

bool CI2cSensorModel::Read(uint32_t reg, uint32_t& value)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    LoadBoard();
    reg &= 0xFF;
    value = 0;
    if (Faulted(reg)) {
        Record(false, reg, 0, false);
        return false;
    }
    if (m_Fault == emFault_Floating) {
        value = 0xFF;
        Record(false, reg, value, true);
        return true;
    }
    if ((m_Slave == kProxSlave && reg == kFlag) || (m_Slave == kAccelSlave && reg == kTilt)) {
        Advance();
    }
    value = m_Regs[reg];
    Record(false, reg, value, true);
    return true;
}
