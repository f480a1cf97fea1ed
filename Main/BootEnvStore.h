#ifndef MAIN_BOOTENVSTORE_H
#define MAIN_BOOTENVSTORE_H

#include "Function/types.h"

// The boot loader's environment block as start-up uses it: load, change
// variables in memory, save to flash. Each call returns 1 or 0.
class CBootEnvStore {
public:
    virtual ~CBootEnvStore() = default;
    virtual BOOL ReadEnvData() = 0;
    virtual BOOL SetEnv(const char* name, const char* value) = 0;
    virtual BOOL SaveEnvData() = 0;
};

// The process's store, or null while the board has none.
CBootEnvStore* XBootEnvStore();

#endif
