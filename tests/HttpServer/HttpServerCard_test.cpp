// The web server on a real card (loop devices): a format during a download
// of a card file succeeds, and the root follows removal and insertion.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "HttpServer/HttpEngine.h"
#include "HttpServer/HttpServer.h"
#include "Main/Wiring/SharedRoles.h"
#include "Periphery/SDManager.h"
#include "Periphery/SDSystem.h"
#include "support/CardRig.h"
#include "support/TestBoard.h"
#include "tests/HttpServer/HttpEngineFixture.h"
#include "tests/HttpServer/HttpTestClient.h"

namespace {

const int I = emSDState_Insert;
const int M = emSDState_Mount;

// The camera's system calls without the retry pauses.
class CNoSleepSystem : public CSDSystem {
public:
    void Sleep(unsigned) override {}
};

class HttpServerCardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string why = CCardRig::Unavailable();
        if (!why.empty()) {
            GTEST_SKIP() << why;
        }
        m_Rig.reset(new CCardRig(m_Board, 64));
        ASSERT_TRUE(m_Rig->Ok()) << m_Rig->Error();
        m_SD.reset(new CSDManager(&m_Sys));
        httpd_set_listen_address("127.0.0.1", 0);
        m_Links.handler = HttpEngineFixture::Handler;
        m_Card.Attach(m_SD.get());
        CHttpServer::instance()->Bind({&m_Card, &m_Links});
        ASSERT_TRUE(CHttpServer::instance()->Init());
        m_bStarted = true;
        m_nPort = httpd_listen_port();
    }
    void TearDown() override
    {
        if (m_bStarted) {
            CHttpServer::instance()->CleanUp();
        }
        m_SD.reset();
        m_Rig.reset();
    }

    CTestBoard m_Board;
    std::unique_ptr<CCardRig> m_Rig;
    CNoSleepSystem m_Sys;
    std::unique_ptr<CSDManager> m_SD;
    CCameraCard m_Card;
    CTestEngineLinks m_Links;
    bool m_bStarted = false;
    int m_nPort = 0;
};

TEST_F(HttpServerCardTest, FormatDuringADownloadSucceedsAndTheRootFollowsTheCard)
{
    ASSERT_EQ(m_SD->CheckSDCard(), I | M);
    const std::string card = m_Rig->MountDir();
    EXPECT_EQ(httpd_root(), card);
    {
        const int fd = open((card + "/clip.mp4").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const std::string chunk(1 << 20, 'v');
        for (int i = 0; i < 24; ++i) {
            ASSERT_EQ(write(fd, chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
        }
        close(fd);
    }
    const int s = XTestConnect(m_nPort, 4096);
    ASSERT_GE(s, 0);
    ASSERT_TRUE(XTestSend(s, "GET /file/clip.mp4 HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(XTestWaitFor([] { return HttpEngineFixture::s_nCalls.load() == 1; }));
    ASSERT_EQ(XTestRecvN(s, 100).size(), 100u);  // the download runs

    testing::internal::CaptureStdout();
    const int formatted = m_SD->Format();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(formatted, 0);
    size_t total = 100;
    char buf[65536];
    ssize_t n;
    while ((n = recv(s, buf, sizeof(buf), 0)) > 0) {
        total += static_cast<size_t>(n);
    }
    EXPECT_EQ(n, 0);                  // closed by the server
    EXPECT_LT(total, 24u << 20);      // before the end of the file
    close(s);

    ASSERT_EQ(m_SD->CheckSDCard(), I | M);
    EXPECT_EQ(httpd_root(), card);
    m_Board.Sim("card", "remove");
    EXPECT_EQ(m_SD->CheckSDCard(), 0);
    EXPECT_EQ(httpd_root(), m_Board.Path("/tmp"));
    m_Board.Sim("card", "insert");
    EXPECT_EQ(m_SD->CheckSDCard(), I | M);
    EXPECT_EQ(httpd_root(), card);
}

}  // namespace
