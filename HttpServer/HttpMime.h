#ifndef HTTPSERVER_HTTPMIME_H
#define HTTPSERVER_HTTPMIME_H

#include <string>

// The type of names whose extension is not in the map.
extern const char* const default_mimetype;

// Builds and sorts the map from the built-in extension list (idempotent).
void parse_default_extension_map();
// Frees the map.
void free_mime_map();
// MIME type of a file name by its extension (never null).
const char* url_content_type(const char* name);

#endif
