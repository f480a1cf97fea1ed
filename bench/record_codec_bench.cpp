// bench_record_codec_bench [SECONDS] [RAM_DIR]
//
// The recording engine against its references, each a whole process on the
// same input: SECONDS (default 360) of 1080p30 H.264 at the camera's
// main-stream bit rate (8192 kbit/s) as an Annex B file and AAC as an ADTS
// file, in a folder in RAM (default /dev/shm).
//   engine:  this program with --engine reads both files and hands every
//            frame to the engine as the capture thread would; the MP4 writer
//            records loop files onto a card folder in RAM, each removed once
//            closed; once with the recovery journal and the spilled packet
//            cache (flushed once per recorded second, as the flusher does in
//            real time), once with the journal alone and once without
//            either, with the write system calls, syncs and bytes written
//            each made;
//   ffmpeg:  ffmpeg -c copy of both files into one MP4;
//   dd:      dd of both files, byte for byte.
// Each is started without a shell and its CPU time (user + system) taken
// from its own exit status; each is divided by the seconds it actually
// recorded (the engine leaves out the frames it drops at start).

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Record/MP4/MP4File.h"
#include "Record/MP4/MP4Journal.h"
#include "Record/Record.h"
#include "Record/RecordTestCard.h"
#include "bench/BenchProcess.h"
#include "support/MediaFixture.h"
#include "tools/recfeed/ToolBoard.h"

namespace {

constexpr int kFps = 30;
constexpr int kGop = 30;
constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kBitrateKbps = 8192;
constexpr int kAudioRate = 8000;
constexpr int kAudioFrameSamples = 1024;
constexpr uint64_t kWallStartUs = 1704443400ULL * 1000000ULL;  // 2024-01-05 08:30:00 UTC
constexpr uint64_t kClockStartUs = 5000000000ULL;

std::atomic<uint64_t> g_ClockUs{kClockStartUs};

uint64_t XClock()
{
    return g_ClockUs.load();
}

// Deletes every closed file (the folder is RAM) and counts what it held.
class CDropFinisher : public CRecordFinisher {
public:
    int m_nFiles = 0;
    uint64_t m_nFrames = 0;
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
        m_nFrames += info.bComplete ? info.nFrames : 0;
        return TRUE;
    }
    void ScanCard(const char*, CRecordFileIndex&, CRecordFileIndex&, CRecordFileIndex&) override {}
};

// A whole file mapped read-only.
struct tagMapped {
    const uint8_t* data = nullptr;
    size_t size = 0;
    bool Map(const char* path)
    {
        const int fd = open(path, O_RDONLY | O_CLOEXEC);
        struct stat st;
        if (fd < 0 || fstat(fd, &st) != 0 || st.st_size <= 0) {
            if (fd >= 0) {
                close(fd);
            }
            return false;
        }
        void* p = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        close(fd);
        if (p == MAP_FAILED) {
            return false;
        }
        data = static_cast<const uint8_t*>(p);
        size = static_cast<size_t>(st.st_size);
        return true;
    }
};

// Next 00 00 00 01 at or after `from`, or `end`.
const uint8_t* XNextStartCode(const uint8_t* from, const uint8_t* end)
{
    for (const uint8_t* p = from; p + 4 <= end; ++p) {
        if (p[2] > 1) {
            p += 2;
        } else if (p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 1) {
            return p;
        }
    }
    return end;
}

// The --engine side: reads the Annex B and ADTS files and records them.
// One counter of this process's /proc/self/io ("syscw", "wchar").
unsigned long long XIoCount(const char* key)
{
    unsigned long long n = 0;
    FILE* f = fopen("/proc/self/io", "r");
    if (f != nullptr) {
        char line[128];
        const size_t len = strlen(key);
        while (fgets(line, sizeof(line), f) != nullptr) {
            if (strncmp(line, key, len) == 0 && line[len] == ':') {
                n = strtoull(line + len + 1, nullptr, 10);
                break;
            }
        }
        fclose(f);
    }
    return n;
}

int XEngineMain(const char* h264Path, const char* aacPath, const char* cardDir, const char* resultPath,
                const std::string& mode)
{
    const bool bJournal = mode != "none";
    const bool bSpill = mode == "spill";
    tagMapped video;
    tagMapped audio;
    if (!video.Map(h264Path) || !audio.Map(aacPath)) {
        fprintf(stderr, "cannot read %s or %s\n", h264Path, aacPath);
        return 1;
    }
    CToolBoard board(cardDir);
    if (!board.Ok()) {
        return 1;
    }
    CFolderCard* card = new CFolderCard();
    CDropFinisher* finisher = new CDropFinisher();
    uint64_t recorded = 0;
    {
        CMP4File* writer = new CMP4File(bJournal ? TRUE : FALSE);
        CMP4Journal* journal = writer->GetJournal();
        if (journal != nullptr) {
            journal->SetPeriod(3600 * 1000);  // flushed below, per recorded second
        }
        const unsigned long long writesBefore = XIoCount("syscw");
        const unsigned long long bytesBefore = XIoCount("wchar");
        CRecord record(writer, card, finisher);
        if (bSpill && record.EnableSpill()) {
            record.SetRecoveryPeriod(0);
        } else if (bSpill) {
            return 1;
        }
        record.Init(kFps, kGop, kWidth, kHeight);
        record.SetFactoryTesting(TRUE);  // no LED writes through the register file
        record.SetPacketClock(XClock);
        card->Notify(emSDState_Insert | emSDState_Mount);
        record.ResumeCommonRecord();

        tagChannelConfig vcfg;
        memset(&vcfg, 0, sizeof(vcfg));
        vcfg.enc = PT_H264;
        vcfg.res = PIC_HD1080;
        vcfg.gop = kGop;
        vcfg.fps = kFps;
        vcfg.vi_fps = kFps;
        vcfg.av_type = AVDATA_TYPE_VIDEO;
        vcfg.width = kWidth;
        vcfg.height = kHeight;
        tagChannelConfig acfg;
        memset(&acfg, 0, sizeof(acfg));
        acfg.enc = PT_AAC;
        acfg.channel_id = 4;
        acfg.av_type = AVDATA_TYPE_AUDIO;

        const uint8_t* const vend = video.data + video.size;
        const uint8_t* const aend = audio.data + audio.size;
        const uint8_t* v = XNextStartCode(video.data, vend);
        const uint8_t* a = audio.data;
        std::vector<VENC_PACK_S> packs;
        int64_t frame = 0;
        int64_t audioFrame = 0;
        while (v < vend) {
            const uint64_t t = static_cast<uint64_t>(frame) * 1000000ULL / kFps;
            g_ClockUs = kClockStartUs + t;
            // One picture: NAL units up to and including its slice.
            packs.clear();
            bool slice = false;
            while (v < vend && !slice) {
                const uint8_t* next = XNextStartCode(v + 4, vend);
                const int type = v + 4 < vend ? (v[4] & 0x1F) : 0;
                slice = type == 1 || type == 5;
                VENC_PACK_S p;
                memset(&p, 0, sizeof(p));
                p.pu8Addr = const_cast<uint8_t*>(v);
                p.u32Len = static_cast<uint32_t>(next - v);
                p.u64PTS = kWallStartUs + t;
                packs.push_back(p);
                v = next;
            }
            packs.back().bFrameEnd = 1;
            VENC_STREAM_S s;
            s.pstPack = packs.data();
            s.u32PackCount = static_cast<uint32_t>(packs.size());
            s.u32Seq = static_cast<uint32_t>(frame + 1);
            record.IncommingPacket(&s, &vcfg);
            ++frame;
            if (frame % kFps == 0) {
                if (bSpill) {
                    record.FlushRecoveryData();
                } else if (journal != nullptr) {
                    journal->Flush();
                }
            }
            const uint64_t nextUs = static_cast<uint64_t>(frame) * 1000000ULL / kFps;
            while (a + 7 <= aend &&
                   static_cast<uint64_t>(audioFrame) * kAudioFrameSamples * 1000000ULL / kAudioRate < nextUs) {
                const uint32_t len = ((a[3] & 0x03u) << 11) | (static_cast<uint32_t>(a[4]) << 3) | (a[5] >> 5);
                if (len < 7 || a + len > aend) {
                    a = aend;
                    break;
                }
                AUDIO_STREAM_S as;
                memset(&as, 0, sizeof(as));
                as.pStream = const_cast<uint8_t*>(a);
                as.u32Len = len;
                as.u64TimeStamp = kWallStartUs + static_cast<uint64_t>(audioFrame) * kAudioFrameSamples * 1000000ULL /
                                                     kAudioRate;
                as.u32Seq = static_cast<uint32_t>(audioFrame + 1);
                record.IncommingPacket(&as, &acfg);
                a += len;
                ++audioFrame;
            }
        }
        record.StopAllRecord(1, 1);
        record.CleanUp();
        recorded = finisher->m_nFrames;
        FILE* result = fopen(resultPath, "w");
        if (result == nullptr) {
            return 1;
        }
        const unsigned long long flushes = journal != nullptr ? journal->GetStats().flushes : 0;
        const unsigned long long spills = record.GetSpill() != nullptr ? record.GetSpill()->GetStats().flushes : 0;
        // Every journal flush syncs the video and the journal once each,
        // every spill flush its file once.
        fprintf(result, "%llu %d %llu %llu %llu\n", static_cast<unsigned long long>(recorded), finisher->m_nFiles,
                XIoCount("syscw") - writesBefore, flushes * 2 + spills, XIoCount("wchar") - bytesBefore);
        fclose(result);
    }
    return 0;
}

// Writes `seconds` of the fixtures' streams as Annex B and ADTS files.
bool XMakeInput(const std::string& h264, const std::string& aac, long seconds)
{
    tagFixtureVideoConfig vc;
    vc.width = kWidth;
    vc.height = kHeight;
    vc.fps = kFps;
    vc.gop = kGop;
    vc.bitrateKbps = kBitrateKbps;
    vc.bDeviceNalRefIdc = TRUE;
    CFixtureH264Encoder enc(vc);
    CFixtureAACEncoder audioEnc;
    if (!enc.IsOpen() || !audioEnc.IsOpen()) {
        return false;
    }
    constexpr int kPoolFrames = 300;  // a multiple of the GOP, replayed
    std::vector<tagFixtureVideoFrame> pool;
    for (int i = 0; i < kPoolFrames; ++i) {
        tagFixtureVideoFrame fr;
        if (!enc.EncodeFrame(&fr)) {
            return false;
        }
        pool.push_back(fr);
    }
    FILE* fv = fopen(h264.c_str(), "wb");
    bool ok = fv != nullptr;
    const int64_t frames = seconds * kFps;
    for (int64_t f = 0; ok && f < frames; ++f) {
        for (const std::vector<uint8_t>& pk : pool[static_cast<size_t>(f % kPoolFrames)].packs) {
            ok = fwrite(pk.data(), 1, pk.size(), fv) == pk.size();
        }
    }
    ok = fv != nullptr && fclose(fv) == 0 && ok;
    std::vector<std::vector<uint8_t>> audioPool(64);
    for (std::vector<uint8_t>& af : audioPool) {
        ok = ok && audioEnc.EncodeFrame(&af);
    }
    FILE* fa = fopen(aac.c_str(), "wb");
    ok = ok && fa != nullptr;
    const int64_t audioFrames = seconds * kAudioRate / kAudioFrameSamples + 1;
    for (int64_t k = 0; ok && k < audioFrames; ++k) {
        const std::vector<uint8_t>& af = audioPool[static_cast<size_t>(k % 64)];
        ok = fwrite(af.data(), 1, af.size(), fa) == af.size();
    }
    return fa != nullptr && fclose(fa) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 7 && strcmp(argv[1], "--engine") == 0) {
        return XEngineMain(argv[2], argv[3], argv[4], argv[5], argv[6]);
    }
    const long seconds = argc > 1 ? strtol(argv[1], nullptr, 10) : 360;
    const std::string ram = argc > 2 ? argv[2] : "/dev/shm";
    if (seconds <= 0) {
        fprintf(stderr, "usage: %s [SECONDS] [RAM_DIR]\n", argv[0]);
        return 2;
    }
#ifdef DASHCAM_BENCH_SANITIZER
    if (std::string(DASHCAM_BENCH_SANITIZER) != "none") {
        printf("built with the %s sanitizer: figures are not the engine's own\n", DASHCAM_BENCH_SANITIZER);
    }
#endif
    char self[4096];
    const ssize_t selfLen = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (selfLen <= 0) {
        return 1;
    }
    self[selfLen] = '\0';
    const std::string stem = ram + "/record-bench-" + std::to_string(getpid());
    const std::string h264 = stem + ".h264";
    const std::string aac = stem + ".aac";
    const std::string mp4 = stem + ".mp4";
    const std::string copy = stem + ".copy";
    const std::string cardDir = stem + "-card";
    const std::string result = stem + ".result";
    printf("encoding %ld s of 1920x1080 at %d kbit/s with AAC into %s ...\n", seconds, kBitrateKbps, ram.c_str());
    fflush(stdout);
    int ret = 0;
    if (!XMakeInput(h264, aac, seconds)) {
        fprintf(stderr, "the codec fixtures could not make the input\n");
        ret = 1;
    }
    if (ret == 0) {
        struct stat sv;
        struct stat sa;
        stat(h264.c_str(), &sv);
        stat(aac.c_str(), &sa);
        const double inputSeconds = static_cast<double>(seconds);
        // The engine's log lines go where the camera's console would: nowhere.
        struct tagEngineRun {
            const char* mode;
            const char* label;
            tagBenchRun run;
            unsigned long long frames, writes, syncs, bytes;
            int files;
            bool counted;
        };
        tagEngineRun runs[3] = {{"spill", "with the journal and the spilled cache", {}, 0, 0, 0, 0, 0, false},
                                {"journal", "with the journal alone", {}, 0, 0, 0, 0, 0, false},
                                {"none", "without the journal", {}, 0, 0, 0, 0, 0, false}};
        for (tagEngineRun& e : runs) {
            e.run = XBenchRun({self, "--engine", h264, aac, cardDir, result, e.mode});
            FILE* fr = fopen(result.c_str(), "r");
            e.counted = fr != nullptr &&
                        fscanf(fr, "%llu %d %llu %llu %llu", &e.frames, &e.files, &e.writes, &e.syncs, &e.bytes) == 5;
            if (fr != nullptr) {
                fclose(fr);
            }
        }
        const tagEngineRun& engineRun = runs[0];
        const tagBenchRun& engine = engineRun.run;
        const unsigned long long engineFrames = engineRun.frames;
        const tagBenchRun ffmpeg = XBenchRun({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "h264", "-framerate",
                                    std::to_string(kFps), "-i", h264, "-i", aac, "-c", "copy", mp4});
        tagBenchRun dd = XBenchRun({"dd", "if=" + h264, "of=" + copy, "bs=1M", "status=none"});
        const tagBenchRun ddAudio = XBenchRun({"dd", "if=" + aac, "of=" + copy + "a", "bs=1M", "status=none"});
        dd.ok = dd.ok && ddAudio.ok;
        dd.cpuMs += ddAudio.cpuMs;
        dd.wallMs += ddAudio.wallMs;
        bool runsOk = true;
        for (const tagEngineRun& e : runs) {
            runsOk = runsOk && e.run.ok && e.counted && e.frames > 0;
        }
        if (!runsOk || !ffmpeg.ok || !dd.ok) {
            fprintf(stderr, "a run failed (engine %d, ffmpeg %d, dd %d)\n", engine.ok, ffmpeg.ok, dd.ok);
            ret = 1;
        } else {
            const double engineSeconds = static_cast<double>(engineFrames) / kFps;
            const double engineMs = engine.cpuMs / engineSeconds;
            const double ffmpegMs = ffmpeg.cpuMs / inputSeconds;
            const double ddMs = dd.cpuMs / inputSeconds;
            printf("input: %.1f MB of H.264, %.1f MB of AAC, %.0f s\n", static_cast<double>(sv.st_size) / 1e6,
                   static_cast<double>(sa.st_size) / 1e6, inputSeconds);
            printf("engine process:  %.1f s recorded in %d files, %.2f s CPU, %.2f s wall, peak %ld KiB with the mapped input: "
                   "%.2f ms CPU per recorded second\n",
                   engineSeconds, engineRun.files, engine.cpuMs / 1e3, engine.wallMs / 1e3, engine.maxRssKiB, engineMs);
            for (const tagEngineRun& e : runs) {
                const double secs = static_cast<double>(e.frames) / kFps;
                printf("  engine %-40s %.2f ms CPU, %.2f write calls, %.2f syncs, %.0f KB written per recorded second\n",
                       e.label, e.run.cpuMs / secs, static_cast<double>(e.writes) / secs,
                       static_cast<double>(e.syncs) / secs, static_cast<double>(e.bytes) / secs / 1e3);
            }
            printf("ffmpeg -c copy:  %.1f s recorded, %.2f s CPU, %.2f s wall: %.2f ms CPU per recorded second\n",
                   inputSeconds, ffmpeg.cpuMs / 1e3, ffmpeg.wallMs / 1e3, ffmpegMs);
            printf("dd of the bytes: %.1f s of input, %.2f s CPU, %.2f s wall: %.2f ms CPU per second of input\n",
                   inputSeconds, dd.cpuMs / 1e3, dd.wallMs / 1e3, ddMs);
            printf("engine/ffmpeg %.2f, engine/dd %.2f (CPU per recorded second)\n",
                   ffmpegMs > 0 ? engineMs / ffmpegMs : 0.0, ddMs > 0 ? engineMs / ddMs : 0.0);
        }
    }
    unlink(h264.c_str());
    unlink(aac.c_str());
    unlink(mp4.c_str());
    unlink(copy.c_str());
    unlink(result.c_str());
    unlink((copy + "a").c_str());
    XRemoveDirectory(cardDir.c_str(), 0);
    return ret;
}
