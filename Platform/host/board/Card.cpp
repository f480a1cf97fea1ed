#include "Platform/Card.h"

#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "Platform/BoardRoot.h"

namespace {

// Guards the plain folder card's mount table file.
std::mutex g_TableLock;

bool RealPath(const std::string& path, std::string& out)
{
    char buf[PATH_MAX];
    if (realpath(path.c_str(), buf) == nullptr) {
        return false;
    }
    out = buf;
    return true;
}

// The real path of the board folder, or empty without a board.
std::string BoardReal()
{
    const std::string root = PlatformBoardRoot();
    std::string real;
    if (root.empty() || !RealPath(root, real) || real == "/") {
        return std::string();
    }
    return real;
}

bool IsUnder(const std::string& path, const std::string& dir)
{
    return !dir.empty() && path.size() > dir.size() + 1 && path.compare(0, dir.size(), dir) == 0 &&
           path[dir.size()] == '/';
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string s = ss.str();
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) {
        s.pop_back();
    }
    return s;
}

// The process runs in the mount namespace the card rig made for this board.
bool InBoardNamespace()
{
    const std::string expected = ReadText(XBoardPath("/card/mntns"));
    if (expected.empty()) {
        return false;
    }
    char buf[128];
    ssize_t n = readlink("/proc/self/ns/mnt", buf, sizeof(buf) - 1);
    if (n <= 0) {
        return false;
    }
    buf[n] = '\0';
    return expected == buf;
}

// `real` is a loop device whose backing file lies under the board folder.
bool IsBoardLoopDevice(const std::string& real, const std::string& board)
{
    const std::string prefix = "/dev/loop";
    if (real.compare(0, prefix.size(), prefix) != 0 || real.size() == prefix.size()) {
        return false;
    }
    for (size_t i = prefix.size(); i < real.size(); ++i) {
        if (real[i] < '0' || real[i] > '9') {
            return false;
        }
    }
    struct stat st;
    if (stat(real.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) {
        return false;
    }
    std::string backing = ReadText("/sys/block/" + real.substr(5) + "/loop/backing_file");
    std::string backingReal;
    return !backing.empty() && RealPath(backing, backingReal) && IsUnder(backingReal, board);
}

// Mount table files escape blanks, newlines and backslashes as octal.
std::string Escape(const std::string& s)
{
    std::string out;
    for (char c : s) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\\') {
            char buf[8];
            snprintf(buf, sizeof(buf), "\\%03o", static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

// The board's mount table is a file of its own (the plain folder card), not
// the kernel's table.
bool TableIsFile(const std::string& table)
{
    struct stat st;
    return lstat(table.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ReadLines(const std::string& path, std::vector<std::string>& lines)
{
    std::ifstream in(path);
    if (!in) {
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return true;
}

int WriteLines(const std::string& path, const std::vector<std::string>& lines)
{
    const std::string tmp = path + ".new";
    {
        std::ofstream out(tmp, std::ios::trunc);
        for (const std::string& l : lines) {
            out << l << '\n';
        }
        out.flush();
        if (!out) {
            return EIO;
        }
    }
    return rename(tmp.c_str(), path.c_str()) == 0 ? 0 : errno;
}

// The second field (the folder, still escaped): fields are apart by blanks
// and tabs only, every other byte belongs to a name.
std::string SecondWord(const std::string& line)
{
    const char* const blanks = " \t";
    size_t a = line.find_first_not_of(blanks);
    a = a == std::string::npos ? a : line.find_first_of(blanks, a);
    a = a == std::string::npos ? a : line.find_first_not_of(blanks, a);
    if (a == std::string::npos) {
        return std::string();
    }
    const size_t end = line.find_first_of(blanks, a);
    return line.substr(a, end == std::string::npos ? std::string::npos : end - a);
}

int FolderMount(const std::string& table, const std::string& source, const std::string& targetReal,
                const char* fstype, int bReadOnly)
{
    std::lock_guard<std::mutex> lock(g_TableLock);
    std::vector<std::string> lines;
    if (!ReadLines(table, lines)) {
        return ENODEV;
    }
    const std::string target = Escape(targetReal);
    for (const std::string& l : lines) {
        if (SecondWord(l) == target) {
            return EBUSY;
        }
    }
    lines.push_back(Escape(source) + " " + target + " " + fstype + (bReadOnly ? " ro" : " rw") + ",relatime 0 0");
    return WriteLines(table, lines);
}

int FolderUmount(const std::string& table, const std::string& targetReal)
{
    std::lock_guard<std::mutex> lock(g_TableLock);
    std::vector<std::string> lines;
    if (!ReadLines(table, lines)) {
        return EINVAL;
    }
    const std::string target = Escape(targetReal);
    for (size_t i = lines.size(); i-- > 0;) {
        if (SecondWord(lines[i]) == target) {
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
            return WriteLines(table, lines);
        }
    }
    return EINVAL;
}

}  // namespace

const char* PlatformCardFsType()
{
    return "ext2";
}

int PlatformCardMount(const char* source, const char* target, const char* fstype, int bReadOnly)
{
    if (source == nullptr || target == nullptr || fstype == nullptr) {
        return EINVAL;
    }
    const std::string board = BoardReal();
    std::string targetReal;
    std::string sourceReal;
    if (board.empty()) {
        return EPERM;
    }
    if (!RealPath(target, targetReal)) {
        return ENOENT;
    }
    if (!RealPath(source, sourceReal)) {
        return ENOENT;
    }
    struct stat st;
    if (!IsUnder(targetReal, board) || stat(targetReal.c_str(), &st) != 0) {
        fprintf(stderr, "card mount refused, %s is not a folder of the board\n", target);
        return EPERM;
    }
    if (!S_ISDIR(st.st_mode)) {
        return ENOTDIR;
    }
    if (stat(sourceReal.c_str(), &st) != 0) {
        return ENOENT;
    }
    if (S_ISREG(st.st_mode)) {
        const std::string table = XBoardPath("/proc/mounts");
        if (!IsUnder(sourceReal, board) || !TableIsFile(table)) {
            return ENOTBLK;
        }
        return FolderMount(table, source, targetReal, fstype, bReadOnly);
    }
    if (!S_ISBLK(st.st_mode)) {
        return ENOTBLK;
    }
    if (!IsBoardLoopDevice(sourceReal, board)) {
        fprintf(stderr, "card mount refused, %s is not a loop device of the board's card\n", source);
        return EPERM;
    }
    if (!InBoardNamespace()) {
        fprintf(stderr, "card mount refused, not in the board's own mount namespace\n");
        return EPERM;
    }
    unsigned long flags = bReadOnly ? MS_RDONLY : 0;
    return mount(source, targetReal.c_str(), fstype, flags, nullptr) == 0 ? 0 : errno;
}

int PlatformCardUmount(const char* target, int bDetach)
{
    if (target == nullptr) {
        return EINVAL;
    }
    const std::string board = BoardReal();
    std::string targetReal;
    if (board.empty()) {
        return EPERM;
    }
    if (!RealPath(target, targetReal)) {
        return ENOENT;
    }
    if (!IsUnder(targetReal, board)) {
        fprintf(stderr, "card unmount refused, %s is not a folder of the board\n", target);
        return EPERM;
    }
    const std::string table = XBoardPath("/proc/mounts");
    if (TableIsFile(table)) {
        return FolderUmount(table, targetReal);
    }
    if (!InBoardNamespace()) {
        fprintf(stderr, "card unmount refused, not in the board's own mount namespace\n");
        return EPERM;
    }
    return umount2(targetReal.c_str(), bDetach ? MNT_DETACH : 0) == 0 ? 0 : errno;
}

const char* PlatformCardCheckCommand()
{
    return "e2fsck -p";
}

int PlatformCardCheckRepairedMax()
{
    // e2fsck: 1 errors corrected, 2 corrected and a reboot asked for (of a
    // mounted root only), 3 both; 4 and up errors left or the check failed.
    return 3;
}
