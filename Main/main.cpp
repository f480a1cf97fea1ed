#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include "Platform/BoardRoot.h"

namespace {

volatile sig_atomic_t g_bQuit = 0;

void SigProc(int)
{
    g_bQuit = 1;
}

}  // namespace

int main()
{
    if (!PlatformCheckBoard()) {
        return 1;
    }
    printf("BUILD DATE: [Jul 31 2017 15:08:32]\n");
    fflush(stdout);

    struct sigaction act = {};
    act.sa_handler = SigProc;
    sigemptyset(&act.sa_mask);
    sigaction(SIGINT, &act, nullptr);
    signal(SIGPIPE, SIG_IGN);

    printf("Main Loop...\n");
    fflush(stdout);
    while (!g_bQuit) {
        usleep(50 * 1000);
    }
    printf("Exiting...\n");
    return 0;
}
