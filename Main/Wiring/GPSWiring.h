#ifndef MAIN_WIRING_GPSWIRING_H
#define MAIN_WIRING_GPSWIRING_H

#include "Periphery/GPSLinks.h"

// The GPS receiver's overlay messages to the overlay manager; the system's
// wall clock and sleep.
class CCameraGPSLinks : public CGPSLinks {
public:
    void SendOSDMsg(unsigned int msg, unsigned int wpa, uint32_t lpa) override;
    time_t Now() override;
    void SleepMs(unsigned int ms) override;
};

#endif
