// Downloads and live viewers: throughput and server CPU per GiB for a 1 GiB
// file on loopback (this engine, then python's http.server and nginx where
// installed, serving the same file), and the engine's CPU per live viewer
// per second. Figures only; nothing is checked.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "HttpServer/HttpEngine.h"
#include "tests/HttpServer/HttpTestClient.h"
#include "tests/HttpServer/TestEngineLinks.h"
#include "HttpServer/HttpFrameSource.h"

extern char** environ;

namespace {

typedef std::chrono::steady_clock XClock;
const uint64_t kFileSize = 1ull << 30;

double XThreadCpu()
{
    struct timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// CPU seconds of a child process (user + system).
double XChildCpu(pid_t pid)
{
    char path[64];
    snprintf(path, sizeof(path), "/proc/%d/stat", static_cast<int>(pid));
    FILE* f = fopen(path, "r");
    if (f == nullptr) {
        return 0;
    }
    char buf[1024] = {};
    const size_t n = fread(buf, 1, sizeof(buf) - 1, f);
    fclose(f);
    buf[n] = '\0';
    const char* p = strrchr(buf, ')');
    unsigned long ut = 0;
    unsigned long st = 0;
    if (p == nullptr || sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &ut, &st) != 2) {
        return 0;
    }
    return static_cast<double>(ut + st) / sysconf(_SC_CLK_TCK);
}

// GETs the URL and reads until the peer closes or `want` body bytes came; seconds.
double XDownload(int port, const std::string& url, uint64_t want, uint64_t* got)
{
    *got = 0;
    int s = -1;
    for (int i = 0; i < 200 && s < 0; ++i) {
        s = XTestConnect(port);
        if (s < 0) {
            usleep(50000);
        }
    }
    if (s < 0) {
        return 0;
    }
    const std::string req = "GET " + url + " HTTP/1.0\r\nHost: x\r\n\r\n";
    (void)!send(s, req.data(), req.size(), MSG_NOSIGNAL);
    std::vector<char> buf(1 << 20);
    const auto start = XClock::now();
    uint64_t total = 0;
    bool head = true;
    std::string h;
    for (;;) {
        const ssize_t n = recv(s, buf.data(), buf.size(), 0);
        if (n <= 0) {
            break;
        }
        if (head) {
            h.append(buf.data(), static_cast<size_t>(n));
            const size_t e = h.find("\r\n\r\n");
            if (e == std::string::npos) {
                continue;
            }
            head = false;
            total += h.size() - e - 4;
        } else {
            total += static_cast<uint64_t>(n);
        }
        if (total >= want) {
            break;
        }
    }
    close(s);
    *got = total;
    return std::chrono::duration<double>(XClock::now() - start).count();
}

void XReport(const char* who, double secs, uint64_t bytes, double cpu)
{
    const double gib = static_cast<double>(bytes) / (1u << 30);
    printf("%-22s %8.1f MiB/s  %6.3f s CPU per GiB\n", who, secs > 0 ? gib * 1024 / secs : 0.0,
           gib > 0 ? cpu / gib : 0.0);
}

pid_t XSpawn(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

void XStop(pid_t pid)
{
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

// 30 frames a second: a key frame every 30, P frames of 6 KiB between.
class CPacedSource : public CHttpFrameSource {
public:
    CPacedSource()
    {
        if (pipe2(m_Pipe, O_NONBLOCK | O_CLOEXEC) != 0) {
            m_Pipe[0] = m_Pipe[1] = -1;
        }
        m_Thread = std::thread([this] {
            while (m_bRun) {
                std::this_thread::sleep_for(std::chrono::milliseconds(33));
                const char b = 1;
                (void)!write(m_Pipe[1], &b, 1);
            }
        });
    }
    ~CPacedSource() override
    {
        m_bRun = false;
        m_Thread.join();
        close(m_Pipe[0]);
        close(m_Pipe[1]);
    }
    int SubStreamFd() override { return m_Pipe[0]; }
    int SubStreamData(char* buffer, int capacity, int bWaitIDR) override
    {
        char b;
        if (!bWaitIDR && read(m_Pipe[0], &b, 1) != 1) {
            return 0;
        }
        const bool key = bWaitIDR || (++m_nFrame % 30) == 0;
        const int len = key ? 40000 : 6000;
        if (len > capacity) {
            return 0;
        }
        memset(buffer, 0x42, static_cast<size_t>(len));
        const unsigned char start[5] = {0, 0, 0, 1, static_cast<unsigned char>(key ? 0x65 : 0x61)};
        memcpy(buffer, start, sizeof(start));
        return len;
    }

private:
    int m_Pipe[2];
    std::atomic<bool> m_bRun{true};
    std::thread m_Thread;
    int m_nFrame = 0;
};

}  // namespace

int main()
{
    signal(SIGPIPE, SIG_IGN);
    char tmpl[] = "/tmp/http-download-bench-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
        return 1;
    }
    const std::string root = tmpl;
    const std::string file = root + "/big.bin";
    {
        const int fd = open(file.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        std::vector<char> block(1 << 20);
        for (size_t i = 0; i < block.size(); ++i) {
            block[i] = static_cast<char>(i * 131);
        }
        for (uint64_t done = 0; done < kFileSize; done += block.size()) {
            (void)!write(fd, block.data(), block.size());
        }
        close(fd);
    }
    printf("download of a 1 GiB file on loopback\n");

    CTestEngineLinks links;  // process_get, as on the camera
    httpd_set_listen_address("127.0.0.1", 0);
    init_exec_env(root.c_str(), &links);
    const int port = httpd_listen_port();
    std::atomic<bool> run{true};
    std::atomic<double> serverCpu{0};
    std::thread server([&] {
        const double t0 = XThreadCpu();
        while (run) {
            httpd_poll();
            serverCpu = XThreadCpu() - t0;
        }
    });
    uint64_t got = 0;
    double cpu0 = serverCpu;
    double secs = XDownload(port, "/big.bin", kFileSize, &got);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    XReport("this engine", secs, got, serverCpu - cpu0);

    // live viewers: the engine's CPU per viewer per second
    CPacedSource source;
    links.source = &source;
    for (int viewers : {1, 4}) {
        std::vector<std::thread> clients;
        uint64_t bytes[4] = {};
        cpu0 = serverCpu;
        const auto t0 = XClock::now();
        for (int i = 0; i < viewers; ++i) {
            clients.emplace_back([&, i] { XDownload(port, "/livesubstream.h264", 1 << 20, &bytes[i]); });
        }
        for (auto& t : clients) {
            t.join();
        }
        const double wall = std::chrono::duration<double>(XClock::now() - t0).count();
        printf("live, %d viewer(s)      %6.2f ms CPU per viewer-second\n", viewers,
               1000.0 * (serverCpu - cpu0) / (wall * viewers));
    }
    links.source = nullptr;
    run = false;
    server.join();
    deinit_exec_env();

    // python's http.server on the same file
    const std::string pyPort = std::to_string(port + 1);
    pid_t py = XSpawn({"python3", "-m", "http.server", pyPort, "--bind", "127.0.0.1", "--directory", root});
    if (py > 0) {
        secs = XDownload(port + 1, "/big.bin", kFileSize, &got);
        XReport("python http.server", secs, got, XChildCpu(py));
        XStop(py);
    }
    // nginx with sendfile on, where installed
    const std::string conf = root + "/nginx.conf";
    FILE* f = fopen(conf.c_str(), "w");
    if (f != nullptr) {
        fprintf(f,
                "daemon off; master_process off; worker_processes 1; error_log /dev/null; pid %s/nginx.pid;\n"
                "events { worker_connections 64; }\n"
                "http { access_log off; sendfile on; server { listen 127.0.0.1:%d; root %s; } }\n",
                root.c_str(), port + 2, root.c_str());
        fclose(f);
    }
    pid_t ng = XSpawn({"nginx", "-c", conf, "-p", root});
    if (ng > 0) {
        usleep(300000);
        secs = XDownload(port + 2, "/big.bin", kFileSize, &got);
        if (got > 0) {
            XReport("nginx (sendfile on)", secs, got, XChildCpu(ng));
        } else {
            printf("nginx                  not installed\n");
        }
        XStop(ng);
    }
    const std::string rm = "rm -rf '" + root + "'";
    return system(rm.c_str()) == 0 ? 0 : 1;
}
