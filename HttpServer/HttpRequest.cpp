#include "HttpServer/HttpRequest.h"

#include <string.h>
#include <strings.h>

#include <limits>

#include "HttpServer/HttpText.h"

namespace {

const off_t kOffMax = std::numeric_limits<off_t>::max();

// Leading decimal digits from `p`, saturating; returns the count read.
size_t XReadNumber(const char* p, off_t* value)
{
    off_t v = 0;
    size_t n = 0;
    for (; p[n] >= '0' && p[n] <= '9'; ++n) {
        const int d = p[n] - '0';
        if (v > (kOffMax - d) / 10) {
            v = kOffMax;
        } else {
            v = v * 10 + d;
        }
    }
    *value = v;
    return n;
}

bool XValueEnds(char c)
{
    return c == '\0' || c == '\r' || c == '\n';
}

}  // namespace

size_t find_request_head_end(const char* buf, size_t len)
{
    for (size_t i = 0; i < len; ++i) {
        if (buf[i] != '\n') {
            continue;
        }
        if (i + 1 < len && buf[i + 1] == '\n') {
            return i + 2;
        }
        if (i + 2 < len && buf[i + 1] == '\r' && buf[i + 2] == '\n') {
            return i + 3;
        }
    }
    return 0;
}

bool parse_field(const connection* conn, const char* field, std::string& value)
{
    const char* text = conn->request.c_str();
    const char* at = strstr(text, field);
    if (at == nullptr) {
        return false;
    }
    at += strlen(field);
    const char* end = at;
    while (!XValueEnds(*end)) {
        ++end;
    }
    value.assign(at, static_cast<size_t>(end - at));
    return true;
}

void parse_range_field(connection* conn)
{
    conn->range_begin = conn->range_end = 0;
    conn->range_begin_given = conn->range_end_given = 0;
    std::string v;
    if (!parse_field(conn, "Range: bytes=", v)) {
        return;
    }
    const char* p = v.c_str();
    off_t begin = 0;
    const size_t nb = XReadNumber(p, &begin);
    if (p[nb] != '-') {
        return;
    }
    if (nb > 0) {
        conn->range_begin_given = 1;
        conn->range_begin = begin;
    }
    p += nb + 1;
    off_t end = 0;
    const size_t ne = XReadNumber(p, &end);
    if (ne > 0 && (p[ne] == '\0' || p[ne] == ',')) {
        conn->range_end_given = 1;
        conn->range_end = end;
    }
}

int parse_request(connection* conn)
{
    const std::string& req = conn->request;
    const char* text = req.c_str();
    const size_t len = strlen(text);

    size_t i = 0;
    while (i < len && text[i] != ' ') {
        ++i;
    }
    conn->method = split_string(req, 0, i);
    strntoupper(&conn->method[0], conn->method.size());

    while (i < len && text[i] == ' ') {
        ++i;
    }
    if (i >= len) {
        return 0;
    }
    const size_t url_at = i;
    while (i < len && text[i] != ' ' && text[i] != '\r' && text[i] != '\n') {
        ++i;
    }
    conn->url = split_string(req, url_at, i);
    if (conn->url.empty()) {
        return 0;  // the line ends where the URL should be
    }

    if (i < len && text[i] == ' ') {
        while (i < len && text[i] == ' ') {
            ++i;
        }
        const size_t proto_at = i;
        while (i < len && text[i] != ' ' && text[i] != '\r' && text[i] != '\n') {
            ++i;
        }
        const std::string proto = split_string(req, proto_at, i);
        if (strcasecmp(proto.c_str(), "HTTP/1.1") == 0) {
            conn->conn_close = 0;
        }
    }

    std::string v;
    if (parse_field(conn, "Connection: ", v)) {
        if (strcasecmp(v.c_str(), "close") == 0) {
            conn->conn_close = 1;
        } else if (strcasecmp(v.c_str(), "keep-alive") == 0) {
            conn->conn_close = 0;
        }
    }
    conn->referer.clear();
    conn->user_agent.clear();
    parse_field(conn, "Referer: ", conn->referer);
    parse_field(conn, "User-Agent: ", conn->user_agent);
    parse_range_field(conn);
    return 1;
}

int parse_get_method_param_field(const char* url, const char* name, char* value, size_t capacity)
{
    if (capacity == 0) {
        return -1;
    }
    value[0] = '\0';
    char key[100];
    const size_t nlen = strlen(name);
    if (nlen + 2 > sizeof(key)) {
        return -1;
    }
    memcpy(key, name, nlen);
    key[nlen] = '=';
    key[nlen + 1] = '\0';
    const char* at = strstr(url, key);
    if (at == nullptr) {
        return -1;
    }
    at += nlen + 1;
    const char* end = strchr(at, '&');
    const size_t vlen = end != nullptr ? static_cast<size_t>(end - at) : strlen(at);
    if (vlen + 1 > capacity) {
        return -2;
    }
    memcpy(value, at, vlen);
    value[vlen] = '\0';
    return 0;
}

int range_for_size(const connection* conn, off_t size, off_t* from, off_t* to)
{
    off_t f = 0;
    off_t t = size - 1;
    if (conn->range_begin_given && conn->range_end_given) {
        f = conn->range_begin;
        t = conn->range_end > size - 1 ? size - 1 : conn->range_end;
    } else if (conn->range_begin_given) {
        f = conn->range_begin;
    } else if (conn->range_end_given) {
        f = size - conn->range_end;  // range_end <= off_t max, size >= 0: no overflow
        if (f < 0) {
            f = 0;
        }
    }
    if (f < 0) {
        f = 0;
    }
    if (f >= size) {
        return HTTP_RANGE_OUTSIDE;
    }
    if (t < f) {
        return HTTP_RANGE_BACKWARD;
    }
    *from = f;
    *to = t;
    return HTTP_RANGE_OK;
}
