// The simulated audio modules under threads: the input's worker, readers of
// an encoder channel and senders to the output against destroy and disable.

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "Platform/AudioIn.h"
#include "Platform/AudioOut.h"
#include "support/AudioRig.h"
#include "tests/Platform/FakeAudioEncoder.h"

namespace {

class AudioSimThreads : public CAudioRig {
protected:
    void SetUp() override
    {
        CAudioRig::SetUp();
        RegisterFake();
    }
};

}  // namespace

TEST_F(AudioSimThreads, ReaderAgainstDestroyAndCreate)
{
    AENC_CHN_ATTR_S attr = FakeChn(8);
    ASSERT_EQ(HI_MPI_AENC_CreateChn(0, &attr), 0);
    AIO_ATTR_S ai = Aio(48000, 80, 10);
    ASSERT_EQ(HI_MPI_AI_SetPubAttr(0, &ai), 0);
    ASSERT_EQ(HI_MPI_AI_Enable(0), 0);
    ASSERT_EQ(HI_MPI_AI_EnableChn(0, 0), 0);
    MPP_CHN_S src = {HI_ID_AI, 0, 0};
    MPP_CHN_S dst = {HI_ID_AENC, 0, 0};
    ASSERT_EQ(HI_MPI_SYS_Bind(&src, &dst), 0);

    std::atomic<bool> stop{false};
    std::atomic<uint64_t> got{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r) {
        readers.emplace_back([&] {
            while (!stop) {
                AUDIO_STREAM_S s;
                HI_S32 ret = HI_MPI_AENC_GetStream(0, &s, 20);
                if (ret == 0) {
                    uint32_t seq = 0;
                    memcpy(&seq, s.pStream, 4);  // valid until released
                    (void)seq;
                    HI_MPI_AENC_ReleaseStream(0, &s);
                    got++;
                } else if (ret == AENC_ERR_UNEXIST) {
                    usleep(1000);
                }
            }
        });
    }
    for (int i = 0; i < 20; ++i) {
        usleep(20000);
        ASSERT_EQ(HI_MPI_AENC_DestroyChn(0), 0);
        ASSERT_EQ(HI_MPI_AENC_CreateChn(0, &attr), 0);
    }
    usleep(50000);
    stop = true;
    for (std::thread& t : readers) {
        t.join();
    }
    EXPECT_GT(got.load(), 0u);
    EXPECT_EQ(g_nOpens - g_nCloses, 1) << "each destroy closed its encoder";
}

TEST_F(AudioSimThreads, SendersAgainstTheSinkAndDisable)
{
    AIO_ATTR_S ao = Aio(48000, 80, 5);
    ASSERT_EQ(HI_MPI_AO_SetPubAttr(0, &ao), 0);
    ASSERT_EQ(HI_MPI_AO_Enable(0), 0);
    for (int round = 0; round < 5; ++round) {
        ASSERT_EQ(HI_MPI_AO_EnableChn(0, 0), 0);
        std::atomic<int> ended{0};
        std::vector<std::thread> senders;
        for (int t = 0; t < 3; ++t) {
            senders.emplace_back([&] {
                std::vector<int16_t> pcm(80, 3);
                AUDIO_FRAME_S f = {};
                f.enBitwidth = AUDIO_BIT_WIDTH_16;
                f.pVirAddr[0] = pcm.data();
                f.u32Len = 160;
                while (HI_MPI_AO_SendFrame(0, 0, &f, -1) == 0) {
                }
                ended++;
            });
        }
        usleep(30000);
        ASSERT_EQ(HI_MPI_AO_DisableChn(0, 0), 0);
        for (std::thread& t : senders) {
            t.join();
        }
        EXPECT_EQ(ended, 3);
    }
    ASSERT_EQ(HI_MPI_AO_Disable(0), 0);
    AudioSimAo info;
    XAudioSimAoInfo(&info);
    EXPECT_GT(info.u64BytesPlayed, 0u);
    EXPECT_LE(info.u64BytesPlayed, info.u64BytesSent);
}
