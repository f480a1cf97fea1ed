#ifndef HTTPSERVER_HTTPREQUEST_H
#define HTTPSERVER_HTTPREQUEST_H

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "HttpServer/HttpConnection.h"

// Length of the request head, up to and including the first blank line
// ("\r\n\r\n" or "\n\n"); 0 while it is incomplete.
size_t find_request_head_end(const char* buf, size_t len);

// Method, URL, protocol and the fields of conn->request (the head text):
// 1 parsed, 0 malformed.
int parse_request(connection* conn);
// Value of the first "Name: " in the request up to CR, LF or the end; false
// when absent.
bool parse_field(const connection* conn, const char* field, std::string& value);
// "Range: bytes=" into the range fields; numbers saturate at the off_t maximum.
void parse_range_field(connection* conn);
// The value of name= in the raw URL, undecoded, into value (capacity bytes
// with the NUL): 0 found, -1 absent, -2 longer than the buffer (value left
// empty).
int parse_get_method_param_field(const char* url, const char* name, char* value, size_t capacity);

// The byte range of a file of `size` bytes from the connection's range
// fields: 0 with from/to (inclusive, never negative) set, 1 outside the file,
// 2 backward. No range given: 0 with the whole file.
enum { HTTP_RANGE_OK = 0, HTTP_RANGE_OUTSIDE = 1, HTTP_RANGE_BACKWARD = 2 };
int range_for_size(const connection* conn, off_t size, off_t* from, off_t* to);

#endif
