// Request parsing, URLs, ranges, query parameters and MIME types.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "HttpServer/HttpMime.h"
#include "HttpServer/HttpRequest.h"
#include "HttpServer/HttpText.h"
#include "HttpServer/HttpUrl.h"

namespace {

const off_t kOffMax = std::numeric_limits<off_t>::max();

std::string Safe(const std::string& decoded, bool* refused)
{
    std::string s = decoded;
    *refused = !make_safe_url(s);
    return s;
}

TEST(HttpUrlTest, DecodeThenSanitise)
{
    struct Row {
        const char* raw;
        const char* safe;  // null: refused
    } rows[] = {
        {"/a/./b//c/../d", "/a/b/d"},
        {"/a/..", "/"},
        {"/..", nullptr},
        {"/../x", nullptr},
        {"/%2e%2e", nullptr},
        {"/%2E%2e/x", nullptr},
        {"/a/%2e%2e/b", "/b"},
        {"/%252e", "/%2e"},           // decoded once only
        {"/x%00/../..", "/x"},        // %00 cuts the decoded text
        {"/..%2f..%2fetc/passwd", nullptr},
        {"//etc/passwd", "/etc/passwd"},
        {"/", "/"},
        {"/a/b/", "/a/b/"},
        {"/a/./", "/a/"},
        {"/ini%2Ehtm?cmd=x", "/ini.htm"},
        {"/q%3F/..", "/q"},           // a decoded '?' ends the path
        {"x", nullptr},
        {"", nullptr},
        {"%2fa", "/a"},
        {"/a%", "/a%"},
        {"/a%4", "/a%4"},
        {"/a%zz", "/a%zz"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.raw);
        bool refused = false;
        const std::string s = Safe(urldecode(r.raw), &refused);
        if (r.safe == nullptr) {
            EXPECT_TRUE(refused) << s;
        } else {
            ASSERT_FALSE(refused);
            EXPECT_EQ(s, r.safe);
        }
    }
}

TEST(HttpUrlTest, InPlaceFormNeverGrowsAndFoldsSlashes)
{
    char a[] = "/a//b///c";
    consolidate_slashes(a);
    EXPECT_STREQ(a, "/a/b/c");
    char b[] = "/./.";
    ASSERT_NE(make_safe_url(b), nullptr);
    EXPECT_STREQ(b, "/");
    char c[] = "/../..";
    EXPECT_EQ(make_safe_url(c), nullptr);
}

TEST(HttpUrlTest, EncodingsEscapeTheirSets)
{
    EXPECT_EQ(urlencode(std::string("a b%&<x>.mp4")), "a b%25%26%3Cx%3E.mp4");
    EXPECT_EQ(urlencode(std::string("~[]`\\;:/?@#={}|^\"")), "%7E%5B%5D%60%5C%3B%3A%2F%3F%40%23%3D%7B%7D%7C%5E%22");
    EXPECT_EQ(urlencode(std::string("\x01\x7f\xe4")), "%01%7F%E4");
    char out[64];
    logencode("a b\"\x7f!", out);
    EXPECT_STREQ(out, "a b%22%7F!");
    EXPECT_EQ(html_escape("<a href=\"x\">&</a>"), "&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt;");
}

connection Parsed(const std::string& head, int* result)
{
    connection c;
    c.request = head;
    *result = parse_request(&c);
    return c;
}

TEST(HttpRequestTest, RequestLines)
{
    struct Row {
        const char* head;
        int ok;
        const char* method;
        const char* url;
        int conn_close;
    } rows[] = {
        {"GET /x HTTP/1.1\r\n\r\n", 1, "GET", "/x", 0},
        {"get /x http/1.1\r\n\r\n", 1, "GET", "/x", 0},
        {"GET /x HTTP/1.0\r\n\r\n", 1, "GET", "/x", 1},
        {"GET /x HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", 1, "GET", "/x", 0},
        {"GET /x HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", 1, "GET", "/x", 0},
        {"GET /x HTTP/1.1\r\nConnection: close\r\n\r\n", 1, "GET", "/x", 1},
        {"GET /x HTTP/1.1\r\nConnection: CLOSE\r\n\r\n", 1, "GET", "/x", 1},
        {"GET /x\r\n\r\n", 1, "GET", "/x", 1},            // no version
        {"GET /x HTTP/1.1\n\n", 1, "GET", "/x", 0},        // LF only
        {"GET   /a%20b   HTTP/1.1\r\n\r\n", 1, "GET", "/a%20b", 0},
        {"GET /x HTTP/1.1 extra\r\n\r\n", 1, "GET", "/x", 0},
        {"GET\r\n\r\n", 0, "", "", 1},
        {"GET    ", 0, "GET", "", 1},
        {"GET   \r\n\r\n", 0, "GET", "", 1},
        {"get", 0, "GET", "", 1},
        {"", 0, "", "", 1},
        {"FOO /x HTTP/1.1\r\n\r\n", 1, "FOO", "/x", 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.head);
        int ok = -1;
        connection c = Parsed(r.head, &ok);
        EXPECT_EQ(ok, r.ok);
        if (ok) {
            EXPECT_EQ(c.method, r.method);
            EXPECT_EQ(c.url, r.url);
        }
        EXPECT_EQ(c.conn_close, r.conn_close);
    }
}

TEST(HttpRequestTest, FieldsAndHeadEnd)
{
    int ok = 0;
    connection c = Parsed("GET / HTTP/1.1\r\nReferer: http://r/\r\nUser-Agent: ua 1\nX: y\r\n\r\n", &ok);
    ASSERT_EQ(ok, 1);
    EXPECT_EQ(c.referer, "http://r/");
    EXPECT_EQ(c.user_agent, "ua 1");
    std::string v;
    EXPECT_FALSE(parse_field(&c, "Missing: ", v));
    EXPECT_TRUE(parse_field(&c, "X: ", v));
    EXPECT_EQ(v, "y");

    struct Row {
        std::string bytes;
        size_t end;
    } rows[] = {
        {"GET / HTTP/1.1\r\n\r\n", 18},
        {"GET / HTTP/1.1\n\n", 16},
        {"GET / HTTP/1.1\r\nA: b\r\n\r\nGET /2 HTTP/1.1\r\n\r\n", 24},
        {"POST / HTTP/1.1\r\nContent-Length: 1\r\n\r\nx", 38},
        {"GET / HTTP/1.1\r\n", 0},
        {"GET / HTTP/1.1\r\n\r", 0},
        {"GET / HTTP/1.1\n\r\n", 17},
        {std::string("GET /\0 HTTP/1.1\r\n\r\n", 19), 19},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.bytes);
        EXPECT_EQ(find_request_head_end(r.bytes.data(), r.bytes.size()), r.end);
    }
}

struct RangeRow {
    const char* field;
    int result;       // HTTP_RANGE_*
    off_t from, to;   // when OK
};

TEST(HttpRequestTest, RangesOnFiftyBytes)
{
    const RangeRow rows[] = {
        {"bytes=0-99", HTTP_RANGE_OK, 0, 49},
        {"bytes=-20", HTTP_RANGE_OK, 30, 49},
        {"bytes=-0", HTTP_RANGE_OUTSIDE, 0, 0},
        {"bytes=50-", HTTP_RANGE_OUTSIDE, 0, 0},
        {"bytes=10-5", HTTP_RANGE_BACKWARD, 0, 0},
        {"bytes=10-", HTTP_RANGE_OK, 10, 49},
        {"bytes=-99", HTTP_RANGE_OK, 0, 49},
        {"bytes=0-0", HTTP_RANGE_OK, 0, 0},
        {"bytes=0-99,200-300", HTTP_RANGE_OK, 0, 49},
        {"bytes=--5", HTTP_RANGE_OK, 0, 49},      // no range: the whole file
        {"bytes=abc", HTTP_RANGE_OK, 0, 49},
        {"bytes=5", HTTP_RANGE_OK, 0, 49},
        {"bytes=5-x", HTTP_RANGE_OK, 5, 49},       // start only
        {"bytes=99999999999999999999-", HTTP_RANGE_OUTSIDE, 0, 0},
        {"bytes=9223372036854775808-", HTTP_RANGE_OUTSIDE, 0, 0},
        {"bytes=9223372036854775807-", HTTP_RANGE_OUTSIDE, 0, 0},
        {"bytes=0-99999999999999999999", HTTP_RANGE_OK, 0, 49},
        {"bytes=3-9223372036854775808", HTTP_RANGE_OK, 3, 49},
        {"bytes=-99999999999999999999", HTTP_RANGE_OK, 0, 49},
        {"bytes=-9223372036854775808", HTTP_RANGE_OK, 0, 49},
    };
    for (const RangeRow& r : rows) {
        SCOPED_TRACE(r.field);
        connection c;
        c.request = std::string("GET /f HTTP/1.1\r\nRange: ") + r.field + "\r\n\r\n";
        parse_range_field(&c);
        EXPECT_GE(c.range_begin, 0);
        EXPECT_GE(c.range_end, 0);
        off_t from = -1, to = -1;
        ASSERT_EQ(range_for_size(&c, 50, &from, &to), r.result);
        if (r.result == HTTP_RANGE_OK) {
            EXPECT_EQ(from, r.from);
            EXPECT_EQ(to, r.to);
        }
    }
    connection big;
    big.request = "Range: bytes=99999999999999999999-99999999999999999999\r\n";
    parse_range_field(&big);
    EXPECT_EQ(big.range_begin, kOffMax);
    EXPECT_EQ(big.range_end, kOffMax);
    EXPECT_EQ(big.range_begin_given, 1);
    EXPECT_EQ(big.range_end_given, 1);
}

TEST(HttpRequestTest, QueryParameters)
{
    struct Row {
        const char* url;
        const char* name;
        size_t cap;
        int result;
        const char* value;
    } rows[] = {
        {"/ini.htm?cmd=getdevicesn&x=1", "cmd", 64, 0, "getdevicesn"},
        {"/ini.htm?cmd=a&cmd=b", "cmd", 64, 0, "a"},             // first occurrence
        {"/ini.htm?subcmd=a&cmd=b", "cmd", 64, 0, "a"},          // a longer key ending alike
        {"/ini.htm?name=a%20b&c", "name", 64, 0, "a%20b"},       // undecoded
        {"/ini.htm?cmd=&x=1", "cmd", 64, 0, ""},
        {"/ini.htm?cmd", "cmd", 64, -1, ""},
        {"/ini.htm?x=1", "cmd", 64, -1, ""},
        {"/ini.htm?cmd=12345678", "cmd", 9, 0, "12345678"},
        {"/ini.htm?cmd=123456789", "cmd", 9, -2, ""},            // over-long
        {"/ini.htm?cmd=1", "cmd", 0, -1, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.url);
        std::vector<char> value(r.cap + 4, 'Z');
        EXPECT_EQ(parse_get_method_param_field(r.url, r.name, value.data(), r.cap), r.result);
        if (r.cap > 0) {
            EXPECT_STREQ(value.data(), r.value);
        }
        EXPECT_EQ(value[r.cap], 'Z');  // nothing past the buffer
    }
    const std::string longName(99, 'n');
    char v[8];
    EXPECT_EQ(parse_get_method_param_field(("/?" + longName + "=1").c_str(), longName.c_str(), v, sizeof(v)), -1);
    const std::string fits(98, 'n');
    EXPECT_EQ(parse_get_method_param_field(("/?" + fits + "=1").c_str(), fits.c_str(), v, sizeof(v)), 0);
    EXPECT_STREQ(v, "1");
}

TEST(HttpMimeTest, TypesByExtension)
{
    parse_default_extension_map();
    struct Row {
        const char* name;
        const char* type;
    } rows[] = {
        {"/DCIM/x.jpg", "image/jpeg"},
        {"/DCIM/x.JPG", "application/octet-stream"},
        {"/a.jpe", "image/jpeg"},
        {"/a.jpeg", "image/jpeg"},
        {"/index.html", "text/html"},
        {"/ini.htm", "text/html"},
        {"/a.xsl", "application/xml"},
        {"/a.xslt", "application/xslt+xml"},
        {"/a.mpga", "audio/mpeg"},
        {"/a.mov", "video/quicktime"},
        {"/a.avi", "video/x-msvideo"},
        {"/a.asc", "text/plain"},
        {"/a.js", "text/javascript"},
        {"/a.dtd", "application/xml-dtd"},
        {"/DCIM/100video/20170731150832_180.MP4", "application/octet-stream"},
        {"/a.mp4", "application/octet-stream"},
        {"/x.TGZ", "application/octet-stream"},
        {"/noext", "application/octet-stream"},
        {"/a.b/c", "application/octet-stream"},
        {"/a.verylongext", "application/octet-stream"},
        {"/.png", "image/png"},
        {"", "application/octet-stream"},
        {".", "application/octet-stream"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_STREQ(url_content_type(r.name), r.type);
    }
}

TEST(HttpTextTest, SplitStringNeverAborts)
{
    EXPECT_EQ(split_string("abcdef", 1, 3), "bc");
    EXPECT_EQ(split_string("abc", 3, 3), "");
    EXPECT_EQ(split_string("abc", 2, 1), "");
    EXPECT_EQ(split_string("abc", 1, 9), "");
    apbuf b;
    EXPECT_EQ(b.pool() >= 4096, true);
    for (int i = 0; i < 1000; ++i) {
        b.appendf("%d,", i);
    }
    EXPECT_EQ(b.length(), b.str.size());
    EXPECT_EQ(b.pool() % 4096, 0u);
}

}  // namespace
