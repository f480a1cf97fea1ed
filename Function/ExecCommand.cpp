#include "Function/common.h"

#include <stdio.h>

#include <cstring>
#include <string>

#include "Platform/Shell.h"

namespace {

// Longest line kept, in characters, by each helper.
constexpr size_t kExecLineMax = 511;
constexpr size_t kExec2LineMax = 1023;

// Reads one output line into `buf` (room for `cap` - 1 characters and a NUL),
// without its newline. A longer line is truncated: the rest of it, up to and
// including its newline, is read and dropped, so one output line always gives
// one result. `terminated` tells whether the line ended with a newline.
// Returns false at the end of the output when nothing was read.
bool ReadOutputLine(FILE* fp, char* buf, size_t cap, size_t* len, bool* terminated)
{
    size_t n = 0;
    bool any = false;
    *terminated = false;
    int c;
    while ((c = getc_unlocked(fp)) != EOF) {
        any = true;
        if (c == '\n') {
            *terminated = true;
            break;
        }
        if (n + 1 < cap) {
            buf[n++] = static_cast<char>(c);
        }
    }
    buf[n] = '\0';
    *len = n;
    return any;
}

// Starts the command through the platform's shell layer; null when it is
// refused or cannot be started.
FILE* StartCommand(const char* cmd)
{
    std::string text;
    if (cmd == nullptr || PlatformShellCommand(cmd, text) == 0) {
        return nullptr;
    }
    // "e": the pipe is closed on exec, so no other child inherits it.
    return popen(text.c_str(), "re");
}

bool IsShellLiteral(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c != '\0' && strchr("@%+=:,./-_", c) != nullptr);
}

}  // namespace

int ExecCommand(const char* commandbuf)
{
    FILE* fp = StartCommand(commandbuf);
    if (fp == nullptr) {
        printf("popen exec date command\n");
        return -1;
    }
    char line[kExecLineMax + 1];
    size_t len = 0;
    bool terminated = false;
    while (ReadOutputLine(fp, line, sizeof(line), &len, &terminated)) {
        if (terminated) {  // an unfinished last line is not printed
            fwrite(line, 1, len, stdout);
            fputc('\n', stdout);
        }
    }
    return pclose(fp);
}

int ExecCommand2(const char* cmd, std::vector<std::string>& resvec)
{
    resvec.clear();
    FILE* fp = StartCommand(cmd);
    if (fp == nullptr) {
        return -1;
    }
    char line[kExec2LineMax + 1];
    size_t len = 0;
    bool terminated = false;
    while (ReadOutputLine(fp, line, sizeof(line), &len, &terminated)) {
        resvec.emplace_back(line, len);
    }
    pclose(fp);
    return static_cast<int>(resvec.size());
}

std::string XShellQuote(const std::string& text)
{
    bool literal = !text.empty();
    for (char c : text) {
        if (!IsShellLiteral(c)) {
            literal = false;
            break;
        }
    }
    if (literal) {
        return text;
    }
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    out += "'";
    return out;
}
