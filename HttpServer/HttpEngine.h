#ifndef HTTPSERVER_HTTPENGINE_H
#define HTTPSERVER_HTTPENGINE_H

// The road of a request to its reply:
//   httpd_poll, on the web server's thread (CHttpServer), accepts the
//   connection and reads its bytes; http_receive_bytes collects the head
//   and HttpRequest.cpp parses it; the links' ReplyGet (process_get,
//   ProcessGet.cpp, on the camera) decodes the URL and answers a file of
//   the root, a folder listing (HttpReply.cpp) or a special URL. "/ini.htm"
//   goes to the command table (IniCommand.cpp), whose rows call the bridge
//   functions (httpcmd/HttpCmd.cpp) into the roles the composition root
//   bound (CWebBridges). A reply is built in memory (MemoryReply.cpp, lists
//   in the shared 2 MiB buffer) or sent from its file, by the next passes.

#include <cstddef>
#include <cstdint>
#include <string>

#include "HttpServer/HttpConnection.h"
#include "HttpServer/HttpEngineLinks.h"

// Connections held at most, and of them live viewers.
#define HTTP_MAX_CONNECTIONS 64
#define HTTP_MAX_LIVE_VIEWERS 4
// sendfile() step.
#define HTTP_SENDFILE_STEP 4194304

// One engine per process, run by one thread at a time.
// Builds the MIME map, sets the root and port, opens the listening socket
// (a failed bind is retried every second from httpd_poll) and the shared
// buffer, and takes the server's links (not owned; kept until
// deinit_exec_env). Without links a GET is answered 500 and nothing is
// live. Returns 1 once set up (also while the socket is still missing).
int init_exec_env(const char* RootPath, CHttpEngineLinks* links);
// One pass: waits at most about one second.
void httpd_poll();
// Closes every connection and the socket, prints the usage figures, and
// lets the links go.
void deinit_exec_env();
// Makes RootPath ("/tmp" when null, one trailing '/' removed) the document root.
void parse_commandline2(const char* RootPath);

// The document root as a copy, and its generation (bumped on every change).
std::string httpd_root(uint64_t* generation = nullptr);
// Closes every file reply (the card goes away): their connections are cut.
// Waits for the engine's pass on another thread; never frees a connection.
void httpd_cut_file_replies();

// The shared scratch buffer (HTTP_JSON_BUFFER_SIZE bytes), null when it
// could not be had.
char* httpd_json_buffer();
// The same, made now when it is missing (null when it cannot be had).
char* httpd_make_json_buffer();
// Live viewers being fed (a new one joins them instead of draining the queue).
size_t httpd_live_viewer_count();

// The receive step on bytes already read from conn's socket: the request is
// answered once its head is complete (tests and fuzzing feed it directly).
void http_receive_bytes(connection* conn, const char* buf, size_t n);

// The links' live source; null without one.
CHttpFrameSource* httpd_frame_source();
// The links' wall clock; time() without links.
time_t httpd_wall_time();
// Per-viewer backlog: frames and bytes held before it skips to a key frame.
void httpd_set_live_backlog(size_t frames, size_t bytes);

// Before init_exec_env: listen on addr:port (port 0: an ephemeral one).
void httpd_set_listen_address(const char* addr, int port);
// The bound port, 0 while there is no socket.
int httpd_listen_port();
// Idle time in seconds (60).
void httpd_set_idletime(int seconds);
size_t httpd_connection_count();
uint64_t httpd_num_requests();

// Monotonic milliseconds minus 10, 0 when the clock cannot be read.
uint64_t getmscount_back10ms();

#endif
