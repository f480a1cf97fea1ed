#include "TCPComm/TcpFrame.h"

#include <string.h>

#include "Function/ByteOrder.h"

uint16_t makechecksum(uint16_t version, uint32_t command, uint16_t paralen,
                      const unsigned char* parameter)
{
    unsigned char head[8];
    XPutBE16(head, version);
    XPutBE32(head + 2, command);
    XPutBE16(head + 6, paralen);
    uint32_t sum = 0;
    for (unsigned char b : head) {
        sum += b;
    }
    for (uint16_t i = 0; parameter != nullptr && i < paralen; ++i) {
        sum += parameter[i];
    }
    return static_cast<uint16_t>(sum);
}

int make_protocol_cmd(unsigned char* buf, uint16_t checksum, uint32_t cmd, uint16_t paralen,
                      const unsigned char* param)
{
    buf[0] = 0xFF;
    buf[1] = 0xF0;
    XPutBE16(buf + 2, checksum);
    XPutBE16(buf + 4, TCP_FRAME_VERSION);
    XPutBE32(buf + 6, cmd);
    XPutBE16(buf + 10, paralen);
    if (paralen > 0 && param != nullptr) {
        memcpy(buf + TCP_FRAME_HEAD_LEN, param, paralen);
    }
    return TCP_FRAME_HEAD_LEN + paralen;
}

int XBuildFrame(unsigned char* buf, size_t size, uint32_t cmd, const unsigned char* param,
                size_t paralen)
{
    if (paralen > TCP_FRAME_MAX_PARALEN || TCP_FRAME_HEAD_LEN + paralen > size) {
        return 0;
    }
    const uint16_t len = static_cast<uint16_t>(paralen);
    return make_protocol_cmd(buf, makechecksum(TCP_FRAME_VERSION, cmd, len, param), cmd, len,
                             param);
}

void CTcpFrameReader::Reset()
{
    m_len = 0;
}

bool CTcpFrameReader::Feed(const unsigned char* data, size_t len, const FrameFn& fn)
{
    while (len > 0) {
        const size_t room = TCP_FRAME_MAX_LEN - m_len;
        const size_t n = len < room ? len : room;
        memcpy(m_buf + m_len, data, n);
        m_len += n;
        data += n;
        len -= n;
        if (!Drain(fn)) {
            // The connection ends: the rest is not needed.
            return false;
        }
    }
    return true;
}

bool CTcpFrameReader::Drain(const FrameFn& fn)
{
    size_t pos = 0;
    bool go = true;
    while (go) {
        // Find FF F0.
        while (pos < m_len && !(m_buf[pos] == 0xFF && (pos + 1 == m_len || m_buf[pos + 1] == 0xF0))) {
            ++pos;
        }
        if (pos + TCP_FRAME_HEAD_LEN > m_len) {
            break;  // a head not yet whole (or a lone FF at the end)
        }
        const unsigned char* head = m_buf + pos;
        const size_t paralen = (static_cast<size_t>(head[10]) << 8) | head[11];
        if (paralen > TCP_FRAME_MAX_PARALEN) {
            pos += 2;  // not a frame this channel carries
            continue;
        }
        if (pos + TCP_FRAME_HEAD_LEN + paralen > m_len) {
            break;
        }
        // Run it from a copy with a NUL after the parameter.
        unsigned char frame[TCP_FRAME_MAX_LEN + 1];
        memcpy(frame, head, TCP_FRAME_HEAD_LEN + paralen);
        frame[TCP_FRAME_HEAD_LEN + paralen] = '\0';
        pos += TCP_FRAME_HEAD_LEN + paralen;
        tagTcpFrame f;
        f.command = XGetBE32(frame + 6);
        f.paralen = static_cast<uint16_t>(paralen);
        f.bytes = frame;
        f.parameter = frame + TCP_FRAME_HEAD_LEN;
        go = fn(f);
    }
    memmove(m_buf, m_buf + pos, m_len - pos);
    m_len -= pos;
    return go;
}
