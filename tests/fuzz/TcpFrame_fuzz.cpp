// Fuzzes the app channel's frame reassembler. The first byte picks the form:
// even, the input itself is the stream; odd, the input describes valid
// frames (with junk free of FF before each). Either way the stream is fed in
// chunks whose sizes come from the input too, and the frames delivered must
// be exactly those a plain scan of the whole stream finds; for valid frames,
// exactly the frames built, each once and in order.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "TCPComm/TcpFrame.h"
#include "FuzzCheck.h"

namespace {

typedef std::vector<unsigned char> Bytes;

// Draws from the input; zeros once it runs out.
class CDraw {
public:
    CDraw(const uint8_t* data, size_t size) : m_p(data), m_n(size) {}
    bool Empty() const { return m_n == 0; }
    uint8_t Byte()
    {
        if (m_n == 0) {
            return 0;
        }
        --m_n;
        return *m_p++;
    }
    uint16_t Word()
    {
        const uint16_t hi = Byte();
        return static_cast<uint16_t>((hi << 8) | Byte());
    }

private:
    const uint8_t* m_p;
    size_t m_n;
};

// The frames a plain scan of the whole stream finds.
std::vector<Bytes> XScan(const Bytes& s)
{
    std::vector<Bytes> out;
    size_t i = 0;
    while (i + 1 < s.size()) {
        if (s[i] != 0xFF || s[i + 1] != 0xF0) {
            ++i;
            continue;
        }
        if (i + TCP_FRAME_HEAD_LEN > s.size()) {
            break;
        }
        const size_t paralen = (static_cast<size_t>(s[i + 10]) << 8) | s[i + 11];
        if (paralen > TCP_FRAME_MAX_PARALEN) {
            i += 2;
            continue;
        }
        const size_t len = TCP_FRAME_HEAD_LEN + paralen;
        if (i + len > s.size()) {
            break;
        }
        out.emplace_back(s.begin() + static_cast<long>(i), s.begin() + static_cast<long>(i + len));
        i += len;
    }
    return out;
}

// Feeds the stream in chunks whose sizes the draw gives; checks every frame
// on the way and returns their bytes.
std::vector<Bytes> XFeed(const Bytes& s, CDraw& cuts)
{
    CTcpFrameReader reader;
    std::vector<Bytes> got;
    const CTcpFrameReader::FrameFn fn = [&got](const tagTcpFrame& f) {
        CHECK(f.bytes[0] == 0xFF && f.bytes[1] == 0xF0);
        CHECK(f.paralen <= TCP_FRAME_MAX_PARALEN);
        CHECK(f.parameter == f.bytes + TCP_FRAME_HEAD_LEN);
        CHECK(f.parameter[f.paralen] == '\0');
        const uint32_t cmd = (static_cast<uint32_t>(f.bytes[6]) << 24) |
                             (static_cast<uint32_t>(f.bytes[7]) << 16) |
                             (static_cast<uint32_t>(f.bytes[8]) << 8) | f.bytes[9];
        CHECK(f.command == cmd);
        CHECK(f.paralen == ((f.bytes[10] << 8) | f.bytes[11]));
        got.emplace_back(f.bytes, f.bytes + TCP_FRAME_HEAD_LEN + f.paralen);
        return true;
    };
    size_t pos = 0;
    while (pos < s.size()) {
        // Mostly small cuts, now and then a large one.
        const uint8_t c = cuts.Byte();
        size_t n = (c & 0x80) ? (static_cast<size_t>(c & 0x7F) << 5) + 1 : static_cast<size_t>(c) + 1;
        if (n > s.size() - pos) {
            n = s.size() - pos;
        }
        CHECK(reader.Feed(s.data() + pos, n, fn));
        CHECK(reader.Pending() <= TCP_FRAME_MAX_LEN);
        pos += n;
    }
    return got;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    CDraw draw(data + 1, size - 1);
    Bytes stream;
    std::vector<Bytes> built;
    const bool valid = (data[0] & 1) != 0;
    if (!valid) {
        // The cut sizes come from the stream's own bytes, read backwards.
        stream.assign(data + 1, data + size);
        Bytes rev(stream.rbegin(), stream.rend());
        CDraw cuts(rev.data(), rev.size());
        const std::vector<Bytes> got = XFeed(stream, cuts);
        CHECK(got == XScan(stream));
        return 0;
    }
    // Frames: junk length, command, parameter length (mostly short), fill.
    Bytes cutBytes;
    for (int k = 0; k < 64 && !draw.Empty(); ++k) {
        const uint8_t junk = draw.Byte() & 0x0F;
        for (uint8_t j = 0; j < junk; ++j) {
            const uint8_t b = draw.Byte();
            stream.push_back(b == 0xFF ? 0xFE : b);
        }
        const uint32_t cmd = (static_cast<uint32_t>(draw.Word()) << 16) | draw.Word();
        const uint16_t w = draw.Word();
        const size_t paralen = (w & 0x8000) ? (w & 0x7FFF) % (TCP_FRAME_MAX_PARALEN + 1) : (w & 0x3F);
        Bytes param(paralen);
        const uint8_t seed = draw.Byte();
        for (size_t j = 0; j < paralen; ++j) {
            // Parameters may hold FF F0 themselves.
            param[j] = static_cast<unsigned char>((j % 7 == 3) ? 0xFF : (j % 7 == 4) ? 0xF0 : seed + j);
        }
        unsigned char buf[TCP_FRAME_MAX_LEN];
        const int len = XBuildFrame(buf, sizeof buf, cmd, param.data(), paralen);
        CHECK(len == static_cast<int>(TCP_FRAME_HEAD_LEN + paralen));
        built.emplace_back(buf, buf + len);
        stream.insert(stream.end(), buf, buf + len);
        cutBytes.push_back(draw.Byte());
        cutBytes.push_back(draw.Byte());
    }
    CDraw cuts(cutBytes.data(), cutBytes.size());
    const std::vector<Bytes> got = XFeed(stream, cuts);
    CHECK(got == built);
    CHECK(XScan(stream) == built);
    return 0;
}
