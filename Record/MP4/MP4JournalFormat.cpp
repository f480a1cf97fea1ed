#include "Record/MP4/MP4JournalFormat.h"

#include <cstring>

#include "Function/ByteOrder.h"
#include "Function/Crc32.h"

BOOL XMP4JournalPath(const char* videoPath, char* buf, size_t size)
{
    if (videoPath == nullptr || buf == nullptr || size == 0) {
        return 0;
    }
    const std::string path(videoPath);
    const size_t slash = path.rfind('/');
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    if (base >= path.size()) {
        buf[0] = '\0';
        return 0;
    }
    const std::string journal =
        path.substr(0, base) + MP4_JOURNAL_PREFIX + path.substr(base) + MP4_JOURNAL_SUFFIX;
    if (journal.size() >= size) {
        buf[0] = '\0';
        return 0;
    }
    memcpy(buf, journal.c_str(), journal.size() + 1);
    return 1;
}

BOOL XMP4JournalVideoName(const char* journalName, std::string& videoName)
{
    videoName.clear();
    if (journalName == nullptr) {
        return 0;
    }
    const size_t len = strlen(journalName);
    const size_t pre = strlen(MP4_JOURNAL_PREFIX);
    const size_t suf = strlen(MP4_JOURNAL_SUFFIX);
    if (len <= pre + suf || strncmp(journalName, MP4_JOURNAL_PREFIX, pre) != 0 ||
        strcmp(journalName + len - suf, MP4_JOURNAL_SUFFIX) != 0 || strchr(journalName, '/') != nullptr) {
        return 0;
    }
    videoName.assign(journalName + pre, len - pre - suf);
    return 1;
}

BOOL XMP4ReadJournalRecord(const uint8_t* data, size_t len, size_t at, uint32_t number, uint32_t maxPayload,
                           tagMP4JournalRecordView& record, std::string& problem)
{
    typedef tagMP4JournalLimits L;
    const size_t left = at < len ? len - at : 0;
    if (left < L::kRecordHeadBytes + L::kRecordTailBytes) {
        problem = "record " + std::to_string(number) + " cut off";
        return 0;
    }
    const uint8_t* r = data + at;
    const uint32_t payload = XGetBE32(r);
    if (payload > maxPayload || payload > left - L::kRecordHeadBytes - L::kRecordTailBytes) {
        problem = "record " + std::to_string(number) + " cut off or of absurd length " + std::to_string(payload);
        return 0;
    }
    const size_t body = L::kRecordHeadBytes + payload;
    if (crc32(0, r, body) != XGetBE32(r + body)) {
        problem = "record " + std::to_string(number) + " fails its checksum";
        return 0;
    }
    if (r[5] != 0 || r[6] != 0 || r[7] != 0) {
        problem = "record " + std::to_string(number) + " has stray bytes in its head";
        return 0;
    }
    record.type = r[4];
    record.seq = XGetBE32(r + 8);
    record.payload = r + L::kRecordHeadBytes;
    record.length = payload;
    record.next = at + body + L::kRecordTailBytes;
    return 1;
}

void CMP4JournalBuffer::PutHead()
{
    PutBytes(MP4_JOURNAL_MAGIC, 6);
    Put16(MP4_JOURNAL_VERSION);
}

void CMP4JournalBuffer::BeginRecord(uint8_t type, uint32_t seq)
{
    m_RecordStart = m_Bytes.size();
    Put32(0);  // payload length, patched by EndRecord
    Put8(static_cast<uint8_t>(type));
    Put8(0);
    Put8(0);
    Put8(0);
    Put32(seq);
}

void CMP4JournalBuffer::EndRecord()
{
    const size_t payload = m_Bytes.size() - m_RecordStart - tagMP4JournalLimits::kRecordHeadBytes;
    XPutBE32(&m_Bytes[m_RecordStart], static_cast<uint32_t>(payload));
    Put32(crc32(0, &m_Bytes[m_RecordStart], m_Bytes.size() - m_RecordStart));
}

void CMP4JournalBuffer::EndRecordUnsealed()
{
    const size_t payload = m_Bytes.size() - m_RecordStart - tagMP4JournalLimits::kRecordHeadBytes;
    XPutBE32(&m_Bytes[m_RecordStart], static_cast<uint32_t>(payload));
    Put32(0);
    m_Unsealed.push_back(m_RecordStart);
}

void CMP4JournalBuffer::Seal()
{
    for (size_t start : m_Unsealed) {
        const size_t body = tagMP4JournalLimits::kRecordHeadBytes + XGetBE32(&m_Bytes[start]);
        XPutBE32(&m_Bytes[start + body], crc32(0, &m_Bytes[start], body));
    }
    m_Unsealed.clear();
}

void CMP4JournalBuffer::Put16(uint16_t v)
{
    uint8_t b[2];
    XPutBE16(b, v);
    PutBytes(b, sizeof(b));
}

void CMP4JournalBuffer::Put32(uint32_t v)
{
    uint8_t b[4];
    XPutBE32(b, v);
    PutBytes(b, sizeof(b));
}

void CMP4JournalBuffer::Put64(uint64_t v)
{
    uint8_t b[8];
    XPutBE64(b, v);
    PutBytes(b, sizeof(b));
}

void CMP4JournalBuffer::PutBytes(const void* p, size_t n)
{
    const uint8_t* b = static_cast<const uint8_t*>(p);
    m_Bytes.insert(m_Bytes.end(), b, b + n);
}

void CMP4JournalBuffer::PutHeader(const tagMP4JournalHeader& h)
{
    Put8(h.fileType);
    Put8(0);
    Put8(0);
    Put8(0);
    Put32(h.fps);
    Put32(h.timescale);
    Put32(h.width);
    Put32(h.height);
    Put64(h.creationTime);
    auto putUnit = [this](const void* data, size_t len) {
        Put16(static_cast<uint16_t>(len));
        PutBytes(data, len);
    };
    putUnit(h.name.data(), h.name.size());
    putUnit(h.sps.data(), h.sps.size());
    putUnit(h.pps.data(), h.pps.size());
}

void CMP4JournalBuffer::PutEntry(const tagMP4JournalSample& s)
{
    Put8(s.kind);
    Put8(s.flags);
    Put32(s.size);
    Put32(s.duration);
}
