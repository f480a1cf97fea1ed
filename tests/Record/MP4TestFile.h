#ifndef TESTS_RECORD_MP4TESTFILE_H
#define TESTS_RECORD_MP4TESTFILE_H

// Test-side helpers for the MP4 writer tests: a scratch folder, whole-file
// reads, big-endian readers and a small box reader of its own.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

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

}  // namespace mp4test

#endif
