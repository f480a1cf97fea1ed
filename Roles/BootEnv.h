#ifndef ROLES_BOOTENV_H
#define ROLES_BOOTENV_H

#include <string>

#include "Function/types.h"

// The boot loader's environment block: the device's identity (devmodel,
// devicesn, hwver, ...) and the values start-up hands over. Each call
// returns 1 or 0.
class CBootEnv {
public:
    virtual ~CBootEnv() = default;

    // Loads the block from flash.
    virtual BOOL ReadEnvData() = 0;
    // A copy of the value, taken under the store's lock; 0 when unset.
    virtual BOOL GetEnvValue(const char* name, std::string& value) = 0;
    // Changes a variable in memory.
    virtual BOOL SetEnv(const char* name, const char* value) = 0;
    // Writes the block to flash.
    virtual BOOL SaveEnvData() = 0;
};

#endif
