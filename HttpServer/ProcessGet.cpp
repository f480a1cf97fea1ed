#include "HttpServer/ProcessGet.h"

#include "HttpServer/HttpEngine.h"
#include "HttpServer/HttpReply.h"
#include "HttpServer/HttpText.h"
#include "HttpServer/HttpUrl.h"

void process_get(connection* conn)
{
    std::string decoded = urldecode(conn->url);
    if (!make_safe_url(decoded)) {
        default_reply(conn, 400, "Bad Request", "You requested an invalid URL: %s", html_escape(conn->url).c_str());
        return;
    }
    const std::string root = httpd_root();
    if (decoded.back() == '/') {
        generate_dir_listing(conn, (root + decoded).c_str(), decoded.c_str());
        return;
    }
    process_get_url(conn, decoded, root);
}

void process_get_url(connection* conn, const std::string&, const std::string&)
{
    default_reply(conn, 404, "Not Found", "The URL you requested (%s) was not found.", html_escape(conn->url).c_str());
}
