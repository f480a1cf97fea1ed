#ifndef TESTS_PLATFORM_MEDIACHAIN_H
#define TESTS_PLATFORM_MEDIACHAIN_H

// A live picture chain on the simulated media layer for the encoder tests:
// pools and system, a sensor table, the ISP running on its own thread, the
// input device and channel, group 0 with channels at the given sizes, the
// input bound to the group. Manual picture source. Everything goes at the end.

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "Platform/MediaSim.h"
#include "Platform/MpiIsp.h"
#include "Platform/MpiSns.h"
#include "Platform/host/media/MediaModules.h"
#include "Platform/MpiSys.h"
#include "Platform/MpiVenc.h"
#include "Platform/MpiVi.h"
#include "Platform/MpiVpss.h"

class CTestMediaChain {
public:
    // Placeholder packs unless the test asks for the real encoders.
    explicit CTestMediaChain(BOOL bPlaceholders = TRUE)
    {
        XMediaSimReset();
        XMediaSimUsePlaceholders(bPlaceholders);
    }
    ~CTestMediaChain()
    {
        Down();
        XMediaSimUsePlaceholders(FALSE);
    }

    // System only.
    HI_S32 System()
    {
        VB_CONF_S vb;
        memset(&vb, 0, sizeof(vb));
        vb.u32MaxPoolCnt = 128;
        vb.astCommPool[0].u32BlkSize = 3159360;
        vb.astCommPool[0].u32BlkCnt = 10;
        MPP_SYS_CONF_S sys = {64};
        if (HI_S32 r = HI_MPI_VB_SetConf(&vb)) return r;
        if (HI_S32 r = HI_MPI_VB_Init()) return r;
        if (HI_S32 r = HI_MPI_SYS_SetConf(&sys)) return r;
        return HI_MPI_SYS_Init();
    }

    // The ISP running on its own thread.
    HI_S32 Isp()
    {
        static ISP_SENSOR_REGISTER_S table = {};  // no sensor behind it: every slot empty
        if (HI_S32 r = HI_MPI_ISP_SensorRegCallBack(0, 290, &table)) return r;
        if (HI_S32 r = HI_MPI_ISP_MemInit(0)) return r;
        ISP_WDR_MODE_S wdr = {WDR_MODE_NONE};
        if (HI_S32 r = HI_MPI_ISP_SetWDRMode(0, &wdr)) return r;
        ISP_PUB_ATTR_S pub = {{0, 0, 1920, 1080}, 30.0f, BAYER_RGGB};
        if (HI_S32 r = HI_MPI_ISP_SetPubAttr(0, &pub)) return r;
        if (HI_S32 r = HI_MPI_ISP_Init(0)) return r;
        m_IspThread = std::thread([this] { m_IspResult = HI_MPI_ISP_Run(0); });
        // Run has begun once the chain sees the ISP running (the caller is noted before that)
        for (int i = 0; i < 2000 && !(XMediaSimCaller("HI_MPI_ISP_Run", nullptr, nullptr) && XMediaIspRunning());
             ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return HI_SUCCESS;
    }

    HI_S32 Input()
    {
        VI_DEV_ATTR_S dev;
        memset(&dev, 0, sizeof(dev));
        dev.enIntfMode = VI_MODE_MIPI;
        dev.stDevRect = {0, 0, 1920, 1080};
        if (HI_S32 r = HI_MPI_VI_SetDevAttr(0, &dev)) return r;
        if (HI_S32 r = HI_MPI_VI_EnableDev(0)) return r;
        VI_CHN_ATTR_S chn;
        memset(&chn, 0, sizeof(chn));
        chn.stCapRect = {0, 0, 1920, 1080};
        chn.stDestSize = {1920, 1080};
        chn.enCapSel = VI_CAPSEL_BOTH;
        chn.enPixFormat = PIXEL_FORMAT_YUV_SEMIPLANAR_420;
        chn.bMirror = 1;
        chn.bFlip = 1;
        chn.s32SrcFrameRate = -1;
        chn.s32DstFrameRate = -1;
        if (HI_S32 r = HI_MPI_VI_SetChnAttr(0, &chn)) return r;
        return HI_MPI_VI_EnableChn(0);
    }

    // Group 0 with one channel per size, started and bound from the input.
    HI_S32 Group(const std::vector<SIZE_S>& sizes)
    {
        VPSS_GRP_ATTR_S g = {1920, 1080, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 0, 0, 1, 0, VPSS_DIE_MODE_NODIE};
        if (HI_S32 r = HI_MPI_VPSS_CreateGrp(0, &g)) return r;
        if (HI_S32 r = HI_MPI_VPSS_StartGrp(0)) return r;
        MPP_CHN_S vi = {HI_ID_VIU, 0, 0};
        MPP_CHN_S grp = {HI_ID_VPSS, 0, 0};
        if (HI_S32 r = HI_MPI_SYS_Bind(&vi, &grp)) return r;
        for (size_t i = 0; i < sizes.size(); ++i) {
            VPSS_CHN_ATTR_S a = {0, 0, 0, 0, -1, -1};
            VPSS_CHN_MODE_S m = {VPSS_CHN_MODE_USER, sizes[i].u32Width, sizes[i].u32Height, 0,
                                 PIXEL_FORMAT_YUV_SEMIPLANAR_420, COMPRESS_MODE_SEG};
            if (HI_S32 r = HI_MPI_VPSS_SetChnAttr(0, static_cast<int>(i), &a)) return r;
            if (HI_S32 r = HI_MPI_VPSS_SetChnMode(0, static_cast<int>(i), &m)) return r;
            if (HI_S32 r = HI_MPI_VPSS_EnableChn(0, static_cast<int>(i))) return r;
        }
        return HI_SUCCESS;
    }

    // The whole chain with four group channels (1080p, 1080p, 1080p, 176x120).
    HI_S32 Live()
    {
        XMediaSimSetManual(TRUE);
        if (HI_S32 r = System()) return r;
        if (HI_S32 r = Isp()) return r;
        if (HI_S32 r = Input()) return r;
        return Group({{1920, 1080}, {1920, 1080}, {1920, 1080}, {176, 120}});
    }

    // Binds group channel `chn` to encoder `chn`.
    static HI_S32 BindEncoder(int chn)
    {
        MPP_CHN_S src = {HI_ID_VPSS, 0, chn};
        MPP_CHN_S dst = {HI_ID_VENC, 0, chn};
        return HI_MPI_SYS_Bind(&src, &dst);
    }

    void Down()
    {
        HI_MPI_ISP_Exit(0);
        if (m_IspThread.joinable()) {
            m_IspThread.join();
        }
        XMediaSimReset();
    }

    HI_S32 IspResult() const { return m_IspResult; }

private:
    std::thread m_IspThread;
    HI_S32 m_IspResult = -1;
};

// Attributes of an H.264 channel at CBR.
inline VENC_CHN_ATTR_S XTestH264Attr(uint32_t w, uint32_t h, uint32_t srcFps, uint32_t dstFps, uint32_t gop,
                                     uint32_t kbps = 2048)
{
    VENC_CHN_ATTR_S a;
    memset(&a, 0, sizeof(a));
    a.stVeAttr.enType = PT_H264;
    a.stVeAttr.stAttrH264e = {w, h, w * h * 2, 2, 1, w, h, 0, 1};
    a.stRcAttr.enRcMode = VENC_RC_MODE_H264CBR;
    a.stRcAttr.stAttrH264Cbr = {gop, 1, srcFps, static_cast<HI_FR32>(dstFps), kbps, 0};
    return a;
}

inline VENC_CHN_ATTR_S XTestJpegAttr(uint32_t w, uint32_t h)
{
    VENC_CHN_ATTR_S a;
    memset(&a, 0, sizeof(a));
    a.stVeAttr.enType = PT_JPEG;
    a.stVeAttr.stAttrJpeg = {w, h, w * h * 2, 1, w, h, 0};
    return a;
}

// One stream taken and copied, given back at once.
struct tagTestStream {
    HI_S32 status = -1;
    uint32_t seq = 0;
    std::vector<std::vector<uint8_t>> packs;
    std::vector<uint64_t> pts;
};

inline tagTestStream XTestTakeStream(int chn, HI_S32 timeoutMs = 0)
{
    tagTestStream out;
    VENC_PACK_S packs[16];
    VENC_STREAM_S st;
    memset(&st, 0, sizeof(st));
    st.pstPack = packs;
    st.u32PackCount = 16;
    out.status = HI_MPI_VENC_GetStream(chn, &st, timeoutMs);
    if (out.status != HI_SUCCESS) {
        return out;
    }
    out.seq = st.u32Seq;
    for (uint32_t i = 0; i < st.u32PackCount; ++i) {
        out.packs.emplace_back(packs[i].pu8Addr, packs[i].pu8Addr + packs[i].u32Len);
        out.pts.push_back(packs[i].u64PTS);
    }
    EXPECT_EQ(HI_MPI_VENC_ReleaseStream(chn, &st), HI_SUCCESS);
    return out;
}

#endif
