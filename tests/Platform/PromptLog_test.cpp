#include <gtest/gtest.h>

#include <string>

#include "Platform/PromptLog.h"
#include "support/TestBoard.h"

TEST(PromptLog, AppendsOneLineAPromptReadBackByTheBoardTool)
{
    CTestBoard board;
    EXPECT_EQ(board.Sim("prompts"), "");
    for (int index : {11, 10, 0, 35}) {
        XPromptLog(index);
    }
    EXPECT_EQ(board.Sim("prompts"), "PCM 11\nPCM 10\nPCM 0\nPCM 35\n");
    EXPECT_EQ(XTestRun("cat '" + board.Path("/log/prompts.log") + "'"), "PCM 11\nPCM 10\nPCM 0\nPCM 35\n");
}

TEST(PromptLog, NoLogFolderIsNotAnError)
{
    CTestBoard board;
    XTestRun("rm -rf '" + board.Path("/log") + "'");
    XPromptLog(4);  // nothing to write to: silently dropped
    EXPECT_EQ(XTestRun("ls '" + board.Dir() + "'").find("log"), std::string::npos);
}
