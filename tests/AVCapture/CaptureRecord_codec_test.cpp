// A resolution switch at run time with the real recording engine on a card
// folder: the next file is 720p from its first sample.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "Function/common.h"
#include "Platform/BoardRoot.h"
#include "Record/MP4/MP4File.h"
#include "Record/Record.h"
#include "Record/RecordPacker.h"
#include "tests/AVCapture/CaptureRig.h"
#include "tests/AVCapture/EngineSink.h"
#include "tests/Record/RecordTestCard.h"

namespace {

// The folder's MP4 names, sorted, a line each.
std::string Video(const std::string& dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
        const std::string n = e.path().filename().string();
        if (n.size() > 4 && n.compare(n.size() - 4, 4, ".MP4") == 0) {
            names.push_back(n);
        }
    }
    std::sort(names.begin(), names.end());
    std::string out;
    for (const std::string& n : names) {
        out += n + "\n";
    }
    return out;
}

}  // namespace

using CaptureRecord = CaptureRig;

TEST_F(CaptureRecord, RunTimeSwitchTo720pStartsANew720pFile)
{
    CFolderCard* card = new CFolderCard();
    std::unique_ptr<CRecord> engine(new CRecord(new CMP4File(), card, new CRecordPacker()));
    CEngineSink sink(engine.get());
    CaptureRoles roles = Roles();
    roles.sink = &sink;
    roles.record = &sink;
    Camera()->Bind(roles);
    std::string out;
    ASSERT_TRUE(InitCaptured(&out)) << out;
    card->Notify(emSDState_Insert | emSDState_Mount);
    engine->ResumeCommonRecord();
    const std::string dir = XBoardPath("/tmp/mmc0/DCIM/100video");
    // a 1080p file is open once the first key frame has left the cache
    ASSERT_TRUE(WaitFor([&] { return !Video(dir).empty(); }, 60000));

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(Camera()->ResolutionSwitch(0));
    // the 1080p file is finished, and the new one opens once its first key
    // frame has left the cache
    const bool opened = WaitFor(
        [&] {
            const std::string v = Video(dir);
            return std::count(v.begin(), v.end(), '\n') == 2;
        },
        60000);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_TRUE(Camera()->CleanUp());
    Camera()->Bind(Roles());
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(opened) << Video(dir);

    std::string first1080;
    std::string first720;
    const std::string names = Video(dir);
    size_t at = 0;
    while (at < names.size()) {
        const size_t end = names.find('\n', at);
        const std::string n = names.substr(at, end - at);
        at = end == std::string::npos ? names.size() : end + 1;
        if (n.find("_720p") != std::string::npos) {
            first720 = n;
        } else if (!n.empty() && first1080.empty()) {
            first1080 = n;
        }
    }
    ASSERT_FALSE(first1080.empty()) << names;
    ASSERT_FALSE(first720.empty()) << names;
    const std::string probe720 = XTestRun("ffprobe -v error -select_streams v:0 -show_entries stream=width,height "
                                          "-of csv=p=0 " + dir + "/" + first720);
    EXPECT_EQ(probe720, "1280,720\n");
    const std::string probe1080 = XTestRun("ffprobe -v error -select_streams v:0 -show_entries stream=width,height "
                                           "-of csv=p=0 " + dir + "/" + first1080);
    EXPECT_EQ(probe1080, "1920,1080\n");
    // the 720p file starts on a sync sample
    const std::string key = XTestRun("ffprobe -v error -select_streams v:0 -read_intervals %+#1 -show_entries "
                                     "frame=key_frame -of csv=p=0 " + dir + "/" + first720);
    EXPECT_EQ(key, "1\n");
    EXPECT_EQ(XTestRun("ffmpeg -v error -i " + dir + "/" + first720 + " -f null - 2>&1"), "");
}
