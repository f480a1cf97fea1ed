#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Function/common.h"
#include "Platform/BoardRoot.h"

namespace {

namespace fs = std::filesystem;

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

// A throw-away board folder with an empty bin/, made current for the test.
class ExecCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_strOldRoot = PlatformBoardRoot();
        char tmpl[] = "/tmp/fn_board_XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        m_strBoard = tmpl;
        ASSERT_EQ(0, mkdir((m_strBoard + "/bin").c_str(), 0755));
        PlatformSetBoardRoot(m_strBoard.c_str());
    }
    void TearDown() override
    {
        PlatformSetBoardRoot(m_strOldRoot.c_str());
        std::error_code ec;
        fs::remove_all(m_strBoard, ec);
    }
    // A stand-in program in the board's bin/.
    void StandIn(const std::string& name, const std::string& script)
    {
        const std::string path = m_strBoard + "/bin/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << script << "\n";
        ASSERT_EQ(0, chmod(path.c_str(), 0755));
    }

    std::string m_strOldRoot;
    std::string m_strBoard;
};

// A command printing `n` characters of "0123456789..." and a newline.
std::string LongLineCommand(size_t n)
{
    return "yes 0123456789 | tr -d '\\n' | head -c " + std::to_string(n) + "; echo";
}

std::string LongLine(size_t n)
{
    std::string s;
    while (s.size() < n) {
        s += "0123456789";
    }
    return s.substr(0, n);
}

TEST_F(ExecCommandTest, ReturnsStatusFromPcloseAsIs)
{
    struct {
        const char* cmd;
        int exitCode;
    } cases[] = {{"true", 0}, {"exit 0", 0}, {"false", 1}, {"exit 3", 3}, {"exit 255", 255},
                 {"no_such_program_here 2>/dev/null", 127}};
    for (const auto& c : cases) {
        StdoutCapture cap;
        int status = ExecCommand(c.cmd);
        cap.Stop();
        // A wait status, not the bare exit code.
        EXPECT_EQ(c.exitCode << 8, status) << c.cmd;
        EXPECT_TRUE(WIFEXITED(status)) << c.cmd;
        EXPECT_EQ(c.exitCode, WEXITSTATUS(status)) << c.cmd;
    }
    StdoutCapture cap;
    int status = ExecCommand("kill -TERM $$");
    cap.Stop();
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(SIGTERM, WTERMSIG(status));
}

TEST_F(ExecCommandTest, PrintsCompleteLinesOnly)
{
    struct {
        const char* cmd;
        std::string printed;
    } cases[] = {
        {"printf 'one\\ntwo\\n'", "one\ntwo\n"},
        {"printf 'one\\ntwo\\n\\nthree'", "one\ntwo\n\n"},  // unfinished last line dropped
        {"printf 'partial'", ""},
        {"printf ''", ""},
        {"printf 'tab\\there \\n'", "tab\there \n"},
        {"echo out; echo err 1>&2", "out\n"},
    };
    for (const auto& c : cases) {
        StdoutCapture cap;
        EXPECT_EQ(0, ExecCommand(c.cmd)) << c.cmd;
        EXPECT_EQ(c.printed, cap.Stop()) << c.cmd;
    }
}

TEST_F(ExecCommandTest, LongLinesAreCutTo511Characters)
{
    struct {
        size_t length;
        std::string printed;
    } cases[] = {
        {510, LongLine(510)},
        {511, LongLine(511)},
        {512, LongLine(511)},
        {2000, LongLine(511)},
    };
    for (const auto& c : cases) {
        const std::string cmd = LongLineCommand(c.length) + "; echo next";
        StdoutCapture cap;
        EXPECT_EQ(0, ExecCommand(cmd.c_str())) << c.length;
        // One printed line per output line: the rest of a long line is dropped.
        EXPECT_EQ(c.printed + "\nnext\n", cap.Stop()) << c.length;
    }
}

TEST_F(ExecCommandTest, RefusedCommandGivesMinusOne)
{
    // "date" is guarded on the simulated board and this board has no stand-in.
    StdoutCapture cap;
    EXPECT_EQ(-1, ExecCommand("date"));
    EXPECT_EQ(-1, ExecCommand(nullptr));
    EXPECT_EQ("popen exec date command\npopen exec date command\n", cap.Stop());
}

TEST_F(ExecCommandTest, GuardedCommandRunsBoardStandIn)
{
    StandIn("date", "echo board date; exit 4");
    StdoutCapture cap;
    int status = ExecCommand("date");
    EXPECT_EQ("board date\n", cap.Stop());
    EXPECT_EQ(4, WEXITSTATUS(status));
}

TEST_F(ExecCommandTest, Exec2CollectsLines)
{
    struct {
        std::string cmd;
        std::vector<std::string> lines;
    } cases[] = {
        {"printf 'a\\nb\\n'", {"a", "b"}},
        {"printf 'a\\nb'", {"a", "b"}},  // a last line without newline counts
        {"printf ''", {}},
        {"printf '\\n\\n'", {"", ""}},
        {"printf 'x\\r\\n'", {"x\r"}},  // only the newline is removed
        {"printf ' lead  trail \\n'", {" lead  trail "}},
        {"exit 5", {}},
        {LongLineCommand(1023), {LongLine(1023)}},
        {LongLineCommand(1024) + "; echo next", {LongLine(1023), "next"}},
        {LongLineCommand(2000) + "; echo next", {LongLine(1023), "next"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines = {"stale"};
        EXPECT_EQ(static_cast<int>(c.lines.size()), ExecCommand2(c.cmd.c_str(), lines)) << c.cmd;
        EXPECT_EQ(c.lines, lines) << c.cmd;
    }
}

TEST_F(ExecCommandTest, Exec2RefusedCommandGivesMinusOneAndNoLines)
{
    for (const char* cmd : {"date", "mount", static_cast<const char*>(nullptr)}) {
        std::vector<std::string> lines = {"stale", "lines"};
        StdoutCapture cap;
        EXPECT_EQ(-1, ExecCommand2(cmd, lines)) << (cmd ? cmd : "(null)");
        EXPECT_TRUE(lines.empty());
        EXPECT_EQ("", cap.Stop());
    }
}

TEST_F(ExecCommandTest, Exec2UsesBoardStandIn)
{
    StandIn("iwconfig", "echo 'wlan0  ESSID:\"cam\"'; echo '  Mode:Master'");
    std::vector<std::string> lines;
    EXPECT_EQ(2, ExecCommand2("iwconfig wlan0", lines));
    EXPECT_EQ((std::vector<std::string>{"wlan0  ESSID:\"cam\"", "  Mode:Master"}), lines);
}

// Each text reaches the program as one argument, byte for byte, whatever
// the shell would make of it unquoted.
TEST_F(ExecCommandTest, QuotedTextIsOneArgumentAsIs)
{
    const std::string texts[] = {
        "/tmp/mmc0", "/tmp/my board/tmp/mmc0", "it's", "'", "''", "$(reboot)", "`reboot`", "a;reboot",
        "a&&b|c", "\"quoted\"", "back\\slash", "tab\there", "new\nline", "*?[x]", "~root", "$HOME", "",
        "-n", "%s", "a=b c",
    };
    for (const std::string& text : texts) {
        const std::string cmd = "printf '%s|' " + XShellQuote(text);
        std::vector<std::string> lines;
        ASSERT_GE(ExecCommand2(cmd.c_str(), lines), 1) << cmd;
        std::string got;
        for (size_t i = 0; i < lines.size(); ++i) {
            got += (i > 0 ? "\n" : "") + lines[i];
        }
        EXPECT_EQ(text + "|", got) << cmd;
    }
    // What the shell takes literally stays as it is: device commands keep their text.
    for (const char* plain : {"/tmp/mmc0", "/dev/mmcblk0p1", "a-b_c.d,e:f@g%h+i=j"}) {
        EXPECT_EQ(plain, XShellQuote(plain));
    }
    EXPECT_EQ("'/tmp/my board'", XShellQuote("/tmp/my board"));
    EXPECT_EQ("'it'\\''s'", XShellQuote("it's"));
}

// The pipe of a running command is closed on exec: a child started meanwhile
// by other means (here system()) does not see it.
TEST_F(ExecCommandTest, OtherChildrenDoNotInheritTheCommandPipe)
{
    auto pipes = [] {
        std::set<std::string> out;
        for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
            std::error_code ec;
            std::string target = fs::read_symlink(e.path(), ec).string();
            if (!ec && target.compare(0, 5, "pipe:") == 0) {
                out.insert(e.path().filename().string() + " " + target);
            }
        }
        return out;
    };
    const std::set<std::string> before = pipes();
    const std::string stop = m_strBoard + "/stop";
    std::thread runner([&] {
        std::vector<std::string> lines;
        const std::string cmd = "while [ ! -e " + XShellQuote(stop) + " ]; do sleep 0.02; done; echo done";
        ExecCommand2(cmd.c_str(), lines);
    });
    // The child's end of the pipe shows for a moment while the command starts;
    // the reading end is the one still there in two scans.
    std::string fd, inode;
    int flags = -1;
    std::set<std::string> last;
    for (int i = 0; i < 500 && fd.empty(); ++i) {
        const std::set<std::string> now = pipes();
        for (const std::string& p : now) {
            if (before.count(p) == 0 && last.count(p) != 0) {
                const std::string f = p.substr(0, p.find(' '));
                flags = fcntl(std::stoi(f), F_GETFD);
                if (flags >= 0) {
                    fd = f;
                    inode = p.substr(p.find(' ') + 1);
                }
            }
        }
        last = now;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::string seen;
    if (!fd.empty()) {
        EXPECT_NE(0, flags & FD_CLOEXEC) << fd;
        const std::string list = m_strBoard + "/fds";
        const std::string child = "for f in /proc/$$/fd/*; do readlink $f; done > " + list + " 2>/dev/null; true";
        EXPECT_EQ(0, system(child.c_str()));
        std::ifstream in(list);
        std::stringstream ss;
        ss << in.rdbuf();
        seen = ss.str();
    }
    std::ofstream(stop).close();
    runner.join();
    ASSERT_FALSE(fd.empty()) << "the command's pipe never showed";
    EXPECT_EQ(std::string::npos, seen.find(inode)) << seen;
    EXPECT_NE(std::string::npos, seen.find("/fds")) << seen;  // the listing itself worked
}

}  // namespace
