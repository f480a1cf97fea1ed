// process_get over the engine on a fixture folder, with recording fakes
// behind the bridges: file replies, special URLs, lists, the JPEG, the
// speed test and live viewers.
#include <sys/stat.h>
#include <utime.h>

#include <string>
#include <vector>

#include "HttpServer/ProcessGet.h"
#include "HttpServer/httpcmd/HttpCmd.h"
#include "HttpServer/httpcmd/SubStreamSource.h"
#include "Record/PauseReasons.h"
#include "tests/HttpServer/FakeWebPorts.h"
#include "tests/HttpServer/HttpEngineFixture.h"

namespace {

class ProcessGetTest : public HttpEngineFixture {
protected:
    void SetUp() override
    {
        CPauseReasons::instance()->Reset();
        CWebBridges::instance()->Bind(m_Ports.Roles());
        HttpEngineFixture::SetUp();
        m_Links.resume = ResumeRecordForSpeedTest;
        std::string fifty;
        for (int i = 0; i < 50; ++i) {
            fifty += static_cast<char>('A' + i % 26);
        }
        m_Fifty = fifty;
        MakeFile("/f50.bin", fifty);
        mkdir((m_strRoot + "/DCIM").c_str(), 0755);
        mkdir((m_strRoot + "/tavika-ft").c_str(), 0755);
        MakeFile("/tavika-ft/testspeed.dat", std::string(100000, 's'));
    }
    void TearDown() override
    {
        HttpEngineFixture::TearDown();
        XBindCameraBridges();
        CPauseReasons::instance()->Reset();
    }
    XTestReply Get(const std::string& request, bool headOnly = false)
    {
        const int s = XTestConnect(m_nPort);
        EXPECT_GE(s, 0);
        XTestSend(s, request);
        XTestReply r = XTestReadReply(s, headOnly);
        close(s);
        return r;
    }
    static std::vector<std::string> HeadNames(const std::string& head)
    {
        std::vector<std::string> names;
        size_t at = head.find("\r\n") + 2;
        while (at < head.size()) {
            const size_t end = head.find("\r\n", at);
            if (end == at || end == std::string::npos) {
                break;
            }
            const std::string line = head.substr(at, end - at);
            names.push_back(line.substr(0, line.find(':')));
            at = end + 2;
        }
        return names;
    }

    CFakeWebPorts m_Ports;
    CSubStreamSource m_SubStream;  // encoder channel 1 through the bridges, as on the camera
    std::string m_Fifty;
};

TEST_F(ProcessGetTest, RangesOnFiftyBytes)
{
    struct Case {
        const char* range;
        int status;
        const char* contentRange;  // 206 only
        size_t from, to;
        const char* text;          // 416 only
    };
    const std::vector<Case> cases = {
        {"0-99", 206, "bytes 0-49/50", 0, 49, nullptr},
        {"-20", 206, "bytes 30-49/50", 30, 49, nullptr},
        {"10-", 206, "bytes 10-49/50", 10, 49, nullptr},
        {"0-0", 206, "bytes 0-0/50", 0, 0, nullptr},
        {"-99", 206, "bytes 0-49/50", 0, 49, nullptr},
        {"-0", 416, nullptr, 0, 0, "You requested a range outside of the file."},
        {"50-", 416, nullptr, 0, 0, "You requested a range outside of the file."},
        {"18446744073709551615-", 416, nullptr, 0, 0, "You requested a range outside of the file."},
        {"10-5", 416, nullptr, 0, 0, "You requested a backward range."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.range);
        const XTestReply r = Get(std::string("GET /f50.bin HTTP/1.1\r\nRange: bytes=") + c.range + "\r\n\r\n");
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.head.substr(9, 3), std::to_string(c.status));
        if (c.status == 206) {
            EXPECT_NE(r.head.find(std::string("\r\nContent-Range: ") + c.contentRange + "\r\n"), std::string::npos);
            EXPECT_EQ(r.body, m_Fifty.substr(c.from, c.to - c.from + 1));
        } else {
            EXPECT_NE(r.body.find(c.text), std::string::npos);
        }
    }
    // no usable range: the whole file
    const XTestReply whole = Get("GET /f50.bin HTTP/1.1\r\nRange: bytes=abc\r\n\r\n");
    EXPECT_EQ(whole.head.substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_EQ(whole.body, m_Fifty);
}

TEST_F(ProcessGetTest, HeadLinesInOrder)
{
    const std::vector<std::string> full = {"Date", "Accept-Ranges", "Keep-Alive", "Content-Length",
                                           "Content-Type", "Last-Modified"};
    XTestReply r = Get("GET /f50.bin HTTP/1.1\r\n\r\n");
    EXPECT_EQ(HeadNames(r.head), full);
    EXPECT_NE(r.head.find("Content-Type: application/octet-stream\r\n"), std::string::npos);

    r = Get("GET /f50.bin HTTP/1.1\r\nRange: bytes=1-2\r\n\r\n");
    EXPECT_EQ(HeadNames(r.head), (std::vector<std::string>{"Date", "Accept-Ranges", "Keep-Alive", "Content-Length",
                                                           "Content-Range", "Content-Type", "Last-Modified"}));
    const size_t at = r.head.find("Last-Modified: ");
    ASSERT_NE(at, std::string::npos);
    const std::string modified = r.head.substr(at + 15, r.head.find("\r\n", at) - at - 15);

    r = Get("GET /f50.bin HTTP/1.1\r\nIf-Modified-Since: " + modified + "\r\n\r\n", true);
    EXPECT_EQ(r.head.substr(0, 25), "HTTP/1.1 304 Not Modified");
    EXPECT_EQ(HeadNames(r.head), (std::vector<std::string>{"Date", "Accept-Ranges", "Keep-Alive"}));

    r = Get("GET /commonvideo.json HTTP/1.1\r\n\r\n");
    EXPECT_EQ(HeadNames(r.head), full);
    EXPECT_EQ(r.body, m_Ports.commonList);

    r = Get("GET /capturemain.jpeg?t=5 HTTP/1.1\r\n\r\n");
    EXPECT_EQ(HeadNames(r.head), full);
    EXPECT_NE(r.head.find("Content-Type: image/jpeg\r\n"), std::string::npos);
    EXPECT_EQ(r.body, m_Ports.jpeg);
}

TEST_F(ProcessGetTest, ConditionalNeedsTheExactText)
{
    struct utimbuf t = {784111777, 784111777};  // Sun, 06 Nov 1994 08:49:37 GMT
    ASSERT_EQ(utime((m_strRoot + "/f50.bin").c_str(), &t), 0);
    struct Case {
        const char* since;
        const char* status;
    };
    for (const Case& c : std::vector<Case>{{"Sun, 06 Nov 1994 08:49:37 GMT", "304"},
                                          {"Sunday, 06-Nov-94 08:49:37 GMT", "200"},
                                          {"Sun, 06 Nov 1994 08:49:38 GMT", "200"},
                                          {"Sun Nov  6 08:49:37 1994", "200"}}) {
        SCOPED_TRACE(c.since);
        const XTestReply r = Get(std::string("GET /f50.bin HTTP/1.1\r\nIf-Modified-Since: ") + c.since + "\r\n\r\n",
                                 std::string(c.status) == "304");
        EXPECT_EQ(r.head.substr(9, 3), c.status);
        EXPECT_EQ(r.body, std::string(c.status) == "304" ? "" : m_Fifty);
    }
}

TEST_F(ProcessGetTest, UrlsAndTypes)
{
    MakeFile("/x.JPG", "J");
    MakeFile("/x.jpg", "j");
    MakeFile("/DCIM/index.html", "<p>index</p>");
    ASSERT_EQ(mkfifo((m_strRoot + "/pipe").c_str(), 0644), 0);
    ASSERT_EQ(mkdir((m_strRoot + "/ini.htm").c_str(), 0755), 0);  // only "/ini.htm/" lists it
    struct Case {
        const char* url;
        const char* status;
        const char* headPart;
    };
    const std::vector<Case> cases = {
        {"/../etc/passwd", "400", nullptr},
        {"/%2e%2e/x", "400", nullptr},
        {"/a/../ini.htm?cmd=nosuch", "200", nullptr},
        {"/ini%2Ehtm?cmd=x", "200", "Content-Type: text/html\r\n"},
        {"/INI.HTM", "404", nullptr},
        {"/LiveSubStream.h264", "404", nullptr},
        {"/ini.htm/", "200", "Content-Type: text/html\r\n"},
        {"/ini.htm", "200", "Content-Length: 8\r\n"},
        {"/DCIM", "301", "Location: /DCIM/\r\n"},
        {"/DCIM?x=1", "301", "Location: /DCIM/?x=1\r\n"},
        {"/DCIM/?x=1", "200", "Content-Type: text/html\r\n"},
        {"/x.JPG", "200", "Content-Type: application/octet-stream\r\n"},
        {"/x.jpg", "200", "Content-Type: image/jpeg\r\n"},
        {"/pipe", "403", nullptr},
        {"/nothing", "404", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const XTestReply r = Get(std::string("GET ") + c.url + " HTTP/1.1\r\n\r\n");
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.head.substr(9, 3), c.status);
        if (c.headPart != nullptr) {
            EXPECT_NE(r.head.find(c.headPart), std::string::npos) << r.head;
        }
    }
    EXPECT_EQ(Get("GET /ini%2Ehtm?cmd=nosuch HTTP/1.1\r\n\r\n").body, "US nosuch");
    EXPECT_EQ(Get("GET /DCIM/ HTTP/1.1\r\n\r\n").body, "<p>index</p>");
    EXPECT_EQ(Get("GET /ini.htm HTTP/1.1\r\n\r\n").body, "/ini.htm");
    EXPECT_NE(Get("GET /ini.htm/ HTTP/1.1\r\n\r\n").body.find("<title>/ini.htm/</title>"), std::string::npos);
    EXPECT_NE(Get("GET /pipe HTTP/1.1\r\n\r\n").body.find("Not a regular file."), std::string::npos);
}

TEST_F(ProcessGetTest, ListsTooLargeForTheSharedBuffer)
{
    m_Ports.commonList = "[" + std::string(3u << 20, ' ') + "]";
    XTestReply r = Get("GET /commonvideo.json HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.head.substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_EQ(r.body, m_Ports.commonList);

    m_Ports.commonList = std::string(17u << 20, ' ');
    r = Get("GET /commonvideo.json HTTP/1.1\r\n\r\n");
    EXPECT_EQ(r.head.substr(9, 3), "500");

    // no card: an empty list as before
    m_Ports.sdState = 0;
    r = Get("GET /commonvideo.json HTTP/1.1\r\n\r\n");
    EXPECT_EQ(r.head.substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_EQ(r.body, "");
    EXPECT_EQ(Get("GET /alarmvideo.json HTTP/1.1\r\n\r\n").body, "{\"alarm\":[]}");
    EXPECT_EQ(Get("GET /alarmjpg.json HTTP/1.1\r\n\r\n").body, "{\"image\":[]}");
}

TEST_F(ProcessGetTest, CapturedJpeg)
{
    XTestReply r = Get("HEAD /capturemain.jpeg HTTP/1.1\r\n\r\n", true);
    EXPECT_EQ(r.head.substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_NE(r.head.find("Content-Length: 4\r\n"), std::string::npos);
    EXPECT_EQ(m_Ports.captures, 1);

    m_Ports.captureResult = FALSE;
    r = Get("GET /capturemain.jpeg HTTP/1.1\r\n\r\n");
    EXPECT_EQ(r.head.substr(9, 3), "500");
    EXPECT_NE(r.body.find("cannot be returned: unknown error."), std::string::npos);
}

TEST_F(ProcessGetTest, SpeedTestPausesOncePerRequest)
{
    const int s = XTestConnect(m_nPort);
    ASSERT_GE(s, 0);
    for (int i = 1; i <= 3; ++i) {
        XTestSend(s, "GET /tavika-ft/testspeed.dat HTTP/1.1\r\n\r\n");
        const XTestReply r = XTestReadReply(s);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.body.size(), 100000u);
        EXPECT_EQ(m_Ports.Count("pause"), i);
        // resumed when the reply ends, the connection staying open
        EXPECT_TRUE(XTestWaitFor([&] { return m_Ports.Count("resume") == i; }));
    }
    // HEAD and a missing file resume as well
    XTestSend(s, "HEAD /tavika-ft/testspeed.dat HTTP/1.1\r\n\r\n");
    XTestReadReply(s, true);
    EXPECT_TRUE(XTestWaitFor([&] { return m_Ports.Count("resume") == 4; }));
    close(s);

    // with the power cut, a download leaves recording paused
    CPauseReasons::instance()->Add(CPauseReasons::emPauseReason_PowerLine, [] {});
    EXPECT_EQ(Get("GET /tavika-ft/testspeed.dat HTTP/1.1\r\n\r\n").body.size(), 100000u);
    EXPECT_TRUE(XTestWaitFor([] { return CPauseReasons::instance()->Count(CPauseReasons::emPauseReason_SpeedTest) == 0; }));
    EXPECT_EQ(m_Ports.Count("resume"), 4);
    EXPECT_TRUE(CPauseReasons::instance()->Holds(CPauseReasons::emPauseReason_PowerLine));
}

TEST_F(ProcessGetTest, LiveViewersShareTheStream)
{
    const std::vector<std::string> keyPacks = {XNal(0x67, 8), XNal(0x68, 4), XNal(0x06, 9), XNal(0x65, 40)};
    const std::string key = keyPacks[0] + keyPacks[1] + keyPacks[3];  // no SEI
    const std::string p = XNal(0x61, 20);
    m_Links.source = &m_SubStream;
    m_Ports.Push({XNal(0x61, 5)});  // queued before the first viewer: drained

    const int a = XTestConnect(m_nPort);
    XTestSend(a, "GET /livesubstream.h264 HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(XTestWaitFor([&] { return m_Ports.Waiting() == 0; }));
    m_Ports.Push({p});  // not a key frame: the first viewer waits on
    m_Ports.Push(keyPacks);
    const std::string head = XTestReadHead(a);
    EXPECT_NE(head.find("Content-Length: 18446744073709551615\r\n"), std::string::npos);
    EXPECT_EQ(HeadNames(head), (std::vector<std::string>{"Keep-Alive", "Content-Length", "Content-Type"}));
    EXPECT_EQ(XTestRecvN(a, key.size()), key);

    m_Ports.Push({p});
    EXPECT_EQ(XTestRecvN(a, p.size()), p);

    // a second viewer joins at the next key frame and drains nothing
    const int b = XTestConnect(m_nPort);
    XTestSend(b, "GET /livesubstream.h264 HTTP/1.1\r\n\r\n");
    const std::string head2 = XTestReadHead(b);
    EXPECT_NE(head2.find("HTTP/1.1 200 OK\r\n"), std::string::npos);
    ASSERT_TRUE(XTestWaitFor([] { return httpd_live_viewer_count() == 2; }));
    m_Ports.Push({p});
    m_Ports.Push(keyPacks);
    m_Ports.Push({p});
    EXPECT_EQ(XTestRecvN(a, p.size() + key.size() + p.size()), p + key + p);
    EXPECT_EQ(XTestRecvN(b, key.size() + p.size()), key + p);
    close(a);
    close(b);
}

TEST_F(ProcessGetTest, LiveWithoutFramesFails)
{
    m_Links.source = &m_SubStream;
    const auto start = std::chrono::steady_clock::now();
    const XTestReply r = Get("GET /livesubstream.h264 HTTP/1.1\r\n\r\n");
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.head.substr(9, 3), "500");
    EXPECT_NE(r.body.find("video not alive or out of memory."), std::string::npos);
    EXPECT_GE(waited, std::chrono::milliseconds(1300));
}

}  // namespace
