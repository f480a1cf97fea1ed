// The web server's costs: small replies per second over kept-alive
// connections, heap per idle connection with 64 held, the listing of a
// 20,000-entry folder, and the app's loop-video list of 1,000 and 10,000
// records beside a plain file of the same bytes served by the same engine;
// each beside a reference server where one is installed (nginx for the
// replies, the connections and the list files, python's http.server for the
// listing).
#include <arpa/inet.h>
#include <fcntl.h>
#include <malloc.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "Function/SystemTime.h"
#include "HttpServer/HttpEngine.h"
#include "HttpServer/HttpListFile.h"
#include "Platform/BoardRoot.h"
#include "Record/MP4/MP4File.h"
#include "Record/Record.h"
#include "tests/HttpServer/HttpTestClient.h"
#include "tests/HttpServer/RecordListPorts.h"
#include "tests/HttpServer/TestEngineLinks.h"
#include "tests/Record/RecordTestCard.h"

extern char** environ;

namespace {

typedef std::chrono::steady_clock XClock;

// One request, its whole reply (Content-Length bodies); false on failure.
bool XRoundTrip(int s, const std::string& req, std::string& buf)
{
    if (send(s, req.data(), req.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(req.size())) {
        return false;
    }
    buf.clear();
    char tmp[65536];
    size_t want = std::string::npos;
    while (buf.size() < want) {
        const ssize_t n = recv(s, tmp, sizeof(tmp), 0);
        if (n <= 0) {
            return n == 0 && want == std::string::npos - 1;
        }
        buf.append(tmp, static_cast<size_t>(n));
        if (want == std::string::npos) {
            const size_t end = buf.find("\r\n\r\n");
            if (end != std::string::npos) {
                const size_t at = buf.find("Content-Length: ");
                if (at != std::string::npos && at < end) {
                    want = end + 4 + std::stoull(buf.substr(at + 16));
                } else {
                    want = std::string::npos - 1;  // to the close
                }
            }
        }
    }
    return true;
}

// Requests per second from 4 kept-alive clients for about two seconds.
double XRate(int port, const std::string& req)
{
    std::atomic<long> done{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> clients;
    for (int c = 0; c < 4; ++c) {
        clients.emplace_back([&] {
            const int s = XTestConnect(port);
            std::string buf;
            while (s >= 0 && !stop && XRoundTrip(s, req, buf)) {
                ++done;
            }
            if (s >= 0) {
                close(s);
            }
        });
    }
    const auto t0 = XClock::now();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    stop = true;
    for (std::thread& t : clients) {
        t.join();
    }
    const double secs = std::chrono::duration<double>(XClock::now() - t0).count();
    return static_cast<double>(done.load()) / secs;
}

double XListingMs(int port, const std::string& url, size_t* bytes)
{
    const int s = XTestConnect(port);
    std::string buf;
    const auto t0 = XClock::now();
    const int n = 5;
    for (int i = 0; i < n; ++i) {
        const int c = i == 0 ? s : XTestConnect(port);
        XRoundTrip(c, "GET " + url + " HTTP/1.0\r\n\r\n", buf);
        close(c);
    }
    *bytes = buf.size();
    return std::chrono::duration<double, std::milli>(XClock::now() - t0).count() / n;
}

int XFreePort()
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(a);
    bind(s, reinterpret_cast<struct sockaddr*>(&a), sizeof(a));
    getsockname(s, reinterpret_cast<struct sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

pid_t XSpawn(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

bool XWaitListening(int port)
{
    for (int i = 0; i < 100; ++i) {
        const int s = XTestConnect(port);
        if (s >= 0) {
            close(s);
            return true;
        }
        usleep(50000);
    }
    return false;
}

void XStop(pid_t pid)
{
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
}

long XRssKiB(pid_t pid)
{
    FILE* f = fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    long kib = -1;
    char line[256];
    while (f != nullptr && fgets(line, sizeof(line), f) != nullptr) {
        if (sscanf(line, "VmRSS: %ld", &kib) == 1) {
            break;
        }
    }
    if (f != nullptr) {
        fclose(f);
    }
    return kib;
}

const int kCard = emSDState_Insert | emSDState_Mount;
const int kListRecords[] = {1000, 10000};

// A fresh card holding `files` loop videos, one every 3 minutes, each with
// its title and archive; the list's bytes go to `file` too.
std::string XFillCard(CRecord& record, CFolderCard& card, int files, const std::string& file)
{
    card.Notify(kCard);  // the indexes start empty
    CRecordFileIndex& idx = record.GetCommonRecordFileIndex();
    for (int i = 0; i < files; ++i) {
        RECTIME t;
        Second2RECTIME(1704067200 + static_cast<time_t>(i) * 180, t);
        idx.AddRecFile(t, 180u, 1080 << 16, 150000000ul);
        idx.AddRecFileTitle(t, 0, 20000ul);
        idx.AddRecFileTimestamp(t, 0, 400000ul);
    }
    RecordListBytes list;
    if (record.GetFileList(emRecFileType_CommonVideo, 16u << 20, list) != emListBuild_Done) {
        return std::string();
    }
    FILE* f = fopen(file.c_str(), "wb");
    if (f != nullptr) {
        fwrite(list->data(), 1, list->size(), f);
        fclose(f);
    }
    return *list;
}

bool XHave(const char* tool)
{
    return system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

int main()
{
    signal(SIGPIPE, SIG_IGN);
    char tmpl[] = "/tmp/http-bench-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
        return 1;
    }
    const std::string root = tmpl;
    const std::string big = root + "/big";
    mkdir(big.c_str(), 0755);
    for (int i = 0; i < 20000; ++i) {
        char name[64];
        snprintf(name, sizeof(name), "/20240101%06d_180.MP4", i);
        const int fd = open((big + name).c_str(), O_CREAT | O_WRONLY, 0644);
        close(fd);
    }

    CTestEngineLinks links;  // process_get, as on the camera
    httpd_set_listen_address("127.0.0.1", 0);
    init_exec_env(root.c_str(), &links);
    const int port = httpd_listen_port();
    std::atomic<bool> run{true};
    std::thread engine([&] {
        while (run) {
            httpd_poll();
        }
    });

    const std::string small = "GET /missing HTTP/1.1\r\n\r\n";
    printf("small replies (404 page, 4 kept-alive clients): %.0f requests/s\n", XRate(port, small));

    // heap per idle connection, 64 held
    const size_t heap0 = mallinfo2().uordblks;
    std::vector<int> idle;
    for (int i = 0; i < 64; ++i) {
        idle.push_back(XTestConnect(port));
    }
    while (httpd_connection_count() < 64) {
        usleep(1000);
    }
    const size_t heap1 = mallinfo2().uordblks;
    printf("heap per idle connection (64 held): %zu bytes (0 under a sanitizer's allocator)\n",
           (heap1 - heap0) / 64);
    for (int s : idle) {
        close(s);
    }

    size_t bytes = 0;
    const double ms = XListingMs(port, "/big/", &bytes);
    printf("listing of 20000 entries: %.1f ms (%zu bytes)\n", ms, bytes);

    // The loop-video list against the same bytes as a file.
    PlatformSetBoardRoot(root.c_str());
    CFolderCard* card = new CFolderCard();
    CRecord record(new CMP4File(), card, new CRecordKeepFinisher());
    record.Init(30, 30, 1920, 1080);
    CRecordListPorts ports(&record);
    CWebBridges::instance()->Bind(ports.Roles());
    for (int files : kListRecords) {
        const std::string name = "/list-" + std::to_string(files) + ".bin";
        const std::string list = XFillCard(record, *card, files, root + name);
        // Turn about, the best of three each: the machine may be shared.
        double json = 0;
        double file = 0;
        for (int round = 0; round < 3; ++round) {
            json = std::max(json, XRate(port, "GET /commonvideo.json HTTP/1.1\r\n\r\n"));
            file = std::max(file, XRate(port, "GET " + name + " HTTP/1.1\r\n\r\n"));
        }
        printf("commonvideo.json of %d records (%zu bytes, 4 kept-alive clients, best of 3): %.0f requests/s; "
               "the same bytes as a file: %.0f requests/s; ratio %.2f (goal 0.9)\n",
               files, list.size(), json, file, file > 0 ? json / file : 0.0);
        // Where no list file can be had the document itself is sent.
        list_files_enable(0);
        printf("  the same list sent from memory: %.0f requests/s\n",
               XRate(port, "GET /commonvideo.json HTTP/1.1\r\n\r\n"));
        list_files_enable(1);
    }

    if (XHave("nginx")) {
        const int nport = XFreePort();
        const std::string conf = root + "/nginx.conf";
        FILE* f = fopen(conf.c_str(), "w");
        fprintf(f, "daemon off; worker_processes 1; pid %s/nginx.pid; error_log /dev/null;\n"
                   "events { worker_connections 256; }\n"
                   "http { access_log off; server { listen 127.0.0.1:%d; root %s; } }\n",
                root.c_str(), nport, root.c_str());
        fclose(f);
        const pid_t ng = XSpawn({"nginx", "-c", conf, "-p", root});
        if (XWaitListening(nport)) {
            printf("nginx small replies (404 page): %.0f requests/s\n", XRate(nport, small));
            for (int files : kListRecords) {
                printf("nginx list file of %d records: %.0f requests/s\n", files,
                       XRate(nport, "GET /list-" + std::to_string(files) + ".bin HTTP/1.1\r\n\r\n"));
            }
            const long rss0 = XRssKiB(ng);
            std::vector<int> held;
            for (int i = 0; i < 64; ++i) {
                held.push_back(XTestConnect(nport));
            }
            usleep(200000);
            printf("nginx memory per idle connection (64 held, master RSS): %ld bytes\n",
                   (XRssKiB(ng) - rss0) * 1024 / 64);
            for (int s : held) {
                close(s);
            }
        }
        XStop(ng);
    } else {
        printf("nginx: not installed, no reference\n");
    }

    if (XHave("python3")) {
        const int pport = XFreePort();
        const pid_t py = XSpawn({"python3", "-m", "http.server", std::to_string(pport), "--bind", "127.0.0.1",
                                 "--directory", root});
        if (XWaitListening(pport)) {
            size_t pbytes = 0;
            printf("python http.server listing of 20000 entries: %.1f ms (%zu bytes)\n",
                   XListingMs(pport, "/big/", &pbytes), pbytes);
        }
        XStop(py);
    }

    run = false;
    engine.join();
    deinit_exec_env();
    CWebBridges::instance()->Bind(WebBridgeRoles{});
    record.CleanUp();
    system(("rm -rf '" + root + "'").c_str());
    return 0;
}
