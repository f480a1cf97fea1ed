// INI text: the table-driven parser, typed access and the writer.

#include "IniConfig/iniconfig.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Function/common.h"

namespace {

const char* const kDefaultSection = "default";

typedef int (*PARSER_ACTION)(PARSER* p);

bool XIsTrimmed(char c)
{
    return c == ' ' || c == '\r' || c == '\n';
}

// Narrows [start, end) of the text to its content without spaces, carriage
// returns and line feeds at either end.
void XTrim(const char* str, int& start, int& end)
{
    while (start < end && XIsTrimmed(str[start])) {
        ++start;
    }
    while (end > start && XIsTrimmed(str[end - 1])) {
        --end;
    }
}

// Names and keys the writer can put back exactly as they were read.
bool XSectionNameOk(const char* name, size_t len)
{
    return len > 0 && len <= INI_SECTION_NAME_MAX && memchr(name, '\0', len) == nullptr &&
           memchr(name, '\n', len) == nullptr && memchr(name, ']', len) == nullptr;
}

bool XKeyOk(const char* key, size_t len)
{
    return len > 0 && memchr(key, '\0', len) == nullptr && memchr(key, '\n', len) == nullptr &&
           memchr(key, '=', len) == nullptr && memchr(key, '[', len) == nullptr;
}

// What a caller may set: a name the parser gives back unchanged, as other
// INI readers do too. No control byte (the parser trims \r, a tab is white
// space to others) and no blank at either end (trimmed).
bool XNameReadsBack(const char* name, size_t len)
{
    if (len == 0 || name[0] == ' ' || name[len - 1] == ' ') {
        return false;
    }
    for (size_t i = 0; i < len; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7f) {
            return false;
        }
    }
    return true;
}

// A key a caller may set: besides the above, no ';' or '#' first (the line
// would read as a comment).
bool XKeyReadsBack(const char* key, size_t len)
{
    return XKeyOk(key, len) && XNameReadsBack(key, len) && key[0] != ';' && key[0] != '#';
}

bool XSectionReadsBack(const char* name, size_t len)
{
    return XSectionNameOk(name, len) && XNameReadsBack(name, len);
}

// Inserts or replaces a key as the parser reads it from a file (names
// already trimmed); 1 new, 2 replaced, 0 refused.
int XSetString(INI_CONFIG* config, const char* section, const char* key, size_t klen, const char* value,
               size_t vlen)
{
    if (!XSectionNameOk(section, strlen(section)) || !XKeyOk(key, klen) ||
        (vlen > 0 && memchr(value, '\n', vlen) != nullptr) || klen > static_cast<size_t>(INT_MAX) ||
        vlen > static_cast<size_t>(INT_MAX)) {
        return 0;
    }
    CONFIG_BTREE_NODE* node =
        config_btree_create_node(key, static_cast<int>(klen), value, static_cast<int>(vlen));
    if (node == nullptr) {
        return 0;
    }
    return config_btree_insert_section_node(config, section, node);
}

void XStep(PARSER* p, int n)
{
    p->pos = (p->slen - p->pos >= n) ? p->pos + n : p->slen;
    if (p->col <= INT_MAX - n) {
        p->col += n;
    }
}

int XActAdvance(PARSER* p)
{
    XStep(p, 1);
    return 1;
}

// GBK: the second byte of a double-byte character is skipped unseen.
int XActAdvanceDouble(PARSER* p)
{
    XStep(p, 2);
    return 1;
}

int XActSectionStart(PARSER* p)
{
    if (p->status == 1) {
        p->start1 = p->pos + 1;
        p->status = 2;
    }
    XStep(p, 1);
    return 1;
}

int XActSectionEnd(PARSER* p)
{
    if (p->status == 2) {
        int start = p->start1;
        int end = p->pos;
        XTrim(p->str, start, end);
        size_t len = static_cast<size_t>(end - start);
        if (!XSectionNameOk(p->str + start, len)) {
            return 0;
        }
        memcpy(p->section_name, p->str + start, len);
        p->section_name[len] = '\0';
        if (config_btree_insert_section(p->config, p->section_name) == nullptr) {
            return 0;
        }
        p->status = 1;
        p->start1 = p->pos + 1;
    }
    XStep(p, 1);
    return 1;
}

int XActValueStart(PARSER* p)
{
    if (p->status == 1) {
        p->end1 = p->pos;
        p->start2 = p->pos + 1;
        p->status = 3;
    }
    XStep(p, 1);
    return 1;
}

int XActComment(PARSER* p)
{
    if (p->col == 1 && p->status == 1) {
        p->status = 4;
    }
    XStep(p, 1);
    return 1;
}

int XActNewLine(PARSER* p)
{
    if (p->status == 3) {
        int ks = p->start1;
        int ke = p->end1;
        XTrim(p->str, ks, ke);
        if (ke <= ks) {
            return 0;
        }
        int vs = p->start2;
        int ve = p->pos;
        XTrim(p->str, vs, ve);
        if (XSetString(p->config, p->section_name, p->str + ks, static_cast<size_t>(ke - ks), p->str + vs,
                       static_cast<size_t>(ve - vs)) == 0) {
            return 0;
        }
    } else if (p->status == 2) {
        // A "[" not closed on its line.
        return 0;
    }
    p->start1 = p->pos + 1;
    p->status = 1;
    if (p->row < INT_MAX) {
        p->row++;
    }
    p->pos = p->pos < p->slen ? p->pos + 1 : p->slen;
    p->col = 1;
    return 1;
}

// Saturating atoi: leading white space, an optional sign, then digits.
int XTextToInt(const char* s)
{
    while (*s == ' ' || (*s >= '\t' && *s <= '\r')) {
        ++s;
    }
    bool negative = false;
    if (*s == '+' || *s == '-') {
        negative = *s == '-';
        ++s;
    }
    int64_t v = 0;
    const int64_t limit = negative ? -static_cast<int64_t>(INT_MIN) : INT_MAX;
    for (; *s >= '0' && *s <= '9'; ++s) {
        v = v * 10 + (*s - '0');
        if (v >= limit) {
            v = limit;
            // Keep consuming digits; the value stays at the limit.
        }
    }
    return static_cast<int>(negative ? -v : v);
}

struct tagSaveText {
    std::string text;
};
typedef tagSaveText SaveText;

int XAppendKey(CONFIG_BTREE_NODE* node, void* arg)
{
    std::string& out = static_cast<SaveText*>(arg)->text;
    out += node->key;
    out += '=';
    out += static_cast<const char*>(node->data);
    out += '\n';
    return 1;
}

int XAppendSection(CONFIG_BTREE_NODE* node, void* arg)
{
    std::string& out = static_cast<SaveText*>(arg)->text;
    out += '[';
    out += node->key;
    out += "]\n";
    CONFIG_BTREE* keys = static_cast<CONFIG_BTREE*>(node->data);
    if (keys != nullptr) {
        config_btree_inorder_traverse(keys, XAppendKey, arg);
    }
    return 1;
}

std::string XFormatConfig(INI_CONFIG* config)
{
    SaveText out;
    config_btree_inorder_traverse(config, XAppendSection, &out);
    return out.text;
}

// The folder holding `filename`.
std::string XFolderOf(const char* filename)
{
    const char* slash = strrchr(filename, '/');
    if (slash == nullptr) {
        return ".";
    }
    if (slash == filename) {
        return "/";
    }
    return std::string(filename, static_cast<size_t>(slash - filename));
}

int XFreeSectionVisit(CONFIG_BTREE_NODE* node, void*)
{
    config_btree_destroy_section(static_cast<CONFIG_BTREE*>(node->data));
    config_btree_free_node(node);
    return 1;
}

}  // namespace

INI_CONFIG* ini_config_create_from_string(const char* str, int slen, int isGBK)
{
    if (str == nullptr || slen < 0) {
        return nullptr;
    }
    if (slen == 0) {
        size_t n = strlen(str);
        if (n > static_cast<size_t>(INT_MAX)) {
            return nullptr;
        }
        slen = static_cast<int>(n);
    }
    INI_CONFIG* config = config_btree_create();
    if (config == nullptr) {
        return nullptr;
    }
    if (config_btree_insert_section(config, kDefaultSection) == nullptr) {
        ini_config_destroy(config);
        return nullptr;
    }

    PARSER p;
    memset(&p, 0, sizeof(p));
    p.status = 1;
    p.row = 1;
    p.col = 1;
    p.str = str;
    p.slen = slen;
    p.config = config;
    memcpy(p.section_name, kDefaultSection, strlen(kDefaultSection) + 1);

    PARSER_ACTION actions[256];
    for (int i = 0; i < 256; ++i) {
        actions[i] = (isGBK && i >= 128) ? XActAdvanceDouble : XActAdvance;
    }
    actions[static_cast<unsigned char>('[')] = XActSectionStart;
    actions[static_cast<unsigned char>(']')] = XActSectionEnd;
    actions[static_cast<unsigned char>('=')] = XActValueStart;
    actions[static_cast<unsigned char>('\n')] = XActNewLine;
    actions[static_cast<unsigned char>(';')] = XActComment;

    while (p.pos < p.slen) {
        if (!actions[static_cast<unsigned char>(p.str[p.pos])](&p)) {
            ini_config_destroy(config);
            return nullptr;
        }
    }
    // The last line counts without its line feed.
    if (!XActNewLine(&p)) {
        ini_config_destroy(config);
        return nullptr;
    }
    return config;
}

INI_CONFIG* ini_config_create_from_file(const char* filename, int isGBK)
{
    if (filename == nullptr) {
        return nullptr;
    }
    int fd = open(filename, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<uint64_t>(st.st_size) > static_cast<uint64_t>(INT_MAX - 1)) {
        close(fd);
        return nullptr;
    }
    size_t size = static_cast<size_t>(st.st_size);
    std::vector<char> buf(size + 1, '\0');
    size_t got = 0;
    bool ok = true;
    while (got < size) {
        ssize_t n = SafeRead(fd, buf.data() + got, size - got);
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    close(fd);
    if (!ok) {
        return nullptr;
    }
    if (got == 0) {
        return ini_config_create_from_string("", 0, isGBK);
    }
    return ini_config_create_from_string(buf.data(), static_cast<int>(got), isGBK);
}

int ini_config_get_int(INI_CONFIG* config, const char* section, const char* key, int default_int)
{
    const char* text = ini_config_get_string(config, section, key, nullptr);
    return text != nullptr ? XTextToInt(text) : default_int;
}

const char* ini_config_get_string(INI_CONFIG* config, const char* section, const char* key,
                                  const char* default_string)
{
    CONFIG_BTREE* keys = config_btree_get_section(config, section != nullptr ? section : kDefaultSection);
    CONFIG_BTREE_NODE* node = config_btree_find_node(keys, key);
    return node != nullptr ? static_cast<const char*>(node->data) : default_string;
}

int ini_config_set_string(INI_CONFIG* config, const char* section, const char* key, int key_len,
                          const char* value, int value_len)
{
    if (config == nullptr || key == nullptr || key_len < 0 || value_len < 0 || (value == nullptr && value_len > 0)) {
        return 0;
    }
    if (section == nullptr) {
        section = kDefaultSection;
    }
    const size_t klen = key_len == 0 ? strlen(key) : static_cast<size_t>(key_len);
    // Only what the saved file gives back: a name the parser would trim,
    // cut or take as a comment would break the file or another key.
    if (!XSectionReadsBack(section, strlen(section)) || !XKeyReadsBack(key, klen)) {
        return 0;
    }
    return XSetString(config, section, key, klen, value, static_cast<size_t>(value_len));
}

int ini_config_set_int(INI_CONFIG* config, const char* section, const char* key, int key_len, int value)
{
    char text[16];
    int n = snprintf(text, sizeof(text), "%d", value);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof(text)) {
        return 0;
    }
    return ini_config_set_string(config, section, key, key_len, text, n);
}

int ini_config_save(INI_CONFIG* config, const char* filename)
{
    if (config == nullptr || filename == nullptr || filename[0] == '\0') {
        return 0;
    }
    const std::string text = XFormatConfig(config);
    const std::string tmp = std::string(filename) + ".tmp";
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        return 0;
    }
    // The new file takes the old one's permissions.
    struct stat st;
    if (stat(filename, &st) == 0 && S_ISREG(st.st_mode)) {
        fchmod(fd, st.st_mode & 07777);
    }
    bool ok = text.empty() || FullWrite(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = ok && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    if (!ok || rename(tmp.c_str(), filename) != 0) {
        unlink(tmp.c_str());
        return 0;
    }
    return XSyncDirectory(XFolderOf(filename).c_str());
}

void ini_config_print(INI_CONFIG* config, FILE* fp)
{
    if (config == nullptr || fp == nullptr) {
        return;
    }
    const std::string text = XFormatConfig(config);
    fwrite(text.data(), 1, text.size(), fp);
    fflush(fp);
}

void ini_config_destroy(INI_CONFIG* config)
{
    if (config == nullptr) {
        return;
    }
    config_btree_postorder_traverse(config, XFreeSectionVisit, nullptr);
    delete config;
}
