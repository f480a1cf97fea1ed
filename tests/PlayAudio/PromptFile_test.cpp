// Which files a prompt plays, and how much of them.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "PlayAudio/PromptFile.h"
#include "support/TestBoard.h"
#include "tests/PlayAudio/PromptWav.h"

namespace {

class PromptFileTest : public ::testing::Test {
protected:
    CTestBoard m_Board;

    std::string ReadAll(CPromptFile& f, size_t piece)
    {
        std::string out;
        std::string buf(piece, '\0');
        size_t n;
        while ((n = f.Read(reinterpret_cast<uint8_t*>(&buf[0]), piece)) > 0) {
            out.append(buf, 0, n);
        }
        return out;
    }
};

TEST_F(PromptFileTest, DataLengthIsTheSmallerOfHeaderAndFile)
{
    struct {
        size_t present;
        uint32_t declared;
        uint32_t length;  // 0: refused
    } const cases[] = {
        {1000, 1000, 1000},
        {1000, 600, 600},           // trailing chunks are not played
        {1000, 5000, 1000},         // a cut file plays what it has
        {1000, 0xFFFFFFFFu, 1000},  // the length of a streamed recording
        {0, 1000, 0},               // header only
        {1000, 0, 0},               // nothing declared
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.present) + " bytes, " + std::to_string(c.declared) + " declared");
        const std::string data = XPromptData(c.present, 3);
        XWriteWav(m_Board.Path("/pcmsource/p.wav"), data, c.declared);
        CPromptFile f;
        ASSERT_EQ(f.Open("/pcmsource/p.wav"), c.length != 0);
        EXPECT_EQ(f.Length(), c.length);
        EXPECT_EQ(ReadAll(f, 512), data.substr(0, c.length));
    }
}

TEST_F(PromptFileTest, RefusesWhatIsNoPromptFile)
{
    const std::string dir = m_Board.Path("/pcmsource");
    mkdir((dir + "/folder.wav").c_str(), 0755);
    std::ofstream(dir + "/short.wav", std::ios::binary) << XWavHeader(100).substr(0, 43);
    mkfifo((dir + "/fifo.wav").c_str(), 0644);
    // a pipe without a writer must not block the open
    for (const char* path : {"/pcmsource/missing.wav", "/pcmsource/folder.wav", "/pcmsource/short.wav", "",
                             "/pcmsource/", "/pcmsource/fifo.wav"}) {
        SCOPED_TRACE(path);
        CPromptFile f;
        EXPECT_FALSE(f.Open(path));
        EXPECT_EQ(f.Length(), 0u);
    }
}

TEST_F(PromptFileTest, LongFileReadsInPiecesToTheEnd)
{
    const std::string data = XPromptData(300000, 9);
    XWriteWav(m_Board.Path("/pcmsource/long.wav"), data);
    CPromptFile f;
    ASSERT_TRUE(f.Open("/pcmsource/long.wav"));
    EXPECT_EQ(f.Length(), 300000u);
    EXPECT_EQ(ReadAll(f, 32768), data);
    EXPECT_EQ(ReadAll(f, 512), "");
}

}  // namespace
