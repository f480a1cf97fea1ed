#include <gtest/gtest.h>

#include <stdio.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "Function/common.h"
#include "Platform/BoardRoot.h"
#include "Platform/Shell.h"
#include "support/TestBoard.h"

namespace {

void WriteScript(const std::string& path, const std::string& body)
{
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    chmod(path.c_str(), 0755);
}

}  // namespace

TEST(Shell, RebootReachesTheBoardStandInOnly)
{
    CTestBoard board;
    EXPECT_EQ(ExecCommand("reboot"), 0);
    EXPECT_EQ(board.Commands(), "reboot\n");

    board.Sim("standin", "reboot 3");
    int status = ExecCommand("reboot -f");
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(board.Commands(), "reboot\nreboot -f\n");
}

TEST(Shell, StandInStatusForAFewRuns)
{
    CTestBoard board;
    board.Sim("standin", "mkdosfs 1 --times 2");
    int results[4];
    for (int& r : results) {
        r = ExecCommand("mkdosfs -v /dev/mmcblk0p1");
    }
    EXPECT_NE(results[0], 0);
    EXPECT_NE(results[1], 0);
    EXPECT_EQ(results[2], 0);
    EXPECT_EQ(results[3], 0);
}

TEST(Shell, GuardedProgramsWithoutStandInAreRefused)
{
    CTestBoard board;
    for (const char* name : {"reboot", "mkdosfs", "e2fsck", "ifconfig", "mount"}) {
        remove(board.Path(std::string("/bin/") + name).c_str());
    }
    for (const char* cmd : {"reboot", "mkdosfs -v /dev/mmcblk0p1", "e2fsck -p /dev/mmcblk0p1", "fsck.vfat -a /dev/sda1",
                            "dosfsck -a /dev/sda1", "/sbin/fsck -y /dev/sda1", "ifconfig wlan0 down",
                            "echo x; reboot", "echo x && /sbin/reboot", "true | mount -a", "FOO=1 reboot",
                            "hwclock -w", "ip link set wlan0 down"}) {
        std::string out;
        testing::internal::CaptureStderr();
        EXPECT_EQ(PlatformShellCommand(cmd, out), 0) << cmd;
        testing::internal::GetCapturedStderr();
        EXPECT_TRUE(out.empty());
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(ExecCommand("reboot"), -1);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(board.Commands(), "");
}

TEST(Shell, AbsoluteProgramPathsResolveUnderTheBoard)
{
    CTestBoard board;
    // "/bin/setrtc" is the board's stand-in, never the host's.
    EXPECT_EQ(ExecCommand("/bin/setrtc -s time 2026/12/10/10/00/00"), 0);
    EXPECT_EQ(board.Commands(), "setrtc -s time 2026/12/10/10/00/00\n");

    WriteScript(board.Path("/bin/hello"), "echo hello from the board");
    std::vector<std::string> lines;
    EXPECT_EQ(ExecCommand2("/bin/hello", lines), 1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "hello from the board");
}

TEST(Shell, BoardBinComesFirstInPath)
{
    CTestBoard board;
    WriteScript(board.Path("/bin/tar"), "echo board tar");
    std::vector<std::string> lines;
    EXPECT_EQ(ExecCommand2("tar --version", lines), 1);
    EXPECT_EQ(lines.at(0), "board tar");
}

TEST(Shell, RefusedWithoutABoardRoot)
{
    PlatformSetBoardRoot("");
    std::string out;
    testing::internal::CaptureStderr();
    EXPECT_EQ(PlatformShellCommand("echo hi", out), 0);
    testing::internal::GetCapturedStderr();
}

// A board whose path the shell would split or expand: the stand-ins and the
// programs named by absolute path are still the board's, and a path handed
// in quoted reaches them as one argument.
TEST(Shell, BoardPathWithBlanksAndQuotes)
{
    CTestBoard board("it's a $(board)");
    const std::string card = board.Path("/tmp/mmc0");
    EXPECT_EQ(ExecCommand("/bin/setrtc -s time 2026/12/10/10/00/00"), 0);
    EXPECT_EQ(ExecCommand(("umount " + XShellQuote(card) + " \n").c_str()), 0);
    EXPECT_EQ(ExecCommand("reboot"), 0);
    EXPECT_EQ(board.Commands(), "setrtc -s time 2026/12/10/10/00/00\numount " + card + "\nreboot\n");

    WriteScript(board.Path("/bin/args"), "for a in \"$@\"; do echo \"[$a]\"; done");
    std::vector<std::string> lines;
    EXPECT_EQ(ExecCommand2(("/bin/args " + XShellQuote(card) + " two").c_str(), lines), 2);
    EXPECT_EQ(lines, std::vector<std::string>({"[" + card + "]", "[two]"}));
}

// Quoted text is no command: only what the shell would run is checked.
TEST(Shell, GuardSeesThroughQuotesOnly)
{
    CTestBoard board;
    remove(board.Path("/bin/reboot").c_str());
    struct tagCase {
        const char* cmd;
        bool runs;
    };
    const tagCase cases[] = {
        {"echo 'a;reboot'", true},
        {"echo 'x' 'y | reboot'", true},
        {"echo a\\;reboot", true},
        {"echo a;reboot", false},
        {"echo \"$(reboot)\"", false},
        {"'reboot'", false},
        {"re''boot", false},
        {"\\reboot", false},
        {"'/sbin/reboot' -f", false},
    };
    for (const tagCase& c : cases) {
        std::string out;
        testing::internal::CaptureStderr();
        EXPECT_EQ(PlatformShellCommand(c.cmd, out), c.runs ? 1 : 0) << c.cmd;
        testing::internal::GetCapturedStderr();
    }
    std::vector<std::string> lines;
    EXPECT_EQ(ExecCommand2("echo 'a;reboot'", lines), 1);
    EXPECT_EQ(lines, std::vector<std::string>({"a;reboot"}));
}
