#include "Function/common.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace {

// st_blocks counts 512-byte units, whatever the file system's block size.
const uint64_t kStatBlockBytes = 512;

void FillFindData(const char* name, size_t namelen, const struct stat& st, XFileFindData* info)
{
    info->is_dir = S_ISDIR(st.st_mode) ? TRUE : FALSE;
    info->size = static_cast<uint64_t>(st.st_size);
    info->space = static_cast<uint64_t>(st.st_blocks) * kStatBlockBytes;
    info->create_time = st.st_ctime;
    info->access_time = st.st_atime;
    info->modify_time = st.st_mtime;
    memcpy(info->filename, name, namelen + 1);
    GetFileExtName(info->filename, info->extname);
}

}  // namespace

BOOL XFindFirstFile(const char* dir, DIR_CTX* ctx, XFileFindData* fileinfo)
{
    if (ctx == nullptr) {
        return 0;
    }
    memset(ctx, 0, sizeof(*ctx));
    if (dir == nullptr || dir[0] == '\0' || fileinfo == nullptr) {
        return 0;
    }
    size_t n = strlen(dir);
    bool addSlash = dir[n - 1] != '/';
    if (n + (addSlash ? 1 : 0) >= sizeof(ctx->path)) {
        return 0;
    }
    DIR* d = opendir(dir);
    if (d == nullptr) {
        return 0;
    }
    memcpy(ctx->path, dir, n);
    if (addSlash) {
        ctx->path[n++] = '/';
    }
    ctx->path[n] = '\0';
    ctx->dir_ctx = d;
    if (XFindNextFile(ctx, fileinfo)) {
        return 1;
    }
    // Nothing to list: release the stream now. The path stays, so that
    // XCloseFindFile can still remove the directory.
    closedir(d);
    ctx->dir_ctx = nullptr;
    return 0;
}

BOOL XFindNextFile(DIR_CTX* ctx, XFileFindData* fileinfo)
{
    if (ctx == nullptr || ctx->dir_ctx == nullptr || fileinfo == nullptr) {
        return 0;
    }
    const int fd = dirfd(ctx->dir_ctx);
    if (fd < 0) {
        return 0;
    }
    for (;;) {
        struct dirent* entry = readdir(ctx->dir_ctx);
        if (entry == nullptr) {
            return 0;
        }
        const size_t namelen = strlen(entry->d_name);
        if (namelen >= sizeof(fileinfo->filename)) {
            continue;  // does not fit the record
        }
        struct stat st;
        if (fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;  // vanished or unreadable: go on with the next entry
        }
        FillFindData(entry->d_name, namelen, st, fileinfo);
        return 1;
    }
}

BOOL XFindFileReadOnly(const DIR_CTX* ctx, const XFileFindData* fileinfo)
{
    if (ctx == nullptr || ctx->dir_ctx == nullptr || fileinfo == nullptr) {
        return TRUE;
    }
    const int fd = dirfd(ctx->dir_ctx);
    return fd >= 0 && faccessat(fd, fileinfo->filename, R_OK | W_OK, 0) == 0 ? FALSE : TRUE;
}

BOOL XCloseFindFile(DIR_CTX* ctx, BOOL rmEmptyDir)
{
    if (ctx == nullptr) {
        return 1;
    }
    if (ctx->dir_ctx != nullptr) {
        closedir(ctx->dir_ctx);
    }
    if (rmEmptyDir && ctx->path[0] != '\0') {
        rmdir(ctx->path);
    }
    memset(ctx, 0, sizeof(*ctx));
    return 1;
}
