#include "MultiTask/Mutex.h"

#include "MultiTask/Verify.h"

CMutex::CMutex()
{
    int ret = locker_create(&m_Mutex);
    MULTITASK_VERIFY(0 == ret);
}

CMutex::~CMutex()
{
    locker_destroy(&m_Mutex);
}

BOOL CMutex::Enter()
{
    return locker_lock(&m_Mutex) == 0 ? TRUE : FALSE;
}

BOOL CMutex::Leave()
{
    return locker_unlock(&m_Mutex) == 0 ? TRUE : FALSE;
}

CGuard::CGuard(CMutex& mutex) : m_Mutex(mutex)
{
    m_Mutex.Enter();
}

CGuard::~CGuard()
{
    m_Mutex.Leave();
}
