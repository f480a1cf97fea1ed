#include <gtest/gtest.h>

#include <stdlib.h>

#include "Platform/BoardRoot.h"
#include "support/TestBoard.h"

TEST(BoardRoot, AbsolutePathsResolveUnderTheBoard)
{
    CTestBoard board;
    struct Case {
        const char* in;
        std::string out;
    } cases[] = {
        {"/root/system.ini", board.Dir() + "/root/system.ini"},
        {"/dev/mem", board.Dir() + "/dev/mem"},
        {"/tmp/mmc0", board.Dir() + "/tmp/mmc0"},
        {"relative/file", "relative/file"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(XBoardPath(c.in), c.out) << c.in;
    }
}

TEST(BoardRoot, TrailingSlashOfTheRootIsIgnored)
{
    PlatformSetBoardRoot("/some/board///");
    EXPECT_EQ(XBoardPath("/dev/mem"), "/some/board/dev/mem");
    PlatformSetBoardRoot("");
}

TEST(BoardRoot, WithoutABoardNoPathOfTheMachineIsHandedOut)
{
    for (const char* root : {"", "/", "//"}) {
        PlatformSetBoardRoot(root);
        std::string p = XBoardPath("/dev/mem");
        EXPECT_NE(p, "/dev/mem") << "root '" << root << "'";
        EXPECT_NE(p.find("/dev/mem"), std::string::npos);
    }
    PlatformSetBoardRoot("");
}

TEST(BoardRoot, StartIsRefusedWithoutAUsableBoard)
{
    CTestBoard board;
    EXPECT_EQ(PlatformCheckBoard(), 1);

    const std::string notABoard = board.Dir() + "/tmp";  // a folder without bin/
    for (const std::string& root : {std::string(""), std::string("/"), std::string("/nonexistent/board"), notABoard}) {
        PlatformSetBoardRoot(root.c_str());
        testing::internal::CaptureStderr();
        EXPECT_EQ(PlatformCheckBoard(), 0) << root;
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("BOARD_ROOT"), std::string::npos) << err;
    }
}
