#ifndef TESTS_HTTPSERVER_HTTPENGINEFIXTURE_H
#define TESTS_HTTPSERVER_HTTPENGINEFIXTURE_H

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "HttpServer/HttpEngine.h"
#include "HttpServer/HttpFrameSource.h"
#include "HttpServer/HttpReply.h"
#include "HttpServer/ProcessGet.h"
#include "tests/HttpServer/HttpTestClient.h"
#include "tests/HttpServer/TestEngineLinks.h"

// Frames handed in by the test; the descriptor is readable while any wait.
class CScriptedFrameSource : public CHttpFrameSource {
public:
    CScriptedFrameSource()
    {
        if (pipe2(m_Pipe, O_NONBLOCK | O_CLOEXEC) != 0) {
            m_Pipe[0] = m_Pipe[1] = -1;
        }
    }
    ~CScriptedFrameSource() override
    {
        close(m_Pipe[0]);
        close(m_Pipe[1]);
    }
    void Push(const std::string& frame)
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Frames.push_back(frame);
        const char b = 1;
        (void)!write(m_Pipe[1], &b, 1);
        m_Pushed.notify_all();
    }
    size_t Waiting()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_Frames.size();
    }
    int SubStreamFd() override { return m_Pipe[0]; }
    // With bWaitIDR it waits up to 2 s for the next frame pushed.
    int SubStreamData(char* buffer, int capacity, int bWaitIDR) override
    {
        std::unique_lock<std::mutex> lock(m_Lock);
        if (bWaitIDR) {
            m_Pushed.wait_for(lock, std::chrono::seconds(2), [this] { return !m_Frames.empty(); });
        }
        if (m_Frames.empty()) {
            return 0;
        }
        const std::string f = m_Frames.front();
        m_Frames.pop_front();
        char b;
        (void)!read(m_Pipe[0], &b, 1);
        if (static_cast<int>(f.size()) > capacity) {
            return -1;
        }
        memcpy(buffer, f.data(), f.size());
        return static_cast<int>(f.size());
    }

private:
    int m_Pipe[2];
    std::mutex m_Lock;
    std::deque<std::string> m_Frames;
    std::condition_variable m_Pushed;
};

// The engine on an ephemeral 127.0.0.1 port, its passes on a thread of the
// fixture, with a test handler that fills the connection as process_get does.
class HttpEngineFixture : public ::testing::Test {
public:
    static std::atomic<int> s_nCalls;
    static CScriptedFrameSource* s_pSource;

protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/http-engine-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_strRoot = tmpl;
        signal(SIGPIPE, SIG_IGN);  // as the camera does
        s_nCalls = 0;
        m_pSource.reset(new CScriptedFrameSource());
        s_pSource = m_pSource.get();
        httpd_set_listen_address("127.0.0.1", 0);
        m_Links.handler = Handler;
        m_Links.source = m_pSource.get();
        init_exec_env(m_strRoot.c_str(), &m_Links);
        m_nPort = httpd_listen_port();
        ASSERT_GT(m_nPort, 0);
        m_bRun = true;
        m_Thread = std::thread([this] {
            while (m_bRun) {
                httpd_poll();
            }
        });
    }

    void TearDown() override
    {
        m_bRun = false;
        if (m_Thread.joinable()) {
            m_Thread.join();
        }
        deinit_exec_env();
        httpd_set_idletime(60);
        httpd_set_live_backlog(30, 1u << 20);
        s_pSource = nullptr;
        const std::string cmd = "rm -rf '" + m_strRoot + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }

    void MakeFile(const std::string& rel, const std::string& data)
    {
        const int fd = open((m_strRoot + rel).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
        close(fd);
    }

public:
    static void Head200(connection* conn, off_t length)
    {
        conn->header = "HTTP/1.1 200 OK\r\n" + std::string(keep_alive(conn)) +
                       "Content-Length: " + std::to_string(static_cast<long long>(length)) + "\r\n\r\n";
        conn->header_length = conn->header.size();
        conn->http_code = 200;
    }

    // /file/NAME: the file under the root; /mem/C/N: N bytes of C built in
    // the shared buffer; /json/N: a list of N bytes; /head: head only;
    // /live: the live stream; /cut: cuts the file replies as the SD
    // callback does on this thread; anything else: process_get.
    static void Handler(connection* conn)
    {
        ++s_nCalls;
        const std::string& u = conn->url;
        if (u.compare(0, 6, "/file/") == 0) {
            const int fd = open((httpd_root() + "/" + u.substr(6)).c_str(), O_RDONLY | O_NONBLOCK);
            struct stat st;
            if (fd < 0 || fstat(fd, &st) != 0) {
                default_reply(conn, 404, "Not Found", "none");
                return;
            }
            conn->reply_type = REPLY_FROMFILE;
            conn->buffer_type = 0;
            conn->reply_fd = fd;
            conn->reply_start = 0;
            conn->reply_length = st.st_size;
            Head200(conn, st.st_size);
        } else if (u.compare(0, 5, "/mem/") == 0) {
            const size_t n = std::stoul(u.substr(7));
            memset(httpd_json_buffer(), u[5], n);
            conn->reply_type = REPLY_GENERATED;
            conn->reply = httpd_json_buffer();
            conn->reply_dont_free = 1;
            conn->reply_length = static_cast<off_t>(n);
            Head200(conn, static_cast<off_t>(n));
        } else if (u.compare(0, 6, "/json/") == 0) {
            const size_t n = std::stoul(u.substr(6));
            memset(httpd_json_buffer(), 'j', n);
            conn->buffer_type = HTTP_BUFFER_COMMON_VIDEO_JSON;
            conn->reply_length = static_cast<off_t>(n);
            Head200(conn, static_cast<off_t>(n));
        } else if (u == "/speed") {
            // the speed-test download: recording paused for it
            conn->url_type = 1;
            memset(httpd_json_buffer(), 's', 4);
            conn->reply = httpd_json_buffer();
            conn->reply_dont_free = 1;
            conn->reply_length = 4;
            Head200(conn, 4);
        } else if (u == "/cut") {
            // a format from a command: the root goes away under this very pass
            httpd_cut_file_replies();
            Head200(conn, 0);
        } else if (u == "/head") {
            Head200(conn, 0);
            conn->header_only = 1;
        } else if (u == "/live") {
            static char video_buff[HTTP_LIVE_BUFFER_SIZE];
            const int len = s_pSource->SubStreamData(video_buff, sizeof(video_buff), 1);
            if (len <= 0) {
                default_reply(conn, 500, "internal server error", "video not alive or out of memory.");
                return;
            }
            conn->buffer_type = HTTP_BUFFER_LIVE;
            conn->reply_type = REPLY_GENERATED;
            conn->reply = video_buff;
            conn->raw_buff_len = HTTP_LIVE_BUFFER_SIZE;
            conn->reply_length = len;
            conn->data_ready = 1;
            conn->reply_dont_free = 1;
            conn->header = "HTTP/1.1 200 OK\r\n" + std::string(keep_alive(conn)) +
                           "Content-Length: 18446744073709551615\r\nContent-Type: application/octet-stream\r\n\r\n";
            conn->header_length = conn->header.size();
            conn->http_code = 200;
        } else {
            process_get(conn);
        }
    }

protected:
    CTestEngineLinks m_Links;
    std::string m_strRoot;
    int m_nPort = 0;
    std::atomic<bool> m_bRun{false};
    std::thread m_Thread;
    std::unique_ptr<CScriptedFrameSource> m_pSource;
};

inline std::atomic<int> HttpEngineFixture::s_nCalls{0};
inline CScriptedFrameSource* HttpEngineFixture::s_pSource = nullptr;

#endif
