// The card scan at mount over a card of 10,000 files: 2,000 loop videos with
// their titles and archives, 1,000 alarm videos (each with a private box of
// one snapshot record) with their titles, 2,000 alarm images. The scan runs
// as a whole process (this program with --scan), and so does the reference
// `find DCIM -type f -printf '%s\n'` over the same folders: both started
// without a shell, their output to /dev/null, timed from start to exit.
// Warm: a folder of this machine, caches full. Cold (root only): a card image
// with an ext2 file system on a loop device (direct I/O where the backing
// file allows it), attached and mounted afresh for every single run.
// Start-up with recovery: the warm card again with two unfinished loop
// videos of 60 s (written by the real writer with their journals, cut off
// before their trailers) to finish, beside the same card without them.
// Run: build/bench/bench_RecordScan_bench [FOLDER]

#include <fcntl.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "Function/common.h"
#include "Record/Index/RecordFileIndex.h"
#include "Record/Index/RecordFileName.h"
#include "Record/Index/RecordScan.h"
#include "Record/MP4/MP4File.h"
#include "Record/MediaDataInfo.h"
#include "Record/RecordPacker.h"
#include "Record/RecordTypes.h"
#include "bench/BenchProcess.h"

namespace {

const time_t kStart = 1704443400;  // 2024-01-05 08:30:00 UTC

void Put32(std::string& s, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        s.push_back(static_cast<char>((v >> shift) & 0xFF));
    }
}

bool WriteFile(const std::string& path, const std::string& data)
{
    FILE* fp = fopen(path.c_str(), "wb");
    if (fp == nullptr) {
        return false;
    }
    const bool ok = fwrite(data.data(), 1, data.size(), fp) == data.size();
    return fclose(fp) == 0 && ok;
}

std::string Name(const char* dir, time_t t, unsigned duration, bool video, const char* ext, char letter = 0)
{
    RecFileNameFields f{};
    Second2RECTIME(t, f.time);
    f.type = letter;
    f.bHasDuration = video;
    f.duration = duration;
    char buf[RECORD_NAME_BUF_SIZE];
    XMakeRecFilePath(buf, sizeof(buf), nullptr, dir, f, ext);
    return buf;
}

std::string AlarmVideo(time_t t)
{
    std::string s;
    Put32(s, 16);
    s += "ftypisom";
    Put32(s, 0x200);
    Put32(s, 8 + 16 + 16 + 73);
    s += "skip";
    Put32(s, 16);
    s += "altg";
    Put32(s, 0);
    Put32(s, 4);
    Put32(s, 16 + 73);
    s += "asct";
    Put32(s, 0);
    Put32(s, 1);
    RECTIME rt;
    Second2RECTIME(t, rt);
    s.push_back('A');
    Put32(s, rt.value);
    Put32(s, 0);
    std::string gps = "N22.54,E113.95";
    gps.resize(64, '\0');
    s += gps;
    Put32(s, 8 + 200);
    s += "moov";
    s += std::string(200, '\0');
    return s;
}

bool MakeCard(const std::string& root)
{
    for (const char* d : {RECORD_DIR_COMMON_VIDEO, RECORD_DIR_COMMON_TITLE, RECORD_DIR_COMMON_THUMB,
                          RECORD_DIR_ALARM_VIDEO, RECORD_DIR_ALARM_TITLE, RECORD_DIR_ALARM_IMAGE}) {
        if (!XCreateFullPathDir((root + d).c_str(), 0777)) {
            return false;
        }
    }
    const std::string video(400, 'v');
    const std::string small(60, 'j');
    bool ok = true;
    for (int i = 0; i < 2000 && ok; ++i) {
        const time_t t = kStart + i * 180;
        ok = WriteFile(root + Name(RECORD_DIR_COMMON_VIDEO, t, 180, true, "MP4"), video) &&
             WriteFile(root + Name(RECORD_DIR_COMMON_TITLE, t, 0, false, "JPG"), small) &&
             WriteFile(root + Name(RECORD_DIR_COMMON_THUMB, t, 0, false, "TGZ"), small);
    }
    for (int i = 0; i < 1000 && ok; ++i) {
        const time_t t = kStart + i * 360 + 7;
        ok = WriteFile(root + Name(RECORD_DIR_ALARM_VIDEO, t, 10, true, "MP4"), AlarmVideo(t)) &&
             WriteFile(root + Name(RECORD_DIR_ALARM_TITLE, t, 0, false, "JPG"), small);
    }
    for (int i = 0; i < 2000 && ok; ++i) {
        ok = WriteFile(root + Name(RECORD_DIR_ALARM_IMAGE, kStart + i * 97, 0, false, "JPG", "AGMV"[i % 4]), small);
    }
    return ok;
}

constexpr int kFiles = 10000;
constexpr int kRounds = 11;

// The wall milliseconds of one whole process, or -1 when it failed.
double XRunProcess(const std::vector<std::string>& args)
{
    const tagBenchRun run = XBenchRun(args);
    return run.ok ? run.wallMs : -1;
}

double XMedian(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

int XScanOnly(const char* root)
{
    CRecordFileIndex common(emRecFileType_CommonVideo);
    CRecordFileIndex alarm(emRecFileType_AlarmVideo);
    CRecordFileIndex image(emRecFileType_AlarmImage);
    // The camera's scan: the packer's, which recovers unfinished videos.
    CRecordPacker packer;
    packer.ScanCard(root, common, alarm, image);
    printf("%d\n", common.GetFileCount() + alarm.GetFileCount() + image.GetFileCount());
    return 0;
}

// Files the scan indexes, read from one untimed run.
int XCountIndexed(const std::string& self, const std::string& root)
{
    const std::string cmd = "'" + self + "' --scan '" + root + "'";
    FILE* p = popen(cmd.c_str(), "r");
    char line[64] = {0};
    if (p == nullptr || fgets(line, sizeof(line), p) == nullptr) {
        line[0] = '\0';
    }
    if (p != nullptr) {
        pclose(p);
    }
    return atoi(line);
}

// Two loop videos of `seconds` as a power cut leaves them, in `dir`: a
// child process writes them with the real writer and its journals (frames
// of 40 KB, a key frame a second, AAC frames between), syncs the journals and
// ends without a trailer.
bool XMakeUnfinished(const std::string& dir, int seconds)
{
    const pid_t pid = fork();
    if (pid == 0) {
        XCreateFullPathDir(dir.c_str(), 0777);
        tagH264SPSPPS spspps;
        memset(&spspps, 0, sizeof(spspps));
        const uint8_t sps[] = {0x67, 0x4d, 0x40, 0x28, 0x95, 0xa0, 0x1e, 0x00};
        const uint8_t pps[] = {0x68, 0xee, 0x3c, 0x80};
        memcpy(spspps.sps, sps, sizeof(sps));
        spspps.sps_len = sizeof(sps);
        memcpy(spspps.pps, pps, sizeof(pps));
        spspps.pps_len = sizeof(pps);
        std::vector<uint8_t> frame(40000, 0x11);
        std::vector<uint8_t> sound(200, 0x22);
        std::vector<CMP4File*> writers;
        for (int f = 0; f < 2; ++f) {
            CMP4File* w = new CMP4File();
            writers.push_back(w);
            const std::string name = dir + "/2025010100000" + std::to_string(f) + "_0.MP4";
            TimeTypeMappingNode node = {};
            node.lefttime = 30 * 180;
            node.trigger = emRecordTriggerType_Common;
            if (!w->StartRecord(name.c_str(), 90000, 30, 1920, 1080, &node, 600, emRecordFileType_Common, &spspps)) {
                _exit(1);
            }
            for (int i = 0; i < seconds * 30; ++i) {
                tagMediaDataInfo pkt = {};
                pkt.nFrameSerial = static_cast<uint32_t>(i + 1);
                pkt.nTimestamp2 = static_cast<uint64_t>(i) * 33333;
                pkt.emFrameType = i % 30 == 0 ? 3 : 1;
                pkt.nDataSize = static_cast<uint32_t>(frame.size());
                pkt.lpData = frame.data();
                w->WriteVideoPacket(&pkt);
                if (i % 4 == 0) {
                    tagMediaDataInfo a = {};
                    a.nFrameSerial = static_cast<uint32_t>(i / 4 + 1);
                    a.nDataSize = static_cast<uint32_t>(sound.size());
                    a.lpData = sound.data();
                    w->WriteAudioPacket(&a);
                }
            }
            if (!w->GetJournal()->Flush()) {
                _exit(1);
            }
        }
        _exit(0);  // as the power goes: no trailer
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct tagFigures {
    std::vector<double> scan;
    std::vector<double> find;
};

void XPrint(const char* what, const tagFigures& f)
{
    const double scan = XMedian(f.scan);
    const double find = XMedian(f.find);
    printf("%-5s scan %7.1f ms (%5.1f us/file)   find -printf %7.1f ms   scan/find %.2f   (median of %zu)\n", what,
           scan, scan * 1000.0 / kFiles, find, find > 0 ? scan / find : 0.0, f.scan.size());
}

int XShell(const std::string& cmd)
{
    return system(cmd.c_str());
}

// Cold runs on a card image: every run gets a fresh loop device and mount.
class CColdCard {
public:
    explicit CColdCard(const std::string& dir) : m_strImage(dir + "/card.img"), m_strMount(dir + "/mnt") {}

    std::string Prepare()
    {
        if (geteuid() != 0) {
            return "not root";
        }
        // A mount namespace of this process only: no mount reaches the machine's table.
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            return std::string("no private mount namespace: ") + strerror(errno);
        }
        if (XShell("truncate -s 256M '" + m_strImage + "' && mkfs.ext2 -q -F '" + m_strImage +
                   "' >/dev/null 2>&1 && mkdir -p '" + m_strMount + "'") != 0) {
            return "mkfs.ext2 failed";
        }
        if (!Mount()) {
            return "cannot mount the card image";
        }
        const bool made = MakeCard(m_strMount + "/");
        Unmount();
        return made ? std::string() : "cannot fill the card image";
    }

    bool Mount()
    {
        for (const char* dio : {" --direct-io=on", ""}) {
            FILE* p = popen(("losetup --find --show" + std::string(dio) + " '" + m_strImage + "' 2>/dev/null").c_str(),
                            "r");
            char dev[64] = {0};
            const bool got = p != nullptr && fgets(dev, sizeof(dev), p) != nullptr;
            if (p != nullptr) {
                pclose(p);
            }
            if (!got) {
                continue;
            }
            dev[strcspn(dev, "\n")] = '\0';
            m_strDevice = dev;
            m_bDirect = dio[0] != '\0';
            if (mount(dev, m_strMount.c_str(), "ext2", MS_NOATIME, nullptr) == 0) {
                return true;
            }
            XShell("losetup -d " + m_strDevice);
        }
        return false;
    }

    void Unmount()
    {
        umount(m_strMount.c_str());
        XShell("losetup -d " + m_strDevice);
    }

    const std::string& Root() const { return m_strMount; }
    bool Direct() const { return m_bDirect; }

private:
    std::string m_strImage;
    std::string m_strMount;
    std::string m_strDevice;
    bool m_bDirect = false;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "--scan") == 0) {
        return XScanOnly(argv[2]);
    }
    char self[4096];
    const ssize_t len = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (len <= 0) {
        return 1;
    }
    self[len] = '\0';
    std::string base;
    if (argc > 1) {
        base = argv[1];
    } else {
        char tmpl[] = "/tmp/dashcam-scanbench-XXXXXX";
        if (mkdtemp(tmpl) == nullptr) {
            perror("mkdtemp");
            return 1;
        }
        base = tmpl;
    }
    const std::string warmRoot = base + "/warm/";
    if (!MakeCard(warmRoot)) {
        fprintf(stderr, "cannot make the card under %s\n", warmRoot.c_str());
        return 1;
    }
    printf("card scan, %d files, scan and find each as a whole process\n", kFiles);
    printf("warm card %s: the scan makes %d index entries of the %d files\n", warmRoot.c_str(),
           XCountIndexed(self, warmRoot), kFiles);
    tagFigures warm;
    for (int r = 0; r < kRounds + 1; ++r) {
        const double scan = XRunProcess({self, "--scan", warmRoot});
        const double find = XRunProcess({"find", warmRoot + "DCIM", "-type", "f", "-printf", "%s\\n"});
        if (r > 0) {  // the first round fills the caches
            warm.scan.push_back(scan);
            warm.find.push_back(find);
        }
    }
    XPrint("warm", warm);

    // The same card with two unfinished videos to recover, put back before
    // every run (untimed); the clean card's figures are the ones above.
    const std::string stash = base + "/unfinished";
    if (!XMakeUnfinished(stash, 60)) {
        printf("recovery: left out (the unfinished videos could not be made)\n");
    } else {
        std::vector<double> recovering;
        for (int r = 0; r < kRounds; ++r) {
            XShell("cp -p '" + stash + "'/2025* '" + stash + "'/.2025* '" + warmRoot + "DCIM/100video/'");
            recovering.push_back(XRunProcess({self, "--scan", warmRoot}));
            XShell("rm -f '" + warmRoot + "'DCIM/100video/2025* '" + warmRoot + "'DCIM/103thumb/2025*");
        }
        const double clean = XMedian(warm.scan);
        const double rec = XMedian(recovering);
        printf("warm scan with 2 unfinished 60 s videos to recover %7.1f ms, clean card %7.1f ms: +%.1f ms "
               "(median of %zu)\n",
               rec, clean, rec - clean, recovering.size());
    }

    CColdCard cold(base);
    const std::string why = cold.Prepare();
    if (!why.empty()) {
        printf("cold: left out (%s)\n", why.c_str());
    } else {
        tagFigures f;
        bool ok = true;
        for (int r = 0; r < kRounds && ok; ++r) {
            ok = cold.Mount();
            const double scan = ok ? XRunProcess({self, "--scan", cold.Root() + "/"}) : -1;
            cold.Unmount();
            ok = ok && cold.Mount();
            const double find = ok ? XRunProcess({"find", cold.Root() + "/DCIM", "-type", "f", "-printf", "%s\\n"}) : -1;
            cold.Unmount();
            ok = ok && scan >= 0 && find >= 0;
            f.scan.push_back(scan);
            f.find.push_back(find);
        }
        if (ok && cold.Mount()) {
            printf("cold card image on a loop device%s, freshly mounted for every run: %d index entries\n",
                   cold.Direct() ? " with direct I/O" : "", XCountIndexed(self, cold.Root() + "/"));
            cold.Unmount();
            XPrint("cold", f);
        } else {
            printf("cold: a run failed\n");
        }
    }
    if (argc <= 1) {
        const std::string rm = "rm -rf '" + base + "'";
        if (system(rm.c_str()) != 0) {
            fprintf(stderr, "could not remove %s\n", base.c_str());
        }
    }
    return 0;
}
