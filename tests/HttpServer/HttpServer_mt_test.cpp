// CHttpServer's thread beside the SD manager's callbacks: the root follows
// the card and no card file stays open once a callback has returned.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "HttpServer/HttpEngine.h"
#include "HttpServer/HttpServer.h"
#include "Main/Wiring/SharedRoles.h"
#include "Periphery/SDManager.h"
#include "Platform/BoardRoot.h"
#include "support/TestBoard.h"
#include "tests/HttpServer/HttpEngineFixture.h"
#include "tests/HttpServer/HttpTestClient.h"
#include "tests/MultiTask/Watchdog.h"
#include "tests/Periphery/SDTestSupport.h"

namespace {

const int I = emSDState_Insert;
const int M = emSDState_Mount;

void XWrite(const std::string& path, size_t bytes)
{
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(bytes)), 0);
    close(fd);
}

class HttpServerThreads : public ::testing::Test {
protected:
    void SetUp() override
    {
        httpd_set_listen_address("127.0.0.1", 0);
        m_Links.handler = HttpEngineFixture::Handler;
        CHttpServer::instance()->Bind({&m_Card, &m_Links});
        ASSERT_TRUE(CHttpServer::instance()->Init());
        m_nPort = httpd_listen_port();
        ASSERT_GT(m_nPort, 0);
        m_strCard = m_Board.Path("/tmp/mmc0");
    }
    void TearDown() override
    {
        CHttpServer::instance()->CleanUp();
    }
    // A download of `name` that reads nothing: its socket, after its head.
    int SlowDownload(const std::string& name)
    {
        const int s = XTestConnect(m_nPort, 4096);
        if (s < 0 || !XTestSend(s, "GET /file/" + name + " HTTP/1.1\r\n\r\n")) {
            return -1;
        }
        return s;
    }
    // Bytes until the server closes the socket.
    static size_t Drain(int s)
    {
        size_t total = 0;
        char buf[65536];
        ssize_t n;
        while ((n = recv(s, buf, sizeof(buf), 0)) > 0) {
            total += static_cast<size_t>(n);
        }
        return total;
    }

    CTestBoard m_Board;
    CFakeSDSystem m_Sys;
    CSDManager m_SD{&m_Sys};
    CCameraCard m_Card{&m_SD};
    CTestEngineLinks m_Links;
    int m_nPort = 0;
    std::string m_strCard;
};

TEST_F(HttpServerThreads, RootFollowsTheCardAndCardDownloadsAreCut)
{
    EXPECT_EQ(httpd_root(), m_Board.Path("/tmp"));
    ASSERT_EQ(m_SD.CheckSDCard(), I | M);
    EXPECT_EQ(httpd_root(), m_strCard);

    XTestRun("mkdir -p '" + m_strCard + "'");
    const size_t size = 32u << 20;
    XWrite(m_strCard + "/big.mp4", size);
    const int s = SlowDownload("big.mp4");
    ASSERT_GE(s, 0);
    ASSERT_TRUE(XTestWaitFor([] { return HttpEngineFixture::s_nCalls.load() == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    {
        std::lock_guard<std::mutex> lock(m_Sys.m_Lock);
        m_Sys.m_bInserted = false;
    }
    EXPECT_EQ(m_SD.CheckSDCard(), 0);
    EXPECT_EQ(httpd_root(), m_Board.Path("/tmp"));
    // the download is cut: the file is no longer open in this process
    const std::string fds = XTestRun("ls -l /proc/" + std::to_string(getpid()) + "/fd");
    EXPECT_EQ(fds.find("big.mp4"), std::string::npos) << fds;
    EXPECT_LT(Drain(s), size);
    close(s);

    {
        std::lock_guard<std::mutex> lock(m_Sys.m_Lock);
        m_Sys.m_bInserted = true;
    }
    EXPECT_EQ(m_SD.CheckSDCard(), I | M);
    EXPECT_EQ(httpd_root(), m_strCard);
}

TEST_F(HttpServerThreads, RootChangesWhileRequestsRun)
{
    ASSERT_EQ(m_SD.CheckSDCard(), I | M);
    XTestRun("mkdir -p '" + m_strCard + "'");
    XWrite(m_strCard + "/c.bin", 256u << 10);
    XWrite(m_Board.Path("/tmp") + "/c.bin", 256u << 10);
    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};
    RunWithin(std::chrono::milliseconds(120000), "root changes under downloads", [&] {
        std::vector<std::thread> clients;
        for (int c = 0; c < 4; ++c) {
            clients.emplace_back([&, c] {
                while (!stop) {
                    const int s = XTestConnect(m_nPort);
                    if (s < 0) {
                        continue;
                    }
                    const char* url = (c % 2) ? "GET / HTTP/1.1\r\n\r\n" : "GET /file/c.bin HTTP/1.1\r\n\r\n";
                    if (XTestSend(s, url)) {
                        XTestReply r = XTestReadReply(s);
                        if (!r.head.empty()) {
                            ++answered;
                        }
                    }
                    close(s);
                }
            });
        }
        for (int round = 0; round < 40; ++round) {
            {
                std::lock_guard<std::mutex> lock(m_Sys.m_Lock);
                m_Sys.m_bInserted = (round % 2) != 0;
            }
            m_SD.CheckSDCard();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        stop = true;
        for (std::thread& t : clients) {
            t.join();
        }
    });
    EXPECT_GT(answered.load(), 0);
}

}  // namespace
