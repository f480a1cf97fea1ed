#include "Record/PauseReasons.h"


bool CPauseReasons::EmptyLocked() const
{
    for (int n : m_Holds) {
        if (n > 0) {
            return false;
        }
    }
    return true;
}

void CPauseReasons::Add(emPauseReason reason, const Action& pause)
{
    if (reason < 0 || reason >= emPauseReason_MAX) {
        return;
    }
    std::lock_guard<std::recursive_mutex> actions(m_ActionLock);
    {
        std::lock_guard<std::recursive_mutex> hold(m_Lock);
        if (reason == emPauseReason_SpeedTest) {
            ++m_Holds[reason];
        } else {
            m_Holds[reason] = 1;
        }
    }
    if (pause) {
        pause();
    }
}

BOOL CPauseReasons::Remove(emPauseReason reason, const Action& resume)
{
    if (reason < 0 || reason >= emPauseReason_MAX) {
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> actions(m_ActionLock);
    {
        std::lock_guard<std::recursive_mutex> hold(m_Lock);
        if (m_Holds[reason] > 0) {
            --m_Holds[reason];
        }
        if (m_bReleased || !EmptyLocked()) {
            return FALSE;
        }
    }
    if (resume) {
        resume();
    }
    return TRUE;
}

BOOL CPauseReasons::ResumeIfClear(const Action& resume)
{
    std::lock_guard<std::recursive_mutex> hold(m_Lock);
    if (m_bReleased || !EmptyLocked()) {
        return FALSE;
    }
    if (resume) {
        resume();
    }
    return TRUE;
}

BOOL CPauseReasons::Holds(emPauseReason reason) const
{
    return Count(reason) > 0;
}

BOOL CPauseReasons::IsEmpty() const
{
    std::lock_guard<std::recursive_mutex> hold(m_Lock);
    return EmptyLocked();
}

int CPauseReasons::Count(emPauseReason reason) const
{
    if (reason < 0 || reason >= emPauseReason_MAX) {
        return 0;
    }
    std::lock_guard<std::recursive_mutex> hold(m_Lock);
    return m_Holds[reason];
}

void CPauseReasons::Release()
{
    std::lock_guard<std::recursive_mutex> hold(m_Lock);
    m_bReleased = true;
}

void CPauseReasons::Reset()
{
    std::lock_guard<std::recursive_mutex> hold(m_Lock);
    for (int& n : m_Holds) {
        n = 0;
    }
    m_bReleased = false;
}
