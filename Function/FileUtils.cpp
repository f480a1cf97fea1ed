#include "Function/common.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

bool IsDirectory(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Copies `src` into `buf` (XPATH_BUF_SIZE bytes), adding a final "/" when
// asked and missing. False when the result would not fit.
bool CopyPath(const char* src, char* buf, bool appendSlash)
{
    size_t n = strlen(src);
    bool addSlash = appendSlash && (n == 0 || src[n - 1] != '/');
    if (n + (addSlash ? 1 : 0) >= XPATH_BUF_SIZE) {
        return false;
    }
    memcpy(buf, src, n);
    if (addSlash) {
        buf[n++] = '/';
    }
    buf[n] = '\0';
    return true;
}

// The folder holding `path` (which may end with "/"), with its "/"; "."
// for a name without one.
std::string ParentOf(const char* path)
{
    std::string p(path);
    while (p.size() > 1 && p.back() == '/') {
        p.pop_back();
    }
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? std::string(".") : p.substr(0, slash + 1);
}

}  // namespace

BOOL XFilePathExists(const char* path)
{
    if (path == nullptr) {
        return FALSE;
    }
    struct stat st;
    return stat(path, &st) == 0 ? TRUE : FALSE;
}

BOOL XSyncDirectory(const char* dir)
{
    if (dir == nullptr) {
        return 0;
    }
    const int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    // Some file systems cannot sync a folder; their renames are not cached.
    const BOOL ok = (fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP) ? 1 : 0;
    close(fd);
    return ok;
}

BOOL XCreateFullPathDir(const char* dir, mode_t mode)
{
    if (dir == nullptr) {
        return 0;
    }
    if (XFilePathExists(dir)) {
        return 1;
    }
    char buf[XPATH_BUF_SIZE];
    if (!CopyPath(dir, buf, true)) {
        return 0;
    }
    for (size_t i = 0; buf[i] != '\0'; ++i) {
        if (buf[i] != '/') {
            continue;
        }
        char saved = buf[i + 1];
        buf[i + 1] = '\0';
        if (!XFilePathExists(buf)) {
            if (mkdir(buf, mode) == 0) {
                // The new folder with its own entries first, then the
                // entry that names it: a power cut leaves no name of a
                // folder whose contents never reached the medium.
                XSyncDirectory(buf);
                const std::string parent = ParentOf(buf);
                if (!parent.empty()) {
                    XSyncDirectory(parent.c_str());
                }
            } else if (!(errno == EEXIST && IsDirectory(buf))) {
                // Another thread may have created it meanwhile.
                return 0;
            }
        }
        buf[i + 1] = saved;
    }
    return 1;
}

BOOL XGetDiskPartitionSpace(const char* path, uint64_t* totalspace, uint64_t* freespace)
{
    uint64_t total = 0;
    uint64_t avail = 0;
    BOOL ok = FALSE;
    struct statvfs sv;
    if (path != nullptr && statvfs(path, &sv) == 0) {
        total = static_cast<uint64_t>(sv.f_blocks) * sv.f_frsize;
        avail = static_cast<uint64_t>(sv.f_bfree) * sv.f_frsize;
        ok = TRUE;
    }
    if (totalspace != nullptr) {
        *totalspace = total;
    }
    if (freespace != nullptr) {
        *freespace = avail;
    }
    return ok;
}

BOOL XRemoveDirectory(const char* dir)
{
    if (dir == nullptr) {
        return FALSE;
    }
    return rmdir(dir) == 0 ? TRUE : FALSE;
}

BOOL XRemoveDirectory(const char* dir, int dummy)
{
    if (dir == nullptr) {
        return FALSE;
    }
    DIR_CTX ctx;
    XFileFindData info;
    if (XFindFirstFile(dir, &ctx, &info)) {
        do {
            std::string child = std::string(ctx.path) + info.filename;
            if (info.is_dir) {
                if (strcmp(info.filename, ".") != 0 && strcmp(info.filename, "..") != 0) {
                    XRemoveDirectory(child.c_str(), dummy);
                }
            } else {
                XDeleteFile(child.c_str());
            }
        } while (XFindNextFile(&ctx, &info));
    }
    XCloseFindFile(&ctx, FALSE);
    return XRemoveDirectory(dir);
}

BOOL XRemoveFullPathEmptyDir(const char* dir)
{
    if (dir == nullptr) {
        return 0;
    }
    char buf[XPATH_BUF_SIZE];
    if (!CopyPath(dir, buf, false)) {
        return 0;
    }
    // Deepest level first: cut after every "/" from the end towards the start.
    for (size_t i = strlen(buf); i-- > 0;) {
        if (buf[i] != '/') {
            continue;
        }
        buf[i + 1] = '\0';
        if (XFilePathExists(buf) && rmdir(buf) != 0) {
            return 0;
        }
    }
    return 1;
}

BOOL XDeleteFile(const char* file)
{
    if (file == nullptr) {
        return FALSE;
    }
    printf("DELETE FILE %s\n", file);
    return unlink(file) == 0 ? TRUE : FALSE;
}

BOOL XRenameFile(const char* old_full_path, const char* new_full_path)
{
    if (old_full_path == nullptr || new_full_path == nullptr) {
        return 0;
    }
    if (rename(old_full_path, new_full_path) == 0) {
        return 1;
    }

    // Copy fallback (for example across file systems).
    int in = open(old_full_path, O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return 0;
    }
    // Not truncated yet: first make sure the destination is a regular file
    // that is not the source itself under another name. O_NONBLOCK keeps a
    // FIFO without reader from blocking the open.
    int out = open(new_full_path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (out < 0) {
        close(in);
        return 0;
    }
    struct stat sin;
    struct stat sout;
    if (fstat(in, &sin) != 0 || fstat(out, &sout) != 0 || !S_ISREG(sout.st_mode) ||
        (sin.st_dev == sout.st_dev && sin.st_ino == sout.st_ino)) {
        close(out);
        close(in);
        return 0;
    }

    bool ok = ftruncate(out, 0) == 0;
    char buf[4096];
    while (ok) {
        ssize_t got = SafeRead(in, buf, sizeof(buf));
        if (got < 0) {
            ok = false;
        } else if (got == 0) {
            break;
        } else if (FullWrite(out, buf, static_cast<size_t>(got)) != got) {
            ok = false;
        }
    }
    if (ok && fsync(out) != 0) {
        ok = false;
    }
    if (close(out) != 0) {
        ok = false;
    }
    close(in);
    if (!ok) {
        unlink(new_full_path);
        return 0;
    }
    return XDeleteFile(old_full_path);
}

BOOL XGetFileSize(const char* filepath, size_t* size)
{
    if (filepath == nullptr || size == nullptr) {
        return 0;
    }
    struct stat st;
    if (lstat(filepath, &st) != 0) {
        return 0;
    }
    *size = static_cast<uint32_t>(st.st_size);
    return 1;
}

void GetFileExtName(const char* filename, char* extname)
{
    if (extname == nullptr) {
        return;
    }
    if (filename == nullptr) {
        extname[0] = '\0';
        return;
    }
    const char* base = strrchr(filename, '/');
    base = (base != nullptr) ? base + 1 : filename;
    const char* dot = strrchr(base, '.');
    if (dot == nullptr || dot == base) {
        extname[0] = '\0';
        return;
    }
    memmove(extname, dot + 1, strlen(dot + 1) + 1);
}

void SyncFS()
{
    sync();
}

ssize_t XReadTextLine(FILE* fp, char* line, size_t size)
{
    size_t n = 0;
    int c = getc(fp);
    if (c == EOF) {
        if (size > 0) {
            line[0] = '\0';
        }
        return -1;
    }
    for (; c != EOF && c != '\n'; c = getc(fp)) {
        if (n + 1 < size) {
            line[n++] = static_cast<char>(c);
        }
    }
    if (size > 0) {
        line[n] = '\0';
    }
    return static_cast<ssize_t>(n);
}

ssize_t SafeRead(int fd, void* buf, size_t count)
{
    ssize_t r;
    do {
        r = read(fd, buf, count);
    } while (r < 0 && errno == EINTR);
    return r;
}

ssize_t SafeWrite(int fd, const void* buf, size_t count)
{
    ssize_t r;
    do {
        r = write(fd, buf, count);
    } while (r < 0 && errno == EINTR);
    return r;
}

ssize_t FullWrite(int fd, const void* buf, size_t len)
{
    const char* p = static_cast<const char*>(buf);
    size_t done = 0;
    while (done < len) {
        ssize_t w = SafeWrite(fd, p + done, len - done);
        if (w <= 0) {
            // A write of 0 bytes makes no progress: stop like on an error.
            return done > 0 ? static_cast<ssize_t>(done) : w;
        }
        done += static_cast<size_t>(w);
    }
    return static_cast<ssize_t>(done);
}

BOOL XReadAt(int fd, uint64_t offset, void* buf, size_t len)
{
    uint8_t* p = static_cast<uint8_t*>(buf);
    size_t done = 0;
    while (done < len) {
        const ssize_t r = pread(fd, p + done, len - done, static_cast<off_t>(offset + done));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r <= 0) {
            return 0;
        }
        done += static_cast<size_t>(r);
    }
    return 1;
}

int XSyncFileData(int fd)
{
    int r;
    do {
        r = fdatasync(fd);
    } while (r != 0 && errno == EINTR);
    return r;
}

CFdCloser::~CFdCloser()
{
    if (m_fd >= 0) {
        close(m_fd);
    }
}
