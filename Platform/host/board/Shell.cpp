#include "Platform/Shell.h"

#include <stdio.h>
#include <sys/stat.h>

#include <cstring>
#include <set>

#include "Platform/BoardRoot.h"

namespace {

// Programs that would reboot, format, repair a disk, mount over, re-clock or
// re-network the machine: on the simulated board they run only as the board's
// stand-ins.
const std::set<std::string>& GuardedPrograms()
{
    static const std::set<std::string> names = {
        "reboot", "poweroff", "halt", "shutdown", "init", "telinit", "kexec",
        "mkdosfs", "mkfs", "mkfs.vfat", "mkfs.fat", "mkfs.msdos", "mkfs.ext2", "mkfs.ext3",
        "mkfs.ext4", "mke2fs", "mkswap", "fdisk", "sfdisk", "parted", "dd", "blockdev",
        "fsck", "e2fsck", "fsck.ext2", "fsck.ext3", "fsck.ext4", "fsck.vfat", "fsck.fat", "fsck.msdos", "dosfsck",
        "mount", "umount", "swapon", "swapoff", "losetup",
        "hwclock", "date", "setrtc", "timedatectl",
        "ifconfig", "iwconfig", "iwpriv", "ip", "route", "iptables", "udhcpc", "dhclient",
        "wpa_supplicant", "hostapd", "killall",
        "insmod", "rmmod", "modprobe", "sysctl", "flash_erase", "flashcp", "nandwrite",
    };
    return names;
}

bool IsSeparator(char c)
{
    return c == ';' || c == '&' || c == '|' || c == '\n' || c == '(' || c == ')' || c == '`';
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t';
}

bool FileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ShellQuote(const std::string& s)
{
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') {
            q += "'\\''";
        } else {
            q += c;
        }
    }
    q += "'";
    return q;
}

// The end of the single-quoted text or backslash escape at `i` (which holds
// the quote or backslash); inside, nothing is special to the shell.
size_t SkipLiteral(const char* cmd, size_t len, size_t i)
{
    if (cmd[i] == '\\') {
        return i + 2 <= len ? i + 2 : len;
    }
    const char* close = static_cast<const char*>(memchr(cmd + i + 1, '\'', len - i - 1));
    return close != nullptr ? static_cast<size_t>(close - cmd) + 1 : len;
}

// Reads the word at `i` up to a blank or separator outside quotes. `literal`
// gets it as the shell sees it, quotes removed. Returns its end.
size_t ReadWord(const char* cmd, size_t len, size_t i, std::string& literal)
{
    literal.clear();
    while (i < len && !IsSpace(cmd[i]) && !IsSeparator(cmd[i])) {
        const char c = cmd[i];
        if (c == '\'' || c == '\\') {
            const size_t end = SkipLiteral(cmd, len, i);
            const bool closingQuote = c == '\'' && end - i >= 2 && cmd[end - 1] == '\'';
            literal.append(cmd + i + 1, end - i - 1 - (closingQuote ? 1 : 0));
            i = end;
        } else {
            if (c != '"') {
                literal += c;
            }
            ++i;
        }
    }
    return i;
}

}  // namespace

int PlatformShellCommand(const char* cmd, std::string& out)
{
    out.clear();
    if (cmd == nullptr) {
        return 0;
    }
    const std::string root = PlatformBoardRoot();
    if (root.empty() || root == "/") {
        fprintf(stderr, "shell command refused, no board root: %s\n", cmd);
        return 0;
    }
    const std::string bin = root + "/bin";

    // Walk the command segments; rewrite each program named by absolute path
    // and check the guarded ones against the board's stand-ins. Single quotes
    // and backslash escapes are taken whole; double quotes are not, so that a
    // command substitution inside them is still seen.
    std::string text;
    const size_t len = strlen(cmd);
    size_t i = 0;
    bool atSegmentStart = true;
    while (i < len) {
        char c = cmd[i];
        if (IsSeparator(c)) {
            text += c;
            ++i;
            atSegmentStart = true;
            continue;
        }
        if (!atSegmentStart || IsSpace(c)) {
            const size_t end = (c == '\'' || c == '\\') ? SkipLiteral(cmd, len, i) : i + 1;
            text.append(cmd + i, end - i);
            i = end;
            continue;
        }
        std::string word;
        const size_t end = ReadWord(cmd, len, i, word);
        const std::string raw(cmd + i, end - i);
        if (raw.find('=') != std::string::npos && word[0] != '/') {
            // a variable assignment before the program
            text += raw;
            i = end;
            continue;
        }
        std::string base = word.substr(word.rfind('/') == std::string::npos ? 0 : word.rfind('/') + 1);
        std::string program = word;
        bool rewritten = false;
        if (!word.empty() && word[0] == '/') {
            program = root + word;
            rewritten = true;
        }
        if (GuardedPrograms().count(base) != 0) {
            std::string standin = (word[0] == '/') ? program : bin + "/" + base;
            if (!FileExists(standin)) {
                fprintf(stderr, "shell command refused, the board has no stand-in for %s: %s\n", base.c_str(), cmd);
                return 0;
            }
            program = standin;
            rewritten = true;
        }
        text += rewritten ? ShellQuote(program) : raw;
        i = end;
        atSegmentStart = false;
    }
    out = "PATH=" + ShellQuote(bin) + ":\"$PATH\"; export PATH; " + text;
    return 1;
}
