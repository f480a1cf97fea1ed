#ifndef HTTPSERVER_PROCESSGET_H
#define HTTPSERVER_PROCESSGET_H

#include <string>

#include "HttpServer/HttpConnection.h"

// The reply to a GET or HEAD: decodes and sanitises the URL (400 when
// refused), lists a folder for a URL ending in '/', and hands every other
// URL to process_get_url.
void process_get(connection* conn);

// A sanitised URL that does not end in '/', under the root copied for this
// request: special URLs and file replies. For now every such URL is 404.
void process_get_url(connection* conn, const std::string& decoded_url, const std::string& root);

#endif
