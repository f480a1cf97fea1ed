#ifndef ROLES_PINS_H
#define ROLES_PINS_H

#include "Function/types.h"

// The board's GPIO pins by number.
class CPins {
public:
    virtual ~CPins() = default;

    virtual BOOL ReadGpio(int gpio, int& value) = 0;
    virtual BOOL WriteGpio(int gpio, int value) = 0;
};

#endif
