#ifndef HTTPSERVER_PROCESSGET_H
#define HTTPSERVER_PROCESSGET_H

#include <cstdint>
#include <string>

#include "HttpServer/HttpConnection.h"
#include "Record/RecordTypes.h"

// The reply to a GET or HEAD: decodes and sanitises the URL (400 when
// refused), serves index.html or a listing for a URL ending in '/', and hands
// every other URL to process_get_url.
void process_get(connection* conn);

// A sanitised URL that does not end in '/', under the root copied for this
// request: the special URLs in their order, else a file of the root.
void process_get_url(connection* conn, const std::string& decoded_url, const std::string& root);

// The live reply of encoder channel 1: 0 when set up, -1 on failure.
int init_get_sub_stream_h264_data(connection* conn);

// A byte count as text ("1023 B", "1.50 KB", "1.00 GB"); out holds 24 bytes.
void format_space_as_str(uint64_t* bytes, char* out);

// 200 with a body in memory (not copied here), Date and Last-Modified now.
void reply_from_memory(connection* conn, const char* body, off_t length, const char* mime);
// 500 "The URL you requested (...) cannot be returned: <why>."
void reply_cannot_return(connection* conn, const char* why);

// Largest list built in a buffer of the connection's own.
#define HTTP_MAX_LIST_SIZE (16u << 20)

// A list built into the shared buffer (2 MiB); one that does not fit is
// built again in a buffer of the connection's own, up to HTTP_MAX_LIST_SIZE
// (else 500). Without a usable card a list that cannot be built is empty.
void reply_list(connection* conn, int type, int (*build)(char*, int), const char* mime);
// A list of the recordings: the document the recording engine keeps until
// its index changes, sent from its list file (or, without one, from the
// document itself, held by the connection while it is sent); the same
// replies as reply_list otherwise.
void reply_record_list(connection* conn, int type, emRecFileType kind, const char* mime);

#endif
