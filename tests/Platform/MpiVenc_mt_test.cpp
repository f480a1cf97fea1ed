// Encoder channels under several threads: a blocked reader woken by destroy,
// readers against the picture source's own clock, and select() readiness.

#include <gtest/gtest.h>

#include <sys/select.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "Platform/MediaSim.h"
#include "Platform/MpiVenc.h"
#include "tests/Platform/MediaChain.h"

namespace {

constexpr HI_S32 VencErr(uint32_t n) { return XMpiErrCode(HI_ID_VENC, n); }

}  // namespace

TEST(MpiVencThreads, DestroyWakesABlockedReaderWithAnError)
{
    CTestMediaChain chain;
    ASSERT_EQ(chain.Live(), HI_SUCCESS);
    VENC_CHN_ATTR_S a = XTestH264Attr(1920, 1080, 30, 30, 30);
    ASSERT_EQ(HI_MPI_VENC_CreateChn(0, &a), HI_SUCCESS);
    std::atomic<HI_S32> result{1};
    std::thread reader([&] {
        VENC_PACK_S packs[8];
        VENC_STREAM_S st = {packs, 8, 0};
        result = HI_MPI_VENC_GetStream(0, &st, -1);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(result.load(), 1) << "the reader waits";
    ASSERT_EQ(HI_MPI_VENC_DestroyChn(0), HI_SUCCESS);
    reader.join();
    EXPECT_EQ(result.load(), VencErr(EN_ERR_UNEXIST));
}

// Placeholder packs, and the real encoders where they are built in.
class MpiVencThreadsCoders : public ::testing::TestWithParam<BOOL> {};

#if DASHCAM_HAVE_VIDEO_CODECS
INSTANTIATE_TEST_SUITE_P(Coders, MpiVencThreadsCoders, ::testing::Values(TRUE, FALSE));
#else
INSTANTIATE_TEST_SUITE_P(Coders, MpiVencThreadsCoders, ::testing::Values(TRUE));
#endif

TEST_P(MpiVencThreadsCoders, ReadersSelectAndTakeWhileTheSourceRunsOnItsClock)
{
    CTestMediaChain chain(GetParam());
    ASSERT_EQ(chain.Live(), HI_SUCCESS);
    XMediaSimSetManual(FALSE);
    VENC_CHN_ATTR_S attrs[4] = {XTestH264Attr(1920, 1080, 30, 30, 30), XTestH264Attr(640, 480, 30, 25, 25),
                                XTestJpegAttr(1920, 1080), XTestJpegAttr(176, 120)};
    for (int k = 0; k < 4; ++k) {
        ASSERT_EQ(HI_MPI_VENC_CreateChn(k, &attrs[k]), HI_SUCCESS);
        ASSERT_EQ(CTestMediaChain::BindEncoder(k), HI_SUCCESS);
        if (k != 2) {
            ASSERT_EQ(HI_MPI_VENC_StartRecvPic(k), HI_SUCCESS);
        }
    }
    std::atomic<bool> stop{false};
    std::atomic<int> taken[4] = {{0}, {0}, {0}, {0}};
    std::atomic<int> errors{0};
    auto reader = [&](std::vector<int> chns) {
        std::vector<int> fds;
        for (int c : chns) {
            fds.push_back(HI_MPI_VENC_GetFd(c));
        }
        while (!stop) {
            fd_set set;
            FD_ZERO(&set);
            int maxFd = -1;
            for (int fd : fds) {
                FD_SET(fd, &set);
                maxFd = std::max(maxFd, fd);
            }
            struct timeval tv = {0, 100000};
            int n = select(maxFd + 1, &set, nullptr, nullptr, &tv);
            if (n <= 0) {
                continue;
            }
            for (size_t i = 0; i < fds.size(); ++i) {
                if (!FD_ISSET(fds[i], &set)) {
                    continue;
                }
                VENC_CHN_STAT_S stat;
                if (HI_MPI_VENC_Query(chns[i], &stat) != HI_SUCCESS || stat.u32CurPacks == 0) {
                    ++errors;  // readable means a stream waits: only this thread takes them
                    continue;
                }
                std::vector<VENC_PACK_S> packs(stat.u32CurPacks);
                VENC_STREAM_S st = {packs.data(), stat.u32CurPacks, 0};
                if (HI_MPI_VENC_GetStream(chns[i], &st, -1) != HI_SUCCESS) {
                    ++errors;
                    continue;
                }
                ++taken[chns[i]];
                if (HI_MPI_VENC_ReleaseStream(chns[i], &st) != HI_SUCCESS) {
                    ++errors;
                }
            }
        }
    };
    std::thread capture(reader, std::vector<int>{0, 3});
    std::thread live(reader, std::vector<int>{1});
    std::thread snap([&] {
        VENC_RECV_PIC_PARAM_S one = {1};
        uint8_t text[] = "user data";
        for (int i = 0; i < 3 && !stop; ++i) {
            HI_MPI_VENC_InsertUserData(2, text, sizeof(text));
            HI_MPI_VENC_StartRecvPicEx(2, &one);
            VENC_PACK_S packs[4];
            VENC_STREAM_S st = {packs, 4, 0};
            if (HI_MPI_VENC_GetStream(2, &st, 2000) == HI_SUCCESS) {
                ++taken[2];
                HI_MPI_VENC_ReleaseStream(2, &st);
            }
        }
    });
    // Until every reader has had a few streams (the real encoders are slow under a sanitizer and a loaded machine).
    for (int i = 0; i < 300 && (taken[0] <= 5 || taken[1] <= 5 || taken[3] <= 5); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    snap.join();
    stop = true;
    capture.join();
    live.join();
    EXPECT_EQ(errors.load(), 0);
    EXPECT_GT(taken[0].load(), 5);
    EXPECT_GT(taken[1].load(), 5);
    EXPECT_EQ(taken[2].load(), 3);
    EXPECT_GT(taken[3].load(), 5);
    int policy = -1;
    ASSERT_TRUE(XMediaSimCaller("HI_MPI_VENC_GetStream/0", &policy, nullptr));
    for (int k = 0; k < 4; ++k) {
        HI_MPI_VENC_StopRecvPic(k);
        EXPECT_EQ(HI_MPI_VENC_DestroyChn(k), HI_SUCCESS);
    }
}
