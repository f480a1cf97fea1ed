#include "HttpServer/HttpEngine.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/tcp.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <list>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "Function/ListenSocket.h"
#include "Function/XLog.h"
#include "HttpServer/HttpFrameSource.h"
#include "HttpServer/HttpMime.h"
#include "HttpServer/HttpReply.h"
#include "HttpServer/HttpRequest.h"
#include "HttpServer/HttpText.h"

namespace {

typedef std::list<std::unique_ptr<connection>> connlist_t;

// Engine state. The pass lock guards the connection list and everything a
// pass touches; it is released while poll() waits and while the handler
// runs, so the SD callback's thread can cut file replies in between.
std::mutex g_PassLock;
thread_local bool t_bHoldsPass = false;
connlist_t connlist;
int sockin = -1;
std::string bindaddr = "0.0.0.0";
int bindport = 8080;
bool g_bPortFixed = false;
int g_nBoundPort = 0;
int max_connections = -1;
int idletime = 60;
int64_t now = 0;  // engine clock, read on every pass
int64_t g_nLastBindTry = -1;  // engine clock at the last try, -1 none
int g_nLastBindErrno = 0;  // a failure repeated by the retries is logged once
uint64_t num_requests = 0, total_in = 0, total_out = 0;
std::unique_ptr<char[]> json_buffer;
std::vector<char> g_LiveScratch;
int g_nSpareFd = -1;  // given up to accept() and refuse when descriptors run out
std::atomic<CHttpEngineLinks*> g_pLinks{nullptr};  // set and cleared under the pass lock
int g_nResumePending = 0;  // speed-test replies ended in this pass
size_t g_nBacklogFrames = 30;
size_t g_nBacklogBytes = 1u << 20;

std::mutex g_RootLock;  // wwwroot and its generation; nothing else is taken under it
std::string wwwroot = "/tmp";
uint64_t g_nRootGeneration = 0;

struct XPassGuard {
    std::unique_lock<std::mutex> lock;
    XPassGuard() : lock(g_PassLock) { t_bHoldsPass = true; }
    ~XPassGuard() { t_bHoldsPass = false; }
    void Release() { t_bHoldsPass = false; lock.unlock(); }
    void Retake() { lock.lock(); t_bHoldsPass = true; }
};
XPassGuard* g_pPass = nullptr;  // the pass in progress (HTTP thread only)

// The engine clock: monotonic milliseconds.
int64_t XMonoMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool XIsLive(const connection* conn)
{
    return conn->buffer_type == HTTP_BUFFER_LIVE;
}

bool XIsList(const connection* conn)
{
    return conn->buffer_type >= HTTP_BUFFER_COMMON_VIDEO_JSON && conn->buffer_type <= HTTP_BUFFER_ALARM_JPG_JSON;
}

// A file of the document root: cut when the root goes away. A list sent
// from its own file is not one.
bool XIsRootFile(const connection* conn)
{
    return conn->reply_fd != -1 && !XIsList(conn);
}

size_t XLiveViewers()
{
    size_t n = 0;
    for (const auto& c : connlist) {
        if (XIsLive(c.get()) && c->state == SEND_REPLY) {
            ++n;
        }
    }
    return n;
}

// A frame holding an IDR picture or a sequence parameter set.
bool XIsKeyFrame(const char* p, size_t len)
{
    for (size_t i = 0; i + 3 < len; ++i) {
        if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) {
            const int type = static_cast<unsigned char>(p[i + 3]) & 0x1F;
            if (type == 5 || type == 7) {
                return true;
            }
        }
    }
    return false;
}

void XCloseSocket(int fd)
{
    // Reads what the peer already sent, so that closing does not reset the
    // connection before it has read the reply.
    shutdown(fd, SHUT_WR);
    char drain[4096];
    for (int i = 0; i < 16 && recv(fd, drain, sizeof(drain), MSG_DONTWAIT) > 0; ++i) {
    }
    if (close(fd) == -1) {
        XERROR("close(): %s\n", strerror(errno));
    }
}

void XClearReply(connection* conn)
{
    conn->request.clear();
    conn->request.shrink_to_fit();
    conn->method.clear();
    conn->url.clear();
    conn->referer.clear();
    conn->user_agent.clear();
    conn->header.clear();
    conn->header.shrink_to_fit();
    conn->reply = nullptr;
    conn->reply_data.clear();
    conn->reply_data.shrink_to_fit();
    conn->reply_shared.reset();
    conn->raw_buff_len = 0;
    if (conn->reply_fd != -1) {
        close(conn->reply_fd);
        conn->reply_fd = -1;
    }
    conn->buffer_type = HTTP_BUFFER_ORDINARY;
    conn->live_frames.clear();
    conn->live_bytes = 0;
    conn->live_skip = 0;
    conn->data_ready = 0;
    if (conn->url_type == 1) {
        ++g_nResumePending;  // resumed once the pass lets its lock go
        conn->url_type = 0;
    }
}

void free_connection(connection* conn)
{
    if (conn->socket != -1) {
        XCloseSocket(conn->socket);
        conn->socket = -1;
    }
    XClearReply(conn);
}

void recycle_connection(connection* conn)
{
    XClearReply(conn);
    conn->request_length = 0;
    conn->range_begin = conn->range_end = 0;
    conn->range_begin_given = conn->range_end_given = 0;
    conn->header_length = conn->header_sent = 0;
    conn->header_dont_free = 0;
    conn->header_only = 0;
    conn->http_code = 0;
    conn->conn_close = 1;
    conn->reply_type = REPLY_GENERATED;
    conn->reply_dont_free = 0;
    conn->reply_start = conn->reply_length = conn->reply_sent = conn->total_sent = 0;
    conn->state = RECV_REQUEST;
}

void XCloseConn(connection* conn)
{
    conn->conn_close = 1;
    conn->state = DONE;
}

// A generated page in place of whatever was prepared; a page that cannot be
// built (no memory) closes the connection.
void XReplaceReply(connection* conn, int code, const char* name, const char* text)
{
    try {
        if (conn->reply_fd != -1) {
            close(conn->reply_fd);
            conn->reply_fd = -1;
        }
        conn->live_frames.clear();
        conn->live_bytes = 0;
        conn->data_ready = 0;
        conn->reply_shared.reset();
        default_reply(conn, code, name, "%s", text);
        conn->state = SEND_HEADER;
    } catch (const std::bad_alloc&) {
        XCloseConn(conn);
    }
}

// Moves a body left in a shared buffer into the connection's own storage.
void XAdoptReply(connection* conn)
{
    conn->header_length = conn->header.size();
    conn->header_sent = 0;
    conn->reply_sent = 0;
    conn->total_sent = 0;
    if (conn->reply_length < 0) {
        conn->reply_length = 0;
    }
    if (conn->header_only) {
        return;
    }
    if (conn->reply_shared && conn->reply != nullptr && conn->reply == conn->reply_shared->data()) {
        conn->reply_type = REPLY_GENERATED;  // sent from the share it holds
        conn->reply_dont_free = 0;
        return;
    }
    const int type = conn->buffer_type;
    if (XIsList(conn)) {
        if (conn->reply_type == REPLY_FROMFILE) {
            return;  // from the list's own file
        }
        if (conn->reply != nullptr && conn->reply == conn->reply_data.data()) {
            conn->reply_start = 0;  // built in the connection's own buffer
            conn->reply_type = REPLY_GENERATED;
            conn->reply_dont_free = 0;
            return;
        }
        if (!json_buffer || conn->reply_length > HTTP_JSON_BUFFER_SIZE) {
            XReplaceReply(conn, 500, "Internal Server Error", "The list cannot be returned.");
            return;
        }
        conn->reply_data.assign(json_buffer.get(), static_cast<size_t>(conn->reply_length));
        conn->reply = conn->reply_data.data();
        conn->reply_start = 0;
        conn->reply_type = REPLY_GENERATED;
        conn->reply_dont_free = 0;
        return;
    }
    if (type == HTTP_BUFFER_LIVE) {
        if (conn->live_skip && conn->reply_length == 0 && XLiveViewers() > 0 &&
            XLiveViewers() < HTTP_MAX_LIVE_VIEWERS) {
            // Joins the running fan-out at its next key frame.
            conn->reply = nullptr;
            conn->reply_dont_free = 0;
            conn->data_ready = 0;
            return;
        }
        if (XLiveViewers() >= HTTP_MAX_LIVE_VIEWERS || conn->reply == nullptr || conn->reply_length <= 0 ||
            conn->reply_length > HTTP_LIVE_BUFFER_SIZE) {
            XReplaceReply(conn, 500, "internal server error", "video not alive or out of memory.");
            return;
        }
        conn->live_frames.emplace_back(conn->reply + conn->reply_start, static_cast<size_t>(conn->reply_length));
        conn->live_bytes = conn->live_frames.back().size();
        conn->live_skip = 0;
        conn->reply = nullptr;
        conn->reply_dont_free = 0;
        conn->reply_start = 0;
        conn->data_ready = 1;
        return;
    }
    if (conn->reply_type == REPLY_GENERATED && conn->reply_length > 0) {
        if (conn->reply == nullptr) {
            XReplaceReply(conn, 500, "Internal Server Error", "No reply.");
            return;
        }
        if (conn->reply != conn->reply_data.data()) {
            std::string own(conn->reply + conn->reply_start, static_cast<size_t>(conn->reply_length));
            conn->reply_data.swap(own);
            conn->reply = conn->reply_data.data();
            conn->reply_start = 0;
            conn->reply_dont_free = 0;
        }
    }
}

void XRunHandler(connection* conn, bool head)
{
    httpd_root(&conn->root_generation);
    conn->in_handler = 1;
    bool failed = false;
    CHttpEngineLinks* links = g_pLinks.load();
    if (g_pPass != nullptr) {
        g_pPass->Release();
    }
    try {
        if (links != nullptr) {
            links->ReplyGet(conn);
        } else {
            default_reply(conn, 500, "Internal Server Error", "The URL you requested (%s) cannot be returned: %s.",
                          html_escape(conn->url).c_str(), "no reply builder");
        }
    } catch (const std::bad_alloc&) {
        failed = true;
    }
    if (g_pPass != nullptr) {
        g_pPass->Retake();
    }
    conn->in_handler = 0;
    if (head) {
        conn->header_only = 1;
    }
    uint64_t generation = 0;
    httpd_root(&generation);
    if (generation != conn->root_generation && XIsRootFile(conn)) {
        close(conn->reply_fd);  // a file of the root that went away
        conn->reply_fd = -1;
        XCloseConn(conn);
        return;
    }
    if (failed) {
        XReplaceReply(conn, 500, "Internal Server Error", "Out of memory.");
        return;
    }
    try {
        XAdoptReply(conn);
    } catch (const std::bad_alloc&) {
        XReplaceReply(conn, 500, "Internal Server Error", "Out of memory.");
    }
}

void process_request(connection* conn)
{
    ++num_requests;
    const bool has_nul = memchr(conn->request.data(), '\0', conn->request.size()) != nullptr;
    if (has_nul || !parse_request(conn)) {
        conn->conn_close = 1;
        default_reply(conn, 400, "Bad Request", "You sent a request that the server couldn't understand.");
    } else if (conn->method == "GET" || conn->method == "HEAD") {
        XRunHandler(conn, conn->method == "HEAD");
        if (conn->state == DONE) {
            return;
        }
    } else if (conn->method == "OPTIONS" || conn->method == "POST" || conn->method == "PUT" ||
               conn->method == "DELETE" || conn->method == "TRACE" || conn->method == "CONNECT") {
        conn->conn_close = 1;
        default_reply(conn, 501, "Not Implemented", "The method you specified (%s) is not implemented.",
                      html_escape(conn->method).c_str());
    } else {
        conn->conn_close = 1;
        default_reply(conn, 400, "Bad Request", "%s is not a valid HTTP/1.1 method.",
                      html_escape(conn->method).c_str());
    }
    conn->state = SEND_HEADER;
    conn->request.clear();
    conn->request.shrink_to_fit();
}

void poll_send_reply(connection* conn);

void poll_send_header(connection* conn)
{
    // A body follows: the head waits for it in the same segment. Without one
    // nothing would push the corked head out on a kept-alive connection.
    const bool body = !conn->header_only &&
                      (XIsLive(conn) ? !conn->live_frames.empty() : conn->reply_length > conn->reply_sent);
    const int more = body ? MSG_MORE : 0;
    const ssize_t n = send(conn->socket, conn->header.data() + conn->header_sent,
                           conn->header.size() - conn->header_sent, MSG_NOSIGNAL | more);
    conn->last_active = now;
    if (n > 0) {
        conn->header_sent += static_cast<size_t>(n);
        conn->total_sent += n;
        total_out += static_cast<uint64_t>(n);
        if (conn->header_sent >= conn->header.size()) {
            if (conn->header_only) {
                conn->state = DONE;
            } else {
                conn->state = SEND_REPLY;
                poll_send_reply(conn);
            }
        }
        return;
    }
    if (n == -1 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return;
    }
    XCloseConn(conn);
}

ssize_t send_from_file(int s, int fd, off_t ofs, off_t size)
{
    const size_t count = static_cast<size_t>(std::min<off_t>(size, HTTP_SENDFILE_STEP));
    return sendfile(s, fd, &ofs, count);
}

void poll_send_reply(connection* conn)
{
    for (;;) {
        ssize_t n = 0;
        if (XIsLive(conn)) {
            if (conn->live_frames.empty()) {
                conn->data_ready = 0;
                return;
            }
            const std::string& f = conn->live_frames.front();
            n = send(conn->socket, f.data() + conn->reply_sent, f.size() - static_cast<size_t>(conn->reply_sent),
                     MSG_NOSIGNAL);
        } else if (conn->reply_length - conn->reply_sent <= 0) {
            conn->state = DONE;
            return;
        } else if (conn->reply_type == REPLY_FROMFILE) {
            n = send_from_file(conn->socket, conn->reply_fd, conn->reply_start + conn->reply_sent,
                               conn->reply_length - conn->reply_sent);
        } else {
            n = send(conn->socket, conn->reply + conn->reply_start + conn->reply_sent,
                     static_cast<size_t>(conn->reply_length - conn->reply_sent), MSG_NOSIGNAL);
        }
        conn->last_active = now;
        if (n > 0) {
            conn->reply_sent += n;
            conn->total_sent += n;
            total_out += static_cast<uint64_t>(n);
            if (XIsLive(conn)) {
                const size_t len = conn->live_frames.front().size();
                if (static_cast<size_t>(conn->reply_sent) >= len) {
                    conn->live_frames.pop_front();
                    conn->live_bytes -= len;
                    conn->reply_sent = 0;
                    conn->data_ready = conn->live_frames.empty() ? 0 : 1;
                    if (conn->data_ready) {
                        continue;
                    }
                }
                return;
            }
            if (conn->reply_sent >= conn->reply_length) {
                conn->state = DONE;
            }
            return;
        }
        if (n == -1 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            return;
        }
        if (n == -1) {
            printf("errno=%d[%s]\n", errno, strerror(errno));
        }
        XCloseConn(conn);
        return;
    }
}

void XTooLong(connection* conn)
{
    conn->conn_close = 1;
    conn->request.clear();
    conn->request.shrink_to_fit();
    default_reply(conn, 413, "Request Entity Too Large", "Your request was dropped because it was too long.");
    conn->state = SEND_HEADER;
}

// The bytes of one recv() on a connection waiting for its request.
void XReceived(connection* conn, const char* buf, size_t n)
{
    conn->last_active = now;
    total_in += n;
    try {
        conn->request.append(buf, n);
        conn->request_length += n;
        // The limit counts every byte received for the request, also those
        // that came behind a complete head in the same read.
        if (conn->request_length > HTTP_MAX_REQUEST_LENGTH) {
            XTooLong(conn);
        } else if (const size_t head = find_request_head_end(conn->request.data(), conn->request.size())) {
            conn->request.resize(head);  // what follows the head is dropped
            process_request(conn);
        }
    } catch (const std::bad_alloc&) {
        XCloseConn(conn);
        return;
    }
    if (conn->state == SEND_HEADER) {
        poll_send_header(conn);
    }
}

void poll_recv_request(connection* conn)
{
    char buf[32768];
    const ssize_t n = recv(conn->socket, buf, sizeof(buf), 0);
    if (n > 0) {
        XReceived(conn, buf, static_cast<size_t>(n));
        return;
    }
    if (n == -1 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return;
    }
    XCloseConn(conn);
}

void init_sockin()
{
    if (sockin != -1) {
        return;
    }
    g_nLastBindTry = now;
    tagListenSpec spec;
    spec.addr = bindaddr.c_str();
    spec.port = static_cast<uint16_t>(bindport);
    spec.backlog = max_connections;
    spec.nonblock = true;
    const tagListenResult r = XListenTcp(spec);
    const char* const err = strerror(r.err);
    switch (r.failed) {
    case emListenStep_None:
        break;
    case emListenStep_Socket:
        XERROR("socket(): %s\n", err);
        return;
    case emListenStep_ReuseAddr:
        XERROR("setsockopt(SO_REUSEADDR): %s\n", err);
        return;
    case emListenStep_Bind:
        if (r.err != g_nLastBindErrno) {
            g_nLastBindErrno = r.err;
            XERROR("bind(port %u): %s (retried every second)\n", static_cast<unsigned>(bindport), err);
        }
        return;
    case emListenStep_Name:
        XERROR("getsockname(): %s\n", err);
        return;
    case emListenStep_Listen:
    default:
        XERROR("listen(): %s\n", err);
        return;
    }
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &r.bound.sin_addr, text, sizeof(text));
    g_nBoundPort = ntohs(r.bound.sin_port);
    g_nLastBindErrno = 0;
    printf("listening on: http://%s:%u/\n", text, static_cast<unsigned>(g_nBoundPort));
    fflush(stdout);
    sockin = r.fd;
}

// Makes room at the cap: frees the connection waiting longest for a request.
bool XMakeRoom()
{
    if (connlist.size() < HTTP_MAX_CONNECTIONS) {
        return true;
    }
    auto oldest = connlist.end();
    for (auto it = connlist.begin(); it != connlist.end(); ++it) {
        if ((*it)->state == RECV_REQUEST && !(*it)->in_handler &&
            (oldest == connlist.end() || (*it)->last_active <= (*oldest)->last_active)) {
            oldest = it;
        }
    }
    if (oldest == connlist.end()) {
        return false;
    }
    free_connection(oldest->get());
    connlist.erase(oldest);
    return true;
}

// Accepts what is waiting; false when accept() failed for want of descriptors.
void XAcceptAll()
{
    for (int i = 0; i < HTTP_MAX_CONNECTIONS; ++i) {
        struct sockaddr_in addr;
        socklen_t len = sizeof(addr);
        const int s = accept4(sockin, reinterpret_cast<struct sockaddr*>(&addr), &len, SOCK_CLOEXEC);
        if (s == -1) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED) {
                return;
            }
            XERROR("accept(): %s\n", strerror(errno));
            if ((errno == EMFILE || errno == ENFILE) && g_nSpareFd != -1) {
                // Take the pending connection off the queue and refuse it.
                close(g_nSpareFd);
                const int t = accept(sockin, nullptr, nullptr);
                if (t != -1) {
                    close(t);
                }
                g_nSpareFd = open("/dev/null", O_RDONLY | O_CLOEXEC);
            }
            return;
        }
        if (!XMakeRoom() || !nonblock_socket(s)) {
            close(s);
            continue;
        }
        // Replies and live frames go out as they are written.
        const int one = 1;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
        std::unique_ptr<connection> conn;
        try {
            conn.reset(new connection());
        } catch (const std::bad_alloc&) {
            close(s);
            continue;
        }
        conn->socket = s;
        conn->last_active = now;
        conn->state = RECV_REQUEST;
        conn->client = addr.sin_addr.s_addr;
        connlist.push_front(std::move(conn));
        poll_recv_request(connlist.front().get());
    }
}

// Hands one encoder frame to every live viewer.
void XLiveFeed(const char* frame, size_t len)
{
    const bool key = XIsKeyFrame(frame, len);
    for (auto& c : connlist) {
        connection* conn = c.get();
        if (!XIsLive(conn) || conn->state != SEND_REPLY) {
            continue;
        }
        if (conn->live_skip && !key) {
            continue;
        }
        if (conn->live_frames.size() >= g_nBacklogFrames || conn->live_bytes + len > g_nBacklogBytes) {
            // Overflow: keep the frame in flight, drop the rest, resume at a key frame.
            std::string inflight;
            if (!conn->live_frames.empty() && conn->reply_sent > 0) {
                inflight.swap(conn->live_frames.front());
            }
            conn->live_frames.clear();
            conn->live_bytes = 0;
            if (!inflight.empty()) {
                conn->live_bytes = inflight.size();
                conn->live_frames.push_back(std::move(inflight));
            } else {
                conn->reply_sent = 0;
            }
            if (!key) {
                conn->live_skip = 1;
                conn->data_ready = conn->live_frames.empty() ? 0 : 1;
                continue;
            }
        }
        conn->live_skip = 0;
        try {
            conn->live_frames.emplace_back(frame, len);
            conn->live_bytes += len;
        } catch (const std::bad_alloc&) {
            conn->live_skip = 1;
        }
        conn->data_ready = 1;
    }
}

void XFetchFrames()
{
    CHttpEngineLinks* links = g_pLinks.load();
    CHttpFrameSource* source = links != nullptr ? links->FrameSource() : nullptr;
    if (source == nullptr) {
        return;
    }
    if (g_LiveScratch.size() != HTTP_LIVE_BUFFER_SIZE) {
        g_LiveScratch.assign(HTTP_LIVE_BUFFER_SIZE, 0);
    }
    for (int i = 0; i < 16; ++i) {
        const int n = source->SubStreamData(g_LiveScratch.data(), HTTP_LIVE_BUFFER_SIZE, 0);
        if (n <= 0 || n > HTTP_LIVE_BUFFER_SIZE) {
            return;
        }
        XLiveFeed(g_LiveScratch.data(), static_cast<size_t>(n));
    }
}

void XCutFileReplies()
{
    for (auto& c : connlist) {
        connection* conn = c.get();
        if (conn->in_handler || !XIsRootFile(conn)) {
            continue;
        }
        close(conn->reply_fd);
        conn->reply_fd = -1;
        XCloseConn(conn);
    }
}

// Recording resumes outside the pass lock: the bridge takes the recording
// engine's lock, under which the SD callbacks may wait for this pass.
void XResumeRecording(XPassGuard& pass)
{
    int n = g_nResumePending;
    g_nResumePending = 0;
    CHttpEngineLinks* links = g_pLinks.load();
    pass.Release();
    for (; n > 0 && links != nullptr; --n) {
        links->ResumeRecord();
    }
}

}  // namespace

int init_exec_env(const char* RootPath, CHttpEngineLinks* links)
{
    std::lock_guard<std::mutex> lock(g_PassLock);
    g_pLinks = links;
    parse_default_extension_map();
    parse_commandline2(RootPath);
    set_keep_alive_field(idletime);
    now = XMonoMs();
    if (g_nSpareFd == -1) {
        g_nSpareFd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    }
    init_sockin();
    if (!json_buffer) {
        json_buffer.reset(new (std::nothrow) char[HTTP_JSON_BUFFER_SIZE]);
        if (!json_buffer) {
            fprintf(stderr, "json_buffer malloc memory error %s,%d\n", __FILE__, __LINE__);
        }
    }
    return 1;
}

void parse_commandline2(const char* RootPath)
{
    if (!g_bPortFixed && geteuid() == 0) {
        bindport = 80;
    }
    std::string root = RootPath != nullptr ? RootPath : "/tmp";
    if (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    std::lock_guard<std::mutex> lock(g_RootLock);
    if (root != wwwroot) {
        wwwroot = root;
        ++g_nRootGeneration;
    }
}

std::string httpd_root(uint64_t* generation)
{
    std::lock_guard<std::mutex> lock(g_RootLock);
    if (generation != nullptr) {
        *generation = g_nRootGeneration;
    }
    return wwwroot;
}

void http_receive_bytes(connection* conn, const char* buf, size_t n)
{
    if (conn->state == RECV_REQUEST && n > 0) {
        XReceived(conn, buf, n);
    }
}

void httpd_cut_file_replies()
{
    if (t_bHoldsPass) {
        XCutFileReplies();
        return;
    }
    std::lock_guard<std::mutex> lock(g_PassLock);
    XCutFileReplies();
}

void httpd_poll()
{
    XPassGuard pass;
    g_pPass = &pass;
    now = XMonoMs();
    if (sockin == -1 && (g_nLastBindTry < 0 || now - g_nLastBindTry >= 1000)) {
        init_sockin();
    }

    std::vector<struct pollfd> fds;
    std::vector<connection*> polled;
    fds.reserve(connlist.size() + 2);
    polled.reserve(connlist.size());
    int listen_at = -1;
    int live_at = -1;
    if (sockin != -1) {
        listen_at = static_cast<int>(fds.size());
        fds.push_back({sockin, POLLIN, 0});
    }
    bool hungry = false;
    bool pending = false;  // a connection left DONE: no waiting in poll()
    for (auto& c : connlist) {
        connection* conn = c.get();
        if (idletime > 0 && now - conn->last_active >= static_cast<int64_t>(idletime) * 1000) {
            XCloseConn(conn);
        }
        pending = pending || conn->state == DONE;
        short events = 0;
        if (conn->state == RECV_REQUEST) {
            events = POLLIN;
        } else if (conn->state == SEND_HEADER) {
            events = POLLOUT;
        } else if (conn->state == SEND_REPLY) {
            if (!XIsLive(conn) || !conn->live_frames.empty()) {
                events = POLLOUT;
            }
            if (XIsLive(conn)) {
                hungry = true;
            }
        }
        if (events != 0) {
            fds.push_back({conn->socket, events, 0});
            polled.push_back(conn);
        }
    }
    CHttpEngineLinks* links = g_pLinks.load();
    CHttpFrameSource* source = links != nullptr ? links->FrameSource() : nullptr;
    const int live_fd = hungry && source != nullptr ? source->SubStreamFd() : -1;
    if (live_fd >= 0) {
        live_at = static_cast<int>(fds.size());
        fds.push_back({live_fd, POLLIN, 0});
    }

    pass.Release();
    const int r = poll(fds.data(), fds.size(), pending ? 0 : 1000);
    const int err = errno;
    pass.Retake();
    now = XMonoMs();
    if (r == -1 && err != EINTR) {
        XERROR("poll(): %s\n", strerror(err));
        pass.Release();
        usleep(10000);  // no busy loop while the failure lasts
        pass.Retake();
    }
    if (r > 0) {
        const size_t first_conn = listen_at >= 0 ? 1 : 0;
        if (live_at >= 0 && (fds[static_cast<size_t>(live_at)].revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
            XFetchFrames();
        }
        // Readiness by connection; a connection freed since has no entry.
        for (size_t i = 0; i < polled.size(); ++i) {
            const short re = fds[first_conn + i].revents;
            connection* conn = polled[i];
            if (re == 0) {
                continue;
            }
            if (conn->state == RECV_REQUEST && (fds[first_conn + i].events & POLLIN)) {
                poll_recv_request(conn);
            } else if (conn->state == SEND_HEADER && (fds[first_conn + i].events & POLLOUT)) {
                poll_send_header(conn);
            } else if (conn->state == SEND_REPLY && (fds[first_conn + i].events & POLLOUT)) {
                poll_send_reply(conn);
            }
        }
        if (listen_at >= 0 && (fds[static_cast<size_t>(listen_at)].revents & POLLIN) != 0) {
            XAcceptAll();
        }
    }
    for (auto it = connlist.begin(); it != connlist.end();) {
        auto next = std::next(it);
        connection* conn = it->get();
        // A request already waiting behind the reply is answered at once;
        // a few per pass, the rest in the next one.
        for (int i = 0; i < 8 && conn->state == DONE && !conn->conn_close; ++i) {
            recycle_connection(conn);
            poll_recv_request(conn);
        }
        if (conn->state == DONE && conn->conn_close) {
            free_connection(conn);
            connlist.erase(it);
        }
        it = next;
    }
    g_pPass = nullptr;
    XResumeRecording(pass);
}

void deinit_exec_env()
{
    std::lock_guard<std::mutex> lock(g_PassLock);
    if (sockin != -1) {
        close(sockin);
        sockin = -1;
    }
    g_nBoundPort = 0;
    json_buffer.reset();
    for (auto& c : connlist) {
        free_connection(c.get());
    }
    connlist.clear();
    for (; g_nResumePending > 0; --g_nResumePending) {
        if (CHttpEngineLinks* links = g_pLinks.load()) {
            links->ResumeRecord();
        }
    }
    g_pLinks = nullptr;
    free_mime_map();
    if (g_nSpareFd != -1) {
        close(g_nSpareFd);
        g_nSpareFd = -1;
    }
    std::vector<char>().swap(g_LiveScratch);
    struct rusage r;
    memset(&r, 0, sizeof(r));
    getrusage(RUSAGE_SELF, &r);
    printf("CPU time used: %u.%02u user, %u.%02u system\n", static_cast<unsigned>(r.ru_utime.tv_sec),
           static_cast<unsigned>(r.ru_utime.tv_usec / 10000), static_cast<unsigned>(r.ru_stime.tv_sec),
           static_cast<unsigned>(r.ru_stime.tv_usec / 10000));
    printf("Requests: %llu\n", static_cast<unsigned long long>(num_requests));
    printf("Bytes: %llu in, %llu out\n", static_cast<unsigned long long>(total_in),
           static_cast<unsigned long long>(total_out));
    fflush(stdout);
}

size_t httpd_live_viewer_count()
{
    if (t_bHoldsPass) {
        return XLiveViewers();
    }
    std::lock_guard<std::mutex> lock(g_PassLock);
    return XLiveViewers();
}

char* httpd_json_buffer()
{
    return json_buffer.get();
}

char* httpd_make_json_buffer()
{
    if (!json_buffer) {
        json_buffer.reset(new (std::nothrow) char[HTTP_JSON_BUFFER_SIZE]);
    }
    return json_buffer.get();
}

CHttpFrameSource* httpd_frame_source()
{
    CHttpEngineLinks* links = g_pLinks.load();
    return links != nullptr ? links->FrameSource() : nullptr;
}

time_t httpd_wall_time()
{
    CHttpEngineLinks* links = g_pLinks.load();
    return links != nullptr ? links->WallTime() : time(nullptr);
}

void httpd_set_live_backlog(size_t frames, size_t bytes)
{
    std::lock_guard<std::mutex> lock(g_PassLock);
    g_nBacklogFrames = frames;
    g_nBacklogBytes = bytes;
}

void httpd_set_listen_address(const char* addr, int port)
{
    std::lock_guard<std::mutex> lock(g_PassLock);
    bindaddr = addr != nullptr ? addr : "0.0.0.0";
    bindport = port;
    g_bPortFixed = true;
}

int httpd_listen_port()
{
    std::lock_guard<std::mutex> lock(g_PassLock);
    return g_nBoundPort;
}

void httpd_set_idletime(int seconds)
{
    std::lock_guard<std::mutex> lock(g_PassLock);
    idletime = seconds;
    set_keep_alive_field(seconds);
}

size_t httpd_connection_count()
{
    std::lock_guard<std::mutex> lock(g_PassLock);
    return connlist.size();
}

uint64_t httpd_num_requests()
{
    std::lock_guard<std::mutex> lock(g_PassLock);
    return num_requests;
}

uint64_t getmscount_back10ms()
{
    struct timespec ts;
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) {
        return 0;
    }
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u - 10u;
}
