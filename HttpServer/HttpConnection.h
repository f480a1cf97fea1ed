#ifndef HTTPSERVER_HTTPCONNECTION_H
#define HTTPSERVER_HTTPCONNECTION_H

#include <netinet/in.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

// Connection states.
enum conn_state {
    RECV_REQUEST = 0,
    SEND_HEADER = 1,
    SEND_REPLY = 2,
    DONE = 3,
};

// Where the body comes from.
enum reply_type_t {
    REPLY_GENERATED = 0,
    REPLY_FROMFILE = 1,
};

// buffer_type values.
#define HTTP_BUFFER_ORDINARY 0
#define HTTP_BUFFER_COMMON_VIDEO_JSON 1
#define HTTP_BUFFER_ALARM_VIDEO_JSON 2
#define HTTP_BUFFER_ALARM_JPG_JSON 3
#define HTTP_BUFFER_LIVE 1001
#define HTTP_BUFFER_CAPTURE_JPEG 1002

// Capacity of the live-stream buffer.
#define HTTP_LIVE_BUFFER_SIZE 262144
// The shared scratch reply buffer: 2 MiB + 1; builders are given 2 MiB of it.
#define HTTP_JSON_BUFFER_SIZE 2097153
#define HTTP_JSON_BUFFER_CAPACITY 2097152
// Requests longer than this get 413.
#define HTTP_MAX_REQUEST_LENGTH 4000

// One accepted socket. The handler (process_get) fills the reply fields;
// bodies it leaves in a shared buffer (json_buffer, the live buffer) are
// copied into reply_data before the next request runs, so `reply` always
// points at storage the connection owns while it is being sent: reply_data,
// or an immutable document it holds a share of (reply_shared).
struct connection {
    int socket = -1;
    in_addr_t client = 0;
    int64_t last_active = 0;  // engine clock (monotonic milliseconds)
    conn_state state = DONE;

    std::string request;  // bytes received for the current request
    size_t request_length = 0;

    std::string method, url, referer, user_agent;  // url raw, not decoded
    off_t range_begin = 0, range_end = 0;
    off_t range_begin_given = 0, range_end_given = 0;

    std::string header;
    size_t header_length = 0, header_sent = 0;
    int header_dont_free = 0;
    int header_only = 0;
    int http_code = 0;
    int conn_close = 1;

    reply_type_t reply_type = REPLY_GENERATED;
    const char* reply = nullptr;  // body start; owned storage is reply_data
    std::string reply_data;
    std::shared_ptr<const std::string> reply_shared;
    int reply_dont_free = 0;
    int reply_fd = -1;
    int buffer_type = HTTP_BUFFER_ORDINARY;
    int raw_buff_len = 0;
    int data_ready = 0;
    int url_type = 0;
    char* json_buffer = nullptr;  // unused

    off_t reply_start = 0, reply_length = 0, reply_sent = 0, total_sent = 0;

    // Live viewer: frames queued for this socket (front is being sent).
    std::deque<std::string> live_frames;
    size_t live_bytes = 0;
    int live_skip = 0;       // backlog overflowed: drop frames up to the next key frame
    int in_handler = 0;      // process_get runs for it (the root hand-over leaves it alone)
    uint64_t root_generation = 0;  // root in force when its reply was prepared
};

#endif
