#include "Record/MP4/AssociatedDataReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "Function/ByteOrder.h"
#include "Function/RecTime.h"
#include "Function/common.h"
#include "Record/Index/RecordFileName.h"
#include "Record/MP4/MP4BoxHeader.h"
#include "Record/MP4/MP4SkipBox.h"

namespace {

// The records read so far, given back to the pool unless released.
class CRecordChain {
public:
    ~CRecordChain() { XPutAssociatedDataList(m_lpHead); }
    CRecordChain() = default;
    CRecordChain(const CRecordChain&) = delete;
    CRecordChain& operator=(const CRecordChain&) = delete;

    bool Append(const uint8_t* rec)
    {
        CAssociatedDataManager* pool = CAssociatedDataManager::instance();
        CAssociatedData* d = pool != nullptr ? pool->GetNode() : nullptr;
        if (d == nullptr) {
            return false;
        }
        const uint32_t index = XGetBE32(rec + 5);
        if (index > static_cast<uint32_t>(RECORD_MAX_NAME_INDEX)) {
            pool->PutNode(d);
            return false;
        }
        RECTIME t;
        t.value = XGetBE32(rec + 1);
        d->SetRecType(static_cast<char>(rec[0]));
        d->SetRecTime(t);
        d->SetRecIndex(static_cast<int>(index));
        d->SetGPSPosition(reinterpret_cast<const char*>(rec + 9), CAssociatedData::kGPSPositionSize);
        d->SetNext(nullptr);
        if (m_lpTail != nullptr) {
            m_lpTail->SetNext(d);
        } else {
            m_lpHead = d;
        }
        m_lpTail = d;
        ++m_nCount;
        return true;
    }
    uint32_t Count() const { return m_nCount; }
    CAssociatedData* Release()
    {
        CAssociatedData* head = m_lpHead;
        m_lpHead = nullptr;
        m_lpTail = nullptr;
        return head;
    }

private:
    CAssociatedData* m_lpHead = nullptr;
    CAssociatedData* m_lpTail = nullptr;
    uint32_t m_nCount = 0;
};

// Bytes of an asct entry: type letter, RECTIME, index, position text.
static_assert(MP4_ASCT_RECORD_SIZE == 1 + 4 + 4 + CAssociatedData::kGPSPositionSize, "asct entry layout");

// The children of a skip box payload.
bool XParseSkipPayload(const uint8_t* data, uint64_t len, uint32_t& trigger, CRecordChain& records)
{
    uint64_t off = 0;
    while (off < len) {
        if (len - off < 8) {
            return false;
        }
        const uint64_t size = XGetBE32(data + off);
        const uint8_t* type = data + off + 4;
        if (size < 8 || size > len - off || size - 8 < 8) {
            return false;
        }
        const uint8_t* payload = data + off + 8;
        const uint64_t payloadLen = size - 8;
        if (memcmp(type, "altg", 4) == 0) {
            if (payloadLen != 8) {
                return false;
            }
            trigger = XGetBE32(payload + 4);
        } else if (memcmp(type, "asct", 4) == 0) {
            const uint64_t count = XGetBE32(payload + 4);
            if (payloadLen - 8 != count * MP4_ASCT_RECORD_SIZE) {
                return false;
            }
            for (uint64_t i = 0; i < count; ++i) {
                if (records.Count() >= CAssociatedDataReader::kMaxRecords) {
                    break;
                }
                if (!records.Append(payload + 8 + i * MP4_ASCT_RECORD_SIZE)) {
                    return false;
                }
            }
        }
        off += size;
    }
    return true;
}

}  // namespace

BOOL CAssociatedDataReader::DecodeRecords(const uint8_t* data, uint32_t count, CAssociatedData** list)
{
    *list = nullptr;
    CRecordChain records;
    for (uint32_t i = 0; i < count && records.Count() < kMaxRecords; ++i) {
        if (!records.Append(data + static_cast<size_t>(i) * MP4_ASCT_RECORD_SIZE)) {
            return 0;
        }
    }
    *list = records.Release();
    return 1;
}

BOOL CAssociatedDataReader::GetAlarmVideoFileAssociatedData(const char* path, uint32_t* trigger,
                                                            CAssociatedData** list)
{
    if (trigger != nullptr) {
        *trigger = 0;
    }
    if (list != nullptr) {
        *list = nullptr;
    }
    if (path == nullptr || trigger == nullptr || list == nullptr) {
        return 0;
    }
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    CFdCloser closer(fd);
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return 0;
    }
    const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    uint64_t pos = 0;
    for (uint32_t boxes = 0; boxes < kMaxTopBoxes && fileSize - pos >= 8; ++boxes) {
        tagMP4BoxHeader box;
        if (!XMP4ReadBoxHeader(fd, pos, fileSize, box)) {
            return 0;
        }
        const uint64_t size = box.size;
        const uint64_t header = box.header;
        if (memcmp(box.type, "moov", 4) == 0) {
            return 0;  // the skip box is written before the movie box
        }
        if (memcmp(box.type, "skip", 4) != 0) {
            pos += size;
            continue;
        }
        const uint64_t payloadLen = size - header;
        if (payloadLen > kMaxSkipPayload) {
            return 0;
        }
        std::vector<uint8_t> payload(static_cast<size_t>(payloadLen));
        if (payloadLen > 0 && !XReadAt(fd, pos + header, payload.data(), payload.size())) {
            return 0;
        }
        uint32_t mask = 0;
        CRecordChain records;
        if (!XParseSkipPayload(payload.data(), payloadLen, mask, records)) {
            return 0;
        }
        *trigger = mask;
        *list = records.Release();
        return 1;
    }
    return 0;
}
