#include "MultiTask/Semaphore.h"

#include <errno.h>

#include "MultiTask/Verify.h"

CSemaphore::CSemaphore(long lInitialCount)
{
    int ret = semaphore_create(&m_Semphore, nullptr, lInitialCount);
    MULTITASK_VERIFY(0 == ret);
}

CSemaphore::~CSemaphore()
{
    semaphore_destroy(&m_Semphore);
}

int CSemaphore::Wait()
{
    for (;;) {
        if (semaphore_wait(&m_Semphore) == 0) {
            return 0;
        }
        if (errno != EINTR) {
            return -1;
        }
    }
}

int CSemaphore::TryWait()
{
    for (;;) {
        if (semaphore_trywait(&m_Semphore) == 0) {
            return 0;
        }
        if (errno != EINTR) {
            return -1;
        }
    }
}

int CSemaphore::Post()
{
    return semaphore_post(&m_Semphore);
}
