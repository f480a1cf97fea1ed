#ifndef PLATFORM_THREADSIM_H
#define PLATFORM_THREADSIM_H

// Injected thread-creation failures of the simulated board (simulated board
// only): the next `times` calls of PlatformCreateThread return `error`
// without creating a thread. Safe from any thread.
void XThreadSimFail(int error, int times);

#endif
