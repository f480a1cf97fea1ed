// Generated pages byte for byte: error pages, the redirect, listings.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <limits>
#include <string>

#include "HttpServer/HttpEngine.h"
#include "HttpServer/HttpReply.h"
#include "HttpServer/ProcessGet.h"
#include "tests/HttpServer/HttpEngineFixture.h"

namespace {

time_t XEpoch()
{
    return 0;
}

time_t XFarFuture()
{
    return std::numeric_limits<time_t>::max();
}

const char kDate[] = "Date: Thu, 01 Jan 1970 00:00:00 GMT\r\n";

class HttpPagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/http-pages-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_strRoot = tmpl;
        // the pages' clock comes with the engine's links
        m_Links.clock = XEpoch;
        httpd_set_listen_address("127.0.0.1", 0);
        init_exec_env(m_strRoot.c_str(), &m_Links);
        parse_commandline2((m_strRoot + "/").c_str());
    }
    void TearDown() override
    {
        deinit_exec_env();
        std::string cmd = "rm -rf '" + m_strRoot + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    void Make(const std::string& rel, off_t size)
    {
        const int fd = open((m_strRoot + rel).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, size), 0);
        close(fd);
    }
    static std::string Body(const connection& c)
    {
        return std::string(c.reply + c.reply_start, static_cast<size_t>(c.reply_length));
    }
    static std::string Head(const char* status, const std::string& body, const char* conn = "Keep-Alive: timeout=60\r\n")
    {
        return std::string("HTTP/1.1 ") + status + "\r\n" + kDate + "Accept-Ranges: bytes\r\n" + conn +
               "Content-Length: " + std::to_string(body.size()) + "\r\nContent-Type: text/html\r\n\r\n";
    }
    connection Get(const std::string& url, int conn_close = 0)
    {
        connection c;
        c.url = url;
        c.conn_close = conn_close;
        process_get(&c);
        return c;
    }
    CTestEngineLinks m_Links;
    std::string m_strRoot;
};

TEST_F(HttpPagesTest, NotFoundAndBadUrlPages)
{
    connection c = Get("/x<y>&\"z\"");
    const std::string body = "<html><head><title>404 Not Found</title></head><body>\n<h1>Not Found</h1>\n"
                             "The URL you requested (/x&lt;y&gt;&amp;&quot;z&quot;) was not found.\n<hr>\n"
                             "</body></html>\n";
    EXPECT_EQ(c.http_code, 404);
    EXPECT_EQ(Body(c), body);
    EXPECT_EQ(c.header, Head("404 Not Found", body));
    EXPECT_EQ(c.header_length, c.header.size());
    EXPECT_EQ(c.reply_type, REPLY_GENERATED);

    connection bad = Get("/../<b>", 1);
    const std::string bad_body = "<html><head><title>400 Bad Request</title></head><body>\n<h1>Bad Request</h1>\n"
                                 "You requested an invalid URL: /../&lt;b&gt;\n<hr>\n</body></html>\n";
    EXPECT_EQ(Body(bad), bad_body);
    EXPECT_EQ(bad.header, Head("400 Bad Request", bad_body, "Connection: close\r\n"));
}

TEST_F(HttpPagesTest, RedirectEscapesTheBodyOnly)
{
    connection c;
    c.conn_close = 0;
    redirect(&c, "%s/", "/a\"<b>");
    const std::string body = "<html><head><title>301 Moved Permanently</title></head><body>\n"
                             "<h1>Moved Permanently</h1>\nMoved to: <a href=\"/a&quot;&lt;b&gt;/\">/a&quot;&lt;b&gt;/</a>\n"
                             "<hr>\n</body></html>\n";
    EXPECT_EQ(c.http_code, 301);
    EXPECT_EQ(Body(c), body);
    EXPECT_EQ(c.header, std::string("HTTP/1.1 301 Moved Permanently\r\n") + kDate + "Location: /a\"<b>/\r\n" +
                            "Keep-Alive: timeout=60\r\nContent-Length: " + std::to_string(body.size()) +
                            "\r\nContent-Type: text/html\r\n\r\n");
}

TEST_F(HttpPagesTest, ListingOfOddNames)
{
    ASSERT_EQ(mkdir((m_strRoot + "/sub").c_str(), 0755), 0);
    Make("/a b", 3);
    Make("/%&", 0);
    Make("/<x>", 12);
    Make("/big.mp4", 5LL << 30);  // sparse
    Make("/.20240105083000_0.MP4.jnl", 40);  // hidden: neither listed nor counted in the padding
    connection c = Get("/");
    EXPECT_EQ(c.http_code, 200);
    // names padded to the longest (7 bytes), then the size in 10 columns
    const std::string expect =
        "<html>\n<head>\n <title>/</title>\n</head>\n<body>\n<h1>/</h1>\n<tt><pre>\n"
        "<a href=\"%25%26\">%&amp;</a>              0\n"
        "<a href=\"..\">..</a>/\n"
        "<a href=\"%3Cx%3E\">&lt;x&gt;</a>            12\n"
        "<a href=\"a b\">a b</a>             3\n"
        "<a href=\"big.mp4\">big.mp4</a>5368709120\n"
        "<a href=\"sub\">sub</a>/\n"
        "</pre></tt>\n<hr>\n</body>\n</html>\n";
    EXPECT_EQ(Body(c), expect);
    EXPECT_EQ(c.header, Head("200 OK", expect));

    ASSERT_EQ(mkdir((m_strRoot + "/sub/<i>").c_str(), 0755), 0);
    connection sub = Get("/sub/%3Ci%3E/");
    EXPECT_EQ(Body(sub), "<html>\n<head>\n <title>/sub/&lt;i&gt;/</title>\n</head>\n<body>\n"
                         "<h1>/sub/&lt;i&gt;/</h1>\n<tt><pre>\n<a href=\"..\">..</a>/\n"
                         "</pre></tt>\n<hr>\n</body>\n</html>\n");

    connection missing = Get("/nowhere/");
    EXPECT_EQ(missing.http_code, 500);
    EXPECT_NE(Body(missing).find("Couldn't list directory: No such file or directory"), std::string::npos);
}

TEST_F(HttpPagesTest, DateThatCannotBeConvertedIsLeftOut)
{
    char date[64];
    EXPECT_STREQ(rfc1123_date(date, 0), "Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_STREQ(rfc1123_date(date, std::numeric_limits<time_t>::max()), "");
    m_Links.clock = XFarFuture;
    connection c = Get("/x");
    EXPECT_EQ(c.http_code, 404);
    EXPECT_EQ(c.header.find("Date:"), std::string::npos);
    EXPECT_EQ(c.header.compare(0, 39, "HTTP/1.1 404 Not Found\r\nAccept-Ranges: "), 0);
}

}  // namespace
