#ifndef PLATFORM_SCHEDRESET_H
#define PLATFORM_SCHEDRESET_H

// Makes children forked by the calling thread start with default scheduling,
// whatever real-time policy the thread runs at (the shell commands run from
// the capture thread must not inherit SCHED_FIFO 99). Returns 1 when the
// thread's children will run at default scheduling.
int XResetSchedOnFork();

#endif
