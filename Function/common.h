#ifndef FUNCTION_COMMON_H
#define FUNCTION_COMMON_H

// Shared helpers of the whole system: clocks, files and directories, directory
// listing, shell commands, CRC-32, hexadecimal text, UUID and packed times.
// Nothing here keeps state or takes locks.

#include <sys/types.h>
#include <dirent.h>
#include <time.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Function/Crc32.h"
#include "Function/RecTime.h"
#include "Function/SystemTime.h"
#include "Function/XLog.h"
#include "Function/types.h"

// Size of the fixed path and name buffers: texts of up to 255 characters.
#define XPATH_BUF_SIZE 256

// One directory entry.
struct tagXFileFindData {
    BOOL is_dir;          // the entry is a directory
    uint64_t size;        // bytes
    uint64_t space;       // bytes allocated on the disk (512-byte units counted)
    time_t create_time;   // status change
    time_t access_time;
    time_t modify_time;
    char extname[XPATH_BUF_SIZE];   // extension without the dot, or empty
    char filename[XPATH_BUF_SIZE];  // entry name without its directory
};
typedef tagXFileFindData XFileFindData;

// An open listing.
struct tagDIR_CTX {
    DIR* dir_ctx;               // null when closed
    char path[XPATH_BUF_SIZE];  // the listed directory, ending with "/"
};
typedef tagDIR_CTX DIR_CTX;

// ---- files and directories: 1 (TRUE) on success, 0 on failure ----

// The path exists (no access check).
BOOL XFilePathExists(const char* path);
// Creates every missing level of `dir` with `mode`; 1 at once when it exists.
// Each folder made is flushed to its medium, then the folder naming it.
// Paths over 255 characters (with the "/" appended) are refused.
BOOL XCreateFullPathDir(const char* dir, mode_t mode);
// Flushes a folder's entries to its medium (fsync); also 1 where the file
// system cannot sync a folder.
BOOL XSyncDirectory(const char* dir);
// Total and free bytes (all free blocks) of the file system holding `path`;
// both 0 on failure.
BOOL XGetDiskPartitionSpace(const char* path, uint64_t* totalspace, uint64_t* freespace);
// Removes one empty directory.
BOOL XRemoveDirectory(const char* dir);
// Removes a whole tree, logging every file deletion; `dummy` is ignored.
// The result is that of removing `dir` itself.
BOOL XRemoveDirectory(const char* dir, int dummy);
// Walks `dir` from its end: at each "/" removes the directory up to there when
// it exists; the first removal that fails gives 0.
BOOL XRemoveFullPathEmptyDir(const char* dir);
// Prints "DELETE FILE <path>" and unlinks it.
BOOL XDeleteFile(const char* file);
// Renames; across file systems copies, flushes and then deletes the source.
// A failed copy removes the partial destination and keeps the source.
BOOL XRenameFile(const char* old_full_path, const char* new_full_path);
// Low 32 bits of the size (symbolic links not followed).
BOOL XGetFileSize(const char* filepath, size_t* size);
// The text after the last "." of the last path component, or "" when the
// component has no "." after its first character. `extname` must hold
// strlen(filename) + 1 bytes.
void GetFileExtName(const char* filename, char* extname);
// Flushes all file systems.
void SyncFS();

// ---- text files ----

// Reads one line into `line`: the bytes before the next LF (the LF is read,
// not stored), at most size - 1 of them and then a terminating NUL; the rest
// of a longer line is read and dropped. A NUL byte of the file is stored like
// any other. Returns the bytes stored, or -1 at the end of the file.
ssize_t XReadTextLine(FILE* fp, char* line, size_t size);

// ---- low-level I/O ----

// One read / write, repeated while interrupted (EINTR).
ssize_t SafeRead(int fd, void* buf, size_t count);
ssize_t SafeWrite(int fd, const void* buf, size_t count);
// Writes all `len` bytes; on an error returns what was written so far when
// that is above 0, else the error result.
ssize_t FullWrite(int fd, const void* buf, size_t len);
// Reads exactly `len` bytes at `offset` (pread); 0 on an error or the end.
BOOL XReadAt(int fd, uint64_t offset, void* buf, size_t len);
// fdatasync, repeated while interrupted; 0 or -1.
int XSyncFileData(int fd);

// Closes a descriptor at the end of its scope (-1: none).
class CFdCloser {
public:
    explicit CFdCloser(int fd) : m_fd(fd) {}
    ~CFdCloser();
    CFdCloser(const CFdCloser&) = delete;
    CFdCloser& operator=(const CFdCloser&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// ---- directory listing ----

// Opens `dir` and returns its first entry ("." and ".." included); 0 for an
// empty or over-long path, a directory that cannot be opened or no entry.
BOOL XFindFirstFile(const char* dir, DIR_CTX* ctx, XFileFindData* fileinfo);
// Next entry; 0 at the end. Entries whose status cannot be read, or whose
// name does not fit, are skipped. The status comes from the open directory
// (symbolic links not followed).
BOOL XFindNextFile(DIR_CTX* ctx, XFileFindData* fileinfo);
// Whether the entry just listed is not both readable and writable by the
// process; asked only by a caller that needs it (one access check).
BOOL XFindFileReadOnly(const DIR_CTX* ctx, const XFileFindData* fileinfo);
// Closes the listing; with `rmEmptyDir` also removes the (empty) directory.
BOOL XCloseFindFile(DIR_CTX* ctx, BOOL rmEmptyDir);

// ---- shell commands ----

// Runs the command and prints every newline-terminated output line; returns
// the status from pclose, or -1 when the command cannot be started.
int ExecCommand(const char* commandbuf);
// Runs the command and collects its output lines (trailing newline removed);
// returns their count, or -1 (with `resvec` empty) when it cannot be started.
int ExecCommand2(const char* cmd, std::vector<std::string>& resvec);
// `text` as one word of a shell command: unchanged when every character is
// one the shell takes literally (letters, digits and @%+=:,./-_), else in
// single quotes, each quote inside written as '\''. Every path put into a
// command goes through it.
std::string XShellQuote(const std::string& text);

// ---- other helpers ----

// Decodes `len` hex digits, two per byte, high digit first; an invalid digit
// counts as 0. An odd last digit is ignored.
void CharToHex(unsigned char* dest, const char* buffer, int len);
// The kernel's random UUID with white space removed; 0 when it does not fit
// `buff_size` or cannot be read.
BOOL GetUUID(char* uuid, int buff_size);

#endif
