#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Function/common.h"

namespace {

std::string Pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>('a' + (i * 7) % 26);
    }
    return s;
}

std::string ReadAll(int fd)
{
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof(buf))) > 0) {
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

// Ignores a signal while alive.
class ScopedIgnore {
public:
    explicit ScopedIgnore(int sig) : m_nSig(sig)
    {
        struct sigaction sa;
        memset(&sa, 0, sizeof(sa));
        sa.sa_handler = SIG_IGN;
        sigaction(sig, &sa, &m_Old);
    }
    ~ScopedIgnore() { sigaction(m_nSig, &m_Old, nullptr); }

private:
    int m_nSig;
    struct sigaction m_Old;
};

// --------------------------------------------------------------- FullWrite

struct LimitCase {
    rlim_t limit;       // largest file the writer may make
    size_t len;         // bytes handed to FullWrite
    ssize_t expected;   // its result
    int expectedErrno;  // errno when the result is -1
};

// Runs FullWrite in a child whose files may not grow past `limit` (SIGXFSZ
// ignored, so the write past the limit fails with EFBIG).
TEST(FullWrite, ReturnsPartialCountWhenTheFileCannotGrow)
{
    const LimitCase cases[] = {
        {100, 300, 100, 0},     // writes 100, then EFBIG: the partial count
        {0, 50, -1, EFBIG},     // nothing written: the error result
        {4096, 4096, 4096, 0},  // fits exactly
        {1000, 10, 10, 0},
    };
    char dir[] = "/tmp/fn_io_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    const std::string file = std::string(dir) + "/out";
    for (const auto& c : cases) {
        int fds[2];
        ASSERT_EQ(0, pipe(fds));
        fflush(stdout);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(fds[0]);
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit rl;
            rl.rlim_cur = rl.rlim_max = c.limit;
            long long result[2] = {-100, 0};
            int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0 && setrlimit(RLIMIT_FSIZE, &rl) == 0) {
                const std::string data = Pattern(c.len);
                errno = 0;
                result[0] = FullWrite(fd, data.data(), data.size());
                result[1] = errno;
            }
            if (write(fds[1], result, sizeof(result)) != sizeof(result)) {
                _exit(2);
            }
            _exit(0);
        }
        close(fds[1]);
        long long result[2] = {0, 0};
        ASSERT_EQ(static_cast<ssize_t>(sizeof(result)), read(fds[0], result, sizeof(result)));
        close(fds[0]);
        int status = 0;
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        EXPECT_EQ(c.expected, result[0]) << "limit " << c.limit << " len " << c.len;
        if (c.expected < 0) {
            EXPECT_EQ(c.expectedErrno, result[1]) << "limit " << c.limit;
        }
        // What the result claims is really in the file.
        int fd = open(file.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        std::string got = ReadAll(fd);
        close(fd);
        EXPECT_EQ(Pattern(c.len).substr(0, c.expected > 0 ? static_cast<size_t>(c.expected) : 0), got);
    }
    unlink(file.c_str());
    rmdir(dir);
}

TEST(FullWrite, NonBlockingPipeStopsAtCapacity)
{
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    ASSERT_GT(fcntl(fds[1], F_SETPIPE_SZ, 4096), 0);
    const int capacity = fcntl(fds[1], F_GETPIPE_SZ);
    ASSERT_GT(capacity, 0);
    ASSERT_EQ(0, fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK));
    const std::string data = Pattern(static_cast<size_t>(capacity) * 3 + 17);

    EXPECT_EQ(capacity, FullWrite(fds[1], data.data(), data.size()));
    // Full now: the next call writes nothing and gives the error.
    errno = 0;
    EXPECT_EQ(-1, FullWrite(fds[1], data.data(), data.size()));
    EXPECT_EQ(EAGAIN, errno);
    close(fds[1]);
    EXPECT_EQ(data.substr(0, static_cast<size_t>(capacity)), ReadAll(fds[0]));
    close(fds[0]);
}

TEST(FullWrite, ClosedReaderGivesError)
{
    ScopedIgnore ignore(SIGPIPE);
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    close(fds[0]);
    errno = 0;
    EXPECT_EQ(-1, FullWrite(fds[1], "abc", 3));
    EXPECT_EQ(EPIPE, errno);
    close(fds[1]);
}

TEST(FullWrite, WritesEverythingThroughSlowReader)
{
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    const std::string data = Pattern(1 << 20);
    std::string got;
    std::thread reader([&] { got = ReadAll(fds[0]); });
    EXPECT_EQ(static_cast<ssize_t>(data.size()), FullWrite(fds[1], data.data(), data.size()));
    EXPECT_EQ(0, FullWrite(fds[1], data.data(), 0));
    close(fds[1]);
    reader.join();
    close(fds[0]);
    EXPECT_EQ(data, got);
}

// ------------------------------------------------------- EINTR is retried

std::atomic<int> g_nSignals{0};

void CountSignal(int)
{
    g_nSignals.fetch_add(1);
}

// Installs a SIGUSR1 handler without SA_RESTART, so a blocked read or write
// fails with EINTR, and restores the old one at the end.
class InterruptTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        struct sigaction sa;
        memset(&sa, 0, sizeof(sa));
        sa.sa_handler = CountSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;
        ASSERT_EQ(0, sigaction(SIGUSR1, &sa, &m_Old));
        g_nSignals = 0;
        ASSERT_EQ(0, pipe(m_Fds));
    }
    void TearDown() override
    {
        close(m_Fds[0]);
        close(m_Fds[1]);
        sigaction(SIGUSR1, &m_Old, nullptr);
    }
    // From another thread: signals `target` every 20 ms for 200 ms, then
    // runs `finish`.
    template <typename F>
    std::thread Interrupter(pthread_t target, F finish)
    {
        return std::thread([target, finish] {
            for (int i = 0; i < 10; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                pthread_kill(target, SIGUSR1);
            }
            finish();
        });
    }

    int m_Fds[2] = {-1, -1};
    struct sigaction m_Old;
};

TEST_F(InterruptTest, SafeReadRetriesInterruptedRead)
{
    const int wfd = m_Fds[1];
    std::thread t = Interrupter(pthread_self(), [wfd] {
        if (write(wfd, "hello", 5) != 5) {
            ADD_FAILURE() << "pipe write";
        }
    });
    char buf[16] = {0};
    ssize_t n = SafeRead(m_Fds[0], buf, sizeof(buf));
    t.join();
    EXPECT_EQ(5, n);
    EXPECT_STREQ("hello", buf);
    EXPECT_GT(g_nSignals.load(), 0);
}

TEST_F(InterruptTest, SafeWriteRetriesInterruptedWrite)
{
    // Fill the pipe, then block in a one-byte write until the other thread
    // drains it.
    ASSERT_EQ(0, fcntl(m_Fds[1], F_SETFL, fcntl(m_Fds[1], F_GETFL) | O_NONBLOCK));
    const std::string chunk(4096, 'f');
    size_t filled = 0;
    ssize_t w;
    while ((w = write(m_Fds[1], chunk.data(), chunk.size())) > 0) {
        filled += static_cast<size_t>(w);
    }
    ASSERT_EQ(EAGAIN, errno);
    ASSERT_EQ(0, fcntl(m_Fds[1], F_SETFL, fcntl(m_Fds[1], F_GETFL) & ~O_NONBLOCK));

    const int rfd = m_Fds[0];
    std::string drained;
    std::thread t = Interrupter(pthread_self(), [rfd, filled, &drained] {
        char buf[4096];
        while (drained.size() < filled + 1) {
            ssize_t n = read(rfd, buf, sizeof(buf));
            if (n <= 0) {
                break;
            }
            drained.append(buf, static_cast<size_t>(n));
        }
    });
    EXPECT_EQ(1, SafeWrite(m_Fds[1], "Z", 1));
    t.join();
    EXPECT_GT(g_nSignals.load(), 0);
    ASSERT_EQ(filled + 1, drained.size());
    EXPECT_EQ('Z', drained.back());
}

}  // namespace
