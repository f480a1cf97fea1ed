#ifndef PLATFORM_THREAD_H
#define PLATFORM_THREAD_H

#include <pthread.h>

// Creates a joinable thread. Priority 0: default scheduling; otherwise
// SCHED_FIFO at that priority, set explicitly. The simulated board falls back
// to default scheduling (with one warning) where the host refuses real-time
// scheduling; the camera keeps the failure. Returns 0 or an error number.
int PlatformCreateThread(pthread_t* thread, int priority, void* (*body)(void*), void* arg);

// The same with the real-time policy given (SCHED_FIFO or SCHED_RR);
// priority 0 or another policy: default scheduling.
int PlatformCreateSchedThread(pthread_t* thread, int policy, int priority, void* (*body)(void*), void* arg);

#endif
