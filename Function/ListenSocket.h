#ifndef FUNCTION_LISTENSOCKET_H
#define FUNCTION_LISTENSOCKET_H

#include <netinet/in.h>

#include <cstdint>

// The set-up step of a listening socket that failed.
enum emListenStep {
    emListenStep_None = 0,   // none: the socket listens
    emListenStep_Socket,     // socket()
    emListenStep_ReuseAddr,  // setsockopt(SO_REUSEADDR)
    emListenStep_Bind,       // bind()
    emListenStep_Name,       // getsockname()
    emListenStep_Listen,     // listen()
    emListenStep_Count
};

struct tagListenSpec {
    const char* addr = nullptr;  // dotted IPv4 address; nullptr or anything else: all addresses
    uint16_t port = 0;           // 0: a free port the system picks
    int backlog = 0;
    bool nonblock = false;       // accept() returns at once when nobody waits
};

struct tagListenResult {
    int fd = -1;                              // the listening socket (close-on-exec), or -1
    emListenStep failed = emListenStep_None;  // the step that failed
    int err = 0;                              // errno of that step
    sockaddr_in bound = {};                   // the address the socket is bound to
};

// A TCP socket with SO_REUSEADDR, bound and listening. On failure nothing is
// left open and nothing is printed: the caller reports the step in its words.
tagListenResult XListenTcp(const tagListenSpec& spec);

#endif
