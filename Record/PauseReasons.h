#ifndef RECORD_PAUSEREASONS_H
#define RECORD_PAUSEREASONS_H

#include <functional>
#include <mutex>

#include "Function/types.h"
#include "MultiTask/Singleton.h"

// Why recording, capture and snapshots are held paused. Each path adds and
// removes only its own reason; they resume only once no reason is left.
// Add and Remove run their actions one at a time, so a resume never
// overtakes a pause that came after it. A switch ending under a manager's
// own lock calls only ResumeIfClear, which never waits for those actions:
// an Add during it pauses after its resume.
class CPauseReasons : public CSingleton<CPauseReasons> {
public:
    enum emPauseReason {
        emPauseReason_PowerLine = 0,  // the supply is cut
        emPauseReason_AppStop,        // the phone's stop on the app channel
        emPauseReason_HttpCommand,    // the web command's pause
        emPauseReason_SpeedTest,      // one per speed-test download (counted)
        emPauseReason_MAX,
    };
    typedef std::function<void()> Action;
    CPauseReasons() = default;
    CPauseReasons(const CPauseReasons&) = delete;
    CPauseReasons& operator=(const CPauseReasons&) = delete;

    // Adds the reason (a speed test adds one more hold), then runs `pause`.
    void Add(emPauseReason reason, const Action& pause);
    // Drops one hold of the reason (none held: nothing dropped); when no
    // reason is left and the set is not released, runs `resume`. TRUE when
    // it ran.
    BOOL Remove(emPauseReason reason, const Action& resume);
    // Runs `resume` only when no reason is held (the end of a switch that
    // paused on its own); TRUE when it ran.
    BOOL ResumeIfClear(const Action& resume);

    BOOL Holds(emPauseReason reason) const;
    BOOL IsEmpty() const;
    int Count(emPauseReason reason) const;

    // Shut-down: from now on nothing resumes.
    void Release();
    // Tests: an empty set, not released.
    void Reset();

private:
    bool EmptyLocked() const;

    // Order: m_ActionLock, then managers' locks; m_Lock is held briefly, or
    // around a switch's resume (whose caller may hold a manager's lock).
    std::recursive_mutex m_ActionLock;
    mutable std::recursive_mutex m_Lock;
    int m_Holds[emPauseReason_MAX] = {};
    bool m_bReleased = false;
};

#endif
