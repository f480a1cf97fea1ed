#include "HttpServer/ProcessGet.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <new>

#include "HttpServer/HttpEngine.h"
#include "HttpServer/HttpFrameSource.h"
#include "HttpServer/HttpMime.h"
#include "HttpServer/HttpReply.h"
#include "HttpServer/HttpRequest.h"
#include "HttpServer/HttpText.h"
#include "HttpServer/HttpUrl.h"
#include "HttpServer/IniCommand.h"
#include "HttpServer/MemoryReply.h"
#include "HttpServer/httpcmd/HttpCmd.h"
#include "Platform/BoardRoot.h"

namespace {

// Capacity handed to list builders and the JPEG capture.
const int kSharedCapacity = HTTP_JSON_BUFFER_CAPACITY;
const char kListMime[] = "application/octet-stream";

std::unique_ptr<char[]> video_buff;  // live buffer, kept once made
int h264_sub_stream_fd = -1;

// The URL for a folder named without its trailing '/': the '/' goes at the
// end of the path, before any query.
std::string XFolderLocation(const std::string& raw)
{
    const size_t q = raw.find('?');
    if (q == std::string::npos) {
        return raw + "/";
    }
    return raw.substr(0, q) + "/" + raw.substr(q);
}

void XFileReply(connection* conn, const std::string& target, const char* mime)
{
    const std::string shown = html_escape(conn->url);
    const int fd = open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd == -1) {
        const int err = errno;
        printf("open file [%s] failed.\n", target.c_str());
        if (err == EACCES) {
            default_reply(conn, 403, "Forbidden", "You don't have permission to access (%s).", shown.c_str());
        } else if (err == ENOENT) {
            default_reply(conn, 404, "Not Found", "The URL you requested (%s) was not found.", shown.c_str());
        } else {
            reply_cannot_return(conn, strerror(err));
        }
        return;
    }
    struct stat st;
    if (fstat(fd, &st) == -1) {
        const int err = errno;
        close(fd);
        default_reply(conn, 500, "Internal Server Error", "fstat() failed: %s.", strerror(err));
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        close(fd);
        redirect(conn, "%s", XFolderLocation(conn->url).c_str());
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        close(fd);
        default_reply(conn, 403, "Forbidden", "Not a regular file.");
        return;
    }
    conn->reply_fd = fd;
    conn->reply_type = REPLY_FROMFILE;
    char modified[64];
    rfc1123_date(modified, st.st_mtime);

    std::string since;
    if (parse_field(conn, "If-Modified-Since: ", since) && since == modified) {
        close(fd);
        conn->reply_fd = -1;
        conn->header = xasprintf("HTTP/1.1 304 Not Modified\r\nDate: %s\r\n%sAccept-Ranges: bytes\r\n%s\r\n",
                                 http_date_now().c_str(), server_hdr().c_str(), keep_alive(conn));
        conn->reply_length = 0;
        conn->reply_type = REPLY_GENERATED;
        conn->header_only = 1;
        conn->http_code = 304;
        return;
    }
    const off_t size = st.st_size;
    if (conn->range_begin_given || conn->range_end_given) {
        off_t from = 0;
        off_t to = 0;
        const int r = range_for_size(conn, size, &from, &to);
        if (r != HTTP_RANGE_OK) {
            close(fd);
            conn->reply_fd = -1;
            default_reply(conn, 416, "Requested Range Not Satisfiable",
                          r == HTTP_RANGE_OUTSIDE ? "You requested a range outside of the file."
                                                  : "You requested a backward range.");
            return;
        }
        conn->reply_start = from;
        conn->reply_length = to - from + 1;
        conn->header = xasprintf("HTTP/1.1 206 Partial Content\r\nDate: %s\r\n%sAccept-Ranges: bytes\r\n%s"
                                 "Content-Length: %llu\r\nContent-Range: bytes %llu-%llu/%llu\r\n"
                                 "Content-Type: %s\r\nLast-Modified: %s\r\n\r\n",
                                 http_date_now().c_str(), server_hdr().c_str(), keep_alive(conn),
                                 static_cast<unsigned long long>(conn->reply_length),
                                 static_cast<unsigned long long>(from), static_cast<unsigned long long>(to),
                                 static_cast<unsigned long long>(size), mime, modified);
        conn->http_code = 206;
        return;
    }
    conn->reply_start = 0;
    conn->reply_length = size;
    conn->header = head_200(conn, static_cast<unsigned long long>(size), mime, modified);
    conn->http_code = 200;
}

void XCapturedJpeg(connection* conn)
{
    char* buffer = httpd_json_buffer();
    if (buffer == nullptr) {
        try {
            conn->reply_data.assign(static_cast<size_t>(kSharedCapacity), '\0');
        } catch (const std::bad_alloc&) {
            reply_cannot_return(conn, "out of memory");
            return;
        }
        buffer = &conn->reply_data[0];
    }
    uint32_t len = kSharedCapacity;
    if (CaptureMainImage(buffer, &len) != 0 || len > static_cast<uint32_t>(kSharedCapacity)) {
        conn->reply_data.clear();
        reply_cannot_return(conn, "unknown error");
        return;
    }
    conn->buffer_type = HTTP_BUFFER_CAPTURE_JPEG;
    conn->reply_dont_free = 1;
    reply_from_memory(conn, buffer, static_cast<off_t>(len), "image/jpeg");
}

}  // namespace

void process_get(connection* conn)
{
    std::string decoded = urldecode(conn->url);
    if (!make_safe_url(decoded)) {
        default_reply(conn, 400, "Bad Request", "You requested an invalid URL: %s", html_escape(conn->url).c_str());
        return;
    }
    const std::string root = httpd_root();
    if (decoded.back() == '/') {
        const std::string index = root + decoded + "index.html";
        if (file_exists(index.c_str())) {
            XFileReply(conn, index, url_content_type("index.html"));
        } else {
            generate_dir_listing(conn, (root + decoded).c_str(), decoded.c_str());
        }
        return;
    }
    process_get_url(conn, decoded, root);
}

void process_get_url(connection* conn, const std::string& url, const std::string& root)
{
    if (url == "/ini.htm") {
        process_ini_command(conn);
    } else if (url == "/livesubstream.h264") {
        if (init_get_sub_stream_h264_data(conn) != 0) {
            printf("init sub stream h264 error.\n");
            default_reply(conn, 500, "internal server error", "video not alive or out of memory.");
        }
    } else if (url == "/kx-ft.aac") {
        XFileReply(conn, XBoardPath("/tmp/kx-ft.aac"), "application/octet-stream");
    } else if (url == "/capturemain.jpeg") {
        XCapturedJpeg(conn);
    } else if (url == "/commonvideo.json") {
        reply_record_list(conn, HTTP_BUFFER_COMMON_VIDEO_JSON, emRecFileType_CommonVideo, kListMime);
    } else if (url == "/alarmvideo.json") {
        reply_record_list(conn, HTTP_BUFFER_ALARM_VIDEO_JSON, emRecFileType_AlarmVideo, kListMime);
    } else if (url == "/alarmjpg.json") {
        reply_record_list(conn, HTTP_BUFFER_ALARM_JPG_JSON, emRecFileType_AlarmImage, kListMime);
    } else if (url == "/tavika-ft/testspeed.dat") {
        if (conn->url_type != 1) {
            PauseRecordForSpeedTest();
            conn->url_type = 1;
        }
        XFileReply(conn, root + url, url_content_type(url.c_str()));
    } else {
        XFileReply(conn, root + url, url_content_type(url.c_str()));
    }
}

int init_get_sub_stream_h264_data(connection* conn)
{
    if (!video_buff) {
        video_buff.reset(new (std::nothrow) char[HTTP_LIVE_BUFFER_SIZE]);
        if (!video_buff) {
            return -1;
        }
        memset(video_buff.get(), 0, HTTP_LIVE_BUFFER_SIZE);
    }
    // The engine's source when one is set (on the camera: channel 1 through
    // the same bridges), else the bridges themselves.
    CHttpFrameSource* source = httpd_frame_source();
    if (source != nullptr) {
        if (source->SubStreamFd() < 0) {
            return -1;
        }
    } else if (h264_sub_stream_fd < 0) {
        h264_sub_stream_fd = GetSubStreamEncFD();
        if (h264_sub_stream_fd < 0) {
            return -1;
        }
    }
    int len = 0;
    if (httpd_live_viewer_count() > 0) {
        // The fan-out runs: this viewer joins it at its next key frame
        // without draining the queue under the others.
        conn->live_skip = 1;
    } else {
        len = source != nullptr ? source->SubStreamData(video_buff.get(), HTTP_LIVE_BUFFER_SIZE, 1)
                                : GetH264SubStreamData(video_buff.get(), HTTP_LIVE_BUFFER_SIZE, 1);
        if (len <= 0) {
            return -1;
        }
    }
    conn->reply = video_buff.get();
    conn->raw_buff_len = HTTP_LIVE_BUFFER_SIZE;
    conn->reply_start = 0;
    conn->reply_length = len;
    conn->data_ready = 1;
    conn->reply_dont_free = 1;
    conn->http_code = 200;
    conn->reply_type = REPLY_GENERATED;
    conn->header_only = 0;
    conn->buffer_type = HTTP_BUFFER_LIVE;
    conn->header = xasprintf("HTTP/1.1 200 OK\r\n%s%sContent-Length: %llu\r\nContent-Type: %s\r\n\r\n",
                             server_hdr().c_str(), keep_alive(conn), 18446744073709551615ULL,
                             "application/octet-stream");
    return 0;
}
