#include "Platform/SchedReset.h"

#include <sched.h>

int XResetSchedOnFork()
{
    // pid 0 is the calling thread for the Linux scheduler calls.
    const int policy = sched_getscheduler(0);
    if (policy < 0) {
        return 0;
    }
#ifdef SCHED_RESET_ON_FORK
    if ((policy & SCHED_RESET_ON_FORK) != 0) {
        return 1;
    }
#endif
    if (policy != SCHED_FIFO && policy != SCHED_RR) {
        return 1;
    }
#ifdef SCHED_RESET_ON_FORK
    struct sched_param param = {};
    if (sched_getparam(0, &param) != 0) {
        return 0;
    }
    return sched_setscheduler(0, policy | SCHED_RESET_ON_FORK, &param) == 0;
#else
    return 0;
#endif
}
