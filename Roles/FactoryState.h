#ifndef ROLES_FACTORYSTATE_H
#define ROLES_FACTORYSTATE_H

#include "Function/types.h"

// The factory test's flags as the rest of the camera reads them (the GPS
// speed layout, the prompts, the parking switch, the supervision loop).
class CFactoryState {
public:
    virtual ~CFactoryState() = default;

    // The device is marked tested.
    virtual BOOL GetFactoryTestOK() = 0;
    // A station's hardware test runs.
    virtual BOOL GetFactoryTesting() = 0;
    virtual BOOL GetBurnInTesting() = 0;
    virtual BOOL GetFactoryCheckModel() = 0;
    // A card marker forces the station's discovery.
    virtual BOOL GetForceFactoryTest() = 0;
};

#endif
