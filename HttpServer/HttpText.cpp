#include "HttpServer/HttpText.h"

#include <fcntl.h>
#include <string.h>

#include <cctype>
#include <cstdio>
#include <new>

#include "Function/XLog.h"

apbuf::apbuf()
{
    str.reserve(4096);
}

void apbuf::appendl(const char* s, size_t len)
{
    if (str.size() + len > str.capacity()) {
        str.reserve((str.size() + len + 4095) / 4096 * 4096);
    }
    str.append(s, len);
}

void apbuf::appendf(const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    const std::string s = xvasprintf(format, ap);
    va_end(ap);
    append(s);
}

std::string xvasprintf(const char* format, va_list ap)
{
    va_list copy;
    va_copy(copy, ap);
    const int n = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n < 0) {
        throw std::bad_alloc();
    }
    std::string out(static_cast<size_t>(n) + 1, '\0');
    vsnprintf(&out[0], out.size(), format, ap);
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string xasprintf(const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    std::string s = xvasprintf(format, ap);
    va_end(ap);
    return s;
}

std::string split_string(const std::string& src, size_t left, size_t right)
{
    if (left > right || right > src.size()) {
        return std::string();
    }
    return src.substr(left, right - left);
}

void strntoupper(char* str, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        str[i] = static_cast<char>(toupper(static_cast<unsigned char>(str[i])));
    }
}

std::string html_escape(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c; break;
        }
    }
    return out;
}

namespace {

const char kHex[] = "0123456789ABCDEF";

void XEncode(const char* src, char* dest, bool (*keep)(unsigned char))
{
    for (; *src != '\0'; ++src) {
        const unsigned char c = static_cast<unsigned char>(*src);
        if (keep(c)) {
            *dest++ = static_cast<char>(c);
        } else {
            *dest++ = '%';
            *dest++ = kHex[c >> 4];
            *dest++ = kHex[c & 15];
        }
    }
    *dest = '\0';
}

bool XUrlKeeps(unsigned char c)
{
    return c >= 32 && c <= 126 && strchr("<>\"%{}|^~[]`\\;:/?@#=&", c) == nullptr;
}

bool XLogKeeps(unsigned char c)
{
    return c == ' ' || c == '!' || (c >= '#' && c <= '~');
}

}  // namespace

void urlencode(const char* src, char* dest)
{
    XEncode(src, dest, XUrlKeeps);
}

void logencode(const char* src, char* dest)
{
    XEncode(src, dest, XLogKeeps);
}

std::string urlencode(const std::string& src)
{
    const size_t len = strnlen(src.c_str(), src.size());
    std::string out(3 * len + 1, '\0');
    urlencode(src.c_str(), &out[0]);
    out.resize(strlen(out.c_str()));
    return out;
}

int nonblock_socket(int sock)
{
    const int flags = fcntl(sock, F_GETFL);
    if (flags == -1) {
        XERROR("fcntl(F_GETFL): %s\n", strerror(errno));
        return 0;
    }
    if (fcntl(sock, F_SETFL, flags | O_NONBLOCK) == -1) {
        XERROR("fcntl() to set O_NONBLOCK: %s\n", strerror(errno));
        return 0;
    }
    return 1;
}
