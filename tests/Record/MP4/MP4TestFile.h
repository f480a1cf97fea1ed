#ifndef TESTS_RECORD_MP4_MP4TESTFILE_H
#define TESTS_RECORD_MP4_MP4TESTFILE_H

// Test-side helpers for the MP4 writer tests: a scratch folder, whole-file
// reads, big-endian readers and a small box reader of its own.

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "Record/MP4/MP4Muxer.h"
#include "Record/MP4/MP4Types.h"

namespace mp4test {

// A fresh folder under /tmp, removed with its contents at the end.
class CScratchDir {
public:
    CScratchDir()
    {
        char tmpl[] = "/tmp/dashcam-mp4-XXXXXX";
        if (mkdtemp(tmpl) != nullptr) {
            m_strPath = tmpl;
        }
    }
    ~CScratchDir()
    {
        if (!m_strPath.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(m_strPath, ec);
        }
    }
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;
    const std::string& Path() const { return m_strPath; }
    std::string operator/(const std::string& name) const { return m_strPath + "/" + name; }

private:
    std::string m_strPath;
};

inline std::vector<uint8_t> XReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Bytes [offset, offset + size) of a file (for files too big to read whole).
inline std::vector<uint8_t> XReadRange(const std::string& path, uint64_t offset, size_t size)
{
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<uint8_t> out(size);
    in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(size));
    out.resize(static_cast<size_t>(in.gcount()));
    return out;
}

inline uint16_t XBE16(const std::vector<uint8_t>& b, size_t at)
{
    return static_cast<uint16_t>((b.at(at) << 8) | b.at(at + 1));
}
inline uint32_t XBE32(const std::vector<uint8_t>& b, size_t at)
{
    return (static_cast<uint32_t>(b.at(at)) << 24) | (static_cast<uint32_t>(b.at(at + 1)) << 16) |
           (static_cast<uint32_t>(b.at(at + 2)) << 8) | b.at(at + 3);
}
inline uint64_t XBE64(const std::vector<uint8_t>& b, size_t at)
{
    return (static_cast<uint64_t>(XBE32(b, at)) << 32) | XBE32(b, at + 4);
}
inline std::string XFourCC(const std::vector<uint8_t>& b, size_t at)
{
    return std::string(reinterpret_cast<const char*>(&b.at(at)), 4);
}

// Expected bytes, built field by field.
class CBytes {
public:
    CBytes& u8(uint32_t v)
    {
        m_Data.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    CBytes& u16(uint32_t v) { return u8(v >> 8).u8(v); }
    CBytes& u24(uint32_t v) { return u8(v >> 16).u8(v >> 8).u8(v); }
    CBytes& u32(uint32_t v) { return u16(v >> 16).u16(v); }
    CBytes& u64(uint64_t v) { return u32(static_cast<uint32_t>(v >> 32)).u32(static_cast<uint32_t>(v)); }
    CBytes& tag(const char* t)
    {
        m_Data.insert(m_Data.end(), t, t + 4);
        return *this;
    }
    CBytes& raw(const std::vector<uint8_t>& v)
    {
        m_Data.insert(m_Data.end(), v.begin(), v.end());
        return *this;
    }
    CBytes& zeros(size_t n)
    {
        m_Data.insert(m_Data.end(), n, 0);
        return *this;
    }
    const std::vector<uint8_t>& Data() const { return m_Data; }

private:
    std::vector<uint8_t> m_Data;
};

// One box found in a buffer.
struct tagBox {
    size_t offset = 0;   // of the box header
    uint64_t size = 0;   // whole box
    size_t header = 8;   // 8, or 16 with a large size
    std::string type;
    bool found = false;
};

// The boxes directly inside [begin, end).
inline std::vector<tagBox> XChildren(const std::vector<uint8_t>& b, size_t begin, size_t end)
{
    std::vector<tagBox> out;
    size_t at = begin;
    while (at + 8 <= end) {
        tagBox box;
        box.offset = at;
        box.size = XBE32(b, at);
        box.type = XFourCC(b, at + 4);
        box.found = true;
        if (box.size == 1) {
            box.size = XBE64(b, at + 8);
            box.header = 16;
        }
        if (box.size < box.header || at + box.size > end) {
            break;
        }
        out.push_back(box);
        at += static_cast<size_t>(box.size);
    }
    return out;
}

// The box at a path such as "moov/trak[1]/mdia/minf/stbl/stts" (index
// counts boxes of that type among siblings). `found` is false when absent.
// Container boxes with a fixed prefix before their children: stsd (8 bytes),
// avc1 (78), mp4a (28).
inline tagBox XFindBox(const std::vector<uint8_t>& b, const std::string& path)
{
    size_t begin = 0;
    size_t end = b.size();
    tagBox cur;
    std::stringstream ss(path);
    std::string part;
    while (std::getline(ss, part, '/')) {
        int index = 0;
        size_t br = part.find('[');
        if (br != std::string::npos) {
            index = std::stoi(part.substr(br + 1));
            part = part.substr(0, br);
        }
        tagBox hit;
        for (const tagBox& c : XChildren(b, begin, end)) {
            if (c.type == part && index-- == 0) {
                hit = c;
                break;
            }
        }
        if (!hit.found) {
            return tagBox();
        }
        cur = hit;
        size_t skip = 0;
        if (hit.type == "stsd") {
            skip = 8;
        } else if (hit.type == "avc1") {
            skip = 78;
        } else if (hit.type == "mp4a") {
            skip = 28;
        }
        begin = hit.offset + hit.header + skip;
        end = hit.offset + static_cast<size_t>(hit.size);
    }
    return cur;
}

// The whole box as bytes.
inline std::vector<uint8_t> XBoxBytes(const std::vector<uint8_t>& b, const tagBox& box)
{
    if (!box.found) {
        return {};
    }
    return std::vector<uint8_t>(b.begin() + static_cast<std::ptrdiff_t>(box.offset),
                                b.begin() + static_cast<std::ptrdiff_t>(box.offset + box.size));
}

// Fake parameter sets for box-level tests (profile 0x42, constraints 0xC0, level 0x1E).
inline tagH264SPSPPS XTestSpsPps()
{
    tagH264SPSPPS v;
    memset(&v, 0, sizeof(v));
    const uint8_t sps[] = {0x67, 0x42, 0xC0, 0x1E, 0xDA, 0x02, 0x80, 0xBF, 0xE5};
    const uint8_t pps[] = {0x68, 0xCE, 0x3C, 0x80};
    memcpy(v.sps, sps, sizeof(sps));
    v.sps_len = sizeof(sps);
    memcpy(v.pps, pps, sizeof(pps));
    v.pps_len = sizeof(pps);
    return v;
}

// A sample whose first bytes name it: track letter and number, so a test can
// check that every chunk offset points at the right sample.
inline std::vector<uint8_t> XMarkedSample(char track, uint32_t index, uint32_t size)
{
    std::vector<uint8_t> s(size, static_cast<uint8_t>(index * 31u + 7u));
    const uint8_t head[5] = {static_cast<uint8_t>(track), static_cast<uint8_t>(index >> 24),
                             static_cast<uint8_t>(index >> 16), static_cast<uint8_t>(index >> 8),
                             static_cast<uint8_t>(index)};
    for (size_t i = 0; i < 5 && i < size; ++i) {
        s[i] = head[i];
    }
    return s;
}

// A muxer opened on `path` with the recorder's track set-up: H.264 at
// `videoTimescale`, AAC 8000 Hz mono with the config 0x15 0x88.
inline bool XOpenTestMuxer(CMP4Muxer& mux, const std::string& path, uint32_t videoTimescale = 90000,
                           uint32_t maxVideo = 8192, uint32_t maxAudio = 12800)
{
    static const uint8_t kAsc[2] = {0x15, 0x88};
    tagH264SPSPPS vos = XTestSpsPps();
    return mux.Init(maxVideo, maxAudio, 1048576) && mux.WriteHeader(path.c_str()) &&
           mux.AddVideoTrack(emAVMediaCodecType_H264, videoTimescale, 1920, 1080) &&
           mux.SetVideoVosData(&vos, sizeof(vos)) && mux.AddAudioTrack(emAVMediaCodecType_AAC, 8000, 1, 16, 0) &&
           mux.SetAudioVosData(kAsc, sizeof(kAsc));
}

// Reads the 32-bit entries of a full box's table: `skip` bytes after the
// version/flags word, then `count` words from there.
inline std::vector<uint32_t> XBoxWords(const std::vector<uint8_t>& b, const tagBox& box, size_t skip)
{
    std::vector<uint32_t> out;
    if (!box.found) {
        return out;
    }
    for (size_t at = box.offset + 12 + skip; at + 4 <= box.offset + box.size; at += 4) {
        out.push_back(XBE32(b, at));
    }
    return out;
}

// One sample as the tables place it.
struct tagSampleRef {
    uint64_t offset;
    uint32_t size;
};

// Every sample of trak `trak` (0-based) from its stsc, stsz and stco/co64.
inline std::vector<tagSampleRef> XSampleMap(const std::vector<uint8_t>& b, int trak)
{
    const std::string stbl = "moov/trak[" + std::to_string(trak) + "]/mdia/minf/stbl/";
    std::vector<tagSampleRef> out;
    tagBox stsz = XFindBox(b, stbl + "stsz");
    tagBox stsc = XFindBox(b, stbl + "stsc");
    tagBox stco = XFindBox(b, stbl + "stco");
    tagBox co64 = XFindBox(b, stbl + "co64");
    if (!stsz.found || !stsc.found || (!stco.found && !co64.found)) {
        return out;
    }
    const uint32_t fixed = XBE32(b, stsz.offset + 12);
    const uint32_t count = XBE32(b, stsz.offset + 16);
    std::vector<uint64_t> chunks;
    const tagBox& co = stco.found ? stco : co64;
    const uint32_t nChunks = XBE32(b, co.offset + 12);
    for (uint32_t i = 0; i < nChunks; ++i) {
        chunks.push_back(stco.found ? XBE32(b, co.offset + 16 + 4 * i) : XBE64(b, co.offset + 16 + 8 * i));
    }
    const uint32_t nEntries = XBE32(b, stsc.offset + 12);
    uint32_t sample = 0;
    for (uint32_t c = 0; c < nChunks; ++c) {
        uint32_t perChunk = 0;
        for (uint32_t e = 0; e < nEntries; ++e) {
            if (XBE32(b, stsc.offset + 16 + 12 * e) <= c + 1) {
                perChunk = XBE32(b, stsc.offset + 20 + 12 * e);
            }
        }
        uint64_t at = chunks[c];
        for (uint32_t k = 0; k < perChunk && sample < count; ++k, ++sample) {
            uint32_t size = fixed != 0 ? fixed : XBE32(b, stsz.offset + 20 + 4 * sample);
            out.push_back({at, size});
            at += size;
        }
    }
    return out;
}

// Samples per chunk, from stsc and the chunk count.
inline std::vector<uint32_t> XChunkSamples(const std::vector<uint8_t>& b, int trak)
{
    const std::string stbl = "moov/trak[" + std::to_string(trak) + "]/mdia/minf/stbl/";
    tagBox stsc = XFindBox(b, stbl + "stsc");
    tagBox co = XFindBox(b, stbl + "stco");
    if (!co.found) {
        co = XFindBox(b, stbl + "co64");
    }
    std::vector<uint32_t> out;
    if (!stsc.found || !co.found) {
        return out;
    }
    const uint32_t nChunks = XBE32(b, co.offset + 12);
    const uint32_t nEntries = XBE32(b, stsc.offset + 12);
    for (uint32_t c = 1; c <= nChunks; ++c) {
        uint32_t perChunk = 0;
        for (uint32_t e = 0; e < nEntries; ++e) {
            if (XBE32(b, stsc.offset + 16 + 12 * e) <= c) {
                perChunk = XBE32(b, stsc.offset + 20 + 12 * e);
            }
        }
        out.push_back(perChunk);
    }
    return out;
}

// Writes `head`, then `bytes` bytes of 8-byte "free" boxes, then `tail`: a
// file whose top level holds millions of boxes. false when it is not
// written whole.
inline bool XWriteTinyBoxFile(const std::string& path, const std::vector<uint8_t>& head, uint64_t bytes,
                              const std::vector<uint8_t>& tail)
{
    std::vector<uint8_t> block = CBytes().u32(8).tag("free").Data();
    while (block.size() < (1u << 20)) {
        block.insert(block.end(), block.begin(), block.end());
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
    for (uint64_t left = bytes - bytes % 8; left > 0;) {
        const size_t n = left < block.size() ? static_cast<size_t>(left) : block.size();
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
        left -= n;
    }
    out.write(reinterpret_cast<const char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
    out.close();
    return !out.fail();
}

}  // namespace mp4test

// Files of this process cannot grow past `limit` bytes while it lives.
class CFileSizeLimit {
public:
    explicit CFileSizeLimit(rlim_t limit)
    {
        m_OldHandler = signal(SIGXFSZ, SIG_IGN);
        m_bOk = getrlimit(RLIMIT_FSIZE, &m_Old) == 0;
        struct rlimit small = m_Old;
        small.rlim_cur = limit;
        m_bOk = m_bOk && setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~CFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_Old);
        signal(SIGXFSZ, m_OldHandler);
    }
    bool Ok() const { return m_bOk; }

private:
    struct rlimit m_Old;
    void (*m_OldHandler)(int);
    bool m_bOk;
};

#endif
