#ifndef TESTS_TCPCOMM_TCPPHONE_H
#define TESTS_TCPCOMM_TCPPHONE_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TCPComm/TcpFrame.h"

// A phone on the app channel: frames out, frames in (each checked for its
// head, version, length and checksum).
class CTcpPhone {
public:
    struct tagIn {
        uint32_t cmd = 0;
        std::vector<unsigned char> param;
        std::vector<unsigned char> bytes;
    };

    explicit CTcpPhone(int port, int rcvbuf = 0)
    {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (rcvbuf > 0) {
            setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof(rcvbuf));
        }
        struct sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = connect(m_fd, reinterpret_cast<struct sockaddr*>(&a), sizeof(a)) == 0;
    }
    ~CTcpPhone()
    {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    bool Connected() const { return m_connected; }
    int Fd() const { return m_fd; }

    bool SendBytes(const std::vector<unsigned char>& b)
    {
        return send(m_fd, b.data(), b.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(b.size());
    }
    bool Send(uint32_t cmd, const std::vector<unsigned char>& param = {})
    {
        return SendBytes(Frame(cmd, param));
    }
    static std::vector<unsigned char> Frame(uint32_t cmd, const std::vector<unsigned char>& param = {})
    {
        std::vector<unsigned char> buf(TCP_FRAME_MAX_LEN + 16);
        int n = XBuildFrame(buf.data(), buf.size(), cmd, param.data(), param.size());
        buf.resize(static_cast<size_t>(n));
        return buf;
    }

    // The next frame within timeoutMs; false on time-out or EOF (m_eof set).
    bool Read(tagIn& in, int timeoutMs = 3000)
    {
        const uint64_t end = Now() + static_cast<uint64_t>(timeoutMs);
        for (;;) {
            if (TakeFrame(in)) {
                return true;
            }
            const uint64_t now = Now();
            if (now >= end || m_eof) {
                return false;
            }
            struct pollfd p = {m_fd, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(end - now)) <= 0) {
                continue;
            }
            unsigned char buf[4096];
            ssize_t n = recv(m_fd, buf, sizeof(buf), 0);
            if (n <= 0) {
                m_eof = true;
                m_eofAt = Now();
                continue;
            }
            m_buf.insert(m_buf.end(), buf, buf + n);
        }
    }
    // Reads until a frame of `cmd` arrives (others are kept in Skipped()).
    bool ReadUntil(uint32_t cmd, tagIn& in, int timeoutMs = 3000)
    {
        const uint64_t end = Now() + static_cast<uint64_t>(timeoutMs);
        while (Now() < end) {
            if (!Read(in, static_cast<int>(end - Now()))) {
                return false;
            }
            if (in.cmd == cmd) {
                return true;
            }
            m_skipped.push_back(in.cmd);
        }
        return false;
    }
    // True when the device closed the connection within timeoutMs (frames
    // before the end are dropped).
    bool WaitEof(int timeoutMs)
    {
        tagIn in;
        const uint64_t end = Now() + static_cast<uint64_t>(timeoutMs);
        while (!m_eof && Now() < end) {
            Read(in, static_cast<int>(end - Now()));
        }
        return m_eof;
    }
    uint64_t EofAt() const { return m_eofAt; }
    const std::vector<uint32_t>& Skipped() const { return m_skipped; }
    std::string Errors() const { return m_errors; }

    static uint64_t Now()
    {
        struct timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    }

private:
    bool TakeFrame(tagIn& in)
    {
        if (m_buf.size() < TCP_FRAME_HEAD_LEN) {
            return false;
        }
        if (m_buf[0] != 0xFF || m_buf[1] != 0xF0 || m_buf[4] != 0x01 || m_buf[5] != 0x00) {
            m_errors += "bad head;";
            m_buf.erase(m_buf.begin());
            return false;
        }
        const size_t paralen = (static_cast<size_t>(m_buf[10]) << 8) | m_buf[11];
        if (m_buf.size() < TCP_FRAME_HEAD_LEN + paralen) {
            return false;
        }
        in.bytes.assign(m_buf.begin(), m_buf.begin() + static_cast<long>(TCP_FRAME_HEAD_LEN + paralen));
        in.param.assign(in.bytes.begin() + TCP_FRAME_HEAD_LEN, in.bytes.end());
        in.cmd = (static_cast<uint32_t>(in.bytes[6]) << 24) | (static_cast<uint32_t>(in.bytes[7]) << 16) |
                 (static_cast<uint32_t>(in.bytes[8]) << 8) | in.bytes[9];
        const uint16_t sum = makechecksum(0x0100, in.cmd, static_cast<uint16_t>(paralen), in.param.data());
        if (in.bytes[2] != (sum >> 8) || in.bytes[3] != (sum & 0xFF)) {
            m_errors += "bad checksum;";
        }
        m_buf.erase(m_buf.begin(), m_buf.begin() + static_cast<long>(TCP_FRAME_HEAD_LEN + paralen));
        return true;
    }

    int m_fd = -1;
    bool m_connected = false;
    bool m_eof = false;
    uint64_t m_eofAt = 0;
    std::vector<unsigned char> m_buf;
    std::vector<uint32_t> m_skipped;
    std::string m_errors;
};

#endif
