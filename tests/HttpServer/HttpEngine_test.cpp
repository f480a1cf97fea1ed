// The engine over real sockets: keep-alive, request limits, pipelining,
// file and memory replies, idle close, live viewers and descriptor pressure.
#include <sys/resource.h>
#include <sys/wait.h>

#include <random>
#include <vector>

#include "tests/HttpServer/HttpEngineFixture.h"

namespace {

// Frame i: 4 KiB, a key frame (SPS) every 10th, its number after the NAL byte.
std::string Frame(uint32_t i)
{
    std::string f = std::string("\0\0\0\1", 4) + static_cast<char>(i % 10 == 0 ? 0x67 : 0x41);
    for (int b = 3; b >= 0; --b) {
        f += static_cast<char>((i >> (8 * b)) & 0xFF);
    }
    f.resize(4096, static_cast<char>(0xAA));
    return f;
}

uint32_t FrameNumber(const std::string& f)
{
    uint32_t v = 0;
    for (int b = 0; b < 4; ++b) {
        v = (v << 8) | static_cast<unsigned char>(f[5 + b]);
    }
    return v;
}

class HttpEngineTest : public HttpEngineFixture {
protected:
    std::string Curl(const std::string& args)
    {
        const std::string cmd = "curl -s --max-time 20 " + args + " 2>&1";
        std::string out;
        FILE* p = popen(cmd.c_str(), "r");
        if (p == nullptr) {
            return out;
        }
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof(buf), p)) > 0) {
            out.append(buf, n);
        }
        pclose(p);
        return out;
    }
    // A live request; its first frame (number 0) is pushed once the handler waits for it.
    int StartViewer(int before, int rcvbuf = 0)
    {
        const int s = XTestConnect(m_nPort, rcvbuf);
        if (s < 0 || !XTestSend(s, "GET /live HTTP/1.1\r\n\r\n") ||
            !XTestWaitFor([before] { return s_nCalls.load() == before + 1; })) {
            return -1;
        }
        m_pSource->Push(Frame(0));
        return s;
    }
    std::string Url(const std::string& path) { return "http://127.0.0.1:" + std::to_string(m_nPort) + path; }
};

TEST_F(HttpEngineTest, KeepAliveMatrix)
{
    struct Row {
        const char* request;
        bool keep;
    } rows[] = {
        {"GET /head HTTP/1.1\r\n\r\n", true},
        {"GET /head http/1.1\r\nHost: x\r\n\r\n", true},
        {"GET /head HTTP/1.1\n\n", true},                                 // LF only
        {"GET /head HTTP/1.1\r\nConnection: close\r\n\r\n", false},
        {"GET /head HTTP/1.0\r\n\r\n", false},
        {"GET /head HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", true},
        {"GET /head\r\n\r\n", false},                                       // no version
        {"HEAD /mem/a/10 HTTP/1.1\r\n\r\n", true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.request);
        const int s = XTestConnect(m_nPort);
        ASSERT_GE(s, 0);
        ASSERT_TRUE(XTestSend(s, r.request));
        XTestReply rep = XTestReadReply(s, std::string(r.request).compare(0, 4, "HEAD") == 0);
        ASSERT_EQ(rep.head.compare(0, 15, "HTTP/1.1 200 OK"), 0) << rep.head;
        EXPECT_EQ(rep.head.find("Keep-Alive: timeout=60\r\n") != std::string::npos, r.keep) << rep.head;
        EXPECT_EQ(rep.head.find("Connection: close\r\n") != std::string::npos, !r.keep) << rep.head;
        if (r.keep) {
            ASSERT_TRUE(XTestSend(s, "GET /mem/k/3 HTTP/1.1\r\n\r\n"));
            XTestReply again = XTestReadReply(s);
            EXPECT_EQ(again.body, "kkk");
        } else {
            EXPECT_TRUE(XTestPeerCloses(s, 10000));
        }
        close(s);
    }
}

TEST_F(HttpEngineTest, OneBytePerSend)
{
    const int s = XTestConnect(m_nPort);
    ASSERT_GE(s, 0);
    const std::string req = "GET /mem/z/5 HTTP/1.1\r\nUser-Agent: slow\r\n\r\n";
    for (char c : req) {
        ASSERT_TRUE(XTestSend(s, std::string(1, c)));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    XTestReply rep = XTestReadReply(s);
    EXPECT_EQ(rep.body, "zzzzz");
    EXPECT_EQ(s_nCalls.load(), 1);
    close(s);
}

TEST_F(HttpEngineTest, RequestLimitIsCheckedBeforeTheHandler)
{
    const std::string line = "GET /head HTTP/1.1\r\nX: ";
    const size_t pad = 4000 - line.size() - 4;
    const std::string exact = line + std::string(pad, 'p') + "\r\n\r\n";
    ASSERT_EQ(exact.size(), 4000u);
    struct Row {
        std::string bytes;
        int calls;
        const char* status;
    } rows[] = {
        {exact, 1, "HTTP/1.1 200 OK"},
        {line + std::string(pad + 1, 'p') + "\r\n\r\n", 0, "HTTP/1.1 413 Request Entity Too Large"},
        {line + std::string(4001, 'p'), 0, "HTTP/1.1 413 Request Entity Too Large"},   // never complete
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.bytes.size());
        s_nCalls = 0;
        const int s = XTestConnect(m_nPort);
        ASSERT_GE(s, 0);
        ASSERT_TRUE(XTestSend(s, r.bytes));
        XTestReply rep = XTestReadReply(s);
        EXPECT_EQ(rep.head.compare(0, strlen(r.status), r.status), 0) << rep.head;
        EXPECT_EQ(s_nCalls.load(), r.calls);
        if (r.calls == 0) {
            EXPECT_NE(rep.body.find("Your request was dropped because it was too long."), std::string::npos);
            EXPECT_NE(rep.head.find("Connection: close\r\n"), std::string::npos);
            EXPECT_TRUE(XTestPeerCloses(s, 10000));
        }
        close(s);
    }
}

// The limit counts every byte received for the request, also bytes that
// follow a complete head in the same read; sent in one write, or in two
// split inside the head so that the end of the head comes with the extra.
TEST_F(HttpEngineTest, RequestLimitCountsBytesBehindTheHead)
{
    const std::string line = "GET /head HTTP/1.1\r\nX: ";
    // A head of `head` bytes, then `extra` bytes.
    const auto request = [&](size_t head, size_t extra) {
        return line + std::string(head - line.size() - 4, 'p') + "\r\n\r\n" + std::string(extra, 'b');
    };
    struct Row {
        size_t head, extra;
        bool tooLong;
    } rows[] = {
        {2998, 1500, true},   // 4498 in all
        {2998, 1001, false},  // 3999
        {2998, 1003, true},   // 4001
        {3000, 1000, false},  // 4000
        {3000, 1001, true},   // 4001
        {100, 3900, false},   // 4000
        {100, 3901, true},    // 4001
        {3999, 2, true},      // 4001
    };
    for (const Row& r : rows) {
        for (bool split : {false, true}) {
            const std::string bytes = request(r.head, r.extra);
            SCOPED_TRACE(std::to_string(r.head) + " + " + std::to_string(r.extra) + (split ? ", two writes" : ""));
            s_nCalls = 0;
            const int s = XTestConnect(m_nPort);
            ASSERT_GE(s, 0);
            if (split) {
                // the first part ends inside the head: nothing is answered yet
                const size_t cut = r.head / 2;
                ASSERT_TRUE(XTestSend(s, bytes.substr(0, cut)));
                struct pollfd p = {s, POLLIN, 0};
                EXPECT_EQ(poll(&p, 1, 100), 0);
                ASSERT_TRUE(XTestSend(s, bytes.substr(cut)));
            } else {
                ASSERT_TRUE(XTestSend(s, bytes));
            }
            XTestReply rep = XTestReadReply(s);
            const char* status = r.tooLong ? "HTTP/1.1 413 Request Entity Too Large" : "HTTP/1.1 200 OK";
            EXPECT_EQ(rep.head.compare(0, strlen(status), status), 0) << rep.head;
            EXPECT_EQ(s_nCalls.load(), r.tooLong ? 0 : 1);
            if (r.tooLong) {
                EXPECT_NE(rep.body.find("Your request was dropped because it was too long."), std::string::npos);
                EXPECT_NE(rep.head.find("Connection: close\r\n"), std::string::npos);
                EXPECT_TRUE(XTestPeerCloses(s, 10000));
            } else {
                // what followed the head was dropped; the connection serves on
                ASSERT_TRUE(XTestSend(s, "GET /mem/k/3 HTTP/1.1\r\n\r\n"));
                EXPECT_EQ(XTestReadReply(s).body, "kkk");
            }
            close(s);
        }
    }
}

TEST_F(HttpEngineTest, OtherMethodsAndBadHeadsAreAnsweredAndClosed)
{
    const std::string post = Curl("-o /dev/null -w '%{http_code}' -d x " + Url("/head"));
    EXPECT_EQ(post, "501");
    struct Row {
        std::string bytes;
        const char* status;
        const char* text;
    } rows[] = {
        {"POST /x HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello", "HTTP/1.1 501 Not Implemented",
         "The method you specified (POST) is not implemented."},
        {"FOO /x HTTP/1.1\r\n\r\n", "HTTP/1.1 400 Bad Request", "FOO is not a valid HTTP/1.1 method."},
        {"<B> /x HTTP/1.1\r\n\r\n", "HTTP/1.1 400 Bad Request", "&lt;B&gt; is not a valid HTTP/1.1 method."},
        {std::string("GET /a\0b HTTP/1.1\r\n\r\n", 21), "HTTP/1.1 400 Bad Request",
         "You sent a request that the server couldn't understand."},
        {"GET   \r\n\r\n", "HTTP/1.1 400 Bad Request", "You sent a request that the server couldn't understand."},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.status);
        const int s = XTestConnect(m_nPort);
        ASSERT_GE(s, 0);
        ASSERT_TRUE(XTestSend(s, r.bytes));
        XTestReply rep = XTestReadReply(s);
        EXPECT_EQ(rep.head.compare(0, strlen(r.status), r.status), 0) << rep.head;
        EXPECT_NE(rep.body.find(r.text), std::string::npos) << rep.body;
        EXPECT_TRUE(XTestPeerCloses(s, 10000));
        close(s);
    }
    EXPECT_EQ(s_nCalls.load(), 0);
}

TEST_F(HttpEngineTest, PipelinedSecondRequestIsDroppedAndTheConnectionKept)
{
    const int s = XTestConnect(m_nPort);
    ASSERT_GE(s, 0);
    ASSERT_TRUE(XTestSend(s, "GET /mem/a/2 HTTP/1.1\r\n\r\nGET /mem/b/2 HTTP/1.1\r\n\r\n"));
    XTestReply first = XTestReadReply(s);
    EXPECT_EQ(first.body, "aa");
    // nothing more comes for the dropped one; the connection still serves
    struct pollfd p = {s, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 300), 0);
    ASSERT_TRUE(XTestSend(s, "GET /mem/c/2 HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(XTestReadReply(s).body, "cc");
    EXPECT_EQ(s_nCalls.load(), 2);
    close(s);
}

TEST_F(HttpEngineTest, LargeFilesAreByteIdentical)
{
    std::mt19937 rng(7);
    for (size_t size : {size_t(5000000), size_t(4194305)}) {
        SCOPED_TRACE(size);
        std::string data(size, '\0');
        for (char& c : data) {
            c = static_cast<char>(rng());
        }
        MakeFile("/f.bin", data);
        const std::string out = m_strRoot + "/got.bin";
        EXPECT_EQ(Curl("-o '" + out + "' -w '%{http_code}' " + Url("/file/f.bin")), "200");
        EXPECT_EQ(system(("cmp -s '" + out + "' '" + m_strRoot + "/f.bin'").c_str()), 0);
    }
}

TEST_F(HttpEngineTest, MemoryReplyKeepsItsBytesWhileOthersAreBuilt)
{
    const size_t big = 1500000;
    const int slow = XTestConnect(m_nPort, 4096);
    ASSERT_GE(slow, 0);
    ASSERT_TRUE(XTestSend(slow, "GET /mem/A/" + std::to_string(big) + " HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(XTestWaitFor([] { return s_nCalls.load() == 1; }));
    for (const char* url : {"/mem/B/1600000", "/json/1700000"}) {
        const int other = XTestConnect(m_nPort);
        ASSERT_GE(other, 0);
        ASSERT_TRUE(XTestSend(other, std::string("GET ") + url + " HTTP/1.1\r\n\r\n"));
        XTestReply r = XTestReadReply(other);
        EXPECT_TRUE(r.ok);
        close(other);
    }
    XTestReply first = XTestReadReply(slow);
    ASSERT_EQ(first.body.size(), big);
    EXPECT_EQ(first.body.find_first_not_of('A'), std::string::npos);
    close(slow);
}

std::atomic<int> g_nResumed{0};

void XResume()
{
    ++g_nResumed;
}

TEST_F(HttpEngineTest, SpeedTestRepliesResumeRecordingWhenTheyEnd)
{
    m_Links.resume = XResume;
    g_nResumed = 0;
    const int s = XTestConnect(m_nPort);
    ASSERT_GE(s, 0);
    for (int i = 1; i <= 2; ++i) {
        ASSERT_TRUE(XTestSend(s, "GET /speed HTTP/1.1\r\n\r\n"));
        EXPECT_EQ(XTestReadReply(s).body, "ssss");
        EXPECT_TRUE(XTestWaitFor([i] { return g_nResumed.load() == i; }));  // kept alive, resumed
    }
    ASSERT_TRUE(XTestSend(s, "GET /mem/x/1 HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(XTestReadReply(s).body, "x");
    close(s);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(g_nResumed.load(), 2);
    m_Links.resume = nullptr;
}

TEST_F(HttpEngineTest, FileRepliesCutFromARequestOfTheSamePass)
{
    MakeFile("/big", std::string(16 << 20, 'b'));
    std::vector<int> slow;
    for (int i = 0; i < 3; ++i) {
        const int s = XTestConnect(m_nPort, 4096);
        ASSERT_GE(s, 0);
        ASSERT_TRUE(XTestSend(s, "GET /file/big HTTP/1.1\r\n\r\n"));
        slow.push_back(s);
    }
    ASSERT_TRUE(XTestWaitFor([] { return s_nCalls.load() == 3; }));
    // the cutting request and another ready one in the same pass
    const int cut = XTestConnect(m_nPort);
    const int other = XTestConnect(m_nPort);
    ASSERT_GE(cut, 0);
    ASSERT_GE(other, 0);
    ASSERT_TRUE(XTestSend(other, "GET /mem/o/2 HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(XTestSend(cut, "GET /cut HTTP/1.1\r\n\r\n"));
    EXPECT_TRUE(XTestReadReply(cut).ok);
    EXPECT_EQ(XTestReadReply(other).body, "oo");
    for (int s : slow) {
        size_t total = 0;
        char buf[65536];
        ssize_t n;
        while ((n = recv(s, buf, sizeof(buf), 0)) > 0) {
            total += static_cast<size_t>(n);
        }
        EXPECT_EQ(n, 0);
        EXPECT_LT(total, 16u << 20);
        close(s);
    }
    close(cut);
    close(other);
}

TEST_F(HttpEngineTest, IdleConnectionsCloseOnTheMonotonicClock)
{
    httpd_set_idletime(2);
    // a connection that never sends
    const int quiet = XTestConnect(m_nPort);
    ASSERT_GE(quiet, 0);
    // a stalled reply: a large body that is never read
    std::string data(8 << 20, 'x');
    MakeFile("/big", data);
    const int stalled = XTestConnect(m_nPort, 4096);
    ASSERT_GE(stalled, 0);
    ASSERT_TRUE(XTestSend(stalled, "GET /file/big HTTP/1.1\r\n\r\n"));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(XTestPeerCloses(quiet, 15000));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(1500));
    EXPECT_TRUE(XTestWaitFor([] { return httpd_connection_count() == 0; }));
    close(quiet);
    close(stalled);
}

TEST_F(HttpEngineTest, LiveViewersEachGetEveryFrameAndALaggardResumesAtAKeyFrame)
{
    httpd_set_live_backlog(8, 1u << 20);
    const int a = StartViewer(0);
    ASSERT_GE(a, 0);
    EXPECT_NE(XTestReadHead(a).find("Content-Length: 18446744073709551615\r\n"), std::string::npos);
    EXPECT_EQ(FrameNumber(XTestRecvN(a, 4096)), 0u);
    const int b = StartViewer(1, 4096);
    ASSERT_GE(b, 0);

    // a reads as frames come; b reads nothing
    const uint32_t kFrames = 600;
    for (uint32_t i = 1; i <= kFrames; ++i) {
        m_pSource->Push(Frame(i));
        const std::string f = XTestRecvN(a, 4096);
        ASSERT_EQ(f.size(), 4096u);
        ASSERT_EQ(FrameNumber(f), i);
    }
    // b now reads: its head, its first frame, then whole frames in order,
    // skipping only up to a key frame
    ASSERT_EQ(XTestReadHead(b).compare(0, 15, "HTTP/1.1 200 OK"), 0);
    uint32_t last = FrameNumber(XTestRecvN(b, 4096));
    EXPECT_EQ(last, 0u);
    bool skipped = false;
    while (last < kFrames) {
        const std::string f = XTestRecvN(b, 4096);
        ASSERT_EQ(f.size(), 4096u) << "after frame " << last;
        ASSERT_EQ(f.compare(0, 4, std::string("\0\0\0\1", 4)), 0);
        const uint32_t n = FrameNumber(f);
        ASSERT_GT(n, last);
        if (n != last + 1) {
            EXPECT_EQ(n % 10, 0u) << "resumed at " << n;
            skipped = true;
        }
        last = n;
    }
    EXPECT_TRUE(skipped);
    close(a);
    close(b);
}

TEST_F(HttpEngineTest, AFifthLiveViewerGetsTheLiveErrorPage)
{
    std::vector<int> viewers;
    for (int i = 0; i < 5; ++i) {
        const int s = StartViewer(i);
        ASSERT_GE(s, 0);
        const std::string head = XTestReadHead(s);
        if (i < 4) {
            EXPECT_EQ(head.compare(0, 15, "HTTP/1.1 200 OK"), 0) << head;
            EXPECT_EQ(FrameNumber(XTestRecvN(s, 4096)), 0u);
        } else {
            EXPECT_EQ(head.compare(0, 34, "HTTP/1.1 500 internal server error"), 0) << head;
        }
        viewers.push_back(s);
    }
    for (int s : viewers) {
        close(s);
    }
}

TEST_F(HttpEngineTest, ManyConnectionsUnderADescriptorLimit)
{
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    struct rlimit low = old;
    low.rlim_cur = 128;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    // 300 connections from another process, held, then closed
    const std::string py = "ulimit -n 1024 && " + std::string(DASHCAM_PYTHON) +
                           " -c 'import socket,sys,time\n"
                           "s=[socket.create_connection((\"127.0.0.1\"," + std::to_string(m_nPort) + ")) for i in range(300)]\n"
                           "time.sleep(1)\n"
                           "[x.close() for x in s]\n'";
    const int rc = system(py.c_str());
    EXPECT_EQ(WEXITSTATUS(rc), 0);
    EXPECT_LE(httpd_connection_count(), static_cast<size_t>(HTTP_MAX_CONNECTIONS));
    ASSERT_TRUE(XTestWaitFor([] { return httpd_connection_count() <= 1; }));
    const int s = XTestConnect(m_nPort);
    ASSERT_GE(s, 0);
    ASSERT_TRUE(XTestSend(s, "GET /mem/q/4 HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(XTestReadReply(s).body, "qqqq");
    close(s);
    setrlimit(RLIMIT_NOFILE, &old);
}

TEST_F(HttpEngineTest, ListingAndNotFoundThroughTheEngine)
{
    MakeFile("/a b.txt", "12");
    m_Links.handler = nullptr;  // process_get itself
    const std::string listing = Curl(Url("/"));
    EXPECT_NE(listing.find("<a href=\"a b.txt\">a b.txt</a>"), std::string::npos) << listing;
    EXPECT_EQ(Curl("-o /dev/null -w '%{http_code}' --path-as-is " + Url("/../x")), "400");
    EXPECT_EQ(Curl("-o /dev/null -w '%{http_code}' " + Url("/x")), "404");
}

TEST(HttpEngineBindTest, ABusyPortIsRetriedFromThePasses)
{
    // hold a port, start the engine on it, then let it go
    const int holder = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(holder, 0);
    struct sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(a);
    ASSERT_EQ(bind(holder, reinterpret_cast<struct sockaddr*>(&a), sizeof(a)), 0);
    ASSERT_EQ(getsockname(holder, reinterpret_cast<struct sockaddr*>(&a), &len), 0);
    ASSERT_EQ(listen(holder, 1), 0);
    const int port = ntohs(a.sin_port);

    testing::internal::CaptureStderr();
    httpd_set_listen_address("127.0.0.1", port);
    init_exec_env("/tmp", nullptr);
    EXPECT_EQ(httpd_listen_port(), 0);
    httpd_poll();
    httpd_poll();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("bind(port"), err.rfind("bind(port")) << err;  // logged once
    close(holder);
    for (int i = 0; i < 10 && httpd_listen_port() == 0; ++i) {
        httpd_poll();
    }
    EXPECT_EQ(httpd_listen_port(), port);
    std::thread client([port] {
        const int s = XTestConnect(port);
        if (s >= 0) {
            XTestSend(s, "GET /nothing HTTP/1.1\r\n\r\n");
            XTestReadReply(s);
            close(s);
        }
    });
    for (int i = 0; i < 100 && httpd_num_requests() == 0; ++i) {
        httpd_poll();
    }
    client.join();
    EXPECT_EQ(httpd_num_requests(), 1u);
    deinit_exec_env();
}

}  // namespace
