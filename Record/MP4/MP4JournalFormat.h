#ifndef RECORD_MP4_MP4JOURNALFORMAT_H
#define RECORD_MP4_MP4JOURNALFORMAT_H

// The recovery journal kept on the card beside a video while it is recorded:
// what the sample tables, the private box and the final name of the video
// need, so that the card scan can finish a file cut off by a power loss.
//
// Layout, every integer big-endian:
//   file head   8 bytes: "MP4JRN", version (16 bits)
//   records     payload length L (32), type (8), 3 zero bytes, sequence
//               number (32, 0 for the first record, then +1), L payload
//               bytes, CRC-32 of everything before it in the record (32).
// The first record is the header; the others follow in the order written.
// A record that is cut, fails its CRC or breaks the sequence ends the
// journal: what came before it stays good.
//
// Record payloads:
//   header   file type (8: 0 loop, 1 alarm), 3 zero bytes, frame rate,
//            video timescale, width, height (32 each), creation time (64,
//            seconds since 1904), name length (16) + bare video name,
//            SPS length (16) + SPS, PPS length (16) + PPS
//   samples  file offset of the first sample (64), entry count (32), then
//            per entry: kind (8), flags (8), size (32), duration (32).
//            Samples of a record lie back to back from that offset; lost
//            time takes no bytes.
//   alarm    trigger mask (32), record count (32), the snapshot records in
//            list order, 73 bytes each as in the skip box
//   names    resolution flag (16: 720 or 1080), parking (8), 1 zero byte,
//            title image index in /tmp (32, signed; -1 none)
//   reached  where the samples so far leave the engine's packet sequence
//            (RingBuffer.h): every packet numbered up to the first value
//            (64) is in the file or was dropped, and so is every video
//            packet up to the second (64); audio after the first value was
//            still held by the writer. Written after the samples it counts;
//            one before any sample says where the video begins (its first
//            packet is the one after both values).
// The head of an alarm file's journal is followed by its alarm record at
// once, and by that first reached record when the engine gave the number.
// The last alarm, names and reached records count.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Function/ByteOrder.h"
#include "Function/types.h"

#define MP4_JOURNAL_MAGIC "MP4JRN"
#define MP4_JOURNAL_VERSION 1
// The journal of video DIR/NAME is DIR/.NAME.jnl.
#define MP4_JOURNAL_PREFIX "."
#define MP4_JOURNAL_SUFFIX ".jnl"

enum emMP4JournalRecord {
    emMP4JournalRecord_Header = 1,
    emMP4JournalRecord_Samples = 2,
    emMP4JournalRecord_Alarm = 3,
    emMP4JournalRecord_Names = 4,
    emMP4JournalRecord_Reached = 5,
};

enum emMP4JournalEntry {
    emMP4JournalEntry_Video = 0,
    emMP4JournalEntry_Audio = 1,
    emMP4JournalEntry_VideoLost = 2,  // time of lost video samples added to the last one
    emMP4JournalEntry_AudioLost = 3,
};

// Entry flags: the sample starts a chunk (and, for video, is a key frame);
// the next video sample is forced to start a chunk.
#define MP4_JOURNAL_FLAG_KEY 0x01
#define MP4_JOURNAL_FLAG_FORCE_CHUNK 0x02

struct tagMP4JournalLimits {
    static constexpr size_t kHeadBytes = 8;
    static constexpr size_t kRecordHeadBytes = 12;
    static constexpr size_t kRecordTailBytes = 4;
    static constexpr size_t kEntryBytes = 10;
    static constexpr size_t kSamplesHeadBytes = 12;
    static constexpr size_t kSnapshotBytes = 73;
    // Largest payload of one record.
    static constexpr uint32_t kMaxPayload = 1u << 20;
    // Largest journal read back (a 256 s file at 240 fps needs under 1 MiB).
    static constexpr size_t kMaxJournalBytes = 8u << 20;
    static constexpr int kMaxFps = 240;
    static constexpr uint32_t kMaxPictureSide = 8192;
};

// One entry as the writer queues it and the reader gives it back.
struct tagMP4JournalSample {
    uint64_t offset;  // file offset (0 for lost time)
    uint32_t size;
    uint32_t duration;
    uint8_t kind;     // emMP4JournalEntry
    uint8_t flags;
};

// The header record's fields.
struct tagMP4JournalHeader {
    uint8_t fileType;  // emRecordFileType
    uint32_t fps;
    uint32_t timescale;
    uint32_t width;
    uint32_t height;
    uint64_t creationTime;
    std::string name;  // bare video name
    std::vector<uint8_t> sps;
    std::vector<uint8_t> pps;
};

// DIR/.NAME.jnl for the video path DIR/NAME; 0 when it does not fit `size`.
BOOL XMP4JournalPath(const char* videoPath, char* buf, size_t size);
// The video name of a journal's bare name (".NAME.jnl" gives NAME); 0 for
// any other name.
BOOL XMP4JournalVideoName(const char* journalName, std::string& videoName);

// One framed record read back: its type, sequence number and payload.
struct tagMP4JournalRecordView {
    uint8_t type;
    uint32_t seq;
    const uint8_t* payload;
    uint32_t length;
    size_t next;  // offset of the record after it
};

// The record at `at` of [data, data + len) when it is whole, within
// `maxPayload`, has its zero bytes and passes its CRC; otherwise 0 with the
// reason (naming the record `number`) in `problem`.
BOOL XMP4ReadJournalRecord(const uint8_t* data, size_t len, size_t at, uint32_t number, uint32_t maxPayload,
                           tagMP4JournalRecordView& record, std::string& problem);

// A bounded reader over one record payload: the caller checks Has before
// every Get.
class CMP4PayloadReader {
public:
    CMP4PayloadReader(const uint8_t* p, size_t n) : m_p(p), m_n(n) {}
    bool Has(size_t n) const { return n <= m_n - m_at; }
    size_t Left() const { return m_n - m_at; }
    bool Done() const { return m_at == m_n; }
    uint8_t Get8() { return m_p[m_at++]; }
    uint16_t Get16()
    {
        const uint16_t v = XGetBE16(m_p + m_at);
        m_at += 2;
        return v;
    }
    uint32_t Get32()
    {
        const uint32_t v = XGetBE32(m_p + m_at);
        m_at += 4;
        return v;
    }
    uint64_t Get64()
    {
        const uint64_t hi = Get32();
        return (hi << 32) | Get32();
    }
    const uint8_t* Take(size_t n)
    {
        const uint8_t* p = m_p + m_at;
        m_at += n;
        return p;
    }
    // A 16-bit length and that many bytes, at most `max`.
    bool GetUnit(size_t min, size_t max, std::vector<uint8_t>& out)
    {
        if (!Has(2)) {
            return false;
        }
        const size_t len = Get16();
        if (len < min || len > max || !Has(len)) {
            return false;
        }
        const uint8_t* p = Take(len);
        out.assign(p, p + len);
        return true;
    }

private:
    const uint8_t* m_p;
    size_t m_n;
    size_t m_at = 0;
};

// Appends journal bytes: big-endian fields and framed, checksummed records.
class CMP4JournalBuffer {
public:
    void PutHead();
    // Starts a record; every Put until EndRecord is its payload.
    void BeginRecord(uint8_t type, uint32_t seq);
    void EndRecord();
    // Ends a record leaving room for its CRC, which Seal computes later
    // (the record's bytes are copied under a lock, checksummed off it).
    void EndRecordUnsealed();
    void Seal();
    void Put8(uint8_t v) { m_Bytes.push_back(v); }
    void Put16(uint16_t v);
    void Put32(uint32_t v);
    void Put64(uint64_t v);
    void PutBytes(const void* p, size_t n);
    void PutHeader(const tagMP4JournalHeader& h);
    void PutEntry(const tagMP4JournalSample& s);

    const std::vector<uint8_t>& Bytes() const { return m_Bytes; }
    std::vector<uint8_t>& Bytes() { return m_Bytes; }
    void Clear()
    {
        m_Bytes.clear();
        m_Unsealed.clear();
    }

private:
    std::vector<uint8_t> m_Bytes;
    size_t m_RecordStart = 0;
    std::vector<size_t> m_Unsealed;  // starts of the records Seal checksums
};

#endif
