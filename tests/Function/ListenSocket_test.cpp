#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "Function/ListenSocket.h"

namespace {

tagListenResult Listen(const char* addr, uint16_t port, bool nonblock = false)
{
    tagListenSpec spec;
    spec.addr = addr;
    spec.port = port;
    spec.backlog = 4;
    spec.nonblock = nonblock;
    return XListenTcp(spec);
}

std::string AddrText(const sockaddr_in& a)
{
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &a.sin_addr, text, sizeof(text));
    return text;
}

int OpenFds()
{
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    if (d == nullptr) {
        return -1;
    }
    while (readdir(d) != nullptr) {
        ++n;
    }
    closedir(d);
    return n;
}

// A client connected to the loopback port, or -1.
int ConnectTo(uint16_t port)
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s >= 0 && connect(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
        close(s);
        return -1;
    }
    return s;
}

TEST(ListenSocket, ListensOnAFreePortAndAcceptsAClient)
{
    for (const bool nonblock : {false, true}) {
        SCOPED_TRACE(nonblock ? "non-blocking" : "blocking");
        const tagListenResult r = Listen("127.0.0.1", 0, nonblock);
        ASSERT_GE(r.fd, 0) << r.failed << " " << r.err;
        EXPECT_EQ(r.failed, emListenStep_None);
        EXPECT_EQ(AddrText(r.bound), "127.0.0.1");
        const uint16_t port = ntohs(r.bound.sin_port);
        EXPECT_NE(port, 0);
        EXPECT_NE(fcntl(r.fd, F_GETFD) & FD_CLOEXEC, 0);
        EXPECT_EQ((fcntl(r.fd, F_GETFL) & O_NONBLOCK) != 0, nonblock);
        if (nonblock) {
            EXPECT_EQ(accept(r.fd, nullptr, nullptr), -1);
            EXPECT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK) << errno;
        }
        const int c = ConnectTo(port);
        ASSERT_GE(c, 0);
        const int a = accept(r.fd, nullptr, nullptr);
        EXPECT_GE(a, 0);
        close(a);
        close(c);
        close(r.fd);
    }
}

TEST(ListenSocket, NoOrUnreadableAddressMeansAllAddresses)
{
    for (const char* addr : {static_cast<const char*>(nullptr), "", "localhost", "0.0.0.0"}) {
        SCOPED_TRACE(addr != nullptr ? addr : "(none)");
        const tagListenResult r = Listen(addr, 0);
        ASSERT_GE(r.fd, 0);
        EXPECT_EQ(AddrText(r.bound), "0.0.0.0");
        close(r.fd);
    }
}

TEST(ListenSocket, AFailedBindIsReportedAndLeavesNothingOpen)
{
    const tagListenResult holder = Listen("127.0.0.1", 0);
    ASSERT_GE(holder.fd, 0);
    const uint16_t busy = ntohs(holder.bound.sin_port);
    struct Case {
        const char* addr;
        uint16_t port;
        int err;
    };
    const Case cases[] = {
        {"127.0.0.1", busy, EADDRINUSE},  // listened on by another socket
        {"192.0.2.1", 0, EADDRNOTAVAIL},  // not an address of this host
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.addr);
        const int before = OpenFds();
        const tagListenResult r = Listen(c.addr, c.port);
        EXPECT_EQ(r.fd, -1);
        EXPECT_EQ(r.failed, emListenStep_Bind);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(OpenFds(), before);
    }
    close(holder.fd);
}

TEST(ListenSocket, APortLeftByAClosedConnectionIsReused)
{
    // The server side closes first: its end of the connection lingers on the port.
    const tagListenResult first = Listen("127.0.0.1", 0);
    ASSERT_GE(first.fd, 0);
    const uint16_t port = ntohs(first.bound.sin_port);
    const int c = ConnectTo(port);
    ASSERT_GE(c, 0);
    const int a = accept(first.fd, nullptr, nullptr);
    ASSERT_GE(a, 0);
    close(a);
    char byte;
    EXPECT_EQ(read(c, &byte, 1), 0);  // the server's FIN arrived
    close(c);
    close(first.fd);

    const tagListenResult again = Listen("127.0.0.1", port);
    EXPECT_GE(again.fd, 0) << again.failed << " " << again.err;
    EXPECT_EQ(ntohs(again.bound.sin_port), port);
    if (again.fd >= 0) {
        close(again.fd);
    }
}

TEST(ListenSocket, NoDescriptorLeftFailsAtSocket)
{
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    const int lowest = dup(0);
    ASSERT_GE(lowest, 0);
    close(lowest);
    struct rlimit low = old;
    low.rlim_cur = static_cast<rlim_t>(lowest);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    const tagListenResult r = Listen("127.0.0.1", 0);
    setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(r.fd, -1);
    EXPECT_EQ(r.failed, emListenStep_Socket);
    EXPECT_EQ(r.err, EMFILE);
}

}  // namespace
