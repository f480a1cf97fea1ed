// Cost of the GPS receiver: a day of 1 Hz NMEA (RMC, GSA and a three-line
// GSV burst each second) written by a child process into a pseudo-terminal,
// read, parsed and logged by the camera's reader onto a track file in a RAM
// folder. Prints the camera process's CPU time per hour of log.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "Main/Wiring/SharedRoles.h"
#include "MultiTask/Msg.h"
#include "Periphery/GPS.h"
#include "Periphery/GPSLinks.h"
#include "Periphery/SDManager.h"
#include "Platform/BoardRoot.h"
#include "tests/Periphery/SDTestSupport.h"
#include "tests/support/FakeRoles.h"

namespace {

constexpr int kEpochs = 86400;

// A tested device that speaks no prompt (the settings' own defaults).
class CBenchLinks : public CGPSLinks, public CPrompts, public CTestFactoryState, public CTestSettings {
public:
    void SendOSDMsg(unsigned int msg, unsigned int, uint32_t lpa) override
    {
        if (msg == XM_GPS_SPEED && lpa != 0xFFFFFFFFu) {
            ++m_nFixes;
        }
    }
    void PlayPrompt(int) override {}
    BOOL GetFactoryTestOK() override { return TRUE; }
    time_t Now() override { return 1501459200 + m_nFixes.load(); }  // 2017-07-31, one second a fix
    void SleepMs(unsigned int) override {}

    std::atomic<int> m_nFixes{0};
};

std::string XSentence(const char* body)
{
    unsigned ck = 0;
    for (const char* p = body; *p != '\0'; ++p) {
        ck ^= static_cast<unsigned char>(*p);
    }
    char out[160];
    snprintf(out, sizeof(out), "$%s*%02X\r\n", body, ck);
    return out;
}

std::string XEpoch(int i)
{
    char body[160];
    std::string e;
    snprintf(body, sizeof(body), "GPRMC,%02d%02d%02d.00,A,%09.4f,N,%010.4f,E,%.3f,77.52,310717,,,A", i / 3600,
             i / 60 % 60, i % 60, 4717.0 + (i % 6000) * 0.0001, 833.0 + (i % 6000) * 0.0001, (i % 700) / 10.0);
    e += XSentence(body);
    e += XSentence("GPGSA,A,3,16,18,22,24,,,,,,,,,1.94,1.18,1.54");
    e += XSentence("GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00");
    e += XSentence("GPGSV,3,2,11,14,25,170,00,16,57,208,39,18,67,296,40,19,40,246,00");
    e += XSentence("GPGSV,3,3,11,22,42,067,42,24,14,311,43,27,05,244,00");
    return e;
}

// The receiver: waits for the ten set-up frames, then writes the day.
void XFeed(int master)
{
    size_t got = 0;
    char buf[256];
    while (got < 156) {
        ssize_t n = read(master, buf, sizeof(buf));
        if (n <= 0) {
            _exit(1);
        }
        got += static_cast<size_t>(n);
    }
    for (int i = 0; i < kEpochs; ++i) {
        const std::string e = XEpoch(i);
        size_t done = 0;
        while (done < e.size()) {
            ssize_t n = write(master, e.data() + done, e.size() - done);
            if (n <= 0) {
                _exit(1);
            }
            done += static_cast<size_t>(n);
        }
    }
    // hold the line until the parent is done
    while (read(master, buf, sizeof(buf)) > 0) {
    }
    _exit(0);
}

double XCpuSeconds()
{
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string top = argc > 1 ? argv[1] : "/dev/shm";
    top += "/gpsbench-XXXXXX";
    if (mkdtemp(&top[0]) == nullptr) {
        perror("mkdtemp");
        return 1;
    }
    for (const char* d : {"/dev", "/tmp", "/tmp/mmc0", "/proc", "/sys", "/sys/block", "/sys/block/mmcblk0"}) {
        mkdir((top + d).c_str(), 0755);
    }
    fclose(fopen((top + "/dev/mmcblk0").c_str(), "w"));
    fclose(fopen((top + "/dev/mmcblk0p1").c_str(), "w"));
    FILE* ro = fopen((top + "/sys/block/mmcblk0/ro").c_str(), "w");
    fputs("0\n", ro);
    fclose(ro);
    PlatformSetBoardRoot(top.c_str());

    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
        symlink(ptsname(master), (top + "/dev/ttyAMA1").c_str()) != 0) {
        perror("pty");
        return 1;
    }
    fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        XFeed(master);
    }
    close(master);

    CFakeSDSystem sys;
    CSDManager sd(&sys);
    CBenchLinks links;
    CGPS gps;
    CCameraCard card(&sd);
    gps.Bind({&links, &links, &links, &links, &card});
    // the reader's own lines ("GPS MODULE ACTIVE...") are not measured output
    fflush(stdout);
    const int saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    const auto t0 = std::chrono::steady_clock::now();
    const double cpu0 = XCpuSeconds();
    bool ok = gps.Init() && sd.CheckSDCard() == (emSDState_Insert | emSDState_Mount);
    while (ok && links.m_nFixes.load() < kEpochs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const double cpu = XCpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    gps.CleanUp();
    fflush(stdout);
    dup2(saved, 1);
    close(null);
    close(saved);
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);

    struct stat st;
    const std::string track = top + "/tmp/mmc0/gps/20170731.dat";
    const bool haveTrack = stat(track.c_str(), &st) == 0;
    printf("GPS reader and track writer, one day of 1 Hz NMEA (%d epochs, %zu bytes each)\n", kEpochs,
           XEpoch(0).size());
    printf("  fixes handled     %d%s\n", links.m_nFixes.load(), ok ? "" : "  (set-up failed)");
    printf("  track file        %lld bytes\n", haveTrack ? static_cast<long long>(st.st_size) : -1LL);
    printf("  wall time         %.2f s (the feeder writes as fast as the line takes it)\n", wall);
    printf("  CPU time          %.3f s for the day, %.1f ms per hour of log, %.1f us per epoch\n", cpu,
           cpu * 1000.0 / 24.0, cpu * 1e6 / kEpochs);
    unlink(track.c_str());
    std::string cmd = "rm -rf '" + top + "'";
    if (system(cmd.c_str()) != 0) {
        fprintf(stderr, "could not remove %s\n", top.c_str());
    }
    return ok ? 0 : 1;
}
