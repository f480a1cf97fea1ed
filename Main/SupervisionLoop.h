#ifndef MAIN_SUPERVISIONLOOP_H
#define MAIN_SUPERVISIONLOOP_H

#include <cstdint>

#include "Function/types.h"
#include "Main/LoopServices.h"

// GPIO pins watched and driven by the loop.
#define GPIO_POWER_LINE 0      // 1 when external power is lost
#define GPIO_RESET_KEY 80      // 0 while pressed
#define GPIO_CONNECT_LED 67
#define GPIO_RECORD_LED 71

// Consecutive pressed cycles after which the reset key resets the device.
#define RESET_KEY_CYCLES 60

// The supervision loop of the main thread: one call of Step is one cycle
// (main sleeps 50 ms between cycles). The state is what main kept in locals.
// A loop missing a part of its roles other than the card does nothing.
class CSupervisionLoop {
public:
    explicit CSupervisionLoop(const LoopRoles& roles);

    // One cycle: update announcement, power line, reset key, periodic
    // checks, connection LED, model check; then the cycle count advances.
    void Step();
    // After the loop: stops all recording and GPS logging.
    void Stop();

    int GetPrevSysPowerState() const { return m_iPrevSysPowerState; }
    int GetResetDetectCount() const { return m_iResetDetectCount; }
    uint32_t GetTestCount() const { return m_uTestCount; }
    int GetLedOn() const { return m_iLedOn; }
    int GetSdState() const { return m_iSdState; }
    BOOL IsResetting() const { return m_bResetting; }

private:
    void OnUpdateAnnounced();
    void CheckPowerLine();
    void PowerDown();
    void PowerResume(BOOL bFirst);
    void CheckResetKey();
    void FactoryReset();
    void PeriodicChecks();
    void CheckSDPrompt();
    void BlinkConnectionLed();
    void CheckModel();
    BOOL Every(uint32_t cycles) const { return m_uTestCount % cycles == 0; }
    BOOL Wired() const;

    LoopRoles m_Roles;
    int m_iPrevSysPowerState;   // -1 not yet seen, 1 down, else the reading acted on
    int m_iSysPowerDown;        // last power-line reading
    int m_iSysReset;            // last reset-key reading
    int m_iResetDetectCount;    // consecutive pressed cycles
    uint32_t m_uTestCount;      // cycle counter, from 1
    int m_iLedOn;               // last level written to the connection LED
    int m_iSdState;             // SD state bits of the last poll
    BOOL m_bResetting;          // the factory reset has run
};

#endif
