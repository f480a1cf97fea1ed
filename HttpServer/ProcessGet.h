#ifndef HTTPSERVER_PROCESSGET_H
#define HTTPSERVER_PROCESSGET_H

#include <string>

#include "HttpServer/HttpConnection.h"

// The reply to a GET or HEAD: decodes and sanitises the URL (400 when
// refused), serves index.html or a listing for a URL ending in '/', and hands
// every other URL to process_get_url.
void process_get(connection* conn);

// A sanitised URL that does not end in '/', under the root copied for this
// request: the special URLs in their order, else a file of the root.
void process_get_url(connection* conn, const std::string& decoded_url, const std::string& root);

// The live reply of encoder channel 1: 0 when set up, -1 on failure.
int init_get_sub_stream_h264_data(connection* conn);

#endif
