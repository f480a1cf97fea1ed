#ifndef HTTPSERVER_HTTPENGINELINKS_H
#define HTTPSERVER_HTTPENGINELINKS_H

#include <time.h>

#include "HttpServer/HttpConnection.h"
#include "HttpServer/HttpFrameSource.h"

// What the engine asks of the server it runs for, given to init_exec_env.
class CHttpEngineLinks {
public:
    virtual ~CHttpEngineLinks() = default;

    // Fills the reply to a GET or HEAD (process_get on the camera).
    virtual void ReplyGet(connection* conn) = 0;
    // A speed-test download's reply ended: recording may resume.
    virtual void ResumeRecord() = 0;
    // The live sub-stream (not owned); null: none.
    virtual CHttpFrameSource* FrameSource() = 0;
    // The wall clock of the replies' dates.
    virtual time_t WallTime() = 0;
};

#endif
