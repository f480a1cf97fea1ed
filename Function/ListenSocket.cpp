#include "Function/ListenSocket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <sys/socket.h>
#include <unistd.h>

tagListenResult XListenTcp(const tagListenSpec& spec)
{
    tagListenResult r;
    const int type = SOCK_STREAM | SOCK_CLOEXEC | (spec.nonblock ? SOCK_NONBLOCK : 0);
    const int fd = socket(AF_INET, type, 0);
    if (fd == -1) {
        r.failed = emListenStep_Socket;
        r.err = errno;
        return r;
    }
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(spec.port);
    if (spec.addr == nullptr || inet_pton(AF_INET, spec.addr, &addr.sin_addr) != 1) {
        addr.sin_addr.s_addr = htonl(INADDR_ANY);
    }
    const int one = 1;
    socklen_t len = sizeof(addr);
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one)) == -1) {
        r.failed = emListenStep_ReuseAddr;
    } else if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == -1) {
        r.failed = emListenStep_Bind;
    } else if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == -1) {
        r.failed = emListenStep_Name;
    } else if (listen(fd, spec.backlog) == -1) {
        r.failed = emListenStep_Listen;
    } else {
        r.fd = fd;
        r.bound = addr;
        return r;
    }
    r.err = errno;
    close(fd);
    return r;
}
