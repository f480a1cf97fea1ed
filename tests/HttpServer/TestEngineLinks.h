#ifndef TESTS_HTTPSERVER_TESTENGINELINKS_H
#define TESTS_HTTPSERVER_TESTENGINELINKS_H

#include <time.h>

#include <atomic>

#include "HttpServer/HttpEngineLinks.h"
#include "HttpServer/ProcessGet.h"

// The engine's links in the tests: a GET handler (null: process_get), a
// resume hook, a frame source and a clock, each set by the test.
class CTestEngineLinks : public CHttpEngineLinks {
public:
    typedef void (*GetHandler)(connection* conn);
    typedef time_t (*WallClock)();

    std::atomic<GetHandler> handler{nullptr};
    std::atomic<void (*)()> resume{nullptr};
    std::atomic<CHttpFrameSource*> source{nullptr};
    std::atomic<WallClock> clock{nullptr};

    void ReplyGet(connection* conn) override
    {
        GetHandler h = handler.load();
        if (h != nullptr) {
            h(conn);
        } else {
            process_get(conn);
        }
    }
    void ResumeRecord() override
    {
        if (void (*r)() = resume.load()) {
            r();
        }
    }
    CHttpFrameSource* FrameSource() override { return source.load(); }
    time_t WallTime() override
    {
        WallClock c = clock.load();
        return c != nullptr ? c() : time(nullptr);
    }
};

#endif
