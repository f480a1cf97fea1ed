#ifndef TESTS_MULTITASK_WATCHDOG_H
#define TESTS_MULTITASK_WATCHDOG_H

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// Runs fn on its own thread. When it has not finished within `limit` the test
// fails and the program aborts, instead of hanging the whole run.
template <class Fn>
void RunWithin(std::chrono::milliseconds limit, const char* what, Fn&& fn)
{
    struct State {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
    };
    auto state = std::make_shared<State>();
    std::thread runner([state, &fn] {
        fn();
        std::lock_guard<std::mutex> lock(state->m);
        state->done = true;
        state->cv.notify_all();
    });
    bool finished;
    {
        std::unique_lock<std::mutex> lock(state->m);
        finished = state->cv.wait_for(lock, limit, [&] { return state->done; });
    }
    if (!finished) {
        ADD_FAILURE() << what << " did not finish within " << limit.count() << " ms";
        fprintf(stderr, "watchdog: %s hangs, aborting\n", what);
        fflush(stdout);
        fflush(stderr);
        std::abort();
    }
    runner.join();
}

inline void RunWithin(const char* what, const std::function<void()>& fn)
{
    RunWithin(std::chrono::milliseconds(5000), what, fn);
}

#endif
