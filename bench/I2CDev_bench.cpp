// Cost of the sensor thread's work: proximity and accelerometer polls
// against the simulated chips on bus 2, the sleeps left out. Prints the CPU
// time per cycle and the bus system calls (one read or write each) per cycle.
#include <stdlib.h>
#include <sys/resource.h>

#include <cstdio>
#include <string>

#include "Periphery/GSensor.h"
#include "Periphery/I2CDevPorts.h"
#include "Periphery/IRSensor.h"
#include "Platform/BoardRoot.h"
#include "Platform/host/devices/I2cSensorModels.h"
#include "tests/support/FakeRoles.h"

namespace {

constexpr int kCycles = 20000;

class CBenchPorts : public CI2CDevPorts, public CAlarmTasks, public CTestSettings {
public:
    uint32_t MSCount() override { return m_Ms += 20; }
    uint32_t MonoSeconds() override { return m_Ms / 1000; }
    void SleepUs(unsigned) override {}
    BOOL PutAlarmTask(TASK*) override { return TRUE; }
    BOOL SendParkingSnapshot() override { return TRUE; }
    BOOL ParkingMonitorEnabled() override { return TRUE; }
    unsigned ParkingTimeThreshold() override { return 10; }
    unsigned SnapshotChannelFps() override { return 30; }
    BOOL ParkingMonitoringEnable(int) override { return TRUE; }
    BOOL GetIsCanbeRecord() override { return TRUE; }
    int GetIsPauseRecord() override { return 0; }
    int GetInt(const char*, const char* key, int default_int) override
    {
        return std::string(key) == "gensor_level" ? 12 : default_int;
    }

private:
    uint32_t m_Ms = 100000;
};

double CpuMs()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return (static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e6 +
            static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec)) / 1e3;
}

}  // namespace

int main()
{
    char dir[] = "/tmp/i2cdev-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        perror("mkdtemp");
        return 1;
    }
    const std::string board = std::string(dir) + "/board";
    const std::string init = std::string(DASHCAM_SOURCE_DIR) + "/sim/board init '" + board + "' > /dev/null";
    if (system(init.c_str()) != 0) {
        fprintf(stderr, "sim/board init failed\n");
        return 1;
    }
    PlatformSetBoardRoot(board.c_str());

    CBenchPorts ports;
    const I2CDevRoles roles = {&ports, &ports, &ports};
    CIRSensor ir(roles);
    CGSensor g(roles);
    if (!ir.Init() || !g.Init() || !ir.DevCorrect()) {
        fprintf(stderr, "sensors did not start\n");
        return 1;
    }
    CI2cSensorModel::ClearLog();
    double cpu = 0;
    size_t transfers = 0;
    for (int block = 0; block < kCycles / 1000; ++block) {  // the model's log keeps a bounded tail
        const double t0 = CpuMs();
        for (int i = 0; i < 1000; ++i) {
            ir.DoDevAlarmScan();
            g.DoDevAlarmScan();
        }
        cpu += CpuMs() - t0;
        transfers += CI2cSensorModel::Log().size();
        CI2cSensorModel::ClearLog();
    }
    printf("cycles %d\n", kCycles);
    printf("cpu per cycle %.2f us (host, with the chip models)\n", cpu * 1000.0 / kCycles);
    printf("bus system calls per cycle %.2f\n", static_cast<double>(transfers) / kCycles);
    ir.Shutdown();
    g.Shutdown();
    const std::string cmd = "rm -rf '" + std::string(dir) + "'";
    return system(cmd.c_str()) == 0 ? 0 : 1;
}
