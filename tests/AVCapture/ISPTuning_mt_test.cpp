// The exposure report read on another thread while the capture thread steps
// the tuning: each record arrives whole.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

#include "AVCapture/hi3516cv200/Imx291Tuning.h"
#include "AVCapture/hi3516cv200/MN34227Tuning.h"
#include "Platform/TuningSim.h"
#include "tests/Platform/MediaChain.h"

namespace {

ISP_EXP_INFO_S Record(HI_U32 k)
{
    ISP_EXP_INFO_S info;
    memset(&info, 0, sizeof(info));
    info.u32ExpTime = k;
    info.u32AGain = k;
    info.u32Exposure = k;
    info.u8AveLum = static_cast<HI_U8>(k);
    for (HI_U32& h : info.u32AE_Hist256Value) {
        h = k;
    }
    return info;
}

void ReportWhileStepping(CISPTuning* tuning)
{
    std::atomic<bool> done(false);
    std::atomic<int> reads(0);
    std::atomic<int> torn(0);
    std::thread reader([&] {
        while (!done.load() || reads.load() == 0) {
            ISP_EXP_INFO_S info;
            int minexp = 0;
            int drc = 0;
            tuning->GetCurExposureInfo(&info, &minexp, &drc);
            const HI_U32 k = info.u32AGain;
            if (info.u32ExpTime != k || info.u32Exposure != k || info.u8AveLum != static_cast<HI_U8>(k) ||
                info.u32AE_Hist256Value[255] != k || minexp != 20 || drc != -1) {
                torn.fetch_add(1);
            }
            reads.fetch_add(1);
        }
    });
    for (HI_U32 k = 1; k <= 600; ++k) {
        XTuningSimInjectExposure(Record(1000 + 13 * k));
        tuning->ISPTuning(true, AE_EXP_HIGHLIGHT_PRIOR, false);
    }
    done.store(true);
    reader.join();
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(torn.load(), 0);
    ISP_EXP_INFO_S last;
    int minexp = 0;
    int drc = 0;
    tuning->GetCurExposureInfo(&last, &minexp, &drc);
    EXPECT_EQ(last.u32AGain, 1000u + 13u * 600u);
}

}  // namespace

TEST(ISPTuningThreads, ExposureReportWhileStepping)
{
    CTestMediaChain chain;
    ASSERT_EQ(chain.System(), HI_SUCCESS);
    ASSERT_EQ(chain.Group({{1920, 1080}}), HI_SUCCESS);
    for (int sensor = 0; sensor < 2; ++sensor) {
        SCOPED_TRACE(sensor == 0 ? "imx291" : "mn34227");
        CImx291Tuning::ResetStepState();
        CMN34227Tuning::ResetStepState();
        std::unique_ptr<CISPTuning> tuning(sensor == 0 ? static_cast<CISPTuning*>(new CImx291Tuning)
                                                       : static_cast<CISPTuning*>(new CMN34227Tuning));
        ReportWhileStepping(tuning.get());
    }
    CImx291Tuning::ResetStepState();
    CMN34227Tuning::ResetStepState();
}
