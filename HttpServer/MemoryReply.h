#ifndef HTTPSERVER_MEMORYREPLY_H
#define HTTPSERVER_MEMORYREPLY_H

#include <sys/types.h>

#include <string>

#include "HttpServer/HttpConnection.h"
#include "Record/RecordTypes.h"

// Replies built in memory, shared by the file replies, the special URLs
// and the command table behind "/ini.htm".

// The wall clock's date in the reply format.
std::string http_date_now();
// Status 200 with the given length, type and Last-Modified text.
std::string head_200(const connection* conn, unsigned long long length, const char* mime, const std::string& modified);

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
