#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Function/common.h"

namespace {

namespace fs = std::filesystem;

// A fresh directory under `base`, removed with its contents at the end.
class TempDir {
public:
    explicit TempDir(const std::string& base = "/tmp")
    {
        std::string tmpl = base + "/fn_files_XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        if (mkdtemp(buf.data()) != nullptr) {
            m_strPath = buf.data();
        }
    }
    ~TempDir()
    {
        if (!m_strPath.empty()) {
            std::error_code ec;
            fs::remove_all(m_strPath, ec);
        }
    }
    bool ok() const { return !m_strPath.empty(); }
    const std::string& path() const { return m_strPath; }
    std::string operator/(const std::string& name) const { return m_strPath + "/" + name; }

private:
    std::string m_strPath;
};

void WriteFile(const std::string& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

bool ReadFile(const std::string& path, std::string* data)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    *data = ss.str();
    return true;
}

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool IsDir(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Pattern(size_t n)
{
    std::string s(n, '\0');
    uint32_t x = 7;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = static_cast<char>(x >> 16);
    }
    return s;
}

// Redirects file descriptor 1 into a temporary file while alive.
class StdoutCapture {
public:
    StdoutCapture()
    {
        fflush(stdout);
        m_fdSaved = dup(STDOUT_FILENO);
        FILE* f = tmpfile();
        m_fdFile = dup(fileno(f));
        fclose(f);
        dup2(m_fdFile, STDOUT_FILENO);
    }
    ~StdoutCapture() { Stop(); }
    std::string Stop()
    {
        if (m_fdSaved >= 0) {
            fflush(stdout);
            dup2(m_fdSaved, STDOUT_FILENO);
            close(m_fdSaved);
            m_fdSaved = -1;
            lseek(m_fdFile, 0, SEEK_SET);
            char buf[4096];
            ssize_t n;
            while ((n = read(m_fdFile, buf, sizeof(buf))) > 0) {
                m_strText.append(buf, static_cast<size_t>(n));
            }
            close(m_fdFile);
        }
        return m_strText;
    }

private:
    int m_fdSaved = -1;
    int m_fdFile = -1;
    std::string m_strText;
};

// Changes the working directory while alive.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& dir) : m_strOld(fs::current_path().string())
    {
        m_bOk = chdir(dir.c_str()) == 0;
    }
    ~ScopedCwd()
    {
        if (chdir(m_strOld.c_str()) != 0) {
            ADD_FAILURE() << "cannot return to " << m_strOld;
        }
    }
    bool ok() const { return m_bOk; }

private:
    std::string m_strOld;
    bool m_bOk = false;
};

// Appends components of at most 200 characters under `base` until the path
// is exactly `total` characters long.
std::string PathOfLength(const std::string& base, size_t total)
{
    std::string p = base;
    while (p.size() < total) {
        size_t room = total - p.size() - 1;  // minus the "/"
        if (room == 0) {
            p += "d";  // no room for another component: lengthen the last one
            continue;
        }
        p += "/" + std::string(std::min<size_t>(room, 200), 'd');
    }
    return p.substr(0, total);
}

class FileUtilsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_Dir.ok()); }
    TempDir m_Dir;
};

// ---------------------------------------------------------------- existence

TEST_F(FileUtilsTest, FilePathExists)
{
    WriteFile(m_Dir / "file", "x");
    ASSERT_EQ(0, mkdir((m_Dir / "dir").c_str(), 0755));
    ASSERT_EQ(0, symlink("missing-target", (m_Dir / "dangling").c_str()));
    struct {
        std::string path;
        BOOL expected;
    } cases[] = {
        {m_Dir / "file", TRUE},
        {m_Dir / "dir", TRUE},
        {m_Dir / "dir/", TRUE},
        {m_Dir / "missing", FALSE},
        {m_Dir / "file/sub", FALSE},
        {"", FALSE},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, XFilePathExists(c.path.c_str())) << c.path;
    }
    EXPECT_EQ(FALSE, XFilePathExists(nullptr));
}

// ---------------------------------------------------------- creating levels

TEST_F(FileUtilsTest, CreateFullPathDirMakesEveryRelativeLevel)
{
    ScopedCwd cwd(m_Dir.path());
    ASSERT_TRUE(cwd.ok());
    mode_t old = umask(022);
    EXPECT_EQ(1, XCreateFullPathDir("a/b/c", 0755));
    umask(old);
    for (const char* level : {"a", "a/b", "a/b/c"}) {
        struct stat st;
        ASSERT_EQ(0, stat((m_Dir / level).c_str(), &st)) << level;
        EXPECT_TRUE(S_ISDIR(st.st_mode)) << level;
        EXPECT_EQ(0755u, st.st_mode & 0777u) << level;
    }
}

TEST_F(FileUtilsTest, CreateFullPathDirAbsoluteWithAndWithoutSlash)
{
    EXPECT_EQ(1, XCreateFullPathDir((m_Dir / "x/y/").c_str(), 0700));
    EXPECT_TRUE(IsDir(m_Dir / "x/y"));
    EXPECT_EQ(1, XCreateFullPathDir((m_Dir / "x/y/z").c_str(), 0700));
    EXPECT_TRUE(IsDir(m_Dir / "x/y/z"));
}

TEST_F(FileUtilsTest, CreateFullPathDirLeavesExistingPathAlone)
{
    const std::string dir = m_Dir / "keep";
    ASSERT_EQ(0, mkdir(dir.c_str(), 0700));
    ASSERT_EQ(0, chmod(dir.c_str(), 0700));
    EXPECT_EQ(1, XCreateFullPathDir(dir.c_str(), 0755));
    struct stat st;
    ASSERT_EQ(0, stat(dir.c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 0777u);
    // An existing file also counts as existing: nothing is created.
    WriteFile(m_Dir / "plain", "x");
    EXPECT_EQ(1, XCreateFullPathDir((m_Dir / "plain").c_str(), 0755));
}

TEST_F(FileUtilsTest, CreateFullPathDirFailsBelowAFile)
{
    WriteFile(m_Dir / "file", "x");
    EXPECT_EQ(0, XCreateFullPathDir((m_Dir / "file/sub/deeper").c_str(), 0755));
    EXPECT_FALSE(Exists(m_Dir / "file/sub"));
}

TEST_F(FileUtilsTest, CreateFullPathDirLengthLimit)
{
    // The path plus its final "/" must fit 255 characters.
    struct {
        size_t length;
        bool trailingSlash;
        BOOL expected;
    } cases[] = {
        {254, false, 1},
        {255, false, 0},
        {255, true, 1},
        {256, true, 0},
        {400, false, 0},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string base = m_Dir / ("case" + std::to_string(n++));
        std::string path = PathOfLength(base, c.trailingSlash ? c.length - 1 : c.length);
        if (c.trailingSlash) {
            path += "/";
        }
        ASSERT_EQ(c.length, path.size());
        EXPECT_EQ(c.expected, XCreateFullPathDir(path.c_str(), 0755)) << c.length;
        if (c.expected) {
            EXPECT_TRUE(IsDir(path)) << c.length;
        } else {
            // Refused before anything is created.
            EXPECT_FALSE(Exists(base)) << c.length;
        }
    }
}

// --------------------------------------------------------- removing levels

TEST_F(FileUtilsTest, RemoveFullPathEmptyDirRemovesChainDeepestFirst)
{
    ScopedCwd cwd(m_Dir.path());
    ASSERT_TRUE(cwd.ok());
    ASSERT_EQ(1, XCreateFullPathDir("a/b/c", 0755));
    EXPECT_EQ(1, XRemoveFullPathEmptyDir("a/b/c/"));
    EXPECT_FALSE(Exists(m_Dir / "a"));
}

TEST_F(FileUtilsTest, RemoveFullPathEmptyDirStopsAtFirstNonEmpty)
{
    ScopedCwd cwd(m_Dir.path());
    ASSERT_TRUE(cwd.ok());
    ASSERT_EQ(1, XCreateFullPathDir("a/b/c", 0755));
    WriteFile(m_Dir / "a/b/other", "x");
    EXPECT_EQ(0, XRemoveFullPathEmptyDir("a/b/c/"));
    EXPECT_FALSE(Exists(m_Dir / "a/b/c"));
    EXPECT_TRUE(IsDir(m_Dir / "a/b"));
    EXPECT_TRUE(Exists(m_Dir / "a/b/other"));
}

TEST_F(FileUtilsTest, RemoveFullPathEmptyDirSkipsMissingLevelsAndLongPaths)
{
    ScopedCwd cwd(m_Dir.path());
    ASSERT_TRUE(cwd.ok());
    ASSERT_EQ(1, XCreateFullPathDir("a", 0755));
    // a/b/ does not exist: skipped; a/ is removed.
    EXPECT_EQ(1, XRemoveFullPathEmptyDir("a/b/"));
    EXPECT_FALSE(Exists(m_Dir / "a"));

    ASSERT_EQ(1, XCreateFullPathDir("long", 0755));
    std::string tooLong = "long/" + std::string(251, 'z');
    ASSERT_EQ(256u, tooLong.size());
    EXPECT_EQ(0, XRemoveFullPathEmptyDir(tooLong.c_str()));
    EXPECT_TRUE(IsDir(m_Dir / "long"));
}

// ----------------------------------------------------------- deleting files

TEST_F(FileUtilsTest, DeleteFileLogsAndUnlinks)
{
    const std::string file = m_Dir / "victim.txt";
    WriteFile(file, "x");
    StdoutCapture cap;
    EXPECT_EQ(TRUE, XDeleteFile(file.c_str()));
    EXPECT_EQ(FALSE, XDeleteFile(file.c_str()));
    EXPECT_EQ("DELETE FILE " + file + "\nDELETE FILE " + file + "\n", cap.Stop());
    EXPECT_FALSE(Exists(file));
}

TEST_F(FileUtilsTest, RemoveDirectoryOnlyWhenEmpty)
{
    ASSERT_EQ(0, mkdir((m_Dir / "empty").c_str(), 0755));
    ASSERT_EQ(0, mkdir((m_Dir / "full").c_str(), 0755));
    WriteFile(m_Dir / "full/f", "x");
    EXPECT_EQ(TRUE, XRemoveDirectory((m_Dir / "empty").c_str()));
    EXPECT_EQ(FALSE, XRemoveDirectory((m_Dir / "full").c_str()));
    EXPECT_FALSE(Exists(m_Dir / "empty"));
    EXPECT_TRUE(Exists(m_Dir / "full/f"));
}

TEST_F(FileUtilsTest, RemoveDirectoryTreeDeletesEverythingButNotLinkTargets)
{
    TempDir outside;
    ASSERT_TRUE(outside.ok());
    WriteFile(outside / "precious", "keep me");

    const std::string root = m_Dir / "tree";
    ASSERT_EQ(1, XCreateFullPathDir((root + "/s1/s2").c_str(), 0755));
    ASSERT_EQ(1, XCreateFullPathDir((root + "/empty").c_str(), 0755));
    WriteFile(root + "/top.mp4", "1");
    WriteFile(root + "/s1/mid.jpg", "2");
    WriteFile(root + "/s1/s2/deep", "3");
    ASSERT_EQ(0, symlink(outside.path().c_str(), (root + "/s1/link").c_str()));

    StdoutCapture cap;
    EXPECT_EQ(TRUE, XRemoveDirectory(root.c_str(), 0));
    std::string out = cap.Stop();
    EXPECT_FALSE(Exists(root));
    std::string kept;
    ASSERT_TRUE(ReadFile(outside / "precious", &kept));
    EXPECT_EQ("keep me", kept);
    for (const char* f : {"/top.mp4", "/s1/mid.jpg", "/s1/s2/deep", "/s1/link"}) {
        EXPECT_NE(std::string::npos, out.find("DELETE FILE " + root + f + "\n")) << f << "\n" << out;
    }
}

TEST_F(FileUtilsTest, RemoveDirectoryTreeMissing)
{
    EXPECT_EQ(FALSE, XRemoveDirectory((m_Dir / "missing").c_str(), 1));
}

// ------------------------------------------------------------------ renames

class RenameTest : public FileUtilsTest {
protected:
    // A directory on another file system than m_Dir, or "" when none.
    static std::string OtherFileSystemBase()
    {
        struct stat a;
        struct stat b;
        if (stat("/tmp", &a) == 0 && stat("/dev/shm", &b) == 0 && S_ISDIR(b.st_mode) && a.st_dev != b.st_dev &&
            access("/dev/shm", W_OK) == 0) {
            return "/dev/shm";
        }
        return "";
    }
};

TEST_F(RenameTest, SameFileSystemRenames)
{
    const std::string src = m_Dir / "src";
    const std::string dst = m_Dir / "dst";
    WriteFile(src, "payload");
    EXPECT_EQ(1, XRenameFile(src.c_str(), dst.c_str()));
    std::string got;
    ASSERT_TRUE(ReadFile(dst, &got));
    EXPECT_EQ("payload", got);
    EXPECT_FALSE(Exists(src));
}

TEST_F(RenameTest, AcrossFileSystemsCopiesThenDeletesSource)
{
    const std::string other = OtherFileSystemBase();
    if (other.empty()) {
        GTEST_SKIP() << "/dev/shm is not a separate writable file system here";
    }
    TempDir far(other);
    ASSERT_TRUE(far.ok());
    // Both directions; sizes around the 4096-byte copy chunk.
    struct {
        const char* name;
        size_t size;
        bool toFar;
    } cases[] = {
        {"empty", 0, true}, {"one-chunk", 4096, true}, {"odd", 10001, true}, {"back", 8193, false},
    };
    for (const auto& c : cases) {
        const std::string src = (c.toFar ? m_Dir / c.name : far / c.name);
        const std::string dst = (c.toFar ? far / c.name : m_Dir / c.name) + ".moved";
        const std::string data = Pattern(c.size);
        WriteFile(src, data);
        StdoutCapture cap;
        EXPECT_EQ(1, XRenameFile(src.c_str(), dst.c_str())) << c.name;
        EXPECT_EQ("DELETE FILE " + src + "\n", cap.Stop()) << c.name;
        std::string got;
        ASSERT_TRUE(ReadFile(dst, &got)) << c.name;
        EXPECT_EQ(data, got) << c.name;
        EXPECT_FALSE(Exists(src)) << c.name;
    }
}

TEST_F(RenameTest, AcrossFileSystemsReplacesLongerDestination)
{
    const std::string other = OtherFileSystemBase();
    if (other.empty()) {
        GTEST_SKIP() << "/dev/shm is not a separate writable file system here";
    }
    TempDir far(other);
    ASSERT_TRUE(far.ok());
    WriteFile(m_Dir / "src", "short");
    WriteFile(far / "dst", std::string(9000, 'L'));
    EXPECT_EQ(1, XRenameFile((m_Dir / "src").c_str(), (far / "dst").c_str()));
    std::string got;
    ASSERT_TRUE(ReadFile(far / "dst", &got));
    EXPECT_EQ("short", got);  // truncated, not overwritten in place
}

TEST_F(RenameTest, MissingSourceTouchesNothing)
{
    std::vector<std::string> destinations = {m_Dir / "dst"};
    const std::string other = OtherFileSystemBase();
    TempDir far(other.empty() ? "/tmp" : other);
    ASSERT_TRUE(far.ok());
    destinations.push_back(far / "dst");
    for (const auto& dst : destinations) {
        EXPECT_EQ(0, XRenameFile((m_Dir / "missing").c_str(), dst.c_str())) << dst;
        EXPECT_FALSE(Exists(dst)) << dst;
    }
    // An existing destination keeps its contents.
    WriteFile(far / "kept", "old");
    EXPECT_EQ(0, XRenameFile((m_Dir / "missing").c_str(), (far / "kept").c_str()));
    std::string got;
    ASSERT_TRUE(ReadFile(far / "kept", &got));
    EXPECT_EQ("old", got);
}

TEST_F(RenameTest, DestinationThatCannotBeOpenedKeepsSource)
{
    const std::string src = m_Dir / "src";
    WriteFile(src, "data");
    // rename() refuses a file onto a directory, and the copy cannot open it.
    ASSERT_EQ(0, mkdir((m_Dir / "adir").c_str(), 0755));
    WriteFile(m_Dir / "adir/inside", "x");
    // A destination folder that does not exist.
    const std::string cases[] = {m_Dir / "adir", m_Dir / "nodir/dst"};
    for (const auto& dst : cases) {
        EXPECT_EQ(0, XRenameFile(src.c_str(), dst.c_str())) << dst;
        std::string got;
        ASSERT_TRUE(ReadFile(src, &got)) << dst;
        EXPECT_EQ("data", got) << dst;
    }
    EXPECT_TRUE(IsDir(m_Dir / "adir"));
    EXPECT_TRUE(Exists(m_Dir / "adir/inside"));
}

TEST_F(RenameTest, FailedCopyKeepsSourceAndRemovesPartialDestination)
{
    const std::string other = OtherFileSystemBase();
    if (other.empty()) {
        GTEST_SKIP() << "/dev/shm is not a separate writable file system here";
    }
    TempDir far(other);
    ASSERT_TRUE(far.ok());
    const std::string src = m_Dir / "big";
    const std::string dst = far / "big";
    const std::string data = Pattern(20000);
    WriteFile(src, data);

    // In a child limited to 5000-byte files the copy fails part-way: the
    // second chunk is written short, then the next write fails with EFBIG.
    fflush(stdout);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit rl;
        rl.rlim_cur = rl.rlim_max = 5000;
        if (setrlimit(RLIMIT_FSIZE, &rl) != 0) {
            _exit(10);
        }
        _exit(XRenameFile(src.c_str(), dst.c_str()) == 0 ? 0 : 11);
    }
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status)) << "10: setrlimit failed, 11: XRenameFile reported success";
    std::string got;
    ASSERT_TRUE(ReadFile(src, &got));
    EXPECT_EQ(data, got);
    EXPECT_FALSE(Exists(dst));
}

// ---------------------------------------------------------------- file size

TEST_F(FileUtilsTest, GetFileSize)
{
    WriteFile(m_Dir / "f", std::string(12345, 'a'));
    ASSERT_EQ(0, symlink("f", (m_Dir / "link").c_str()));
    ASSERT_EQ(0, symlink("some/long/target/name", (m_Dir / "dangling").c_str()));
    struct {
        std::string path;
        BOOL result;
        size_t size;
    } cases[] = {
        {m_Dir / "f", 1, 12345},
        {m_Dir / "link", 1, 1},  // the link itself, not its target
        {m_Dir / "dangling", 1, strlen("some/long/target/name")},
        {m_Dir / "missing", 0, 777},
    };
    for (const auto& c : cases) {
        size_t size = 777;
        EXPECT_EQ(c.result, XGetFileSize(c.path.c_str(), &size)) << c.path;
        EXPECT_EQ(c.size, size) << c.path;
    }
}

TEST_F(FileUtilsTest, GetFileSizeKeepsLow32Bits)
{
    const std::string path = m_Dir / "sparse";
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const off_t big = (static_cast<off_t>(1) << 32) + 5;
    int rc = ftruncate(fd, big);
    close(fd);
    if (rc != 0) {
        GTEST_SKIP() << "no sparse files of 4 GiB here: " << strerror(errno);
    }
    size_t size = 0;
    EXPECT_EQ(1, XGetFileSize(path.c_str(), &size));
    EXPECT_EQ(5u, size);
}

// --------------------------------------------------------------- extensions

TEST(GetFileExtName, Table)
{
    struct {
        const char* name;
        const char* ext;
    } cases[] = {
        {"/x/y.tar.TGZ", "TGZ"},
        {"/x/.hidden", ""},
        {".hidden", ""},
        {"/x/.hidden.txt", "txt"},
        {"clip.MP4", "MP4"},
        {"noext", ""},
        {"/dir.d/noext", ""},
        {"/dir.d/", ""},
        {"trailing.", ""},
        {"..", ""},
        {"a.b.c", "c"},
        {"/", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        char ext[64];
        memset(ext, 'Q', sizeof(ext));
        GetFileExtName(c.name, ext);
        EXPECT_STREQ(c.ext, ext) << c.name;
    }
    char ext[4] = "old";
    GetFileExtName(nullptr, ext);
    EXPECT_STREQ("", ext);
}

// --------------------------------------------------------------- disk space

// Reads "stat -f" of `path`: total blocks, fundamental block size and free
// blocks, from a program independent of the code under test.
bool StatFs(const std::string& path, uint64_t* blocks, uint64_t* blocksize, uint64_t* freeblocks)
{
    std::string cmd = "stat -f -c '%b %S %f' '" + path + "'";
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) {
        return false;
    }
    unsigned long long b = 0, s = 0, f = 0;
    int n = fscanf(p, "%llu %llu %llu", &b, &s, &f);
    pclose(p);
    *blocks = b;
    *blocksize = s;
    *freeblocks = f;
    return n == 3;
}

TEST_F(FileUtilsTest, DiskPartitionSpaceMatchesStatTool)
{
    std::vector<std::string> paths = {m_Dir.path()};
    if (access("/dev/shm", F_OK) == 0) {
        paths.push_back("/dev/shm");
    }
    for (const auto& path : paths) {
        uint64_t blocks = 0, bsize = 0, freeblocks = 0;
        if (!StatFs(path, &blocks, &bsize, &freeblocks)) {
            GTEST_SKIP() << "stat -f is not available";
        }
        uint64_t total = 0, avail = 0;
        EXPECT_EQ(1, XGetDiskPartitionSpace(path.c_str(), &total, &avail)) << path;
        EXPECT_EQ(blocks * bsize, total) << path;
        // Free space moves while other programs write: allow 1% of the disk.
        uint64_t expected = freeblocks * bsize;
        uint64_t diff = avail > expected ? avail - expected : expected - avail;
        EXPECT_LE(diff, total / 100) << path;
        // All free blocks count, those reserved for the superuser included.
        struct statvfs sv;
        ASSERT_EQ(0, statvfs(path.c_str(), &sv));
        EXPECT_GE(avail + total / 100, static_cast<uint64_t>(sv.f_bavail) * sv.f_frsize) << path;
    }
}

TEST_F(FileUtilsTest, DiskPartitionSpaceFailureZeroesBoth)
{
    uint64_t total = 123, avail = 456;
    EXPECT_EQ(0, XGetDiskPartitionSpace((m_Dir / "missing").c_str(), &total, &avail));
    EXPECT_EQ(0u, total);
    EXPECT_EQ(0u, avail);
}

// --------------------------------------------------------------- text lines

// Every line the reader returns from `text`, with a buffer of `size` bytes.
std::vector<std::string> TextLines(const std::string& text, size_t size)
{
    std::vector<std::string> lines;
    std::string copy = text;
    FILE* fp = fmemopen(&copy[0], copy.size(), "r");
    if (fp == nullptr) {
        ADD_FAILURE() << "fmemopen";
        return lines;
    }
    std::vector<char> buf(size + 1, 'x');
    for (ssize_t n; (n = XReadTextLine(fp, buf.data(), size)) >= 0;) {
        EXPECT_EQ(buf[static_cast<size_t>(n)], '\0');
        EXPECT_EQ(buf[size], 'x');  // nothing written past the buffer
        lines.emplace_back(buf.data(), static_cast<size_t>(n));
    }
    fclose(fp);
    return lines;
}

TEST(XReadTextLine, CountsEveryByteOfTheLine)
{
    using namespace std::string_literals;
    using V = std::vector<std::string>;
    const struct {
        const char* what;
        std::string text;
        size_t size;
        V lines;
    } cases[] = {
        {"plain", "ab\ncd\n", 8, V{"ab", "cd"}},
        {"no final LF", "ab\ncd", 8, V{"ab", "cd"}},
        {"empty lines", "\n\nx\n", 8, V{"", "", "x"}},
        {"empty file", "", 8, V{}},
        {"CR kept", "a\r\n", 8, V{"a\r"}},
        {"NUL bytes stored", "\0a\0b\0\nc\n"s, 8, V{"\0a\0b\0"s, "c"}},
        {"over-long tail dropped", "abcdefgh\nij\n", 4, V{"abc", "ij"}},
        {"exactly fitting", "abc\nd", 4, V{"abc", "d"}},
        {"a NUL in the dropped tail", "abc\0\0\nd\n"s, 4, V{"abc", "d"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TextLines(c.text, c.size), c.lines) << c.what;
    }
}

}  // namespace
