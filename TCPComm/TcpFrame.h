#ifndef TCPCOMM_TCPFRAME_H
#define TCPCOMM_TCPFRAME_H

#include <cstddef>
#include <cstdint>
#include <functional>

// Frames of the app channel: FF F0, checksum, version 0x0100, command,
// parameter length, parameter; every field big-endian.
enum {
    TCP_FRAME_HEAD_LEN = 12,
    TCP_FRAME_MAX_LEN = 2048,
    // A frame is at most 2048 bytes: the largest parameter a head may declare.
    TCP_FRAME_MAX_PARALEN = TCP_FRAME_MAX_LEN - TCP_FRAME_HEAD_LEN,
    TCP_FRAME_VERSION = 0x0100,
};

// Low 16 bits of the byte sum of version, command and paralen in wire
// order and of the parameter bytes.
uint16_t makechecksum(uint16_t version, uint32_t command, uint16_t paralen,
                      const unsigned char* parameter);

// Writes one frame into buf (room for 12 + paralen bytes); returns 12 + paralen.
int make_protocol_cmd(unsigned char* buf, uint16_t checksum, uint32_t cmd, uint16_t paralen,
                      const unsigned char* param);

// A whole frame with version 0x0100 and its checksum; returns its length, or
// 0 when it does not fit `size` (or 2048) bytes.
int XBuildFrame(unsigned char* buf, size_t size, uint32_t cmd, const unsigned char* param,
                size_t paralen);

struct tagTcpFrame {
    uint32_t command;
    uint16_t paralen;
    // The head and parameter as received, with a NUL after the parameter.
    const unsigned char* bytes;
    const unsigned char* parameter;
};

// Reassembles frames from the bytes of one connection, whatever the cuts.
// Bytes before FF F0 are skipped; a head declaring more than 2036 parameter
// bytes is dropped and the scan goes on right after its FF F0.
class CTcpFrameReader {
public:
    // Called once per whole frame, in order; returning false stops the feed
    // (the remaining bytes are kept).
    typedef std::function<bool(const tagTcpFrame&)> FrameFn;

    // Feeds bytes; returns false when the callback stopped it.
    bool Feed(const unsigned char* data, size_t len, const FrameFn& fn);
    void Reset();
    size_t Pending() const { return m_len; }

private:
    // Runs the frames in m_buf; false when stopped.
    bool Drain(const FrameFn& fn);

    unsigned char m_buf[TCP_FRAME_MAX_LEN + 1] = {};
    size_t m_len = 0;
};

#endif
