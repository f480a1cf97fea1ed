// Fuzzes the request path: the receive step fed in chunks, request parsing,
// URL decoding and sanitising, ranges and query parameters.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "HttpServer/HttpConnection.h"
#include "HttpServer/HttpEngine.h"
#include "HttpServer/HttpMime.h"
#include "HttpServer/HttpReply.h"
#include "HttpServer/HttpRequest.h"
#include "HttpServer/HttpText.h"
#include "HttpServer/HttpUrl.h"
#include "HttpServer/ProcessGet.h"
#include "FuzzCheck.h"

namespace {

int g_nHandled = 0;

void XCheckSafeUrl(const std::string& decoded)
{
    std::string s = decoded;
    const size_t input = strlen(decoded.c_str());
    if (!make_safe_url(s)) {
        return;
    }
    CHECK(!s.empty() && s[0] == '/');
    CHECK(s.find("//") == std::string::npos);
    CHECK(s.size() <= input);
    const std::string framed = s + "/";
    CHECK(framed.find("/./") == std::string::npos);
    CHECK(framed.find("/../") == std::string::npos);
    CHECK(s.find('?') == std::string::npos);
    // the in-place form gives the same text
    std::string raw(decoded.c_str());
    raw.push_back('\0');
    char* out = make_safe_url(&raw[0]);
    CHECK(out != nullptr && s == out);
}

void XCheckRanges(connection* conn)
{
    parse_range_field(conn);
    CHECK(conn->range_begin >= 0 && conn->range_end >= 0);
    CHECK(conn->range_begin_given == 0 || conn->range_begin_given == 1);
    CHECK(conn->range_end_given == 0 || conn->range_end_given == 1);
    const off_t sizes[] = {1, 50, off_t(5) << 30, std::numeric_limits<off_t>::max()};
    for (off_t size : sizes) {
        off_t from = -1, to = -1;
        if (range_for_size(conn, size, &from, &to) == HTTP_RANGE_OK) {
            CHECK(from >= 0 && from <= to && to < size);
        }
    }
}

void XCheckQuery(const std::string& url)
{
    const char* names[] = {"cmd", "a", "", "subcmd"};
    for (const char* name : names) {
        for (size_t cap : {size_t(1), size_t(8), size_t(64)}) {
            char buf[80];
            memset(buf, 'G', sizeof(buf));
            const int r = parse_get_method_param_field(url.c_str(), name, buf, cap);
            CHECK(buf[cap] == 'G');  // nothing past the buffer
            if (r == 0) {
                CHECK(strlen(buf) < cap);
            }
        }
    }
}

// Stands in for process_get: checks what the engine hands over.
void XHandler(connection* conn)
{
    ++g_nHandled;
    CHECK(conn->request.size() <= HTTP_MAX_REQUEST_LENGTH);
    CHECK(memchr(conn->request.data(), '\0', conn->request.size()) == nullptr);
    CHECK(conn->method == "GET" || conn->method == "HEAD");
    const std::string decoded = urldecode(conn->url);
    CHECK(decoded.size() <= conn->url.size());
    XCheckSafeUrl(decoded);
    XCheckRanges(conn);
    XCheckQuery(conn->url);
    CHECK(url_content_type(decoded.c_str()) != nullptr);
    default_reply(conn, 404, "Not Found", "The URL you requested (%s) was not found.", html_escape(conn->url).c_str());
}

// The engine's links: every GET reaches the harness's builder; nothing is
// live, nothing resumes, the clock is the system's.
class CFuzzLinks : public CHttpEngineLinks {
public:
    void ReplyGet(connection* conn) override { XHandler(conn); }
    void ResumeRecord() override {}
    CHttpFrameSource* FrameSource() override { return nullptr; }
    time_t WallTime() override { return time(nullptr); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CFuzzLinks s_Links;
    static const bool s_bReady = [] {
        httpd_set_listen_address("127.0.0.1", 0);
        init_exec_env("/tmp", &s_Links);
        return true;
    }();
    (void)s_bReady;

    // The same bytes as a client would send them, in chunks of 1 to 64
    // bytes chosen from the bytes themselves.
    connection conn;
    conn.state = RECV_REQUEST;
    g_nHandled = 0;
    uint32_t seed = 2166136261u;
    for (size_t i = 0; i < size && i < 8; ++i) {
        seed = (seed ^ data[i]) * 16777619u;
    }
    size_t at = 0;
    while (at < size && conn.state == RECV_REQUEST) {
        seed = seed * 1103515245u + 12345u;
        const size_t n = std::min<size_t>(size - at, 1 + (seed >> 16) % 64);
        http_receive_bytes(&conn, reinterpret_cast<const char*>(data) + at, n);
        at += n;
    }
    CHECK(g_nHandled <= 1);
    if (conn.state == RECV_REQUEST) {
        // still waiting: no head end within the limit
        CHECK(conn.request_length <= HTTP_MAX_REQUEST_LENGTH);
        CHECK(find_request_head_end(conn.request.data(), conn.request.size()) == 0);
    } else {
        // answered (the send to no socket then closes it)
        CHECK(conn.http_code >= 200 && conn.http_code <= 599);
        CHECK(!conn.header.empty());
    }

    // the parts on their own, on the raw bytes
    const std::string text(reinterpret_cast<const char*>(data), size);
    XCheckSafeUrl(urldecode(text));
    connection direct;
    direct.request = text;
    if (parse_request(&direct)) {
        CHECK(!direct.url.empty());
    }
    XCheckRanges(&direct);
    XCheckQuery(std::string(text.c_str()));
    (void)split_string(text, size / 3, size / 2);
    return 0;
}
