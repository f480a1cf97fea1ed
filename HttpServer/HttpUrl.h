#ifndef HTTPSERVER_HTTPURL_H
#define HTTPSERVER_HTTPURL_H

#include <string>

// %XX (either case) becomes that byte; the result ends at a decoded NUL.
std::string urldecode(const std::string& url);
// Folds runs of '/' into one, in place.
void consolidate_slashes(char* s);
// Rewrites the decoded URL in place: cut at '?', slashes folded, "." dropped,
// ".." folded. Null when it must be refused (no leading '/', ".." past the
// top). The result starts with '/' and is never longer than the input.
char* make_safe_url(char* url);
// The same on a string; false when refused.
bool make_safe_url(std::string& url);
// 0 only when stat() fails with ENOENT.
int file_exists(const char* path);

#endif
