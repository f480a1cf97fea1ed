#ifndef HTTPSERVER_HTTPREPLY_H
#define HTTPSERVER_HTTPREPLY_H

#include <sys/types.h>
#include <time.h>

#include <string>
#include <vector>

#include "HttpServer/HttpConnection.h"

// "Keep-Alive: timeout=N\r\n" for the idle time; the server field is empty.
void set_keep_alive_field(int idle_seconds);
const std::string& keep_alive_field();
const std::string& server_hdr();

// "%a, %d %b %Y %H:%M:%S GMT" into dest (30 bytes or more); an empty text
// when the time cannot be converted.
char* rfc1123_date(char* dest, time_t when);
// "Date: ...\r\n" for `when`, or nothing when it cannot be converted.
std::string date_line(time_t when);
// "Connection: close\r\n" or the keep-alive field.
const char* keep_alive(const connection* conn);
// The signature line (server identification is off).
const char* generated_on(const char* date);

// Generated pages; each sets header, http_code and an owned body.
void default_reply(connection* conn, int code, const char* name, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
void redirect(connection* conn, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Listing of the folder `path` (ending in '/'), titled with `shown_url`
// (the connection's URL when null).
void generate_dir_listing(connection* conn, const char* path, const char* shown_url = nullptr);

struct dlent {
    std::string name;
    int is_dir;
    off_t size;
};
// Entries of the folder but ".", sorted by name; false when it cannot be read.
bool make_sorted_dirlist(const char* path, std::vector<dlent>& list, int* err);

#endif
