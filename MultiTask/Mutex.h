#ifndef MULTITASK_MUTEX_H
#define MULTITASK_MUTEX_H

#include "Function/types.h"
#include "MultiTask/Wrappers.h"

// Recursive mutex. Creation failure aborts ("0 == ret").
class CMutex {
public:
    CMutex();
    ~CMutex();

    CMutex(const CMutex&) = delete;
    CMutex& operator=(const CMutex&) = delete;

    BOOL Enter();
    BOOL Leave();

private:
    locker_t m_Mutex;
};

// Holds a CMutex for its lifetime.
class CGuard {
public:
    explicit CGuard(CMutex& mutex);
    ~CGuard();

    CGuard(const CGuard&) = delete;
    CGuard& operator=(const CGuard&) = delete;

private:
    CMutex& m_Mutex;
};

#endif
