#include "TCPComm/TcpSocket.h"

#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Function/ListenSocket.h"

int tcp_listen(int port)
{
    // Printed for the step that failed.
    static const char* const kFailed[emListenStep_Count] = {
        "",
        "socket() error in tcp_listen.",
        "setsockopt() error in tcp_listen.",
        "bind() error in tcp_listen",
        "getsockname() error in tcp_listen.",
        "listen() error in tcp_listen.",
    };
    tagListenSpec spec;
    spec.port = static_cast<uint16_t>(port);
    spec.backlog = 256;
    const tagListenResult r = XListenTcp(spec);
    if (r.fd < 0) {
        printf("%s\n", kFailed[r.failed]);
        return -1;
    }
    int on = 1;
    setsockopt(r.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    return r.fd;
}

int tcp_accept(int fd)
{
    int c = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (c >= 0) {
        int on = 1;
        setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
        // A phone that stops reading fills this, not the camera's memory.
        int sndbuf = 64 * 1024;
        setsockopt(c, SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof(sndbuf));
    }
    return c;
}

long tcp_read(int fd, void* buf, size_t n)
{
    return static_cast<long>(recv(fd, buf, n, 0));
}

int tcp_write(int fd, const void* buf, size_t n)
{
    const char* p = static_cast<const char*>(buf);
    while (n > 0) {
        ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w <= 0) {
            return -1;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return 0;
}

void tcp_close(int fd)
{
    if (fd >= 0) {
        close(fd);
    }
}

int tcp_local_port(int fd)
{
    struct sockaddr_in addr = {};
    socklen_t len = sizeof(addr);
    if (getsockname(fd, reinterpret_cast<struct sockaddr*>(&addr), &len) != 0) {
        return 0;
    }
    return ntohs(addr.sin_port);
}
