#include "HttpServer/IniCommand.h"

#include <string>

#include "HttpServer/HttpReply.h"
#include "HttpServer/HttpRequest.h"
#include "HttpServer/HttpText.h"

void process_ini_command(connection* conn)
{
    char cmd[256];
    std::string body;
    if (parse_get_method_param_field(conn->url.c_str(), "cmd", cmd, sizeof(cmd)) == 0) {
        body = std::string("US ") + cmd;
    } else {
        body = conn->url;
    }
    const std::string date = date_line(httpd_wall_time());
    conn->header = xasprintf("HTTP/1.1 200 OK\r\n%s%sAccept-Ranges: bytes\r\n%sContent-Length: %llu\r\n"
                             "Content-Type: text/html\r\n\r\n",
                             date.c_str(), server_hdr().c_str(), keep_alive(conn),
                             static_cast<unsigned long long>(body.size()));
    conn->reply_data.swap(body);
    conn->reply = conn->reply_data.data();
    conn->reply_start = 0;
    conn->reply_length = static_cast<off_t>(conn->reply_data.size());
    conn->reply_type = REPLY_GENERATED;
    conn->reply_dont_free = 0;
    conn->http_code = 200;
}
