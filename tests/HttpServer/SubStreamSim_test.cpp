// The live source on channel 1 of the simulated encoder: placeholder
// streams, an oversized frame, a SEI-only stream and stopped production.
#include <chrono>
#include <thread>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "HttpServer/httpcmd/HttpCmd.h"
#include "HttpServer/httpcmd/WebBridgePorts.h"
#include "Platform/MediaSim.h"
#include "tests/HttpServer/CameraWebRoles.h"
#include "tests/Platform/MediaChain.h"

namespace {

std::vector<int> XNalTypes(const std::vector<char>& buf, int len)
{
    std::vector<int> types;
    for (int i = 0; i + 4 < len; ++i) {
        if (buf[i] == 0 && buf[i + 1] == 0 && buf[i + 2] == 0 && buf[i + 3] == 1) {
            types.push_back(static_cast<unsigned char>(buf[i + 4]) & 0x1F);
        }
    }
    return types;
}

class SubStreamSimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        XBindCameraBridges();
        ASSERT_EQ(m_Chain.Live(), HI_SUCCESS);
        VENC_CHN_ATTR_S a = XTestH264Attr(640, 480, 30, 30, 5);
        ASSERT_EQ(HI_MPI_VENC_CreateChn(1, &a), HI_SUCCESS);
        ASSERT_EQ(CTestMediaChain::BindEncoder(1), HI_SUCCESS);
        ASSERT_EQ(HI_MPI_VENC_StartRecvPic(1), HI_SUCCESS);
        m_Buf.assign(262144, 0);
    }
    int Get(int init) { return GetH264SubStreamData(m_Buf.data(), static_cast<int>(m_Buf.size()), init); }

    CTestMediaChain m_Chain;
    std::vector<char> m_Buf;
};

TEST_F(SubStreamSimTest, NewStreamStartsAtAnIdrWithoutSei)
{
    ASSERT_GE(GetSubStreamEncFD(), 0);
    ASSERT_EQ(XMediaSimPump(3), 3);  // an IDR and two P frames, queued: drained
    ASSERT_TRUE(XMediaSimVencQueueSei(1));
    std::thread pump([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        XMediaSimPump(5);  // two more P frames, then the next IDR
    });
    const int len = Get(1);
    pump.join();
    ASSERT_GT(len, 0);
    EXPECT_EQ(XNalTypes(m_Buf, len), (std::vector<int>{7, 8, 5}));
    tagMediaSimVenc info;
    ASSERT_TRUE(XMediaSimVencInfo(1, &info));
    EXPECT_EQ(info.u32Held, 0u);
}

TEST_F(SubStreamSimTest, SeiOnlyIsNothingAndOversizeWaitsForTheNextIdr)
{
    ASSERT_TRUE(XMediaSimVencQueueSei(1));
    EXPECT_EQ(Get(0), 0);

    XMediaSimVencPadNext(1, 300 * 1024);
    ASSERT_EQ(XMediaSimPump(1), 1);  // IDR with 300 KiB of filler
    EXPECT_EQ(Get(0), 0);
    ASSERT_EQ(XMediaSimPump(5), 5);  // four P frames, then an IDR
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Get(0), 0) << "P frame " << i << " follows a dropped frame";
    }
    const int len = Get(0);
    ASSERT_GT(len, 0);
    EXPECT_EQ(XNalTypes(m_Buf, len), (std::vector<int>{7, 8, 5}));
    ASSERT_EQ(XMediaSimPump(1), 1);
    EXPECT_EQ(XNalTypes(m_Buf, Get(0)), (std::vector<int>{1}));
    tagMediaSimVenc info;
    ASSERT_TRUE(XMediaSimVencInfo(1, &info));
    EXPECT_EQ(info.u32Held, 0u);
    EXPECT_EQ(info.u32Queued, 0u);
}

TEST_F(SubStreamSimTest, StoppedProductionGivesUpAfterTheWait)
{
    XMediaSimStall(1, 60000);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Get(1), 0);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(1300));
    XMediaSimStall(1, 0);
}

}  // namespace
