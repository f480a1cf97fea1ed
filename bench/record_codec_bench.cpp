// bench_record_codec_bench [MINUTES] [RAM_DIR]
//
// Pushes MINUTES (default 30) of 1080p30 H.264 at the camera's main-stream
// bit rate (8192 kbit/s) plus AAC through the recording engine and the MP4
// writer onto a folder in RAM (default /dev/shm) as fast as it can, and
// prints CPU time per recorded second, peak memory and write calls per
// second. Loop files are removed as they are closed, so the folder holds one
// at a time. Beside it, ffmpeg muxes the same streams with -c copy into MP4
// in loop-file lengths, as the reference.

#include <sys/resource.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "Function/common.h"
#include "Record/MP4File.h"
#include "Record/Record.h"
#include "Record/RecordFeeder.h"
#include "Record/RecordTestCard.h"
#include "tools/recfeed/ToolBoard.h"

namespace {

double XCpuSeconds(int who)
{
    struct rusage ru;
    getrusage(who, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double XWallSeconds()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

// Write system calls of this process so far.
unsigned long long XWriteCalls()
{
    std::ifstream in("/proc/self/io");
    std::string key;
    unsigned long long value = 0;
    while (in >> key >> value) {
        if (key == "syscw:") {
            return value;
        }
    }
    return 0;
}

long XPeakKiB()
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return 0;
}

// Deletes every closed file (the folder is RAM).
class CDropFinisher : public CRecordFinisher {
public:
    int m_nFiles = 0;
    BOOL FinishRecordFile(tagRecordFinishInfo& info) override
    {
        char name[RECORD_NAME_BUF_SIZE] = {0};
        if (info.lpVideoName->GetFileName(info.szRootPath,
                                          info.emType == emRecordFileType_Alarm ? RECORD_DIR_ALARM_VIDEO
                                                                                : RECORD_DIR_COMMON_VIDEO,
                                          "MP4", TRUE, TRUE, name)) {
            unlink(name);
        }
        XDeleteWaitingImages(info);
        XPutAssociatedDataList(info.lpAssociatedData);
        info.lpAssociatedData = nullptr;
        ++m_nFiles;
        return TRUE;
    }
    void ScanCard(const char*, CRecordFileIndex&, CRecordFileIndex&, CRecordFileIndex&) override {}
};

}  // namespace

int main(int argc, char** argv)
{
    const long minutes = argc > 1 ? strtol(argv[1], nullptr, 10) : 30;
    const std::string ram = argc > 2 ? argv[2] : "/dev/shm";
    if (minutes <= 0) {
        fprintf(stderr, "usage: %s [MINUTES] [RAM_DIR]\n", argv[0]);
        return 2;
    }
#ifdef DASHCAM_BENCH_SANITIZER
    if (std::string(DASHCAM_BENCH_SANITIZER) != "none") {
        printf("built with the %s sanitizer: figures are not the engine's own\n", DASHCAM_BENCH_SANITIZER);
    }
#endif
    const std::string cardDir = ram + "/record-bench-card-" + std::to_string(getpid());
    int ret = 0;
    {
        CToolBoard board(cardDir.c_str());
        if (!board.Ok()) {
            return 1;
        }
        CFolderCard* card = new CFolderCard();
        CDropFinisher* finisher = new CDropFinisher();
        CRecord record(new CMP4File(), card, finisher);
        tagRecordFeederConfig cfg;
        cfg.width = 1920;
        cfg.height = 1080;
        cfg.bitrateKbps = 8192;
        cfg.poolFrames = 300;
        cfg.bDeviceNalRefIdc = TRUE;
        record.Init(cfg.fps, cfg.gop, 1920, 1080);
        record.SetFactoryTesting(TRUE);  // no LED writes through the register file
        card->Notify(emSDState_Insert | emSDState_Mount);
        record.ResumeCommonRecord();
        printf("encoding %d pictures of 1920x1080 at %d kbit/s for the pool...\n", cfg.poolFrames, cfg.bitrateKbps);
        CRecordFeeder feeder(record, cfg);
        if (!feeder.Ok()) {
            fprintf(stderr, "the codec fixtures could not be opened\n");
            return 1;
        }
        const int64_t frames = minutes * 60 * cfg.fps;
        const double cpu0 = XCpuSeconds(RUSAGE_SELF);
        const double wall0 = XWallSeconds();
        const unsigned long long writes0 = XWriteCalls();
        feeder.Feed(frames);
        record.StopAllRecord(1, 1);
        const double cpu = XCpuSeconds(RUSAGE_SELF) - cpu0;
        const double wall = XWallSeconds() - wall0;
        const unsigned long long writes = XWriteCalls() - writes0;
        const double recorded = static_cast<double>(frames) / cfg.fps;
        uint64_t bytes = 0;
        for (int64_t f = 0; f < frames; ++f) {
            bytes += feeder.SampleSizes()[static_cast<size_t>(f)];
        }
        printf("engine: %.0f s of video (%.1f MB of H.264) in %.1f s wall, %d files\n", recorded, bytes / 1e6, wall,
               finisher->m_nFiles);
        printf("engine: CPU %.2f ms per recorded second (feeding included), peak memory %ld KiB, "
               "%.1f write calls per recorded second\n",
               cpu * 1000.0 / recorded, XPeakKiB(), static_cast<double>(writes) / recorded);

        // Reference: the same streams as Annex B and ADTS files, muxed by ffmpeg
        // in loop-file lengths.
        const std::string h264 = ram + "/record-bench-" + std::to_string(getpid()) + ".h264";
        const std::string aac = ram + "/record-bench-" + std::to_string(getpid()) + ".aac";
        const std::string mp4 = ram + "/record-bench-" + std::to_string(getpid()) + ".mp4";
        const int64_t chunk = std::min<int64_t>(frames, 180 * cfg.fps);
        {
            tagFixtureVideoConfig vc;
            vc.width = cfg.width;
            vc.height = cfg.height;
            vc.bitrateKbps = cfg.bitrateKbps;
            CFixtureH264Encoder enc(vc);
            std::vector<tagFixtureVideoFrame> pool;
            for (int i = 0; i < cfg.poolFrames; ++i) {
                tagFixtureVideoFrame fr;
                enc.EncodeFrame(&fr);
                pool.push_back(fr);
            }
            FILE* fv = fopen(h264.c_str(), "wb");
            for (int64_t f = 0; fv != nullptr && f < chunk; ++f) {
                for (const std::vector<uint8_t>& pk : pool[static_cast<size_t>(f % cfg.poolFrames)].packs) {
                    fwrite(pk.data(), 1, pk.size(), fv);
                }
            }
            if (fv != nullptr) {
                fclose(fv);
            }
            CFixtureAACEncoder a;
            FILE* fa = fopen(aac.c_str(), "wb");
            const int64_t audioFrames = chunk * 8000 / cfg.fps / 1024;
            for (int64_t k = 0; fa != nullptr && k < audioFrames; ++k) {
                std::vector<uint8_t> af;
                a.EncodeFrame(&af);
                fwrite(af.data(), 1, af.size(), fa);
            }
            if (fa != nullptr) {
                fclose(fa);
            }
        }
        const int64_t runs = (frames + chunk - 1) / chunk;
        const std::string cmd = "ffmpeg -nostdin -v error -y -f h264 -framerate 30 -i " + XShellQuote(h264) +
                                " -i " + XShellQuote(aac) + " -c copy " + XShellQuote(mp4);
        const double child0 = XCpuSeconds(RUSAGE_CHILDREN);
        const double fwall0 = XWallSeconds();
        for (int64_t r = 0; r < runs; ++r) {
            if (system(cmd.c_str()) != 0) {
                fprintf(stderr, "ffmpeg failed: %s\n", cmd.c_str());
                ret = 1;
                break;
            }
        }
        const double fcpu = XCpuSeconds(RUSAGE_CHILDREN) - child0;
        printf("ffmpeg -c copy: %lld runs of %.0f s in %.1f s wall, CPU %.2f ms per recorded second\n",
               static_cast<long long>(runs), static_cast<double>(chunk) / cfg.fps, XWallSeconds() - fwall0,
               fcpu * 1000.0 / recorded);
        unlink(h264.c_str());
        unlink(aac.c_str());
        unlink(mp4.c_str());
    }
    XRemoveDirectory(cardDir.c_str(), 0);
    return ret;
}
