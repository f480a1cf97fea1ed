#include "Main/Signals.h"

#include <errno.h>
#include <pthread.h>
#include <string.h>
#include <unistd.h>

#include "Function/XLog.h"

volatile sig_atomic_t g_SystemQuit = 0;
volatile sig_atomic_t g_UpdateRequested = 0;

namespace {

// write(2) of a fixed text: the only output a handler may do.
void XSignalWrite(const char* text, size_t len)
{
    ssize_t r = write(STDERR_FILENO, text, len);
    (void)r;
}

BOOL XSetProcessSignals(int how)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGUSR1);
    int err = pthread_sigmask(how, &set, nullptr);
    if (err != 0) {
        XERROR("pthread_sigmask: %s\n", strerror(err));
        return FALSE;
    }
    return TRUE;
}

}  // namespace

void USR1Proc(int)
{
    static const char text[] = "\nsystem will restart for update\n";
    XSignalWrite(text, sizeof(text) - 1);
    g_UpdateRequested = 1;
}

void SigProc(int sig)
{
    // "\nreceived signal %d\n" without stdio.
    char text[40] = "\nreceived signal ";
    size_t len = strlen(text);
    char digits[12];
    size_t n = 0;
    unsigned v = sig < 0 ? 0u : static_cast<unsigned>(sig);
    do {
        digits[n++] = static_cast<char>('0' + v % 10u);
        v /= 10u;
    } while (v != 0 && n < sizeof(digits));
    while (n > 0) {
        text[len++] = digits[--n];
    }
    text[len++] = '\n';
    XSignalWrite(text, len);
    g_SystemQuit = 1;
}

BOOL InitSignals()
{
    struct sigaction act;
    memset(&act, 0, sizeof(act));
    sigemptyset(&act.sa_mask);
    sigaddset(&act.sa_mask, SIGINT);
    sigaddset(&act.sa_mask, SIGPIPE);
    sigaddset(&act.sa_mask, SIGUSR1);
    // Restart interrupted calls: the main thread's file writes (settings,
    // shell commands) must not fail half-way because a signal arrived.
    act.sa_flags = SA_RESTART;

    BOOL ok = TRUE;
    act.sa_handler = USR1Proc;
    if (sigaction(SIGUSR1, &act, nullptr) != 0) {
        XERROR("sigaction SIGUSR1: %s\n", strerror(errno));
        ok = FALSE;
    }
    act.sa_handler = SigProc;
    if (sigaction(SIGINT, &act, nullptr) != 0) {
        XERROR("sigaction SIGINT: %s\n", strerror(errno));
        ok = FALSE;
    }
    act.sa_handler = SIG_IGN;
    if (sigaction(SIGPIPE, &act, nullptr) != 0) {
        XERROR("sigaction SIGPIPE: %s\n", strerror(errno));
        ok = FALSE;
    }
    return ok;
}

BOOL XTakeUpdateRequest()
{
    if (g_UpdateRequested == 0) {
        return FALSE;
    }
    g_UpdateRequested = 0;
    return TRUE;
}

BOOL XBlockProcessSignals()
{
    return XSetProcessSignals(SIG_BLOCK);
}

BOOL XUnblockProcessSignals()
{
    return XSetProcessSignals(SIG_UNBLOCK);
}
