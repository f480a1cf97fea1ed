#ifndef PLATFORM_ISPSIM_H
#define PLATFORM_ISPSIM_H

// Observation and scripting of the simulated ISP driving the sensor's tables
// (simulated board only). Safe from any thread.
//
// MemInit calls the sensor's global init, SetWDRMode its WDR mode, Init its
// image mode from the public attributes (and its init sequence when that
// answers 0), then takes the ISP defaults, the black level, the AE defaults
// followed by a frame rate of 30 and the AWB defaults. Each frame while Run
// runs, a simple AE moves the exposure toward the scripted target (at most
// doubling or halving it a frame), splits it into integration time and the
// gains the sensor's lookups allow, updates the sensor, takes its register
// list and writes the marked entries to the sensor over /dev/i2c-0 once their
// delay frames have passed. Exit calls the sensor's exit. Empty slots are
// skipped.

#include <cstdint>
#include <utility>
#include <vector>

#include "Platform/MpiSns.h"

// The tables the ISP holds for its sensor: the sensor's id and its ISP, AE
// and AWB tables (null where none). FALSE without a sensor table.
BOOL XIspSimSensorTables(HI_U32* id, const ISP_SENSOR_REGISTER_S** isp, const AE_SENSOR_REGISTER_S** ae,
                         const AWB_SENSOR_REGISTER_S** awb);

// The exposure the AE aims at: integration lines x total gain (1024 = 1x).
void XIspSimSetExposureTarget(uint64_t exposure);
uint64_t XIspSimExposureTarget();

// With `manual` set, Run makes frames only through XIspSimStep (and at the
// frame rate again when cleared).
void XIspSimSetManualFrames(BOOL manual);
// Makes `count` frames of the running ISP and waits for them; returns the
// frames made (fewer when Run is not running or ends meanwhile).
int XIspSimStep(int count);

// One frame of the simulated ISP.
struct tagIspSimFrame {
    uint64_t u64Frame;       // counted from Init, the first is 1
    uint64_t u64Exposure;    // where the AE stood
    uint32_t u32IntTime;     // lines given to the integration-time update
    uint32_t u32Again;       // linear analog gain the lookup gave
    uint32_t u32AgainValue;  // what the gain update got (index, or linear)
    uint32_t u32Dgain;
    uint32_t u32DgainValue;
    std::vector<std::pair<uint32_t, uint32_t>> writes;  // (register, value) written to the sensor
    int nWriteErrors;
};
typedef tagIspSimFrame IspSimFrame;
// The last frames (at most 256), oldest first.
std::vector<tagIspSimFrame> XIspSimFrames();

// What Init took from the sensor's tables.
struct tagIspSimDefaults {
    BOOL bInit;              // Init ran with a sensor table
    HI_S32 s32ImageMode;     // the image-mode answer (-1 also for an empty slot)
    BOOL bSensorInit;        // the init sequence was called
    HI_S32 s32IspDefault;    // answers of the default callbacks (-1 for an empty slot)
    HI_S32 s32BlackLevel;
    HI_S32 s32AeDefault;
    HI_S32 s32AwbDefault;
    ISP_CMOS_DEFAULT_S stIsp;
    ISP_CMOS_BLACK_LEVEL_S stBlackLevel;
    AE_SENSOR_DEFAULT_S stAe;  // after the frame rate was set
    AWB_SENSOR_DEFAULT_S stAwb;
};
typedef tagIspSimDefaults IspSimDefaults;
void XIspSimDefaults(tagIspSimDefaults* defaults);

#endif
