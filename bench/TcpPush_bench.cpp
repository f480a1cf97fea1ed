// The longest push call of the app channel while the phone does not read,
// beside a phone that reads. Prints the figures; not a test.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "FactoryTest/FactoryTest.h"
#include "Platform/BoardRoot.h"
#include "TCPComm/TCPComm.h"

namespace {

int Connect(int port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    int small = 4096;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof(small));
    struct sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<struct sockaddr*>(&a), sizeof(a)) != 0) {
        perror("connect");
        exit(1);
    }
    return fd;
}

struct tagRound {
    double maxUs = 0;
    double meanUs = 0;
    int accepted = 0;
};

tagRound Pushes(int count)
{
    const std::string json(1200, 'j');
    tagRound r;
    double total = 0;
    for (int i = 0; i < count; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        r.accepted += CTCPComm::instance()->NotifyCommonVideoUpdate(json.c_str(), static_cast<int>(json.size()));
        const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
        r.maxUs = std::max(r.maxUs, us);
        total += us;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    r.meanUs = total / count;
    return r;
}

}  // namespace

int main()
{
    char tmpl[] = "/tmp/bench-tcp-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
        perror("mkdtemp");
        return 1;
    }
    const std::string dir = std::string(tmpl) + "/board";
    const std::string init = std::string("python3 ") + DASHCAM_SOURCE_DIR "/sim/board init " + dir + " --card-mb 8 >/dev/null";
    if (system(init.c_str()) != 0) {
        return 1;
    }
    PlatformSetBoardRoot(dir.c_str());
    CFactoryTest::instance()->ReadEnvData();
    CTCPComm* chan = CTCPComm::instance();
    chan->SetListenPort(0);
    if (!chan->Init()) {
        return 1;
    }
    const int port = chan->GetListenPort();
    const int pushes = 3000;

    int reader = Connect(port);
    std::atomic<bool> stop{false};
    std::thread drain([&] {
        char buf[8192];
        while (!stop && recv(reader, buf, sizeof(buf), 0) > 0) {
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const tagRound reading = Pushes(pushes);
    stop = true;
    shutdown(reader, SHUT_RDWR);
    drain.join();
    close(reader);

    int stalled = Connect(port);  // never reads
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const tagRound still = Pushes(pushes);
    close(stalled);

    printf("app channel pushes of 1200 bytes, %d each\n", pushes);
    printf("  phone reading:       longest call %8.1f us, mean %6.1f us, %d queued\n", reading.maxUs,
           reading.meanUs, reading.accepted);
    printf("  phone not reading:   longest call %8.1f us, mean %6.1f us, %d queued (the rest refused)\n",
           still.maxUs, still.meanUs, still.accepted);
    printf("  reference: a blocking send to a phone that does not read waits for ever\n");
    chan->CleanUp();
    const std::string rm = std::string("rm -rf ") + tmpl;
    return system(rm.c_str()) == 0 ? 0 : 1;
}
