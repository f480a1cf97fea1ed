#include <stdio.h>

#include "Function/common.h"
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
    // The root is made before any manager, so it is deleted after them; every
    // manager is bound to its implementations before the first Init.
    CCameraWiring* root = CCameraWiring::instance();
    root->Wire();

    XHandOverVersion(root->BootEnv());
    InitSignals();

    const LoopRoles roles = root->ForLoop();
    // The managers' threads start inside Init: they inherit the blocked
    // SIGINT and SIGUSR1, which only the main thread takes.
    XBlockProcessSignals();
    const BOOL started = XInitManagers();
    XUnblockProcessSignals();

    if (started) {
        roles.audio->SetVolume(roles.settings->GetInt("funcset", "volume", 15));
        XSleep(kAfterInitMs);
        XBlockProcessSignals();
        XInitLateManagers();
        XUnblockProcessSignals();
        if (roles.card != nullptr) {
            roles.card->CheckSDCard();
        }
        printf("Main Loop...\n");

        CSupervisionLoop loop(roles);
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
