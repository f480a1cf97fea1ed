#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "Record/PauseReasons.h"

namespace {

typedef CPauseReasons R;

// A switch ends under the capture's own lock and resumes if nothing holds;
// the phone's stop and resume take that lock inside their actions. Neither
// may wait for the other, and a pause added during a switch's end wins.
TEST(PauseReasonsThreads, ASwitchUnderItsLockBesideTheStop)
{
    R set;
    std::recursive_mutex captureLock;
    std::atomic<bool> paused{false};
    std::atomic<bool> done{false};
    std::thread sw([&] {
        while (!done) {
            std::lock_guard<std::recursive_mutex> hold(captureLock);
            set.ResumeIfClear([&] {
                std::lock_guard<std::recursive_mutex> again(captureLock);
                paused = false;
            });
        }
    });
    for (int i = 0; i < 2000; ++i) {
        set.Add(R::emPauseReason_AppStop, [&] {
            std::lock_guard<std::recursive_mutex> hold(captureLock);
            paused = true;
        });
        {
            std::lock_guard<std::recursive_mutex> hold(captureLock);
            // Held: no switch end may have resumed after the pause.
            EXPECT_TRUE(paused.load()) << i;
        }
        if (!paused.load()) {
            break;
        }
        set.Remove(R::emPauseReason_AppStop, [&] { paused = false; });
    }
    done = true;
    sw.join();
}

}  // namespace
