#include "support/CardRig.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/fs.h>
#include <linux/loop.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "support/TestBoard.h"

namespace {

const long long kPartOffset = 1LL << 20;

std::string RealPathOf(const std::string& p)
{
    char buf[PATH_MAX];
    return realpath(p.c_str(), buf) != nullptr ? std::string(buf) : p;
}

std::string ReadFirstLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string CurrentNamespace()
{
    char ns[128];
    ssize_t n = readlink("/proc/self/ns/mnt", ns, sizeof(ns) - 1);
    if (n <= 0) {
        return std::string();
    }
    ns[n] = '\0';
    return ns;
}

int ThreadCount()
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 8, "Threads:") == 0) {
            return atoi(line.c_str() + 8);
        }
    }
    return 0;
}

bool HaveTool(const char* name)
{
    for (const char* dir : {"/usr/local/sbin/", "/usr/sbin/", "/sbin/", "/usr/bin/", "/bin/"}) {
        if (access((std::string(dir) + name).c_str(), X_OK) == 0) {
            return true;
        }
    }
    return false;
}

// The guard: detached from this process (and its process tree), it waits
// for the end of the pipe, that is for this process to end, and then makes
// the loop devices named on the pipe writable again (a read-only flag set by
// blockdev --setro outlives the loop device's binding).
void GuardMain(int fd)
{
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
    }
    for (int i = 3; i < 1024; ++i) {
        if (i != fd) {
            close(i);
        }
    }
    static char buf[256];
    size_t len = 0;
    for (;;) {
        ssize_t n = read(fd, buf + len, sizeof(buf) - 1 - len);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        len += static_cast<size_t>(n);
        if (len >= sizeof(buf) - 1) {
            break;
        }
    }
    buf[len] = '\0';
    int number = -1;
    for (size_t i = 0; i <= len; ++i) {
        char c = buf[i];
        if (c >= '0' && c <= '9') {
            number = (number < 0 ? 0 : number * 10) + (c - '0');
            continue;
        }
        if (number >= 0) {
            char dev[32] = "/dev/loop";
            char digits[16];
            int k = 0;
            int v = number;
            do {
                digits[k++] = static_cast<char>('0' + v % 10);
                v /= 10;
            } while (v > 0 && k < 15);
            size_t at = strlen(dev);
            while (k > 0) {
                dev[at++] = digits[--k];
            }
            dev[at] = '\0';
            int d = open(dev, O_RDONLY | O_CLOEXEC);
            if (d >= 0) {
                int zero = 0;
                ioctl(d, BLKROSET, &zero);
                close(d);
            }
        }
        number = -1;
    }
    _exit(0);
}

}  // namespace

std::string CCardRig::Unavailable()
{
    if (geteuid() != 0) {
        return "the card rig needs root (loop devices and a private mount namespace)";
    }
    if (access("/dev/loop-control", R_OK | W_OK) != 0) {
        return "no loop devices here (/dev/loop-control is missing)";
    }
    if (!HaveTool("mkfs.ext2") || !HaveTool("blockdev")) {
        return "mkfs.ext2 or blockdev is missing (e2fsprogs, util-linux)";
    }
    int threads = ThreadCount();
    if (threads != 1) {
        return "the process runs " + std::to_string(threads) +
               " threads (qemu-user?); a private mount namespace needs a single-threaded process";
    }
    return std::string();
}

CCardRig::CCardRig(const CTestBoard& board, unsigned card_mb)
    : m_Board(board), m_fdDisk(-1), m_fdPart(-1), m_fdGuard(-1)
{
    m_strError = Unavailable();
    if (!m_strError.empty()) {
        return;
    }
    if (card_mb != 0) {
        int st = 0;
        XTestRun(std::string(DASHCAM_PYTHON " ") + DASHCAM_SOURCE_DIR + "/sim/board init --force --card-mb " +
                     std::to_string(card_mb) + " " + board.Dir() + " >/dev/null",
                 &st);
        if (st != 0) {
            m_strError = "sim/board init --card-mb failed";
            return;
        }
    }
    m_strImage = RealPathOf(board.Path("/card/card.img"));
    struct stat st;
    if (stat(m_strImage.c_str(), &st) != 0 || st.st_size <= kPartOffset) {
        m_strError = "the board has no card image " + m_strImage;
        return;
    }
    StartGuard();
    // One private namespace per process, shared by all its rigs (a forked
    // child makes its own).
    static std::string s_strNamespace;
    static pid_t s_Owner = 0;
    if (s_Owner != getpid() || s_strNamespace != CurrentNamespace()) {
        if (unshare(CLONE_NEWNS) != 0) {
            m_strError = std::string("unshare(CLONE_NEWNS): ") + strerror(errno);
            return;
        }
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            m_strError = std::string("making / private: ") + strerror(errno);
            return;
        }
        s_strNamespace = CurrentNamespace();
        s_Owner = getpid();
    }
    if (s_strNamespace.empty()) {
        m_strError = "cannot read the mount namespace";
        return;
    }
    std::ofstream(board.Path("/card/mntns")) << s_strNamespace << "\n";

    if (!Attach(0, 0, m_strDisk, m_fdDisk) ||
        !Attach(kPartOffset, static_cast<long long>(st.st_size) - kPartOffset, m_strPart, m_fdPart)) {
        return;
    }
    Link("/dev/mmcblk0", m_strDisk);
    Link("/dev/mmcblk0p1", m_strPart);
    Link("/sys/block/mmcblk0", "/sys/block/" + m_strDisk.substr(5));
    Link("/proc/mounts", "/proc/self/mounts");
    mkdir(board.Path("/tmp/mmc0").c_str(), 0755);
}

void CCardRig::StartGuard()
{
    int p[2];
    if (pipe2(p, O_CLOEXEC) != 0) {
        return;
    }
    pid_t child = fork();
    if (child == 0) {
        setsid();
        if (fork() == 0) {
            GuardMain(p[0]);
        }
        _exit(0);
    }
    close(p[0]);
    if (child > 0) {
        int status = 0;
        waitpid(child, &status, 0);
        m_fdGuard = p[1];
    } else {
        close(p[1]);
    }
}

bool CCardRig::Attach(long long offset, long long size, std::string& dev, int& fd)
{
    int ctl = open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    if (ctl < 0) {
        m_strError = std::string("/dev/loop-control: ") + strerror(errno);
        return false;
    }
    for (int attempt = 0; attempt < 50; ++attempt) {
        int number = ioctl(ctl, LOOP_CTL_GET_FREE);
        if (number < 0) {
            m_strError = std::string("LOOP_CTL_GET_FREE: ") + strerror(errno);
            break;
        }
        dev = "/dev/loop" + std::to_string(number);
        fd = open(dev.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            usleep(10000);  // the node may not be there yet
            continue;
        }
        int img = open(m_strImage.c_str(), O_RDWR | O_CLOEXEC);
        if (img < 0) {
            m_strError = "cannot open " + m_strImage;
            close(fd);
            fd = -1;
            break;
        }
        struct loop_info64 info;
        memset(&info, 0, sizeof(info));
        info.lo_offset = static_cast<uint64_t>(offset);
        info.lo_sizelimit = static_cast<uint64_t>(size);
        info.lo_flags = LO_FLAGS_AUTOCLEAR;
        snprintf(reinterpret_cast<char*>(info.lo_file_name), sizeof(info.lo_file_name), "%s", m_strImage.c_str());
        int r = -1;
#ifdef LOOP_CONFIGURE
        struct loop_config cfg;
        memset(&cfg, 0, sizeof(cfg));
        cfg.fd = static_cast<uint32_t>(img);
        cfg.info = info;
        r = ioctl(fd, LOOP_CONFIGURE, &cfg);
        if (r != 0 && errno != EBUSY)
#endif
        {
            r = ioctl(fd, LOOP_SET_FD, img);
            if (r == 0 && ioctl(fd, LOOP_SET_STATUS64, &info) != 0) {
                ioctl(fd, LOOP_CLR_FD, 0);
                r = -1;
            }
        }
        int err = errno;
        close(img);
        if (r == 0) {
            close(ctl);
            if (m_fdGuard >= 0) {
                std::string line = std::to_string(number) + "\n";
                if (write(m_fdGuard, line.data(), line.size()) < 0) {
                    m_strError = "cannot reach the guard process";
                }
            }
            return m_strError.empty();
        }
        close(fd);
        fd = -1;
        if (err != EBUSY) {
            m_strError = "binding " + dev + ": " + strerror(err);
            break;
        }
    }
    close(ctl);
    if (m_strError.empty()) {
        m_strError = "no free loop device";
    }
    return false;
}

void CCardRig::Link(const std::string& boardPath, const std::string& target) const
{
    const std::string p = m_Board.Path(boardPath);
    struct stat st;
    if (lstat(p.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            XTestRun("rm -rf '" + p + "'");
        } else {
            unlink(p.c_str());
        }
    }
    if (symlink(target.c_str(), p.c_str()) != 0) {
        fprintf(stderr, "card rig: cannot link %s: %s\n", p.c_str(), strerror(errno));
    }
}

std::string CCardRig::MountDir() const
{
    return RealPathOf(m_Board.Path("/tmp/mmc0"));
}

void CCardRig::RemovePartitionNode() const
{
    unlink(m_Board.Path("/dev/mmcblk0p1").c_str());
}

void CCardRig::RestorePartitionNode() const
{
    Link("/dev/mmcblk0p1", m_strPart);
}

void CCardRig::SetBlockReadOnly(bool ro) const
{
    XTestRun(std::string("blockdev ") + (ro ? "--setro " : "--setrw ") + m_strPart + " " + m_strDisk);
}

std::string CCardRig::Uuid() const
{
    // The ext2 superblock lies 1024 bytes into the partition; its UUID at 104.
    const std::string script =
        "import sys, uuid\n"
        "f = open(sys.argv[1], 'rb'); f.seek(" +
        std::to_string(kPartOffset) +
        " + 1024); sb = f.read(1024)\n"
        "assert sb[56:58] == b'\\x53\\xef', 'no ext2 superblock'\n"
        "print(uuid.UUID(bytes=sb[104:120]))\n";
    std::ofstream(m_Board.Path("/card/superblock.py")) << script;
    std::string out = XTestRun(std::string(DASHCAM_PYTHON " ") + m_Board.Path("/card/superblock.py") + " " + m_strImage);
    while (!out.empty() && out.back() == '\n') {
        out.pop_back();
    }
    return out;
}

namespace {

const long long kExt2StateAt = 1024 + 58;

// Copies `size` bytes (all: -1) from `src` at `from` to `dst` at 0, then syncs `dst`.
bool CopyBytes(const std::string& src, long long from, const std::string& dst, long long size, bool create)
{
    int in = open(src.c_str(), O_RDONLY | O_CLOEXEC);
    int out = open(dst.c_str(), O_WRONLY | O_CLOEXEC | (create ? O_CREAT | O_TRUNC : 0), 0644);
    bool ok = in >= 0 && out >= 0;
    std::vector<char> buf(1 << 20);
    long long at = 0;
    while (ok && (size < 0 || at < size)) {
        const long long left = size < 0 ? static_cast<long long>(buf.size()) : size - at;
        const size_t want = static_cast<size_t>(std::min<long long>(left, static_cast<long long>(buf.size())));
        const ssize_t n = pread(in, buf.data(), want, from + at);
        if (n <= 0) {
            ok = n == 0 && size < 0;
            break;
        }
        ok = pwrite(out, buf.data(), static_cast<size_t>(n), at) == n;
        at += n;
    }
    ok = ok && fsync(out) == 0;
    if (in >= 0) {
        close(in);
    }
    if (out >= 0) {
        close(out);
    }
    return ok;
}

}  // namespace

int CCardRig::FsState() const
{
    unsigned char b[2];
    int fd = open(m_strPart.c_str(), O_RDONLY | O_CLOEXEC);
    const bool ok = fd >= 0 && pread(fd, b, 2, kExt2StateAt) == 2;
    if (fd >= 0) {
        close(fd);
    }
    return ok ? b[0] | (b[1] << 8) : -1;
}

bool CCardRig::SetFsState(uint16_t state) const
{
    const unsigned char b[2] = {static_cast<unsigned char>(state), static_cast<unsigned char>(state >> 8)};
    int fd = open(m_strPart.c_str(), O_WRONLY | O_CLOEXEC);
    const bool ok = fd >= 0 && pwrite(fd, b, 2, kExt2StateAt) == 2 && fsync(fd) == 0;
    if (fd >= 0) {
        close(fd);
    }
    return ok;
}

bool CCardRig::SavePartition(const std::string& file) const
{
    return CopyBytes(m_strImage, kPartOffset, file, -1, true);
}

bool CCardRig::LoadPartition(const std::string& file) const
{
    struct stat st;
    return stat(file.c_str(), &st) == 0 && CopyBytes(file, 0, m_strPart, st.st_size, false);
}

int CCardRig::LiveLoopDevices(const std::string& image)
{
    int count = 0;
    DIR* d = opendir("/sys/block");
    if (d == nullptr) {
        return 0;
    }
    const std::string real = RealPathOf(image);
    while (struct dirent* e = readdir(d)) {
        if (strncmp(e->d_name, "loop", 4) != 0) {
            continue;
        }
        std::string backing = ReadFirstLine(std::string("/sys/block/") + e->d_name + "/loop/backing_file");
        if (!backing.empty() && (backing == real || backing == image)) {
            ++count;
        }
    }
    closedir(d);
    return count;
}

CCardRig::~CCardRig()
{
    // Everything of the board still mounted here, deepest first.
    const std::string root = RealPathOf(m_Board.Dir());
    std::vector<std::string> targets;
    {
        std::ifstream mounts("/proc/self/mounts");
        std::string line;
        while (std::getline(mounts, line)) {
            std::istringstream w(line);
            std::string src, dir;
            w >> src >> dir;
            if (dir.compare(0, root.size() + 1, root + "/") == 0) {
                targets.push_back(dir);
            }
        }
    }
    std::sort(targets.begin(), targets.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& t : targets) {
        umount2(t.c_str(), MNT_DETACH);
    }
    for (int fd : {m_fdPart, m_fdDisk}) {
        if (fd >= 0) {
            int zero = 0;
            ioctl(fd, BLKROSET, &zero);
            close(fd);
        }
    }
    if (!m_strImage.empty()) {
        for (int i = 0; i < 500 && LiveLoopDevices(m_strImage) > 0; ++i) {
            usleep(10000);
        }
    }
    if (m_fdGuard >= 0) {
        close(m_fdGuard);
    }
    // Back to the plain folder card.
    for (const char* p : {"/dev/mmcblk0", "/dev/mmcblk0p1", "/proc/mounts"}) {
        struct stat st;
        if (lstat(m_Board.Path(p).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            unlink(m_Board.Path(p).c_str());
            std::ofstream(m_Board.Path(p)).close();
        }
    }
    struct stat st;
    if (lstat(m_Board.Path("/sys/block/mmcblk0").c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        unlink(m_Board.Path("/sys/block/mmcblk0").c_str());
        mkdir(m_Board.Path("/sys/block/mmcblk0").c_str(), 0755);
        std::ofstream(m_Board.Path("/sys/block/mmcblk0/ro")) << "0\n";
    }
    unlink(m_Board.Path("/card/mntns").c_str());
}
