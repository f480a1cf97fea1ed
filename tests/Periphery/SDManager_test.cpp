#include <gtest/gtest.h>

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Periphery/SDManager.h"
#include "Platform/BoardRoot.h"
#include "support/TestBoard.h"
#include "tests/Periphery/SDTestSupport.h"

namespace {

const int I = emSDState_Insert;
const int M = emSDState_Mount;
const int RO = emSDState_ReadOnly;
const int WP = emSDState_WriteProtect;

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

// A manager on the in-memory system calls, with the board's /dev and /sys
// files for the card's nodes and read-only attribute, and one recording
// callback.
class SDManagerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_SD.RegisterSDStateCallback(SDStateLog::Record, &m_Log)); }

    std::string Dev() const { return XBoardPath("/dev/mmcblk0p1"); }
    std::string Dir() const { return XBoardPath("/tmp/mmc0"); }
    void SetSysReadOnly(bool ro) const { std::ofstream(m_Board.Path("/sys/block/mmcblk0/ro")) << (ro ? "1\n" : "0\n"); }

    // One poll with its standard output and error.
    int Poll(std::string* out = nullptr, std::string* err = nullptr)
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int r = m_SD.CheckSDCard();
        std::string o = testing::internal::GetCapturedStdout();
        std::string e = testing::internal::GetCapturedStderr();
        if (out != nullptr) {
            *out = o;
        }
        if (err != nullptr) {
            *err = e;
        }
        return r;
    }
    int Format(std::string* out = nullptr)
    {
        testing::internal::CaptureStdout();
        int r = m_SD.Format();
        std::string o = testing::internal::GetCapturedStdout();
        if (out != nullptr) {
            *out = o;
        }
        return r;
    }
    std::string MountPath()
    {
        char path[257];
        return m_SD.GetSDMountPath(path, sizeof(path)) ? std::string(path) : std::string("(none)");
    }
    // A mounted card with its first callback seen and the call log emptied.
    void MountCard()
    {
        ASSERT_EQ(Poll(), I | M);
        ASSERT_EQ(m_Log.States(), std::vector<int>({I | M}));
        m_Sys.ClearCalls();
    }

    CTestBoard m_Board;
    CFakeSDSystem m_Sys;
    CSDManager m_SD{&m_Sys};
    SDStateLog m_Log;
};

// ---- insertion and the first poll ----

TEST_F(SDManagerTest, FirstPollReportsTheCardInOneCallback)
{
    struct tagCase {
        const char* name;
        bool inserted;
        bool writeProtect;
        bool sysReadOnly;
        std::vector<int> mountErrors;
        int state;
        const char* line;
    };
    const tagCase cases[] = {
        {"plain card", true, false, false, {}, I | M, "SD Card Not Read Only.\n"},
        {"write-protect switch on", true, true, false, {}, I | M | WP, "SD Card Write Protect.\n"},
        {"read-only block device", true, false, true, {}, I | M | RO, "SD Card Read Only.\n"},
        {"refused read-write, mounted read-only", true, false, false, {EACCES}, I | M | RO, "SD Card Read Only.\n"},
        {"no file system", true, false, false, {EINVAL}, I, "SD Card Mount Error.\n"},
        {"no card", false, false, false, {}, 0, "SD Card Removed.\n"},
    };
    for (const tagCase& c : cases) {
        SCOPED_TRACE(c.name);
        CFakeSDSystem sys;
        sys.m_bInserted = c.inserted;
        sys.m_bProtected = c.writeProtect;
        sys.m_MountErrors.assign(c.mountErrors.begin(), c.mountErrors.end());
        SetSysReadOnly(c.sysReadOnly);
        CSDManager sd(&sys);
        SDStateLog log;
        ASSERT_TRUE(sd.RegisterSDStateCallback(SDStateLog::Record, &log));
        testing::internal::CaptureStdout();
        int state = sd.CheckSDCard();
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(state, c.state);
        EXPECT_EQ(sd.GetSDSate(), c.state);
        EXPECT_EQ(log.States(), std::vector<int>({c.state}));
        EXPECT_NE(out.find(c.line), std::string::npos) << out;
        char path[257];
        EXPECT_EQ(sd.GetSDMountPath(path, sizeof(path)), (c.state & M) ? TRUE : FALSE);
        // a second poll with nothing changed tells nobody
        sd.CheckSDCard();
        EXPECT_EQ(log.States().size(), 1u);
    }
}

TEST_F(SDManagerTest, MountRunsTheDeviceCommandsOnTheBoardFolder)
{
    std::string out;
    ASSERT_EQ(Poll(&out), I | M);
    const std::vector<std::string> expected = {
        "exec mkdir -p " + Dir() + " \n",
        "exec umount " + Dir() + " \n",
        "mount " + Dev() + " " + Dir() + " rw",
        "exec mount -oremount,rw " + Dir() + " \n",
        "statfs " + Dir(),
    };
    EXPECT_EQ(m_Sys.Calls(), expected);
    EXPECT_NE(out.find("mount -t ext2 " + Dev() + " " + Dir() + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("SD Card Mounted.Block Size:4096 Byte\n"), std::string::npos) << out;
    EXPECT_NE(out.find("SD Card Inserted.\n"), std::string::npos);
    EXPECT_NE(out.find("SD Card Write/Read.\n"), std::string::npos);
    // handed out as the device's path, not the board's
    EXPECT_EQ(MountPath(), "/tmp/mmc0/");
}

TEST_F(SDManagerTest, LatePartitionNodeIsRetriedWithoutStateChanges)
{
    ASSERT_EQ(unlink(m_Board.Path("/dev/mmcblk0p1").c_str()), 0);
    for (int i = 0; i < 3; ++i) {
        std::string err;
        EXPECT_EQ(Poll(nullptr, &err), 0);
        EXPECT_NE(err.find("Error["), std::string::npos);
        EXPECT_NE(err.find("Get SD Dev Node Name Error..."), std::string::npos) << err;
    }
    EXPECT_TRUE(m_Log.States().empty());
    EXPECT_TRUE(m_Sys.Calls("mount").empty());
    std::ofstream(m_Board.Path("/dev/mmcblk0p1")).close();
    EXPECT_EQ(Poll(), I | M);
    EXPECT_EQ(m_Log.States(), std::vector<int>({I | M}));
}

TEST_F(SDManagerTest, FirstPartitionOfTheFirstDiskPresent)
{
    // no mmcblk0 at all; mmcblk1 has only its second partition
    unlink(m_Board.Path("/dev/mmcblk0").c_str());
    unlink(m_Board.Path("/dev/mmcblk0p1").c_str());
    std::ofstream(m_Board.Path("/dev/mmcblk1")).close();
    std::ofstream(m_Board.Path("/dev/mmcblk1p2")).close();
    std::ofstream(m_Board.Path("/dev/mmcblk1p3")).close();
    EXPECT_EQ(Poll(), I | M);
    EXPECT_EQ(m_Sys.Calls("mount "), std::vector<std::string>(
                                         {"mount " + XBoardPath("/dev/mmcblk1p2") + " " + XBoardPath("/tmp/mmc1") + " rw"}));
    EXPECT_EQ(MountPath(), "/tmp/mmc1/");
}

TEST_F(SDManagerTest, UnreadableControllerChangesNothing)
{
    MountCard();
    m_Sys.m_bRegistersFail = true;
    std::string err;
    EXPECT_EQ(Poll(nullptr, &err), I | M);
    EXPECT_NE(err.find("Error["), std::string::npos);
    EXPECT_TRUE(m_Sys.Calls("umount").empty());
    EXPECT_TRUE(m_Sys.Calls("detach").empty());
    EXPECT_EQ(m_Log.States().size(), 1u);
}

TEST_F(SDManagerTest, StaleMountAtInsertionIsReplaced)
{
    struct tagCase {
        const char* name;
        int busy;           // plain unmounts that fail
        bool detachFails;
        std::vector<std::string> calls;  // unmount and mount calls
    };
    const std::string dir = Dir();
    const std::string dev = Dev();
    const tagCase cases[] = {
        {"idle", 0, false, {"umount " + dir, "mount " + dev + " " + dir + " rw"}},
        {"busy", 1, false, {"umount " + dir, "detach " + dir, "mount " + dev + " " + dir + " rw"}},
        // the unmount fails for good: the mount there is taken as the card's
        {"stuck", -1, true, {"umount " + dir, "detach " + dir}},
    };
    for (const tagCase& c : cases) {
        SCOPED_TRACE(c.name);
        CFakeSDSystem sys;
        sys.m_strTable = dev + " " + dir + " ext2 rw,relatime 0 0\n";
        sys.m_nUmountBusy = c.busy;
        sys.m_bDetachFails = c.detachFails;
        CSDManager sd(&sys);
        testing::internal::CaptureStdout();
        EXPECT_EQ(sd.CheckSDCard(), I | M);
        std::string out = testing::internal::GetCapturedStdout();
        std::vector<std::string> calls;
        for (const std::string& call : sys.Calls()) {
            if (call.compare(0, 6, "umount") == 0 || call.compare(0, 6, "detach") == 0 ||
                call.compare(0, 5, "mount") == 0) {
                calls.push_back(call);
            }
        }
        EXPECT_EQ(calls, c.calls);
        EXPECT_EQ(Count(sys.m_strTable, dir), 1u) << sys.m_strTable;
        EXPECT_EQ(out.find("UMOUNT ERROR[") != std::string::npos, c.detachFails) << out;
    }
}

TEST_F(SDManagerTest, AnotherDeviceOnTheMountFolderMakesTheCardReadOnly)
{
    m_Sys.m_strTable = "tmpfs " + Dir() + " tmpfs rw 0 0\n";
    EXPECT_EQ(Poll(), I | M | RO);
}

TEST_F(SDManagerTest, MountTableFieldsAreDecoded)
{
    // a board folder with a blank, written by the kernel as \040
    std::string root = m_Board.Dir() + "/with blank";
    ASSERT_EQ(XTestRun("mkdir -p '" + root + "/dev' '" + root + "/sys/block/mmcblk0' && touch '" + root +
                       "/dev/mmcblk0' '" + root + "/dev/mmcblk0p1' && echo ok"),
              "ok\n");
    PlatformSetBoardRoot(root.c_str());
    CFakeSDSystem sys;
    CSDManager sd(&sys);
    testing::internal::CaptureStdout();
    EXPECT_EQ(sd.CheckSDCard(), I | M);
    EXPECT_NE(sys.m_strTable.find("/with\\040blank/tmp/mmc0 ext2 rw"), std::string::npos) << sys.m_strTable;
    sd.CheckSDCard();
    EXPECT_EQ(sd.GetSDSate(), I | M);
    sys.m_strTable.clear();  // and its loss is seen as well
    sd.CheckSDCard();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(sd.GetSDSate(), I);
    PlatformSetBoardRoot(m_Board.Dir().c_str());
}

// A board folder of its own inside the test board, with the card's nodes.
std::string XMakeBoardRoot(const std::string& root)
{
    std::filesystem::create_directories(root + "/dev");
    std::filesystem::create_directories(root + "/sys/block/mmcblk0");
    std::ofstream(root + "/dev/mmcblk0").close();
    std::ofstream(root + "/dev/mmcblk0p1").close();
    std::ofstream(root + "/sys/block/mmcblk0/ro") << "0\n";
    return root;
}

// The kernel escapes only blank, tab, newline and backslash: every other byte
// of a name (\r, \v, \f, ...) stands raw inside its field.
TEST_F(SDManagerTest, MountTableFieldsSplitOnBlanksAndTabsOnly)
{
    typedef std::function<std::string(const std::string& dev, const std::string& dir)> Lines;
    const Lines none = [](const std::string&, const std::string&) { return std::string(); };
    const auto E = CFakeSDSystem::Escape;
    struct tagCase {
        const char* name;
        std::string leaf;  // a board folder of that name, or the test board
        Lines before;      // lines in the table before the first poll
        int state;
    };
    const tagCase cases[] = {
        {"form feed in the board folder", "form\ffeed", none, I | M},
        {"carriage return in the board folder", "carriage\rreturn", none, I | M},
        {"vertical tab in the board folder", "vertical\vtab", none, I | M},
        {"tab and backslash in the board folder", "tab\tand\\backslash", none, I | M},
        {"another device on a folder named like the card's and more", "",
         [&](const std::string&, const std::string& dir) { return "tmpfs " + E(dir) + "\f/x tmpfs rw 0 0\n"; }, I | M},
        {"a source holding the card's node and folder", "",
         [&](const std::string& dev, const std::string& dir) { return E(dev) + "\v" + E(dir) + " /mnt/x ext2 rw 0 0\n"; },
         I | M},
        {"another device on the card's folder, fields apart by tabs", "",
         [&](const std::string&, const std::string& dir) { return "tmpfs\t" + E(dir) + "\ttmpfs\trw 0 0\n"; },
         I | M | RO},
    };
    for (const tagCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.leaf.empty()) {
            PlatformSetBoardRoot(XMakeBoardRoot(m_Board.Dir() + "/" + c.leaf).c_str());
        }
        CFakeSDSystem sys;
        sys.m_strTable = c.before(Dev(), Dir());
        CSDManager sd(&sys);
        testing::internal::CaptureStdout();
        EXPECT_EQ(sd.CheckSDCard(), c.state);
        EXPECT_EQ(sd.CheckSDCard(), c.state);  // and the next poll reads the same
        std::string out = testing::internal::GetCapturedStdout();
        // no line was taken for a stale mount of the card
        EXPECT_TRUE(sys.Calls("umount").empty()) << out;
        PlatformSetBoardRoot(m_Board.Dir().c_str());
    }
}

// Board paths reach the shell as one word each: read by a real shell, the
// device commands name exactly the board's card folder and partition.
TEST_F(SDManagerTest, DeviceCommandsQuoteTheBoardPaths)
{
    const std::string root = XMakeBoardRoot(m_Board.Dir() + "/it's a $(board);x & y");
    PlatformSetBoardRoot(root.c_str());
    CFakeSDSystem sys;
    CSDManager sd(&sys);
    testing::internal::CaptureStdout();
    ASSERT_EQ(sd.CheckSDCard(), I | M);
    sys.SetLineMode(Dir(), "ro");  // the poll remounts it read-write
    sys.m_ExecHook = [&](const std::string& cmd) {
        if (cmd.find("remount,rw") != std::string::npos) {
            sys.SetLineMode(Dir(), "rw");
        }
        return 0;
    };
    EXPECT_EQ(sd.CheckSDCard(), I | M);
    EXPECT_EQ(sd.Format(), 0);
    testing::internal::GetCapturedStdout();
    const struct {
        const char* program;
        std::string path;
    } commands[] = {
        {"mkdir -p ", Dir()}, {"umount ", Dir()}, {"mount -oremount,rw ", Dir()}, {"mkdosfs -v ", Dev()}};
    std::vector<std::string> seen;
    for (const std::string& call : sys.Calls("exec ")) {
        const std::string cmd = call.substr(5);
        for (const auto& c : commands) {
            if (cmd.compare(0, strlen(c.program), c.program) == 0) {
                seen.push_back(c.program);
                EXPECT_EQ(XTestRun("printf '[%s]\\n' " + cmd.substr(strlen(c.program))), "[" + c.path + "]\n") << cmd;
            }
        }
    }
    EXPECT_EQ(seen, std::vector<std::string>({"mkdir -p ", "umount ", "mount -oremount,rw ",
                                              "mount -oremount,rw ", "mkdosfs -v "}));
    PlatformSetBoardRoot(m_Board.Dir().c_str());
}

TEST_F(SDManagerTest, MissingMountTableIsAnError)
{
    m_Sys.m_bTableMissing = true;
    std::string out, err;
    EXPECT_EQ(Poll(&out, &err), I);
    EXPECT_NE(err.find("/proc/mounts not found. Is the /proc filesystem mounted?"), std::string::npos) << err;
    EXPECT_NE(out.find("CHECK MOUNTED STATUS FAILED 2.\n"), std::string::npos) << out;
    EXPECT_NE(out.find("SD Card Mount Error.\n"), std::string::npos) << out;
}

TEST_F(SDManagerTest, MountWhoseCheckFailsLeavesNothingMounted)
{
    struct tagCase {
        const char* name;
        std::vector<int> mountErrors;
        int busy;
        bool detachFails;
        std::vector<std::string> unmounts;  // after the mount
        size_t linesLeft;
    };
    const std::string dir = Dir();
    const tagCase cases[] = {
        {"idle", {}, 0, false, {"umount " + dir}, 0},
        {"busy", {}, -1, false, {"umount " + dir, "detach " + dir}, 0},
        {"mounted read-only", {EACCES}, 0, false, {"umount " + dir}, 0},
        {"cannot be unmounted", {}, -1, true, {"umount " + dir, "detach " + dir}, 1},
    };
    for (const tagCase& c : cases) {
        SCOPED_TRACE(c.name);
        CFakeSDSystem sys;
        sys.m_bTableMissing = true;
        sys.m_MountErrors.assign(c.mountErrors.begin(), c.mountErrors.end());
        sys.m_nUmountBusy = c.busy;
        sys.m_bDetachFails = c.detachFails;
        CSDManager sd(&sys);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(sd.CheckSDCard(), I);
        std::string out = testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        EXPECT_NE(out.find("CHECK MOUNTED STATUS FAILED 2.\n"), std::string::npos) << out;
        EXPECT_NE(out.find("SD Card Mount Error.\n"), std::string::npos) << out;
        std::vector<std::string> unmounts = sys.Calls("umount");
        for (const std::string& d : sys.Calls("detach")) {
            unmounts.push_back(d);
        }
        EXPECT_EQ(unmounts, c.unmounts);
        EXPECT_EQ(Count(sys.m_strTable, dir), c.linesLeft) << sys.m_strTable;
        EXPECT_EQ(out.find("UMOUNT ERROR[") != std::string::npos, c.detachFails) << out;
    }
}

TEST_F(SDManagerTest, FailedMountWaitsForTheCardToComeBack)
{
    m_Sys.m_MountErrors = {EINVAL};
    EXPECT_EQ(Poll(), I);
    Poll();
    Poll();
    EXPECT_EQ(m_Sys.Calls("mount ").size(), 1u);
    m_Sys.m_bInserted = false;
    EXPECT_EQ(Poll(), 0);
    m_Sys.m_bInserted = true;
    EXPECT_EQ(Poll(), I | M);
    EXPECT_EQ(m_Log.States(), std::vector<int>({I, 0, I | M}));
}

// ---- a card left dirty ----

// The first bytes of an ext2 partition whose superblock has the state `state`.
std::vector<uint8_t> Ext2Start(uint16_t state)
{
    std::vector<uint8_t> b(2048, 0);
    b[1024 + 56] = 0x53;
    b[1024 + 57] = 0xEF;
    b[1024 + 58] = static_cast<uint8_t>(state);
    b[1024 + 59] = static_cast<uint8_t>(state >> 8);
    return b;
}

// The check command's exit status as the shell hands it back; other commands exit 0.
std::function<int(const std::string&)> CheckExits(int code, std::vector<std::string>* runs = nullptr)
{
    return [code, runs](const std::string& cmd) {
        if (cmd.compare(0, 7, "e2fsck ") != 0) {
            return 0;
        }
        if (runs != nullptr) {
            runs->push_back(cmd);
        }
        return code < 0 ? -code : code << 8;  // negative: killed by that signal
    };
}

TEST_F(SDManagerTest, DirtyCardIsCheckedBeforeTheMount)
{
    struct tagCase {
        const char* name;
        uint16_t fsState;
        int readError;
        int exitCode;
        bool writeProtect;
        bool sysReadOnly;
        bool checked;
        int state;
        const char* line;  // on stdout, or (check failed) on stderr
    };
    const tagCase cases[] = {
        {"clean", 1, 0, 0, false, false, false, I | M, "SD Card Not Read Only.\n"},
        {"held by a file system", 0, EBUSY, 0, false, false, false, I | M, "SD Card Not Read Only.\n"},
        {"dirty, no errors", 0, 0, 0, false, false, true, I | M, "SD Card Checked: No Errors.\n"},
        {"dirty, repaired", 0, 0, 1, false, false, true, I | M, "SD Card Checked: Errors Repaired.\n"},
        {"errors recorded, repaired", 3, 0, 2, false, false, true, I | M, "SD Card Checked: Errors Repaired.\n"},
        {"dirty, errors left", 0, 0, 4, false, false, true, I, "SD card check failed, the card is not mounted"},
        {"dirty, check did not run", 0, 0, 8, false, false, true, I, "SD card check failed"},
        {"dirty, check killed", 0, 0, -9, false, false, true, I, "not mounted[status=9]"},
        {"dirty, write-protected", 0, 0, 4, true, false, false, I | M | WP, "Not Checked: Read Only.\n"},
        {"dirty, read-only block device", 0, 0, 4, false, true, false, I | M | RO, "Not Checked: Read Only.\n"},
    };
    const std::string check = "exec e2fsck -p " + Dev() + " \n";
    for (const tagCase& c : cases) {
        SCOPED_TRACE(c.name);
        CFakeSDSystem sys;
        sys.m_Partition = Ext2Start(c.fsState);
        sys.m_nPartitionError = c.readError;
        sys.m_bProtected = c.writeProtect;
        sys.m_ExecHook = CheckExits(c.exitCode);
        SetSysReadOnly(c.sysReadOnly);
        CSDManager sd(&sys);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(sd.CheckSDCard(), c.state);
        const std::string out = testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        const bool mounted = (c.state & M) != 0;
        EXPECT_NE((mounted ? out : err).find(c.line), std::string::npos) << out << err;
        EXPECT_EQ(sd.GetCardCheckFailed(), mounted ? FALSE : TRUE);
        EXPECT_EQ(err.find("Error[") != std::string::npos, !mounted) << err;
        // the check runs after the folder is free and before the mount
        std::vector<std::string> calls;
        for (const std::string& call : sys.Calls()) {
            if (call.compare(0, 5, "exec ") == 0 || call.compare(0, 6, "mount ") == 0) {
                calls.push_back(call);
            }
        }
        std::vector<std::string> expected = {"exec mkdir -p " + Dir() + " \n", "exec umount " + Dir() + " \n"};
        if (c.checked) {
            expected.push_back(check);
        }
        if (mounted) {
            expected.push_back("mount " + Dev() + " " + Dir() + " rw");
            expected.push_back("exec mount -oremount,rw " + Dir() + " \n");
        }
        EXPECT_EQ(calls, expected);
        EXPECT_EQ(out.find("SD Card Not Cleanly Unmounted, Checking: e2fsck -p " + Dev() + " \n") !=
                      std::string::npos,
                  c.checked)
            << out;
    }
}

TEST_F(SDManagerTest, CardWhoseCheckFailedWaitsForTheCardToComeBack)
{
    std::vector<std::string> runs;
    m_Sys.m_Partition = Ext2Start(0);
    m_Sys.m_ExecHook = CheckExits(4, &runs);
    EXPECT_EQ(Poll(), I);
    EXPECT_TRUE(m_SD.GetCardCheckFailed());
    EXPECT_EQ(MountPath(), "(none)");
    // the polls that follow neither check nor mount again
    EXPECT_EQ(Poll(), I);
    EXPECT_EQ(Poll(), I);
    EXPECT_EQ(runs.size(), 1u);
    EXPECT_TRUE(m_Sys.Calls("mount ").empty());
    EXPECT_TRUE(m_SD.GetCardCheckFailed());

    // taken out: the mark goes with it; put back: checked afresh
    m_Sys.m_bInserted = false;
    EXPECT_EQ(Poll(), 0);
    EXPECT_FALSE(m_SD.GetCardCheckFailed());
    m_Sys.m_bInserted = true;
    m_Sys.m_ExecHook = CheckExits(1, &runs);
    EXPECT_EQ(Poll(), I | M);
    EXPECT_EQ(runs.size(), 2u);
    EXPECT_FALSE(m_SD.GetCardCheckFailed());
    EXPECT_EQ(m_Log.States(), std::vector<int>({I, 0, I | M}));
}

TEST_F(SDManagerTest, CardWhoseCheckFailedCanBeFormatted)
{
    m_Sys.m_Partition = Ext2Start(0);
    m_Sys.m_ExecHook = CheckExits(4);
    EXPECT_EQ(Poll(), I);
    ASSERT_TRUE(m_SD.GetCardCheckFailed());
    EXPECT_EQ(Format(), 0);
    EXPECT_FALSE(m_SD.GetCardCheckFailed());
    EXPECT_EQ(m_Sys.Calls("exec mkdosfs").size(), 1u);
    // the fresh file system is clean: mounted without a check
    m_Sys.m_Partition = Ext2Start(1);
    std::vector<std::string> runs;
    m_Sys.m_ExecHook = CheckExits(4, &runs);
    EXPECT_EQ(Poll(), I | M);
    EXPECT_TRUE(runs.empty());
}

// ---- a card that stays in ----

TEST_F(SDManagerTest, ReadOnlyMountIsRemountedBeforeItCounts)
{
    struct tagCase {
        int failures;   // remount runs that fail before one succeeds (3: all fail)
        int state;
        size_t runs;
        size_t sleeps;
    };
    const tagCase cases[] = {
        {0, I | M, 1, 0},
        {2, I | M, 3, 2},
        {3, I | M | RO, 3, 2},
    };
    for (const tagCase& c : cases) {
        SCOPED_TRACE("failures " + std::to_string(c.failures));
        CFakeSDSystem sys;
        CSDManager sd(&sys);
        SDStateLog log;
        ASSERT_TRUE(sd.RegisterSDStateCallback(SDStateLog::Record, &log));
        testing::internal::CaptureStdout();
        ASSERT_EQ(sd.CheckSDCard(), I | M);
        sys.ClearCalls();
        sys.SetLineMode(Dir(), "ro");
        int runs = 0;
        sys.m_ExecHook = [&](const std::string& cmd) {
            if (cmd.find("remount,rw") == std::string::npos) {
                return 0;
            }
            if (++runs > c.failures) {
                sys.SetLineMode(Dir(), "rw");
                return 0;
            }
            return 32 << 8;
        };
        EXPECT_EQ(sd.CheckSDCard(), c.state);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(sys.Calls("exec mount -oremount,rw " + Dir() + " \n").size(), c.runs);
        EXPECT_EQ(sys.Calls("sleep 1000").size(), c.sleeps);
        EXPECT_EQ(Count(out, "mount -oremount,rw " + Dir() + " \n"), 1u) << out;
        if (c.state & RO) {
            EXPECT_EQ(log.States(), std::vector<int>({I | M, I | M | RO}));
            // while the bit is set no remount is tried
            sys.ClearCalls();
            sd.CheckSDCard();
            EXPECT_TRUE(sys.Calls("exec").empty());
            // read-write again clears it
            sys.SetLineMode(Dir(), "rw");
            EXPECT_EQ(sd.CheckSDCard(), I | M);
            EXPECT_EQ(log.States(), std::vector<int>({I | M, I | M | RO, I | M}));
        } else {
            EXPECT_EQ(log.States(), std::vector<int>({I | M}));
        }
    }
}

TEST_F(SDManagerTest, BlockDeviceTurnedReadOnlyWhileMounted)
{
    MountCard();
    SetSysReadOnly(true);
    EXPECT_EQ(Poll(), I | M | RO);
    EXPECT_TRUE(m_Sys.Calls("exec").empty());  // a remount cannot help
    EXPECT_EQ(m_Log.States(), std::vector<int>({I | M, I | M | RO}));
    SetSysReadOnly(false);
    EXPECT_EQ(Poll(), I | M);
}

TEST_F(SDManagerTest, VanishedMountLineClearsMount)
{
    MountCard();
    m_Sys.RemoveMountLine(Dir());
    EXPECT_EQ(Poll(), I);
    EXPECT_EQ(m_Log.States(), std::vector<int>({I | M, I}));
    EXPECT_EQ(MountPath(), "(none)");
    uint64_t total = 1, freeBytes = 1;
    EXPECT_FALSE(m_SD.GetDiskSpaceInfo(&total, &freeBytes));
    EXPECT_EQ(total, 0u);
    EXPECT_EQ(freeBytes, 0u);
    Poll();
    EXPECT_EQ(m_Log.States().size(), 2u);
}

TEST_F(SDManagerTest, UnreadableMountTableLeavesTheStateAlone)
{
    struct tagCase {
        const char* name;
        bool readOnlyLine;  // the table goes at the read after a remount
    };
    const tagCase cases[] = {
        {"poll", false},
        {"read after a remount", true},
    };
    for (const tagCase& c : cases) {
        SCOPED_TRACE(c.name);
        CFakeSDSystem sys;
        CSDManager sd(&sys);
        SDStateLog log;
        ASSERT_TRUE(sd.RegisterSDStateCallback(SDStateLog::Record, &log));
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        ASSERT_EQ(sd.CheckSDCard(), I | M);
        sys.ClearCalls();
        if (c.readOnlyLine) {
            sys.SetLineMode(Dir(), "ro");
            sys.m_ExecHook = [&](const std::string& cmd) {
                if (cmd.find("remount,rw") != std::string::npos) {
                    sys.SetLineMode(Dir(), "rw");
                    sys.m_bTableMissing = true;
                }
                return 0;
            };
        } else {
            sys.m_bTableMissing = true;
        }
        EXPECT_EQ(sd.CheckSDCard(), I | M);
        EXPECT_EQ(sd.CheckSDCard(), I | M);
        char path[257];
        EXPECT_TRUE(sd.GetSDMountPath(path, sizeof(path)));
        uint64_t total = 0, freeBytes = 0;
        EXPECT_TRUE(sd.GetDiskSpaceInfo(&total, &freeBytes));
        sys.m_bTableMissing = false;
        sys.m_ExecHook = nullptr;
        EXPECT_EQ(sd.CheckSDCard(), I | M);
        std::string out = testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(out.find("SD Card Umounted."), std::string::npos) << out;
        EXPECT_NE(err.find("/proc/mounts not found."), std::string::npos) << err;
        EXPECT_EQ(log.States(), std::vector<int>({I | M}));
        EXPECT_TRUE(sys.Calls("umount").empty());
        EXPECT_TRUE(sys.Calls("detach").empty());
    }
}

// ---- removal ----

TEST_F(SDManagerTest, RemovalUnmountsTheFolderAndDetachesWhenBusy)
{
    struct tagCase {
        const char* name;
        int busy;
        std::vector<std::string> unmounts;
    };
    const tagCase cases[] = {
        {"idle", 0, {"umount " + Dir()}},
        {"file held open", -1, {"umount " + Dir(), "detach " + Dir()}},
    };
    for (const tagCase& c : cases) {
        SCOPED_TRACE(c.name);
        CFakeSDSystem sys;
        CSDManager sd(&sys);
        SDStateLog log;
        ASSERT_TRUE(sd.RegisterSDStateCallback(SDStateLog::Record, &log));
        testing::internal::CaptureStdout();
        ASSERT_EQ(sd.CheckSDCard(), I | M);
        sys.ClearCalls();
        sys.m_nUmountBusy = c.busy;
        sys.m_bInserted = false;
        EXPECT_EQ(sd.CheckSDCard(), 0);
        std::string out = testing::internal::GetCapturedStdout();
        std::vector<std::string> unmounts = sys.Calls("umount");
        for (const std::string& d : sys.Calls("detach")) {
            unmounts.push_back(d);
        }
        EXPECT_EQ(unmounts, c.unmounts);
        EXPECT_TRUE(sys.Calls("sleep").empty());  // the loop is not held up
        EXPECT_EQ(log.States(), std::vector<int>({I | M, 0, 0}));
        EXPECT_NE(out.find("SD Card Removed.\n"), std::string::npos);
        EXPECT_NE(out.find("[UMOUNT SD] umount " + Dir() + " \n"), std::string::npos) << out;
        EXPECT_NE(out.find("SD Card Umounted.\n"), std::string::npos);
        char path[257];
        EXPECT_FALSE(sd.GetSDMountPath(path, sizeof(path)));
        // back in: mounted again
        sys.m_nUmountBusy = 0;
        sys.m_bInserted = true;
        EXPECT_EQ(sd.CheckSDCard(), I | M);
        EXPECT_EQ(log.States(), std::vector<int>({I | M, 0, 0, I | M}));
    }
}

TEST_F(SDManagerTest, RemovalWhoseUnmountFailsKeepsMountUntilReinserted)
{
    MountCard();
    m_Sys.m_nUmountBusy = -1;
    m_Sys.m_bDetachFails = true;
    m_Sys.m_bInserted = false;
    EXPECT_EQ(Poll(), M);
    EXPECT_EQ(m_Log.States(), std::vector<int>({I | M, 0, M}));
    char path[257];
    EXPECT_FALSE(m_SD.GetSDMountPath(path, sizeof(path)));  // not inserted: unusable
    // the next insertion finds the stale mount and mounts afresh
    m_Sys.m_nUmountBusy = 0;
    m_Sys.m_bDetachFails = false;
    m_Sys.m_bInserted = true;
    EXPECT_EQ(Poll(), I | M);
    EXPECT_EQ(Count(m_Sys.m_strTable, Dir()), 1u);
}

// ---- callbacks ----

struct tagNamed {
    std::vector<std::string>* order;
    std::string name;
    static int Call(int, void* priv)
    {
        tagNamed* n = static_cast<tagNamed*>(priv);
        n->order->push_back(n->name);
        return 0;
    }
};

TEST_F(SDManagerTest, CallbackTableHoldsSixteenInRegistrationOrder)
{
    CFakeSDSystem sys;
    CSDManager sd(&sys);
    std::vector<std::string> order;
    std::vector<std::unique_ptr<tagNamed>> named;
    for (int i = 0; i < 17; ++i) {
        named.emplace_back(new tagNamed{&order, "cb" + std::to_string(i)});
    }
    for (int i = 0; i < 16; ++i) {
        EXPECT_TRUE(sd.RegisterSDStateCallback(tagNamed::Call, named[i].get())) << i;
    }
    EXPECT_FALSE(sd.RegisterSDStateCallback(tagNamed::Call, named[16].get()));
    EXPECT_FALSE(sd.UnregisterSDStateCallback(tagNamed::Call, named[16].get()));
    EXPECT_FALSE(sd.UnregisterSDStateCallback(SDStateLog::Record, named[3].get()));  // function must match too
    // a free slot is reused; the newcomer is called last
    EXPECT_TRUE(sd.UnregisterSDStateCallback(tagNamed::Call, named[3].get()));
    EXPECT_TRUE(sd.RegisterSDStateCallback(tagNamed::Call, named[16].get()));
    EXPECT_FALSE(sd.RegisterSDStateCallback(tagNamed::Call, named[0].get()));  // full again
    testing::internal::CaptureStdout();
    sd.CheckSDCard();
    testing::internal::GetCapturedStdout();
    std::vector<std::string> expected;
    for (int i = 0; i < 17; ++i) {
        if (i != 3) {
            expected.push_back("cb" + std::to_string(i));
        }
    }
    EXPECT_EQ(order, expected);
}

// A callback may unregister itself or one due later in the same pass: the
// later one is not called any more, and nobody waits.
TEST_F(SDManagerTest, CallbacksUnregisteredDuringANotification)
{
    struct tagUnregistering {
        CSDManager* sd;
        std::vector<std::string>* order;
        std::string name;
        SD_STATE_CALLBACK_FUN fun;
        void* victim;
        std::vector<BOOL> results;
        static int Call(int, void* priv)
        {
            tagUnregistering* u = static_cast<tagUnregistering*>(priv);
            u->order->push_back(u->name);
            u->results.push_back(u->sd->UnregisterSDStateCallback(u->fun, u->victim));
            return 0;
        }
    };
    CFakeSDSystem sys;
    CSDManager sd(&sys);
    std::vector<std::string> order;
    tagNamed later{&order, "later"};
    tagNamed last{&order, "last"};
    tagUnregistering first{&sd, &order, "first", tagNamed::Call, &later, {}};
    tagUnregistering self{&sd, &order, "self", tagUnregistering::Call, nullptr, {}};
    self.victim = &self;
    for (std::pair<SD_STATE_CALLBACK_FUN, void*> cb : std::vector<std::pair<SD_STATE_CALLBACK_FUN, void*>>{
             {tagUnregistering::Call, &first}, {tagUnregistering::Call, &self}, {tagNamed::Call, &later},
             {tagNamed::Call, &last}}) {
        ASSERT_TRUE(sd.RegisterSDStateCallback(cb.first, cb.second));
    }
    testing::internal::CaptureStdout();
    sd.CheckSDCard();
    sys.m_bInserted = false;
    sd.CheckSDCard();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(order, std::vector<std::string>({"first", "self", "last",     // inserted
                                               "first", "last",             // removed, before the unmount
                                               "first", "last"}));          // removed
    EXPECT_EQ(first.results, std::vector<BOOL>({TRUE, FALSE, FALSE}));
    EXPECT_EQ(self.results, std::vector<BOOL>({TRUE}));
}

TEST_F(SDManagerTest, DuplicateAndNullRegistrationsAreRefused)
{
    EXPECT_FALSE(m_SD.RegisterSDStateCallback(SDStateLog::Record, &m_Log));
    EXPECT_FALSE(m_SD.RegisterSDStateCallback(nullptr, &m_Log));
    SDStateLog other;
    EXPECT_TRUE(m_SD.RegisterSDStateCallback(SDStateLog::Record, &other));  // same function, other data
    Poll();
    EXPECT_EQ(m_Log.States(), std::vector<int>({I | M}));
    EXPECT_EQ(other.States(), std::vector<int>({I | M}));
}

struct tagListener {
    CSDManager* sd;
    std::vector<std::string> seen;
    static int Call(int state, void* priv)
    {
        tagListener* l = static_cast<tagListener*>(priv);
        char path[257];
        uint64_t total = 0, freeBytes = 0;
        BOOL hasPath = l->sd->GetSDMountPath(path, sizeof(path));
        BOOL hasSpace = l->sd->GetDiskSpaceInfo(&total, &freeBytes);
        l->seen.push_back(std::to_string(state) + ":" + (hasPath ? path : "-") + ":" +
                          (hasSpace ? std::to_string(freeBytes) : "-") + ":" +
                          std::to_string(l->sd->GetFormatStatusFlag()));
        return 0;
    }
};

TEST_F(SDManagerTest, ListenersSeeTheStateTheyAreToldAbout)
{
    tagListener l{&m_SD, {}};
    ASSERT_TRUE(m_SD.RegisterSDStateCallback(tagListener::Call, &l));
    Poll();
    EXPECT_EQ(Format(), 0);
    Poll();
    const std::string space = std::to_string(m_Sys.m_Fs.free_bytes);
    EXPECT_EQ(l.seen, std::vector<std::string>({
                          "3:/tmp/mmc0/:" + space + ":0",
                          "1:-:-:1",  // the format has begun: no path, the flag is up
                          "3:/tmp/mmc0/:" + space + ":0",
                      }));
}

TEST_F(SDManagerTest, ListenersFindTheCardBackAfterAFailedFormat)
{
    tagListener l{&m_SD, {}};
    ASSERT_TRUE(m_SD.RegisterSDStateCallback(tagListener::Call, &l));
    Poll();
    m_Sys.m_nUmountBusy = -1;
    EXPECT_EQ(Format(), -2);
    const std::string space = std::to_string(m_Sys.m_Fs.free_bytes);
    EXPECT_EQ(l.seen, std::vector<std::string>({
                          "3:/tmp/mmc0/:" + space + ":0",
                          "1:-:-:1",
                          "3:/tmp/mmc0/:" + space + ":1",  // told the card is back, and it is
                      }));
}

// ---- format ----

TEST_F(SDManagerTest, FormatResults)
{
    struct tagCase {
        const char* name;
        bool inserted;
        int mountError;   // at the card's first mount
        int busy;         // plain unmounts that fail
        int mkdosFailures;
        int result;
        std::vector<int> states;  // callbacks from the format on
        size_t mkdosRuns;
        size_t sleeps;
    };
    const tagCase cases[] = {
        {"no card", false, 0, 0, 0, -1, {}, 0, 0},
        {"formatted", true, 0, 0, 0, 0, {I}, 1, 0},
        {"formatted at the third run", true, 0, 0, 2, 0, {I}, 3, 2},
        {"card held open", true, 0, -1, 0, -2, {I, I | M}, 0, 4},
        {"mkdosfs fails", true, 0, 0, 5, -3, {I}, 5, 4},
        {"unmountable card", true, EINVAL, 0, 0, 0, {I}, 1, 0},
    };
    for (const tagCase& c : cases) {
        SCOPED_TRACE(c.name);
        CFakeSDSystem sys;
        sys.m_bInserted = c.inserted;
        if (c.mountError != 0) {
            sys.m_MountErrors = {c.mountError};
        }
        CSDManager sd(&sys);
        testing::internal::CaptureStdout();
        const int before = sd.CheckSDCard();
        SDStateLog log;
        ASSERT_TRUE(sd.RegisterSDStateCallback(SDStateLog::Record, &log));
        sys.ClearCalls();
        sys.m_nUmountBusy = c.busy;
        int runs = 0;
        sys.m_ExecHook = [&](const std::string& cmd) { return cmd.find("mkdosfs") == 0 && ++runs <= c.mkdosFailures ? 1 << 8 : 0; };
        EXPECT_EQ(sd.Format(), c.result);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(log.States(), c.states);
        EXPECT_EQ(sys.Calls("exec mkdosfs -v " + Dev() + " \n").size(), c.mkdosRuns);
        EXPECT_EQ(sys.Calls("sleep 1000").size(), c.sleeps);
        EXPECT_FALSE(sd.GetFormatStatusFlag());
        for (const std::string& call : sys.Calls("umount")) {
            EXPECT_EQ(call, "umount " + Dir());  // by folder, never by device node
        }
        EXPECT_TRUE(sys.Calls("detach").empty());
        if (c.result == -2) {
            EXPECT_EQ(sd.GetSDSate(), before);
            EXPECT_NE(out.find("umount sd error.\n"), std::string::npos);
        } else if (c.result != -1) {
            EXPECT_EQ(sd.GetSDSate(), 0);
            EXPECT_NE(out.find("[FORMAT SD] mkdosfs -v " + Dev() + " \n"), std::string::npos) << out;
        }
        if (c.result == -3) {
            EXPECT_NE(out.find("SD Format try count = 5(ret = 256,"), std::string::npos) << out;
        }
        // the poll runs again afterwards and sees the card as newly arrived
        sys.m_nUmountBusy = 0;
        log.states.clear();
        testing::internal::CaptureStdout();
        const int after = sd.CheckSDCard();
        testing::internal::GetCapturedStdout();
        if (c.result == -1) {
            EXPECT_EQ(after, 0);
        } else if (c.result == -2) {
            EXPECT_EQ(after, before);
            EXPECT_TRUE(log.States().empty());
        } else {
            EXPECT_EQ(after, I | M);
            EXPECT_EQ(log.States(), std::vector<int>({I | M}));
        }
    }
}

TEST_F(SDManagerTest, FormatNeverRunsMkdosfsOnAMountedPartition)
{
    struct tagCase {
        const char* name;
        std::function<void(CFakeSDSystem&, CSDManager&)> steps;  // from a fresh card to the format
        int busy;                 // plain unmounts at the format that fail
        bool tableMissing;        // at the format
        int result;
        bool folderUnmounted;     // an unmount of the card's folder was asked for
    };
    const std::string dev = Dev();
    // the mount is not seen in the table and cannot be undone: Mount stays clear
    auto lostMount = [](CFakeSDSystem& sys, CSDManager& sd) {
        sys.m_bTableMissing = true;
        sys.m_nUmountBusy = -1;
        sys.m_bDetachFails = true;
        sd.CheckSDCard();
        sys.m_bTableMissing = false;
        sys.m_nUmountBusy = 0;
        sys.m_bDetachFails = false;
        sd.CheckSDCard();
    };
    const tagCase cases[] = {
        {"mount, one unreadable table read, polls",
         [](CFakeSDSystem& sys, CSDManager& sd) {
             sd.CheckSDCard();
             sys.m_bTableMissing = true;
             sd.CheckSDCard();
             sys.m_bTableMissing = false;
             sd.CheckSDCard();
             sd.CheckSDCard();
         },
         0, false, 0, true},
        {"Mount bit clear, folder mounted", lostMount, 0, false, 0, true},
        {"Mount bit clear, folder mounted and busy", lostMount, -1, false, -2, true},
        {"partition mounted on another folder",
         [dev](CFakeSDSystem& sys, CSDManager& sd) {
             sys.m_MountErrors = {EINVAL};
             sd.CheckSDCard();
             sys.m_strTable = dev + " /mnt/other ext2 rw 0 0\n";
         },
         0, false, -2, false},
        {"unreadable table, Mount bit clear",
         [](CFakeSDSystem& sys, CSDManager& sd) {
             sys.m_MountErrors = {EINVAL};
             sd.CheckSDCard();
         },
         0, true, -2, false},
        {"unreadable table after the folder's unmount", [](CFakeSDSystem&, CSDManager& sd) { sd.CheckSDCard(); }, 0,
         true, 0, true},
    };
    for (const tagCase& c : cases) {
        SCOPED_TRACE(c.name);
        CFakeSDSystem sys;
        CSDManager sd(&sys);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        c.steps(sys, sd);
        const int before = sd.GetSDSate();
        ASSERT_NE(before & I, 0);
        sys.ClearCalls();
        sys.m_nUmountBusy = c.busy;
        sys.m_bTableMissing = c.tableMissing;
        int runs = 0, runsMounted = 0;
        sys.m_ExecHook = [&](const std::string& cmd) {
            if (cmd.find("mkdosfs") == 0) {
                ++runs;
                std::lock_guard<std::mutex> lock(sys.m_Lock);
                runsMounted += sys.m_strTable.find(dev) != std::string::npos ? 1 : 0;
            }
            return 0;
        };
        EXPECT_EQ(sd.Format(), c.result);
        std::string out = testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(runsMounted, 0);
        EXPECT_EQ(runs, c.result == 0 ? 1 : 0);
        EXPECT_EQ(!sys.Calls("umount " + Dir()).empty(), c.folderUnmounted);
        EXPECT_TRUE(sys.Calls("umount /mnt/other").empty());
        if (c.result == -2) {
            EXPECT_NE(out.find("umount sd error.\n"), std::string::npos) << out;
            EXPECT_EQ(sd.GetSDSate(), before);
        }
    }
}

TEST_F(SDManagerTest, FormatFlagIsRestoredForTheCaller)
{
    MountCard();
    m_SD.SetFormatStatusFlag(TRUE);
    EXPECT_EQ(Format(), 0);
    EXPECT_TRUE(m_SD.GetFormatStatusFlag());
    m_SD.SetFormatStatusFlag(FALSE);
    EXPECT_FALSE(m_SD.GetFormatStatusFlag());
}

TEST_F(SDManagerTest, PollAndFreeSpacePassStandStillDuringFormat)
{
    MountCard();
    CRecordDouble record(&m_Sys);
    record.m_nFiles = 10;
    m_Sys.m_Fs.free_bytes = 0;
    m_SD.SetRecordClient(&record);
    std::vector<int> polls;
    m_Sys.m_ExecHook = [&](const std::string& cmd) {
        if (cmd.find("mkdosfs") == 0) {
            polls.push_back(m_SD.CheckSDCard());
            m_SD.CheckSDCardFreeSpace();
        }
        return 0;
    };
    EXPECT_EQ(Format(), 0);
    EXPECT_EQ(polls, std::vector<int>({1}));
    EXPECT_TRUE(m_Sys.Calls("mount ").empty());
    EXPECT_EQ(record.m_nOverflowChecks, 0);
    EXPECT_EQ(record.m_nDeleted, 0);
}

// ---- free space ----

TEST_F(SDManagerTest, FreeSpacePolicy)
{
    const uint64_t T = SD_FREE_SPACE_THRESHOLD;
    const uint64_t MiB = 1ULL << 20;
    struct tagCase {
        const char* name;
        uint64_t freeBytes;
        int files;
        uint64_t freedPerDelete;
        bool paused;
        bool writeProtect;
        int overflowChecks;
        int deleted;
        size_t stops;
        size_t lines;   // "SD FREE SPACE = ..." lines
    };
    const tagCase cases[] = {
        {"one block above", T + 4096, 5, MiB, false, false, 0, 0, 0, 0},
        {"one byte above", T + 1, 5, MiB, false, false, 0, 0, 0, 0},
        {"exactly at the floor", T, 5, MiB, false, false, 1, 1, 0, 1},
        {"three MiB below", T - 3 * MiB, 9, MiB, false, false, 1, 4, 0, 4},
        {"nothing left to delete", T, 0, MiB, false, false, 1, 0, 1, 1},
        {"runs out while deleting", T - 3 * MiB, 2, MiB, false, false, 1, 2, 1, 3},
        {"recording paused", T - MiB, 5, MiB, true, false, 0, 0, 0, 0},
        {"write-protected card", T - MiB, 5, MiB, false, true, 0, 0, 0, 0},
        {"deletions that free nothing", T, 100000, 0, false, false, 1, 256, 0, 256},
    };
    for (const tagCase& c : cases) {
        SCOPED_TRACE(c.name);
        CFakeSDSystem sys;
        sys.m_bProtected = c.writeProtect;
        CSDManager sd(&sys);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        sd.CheckSDCard();
        CRecordDouble record(&sys);
        record.m_nFiles = c.files;
        record.m_nFreedPerDelete = c.freedPerDelete;
        record.m_bPaused = c.paused;
        sys.m_Fs.free_bytes = c.freeBytes;
        sd.SetRecordClient(&record);
        sd.CheckSDCardFreeSpace();
        std::string out = testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(record.m_nOverflowChecks, c.overflowChecks);
        EXPECT_EQ(record.m_nDeleted, c.deleted);
        EXPECT_EQ(record.m_Stops, std::vector<std::string>(c.stops, "0,1"));
        EXPECT_EQ(Count(out, "SD FREE SPACE = "), c.lines);
        EXPECT_EQ(Count(err, "NOT ANY COMMON RECORD FILE TO DELETE..."), c.stops);
        if (c.lines > 0) {
            EXPECT_NE(out.find("SD FREE SPACE = " + std::to_string(c.freeBytes) + ", THRESHOLD = 536870912\n"),
                      std::string::npos)
                << out;
        }
    }
}

TEST_F(SDManagerTest, FreeSpacePolicyNeedsAnEngineAndAFileSystem)
{
    MountCard();
    m_Sys.m_Fs.free_bytes = 0;
    m_SD.CheckSDCardFreeSpace();  // no engine: nothing to ask
    CRecordDouble record(&m_Sys);
    record.m_nFiles = 3;
    record.m_nFreedPerDelete = 1ULL << 30;
    m_SD.SetRecordClient(&record);
    m_Sys.m_bStatFails = true;
    m_SD.CheckSDCardFreeSpace();
    EXPECT_EQ(record.m_nOverflowChecks, 0);
    EXPECT_EQ(record.m_nDeleted, 0);
    m_Sys.m_bStatFails = false;
    testing::internal::CaptureStdout();
    m_SD.CheckSDCardFreeSpace();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(record.m_nDeleted, 1);
}

// ---- getters ----

TEST_F(SDManagerTest, MountPathNeedsRoomForTheSlash)
{
    MountCard();
    char path[11];
    EXPECT_FALSE(m_SD.GetSDMountPath(path, 10));  // "/tmp/mmc0/" needs 11 bytes
    EXPECT_TRUE(m_SD.GetSDMountPath(path, 11));
    EXPECT_STREQ(path, "/tmp/mmc0/");
    EXPECT_FALSE(m_SD.GetSDMountPath(nullptr, 11));
}

TEST_F(SDManagerTest, DiskSpaceOfTheMountedCard)
{
    uint64_t total = 1, freeBytes = 1;
    EXPECT_FALSE(m_SD.GetDiskSpaceInfo(&total, &freeBytes));
    EXPECT_EQ(total, 0u);
    MountCard();
    EXPECT_TRUE(m_SD.GetDiskSpaceInfo(&total, &freeBytes));
    EXPECT_EQ(total, m_Sys.m_Fs.total_bytes);
    EXPECT_EQ(freeBytes, m_Sys.m_Fs.free_bytes);
    EXPECT_EQ(m_Sys.Calls("statfs"), std::vector<std::string>({"statfs " + Dir()}));
}

}  // namespace
