#ifndef TESTS_FACTORYTEST_FACTORYSTATION_H
#define TESTS_FACTORYTEST_FACTORYSTATION_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Function/Crc32.h"

// A test station on loopback: requests built from the packet layout (CRC-32
// of LEN bytes from offset 4, every field big-endian), replies read whole.
struct tagStationReply {
    uint16_t len = 0;
    uint16_t code = 0;
    uint16_t seq = 0;
    int16_t ret = 0;
    std::string payload;
    bool crcOk = false;
};

inline std::string XStationPacket(uint16_t cmd, uint16_t seq, const std::string& param = "")
{
    std::string p(10, '\0');
    const uint16_t len = static_cast<uint16_t>(6 + param.size());
    p[4] = static_cast<char>(len >> 8);
    p[5] = static_cast<char>(len);
    p[6] = static_cast<char>(cmd >> 8);
    p[7] = static_cast<char>(cmd);
    p[8] = static_cast<char>(seq >> 8);
    p[9] = static_cast<char>(seq);
    p += param;
    const uint32_t c = crc32(0, p.data() + 4, len);
    for (int i = 0; i < 4; ++i) {
        p[static_cast<size_t>(i)] = static_cast<char>(c >> (24 - 8 * i));
    }
    return p;
}

inline std::string XBE16(unsigned v)
{
    return std::string{static_cast<char>(v >> 8), static_cast<char>(v)};
}

class CStation {
public:
    explicit CStation(unsigned short port, bool udp = false) : m_bUdp(udp)
    {
        m_fd = socket(AF_INET, udp ? SOCK_DGRAM : SOCK_STREAM, 0);
        m_Addr.sin_family = AF_INET;
        m_Addr.sin_port = htons(port);
        m_Addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (!udp && connect(m_fd, reinterpret_cast<sockaddr*>(&m_Addr), sizeof(m_Addr)) != 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
    ~CStation() { Close(); }
    CStation(const CStation&) = delete;
    CStation& operator=(const CStation&) = delete;

    bool Ok() const { return m_fd >= 0; }
    void Close()
    {
        if (m_fd >= 0) {
            close(m_fd);
        }
        m_fd = -1;
    }
    bool SendRaw(const std::string& bytes)
    {
        const ssize_t n = m_bUdp ? sendto(m_fd, bytes.data(), bytes.size(), 0,
                                          reinterpret_cast<sockaddr*>(&m_Addr), sizeof(m_Addr))
                                 : send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        return n == static_cast<ssize_t>(bytes.size());
    }
    bool Send(uint16_t cmd, uint16_t seq, const std::string& param = "")
    {
        return SendRaw(XStationPacket(cmd, seq, param));
    }
    // One reply, or false after timeoutMs (or when the peer closed).
    bool Read(tagStationReply& r, int timeoutMs = 10000)
    {
        std::string head;
        if (m_bUdp) {
            if (!Wait(timeoutMs)) {
                return false;
            }
            char buf[256];
            const ssize_t n = recv(m_fd, buf, sizeof(buf), 0);
            if (n < 12) {
                return false;
            }
            return Parse(std::string(buf, static_cast<size_t>(n)), r);
        }
        std::string bytes;
        if (!ReadN(bytes, 6, timeoutMs)) {
            return false;
        }
        const size_t len = (static_cast<uint8_t>(bytes[4]) << 8) | static_cast<uint8_t>(bytes[5]);
        if (len < 8 || !ReadN(bytes, 4 + len, timeoutMs)) {
            return false;
        }
        return Parse(bytes, r);
    }
    // True when the peer closed the connection within timeoutMs.
    bool Closed(int timeoutMs = 10000)
    {
        if (!Wait(timeoutMs)) {
            return false;
        }
        char c;
        return recv(m_fd, &c, 1, 0) == 0;
    }

private:
    bool Wait(int timeoutMs)
    {
        pollfd p = {m_fd, POLLIN, 0};
        return poll(&p, 1, timeoutMs) == 1;
    }
    bool ReadN(std::string& bytes, size_t want, int timeoutMs)
    {
        while (bytes.size() < want) {
            if (!Wait(timeoutMs)) {
                return false;
            }
            char buf[256];
            const ssize_t n = recv(m_fd, buf, want - bytes.size() < sizeof(buf) ? want - bytes.size() : sizeof(buf), 0);
            if (n <= 0) {
                return false;
            }
            bytes.append(buf, static_cast<size_t>(n));
        }
        return true;
    }
    static uint16_t BE16(const std::string& s, size_t at)
    {
        return static_cast<uint16_t>((static_cast<uint8_t>(s[at]) << 8) | static_cast<uint8_t>(s[at + 1]));
    }
    static bool Parse(const std::string& s, tagStationReply& r)
    {
        r.len = BE16(s, 4);
        if (s.size() != 4u + r.len) {
            return false;
        }
        uint32_t stored = 0;
        for (int i = 0; i < 4; ++i) {
            stored = (stored << 8) | static_cast<uint8_t>(s[static_cast<size_t>(i)]);
        }
        r.crcOk = crc32(0, s.data() + 4, r.len) == stored;
        r.code = BE16(s, 6);
        r.seq = BE16(s, 8);
        r.ret = static_cast<int16_t>(BE16(s, 10));
        r.payload = s.substr(12);
        return true;
    }

    bool m_bUdp;
    int m_fd = -1;
    sockaddr_in m_Addr = {};
};

#endif
