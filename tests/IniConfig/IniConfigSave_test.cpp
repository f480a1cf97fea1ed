#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "IniConfig/IniConfig.h"
#include "support/TestBoard.h"
#include "tests/IniConfig/IniConfigStoreSupport.h"

namespace {

// Checks inside the forked child: report and leave with status 1.
#define CHILD_CHECK(cond)                                                          \
    do {                                                                           \
        if (!(cond)) {                                                             \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            fflush(stderr);                                                        \
            _exit(1);                                                              \
        }                                                                          \
    } while (0)

// Runs `body` in a child with a private mount namespace in which a tmpfs of
// `size` bytes covers `dir`; the host's mount table never changes. The
// child's exit status, or -1 when it could not be set up.
int XRunOnPrivateTmpfs(const std::string& dir, const std::string& size, const std::function<void()>& body)
{
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) {
        return -1;
    }
    if (pid == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            fprintf(stderr, "private mount namespace: %s\n", strerror(errno));
            _exit(3);
        }
        std::string opts = "size=" + size + ",mode=0755";
        if (mount("tmpfs", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, opts.c_str()) != 0) {
            fprintf(stderr, "tmpfs on %s: %s\n", dir.c_str(), strerror(errno));
            _exit(3);
        }
        body();
        fflush(stdout);
        _exit(0);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Fills the file system holding `dir` to the last byte.
void XFillFileSystem(const std::string& dir)
{
    int fd = open((dir + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    CHILD_CHECK(fd >= 0);
    std::vector<char> block(4096, 'f');
    while (write(fd, block.data(), block.size()) > 0) {
    }
    while (write(fd, block.data(), 1) > 0) {
    }
    CHILD_CHECK(errno == ENOSPC);
    close(fd);
}

class IniConfigSave : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0) {
            GTEST_SKIP() << "needs root for a tmpfs in a private mount namespace";
        }
    }
    std::string Root() const { return m_Board.Path("/root"); }
    std::string File() const { return m_Board.Path("/root/system.ini"); }

    CTestBoard m_Board;
};

TEST_F(IniConfigSave, ReadOnlyFolderKeepsTheFileAndSetIntFails)
{
    int status = XRunOnPrivateTmpfs(Root(), "64k", [this] {
        CTestIniConfig store;
        CHILD_CHECK(store.Init());
        const std::string before = XFileText(File());
        CHILD_CHECK(before == XGoldenSettings());
        CHILD_CHECK(mount(nullptr, Root().c_str(), nullptr, MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0);

        CHILD_CHECK(store.SetInt("funcset", "volume", 0, 3) == 0);
        CHILD_CHECK(store.SetInt("funcset", "language", 2) == 0);
        CHILD_CHECK(XFileText(File()) == before);
        // The new values serve this run.
        CHILD_CHECK(store.GetInt("funcset", "volume", 15) == 3);
        CHILD_CHECK(store.GetLanguageCfg() == 2);
        CHILD_CHECK(!store.SaveFuncSetting());
        CHILD_CHECK(!store.ResetIniConfig());
        CHILD_CHECK(XFileText(File()) == before);
        CHILD_CHECK(!XPathExists(File() + ".tmp"));
    });
    EXPECT_EQ(status, 0);
}

TEST_F(IniConfigSave, FullFileSystemKeepsTheFileAndSetIntFails)
{
    int status = XRunOnPrivateTmpfs(Root(), "16k", [this] {
        CTestIniConfig store;
        CHILD_CHECK(store.Init());
        CHILD_CHECK(store.SetInt("funcset", "volume", 0, 9) == 2);
        const std::string before = XFileText(File());
        CHILD_CHECK(before.find("volume=9\n") != std::string::npos);
        XFillFileSystem(Root());

        CHILD_CHECK(store.SetInt("funcset", "volume", 0, 3) == 0);
        CHILD_CHECK(store.SetInt("funcset", "newkey", 0, 1) == 0);
        CHILD_CHECK(XFileText(File()) == before);
        CHILD_CHECK(!XPathExists(File() + ".tmp"));
        CHILD_CHECK(!store.ResetIniConfig());
        CHILD_CHECK(XFileText(File()) == before);

        // Space again: the next write carries everything set meanwhile.
        CHILD_CHECK(unlink((Root() + "/filler").c_str()) == 0);
        CHILD_CHECK(store.SetInt("funcset", "volume", 0, 4) == 2);
        std::string expected = XGoldenSettings();
        expected.replace(expected.find("volume=13"), 9, "volume=4");
        expected.insert(expected.find("parkingtimethreshold"), "newkey=1\n");
        CHILD_CHECK(XFileText(File()) == expected);
    });
    EXPECT_EQ(status, 0);
}

TEST_F(IniConfigSave, CreatingOnAFullFileSystemStillServesDefaults)
{
    int status = XRunOnPrivateTmpfs(Root(), "16k", [this] {
        XFillFileSystem(Root());
        CTestIniConfig store;
        CHILD_CHECK(!store.Init());
        CHILD_CHECK(!XPathExists(File()) || XFileText(File()).empty());
        CHILD_CHECK(store.GetInt("funcset", "volume", 15) == 13);
        CHILD_CHECK(store.GetLanguageCfg() == 1);
        CHILD_CHECK(store.GetParkingVoiceCfg() == 1);
    });
    EXPECT_EQ(status, 0);
}

}  // namespace
