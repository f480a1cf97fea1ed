// Cost of the MP4 writer per recorded second: 1080p30 H.264 at the camera's
// 8192 kbit/s with 8 kHz AAC, written to a RAM folder, next to ffmpeg muxing
// the same packets with -c copy.
//
//   bench_MP4Writer_codec_bench [seconds] [runs]
//
// Printed per recorded second: CPU time (user + system) and the bytes that
// reach the file per byte of sample payload.

#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Function/common.h"
#include "Record/MP4/MP4File.h"
#include "support/MediaFixture.h"

namespace {

struct tagBenchPacket {
    std::vector<uint8_t> data;  // as the writer gets it
    tagMediaDataInfo info;
};

double CpuSeconds(int who)
{
    struct rusage ru;
    getrusage(who, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

uint64_t FileSize(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

bool WriteAll(const std::string& path, const std::vector<uint8_t>& data)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    return fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? atoi(argv[1]) : 10;
    const int runs = argc > 2 ? atoi(argv[2]) : 5;
    const int fps = 30;
    if (seconds <= 0 || runs <= 0) {
        fprintf(stderr, "usage: %s [seconds] [runs]\n", argv[0]);
        return 2;
    }
    if (strcmp(DASHCAM_BENCH_SANITIZER, "none") != 0) {
        printf("note: built with sanitizer '%s'; use a build with DASHCAM_SANITIZER=none for real figures\n",
               DASHCAM_BENCH_SANITIZER);
    }

    // ---- the packets, made once ----
    tagFixtureVideoConfig vc;
    vc.width = 1920;
    vc.height = 1080;
    vc.fps = fps;
    vc.gop = fps;
    vc.bitrateKbps = 8192;
    vc.profile = "main";
    CFixtureH264Encoder video(vc);
    tagFixtureAudioConfig ac;
    CFixtureAACEncoder audio(ac);
    if (!video.IsOpen() || !audio.IsOpen()) {
        fprintf(stderr, "encoders not available\n");
        return 1;
    }
    printf("encoding %d s of 1920x1080 at %d fps, %d kbit/s, AAC 8000 Hz ...\n", seconds, fps, vc.bitrateKbps);
    fflush(stdout);

    std::vector<tagBenchPacket> packets;  // arrival order
    packets.reserve(static_cast<size_t>(seconds) * 40);
    std::vector<uint8_t> annexB;  // the same video for ffmpeg
    std::vector<uint8_t> adts;    // the same audio for ffmpeg
    tagH264SPSPPS vos;
    memset(&vos, 0, sizeof(vos));
    uint64_t payload = 0;
    uint32_t audioSerial = 1;
    const int frames = seconds * fps;
    for (int i = 0; i < frames; ++i) {
        tagFixtureVideoFrame frame;
        if (!video.EncodeFrame(&frame)) {
            fprintf(stderr, "video encoder failed\n");
            return 1;
        }
        const uint64_t now = static_cast<uint64_t>(i) * 1000000ull / static_cast<uint64_t>(fps);
        // Audio that arrived up to this picture.
        while (static_cast<uint64_t>(audioSerial) * 128000ull <= now) {
            std::vector<uint8_t> a;
            if (!audio.EncodeFrame(&a) || a.size() <= 7) {
                fprintf(stderr, "audio encoder failed\n");
                return 1;
            }
            adts.insert(adts.end(), a.begin(), a.end());
            tagBenchPacket p;
            p.data.assign(a.begin() + 7, a.end());
            memset(&p.info, 0, sizeof(p.info));
            p.info.nFrameSerial = audioSerial++;
            p.info.emAVType = 0;
            packets.push_back(std::move(p));
        }
        for (const std::vector<uint8_t>& pack : frame.packs) {
            annexB.insert(annexB.end(), pack.begin(), pack.end());
            const uint8_t h = pack[4];
            const size_t n = pack.size() - 4;
            if (h == 0x67 || h == 0x68) {
                uint8_t* dst = h == 0x67 ? vos.sps : vos.pps;
                uint32_t* len = h == 0x67 ? &vos.sps_len : &vos.pps_len;
                if (n <= sizeof(vos.sps)) {
                    memcpy(dst, pack.data() + 4, n);
                    *len = static_cast<uint32_t>(n);
                }
                continue;
            }
            if (h == 0x06) {
                continue;
            }
            tagBenchPacket p;
            p.data = {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8),
                      static_cast<uint8_t>(n)};
            p.data.insert(p.data.end(), pack.begin() + 4, pack.end());
            memset(&p.info, 0, sizeof(p.info));
            p.info.nFrameSerial = static_cast<uint32_t>(i + 1);
            p.info.nTimestamp2 = now;
            p.info.emFrameType = h == 0x61 ? 4 : 3;
            p.info.emAVType = 1;
            packets.push_back(std::move(p));
        }
    }
    for (tagBenchPacket& p : packets) {
        p.info.lpData = p.data.data();
        p.info.nDataSize = static_cast<uint32_t>(p.data.size());
        payload += p.data.size();
    }

    // ---- a RAM folder ----
    char tmpl[] = "/dev/shm/dashcam-bench-XXXXXX";
    char tmpl2[] = "/tmp/dashcam-bench-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    if (dir == nullptr) {
        dir = mkdtemp(tmpl2);
    }
    if (dir == nullptr) {
        perror("mkdtemp");
        return 1;
    }
    const std::string folder = dir;

    // ---- the writer ----
    const std::string out = folder + "/writer.mp4";
    CMP4File file;
    double cpu = 0.0;
    uint64_t written = 0;
    for (int r = 0; r < runs; ++r) {
        const double t0 = CpuSeconds(RUSAGE_SELF);
        if (!file.StartRecord(out.c_str(), fps * 3000, fps, 1920, 1080, nullptr, 600, emRecordFileType_Common, &vos)) {
            fprintf(stderr, "StartRecord failed\n");
            return 1;
        }
        for (const tagBenchPacket& p : packets) {
            BOOL ok = p.info.emAVType == 1 ? file.WriteVideoPacket(&p.info) : file.WriteAudioPacket(&p.info);
            if (!ok) {
                fprintf(stderr, "write failed\n");
                return 1;
            }
        }
        if (!file.StopRecord()) {
            fprintf(stderr, "StopRecord failed\n");
            return 1;
        }
        cpu += CpuSeconds(RUSAGE_SELF) - t0;
        written = FileSize(out);
    }

    // ---- ffmpeg -c copy of the same packets ----
    const std::string h264 = folder + "/in.h264";
    const std::string aac = folder + "/in.aac";
    const std::string ref = folder + "/ffmpeg.mp4";
    if (!WriteAll(h264, annexB) || !WriteAll(aac, adts)) {
        fprintf(stderr, "cannot write the ffmpeg input\n");
        return 1;
    }
    double refCpu = 0.0;
    uint64_t refWritten = 0;
    for (int r = 0; r < runs; ++r) {
        const double t0 = CpuSeconds(RUSAGE_CHILDREN);
        const std::string cmd = "ffmpeg -nostdin -v error -y -f h264 -framerate " + std::to_string(fps) + " -i " +
                                XShellQuote(h264) + " -i " + XShellQuote(aac) + " -c copy -f mp4 " + XShellQuote(ref);
        if (system(cmd.c_str()) != 0) {
            fprintf(stderr, "ffmpeg failed\n");
            return 1;
        }
        refCpu += CpuSeconds(RUSAGE_CHILDREN) - t0;
        refWritten = FileSize(ref);
    }

    const double recorded = static_cast<double>(seconds);
    printf("recorded %d s: %zu packets, %" PRIu64 " payload bytes (%.0f kbit/s), %d runs\n", seconds, packets.size(),
           payload, static_cast<double>(payload) * 8.0 / recorded / 1000.0, runs);
    printf("%-28s %14s %18s %14s\n", "", "CPU ms per s", "bytes per payload", "file bytes");
    printf("%-28s %14.3f %18.5f %14" PRIu64 "\n", "writer (CMP4File)", cpu * 1000.0 / runs / recorded,
           static_cast<double>(written) / static_cast<double>(payload), written);
    printf("%-28s %14.3f %18.5f %14" PRIu64 "\n", "ffmpeg -c copy (reference)", refCpu * 1000.0 / runs / recorded,
           static_cast<double>(refWritten) / static_cast<double>(payload), refWritten);
    printf("(ffmpeg's figure includes parsing the raw H.264 and ADTS input and starting the process)\n");

    unlink(out.c_str());
    unlink(h264.c_str());
    unlink(aac.c_str());
    unlink(ref.c_str());
    rmdir(folder.c_str());
    return 0;
}
