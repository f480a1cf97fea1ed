#ifndef PERIPHERY_GPSLINKS_H
#define PERIPHERY_GPSLINKS_H

#include <time.h>

#include <cstdint>

#include "Function/types.h"
#include "IniConfig/Settings.h"
#include "PlayAudio/Prompts.h"
#include "Roles/CardFiles.h"
#include "Roles/FactoryState.h"

// What the GPS receiver reaches outside itself of its own: the overlay
// manager's messages, the wall clock and its pauses.
class CGPSLinks {
public:
    virtual ~CGPSLinks() = default;

    // One message to the overlay manager at normal priority.
    virtual void SendOSDMsg(unsigned int msg, unsigned int wpa, uint32_t lpa) = 0;
    // Wall-clock seconds since the epoch.
    virtual time_t Now() = 0;
    virtual void SleepMs(unsigned int ms) = 0;
};

// Everything the receiver needs, bound before Init; without links or card
// Init fails. Without prompts, flags or settings it speaks no prompt and
// takes the device for untested.
typedef struct tagGPSRoles {
    CGPSLinks* links;
    CPrompts* prompts;
    CFactoryState* factory;  // a tested device hides the speed layout without a fix
    CSettings* settings;     // voice_gps
    CCardFiles* card;        // the track files' card
} GPSRoles;

#endif
