// CPU cost of the simulated camera's pictures and encoders per second of
// video, each part apart, next to ffmpeg making testsrc2 pictures of the same
// sizes and encoding them with libx264 ultrafast (MJPEG for the JPEG rows).
//
//   bench_media_codec_bench [seconds]
//
// Printed per second of video: CPU seconds (user + system) of the picture
// synthesis, of the encoder (its run minus the synthesis inside it), and of
// the ffmpeg reference on one thread.

#include <sys/resource.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Platform/MpiVenc.h"
#include "Platform/host/media/PictureSynth.h"
#include "Platform/host/media/VencCoder.h"

namespace {

double ThreadCpu()
{
    struct timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double ChildrenCpu()
{
    struct rusage ru;
    getrusage(RUSAGE_CHILDREN, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

VENC_CHN_ATTR_S H264(uint32_t w, uint32_t h, uint32_t fps, uint32_t kbps)
{
    VENC_CHN_ATTR_S a;
    memset(&a, 0, sizeof(a));
    a.stVeAttr.enType = PT_H264;
    a.stVeAttr.stAttrH264e = {w, h, w * h * 2, 2, 1, w, h, 0, 1};
    a.stRcAttr.enRcMode = VENC_RC_MODE_H264CBR;
    a.stRcAttr.stAttrH264Cbr = {fps, 1, 30, static_cast<HI_FR32>(fps), kbps, 0};
    return a;
}

VENC_CHN_ATTR_S Jpeg(uint32_t w, uint32_t h)
{
    VENC_CHN_ATTR_S a;
    memset(&a, 0, sizeof(a));
    a.stVeAttr.enType = PT_JPEG;
    a.stVeAttr.stAttrJpeg = {w, h, w * h * 2, 1, w, h, 0};
    return a;
}

struct tagRow {
    const char* name;
    VENC_CHN_ATTR_S attr;
    int w, h, fps;
    const char* ffmpegCodec;
};

}  // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? atoi(argv[1]) : 5;
    if (seconds <= 0) {
        fprintf(stderr, "usage: %s [seconds]\n", argv[0]);
        return 2;
    }
    const tagRow rows[] = {
        {"H.264 main 1920x1080 30/s 8192k", H264(1920, 1080, 30, 8192), 1920, 1080, 30, "libx264 -preset ultrafast"},
        {"H.264 sub   640x480  25/s 1024k", H264(640, 480, 25, 1024), 640, 480, 25, "libx264 -preset ultrafast"},
        {"JPEG small  176x120  30/s q90  ", Jpeg(176, 120), 176, 120, 30, "mjpeg -q:v 2"},
        {"JPEG large 1920x1080  1/s q90  ", Jpeg(1920, 1080), 1920, 1080, 1, "mjpeg -q:v 2"},
    };
    printf("CPU seconds per second of video (%d s each)\n", seconds);
    printf("%-34s %10s %10s %10s %12s\n", "stream", "synthesis", "encoder", "total", "ffmpeg ref");
    for (const tagRow& r : rows) {
        const int n = r.fps * seconds;
        // synthesis alone
        std::vector<uint8_t> y(static_cast<size_t>(r.w) * r.h);
        std::vector<uint8_t> u(static_cast<size_t>(r.w / 2) * (r.h / 2));
        std::vector<uint8_t> v(u.size());
        const tagSynthPlanes planes = {y.data(), r.w, u.data(), r.w / 2, v.data(), r.w / 2};
        double t0 = ThreadCpu();
        for (int i = 0; i < n; ++i) {
            XSynthPicture(static_cast<uint64_t>(i), static_cast<uint32_t>(i), r.w, r.h, planes);
        }
        const double synth = (ThreadCpu() - t0) / seconds;
        // the channel's coder (synthesis inside)
        std::unique_ptr<CVencCoder> coder = XVencCreateRealCoder(r.attr);
        if (!coder) {
            fprintf(stderr, "%s: the encoder does not open\n", r.name);
            return 1;
        }
        std::vector<tagVencPackOut> packs;
        size_t bytes = 0;
        t0 = ThreadCpu();
        for (int i = 0; i < n; ++i) {
            tagVencPicture pic = {static_cast<uint64_t>(i), static_cast<uint64_t>(i), 0, 1920, 1080, -1};
            if (!coder->Encode(pic, r.attr.stVeAttr.enType == PT_H264 && i % r.fps == 0, nullptr, &packs)) {
                fprintf(stderr, "%s: encoding failed\n", r.name);
                return 1;
            }
            for (const auto& p : packs) {
                bytes += p.data.size();
            }
        }
        const double total = (ThreadCpu() - t0) / seconds;
        // reference: ffmpeg on one thread
        char cmd[512];
        snprintf(cmd, sizeof(cmd),
                 "ffmpeg -v error -threads 1 -f lavfi -i testsrc2=size=%dx%d:rate=%d -t %d -threads 1 -c:v %s "
                 "-f null - </dev/null",
                 r.w, r.h, r.fps, seconds, r.ffmpegCodec);
        const double c0 = ChildrenCpu();
        const int st = system(cmd);
        const double ref = st == 0 ? (ChildrenCpu() - c0) / seconds : -1.0;
        printf("%-34s %10.3f %10.3f %10.3f %12.3f   (%zu bytes/s)\n", r.name, synth, total - synth, total, ref,
               bytes / static_cast<size_t>(seconds));
    }
    return 0;
}
