#ifndef RECORD_INDEX_ASSOCIATEDDATA_H
#define RECORD_INDEX_ASSOCIATEDDATA_H

#include <cstddef>

#include "Function/RecTime.h"
#include "Function/types.h"
#include "Record/Index/PoolInstance.h"

// One snapshot taken during an alarm video: the image's type letter, time and
// collision index, and the GPS text it carried. Records come from
// CAssociatedDataManager and are chained through their next link.
class CAssociatedData {
public:
    // Size of the GPS text field, terminator included.
    static constexpr size_t kGPSPositionSize = 64;

    CAssociatedData() { Init(); }

    // Clears every field, the link included.
    void Init();
    // Copies the fields of `other`; the link stays.
    void CopyFrom(const CAssociatedData& other);

    char GetRecType() const { return m_RecType[0]; }
    void SetRecType(char type)
    {
        m_RecType[0] = type;
        m_RecType[1] = '\0';
    }
    const RECTIME& GetRecTime() const { return m_RecTime; }
    void SetRecTime(const RECTIME& time) { m_RecTime = time; }
    int GetRecIndex() const { return m_RecIndex; }
    void SetRecIndex(int index) { m_RecIndex = index; }
    // The GPS text, always terminated, at most 63 characters.
    const char* GetGPSPosition() const { return m_GPSPosition; }
    // Copies at most `maxLen` bytes of `text` (stopping at a terminator),
    // cut to 63 characters.
    void SetGPSPosition(const char* text, size_t maxLen = kGPSPositionSize);

    CAssociatedData* GetNext() const { return m_lpNext; }
    void SetNext(CAssociatedData* next) { m_lpNext = next; }

    // {"image":"LT[(n)].JPG","position":"..."}: the length written, or -1
    // when `len` is below 128 or the object does not fit. A letter outside
    // A-Z shows as U; the position is escaped.
    int GetFileInfoAsJSON(char* buff, int len) const;

private:
    char m_RecType[2];
    RECTIME m_RecTime;
    int m_RecIndex;
    char m_GPSPosition[kGPSPositionSize];
    CAssociatedData* m_lpNext;
};

// Process-wide pool of snapshot records (blocks of 256).
class CAssociatedDataManager final : public CPoolBlocksInstance<CAssociatedDataManager, CAssociatedData> {
    CAssociatedDataManager() = default;
    friend class CSingleton<CAssociatedDataManager>;
};

// Gives a list back to the pool (nothing once the pool is gone).
void XPutAssociatedDataList(CAssociatedData* list);

// Links the whole `list` in front of `head`; the last node of `list`, or
// null for an empty list (nothing is linked then).
inline CAssociatedData* XPrependAssociatedDataList(CAssociatedData* list, CAssociatedData* head)
{
    if (list == nullptr) {
        return nullptr;
    }
    CAssociatedData* last = list;
    while (last->GetNext() != nullptr) {
        last = last->GetNext();
    }
    last->SetNext(head);
    return last;
}

#endif
