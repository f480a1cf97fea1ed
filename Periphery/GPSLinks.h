#ifndef PERIPHERY_GPSLINKS_H
#define PERIPHERY_GPSLINKS_H

#include <time.h>

#include <cstdint>

#include "Function/types.h"

// What the GPS receiver reaches outside itself: the overlay manager's
// messages, the voice prompt, the settings and factory flags it reads, the
// wall clock and its pauses. The defaults: the overlay manager, the prompt
// player, the settings store and the factory test, the system's clock.
class CGPSLinks {
public:
    virtual ~CGPSLinks();

    // One message to the overlay manager at normal priority.
    virtual void SendOSDMsg(unsigned int msg, unsigned int wpa, uint32_t lpa);
    virtual void PlayAudio(int index);
    virtual int GetGpsVoiceCfg();
    virtual BOOL GetFactoryTestOK();
    virtual BOOL GetForceFactoryTest();
    // Wall-clock seconds since the epoch.
    virtual time_t Now();
    virtual void SleepMs(unsigned int ms);
};

#endif
