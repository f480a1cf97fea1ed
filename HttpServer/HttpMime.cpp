#include "HttpServer/HttpMime.h"

#include <string.h>

#include <algorithm>
#include <mutex>
#include <vector>

const char* const default_mimetype = "application/octet-stream";

namespace {

struct mime_mapping {
    std::string extension;  // without the dot
    std::string mimetype;
};

const char* const default_extension_map[] = {
    "application/ogg ogg",
    "application/pdf pdf",
    "application/xml xsl xml",
    "application/xml-dtd dtd",
    "application/xslt+xml xslt",
    "application/zip zip",
    "audio/mpeg mp2 mp3 mpga",
    "image/gif gif",
    "image/jpeg jpeg jpe jpg",
    "image/png png",
    "text/css css",
    "text/html html htm",
    "text/javascript js",
    "text/plain txt asc",
    "video/mpeg mpeg mpe mpg",
    "video/quicktime qt mov",
    "video/x-msvideo avi",
    nullptr,
};

std::vector<mime_mapping> mime_map;
size_t longest_ext = 0;
std::mutex g_MapLock;

void add_mime_mapping(const std::string& ext, const std::string& type)
{
    longest_ext = std::max(longest_ext, ext.size());
    for (mime_mapping& m : mime_map) {
        if (m.extension == ext) {
            m.mimetype = type;  // a repeated extension replaces the earlier type
            return;
        }
    }
    mime_map.push_back(mime_mapping{ext, type});
}

void parse_mimetype_line(const char* line)
{
    std::vector<std::string> words;
    std::string w;
    for (const char* p = line;; ++p) {
        if (*p == ' ' || *p == '\t' || *p == '\0') {
            if (!w.empty()) {
                words.push_back(w);
                w.clear();
            }
            if (*p == '\0') {
                break;
            }
        } else {
            w += *p;
        }
    }
    if (words.empty() || words[0][0] == '#') {
        return;
    }
    for (size_t i = 1; i < words.size(); ++i) {
        add_mime_mapping(words[i], words[0]);
    }
}

void sort_mime_map()
{
    std::sort(mime_map.begin(), mime_map.end(),
              [](const mime_mapping& a, const mime_mapping& b) { return a.extension < b.extension; });
}

}  // namespace

void parse_default_extension_map()
{
    std::lock_guard<std::mutex> lock(g_MapLock);
    if (!mime_map.empty()) {
        return;
    }
    longest_ext = 0;
    for (const char* const* line = default_extension_map; *line != nullptr; ++line) {
        parse_mimetype_line(*line);
    }
    sort_mime_map();
}

void free_mime_map()
{
    std::lock_guard<std::mutex> lock(g_MapLock);
    mime_map.clear();
    mime_map.shrink_to_fit();
    longest_ext = 0;
}

const char* url_content_type(const char* name)
{
    std::lock_guard<std::mutex> lock(g_MapLock);
    const size_t len = strlen(name);
    size_t dot = len;
    for (size_t back = 0; back <= longest_ext + 1 && back < len; ++back) {
        if (name[len - 1 - back] == '.') {
            dot = len - 1 - back;
            break;
        }
    }
    if (dot == len) {
        return default_mimetype;
    }
    const std::string ext(name + dot + 1);
    auto it = std::lower_bound(mime_map.begin(), mime_map.end(), ext,
                               [](const mime_mapping& m, const std::string& e) { return m.extension < e; });
    if (it == mime_map.end() || it->extension != ext) {
        return default_mimetype;
    }
    return it->mimetype.c_str();
}
