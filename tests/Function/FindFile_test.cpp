#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Function/common.h"
#include "support/TestBoard.h"

namespace {

namespace fs = std::filesystem;

class FindFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/fn_find_XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        m_strDir = tmpl;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_strDir, ec);
    }
    std::string Path(const std::string& name) const { return m_strDir + "/" + name; }
    void Touch(const std::string& name, const std::string& data = "")
    {
        std::ofstream(Path(name), std::ios::binary) << data;
    }

    // All entries of `dir` through the functions under test, by name.
    static std::map<std::string, XFileFindData> ListAll(const std::string& dir)
    {
        std::map<std::string, XFileFindData> out;
        DIR_CTX ctx;
        XFileFindData info;
        if (XFindFirstFile(dir.c_str(), &ctx, &info)) {
            do {
                EXPECT_EQ(0u, out.count(info.filename)) << "listed twice: " << info.filename;
                out[info.filename] = info;
            } while (XFindNextFile(&ctx, &info));
        }
        XCloseFindFile(&ctx, FALSE);
        return out;
    }

    // Entry names in the order readdir gives them.
    static std::vector<std::string> ReaddirOrder(const std::string& dir)
    {
        std::vector<std::string> names;
        DIR* d = opendir(dir.c_str());
        if (d == nullptr) {
            return names;
        }
        while (struct dirent* e = readdir(d)) {
            names.push_back(e->d_name);
        }
        closedir(d);
        return names;
    }

    // "name value" lines of a Python expression over each entry `p` of the
    // folder (os.lstat, os.access), by name.
    std::map<std::string, std::string> PythonView(const std::string& expr) const
    {
        const std::string script = "import os,sys\n"
                                   "d=sys.argv[1]\n"
                                   "for n in os.listdir(d):\n"
                                   "    p=os.path.join(d,n)\n"
                                   "    print(n, " + expr + ")\n";
        std::map<std::string, std::string> out;
        std::string text = XTestRun(std::string(DASHCAM_PYTHON) + " -c '" + script + "' " + m_strDir);
        size_t at = 0;
        while (at < text.size()) {
            size_t end = text.find('\n', at);
            std::string line = text.substr(at, end - at);
            size_t blank = line.rfind(' ');
            if (blank != std::string::npos) {
                out[line.substr(0, blank)] = line.substr(blank + 1);
            }
            at = end == std::string::npos ? text.size() : end + 1;
        }
        return out;
    }

    std::string m_strDir;
};

TEST_F(FindFileTest, ListsEveryEntryWithItsStatus)
{
    Touch("clip.MP4", "abc");
    Touch("archive.tar.TGZ", std::string(5000, 'z'));
    Touch(".hidden", "h");
    ASSERT_EQ(0, mkdir(Path("sub").c_str(), 0755));
    ASSERT_EQ(0, symlink("sub", Path("link").c_str()));

    for (const std::string& dir : {m_strDir, m_strDir + "/"}) {
        auto all = ListAll(dir);
        std::set<std::string> names;
        for (const auto& kv : all) {
            names.insert(kv.first);
        }
        EXPECT_EQ((std::set<std::string>{".", "..", "clip.MP4", "archive.tar.TGZ", ".hidden", "sub", "link"}), names)
            << dir;

        struct {
            const char* name;
            BOOL is_dir;
            const char* ext;
        } cases[] = {
            {".", TRUE, ""},          {"..", TRUE, ""},  {"clip.MP4", FALSE, "MP4"}, {"archive.tar.TGZ", FALSE, "TGZ"},
            {".hidden", FALSE, ""},   {"sub", TRUE, ""}, {"link", FALSE, ""},  // a link is not followed
        };
        for (const auto& c : cases) {
            ASSERT_EQ(1u, all.count(c.name)) << c.name;
            const XFileFindData& info = all[c.name];
            struct stat st;
            ASSERT_EQ(0, lstat(Path(c.name).c_str(), &st)) << c.name;
            EXPECT_EQ(c.is_dir, info.is_dir) << c.name;
            EXPECT_STREQ(c.ext, info.extname) << c.name;
            EXPECT_EQ(static_cast<uint64_t>(st.st_size), info.size) << c.name;
            EXPECT_EQ(st.st_mtime, info.modify_time) << c.name;
            EXPECT_EQ(st.st_ctime, info.create_time) << c.name;
        }
    }
}

// The bytes an entry takes on the disk, as Python's os.lstat gives them
// (st_blocks counts 512-byte units): a sparse file takes far less than its size.
TEST_F(FindFileTest, SpaceIsTheAllocatedBytes)
{
    Touch("empty");
    Touch("small", "abc");
    Touch("big", std::string(70000, 'b'));
    const int fd = open(Path("sparse").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 's');
    ASSERT_EQ(0, ftruncate(fd, 8 << 20));
    ASSERT_EQ(static_cast<ssize_t>(block.size()), pwrite(fd, block.data(), block.size(), (8 << 20) - 4096));
    ASSERT_EQ(0, fsync(fd));
    close(fd);
    ASSERT_EQ(0, mkdir(Path("sub").c_str(), 0755));
    ASSERT_EQ(0, symlink("big", Path("link").c_str()));

    const std::map<std::string, std::string> expected = PythonView("os.lstat(p).st_blocks*512");
    ASSERT_EQ(6u, expected.size());
    auto all = ListAll(m_strDir);
    for (const auto& kv : expected) {
        ASSERT_EQ(1u, all.count(kv.first)) << kv.first;
        EXPECT_EQ(kv.second, std::to_string(all[kv.first].space)) << kv.first;
    }
    EXPECT_GE(all["big"].space, 70000u);
    EXPECT_LT(all["sparse"].space, 1u << 20);
    EXPECT_EQ(all["sparse"].size, 8u << 20);
}

// The read-only flag costs nothing unless asked for, and then answers for
// the entry just listed as os.access does.
TEST_F(FindFileTest, ReadOnlyIsAskedForTheEntryJustListed)
{
    Touch("rw");
    Touch("ro");
    Touch("none");
    ASSERT_EQ(0, chmod(Path("ro").c_str(), 0444));
    ASSERT_EQ(0, chmod(Path("none").c_str(), 0));
    ASSERT_EQ(0, mkdir(Path("sub").c_str(), 0755));
    ASSERT_EQ(0, symlink("missing", Path("gone").c_str()));

    const std::map<std::string, std::string> access = PythonView("int(os.access(p, os.R_OK|os.W_OK))");
    ASSERT_EQ(5u, access.size());
    EXPECT_EQ("0", access.at("gone"));
    std::map<std::string, BOOL> got;
    DIR_CTX ctx;
    XFileFindData info;
    for (BOOL more = XFindFirstFile(m_strDir.c_str(), &ctx, &info); more; more = XFindNextFile(&ctx, &info)) {
        got[info.filename] = XFindFileReadOnly(&ctx, &info);
    }
    XCloseFindFile(&ctx, FALSE);
    for (const auto& kv : access) {
        ASSERT_EQ(1u, got.count(kv.first)) << kv.first;
        EXPECT_EQ(kv.second == "1" ? FALSE : TRUE, got[kv.first]) << kv.first;
    }
    EXPECT_EQ(TRUE, XFindFileReadOnly(&ctx, &info));  // closed listing
}

TEST_F(FindFileTest, ContextKeepsPathWithSlash)
{
    for (const std::string& dir : {m_strDir, m_strDir + "/"}) {
        DIR_CTX ctx;
        XFileFindData info;
        ASSERT_EQ(1, XFindFirstFile(dir.c_str(), &ctx, &info));
        EXPECT_NE(nullptr, ctx.dir_ctx);
        EXPECT_EQ(m_strDir + "/", std::string(ctx.path));
        EXPECT_EQ(1, XCloseFindFile(&ctx, FALSE));
        EXPECT_EQ(nullptr, ctx.dir_ctx);
        EXPECT_STREQ("", ctx.path);
    }
}

TEST_F(FindFileTest, RefusesEmptyMissingAndNonDirectories)
{
    Touch("file");
    const std::string cases[] = {"", Path("missing"), Path("file")};
    for (const auto& dir : cases) {
        DIR_CTX ctx;
        memset(&ctx, 0x5A, sizeof(ctx));
        XFileFindData info;
        EXPECT_EQ(0, XFindFirstFile(dir.c_str(), &ctx, &info)) << dir;
        EXPECT_EQ(nullptr, ctx.dir_ctx) << dir;
        EXPECT_EQ(1, XCloseFindFile(&ctx, FALSE)) << dir;
    }
    DIR_CTX ctx;
    XFileFindData info;
    EXPECT_EQ(0, XFindFirstFile(nullptr, &ctx, &info));
    EXPECT_EQ(0, XFindNextFile(&ctx, &info));  // closed context
}

TEST_F(FindFileTest, PathMustFitWithItsSlash)
{
    // Build a real directory whose path is exactly 254 characters.
    std::string dir = m_strDir;
    while (dir.size() < 254) {
        size_t room = 254 - dir.size() - 1;
        dir += "/" + std::string(std::min<size_t>(room, 200), 'p');
        ASSERT_EQ(0, mkdir(dir.c_str(), 0755)) << dir;
    }
    ASSERT_EQ(254u, dir.size());
    const std::string name255 = dir + "q";  // 255 characters
    ASSERT_EQ(0, mkdir(name255.c_str(), 0755));
    struct {
        std::string path;
        BOOL expected;
    } cases[] = {
        {dir, 1},            // 254 + "/" fits
        {dir + "/", 1},      // 255 with its slash
        {name255, 0},        // 255 + "/" does not fit
        {name255 + "/", 0},  // 256 characters
    };
    for (const auto& c : cases) {
        DIR_CTX ctx;
        XFileFindData info;
        EXPECT_EQ(c.expected, XFindFirstFile(c.path.c_str(), &ctx, &info)) << c.path.size();
        if (c.expected) {
            EXPECT_EQ(c.path.back() == '/' ? c.path : c.path + "/", std::string(ctx.path));
        } else {
            EXPECT_EQ(nullptr, ctx.dir_ctx);
        }
        XCloseFindFile(&ctx, FALSE);
    }
}

// An entry whose status query fails is skipped and the listing goes on.
// Deterministic on glibc: the first readdir() fetches the directory's entries
// in one block of 32 KiB, so an entry deleted after XFindFirstFile is still
// handed out by readdir() and its lstat() then fails with ENOENT. The order
// is learned first with plain readdir() (it is stable while the directory is
// unchanged), so the entries after a deleted one are known.
TEST_F(FindFileTest, EntryFailingStatusQueryIsSkipped)
{
    enum Victims { kFirstFileAfterStart, kAllButLast };
    for (Victims mode : {kFirstFileAfterStart, kAllButLast}) {
        SCOPED_TRACE(mode == kFirstFileAfterStart ? "one vanished entry" : "a run of vanished entries");
        std::error_code ec;
        fs::remove_all(m_strDir, ec);
        ASSERT_EQ(0, mkdir(m_strDir.c_str(), 0755));
        for (int i = 0; i < 10; ++i) {
            Touch("f" + std::to_string(i));
        }
        const std::vector<std::string> order = ReaddirOrder(m_strDir);
        ASSERT_EQ(12u, order.size());

        DIR_CTX ctx;
        XFileFindData info;
        ASSERT_EQ(1, XFindFirstFile(m_strDir.c_str(), &ctx, &info));
        ASSERT_EQ(order[0], info.filename);

        std::set<std::string> victims;
        for (size_t i = 1; i + 1 < order.size(); ++i) {
            if (order[i] != "." && order[i] != "..") {
                victims.insert(order[i]);
                if (mode == kFirstFileAfterStart) {
                    break;
                }
            }
        }
        ASSERT_FALSE(victims.empty());
        for (const auto& v : victims) {
            ASSERT_EQ(0, unlink(Path(v).c_str()));
        }

        std::vector<std::string> expected;
        for (size_t i = 1; i < order.size(); ++i) {
            if (victims.count(order[i]) == 0) {
                expected.push_back(order[i]);
            }
        }
        std::vector<std::string> got;
        while (XFindNextFile(&ctx, &info)) {
            got.push_back(info.filename);
        }
        XCloseFindFile(&ctx, FALSE);
        EXPECT_EQ(expected, got);
    }
}

TEST_F(FindFileTest, CloseRemovesEmptyDirectoryOnRequest)
{
    const std::string empty = Path("empty");
    const std::string full = Path("full");
    ASSERT_EQ(0, mkdir(empty.c_str(), 0755));
    ASSERT_EQ(0, mkdir(full.c_str(), 0755));
    Touch("full/f");
    struct {
        std::string dir;
        BOOL rm;
        bool remains;
    } cases[] = {{empty, FALSE, true}, {empty, TRUE, false}, {full, TRUE, true}};
    for (const auto& c : cases) {
        DIR_CTX ctx;
        XFileFindData info;
        ASSERT_EQ(1, XFindFirstFile(c.dir.c_str(), &ctx, &info)) << c.dir;
        while (XFindNextFile(&ctx, &info)) {
        }
        EXPECT_EQ(1, XCloseFindFile(&ctx, c.rm));
        EXPECT_EQ(c.remains, access(c.dir.c_str(), F_OK) == 0) << c.dir << " rm " << c.rm;
        EXPECT_EQ(nullptr, ctx.dir_ctx);
        EXPECT_STREQ("", ctx.path);
    }
}

TEST_F(FindFileTest, EndOfListingStaysAtEnd)
{
    DIR_CTX ctx;
    XFileFindData info;
    ASSERT_EQ(1, XFindFirstFile(m_strDir.c_str(), &ctx, &info));
    int count = 1;
    while (XFindNextFile(&ctx, &info)) {
        ++count;
    }
    EXPECT_EQ(2, count);  // "." and ".."
    EXPECT_EQ(0, XFindNextFile(&ctx, &info));
    XCloseFindFile(&ctx, FALSE);
}

}  // namespace
