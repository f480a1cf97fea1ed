// The card scan at mount over a card of 10,000 files: 2,000 loop videos with
// their titles and archives, 1,000 alarm videos (each with a private box of
// one snapshot record) with their titles, 2,000 alarm images. `find` over
// the same folders (listing and stat of every file) is printed beside it as
// the floor. Run: build/bench/bench_RecordScan_bench [FOLDER]

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "Function/common.h"
#include "Record/RecordFileIndex.h"
#include "Record/RecordFileName.h"
#include "Record/RecordScan.h"
#include "Record/RecordTypes.h"

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

double Ms(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double TimeFind(const std::string& root, long* count)
{
    const std::string cmd = "find " + XShellQuote(root + "DCIM") + " -type f -printf '%s\\n' | wc -l";
    const auto t0 = std::chrono::steady_clock::now();
    FILE* p = popen(cmd.c_str(), "r");
    char line[64] = {0};
    if (p == nullptr || fgets(line, sizeof(line), p) == nullptr) {
        line[0] = '\0';
    }
    if (p != nullptr) {
        pclose(p);
    }
    const auto t1 = std::chrono::steady_clock::now();
    *count = atol(line);
    return Ms(t1 - t0);
}

}  // namespace

int main(int argc, char** argv)
{
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
    const std::string root = base + "/";
    if (!MakeCard(root)) {
        fprintf(stderr, "cannot make the card under %s\n", root.c_str());
        return 1;
    }
    CRecordFileIndex common(emRecFileType_CommonVideo);
    CRecordFileIndex alarm(emRecFileType_AlarmVideo);
    CRecordFileIndex image(emRecFileType_AlarmImage);
    CRecordScan scan(common, alarm, image);
    std::vector<char> json(4 << 20);

    printf("card: %s (10000 files)\n", root.c_str());
    for (int round = 1; round <= 3; ++round) {
        long found = 0;
        const double findMs = TimeFind(root, &found);
        common.CleanAllFile();
        alarm.CleanAllFile();
        image.CleanAllFile();
        const auto t0 = std::chrono::steady_clock::now();
        scan.ScanCard(root.c_str());
        const auto t1 = std::chrono::steady_clock::now();
        const int len = common.GetFileInfoAsJSON(json.data(), static_cast<int>(json.size()));
        const auto t2 = std::chrono::steady_clock::now();
        const int files = common.GetFileCount() + alarm.GetFileCount() + image.GetFileCount();
        printf("round %d: scan %.1f ms (%.1f us/file, %d indexed), find %.1f ms (%ld files), "
               "scan/find %.2f; loop-video list %d bytes in %.1f ms\n",
               round, Ms(t1 - t0), Ms(t1 - t0) * 1000.0 / 10000, files, findMs, found,
               findMs > 0 ? Ms(t1 - t0) / findMs : 0.0, len, Ms(t2 - t1));
    }
    if (argc <= 1) {
        const std::string rm = "rm -rf " + XShellQuote(base);
        if (system(rm.c_str()) != 0) {
            fprintf(stderr, "could not remove %s\n", base.c_str());
        }
    }
    return 0;
}
