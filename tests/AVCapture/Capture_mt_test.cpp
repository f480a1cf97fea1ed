// Switches, pause and resume from another thread while the capture thread
// runs (the threading build checks every access on the way). The video
// encoders deliver placeholder packs; in a build without the codecs the AAC
// type encodes through the tests' stand-in, so the test runs there too.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "AVCapture/AacEncoder.h"
#include "tests/AVCapture/CaptureRig.h"
#include "tests/Platform/FakeAudioEncoder.h"

namespace {

// Without the AAC library every AAC encoder open fails: the camera's own
// registration of the type gives way to the stand-in, for the process.
void XUseAacStandIn()
{
#ifndef DASHCAM_HAVE_CODECS
    ASSERT_EQ(HI_MPI_AENC_AacInit(), 0);
    for (const AencRegistration& r : XAencRegistrations()) {
        if (r.type == PT_AAC && r.name == "Aac") {
            ASSERT_EQ(HI_MPI_AENC_UnRegisterEncoder(r.handle), 0);
        }
    }
    RegisterFake(PT_AAC);
#endif
}

}  // namespace

using CaptureControlThreads = CaptureRig;

TEST_F(CaptureControlThreads, SwitchesPauseAndResumeBesideCapture)
{
    XUseAacStandIn();
    XMediaSimUsePlaceholders(TRUE);
    m_Links.m_Settings["funcset/audiorecord"] = 1;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    ASSERT_TRUE(Camera()->Init());
    ASSERT_TRUE(m_Sink.WaitBeyond(0, 2));
    CRigCapture* cam = Camera();
    std::atomic<int> failures{0};
    std::thread control([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
            switch (i % 6) {
            case 0:
                failures += !cam->ResolutionSwitch(0);
                break;
            case 1:
                failures += !cam->ParkingMonitoringEnable(1);
                break;
            case 2:
                cam->PauseCapture();
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
                cam->ResumeCapture();
                break;
            case 3:
                failures += !cam->ResolutionSwitch(1);
                break;
            case 4:
                failures += !cam->ParkingMonitoringEnable(0);
                break;
            default:
                failures += !cam->EnableAudioEnc(i % 4 == 1);
                break;
            }
            unsigned w = 0;
            unsigned h = 0;
            cam->GetChannelResolution(0, w, h);
        }
    });
    control.join();
    EXPECT_TRUE(cam->EnableAudioEnc(1));
    const size_t n = m_Sink.Count(0);
    EXPECT_TRUE(m_Sink.WaitBeyond(0, n + 2));
    EXPECT_TRUE(cam->CleanUp());
    testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(failures.load(), 0) << err;
    EXPECT_EQ(err.find("select failed!"), std::string::npos) << err;
}
