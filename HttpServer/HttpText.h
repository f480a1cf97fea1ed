#ifndef HTTPSERVER_HTTPTEXT_H
#define HTTPSERVER_HTTPTEXT_H

#include <cstdarg>
#include <cstddef>
#include <string>

// Growable text; grows in 4096-byte steps.
class apbuf {
public:
    apbuf();
    void appendl(const char* s, size_t len);
    void append(const std::string& s) { appendl(s.data(), s.size()); }
    void appendf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    size_t length() const { return str.size(); }
    size_t pool() const { return str.capacity(); }
    std::string str;
};

// Formatted text (std::bad_alloc when memory runs out).
std::string xasprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string xvasprintf(const char* format, va_list ap) __attribute__((format(printf, 1, 0)));

// Bytes of src in [left, right); empty when the bounds do not fit src.
std::string split_string(const std::string& src, size_t left, size_t right);
// Upper-cases the first `length` bytes in place.
void strntoupper(char* str, size_t length);
// & < > " as entities, for text placed into HTML.
std::string html_escape(const std::string& s);
// dest must hold 3 * strlen(src) + 1 bytes.
void urlencode(const char* src, char* dest);
void logencode(const char* src, char* dest);
std::string urlencode(const std::string& src);
// Adds O_NONBLOCK; 0 on failure (logged).
int nonblock_socket(int sock);

#endif
