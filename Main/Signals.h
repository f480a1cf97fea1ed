#ifndef MAIN_SIGNALS_H
#define MAIN_SIGNALS_H

#include <signal.h>

#include "Function/types.h"

// Set by SIGINT and by the reset key; the loop ends at its next test.
extern volatile sig_atomic_t g_SystemQuit;
// Set by SIGUSR1 (firmware update announced); taken by the loop.
extern volatile sig_atomic_t g_UpdateRequested;

// SIGUSR1 -> USR1Proc, SIGINT -> SigProc, SIGPIPE ignored. The handlers only
// set their flag and write a fixed line to standard error; the loop acts.
BOOL InitSignals();
void USR1Proc(int dummy);
void SigProc(int dummy);

// 1 when an update announcement arrived since the last call.
BOOL XTakeUpdateRequest();

// Blocks / unblocks SIGINT and SIGUSR1 on the calling thread. Threads created
// while they are blocked inherit the mask and never see those signals.
BOOL XBlockProcessSignals();
BOOL XUnblockProcessSignals();

#endif
