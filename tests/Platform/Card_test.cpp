#include <gtest/gtest.h>

#include <errno.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>

#include "Platform/BoardRoot.h"
#include "Platform/Card.h"
#include "support/TestBoard.h"

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The plain folder card of a fresh board: mounts are lines of the board's
// own mount table file.
class FolderCardTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(mkdir(m_Board.Path("/tmp/mmc0").c_str(), 0755), 0); }
    std::string Table() const { return ReadAll(m_Board.Path("/proc/mounts")); }
    std::string Node() const { return m_Board.Path("/dev/mmcblk0p1"); }
    std::string Dir() const { return m_Board.Path("/tmp/mmc0"); }

    CTestBoard m_Board;
};

TEST_F(FolderCardTest, MountAndUnmountKeepTheBoardsTable)
{
    EXPECT_STREQ(PlatformCardFsType(), "ext2");
    ASSERT_EQ(PlatformCardMount(Node().c_str(), Dir().c_str(), "ext2", 0), 0);
    EXPECT_EQ(Table(), Node() + " " + Dir() + " ext2 rw,relatime 0 0\n");
    EXPECT_EQ(PlatformCardMount(Node().c_str(), Dir().c_str(), "ext2", 0), EBUSY);
    EXPECT_EQ(PlatformCardUmount(Dir().c_str(), 0), 0);
    EXPECT_EQ(Table(), "");
    EXPECT_EQ(PlatformCardUmount(Dir().c_str(), 1), EINVAL);   // nothing mounted there
    ASSERT_EQ(PlatformCardMount(Node().c_str(), Dir().c_str(), "ext2", 1), 0);
    EXPECT_EQ(Table(), Node() + " " + Dir() + " ext2 ro,relatime 0 0\n");
}

TEST_F(FolderCardTest, OnlyTheBoardsFoldersAndNodes)
{
    // a plain file outside the board
    const std::string outside = m_Board.Dir() + "-outside";
    std::ofstream(outside).close();
    struct tagCase {
        std::string source;
        std::string target;
        int err;
    };
    const tagCase cases[] = {
        {Node(), "/tmp", EPERM},
        {Node(), m_Board.Dir() + "/tmp/../..", EPERM},
        {Node(), m_Board.Path("/tmp/missing"), ENOENT},
        {Node(), m_Board.Path("/dev/mem"), ENOTDIR},
        {outside, Dir(), ENOTBLK},
        {"/dev/null", Dir(), ENOTBLK},
        {m_Board.Path("/dev/none"), Dir(), ENOENT},
    };
    for (const tagCase& c : cases) {
        SCOPED_TRACE(c.source + " on " + c.target);
        testing::internal::CaptureStderr();
        EXPECT_EQ(PlatformCardMount(c.source.c_str(), c.target.c_str(), "ext2", 0), c.err);
        testing::internal::GetCapturedStderr();
    }
    EXPECT_EQ(Table(), "");
    testing::internal::CaptureStderr();
    EXPECT_EQ(PlatformCardUmount("/tmp", 0), EPERM);
    EXPECT_EQ(PlatformCardUmount("/", 1), EPERM);
    testing::internal::GetCapturedStderr();
    remove(outside.c_str());
}

TEST(CardWithoutBoard, NothingIsMountedOrUnmounted)
{
    PlatformSetBoardRoot("");
    EXPECT_EQ(PlatformCardMount("/dev/mmcblk0p1", "/tmp/mmc0", "ext2", 0), EPERM);
    EXPECT_EQ(PlatformCardUmount("/tmp/mmc0", 0), EPERM);
    PlatformSetBoardRoot("/");
    EXPECT_EQ(PlatformCardUmount("/tmp", 0), EPERM);
    PlatformSetBoardRoot("");
}

}  // namespace
