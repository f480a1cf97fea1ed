#include "HttpServer/HttpUrl.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include <vector>

namespace {

int XHexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::string urldecode(const std::string& url)
{
    std::string out;
    out.reserve(url.size());
    const size_t n = url.size();
    for (size_t i = 0; i < n; ++i) {
        char c = url[i];
        if (c == '%' && i + 2 < n) {
            const int hi = XHexValue(url[i + 1]);
            const int lo = XHexValue(url[i + 2]);
            if (hi >= 0 && lo >= 0) {
                c = static_cast<char>(hi * 16 + lo);
                i += 2;
            }
        }
        if (c == '\0') {
            break;
        }
        out += c;
    }
    return out;
}

void consolidate_slashes(char* s)
{
    char* out = s;
    bool slash = false;
    for (char* in = s; *in != '\0'; ++in) {
        if (*in == '/') {
            if (slash) {
                continue;
            }
            slash = true;
        } else {
            slash = false;
        }
        *out++ = *in;
    }
    *out = '\0';
}

char* make_safe_url(char* url)
{
    char* q = strchr(url, '?');
    if (q != nullptr) {
        *q = '\0';
    }
    if (url[0] != '/') {
        return nullptr;
    }
    consolidate_slashes(url);
    const size_t len = strlen(url);
    const bool trailing = url[len - 1] == '/';

    std::vector<std::string> kept;
    size_t at = 1;
    while (at <= len) {
        size_t end = at;
        while (end < len && url[end] != '/') {
            ++end;
        }
        const std::string seg(url + at, end - at);
        if (seg == "..") {
            if (kept.empty()) {
                return nullptr;
            }
            kept.pop_back();
        } else if (!seg.empty() && seg != ".") {
            kept.push_back(seg);
        }
        at = end + 1;
    }

    std::string out;
    for (const std::string& seg : kept) {
        out += '/';
        out += seg;
    }
    if (kept.empty() || trailing) {
        out += '/';
    }
    // Never longer than the input: segments only shrink, and a final '/'
    // is added only where one was or where nothing else is left.
    memcpy(url, out.c_str(), out.size() + 1);
    return url;
}

bool make_safe_url(std::string& url)
{
    std::string work(url.c_str());  // up to a NUL, as the text is seen
    if (work.empty()) {
        return false;
    }
    if (make_safe_url(&work[0]) == nullptr) {
        return false;
    }
    url.assign(work.c_str());
    return true;
}

int file_exists(const char* path)
{
    struct stat st;
    if (stat(path, &st) == -1 && errno == ENOENT) {
        return 0;
    }
    return 1;
}
