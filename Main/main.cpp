#include <stdio.h>

#include "FactoryTest/FactoryTest.h"
#include "Function/common.h"
#include "Main/BoardServices.h"
#include "Main/Managers.h"
#include "Main/Signals.h"
#include "Main/SupervisionLoop.h"
#include "Main/Version.h"
#include "Main/Wiring/CameraWiring.h"
#include "Platform/BoardRoot.h"

namespace {

constexpr unsigned kCycleMs = 50;
constexpr unsigned kAfterInitMs = 200;

}  // namespace

int main()
{
    if (!PlatformCheckBoard()) {
        return 1;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    printf("BUILD DATE: [Jul 31 2017 15:08:32]\n");
    // The root is made before any manager, so it is deleted after them.
    CCameraWiring::instance()->Wire();

    XHandOverVersion(CFactoryTest::instance());
    InitSignals();

    CBoardServices services;
    // The managers' threads start inside Init: they inherit the blocked
    // SIGINT and SIGUSR1, which only the main thread takes.
    XBlockProcessSignals();
    const BOOL started = XInitManagers();
    XUnblockProcessSignals();

    if (started) {
        services.SetVolume(services.GetInt("funcset", "volume", 15));
        XSleep(kAfterInitMs);
        XBlockProcessSignals();
        XInitLateManagers();
        XUnblockProcessSignals();
        if (services.HasSDManager()) {
            services.CheckSDCard();
        }
        printf("Main Loop...\n");

        CSupervisionLoop loop(services);
        while (!g_SystemQuit) {
            loop.Step();
            XSleep(kCycleMs);
        }
        loop.Stop();
    }

    XCleanUpManagers();
    // A fatal start-up failure is not a clean run.
    return started ? 0 : 1;
}
