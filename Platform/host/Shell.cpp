#include "Platform/Shell.h"

#include <stdio.h>
#include <sys/stat.h>

#include <cstring>
#include <set>

#include "Platform/BoardRoot.h"

namespace {

// Programs that would reboot, format, mount over, re-clock or re-network the
// machine: on the simulated board they run only as the board's stand-ins.
const std::set<std::string>& GuardedPrograms()
{
    static const std::set<std::string> names = {
        "reboot", "poweroff", "halt", "shutdown", "init", "telinit", "kexec",
        "mkdosfs", "mkfs", "mkfs.vfat", "mkfs.fat", "mkfs.msdos", "mkfs.ext2", "mkfs.ext3",
        "mkfs.ext4", "mke2fs", "mkswap", "fdisk", "sfdisk", "parted", "dd", "blockdev",
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
    // and check the guarded ones against the board's stand-ins.
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
            text += c;
            ++i;
            continue;
        }
        size_t end = i;
        while (end < len && !IsSpace(cmd[end]) && !IsSeparator(cmd[end])) {
            ++end;
        }
        std::string word(cmd + i, end - i);
        if (word.find('=') != std::string::npos && word[0] != '/') {
            // a variable assignment before the program
            text += word;
            i = end;
            continue;
        }
        std::string base = word.substr(word.rfind('/') == std::string::npos ? 0 : word.rfind('/') + 1);
        std::string program = word;
        if (!word.empty() && word[0] == '/') {
            program = root + word;
        }
        if (GuardedPrograms().count(base) != 0) {
            std::string standin = (word[0] == '/') ? program : bin + "/" + base;
            if (!FileExists(standin)) {
                fprintf(stderr, "shell command refused, the board has no stand-in for %s: %s\n", base.c_str(), cmd);
                return 0;
            }
            program = standin;
        }
        text += program;
        i = end;
        atSegmentStart = false;
    }
    out = "PATH=" + ShellQuote(bin) + ":\"$PATH\"; export PATH; " + text;
    return 1;
}
