#include "HttpServer/HttpReply.h"

#include <dirent.h>
#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdarg>

#include "HttpServer/HttpEngine.h"
#include "HttpServer/HttpText.h"

namespace {

std::string g_KeepAliveField = "Keep-Alive: timeout=60\r\n";
const std::string g_ServerHdr;

void XSetBody(connection* conn, int code, std::string head, std::string body)
{
    conn->header = std::move(head);
    conn->header_length = conn->header.size();
    conn->header_sent = 0;
    conn->http_code = code;
    conn->reply_data = std::move(body);
    conn->reply = conn->reply_data.data();
    conn->reply_dont_free = 0;
    conn->reply_type = REPLY_GENERATED;
    conn->buffer_type = HTTP_BUFFER_ORDINARY;
    conn->reply_start = 0;
    conn->reply_sent = 0;
    conn->reply_length = static_cast<off_t>(conn->reply_data.size());
}

}  // namespace

void set_keep_alive_field(int idle_seconds)
{
    g_KeepAliveField = xasprintf("Keep-Alive: timeout=%d\r\n", idle_seconds);
}

const std::string& keep_alive_field()
{
    return g_KeepAliveField;
}

const std::string& server_hdr()
{
    return g_ServerHdr;
}

char* rfc1123_date(char* dest, time_t when)
{
    struct tm tm;
    dest[0] = '\0';
    if (gmtime_r(&when, &tm) == nullptr) {
        return dest;
    }
    if (strftime(dest, 30, "%a, %d %b %Y %H:%M:%S GMT", &tm) == 0) {
        dest[0] = '\0';
    }
    return dest;
}

std::string date_line(time_t when)
{
    char date[64];
    rfc1123_date(date, when);
    if (date[0] == '\0') {
        return std::string();
    }
    return std::string("Date: ") + date + "\r\n";
}

const char* keep_alive(const connection* conn)
{
    return conn->conn_close ? "Connection: close\r\n" : g_KeepAliveField.c_str();
}

const char* generated_on(const char*)
{
    return "";
}

void default_reply(connection* conn, int code, const char* name, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    const std::string reason = xvasprintf(format, ap);
    va_end(ap);
    const std::string date = date_line(httpd_wall_time());
    std::string body = xasprintf("<html><head><title>%d %s</title></head><body>\n<h1>%s</h1>\n%s\n<hr>\n%s</body></html>\n",
                                 code, name, name, reason.c_str(), generated_on(date.c_str()));
    std::string head = xasprintf("HTTP/1.1 %d %s\r\n%s%sAccept-Ranges: bytes\r\n%sContent-Length: %llu\r\n"
                                 "Content-Type: text/html\r\n\r\n",
                                 code, name, date.c_str(), server_hdr().c_str(), keep_alive(conn),
                                 static_cast<unsigned long long>(body.size()));
    XSetBody(conn, code, std::move(head), std::move(body));
}

void redirect(connection* conn, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    const std::string where = xvasprintf(format, ap);
    va_end(ap);
    const std::string date = date_line(httpd_wall_time());
    const std::string shown = html_escape(where);
    std::string body = xasprintf("<html><head><title>301 Moved Permanently</title></head><body>\n"
                                 "<h1>Moved Permanently</h1>\nMoved to: <a href=\"%s\">%s</a>\n<hr>\n%s</body></html>\n",
                                 shown.c_str(), shown.c_str(), generated_on(date.c_str()));
    std::string head = xasprintf("HTTP/1.1 301 Moved Permanently\r\n%s%sLocation: %s\r\n%sContent-Length: %llu\r\n"
                                 "Content-Type: text/html\r\n\r\n",
                                 date.c_str(), server_hdr().c_str(), where.c_str(), keep_alive(conn),
                                 static_cast<unsigned long long>(body.size()));
    XSetBody(conn, 301, std::move(head), std::move(body));
}

bool make_sorted_dirlist(const char* path, std::vector<dlent>& list, int* err)
{
    list.clear();
    DIR* dir = opendir(path);
    if (dir == nullptr) {
        *err = errno;
        return false;
    }
    list.reserve(128);
    const std::string base(path);
    while (struct dirent* e = readdir(dir)) {
        // Hidden names (the recorder's journals) are not listed; ".." is.
        if (e->d_name[0] == '.' && strcmp(e->d_name, "..") != 0) {
            continue;
        }
        struct stat st;
        if (stat((base + e->d_name).c_str(), &st) == -1) {
            continue;
        }
        list.push_back(dlent{e->d_name, S_ISDIR(st.st_mode) ? 1 : 0, st.st_size});
    }
    closedir(dir);
    std::sort(list.begin(), list.end(), [](const dlent& a, const dlent& b) { return a.name < b.name; });
    return true;
}

void generate_dir_listing(connection* conn, const char* path, const char* shown_url)
{
    std::vector<dlent> list;
    int err = 0;
    if (!make_sorted_dirlist(path, list, &err)) {
        default_reply(conn, 500, "Internal Server Error", "Couldn't list directory: %s", strerror(err));
        return;
    }
    size_t width = 2;
    for (const dlent& d : list) {
        width = std::max(width, d.name.size());
    }
    const std::string title = html_escape(shown_url != nullptr ? shown_url : conn->url);
    const std::string date = date_line(httpd_wall_time());

    apbuf listing;
    listing.appendf("<html>\n<head>\n <title>%s</title>\n</head>\n<body>\n<h1>%s</h1>\n<tt><pre>\n",
                    title.c_str(), title.c_str());
    for (const dlent& d : list) {
        listing.append("<a href=\"");
        listing.append(urlencode(d.name));
        listing.append("\">");
        listing.append(html_escape(d.name));
        listing.append("</a>");
        if (d.is_dir) {
            listing.append("/\n");
        } else {
            listing.append(std::string(width - d.name.size(), ' '));
            listing.appendf("%10llu\n", static_cast<unsigned long long>(d.size));
        }
    }
    listing.append("</pre></tt>\n<hr>\n");
    listing.append(generated_on(date.c_str()));
    listing.append("</body>\n</html>\n");

    std::string head = xasprintf("HTTP/1.1 200 OK\r\n%s%sAccept-Ranges: bytes\r\n%sContent-Length: %llu\r\n"
                                 "Content-Type: text/html\r\n\r\n",
                                 date.c_str(), server_hdr().c_str(), keep_alive(conn),
                                 static_cast<unsigned long long>(listing.length()));
    XSetBody(conn, 200, std::move(head), std::move(listing.str));
}
