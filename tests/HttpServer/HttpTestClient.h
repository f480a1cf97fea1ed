#ifndef TESTS_HTTPSERVER_HTTPTESTCLIENT_H
#define TESTS_HTTPSERVER_HTTPTESTCLIENT_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

// Plain blocking sockets to the engine on 127.0.0.1.
inline int XTestConnect(int port, int rcvbuf = 0)
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) {
        return -1;
    }
    if (rcvbuf > 0) {
        setsockopt(s, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof(rcvbuf));
    }
    struct timeval tv = {20, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    const int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    struct sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<struct sockaddr*>(&a), sizeof(a)) != 0) {
        close(s);
        return -1;
    }
    return s;
}

inline bool XTestSend(int s, const std::string& data)
{
    size_t at = 0;
    while (at < data.size()) {
        const ssize_t n = send(s, data.data() + at, data.size() - at, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        at += static_cast<size_t>(n);
    }
    return true;
}

// Exactly n bytes (fewer when the peer closes or the wait runs out).
inline std::string XTestRecvN(int s, size_t n)
{
    std::string out;
    char buf[65536];
    while (out.size() < n) {
        const size_t want = std::min(sizeof(buf), n - out.size());
        const ssize_t r = recv(s, buf, want, 0);
        if (r <= 0) {
            break;
        }
        out.append(buf, static_cast<size_t>(r));
    }
    return out;
}

struct XTestReply {
    std::string head;
    std::string body;
    bool ok = false;
};

// One reply: the head, then Content-Length bytes of body (none for HEAD).
inline XTestReply XTestReadReply(int s, bool bHeadOnly = false)
{
    XTestReply r;
    char c;
    while (r.head.size() < 65536) {
        if (recv(s, &c, 1, 0) != 1) {
            return r;
        }
        r.head += c;
        if (r.head.size() >= 4 && r.head.compare(r.head.size() - 4, 4, "\r\n\r\n") == 0) {
            break;
        }
    }
    size_t len = 0;
    const size_t at = r.head.find("Content-Length: ");
    if (at != std::string::npos && !bHeadOnly) {
        len = std::stoull(r.head.substr(at + 16));
    }
    r.body = XTestRecvN(s, len);
    r.ok = r.body.size() == len;
    return r;
}

// The head of a reply with an endless body.
inline std::string XTestReadHead(int s)
{
    std::string head;
    char c;
    while (head.find("\r\n\r\n") == std::string::npos && recv(s, &c, 1, 0) == 1) {
        head += c;
    }
    return head;
}

// True when the peer closes within `ms` (after any bytes still pending).
inline bool XTestPeerCloses(int s, int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    char buf[4096];
    while (std::chrono::steady_clock::now() < end) {
        struct pollfd p = {s, POLLIN, 0};
        if (poll(&p, 1, 50) == 1) {
            const ssize_t n = recv(s, buf, sizeof(buf), MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN)) {
                return true;
            }
        }
    }
    return false;
}

inline bool XTestWaitFor(const std::function<bool()>& cond, int ms = 20000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (cond()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return cond();
}

#endif
