// CPU cost of the capture thread per recorded second: the camera brought up
// on a board folder, every packet recorded by the real engine onto the
// board's card folder; the capture thread's own CPU time (the recording
// engine runs on it) apart from the rest of the process (the simulated
// media layer's picture source and encoders, the ISP).
//
//   sim/board init DIR && bench_capture_codec_bench DIR [seconds]

#include <pthread.h>
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "AVCapture/hi3516cv200/AVCapture.h"
#include "IniConfig/IniConfig.h"
#include "Main/Wiring/CaptureWiring.h"
#include "Main/Wiring/SharedRoles.h"
#include "Platform/BoardRoot.h"
#include "Record/MP4/MP4File.h"
#include "Record/Record.h"
#include "Record/RecordPacker.h"
#include "Record/RecordTestCard.h"
#include "tests/AVCapture/EngineSink.h"

namespace {

class CBenchCapture : public CAVCapture {
public:
    // CPU seconds of the capture thread so far, -1 while it does not run.
    double CaptureCpu()
    {
        pthread_t t;
        {
            std::lock_guard<std::mutex> lock(m_StateLock);
            if (!m_bCaptureRunning) {
                return -1.0;
            }
            t = m_CaptureSelf;
        }
        clockid_t id;
        struct timespec ts;
        if (pthread_getcpuclockid(t, &id) != 0 || clock_gettime(id, &ts) != 0) {
            return -1.0;
        }
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
    }
};

double ProcessCpu()
{
    struct timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s BOARD_DIR [seconds]\n", argv[0]);
        return 2;
    }
    const int seconds = argc > 2 ? atoi(argv[2]) : 20;
    if (seconds <= 0) {
        fprintf(stderr, "usage: %s BOARD_DIR [seconds]\n", argv[0]);
        return 2;
    }
    PlatformSetBoardRoot(argv[1]);
    if (!PlatformCheckBoard()) {
        return 2;
    }
    CIniConfig::instance()->Init();
    CFolderCard* card = new CFolderCard();
    CRecord engine(new CMP4File(), card, new CRecordPacker());
    CEngineSink sink(&engine);
    // The rest as on the camera.
    CCameraCaptureOverlays overlays;
    CCameraPrompts prompts;
    CCameraAlarms alarms;
    CCameraFactoryState factory;
    CCameraSettings settings;
    CBenchCapture* cam = new CBenchCapture;
    cam->Bind({&sink, &sink, &overlays, &prompts, &alarms, &factory, &settings});
    if (!cam->Init()) {
        fprintf(stderr, "the camera did not start\n");
        cam->CleanUp();
        delete cam;
        return 1;
    }
    card->Notify(emSDState_Insert | emSDState_Mount);
    engine.ResumeCommonRecord();
    std::this_thread::sleep_for(std::chrono::seconds(2));  // past start-up
    const double c0 = cam->CaptureCpu();
    const double p0 = ProcessCpu();
    const auto w0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double c1 = cam->CaptureCpu();
    const double p1 = ProcessCpu();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
    cam->CleanUp();
    delete cam;
    if (c0 < 0 || c1 < 0) {
        fprintf(stderr, "the capture thread ended early\n");
        return 1;
    }
    printf("CPU seconds per recorded second (%.1f s recorded)\n", wall);
    printf("%-44s %8.4f\n", "capture thread (with the recording engine)", (c1 - c0) / wall);
    printf("%-44s %8.4f\n", "rest of the process (stand-in, ISP, ...)", ((p1 - p0) - (c1 - c0)) / wall);
    return 0;
}
