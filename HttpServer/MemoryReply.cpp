#include "HttpServer/MemoryReply.h"

#include <new>

#include "HttpServer/HttpEngine.h"
#include "HttpServer/HttpListFile.h"
#include "HttpServer/HttpReply.h"
#include "HttpServer/HttpText.h"
#include "HttpServer/httpcmd/HttpCmd.h"
#include "Periphery/SDManager.h"

namespace {

const int kSharedCapacity = HTTP_JSON_BUFFER_CAPACITY;

bool XCardUsable()
{
    const int state = GetSDCardState();
    return (state & emSDState_Insert) != 0 && (state & emSDState_Mount) != 0;
}

// A list its builder refused at every size, or that found no memory: 500,
// or without a usable card an empty list.
void XListNotBuilt(connection* conn, int type, bool oom, const char* mime)
{
    if (oom) {
        reply_cannot_return(conn, "out of memory");
    } else if (!XCardUsable()) {
        conn->buffer_type = type;
        conn->reply_data.clear();
        reply_from_memory(conn, conn->reply_data.data(), 0, mime);
    } else {
        reply_cannot_return(conn, "the list is too large");
    }
}

}  // namespace

std::string http_date_now()
{
    char date[64];
    return rfc1123_date(date, httpd_wall_time());
}

std::string head_200(const connection* conn, unsigned long long length, const char* mime, const std::string& modified)
{
    return xasprintf("HTTP/1.1 200 OK\r\nDate: %s\r\n%sAccept-Ranges: bytes\r\n%sContent-Length: %llu\r\n"
                     "Content-Type: %s\r\nLast-Modified: %s\r\n\r\n",
                     http_date_now().c_str(), server_hdr().c_str(), keep_alive(conn), length, mime, modified.c_str());
}

void reply_from_memory(connection* conn, const char* body, off_t length, const char* mime)
{
    conn->reply = body;
    conn->reply_start = 0;
    conn->reply_length = length;
    conn->reply_type = REPLY_GENERATED;
    conn->header = head_200(conn, static_cast<unsigned long long>(length), mime, http_date_now());
    conn->http_code = 200;
}

void reply_cannot_return(connection* conn, const char* why)
{
    default_reply(conn, 500, "Internal Server Error", "The URL you requested (%s) cannot be returned: %s.",
                  html_escape(conn->url).c_str(), why);
}

void reply_list(connection* conn, int type, int (*build)(char*, int), const char* mime)
{
    char* shared = httpd_json_buffer();
    int len = -1;
    if (shared != nullptr) {
        len = build(shared, kSharedCapacity);
    }
    if (len >= 0) {
        conn->buffer_type = type;
        conn->reply_dont_free = 1;
        reply_from_memory(conn, shared, static_cast<off_t>(len), mime);
        return;
    }
    bool oom = false;
    for (size_t cap = shared != nullptr ? 2u * kSharedCapacity : kSharedCapacity; cap <= HTTP_MAX_LIST_SIZE;
         cap *= 2) {
        try {
            conn->reply_data.assign(cap, '\0');
        } catch (const std::bad_alloc&) {
            oom = true;
            break;
        }
        len = build(&conn->reply_data[0], static_cast<int>(cap));
        if (len >= 0) {
            conn->reply_data.resize(static_cast<size_t>(len));
            conn->reply_data.shrink_to_fit();  // a slow phone holds only the list, not the build buffer
            conn->buffer_type = type;
            conn->reply_dont_free = 0;
            reply_from_memory(conn, conn->reply_data.data(), static_cast<off_t>(len), mime);
            return;
        }
        if (!XCardUsable()) {
            break;  // no card: the list stays empty
        }
    }
    std::string().swap(conn->reply_data);
    XListNotBuilt(conn, type, oom, mime);
}

void reply_record_list(connection* conn, int type, emRecFileType kind, const char* mime)
{
    RecordListBytes bytes;
    const emListBuild r = GetRecordFileList(kind, HTTP_MAX_LIST_SIZE, bytes);
    const int fd = list_file_for(static_cast<size_t>(kind), r == emListBuild_Done ? bytes : nullptr);
    if (r != emListBuild_Done) {
        XListNotBuilt(conn, type, r == emListBuild_NoMemory, mime);
        return;
    }
    conn->buffer_type = type;
    conn->reply_dont_free = 0;
    if (fd != -1) {
        reply_from_memory(conn, nullptr, static_cast<off_t>(bytes->size()), mime);
        conn->reply_type = REPLY_FROMFILE;
        conn->reply_fd = fd;
        return;
    }
    conn->reply_shared = bytes;
    reply_from_memory(conn, bytes->data(), static_cast<off_t>(bytes->size()), mime);
}
