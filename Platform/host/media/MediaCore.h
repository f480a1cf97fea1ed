#ifndef PLATFORM_HOST_MEDIA_MEDIACORE_H
#define PLATFORM_HOST_MEDIA_MEDIACORE_H

// What the simulated media modules share among themselves: injected faults,
// the system's readiness and clock, the bind graph and the callers' threads.
// Not for code outside Platform/host.

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "Platform/MpiTypes.h"

// An injected failure for `func` on channel `chn` (-1: a call without a
// channel), consumed by this call; 0 when none is set.
HI_S32 XMediaFault(const char* func, int chn);
// First statement of a media call: an injected failure is returned as set.
#define XMEDIA_FAULT(chn)                                   \
    do {                                                    \
        if (HI_S32 fault_ = XMediaFault(__func__, (chn))) { \
            return fault_;                                  \
        }                                                   \
    } while (0)

// The system is initialised.
BOOL XMediaSysReady();
// The buffer pools are initialised (system initialisation needs them).
BOOL XMediaVbReady();

// Media clock: wall-clock microseconds as last anchored; never decreases by a
// small re-anchor.
HI_U64 XMediaPtsNow();

// The source bound to `dst`; FALSE when it has none.
BOOL XMediaBindSource(const MPP_CHN_S& dst, MPP_CHN_S* src);
// Every destination bound from `src`.
std::vector<MPP_CHN_S> XMediaBindSinks(const MPP_CHN_S& src);
// Every bind as (source, destination).
std::vector<std::pair<MPP_CHN_S, MPP_CHN_S>> XMediaBinds();

// The state changed (a bind, a channel, a start or stop): the picture source
// looks again, the board's state file is rewritten.
void XMediaStateChanged();

// Records the scheduling policy and priority of the calling thread under `what`.
void XMediaNoteCaller(const std::string& what);

// Tear-down of each module's state (tests' reset), in the order of the caller.
void XMediaResetSys();
void XMediaResetVb();
void XMediaResetFaults();
void XMediaResetCallers();

// Runs f on a module's state under its lock; f gives the result.
template <class S, class F>
HI_S32 XMediaLocked(S& s, F&& f)
{
    std::lock_guard<std::mutex> lock(s.mutex);
    return f(s);
}

// The same, then XMediaStateChanged() when it succeeded.
template <class S, class F>
HI_S32 XMediaChange(S& s, F&& f)
{
    HI_S32 r = XMediaLocked(s, std::forward<F>(f));
    if (r == HI_SUCCESS) {
        XMediaStateChanged();
    }
    return r;
}

#endif
