#ifndef PERIPHERY_IRSENSOR_H
#define PERIPHERY_IRSENSOR_H

#include <atomic>

#include "Periphery/I2CDev.h"

// The STK3410 proximity/gesture sensor on bus 2 (0x90): a hand close to the
// camera raises a gesture alarm.
class CIRSensor : public CI2CDev {
public:
    struct tagCorrection {
        unsigned max_offset;
        unsigned min_offset;
        unsigned avg_offset;
        unsigned correction;
    };

    explicit CIRSensor(const I2CDevRoles& roles);
    ~CIRSensor() override;

    BOOL DoDevAlarmScan() override;
    BOOL Init() override;
    BOOL Shutdown() override;
    BOOL DevCorrect() override;
    void TESTGetIRSensorParam(unsigned& init, unsigned& trigger, unsigned& cur, unsigned& max,
                              unsigned& min) override;
    BOOL TESTSetIRSensorParam(unsigned init, unsigned trigger) override;

    // Levels clamp to 16 bits. With reset, the chip is reset and then set up
    // whole as a calibration leaves it.
    BOOL SetIRSensorParam(unsigned init, unsigned trigger, BOOL reset);

    BOOL IsArmed() const { return m_NextValid.load(); }

private:
    BOOL WriteSetup(const unsigned (*table)[2], unsigned count);
    unsigned Margin();
    void ResetExtremes();

    std::atomic<unsigned> m_InitialPSOffset;
    std::atomic<unsigned> m_TriggerThreshold;
    std::atomic<unsigned> m_CurPSOffset;
    std::atomic<unsigned> m_MaxPSOffset;
    std::atomic<unsigned> m_MinPSOffset;
    tagCorrection m_PSCorrectionData;
    tagCorrection m_GS0CorrectionData;
    tagCorrection m_GS1CorrectionData;
    std::atomic<BOOL> m_NextValid;
    int m_nErrors;  // polls without new data since the last reset of the chip
};

#endif
