// The test-station server: sockets, the select pass, receiving and sending.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "FactoryTest/FactoryTest.h"
#include "Function/ListenSocket.h"
#include "Function/SystemTime.h"
#include "Platform/Net.h"

namespace {

BOOL SetNonBlockCloexec(int fd, const char* nonblockErr, const char* cloexecErr)
{
    const int fl = fcntl(fd, F_GETFL);
    if (fl < 0 || fcntl(fd, F_SETFL, fl | O_NONBLOCK) < 0) {
        printf("%s\n", nonblockErr);
        return FALSE;
    }
    if (fcntl(fd, F_SETFD, FD_CLOEXEC) < 0) {
        printf("%s\n", cloexecErr);
        return FALSE;
    }
    return TRUE;
}

unsigned short BoundPort(int fd)
{
    sockaddr_in addr;
    socklen_t len = sizeof(addr);
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        return 0;
    }
    return ntohs(addr.sin_port);
}

}  // namespace

BOOL CFactoryTest::GetIFHWAddr(int skfd)
{
    if (XGetIfHwAddr(skfd, "wlan0", m_MACAddr) != 0) {
        printf("net_get_hwaddr: ioctl SIOCGIFHWADDR\n");
        return FALSE;
    }
    return TRUE;
}

BOOL CFactoryTest::InitSocketUDP()
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        printf("SOCKET INIT ERR\n");
        return FALSE;
    }
    if (!SetNonBlockCloexec(fd, "fcntl: unable to set server socket to nonblocking",
                            "can't set close-on-exec on server socket!")) {
        close(fd);
        return FALSE;
    }
    int one = 1;
    unsigned char loop = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one)) != 0 ||
        setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof(loop)) != 0) {
        printf("setsockopt\n");
        close(fd);
        return FALSE;
    }
    if (!GetIFHWAddr(fd)) {
        printf("Get Wlan0 MAC\n");
        close(fd);
        return FALSE;
    }
    sockaddr_in addr;
    memset(&addr, 0, sizeof(addr));
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(m_UdpPort);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        printf("bind() udp.\n");
        close(fd);
        return FALSE;
    }
    m_sockServerUdp = fd;
    m_UdpPortBound = BoundPort(fd);
    return TRUE;
}

BOOL CFactoryTest::InitSocketTCP()
{
    // Printed for the step that failed.
    static const char* const kFailed[emListenStep_Count] = {
        "", "unable to create socket", "setsockopt", "unable to bind", "getsockname", "unable to listen",
    };
    tagListenSpec spec;
    spec.port = m_TcpPort;
    spec.backlog = 4;
    spec.nonblock = true;
    const tagListenResult r = XListenTcp(spec);
    if (r.fd < 0) {
        printf("%s\n", kFailed[r.failed]);
        return FALSE;
    }
    m_sockServerTcp = r.fd;
    m_TcpPortBound = ntohs(r.bound.sin_port);
    return TRUE;
}

BOOL CFactoryTest::EnableDiscovery()
{
    std::lock_guard<std::mutex> lock(m_StartLock);
    if (m_bEnableDiscorvery) {
        return TRUE;
    }
    const FactoryRoles& r = m_Roles;
    if (r.ports == nullptr || r.card == nullptr || r.pins == nullptr || r.prompts == nullptr ||
        r.sensors == nullptr || r.capture == nullptr || r.shell == nullptr) {
        return FALSE;
    }
    // A failed start leaves nothing open, so a later call may try again.
    if (!InitSocketUDP()) {
        return FALSE;
    }
    if (!InitSocketTCP()) {
        CleanUpRequest();
        return FALSE;
    }
    m_ReqUdp = static_cast<RequestClient*>(calloc(1, sizeof(RequestClient)));
    m_ReqTcp = static_cast<RequestClient*>(calloc(FACTORY_TEST_MAX_CLIENT, sizeof(RequestClient)));
    if (m_ReqUdp == nullptr || m_ReqTcp == nullptr) {
        CleanUpRequest();
        return FALSE;
    }
    m_ReqUdp->skfd = m_sockServerUdp;
    for (int i = 0; i < FACTORY_TEST_MAX_CLIENT; ++i) {
        m_ReqTcp[i].skfd = -1;
    }
    printf("RUN FACTORY TEST TRHEAD.\n");
    fflush(stdout);
    if (!CreateThread(0)) {
        CleanUpRequest();
        return FALSE;
    }
    m_bEnableDiscorvery = TRUE;
    return TRUE;
}

BOOL CFactoryTest::ReplyPending(const RequestClient* req)
{
    return req->response_data_ptr != nullptr && req->response_data_ptr < req->response_data_end;
}

void CFactoryTest::ResetExchange(RequestClient* req)
{
    AbortStep(req);
    req->continous = FALSE;
    req->continue_flag = 0;
    req->continue_remain_count = 0;
    req->rst_btn_push_count = 0;
    req->response_data_ptr = nullptr;
    req->response_data_end = nullptr;
}

void CFactoryTest::CloseClient(RequestClient* req)
{
    ResetExchange(req);
    if (req->skfd >= 0) {
        close(req->skfd);
    }
    req->skfd = -1;
    req->request_len = 0;
}

void CFactoryTest::ThreadProc()
{
    while (m_bLoop) {
        ProtocolLoop(2000);
        // A step continues only once its previous reply is out.
        if (m_ReqUdp != nullptr && m_ReqUdp->continous && !ReplyPending(m_ReqUdp)) {
            ProcessCMD(m_ReqUdp);
        }
        for (int i = 0; m_ReqTcp != nullptr && i < FACTORY_TEST_MAX_CLIENT; ++i) {
            RequestClient* req = &m_ReqTcp[i];
            if (req->skfd >= 0 && req->continous && !ReplyPending(req)) {
                ProcessCMD(req);
            }
        }
    }
    CleanUpRequest();
    fprintf(stderr, "CFactoryTest Thread Quiting...\n");
}

int CFactoryTest::ProtocolLoop(unsigned waittime)
{
    if (m_ReqUdp == nullptr || m_ReqTcp == nullptr) {
        return -1;
    }
    fd_set rset;
    fd_set wset;
    FD_ZERO(&rset);
    FD_ZERO(&wset);
    int maxfd = -1;
    auto add = [&maxfd](int fd, fd_set* set) {
        FD_SET(fd, set);
        if (fd > maxfd) {
            maxfd = fd;
        }
    };
    add(m_sockServerTcp, &rset);
    add(m_sockServerUdp, &rset);
    if (ReplyPending(m_ReqUdp)) {
        add(m_sockServerUdp, &wset);
    }
    for (int i = 0; i < FACTORY_TEST_MAX_CLIENT; ++i) {
        RequestClient* req = &m_ReqTcp[i];
        if (req->skfd < 0) {
            continue;
        }
        add(req->skfd, &rset);
        if (ReplyPending(req)) {
            add(req->skfd, &wset);
        }
    }
    // A continuing exchange waits no longer than needed.
    BOOL bContinue = m_ReqUdp->continous && !ReplyPending(m_ReqUdp);
    for (int i = 0; i < FACTORY_TEST_MAX_CLIENT; ++i) {
        bContinue = bContinue || (m_ReqTcp[i].skfd >= 0 && m_ReqTcp[i].continous && !ReplyPending(&m_ReqTcp[i]));
    }
    timeval tv;
    const unsigned ms = bContinue ? 0 : waittime;
    tv.tv_sec = static_cast<time_t>(ms / 1000);
    tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
    const int n = select(maxfd + 1, &rset, &wset, nullptr, &tv);
    if (n < 0) {
        const int err = errno;
        if (err != EINTR) {
            XSleep(100);  // no busy loop on a lasting error
        }
        return -err;
    }
    if (n == 0) {
        return 0;
    }
    if (ReplyPending(m_ReqUdp) && FD_ISSET(m_sockServerUdp, &wset)) {
        SendResponseDataUdp(m_ReqUdp);
    }
    if (!ReplyPending(m_ReqUdp) && FD_ISSET(m_sockServerUdp, &rset)) {
        RecvRequestDataUdp(m_ReqUdp);
    }
    RequestClient* freeSlot = nullptr;
    for (int i = 0; i < FACTORY_TEST_MAX_CLIENT; ++i) {
        RequestClient* req = &m_ReqTcp[i];
        if (req->skfd >= 0) {
            const int fd = req->skfd;
            if (ReplyPending(req) && FD_ISSET(fd, &wset)) {
                SendResponseDataTcp(req);
            }
            if (req->skfd >= 0 && !ReplyPending(req) && FD_ISSET(fd, &rset)) {
                RecvRequestDataTcp(req);
            }
        }
        if (req->skfd < 0 && freeSlot == nullptr) {
            freeSlot = req;
        }
    }
    if (FD_ISSET(m_sockServerTcp, &rset)) {
        if (freeSlot == nullptr) {
            const int fd = accept(m_sockServerTcp, nullptr, nullptr);
            if (fd >= 0) {
                close(fd);
            }
            printf("MAX CLIENT REACHED.\n");
        } else {
            AcceptNewClient(freeSlot);
        }
    }
    return n;
}

void CFactoryTest::AcceptNewClient(RequestClient* req)
{
    const int fd = accept(m_sockServerTcp, nullptr, nullptr);
    if (fd < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            printf("accept\n");
        }
        return;
    }
    if (fd >= FD_SETSIZE) {
        printf("Got fd >= FD_SETSIZE.\n");
        close(fd);
        return;
    }
    if (!SetNonBlockCloexec(fd, "fcntl: unable to set server socket to nonblocking",
                            "fctnl: unable to set close-on-exec for new socket")) {
        close(fd);
        return;
    }
    // The new client starts clean: nothing of the previous one runs for it.
    memset(req, 0, sizeof(*req));
    req->skfd = fd;
}

void CFactoryTest::RecvRequestDataTcp(RequestClient* req)
{
    const ssize_t n = recv(req->skfd, req->request_buf, sizeof(req->request_buf), 0);
    printf("[TCP] RECV FROM CLIENT LEN = %d\n", static_cast<int>(n));
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
        printf("RECV RET=%d,ERRNO=%d\n", static_cast<int>(n), errno);
        return;  // nothing new arrived
    }
    if (n <= 0) {
        printf("RECV RET=%d,ERRNO=%d\n", static_cast<int>(n), n < 0 ? errno : 0);
        CloseClient(req);
        return;
    }
    ResetExchange(req);
    req->request_len = static_cast<int>(n);
    req->continous = TRUE;
}

void CFactoryTest::RecvRequestDataUdp(RequestClient* req)
{
    sockaddr_in from;
    socklen_t len = sizeof(from);
    const ssize_t n = recvfrom(req->skfd, req->request_buf, sizeof(req->request_buf), 0,
                               reinterpret_cast<sockaddr*>(&from), &len);
    if (n > 0) {
        ResetExchange(req);
        req->client_addr = from;
        req->request_len = static_cast<int>(n);
        req->continous = TRUE;
    } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        ResetExchange(req);
    }
}

void CFactoryTest::SendResponseDataTcp(RequestClient* req)
{
    const size_t left = static_cast<size_t>(req->response_data_end - req->response_data_ptr);
    const ssize_t n = send(req->skfd, req->response_data_ptr, left, MSG_NOSIGNAL);
    printf("[TCP] SEND TO CLIENT LEN = %d\n", static_cast<int>(n));
    if (n > 0) {
        req->response_data_ptr += n;
    } else if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
        CloseClient(req);
    }
}

void CFactoryTest::SendResponseDataUdp(RequestClient* req)
{
    const size_t left = static_cast<size_t>(req->response_data_end - req->response_data_ptr);
    const ssize_t n = sendto(req->skfd, req->response_data_ptr, left, 0,
                             reinterpret_cast<const sockaddr*>(&req->client_addr), sizeof(req->client_addr));
    printf("[UDP] SEND TO CLIENT LEN = %d\n", static_cast<int>(n));
    if (n > 0) {
        req->response_data_ptr += n;
    } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        ResetExchange(req);
    }
}

void CFactoryTest::CleanUpRequest()
{
    if (m_ReqUdp != nullptr) {
        ResetExchange(m_ReqUdp);
        free(m_ReqUdp);
        m_ReqUdp = nullptr;
    }
    if (m_sockServerUdp >= 0) {
        close(m_sockServerUdp);
        m_sockServerUdp = -1;
    }
    if (m_sockServerTcp >= 0) {
        close(m_sockServerTcp);
        m_sockServerTcp = -1;
    }
    if (m_ReqTcp != nullptr) {
        for (int i = 0; i < FACTORY_TEST_MAX_CLIENT; ++i) {
            CloseClient(&m_ReqTcp[i]);
        }
        free(m_ReqTcp);
        m_ReqTcp = nullptr;
    }
}
