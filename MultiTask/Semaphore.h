#ifndef MULTITASK_SEMAPHORE_H
#define MULTITASK_SEMAPHORE_H

#include "MultiTask/Wrappers.h"

// Unnamed, process-private counting semaphore. Creation failure aborts
// ("0 == ret").
class CSemaphore {
public:
    explicit CSemaphore(long lInitialCount = 0);
    ~CSemaphore();

    CSemaphore(const CSemaphore&) = delete;
    CSemaphore& operator=(const CSemaphore&) = delete;

    // Blocks until a count is available; retried when interrupted by a
    // signal. 0, or -1 on any other error.
    int Wait();
    // Takes a count only when one is available now: 0, or -1 when none.
    int TryWait();
    // 0 or -1.
    int Post();

private:
    semaphore_t m_Semphore;
};

#endif
