// The media layer seen from a board folder: the state file read by Python's
// json, and the commands of sim/board media reaching the running layer.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "Platform/MediaSim.h"
#include "Platform/MpiVenc.h"
#include "support/TestBoard.h"
#include "tests/Platform/MediaChain.h"

namespace {

// Waits up to 3 s for `done`.
template <typename F>
BOOL Within3s(F done)
{
    for (int i = 0; i < 300; ++i) {
        if (done()) {
            return TRUE;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return FALSE;
}

// One value read from DIR/log/media.json by Python.
std::string StateValue(const CTestBoard& board, const std::string& expr)
{
    return XTestRun(std::string(DASHCAM_PYTHON) + " -c 'import json,sys; s=json.load(open(sys.argv[1])); print(" +
                    expr + ")' " + board.Path("/log/media.json") + " 2>&1");
}

}  // namespace

TEST(MediaBoard, StateFileAndBoardCommands)
{
    CTestBoard board;
    CTestMediaChain chain;
    ASSERT_EQ(chain.Live(), HI_SUCCESS);
    VENC_CHN_ATTR_S h264 = XTestH264Attr(640, 480, 30, 25, 25);
    ASSERT_EQ(HI_MPI_VENC_CreateChn(1, &h264), HI_SUCCESS);
    ASSERT_EQ(CTestMediaChain::BindEncoder(1), HI_SUCCESS);
    ASSERT_EQ(HI_MPI_VENC_StartRecvPic(1), HI_SUCCESS);

    // the state follows each change
    ASSERT_TRUE(Within3s([&] { return StateValue(board, "s[\"venc\"][0][\"receiving\"]") == "True\n"; }));
    EXPECT_EQ(StateValue(board, "s[\"sys\"], s[\"isp_running\"], s[\"chain_live\"]"), "True True True\n");
    EXPECT_EQ(StateValue(board, "[(b[\"src\"][\"mod\"], b[\"src\"][\"chn\"], b[\"dst\"][\"mod\"], b[\"dst\"][\"chn\"]) for b in s[\"binds\"]]"),
              "[('vi', 0, 'vpss', 0), ('vpss', 1, 'venc', 1)]\n");
    ASSERT_EQ(XMediaSimPump(6), 6);
    EXPECT_TRUE(Within3s([&] { return StateValue(board, "s[\"venc\"][0][\"encoded\"]") == "5\n"; }))
        << StateValue(board, "s");
    EXPECT_EQ(StateValue(board, "s[\"venc\"][0][\"width\"], s[\"venc\"][0][\"queued\"]"), "640 5\n");

    // an injected failure, once, on one channel
    board.Sim("media", "fail HI_MPI_VENC_GetStream 0xA0088012 --chn 1 --times 1");
    VENC_PACK_S packs[8];
    VENC_STREAM_S st = {packs, 8, 0};
    ASSERT_TRUE(Within3s([&] {
        XMediaSimPump(1);
        const HI_S32 r = HI_MPI_VENC_GetStream(1, &st, 0);
        if (r == HI_SUCCESS) {
            HI_MPI_VENC_ReleaseStream(1, &st);  // taken before the command arrived
        }
        return r == static_cast<HI_S32>(0xA0088012u);
    }));
    ASSERT_EQ(HI_MPI_VENC_GetStream(1, &st, 0), HI_SUCCESS) << "once only";
    ASSERT_EQ(HI_MPI_VENC_ReleaseStream(1, &st), HI_SUCCESS);

    // a stall drops what arrives meanwhile
    board.Sim("media", "stall 1 60000");
    ASSERT_TRUE(Within3s([&] {
        XMediaSimPump(1);
        tagMediaSimVenc info;
        XMediaSimVencInfo(1, &info);
        return info.u64Dropped > 0;
    }));

    // dumps on: the channel's stream goes to DIR/log/venc1.h264
    board.Sim("media", "stall 1 0");
    board.Sim("media", "dump on");
    ASSERT_TRUE(Within3s([&] {
        XMediaSimPump(1);
        return XTestRun("test -s " + board.Path("/log/venc1.h264") + " && echo yes") == "yes\n";
    }));
    board.Sim("media", "dump off");
    ASSERT_TRUE(Within3s([&] {
        const std::string before = XTestRun("stat -c %s " + board.Path("/log/venc1.h264"));
        XMediaSimPump(2);
        return XTestRun("stat -c %s " + board.Path("/log/venc1.h264")) == before;
    }));

    int status = 0;
    XTestRun(std::string(DASHCAM_PYTHON " ") + DASHCAM_SOURCE_DIR + "/sim/board media " + board.Dir() +
                 " fail NOT_A_CALL 1 2>/dev/null",
             &status);
    EXPECT_NE(status, 0) << "only media calls";
}
