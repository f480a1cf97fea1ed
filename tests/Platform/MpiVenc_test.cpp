// Encoder channels on the simulated media layer: creation and receiving,
// the descriptor, the stream queue, rates and the shape of the packs.

#include <gtest/gtest.h>

#include <sys/select.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>

#include "Platform/MediaSim.h"
#include "Platform/MpiSys.h"
#include "Platform/MpiVenc.h"
#include "tests/Platform/MediaChain.h"

namespace {

constexpr HI_S32 VencErr(uint32_t n) { return XMpiErrCode(HI_ID_VENC, n); }

BOOL Readable(int fd)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    struct timeval tv = {0, 0};
    return select(fd + 1, &set, nullptr, nullptr, &tv) == 1;
}

int NalType(const std::vector<uint8_t>& pack)
{
    return pack.size() > 4 ? pack[4] : -1;
}

class MpiVenc : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(m_Chain.Live(), HI_SUCCESS); }
    CTestMediaChain m_Chain;
};

}  // namespace

TEST(MpiVencBare, CallsBeforeTheSystemIsUp)
{
    XMediaSimReset();
    VENC_CHN_ATTR_S a = XTestH264Attr(1920, 1080, 30, 30, 30);
    EXPECT_EQ(HI_MPI_VENC_CreateChn(0, &a), VencErr(EN_ERR_SYS_NOTREADY));
    EXPECT_EQ(HI_MPI_VENC_GetFd(0), VencErr(EN_ERR_SYS_NOTREADY));
    EXPECT_LT(HI_MPI_VENC_GetFd(0), 0) << "a status code is negative";
}

TEST_F(MpiVenc, CreateStartAndDestroyInOrder)
{
    VENC_CHN_ATTR_S h264 = XTestH264Attr(1920, 1080, 30, 30, 30);
    VENC_CHN_ATTR_S bFrames = h264;
    bFrames.stVeAttr.stAttrH264e.u32BFrameNum = 1;
    VENC_CHN_ATTR_S tooWide = h264;
    tooWide.stVeAttr.stAttrH264e.u32PicWidth = 2048;
    VENC_CHN_ATTR_S fasterThanSource = XTestH264Attr(640, 480, 25, 30, 25);
    VENC_CHN_ATTR_S noRc = h264;
    noRc.stRcAttr.enRcMode = static_cast<VENC_RC_MODE_E>(0);
    VENC_CHN_ATTR_S smallBuffer = h264;
    smallBuffer.stVeAttr.stAttrH264e.u32BufSize = 1000;
    VENC_CHN_ATTR_S aac = h264;
    aac.stVeAttr.enType = PT_AAC;
    VENC_CHN_ATTR_S jpeg = XTestJpegAttr(176, 120);
    VENC_RECV_PIC_PARAM_S none = {0};
    VENC_RECV_PIC_PARAM_S one = {1};
    uint8_t data[1025] = {1};

    struct Step {
        const char* what;
        std::function<HI_S32()> call;
        HI_S32 expect;
    } steps[] = {
        {"start before creation", [] { return HI_MPI_VENC_StartRecvPic(0); }, VencErr(EN_ERR_UNEXIST)},
        {"descriptor before creation", [] { return HI_MPI_VENC_GetFd(0); }, VencErr(EN_ERR_UNEXIST)},
        {"destroy before creation", [] { return HI_MPI_VENC_DestroyChn(0); }, VencErr(EN_ERR_UNEXIST)},
        {"channel 16", [&] { return HI_MPI_VENC_CreateChn(16, &h264); }, VencErr(EN_ERR_INVALID_CHNID)},
        {"no attributes", [] { return HI_MPI_VENC_CreateChn(0, nullptr); }, VencErr(EN_ERR_NULL_PTR)},
        {"B-frames", [&] { return HI_MPI_VENC_CreateChn(0, &bFrames); }, VencErr(EN_ERR_ILLEGAL_PARAM)},
        {"picture wider than its maximum", [&] { return HI_MPI_VENC_CreateChn(0, &tooWide); }, VencErr(EN_ERR_ILLEGAL_PARAM)},
        {"target rate above the source", [&] { return HI_MPI_VENC_CreateChn(0, &fasterThanSource); }, VencErr(EN_ERR_ILLEGAL_PARAM)},
        {"no rate control", [&] { return HI_MPI_VENC_CreateChn(0, &noRc); }, VencErr(EN_ERR_NOT_SUPPORT)},
        {"stream buffer below a picture", [&] { return HI_MPI_VENC_CreateChn(0, &smallBuffer); }, VencErr(EN_ERR_ILLEGAL_PARAM)},
        {"AAC on a video channel", [&] { return HI_MPI_VENC_CreateChn(0, &aac); }, VencErr(EN_ERR_NOT_SUPPORT)},
        {"H.264", [&] { return HI_MPI_VENC_CreateChn(0, &h264); }, HI_SUCCESS},
        {"H.264 again", [&] { return HI_MPI_VENC_CreateChn(0, &h264); }, VencErr(EN_ERR_EXIST)},
        {"start", [] { return HI_MPI_VENC_StartRecvPic(0); }, HI_SUCCESS},
        {"start again", [] { return HI_MPI_VENC_StartRecvPic(0); }, HI_SUCCESS},
        {"counted start while receiving all", [&] { return HI_MPI_VENC_StartRecvPicEx(0, &one); }, VencErr(EN_ERR_NOT_PERM)},
        {"destroy while receiving", [] { return HI_MPI_VENC_DestroyChn(0); }, VencErr(EN_ERR_NOT_PERM)},
        {"user data on H.264", [&] { return HI_MPI_VENC_InsertUserData(0, data, 10); }, VencErr(EN_ERR_NOT_SUPPORT)},
        {"stop", [] { return HI_MPI_VENC_StopRecvPic(0); }, HI_SUCCESS},
        {"stop again", [] { return HI_MPI_VENC_StopRecvPic(0); }, HI_SUCCESS},
        {"destroy", [] { return HI_MPI_VENC_DestroyChn(0); }, HI_SUCCESS},
        {"destroy again", [] { return HI_MPI_VENC_DestroyChn(0); }, VencErr(EN_ERR_UNEXIST)},
        {"JPEG", [&] { return HI_MPI_VENC_CreateChn(3, &jpeg); }, HI_SUCCESS},
        {"counted start of none", [&] { return HI_MPI_VENC_StartRecvPicEx(3, &none); }, VencErr(EN_ERR_ILLEGAL_PARAM)},
        {"counted start", [&] { return HI_MPI_VENC_StartRecvPicEx(3, &one); }, HI_SUCCESS},
        {"user data of 1024 bytes", [&] { return HI_MPI_VENC_InsertUserData(3, data, 1024); }, HI_SUCCESS},
        {"user data of 1025 bytes", [&] { return HI_MPI_VENC_InsertUserData(3, data, 1025); }, VencErr(EN_ERR_ILLEGAL_PARAM)},
        {"user data of 0 bytes", [&] { return HI_MPI_VENC_InsertUserData(3, data, 0); }, VencErr(EN_ERR_ILLEGAL_PARAM)},
        {"rate-control parameters of JPEG", [] { VENC_RC_PARAM_S p; return HI_MPI_VENC_GetRcParam(3, &p); }, VencErr(EN_ERR_NOT_SUPPORT)},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(static_cast<uint32_t>(s.call()), static_cast<uint32_t>(s.expect)) << s.what;
    }
}

TEST_F(MpiVenc, RateControlParametersReadBackAndAreChecked)
{
    VENC_CHN_ATTR_S a = XTestH264Attr(1920, 1080, 30, 30, 30);
    ASSERT_EQ(HI_MPI_VENC_CreateChn(0, &a), HI_SUCCESS);
    VENC_RC_PARAM_S p;
    ASSERT_EQ(HI_MPI_VENC_GetRcParam(0, &p), HI_SUCCESS);
    const HI_U32 thrd[12] = {7, 7, 7, 7, 7, 9, 9, 9, 12, 15, 18, 25};
    memcpy(p.u32ThrdI, thrd, sizeof(thrd));
    memcpy(p.u32ThrdP, thrd, sizeof(thrd));
    const HI_U32 rowDelta = p.u32RowQpDelta;
    ASSERT_EQ(HI_MPI_VENC_SetRcParam(0, &p), HI_SUCCESS);
    VENC_RC_PARAM_S back;
    ASSERT_EQ(HI_MPI_VENC_GetRcParam(0, &back), HI_SUCCESS);
    EXPECT_EQ(0, memcmp(back.u32ThrdI, thrd, sizeof(thrd)));
    EXPECT_EQ(0, memcmp(back.u32ThrdP, thrd, sizeof(thrd)));
    EXPECT_EQ(back.u32RowQpDelta, rowDelta);
    p.u32ThrdP[3] = 256;
    EXPECT_EQ(HI_MPI_VENC_SetRcParam(0, &p), VencErr(EN_ERR_ILLEGAL_PARAM));
    VENC_CHN_ATTR_S got;
    ASSERT_EQ(HI_MPI_VENC_GetChnAttr(0, &got), HI_SUCCESS);
    EXPECT_EQ(got.stRcAttr.stAttrH264Cbr.u32BitRate, 2048u);
}

TEST_F(MpiVenc, DescriptorIsKeptAcrossDestroyAndCreateAndReadableWhileAStreamWaits)
{
    VENC_CHN_ATTR_S a = XTestH264Attr(1920, 1080, 30, 30, 30);
    ASSERT_EQ(HI_MPI_VENC_CreateChn(0, &a), HI_SUCCESS);
    ASSERT_EQ(CTestMediaChain::BindEncoder(0), HI_SUCCESS);
    const int fd = HI_MPI_VENC_GetFd(0);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(Readable(fd)) << "nothing encoded yet";
    ASSERT_EQ(HI_MPI_VENC_StartRecvPic(0), HI_SUCCESS);
    ASSERT_EQ(XMediaSimPump(2), 2);
    EXPECT_TRUE(Readable(fd));
    tagTestStream first = XTestTakeStream(0);
    ASSERT_EQ(first.status, HI_SUCCESS);
    ASSERT_EQ(NalType(first.packs[0]), 0x67);
    EXPECT_TRUE(Readable(fd)) << "one more waits";
    EXPECT_EQ(XTestTakeStream(0).status, HI_SUCCESS);
    EXPECT_FALSE(Readable(fd)) << "queue empty";

    // destroyed with a stream waiting, then created again: same descriptor, quiet
    ASSERT_EQ(XMediaSimPump(1), 1);
    EXPECT_TRUE(Readable(fd));
    ASSERT_EQ(HI_MPI_VENC_StopRecvPic(0), HI_SUCCESS);
    ASSERT_EQ(HI_MPI_VENC_DestroyChn(0), HI_SUCCESS);
    EXPECT_FALSE(Readable(fd));
    VENC_CHN_ATTR_S small = XTestH264Attr(1280, 720, 30, 30, 30);
    ASSERT_EQ(HI_MPI_VENC_CreateChn(0, &small), HI_SUCCESS);
    EXPECT_EQ(HI_MPI_VENC_GetFd(0), fd);
    ASSERT_EQ(HI_MPI_VENC_StartRecvPic(0), HI_SUCCESS);
    ASSERT_EQ(XMediaSimPump(1), 1);
    EXPECT_TRUE(Readable(fd));
    tagTestStream st = XTestTakeStream(0);
    ASSERT_EQ(st.status, HI_SUCCESS);
    EXPECT_EQ(st.seq, 0u) << "sequence counts from 0 at each creation";
    ASSERT_EQ(NalType(st.packs[0]), 0x67) << "a new channel starts with an IDR picture";
    EXPECT_NE(st.packs[0], first.packs[0]) << "its own sequence parameters";
}

TEST_F(MpiVenc, EmptyQueueGetsAndQueries)
{
    VENC_CHN_ATTR_S a = XTestH264Attr(1920, 1080, 30, 30, 30);
    ASSERT_EQ(HI_MPI_VENC_CreateChn(0, &a), HI_SUCCESS);
    VENC_CHN_STAT_S stat;
    ASSERT_EQ(HI_MPI_VENC_Query(0, &stat), HI_SUCCESS);
    EXPECT_EQ(stat.u32CurPacks, 0u);
    EXPECT_EQ(stat.u32LeftStreamFrames, 0u);
    EXPECT_FALSE(stat.bRegistered);
    EXPECT_EQ(XTestTakeStream(0, 0).status, VencErr(EN_ERR_BUF_EMPTY));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(XTestTakeStream(0, 60).status, VencErr(EN_ERR_TIMEOUT));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(60));
    VENC_STREAM_S st;
    memset(&st, 0, sizeof(st));
    EXPECT_EQ(HI_MPI_VENC_GetStream(0, &st, 0), VencErr(EN_ERR_NULL_PTR)) << "no pack array";
    VENC_PACK_S pack;
    st.pstPack = &pack;
    st.u32PackCount = 1;
    EXPECT_EQ(HI_MPI_VENC_ReleaseStream(0, &st), VencErr(EN_ERR_ILLEGAL_PARAM)) << "nothing held";
}

TEST_F(MpiVenc, ShortPackArrayTakesNothing)
{
    VENC_CHN_ATTR_S a = XTestH264Attr(1920, 1080, 30, 30, 30);
    ASSERT_EQ(HI_MPI_VENC_CreateChn(0, &a), HI_SUCCESS);
    ASSERT_EQ(CTestMediaChain::BindEncoder(0), HI_SUCCESS);
    ASSERT_EQ(HI_MPI_VENC_StartRecvPic(0), HI_SUCCESS);
    ASSERT_EQ(XMediaSimPump(1), 1);
    VENC_CHN_STAT_S stat;
    ASSERT_EQ(HI_MPI_VENC_Query(0, &stat), HI_SUCCESS);
    ASSERT_EQ(stat.u32CurPacks, 3u) << "SPS, PPS, IDR slice";
    EXPECT_TRUE(stat.bRegistered);

    // exactly as many records as the stream has packs: a short array on the heap
    // lets the address sanitizer see any write past it
    std::unique_ptr<VENC_PACK_S[]> two(new VENC_PACK_S[2]);
    memset(two.get(), 0xA5, 2 * sizeof(VENC_PACK_S));
    VENC_STREAM_S st;
    memset(&st, 0, sizeof(st));
    st.pstPack = two.get();
    st.u32PackCount = 2;
    EXPECT_EQ(HI_MPI_VENC_GetStream(0, &st, 0), VencErr(EN_ERR_ILLEGAL_PARAM));
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(two.get());
    for (size_t i = 0; i < 2 * sizeof(VENC_PACK_S); ++i) {
        ASSERT_EQ(raw[i], 0xA5) << "byte " << i << " written";
    }
    EXPECT_EQ(st.u32PackCount, 2u);
    ASSERT_EQ(HI_MPI_VENC_Query(0, &stat), HI_SUCCESS);
    EXPECT_EQ(stat.u32LeftStreamFrames, 1u) << "still waiting";

    std::unique_ptr<VENC_PACK_S[]> three(new VENC_PACK_S[stat.u32CurPacks]);
    st.pstPack = three.get();
    st.u32PackCount = stat.u32CurPacks;
    ASSERT_EQ(HI_MPI_VENC_GetStream(0, &st, 0), HI_SUCCESS);
    // the packs are writable until given back
    for (uint32_t i = 0; i < st.u32PackCount; ++i) {
        st.pstPack[i].pu8Addr[0] = 0;
        st.pstPack[i].pu8Addr[st.pstPack[i].u32Len - 1] ^= 0xFF;
    }
    EXPECT_TRUE(st.pstPack[2].bFrameEnd);
    EXPECT_FALSE(st.pstPack[0].bFrameEnd);
    EXPECT_EQ(HI_MPI_VENC_ReleaseStream(0, &st), HI_SUCCESS);
}

TEST_F(MpiVenc, ReleaseNamesTheOldestHeldStream)
{
    VENC_CHN_ATTR_S a = XTestJpegAttr(176, 120);
    ASSERT_EQ(HI_MPI_VENC_CreateChn(3, &a), HI_SUCCESS);
    ASSERT_EQ(CTestMediaChain::BindEncoder(3), HI_SUCCESS);
    ASSERT_EQ(HI_MPI_VENC_StartRecvPic(3), HI_SUCCESS);
    ASSERT_EQ(XMediaSimPump(2), 2);
    VENC_PACK_S p1[4];
    VENC_PACK_S p2[4];
    VENC_STREAM_S s1 = {p1, 4, 0};
    VENC_STREAM_S s2 = {p2, 4, 0};
    ASSERT_EQ(HI_MPI_VENC_GetStream(3, &s1, 0), HI_SUCCESS);
    ASSERT_EQ(HI_MPI_VENC_GetStream(3, &s2, 0), HI_SUCCESS);
    EXPECT_EQ(s1.u32Seq, 0u);
    EXPECT_EQ(s2.u32Seq, 1u);
    EXPECT_EQ(HI_MPI_VENC_ReleaseStream(3, &s2), VencErr(EN_ERR_ILLEGAL_PARAM)) << "newer first";
    EXPECT_EQ(HI_MPI_VENC_ReleaseStream(3, &s1), HI_SUCCESS);
    EXPECT_EQ(HI_MPI_VENC_ReleaseStream(3, &s1), VencErr(EN_ERR_ILLEGAL_PARAM)) << "twice";
    EXPECT_EQ(HI_MPI_VENC_ReleaseStream(3, &s2), HI_SUCCESS);
    tagMediaSimVenc info;
    ASSERT_TRUE(XMediaSimVencInfo(3, &info));
    EXPECT_EQ(info.u64Got, 2u);
    EXPECT_EQ(info.u64Released, 2u);
    EXPECT_EQ(info.u32Held, 0u);
}

TEST_F(MpiVenc, FullQueueDropsAndCounts)
{
    struct Case {
        const char* what;
        uint32_t bufSize;  // 0: the attributes' default
        int pictures;
        uint32_t queued;
    } cases[] = {
        {"64 pictures", 0, 70, 64},
        {"the buffer's bytes", 4000, 60, 0},
    };
    for (const Case& c : cases) {
        VENC_CHN_ATTR_S a = XTestJpegAttr(176, 120);
        if (c.bufSize != 0) {
            a.stVeAttr.stAttrJpeg.u32BufSize = c.bufSize;  // 176 x 120 / 2 = 10560 is the least allowed
        }
        HI_S32 r = HI_MPI_VENC_CreateChn(3, &a);
        if (c.bufSize != 0) {
            EXPECT_EQ(r, VencErr(EN_ERR_ILLEGAL_PARAM)) << c.what;
            a.stVeAttr.stAttrJpeg.u32BufSize = 176 * 120 / 2;
            ASSERT_EQ(HI_MPI_VENC_CreateChn(3, &a), HI_SUCCESS) << c.what;
        } else {
            ASSERT_EQ(r, HI_SUCCESS) << c.what;
        }
        ASSERT_EQ(CTestMediaChain::BindEncoder(3), HI_SUCCESS);
        ASSERT_EQ(HI_MPI_VENC_StartRecvPic(3), HI_SUCCESS);
        ASSERT_EQ(XMediaSimPump(c.pictures), c.pictures);
        tagMediaSimVenc info;
        ASSERT_TRUE(XMediaSimVencInfo(3, &info));
        if (c.queued != 0) {
            EXPECT_EQ(info.u32Queued, c.queued) << c.what;
        }
        EXPECT_EQ(info.u64Encoded + info.u64Dropped, static_cast<uint64_t>(c.pictures)) << c.what;
        EXPECT_GT(info.u64Dropped, 0u) << c.what;
        EXPECT_EQ(info.u32Queued, info.u64Encoded) << c.what;
        // once read, the queue takes pictures again
        while (XTestTakeStream(3).status == HI_SUCCESS) {
        }
        ASSERT_EQ(XMediaSimPump(1), 1);
        ASSERT_TRUE(XMediaSimVencInfo(3, &info));
        EXPECT_EQ(info.u32Queued, 1u) << c.what;
        ASSERT_EQ(HI_MPI_VENC_StopRecvPic(3), HI_SUCCESS);
        ASSERT_EQ(HI_MPI_VENC_DestroyChn(3), HI_SUCCESS);
        MPP_CHN_S dst = {HI_ID_VENC, 0, 3};
        ASSERT_EQ(HI_MPI_SYS_UnBind(nullptr, &dst), HI_SUCCESS);
    }
}

TEST_F(MpiVenc, EachEncoderDropsEvenlyToItsRate)
{
    struct Row {
        int chn;
        VENC_CHN_ATTR_S attr;
        int expect;   // streams from 60 pictures
    } rows[] = {
        {0, XTestH264Attr(1920, 1080, 30, 30, 30), 60},
        {1, XTestH264Attr(640, 480, 30, 25, 25), 50},
        {2, XTestH264Attr(640, 480, 30, 1, 1), 2},
        {3, XTestJpegAttr(176, 120), 60},
    };
    for (Row& r : rows) {
        ASSERT_EQ(HI_MPI_VENC_CreateChn(r.chn, &r.attr), HI_SUCCESS);
        ASSERT_EQ(CTestMediaChain::BindEncoder(r.chn), HI_SUCCESS);
        ASSERT_EQ(HI_MPI_VENC_StartRecvPic(r.chn), HI_SUCCESS);
    }
    for (int i = 0; i < 60; ++i) {
        ASSERT_EQ(XMediaSimPump(1), 1);
        // read as they come so no queue fills
        for (Row& r : rows) {
            while (XTestTakeStream(r.chn).status == HI_SUCCESS) {
                --r.expect;
            }
        }
    }
    for (const Row& r : rows) {
        EXPECT_EQ(r.expect, 0) << "channel " << r.chn;
    }
}

TEST_F(MpiVenc, CountedStartEncodesExactlyTheNextPictures)
{
    VENC_CHN_ATTR_S a = XTestJpegAttr(1920, 1080);
    ASSERT_EQ(HI_MPI_VENC_CreateChn(2, &a), HI_SUCCESS);
    ASSERT_EQ(CTestMediaChain::BindEncoder(2), HI_SUCCESS);
    ASSERT_EQ(XMediaSimPump(3), 3);
    tagMediaSimVenc info;
    ASSERT_TRUE(XMediaSimVencInfo(2, &info));
    EXPECT_EQ(info.u64Encoded, 0u) << "not receiving";
    VENC_RECV_PIC_PARAM_S two = {2};
    ASSERT_EQ(HI_MPI_VENC_StartRecvPicEx(2, &two), HI_SUCCESS);
    VENC_CHN_STAT_S stat;
    ASSERT_EQ(HI_MPI_VENC_Query(2, &stat), HI_SUCCESS);
    EXPECT_EQ(stat.u32LeftRecvPics, 2u);
    ASSERT_EQ(XMediaSimPump(5), 5);
    ASSERT_TRUE(XMediaSimVencInfo(2, &info));
    EXPECT_EQ(info.u64Encoded, 2u);
    EXPECT_FALSE(info.bReceiving);
    VENC_RECV_PIC_PARAM_S one = {1};
    ASSERT_EQ(HI_MPI_VENC_StartRecvPicEx(2, &one), HI_SUCCESS);
    ASSERT_EQ(XMediaSimPump(3), 3);
    ASSERT_TRUE(XMediaSimVencInfo(2, &info));
    EXPECT_EQ(info.u64Encoded, 3u);
}

TEST_F(MpiVenc, H264PacksFollowTheGop)
{
    VENC_CHN_ATTR_S a = XTestH264Attr(640, 480, 30, 25, 25);
    ASSERT_EQ(HI_MPI_VENC_CreateChn(1, &a), HI_SUCCESS);
    ASSERT_EQ(CTestMediaChain::BindEncoder(1), HI_SUCCESS);
    ASSERT_EQ(HI_MPI_VENC_StartRecvPic(1), HI_SUCCESS);
    ASSERT_EQ(XMediaSimPump(60), 60);  // 50 streams: two GOPs
    uint64_t lastPts = 0;
    for (int k = 0; k < 50; ++k) {
        tagTestStream st = XTestTakeStream(1);
        ASSERT_EQ(st.status, HI_SUCCESS) << k;
        EXPECT_EQ(st.seq, static_cast<uint32_t>(k));
        std::vector<int> types;
        for (const auto& p : st.packs) {
            ASSERT_GT(p.size(), 4u);
            EXPECT_EQ(p[0], 0);
            EXPECT_EQ(p[1], 0);
            EXPECT_EQ(p[2], 0);
            EXPECT_EQ(p[3], 1);
            types.push_back(NalType(p));
        }
        if (k % 25 == 0) {
            EXPECT_EQ(types, (std::vector<int>{0x67, 0x68, 0x65})) << k;
        } else {
            EXPECT_EQ(types, (std::vector<int>{0x61})) << k;
        }
        EXPECT_GT(st.pts[0], lastPts) << k;
        for (uint64_t p : st.pts) {
            EXPECT_EQ(p, st.pts[0]) << "one time stamp a picture";
        }
        lastPts = st.pts[0];
    }
    EXPECT_EQ(XTestTakeStream(1).status, VencErr(EN_ERR_BUF_EMPTY));
}

TEST_F(MpiVenc, JpegPacksCarryTheUserData)
{
    VENC_CHN_ATTR_S a = XTestJpegAttr(1920, 1080);
    ASSERT_EQ(HI_MPI_VENC_CreateChn(2, &a), HI_SUCCESS);
    ASSERT_EQ(CTestMediaChain::BindEncoder(2), HI_SUCCESS);
    uint8_t first[] = "first block";
    uint8_t gps[] = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A";
    ASSERT_EQ(HI_MPI_VENC_InsertUserData(2, first, sizeof(first) - 1), HI_SUCCESS);
    ASSERT_EQ(HI_MPI_VENC_InsertUserData(2, gps, sizeof(gps) - 1), HI_SUCCESS) << "replaces the pending one";
    VENC_RECV_PIC_PARAM_S two = {2};
    ASSERT_EQ(HI_MPI_VENC_StartRecvPicEx(2, &two), HI_SUCCESS);
    ASSERT_EQ(XMediaSimPump(2), 2);
    for (int k = 0; k < 2; ++k) {
        tagTestStream st = XTestTakeStream(2);
        ASSERT_EQ(st.status, HI_SUCCESS);
        ASSERT_EQ(st.packs.size(), 3u);
        const std::vector<uint8_t>& head = st.packs[0];
        ASSERT_GE(head.size(), 4u);
        EXPECT_EQ(head[0], 0xFF);
        EXPECT_EQ(head[1], 0xD8);
        const BOOL com = head[2] == 0xFF && head[3] == 0xFE;
        if (k == 0) {
            ASSERT_TRUE(com) << "COM right after SOI";
            const size_t len = (static_cast<size_t>(head[4]) << 8) | head[5];
            EXPECT_EQ(std::string(head.begin() + 6, head.begin() + 4 + len), std::string(reinterpret_cast<char*>(gps)));
        } else {
            EXPECT_FALSE(com) << "one block goes into one picture";
        }
        EXPECT_EQ(st.packs[2], (std::vector<uint8_t>{0xFF, 0xD9}));
        for (uint8_t b : st.packs[1]) {
            ASSERT_NE(b, 0xFF) << "entropy data holds no marker";
        }
    }
}

TEST_F(MpiVenc, StallDropsAndCounts)
{
    VENC_CHN_ATTR_S a = XTestJpegAttr(176, 120);
    ASSERT_EQ(HI_MPI_VENC_CreateChn(3, &a), HI_SUCCESS);
    ASSERT_EQ(CTestMediaChain::BindEncoder(3), HI_SUCCESS);
    ASSERT_EQ(HI_MPI_VENC_StartRecvPic(3), HI_SUCCESS);
    XMediaSimStall(3, 60000);
    ASSERT_EQ(XMediaSimPump(5), 5);
    tagMediaSimVenc info;
    ASSERT_TRUE(XMediaSimVencInfo(3, &info));
    EXPECT_EQ(info.u64Dropped, 5u);
    EXPECT_EQ(info.u64Encoded, 0u);
    XMediaSimStall(3, 0);
    ASSERT_EQ(XMediaSimPump(2), 2);
    ASSERT_TRUE(XMediaSimVencInfo(3, &info));
    EXPECT_EQ(info.u64Encoded, 2u);
}

TEST_F(MpiVenc, PicturesFlowOnlyAlongBindsOfALiveChain)
{
    VENC_CHN_ATTR_S a = XTestJpegAttr(176, 120);
    ASSERT_EQ(HI_MPI_VENC_CreateChn(3, &a), HI_SUCCESS);
    ASSERT_EQ(HI_MPI_VENC_StartRecvPic(3), HI_SUCCESS);
    ASSERT_EQ(XMediaSimPump(2), 2);
    tagMediaSimVenc info;
    ASSERT_TRUE(XMediaSimVencInfo(3, &info));
    EXPECT_EQ(info.u64Encoded, 0u) << "not bound";
    ASSERT_EQ(CTestMediaChain::BindEncoder(3), HI_SUCCESS);
    ASSERT_EQ(XMediaSimPump(1), 1);
    ASSERT_TRUE(XMediaSimVencInfo(3, &info));
    EXPECT_EQ(info.u64Encoded, 1u) << "bound";

    ASSERT_EQ(HI_MPI_VPSS_DisableChn(0, 3), HI_SUCCESS);
    EXPECT_EQ(XMediaSimPump(1), 1) << "the chain itself stays live";
    ASSERT_TRUE(XMediaSimVencInfo(3, &info));
    EXPECT_EQ(info.u64Encoded, 1u) << "its group channel is off";
    ASSERT_EQ(HI_MPI_VPSS_EnableChn(0, 3), HI_SUCCESS);

    ASSERT_EQ(HI_MPI_VPSS_StopGrp(0), HI_SUCCESS);
    EXPECT_FALSE(XMediaSimChainLive());
    EXPECT_EQ(XMediaSimPump(1), 0);
    ASSERT_EQ(HI_MPI_VPSS_StartGrp(0), HI_SUCCESS);
    EXPECT_TRUE(XMediaSimChainLive());

    ASSERT_EQ(HI_MPI_ISP_Exit(0), HI_SUCCESS);
    m_Chain.Down();  // joins the ISP thread: Run returned at Exit
    EXPECT_EQ(m_Chain.IspResult(), HI_SUCCESS);
    EXPECT_FALSE(XMediaSimChainLive());
}
