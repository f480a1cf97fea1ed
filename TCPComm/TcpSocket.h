#ifndef TCPCOMM_TCPSOCKET_H
#define TCPCOMM_TCPSOCKET_H

#include <cstddef>

// A listening TCP socket on all addresses (SO_REUSEADDR, TCP_NODELAY,
// backlog 256), or -1.
int tcp_listen(int port);
// The next connection, or -1.
int tcp_accept(int fd);
long tcp_read(int fd, void* buf, size_t n);
// Writes all n bytes: 0, or -1.
int tcp_write(int fd, const void* buf, size_t n);
void tcp_close(int fd);
// The port a socket is bound to, or 0.
int tcp_local_port(int fd);

#endif
