#include "Record/RingBuffer.h"

#include <cstring>
#include <memory>

static_assert(CRecordRingBuffer::m_nHeaderSlot == 128, "the header slot is 128 bytes");

CRecordRingBuffer::CRecordRingBuffer(uint32_t nSize)
    : m_nRingBuffSize(nSize / m_nRingBuffAlign * m_nRingBuffAlign),
      m_lpOrigRingBuff(new uint8_t[static_cast<size_t>(nSize / m_nRingBuffAlign * m_nRingBuffAlign) +
                                   m_nRingBuffAlign - 1]()),
      m_lpRingBuff(nullptr),
      m_lpRingBuffEnd(nullptr),
      m_lpRingBuffFree(nullptr),
      m_lpCachedDataHead(nullptr),
      m_lpCachedDataTail(nullptr),
      m_nCachedVideoFrame(0),
      m_nCachedImageFrame(0),
      m_nCachedAudioFrame(0),
      m_nNextSeq(1),
      m_bDraining(FALSE),
      m_bClearPending(FALSE)
{
    void* p = m_lpOrigRingBuff.get();
    size_t space = static_cast<size_t>(m_nRingBuffSize) + m_nRingBuffAlign - 1;
    m_lpRingBuff = static_cast<uint8_t*>(std::align(m_nRingBuffAlign, m_nRingBuffSize, p, space));
    m_lpRingBuffEnd = m_lpRingBuff + m_nRingBuffSize;
    m_lpRingBuffFree = m_lpRingBuff;
}

size_t CRecordRingBuffer::OffsetOf(const void* p) const
{
    return static_cast<size_t>(static_cast<const uint8_t*>(p) - m_lpRingBuff);
}

tagMediaDataInfo* CRecordRingBuffer::Reserve(uint32_t nTotal, BOOL& bWrapped) const
{
    bWrapped = FALSE;
    if (nTotal == 0 || nTotal > m_nRingBuffSize) {
        return nullptr;
    }
    uint8_t* const free = m_lpRingBuffFree;
    const size_t roomToEnd = static_cast<size_t>(m_lpRingBuffEnd - free);
    uint8_t* place = nullptr;
    if (m_lpCachedDataHead == nullptr) {
        if (nTotal <= roomToEnd) {
            place = free;
        } else {
            place = m_lpRingBuff;
            bWrapped = TRUE;
        }
    } else {
        uint8_t* const head = reinterpret_cast<uint8_t*>(m_lpCachedDataHead);
        uint8_t* const tail = reinterpret_cast<uint8_t*>(m_lpCachedDataTail);
        if (tail >= head) {
            // Unread entries lie in [head, free): room after them, or before the head.
            if (nTotal <= roomToEnd) {
                place = free;
            } else if (nTotal <= static_cast<size_t>(head - m_lpRingBuff)) {
                place = m_lpRingBuff;
                bWrapped = TRUE;
            }
        } else if (nTotal <= static_cast<size_t>(head - free)) {
            // Wrapped: the only room is between the write position and the head.
            place = free;
        }
    }
    return reinterpret_cast<tagMediaDataInfo*>(place);
}

uint32_t* CRecordRingBuffer::CountOf(int emAVType)
{
    switch (emAVType) {
    case AVDATA_TYPE_VIDEO:
        return &m_nCachedVideoFrame;
    case AVDATA_TYPE_IMAGE:
        return &m_nCachedImageFrame;
    case AVDATA_TYPE_AUDIO:
        return &m_nCachedAudioFrame;
    default:
        return nullptr;
    }
}

void CRecordRingBuffer::Commit(tagMediaDataInfo* entry)
{
    entry->lpNext = nullptr;
    entry->nSeq = m_nNextSeq++;
    if (m_lpCachedDataTail != nullptr) {
        m_lpCachedDataTail->lpNext = entry;
    } else {
        m_lpCachedDataHead = entry;
    }
    m_lpCachedDataTail = entry;
    const size_t end = OffsetOf(entry) + m_nHeaderSlot + entry->nDataSize;
    const size_t next = (end + m_nRingBuffAlign - 1) / m_nRingBuffAlign * m_nRingBuffAlign;
    m_lpRingBuffFree = m_lpRingBuff + next;
    uint32_t* count = CountOf(entry->emAVType);
    if (count != nullptr) {
        ++*count;
    }
}

BOOL CRecordRingBuffer::Drain(CRecordPacketSink* sink, uint32_t nLimit)
{
    if (m_bDraining || sink == nullptr) {
        return FALSE;
    }
    m_bDraining = TRUE;
    BOOL bTailReached = FALSE;
    while (m_nCachedVideoFrame > nLimit && m_lpCachedDataHead != nullptr && !m_bClearPending) {
        if (HandHeadOn(sink)) {
            bTailReached = TRUE;
        }
    }
    m_bDraining = FALSE;
    if (m_bClearPending) {
        Clear();
    }
    return bTailReached;
}

BOOL CRecordRingBuffer::DrainOldest(CRecordPacketSink* sink)
{
    if (m_bDraining || sink == nullptr || m_lpCachedDataHead == nullptr) {
        return FALSE;
    }
    m_bDraining = TRUE;
    HandHeadOn(sink);
    m_bDraining = FALSE;
    if (m_bClearPending) {
        Clear();
    }
    return TRUE;
}

BOOL CRecordRingBuffer::HandHeadOn(CRecordPacketSink* sink)
{
    tagMediaDataInfo* entry = m_lpCachedDataHead;
    sink->ProcessPacket(entry);
    if (m_bClearPending) {
        return FALSE;
    }
    uint32_t* count = CountOf(entry->emAVType);
    if (count != nullptr && *count > 0) {
        --*count;
    }
    m_lpCachedDataHead = entry->lpNext;
    if (m_lpCachedDataHead == nullptr) {
        m_lpCachedDataTail = nullptr;
        m_nCachedVideoFrame = 0;
        m_nCachedImageFrame = 0;
        m_nCachedAudioFrame = 0;
        return TRUE;
    }
    return FALSE;
}

void CRecordRingBuffer::Clear()
{
    if (m_bDraining) {
        // The entry in hand stays valid until the drain returns.
        m_bClearPending = TRUE;
        return;
    }
    m_bClearPending = FALSE;
    m_lpCachedDataHead = nullptr;
    m_lpCachedDataTail = nullptr;
    m_nCachedVideoFrame = 0;
    m_nCachedImageFrame = 0;
    m_nCachedAudioFrame = 0;
    m_lpRingBuffFree = m_lpRingBuff;
}

uint8_t* CRecordRingBuffer::Scratch(uint32_t nSize)
{
    if (!IsEmpty() || m_bDraining || nSize > m_nRingBuffSize - m_nHeaderSlot) {
        return nullptr;
    }
    return m_lpRingBuff + m_nHeaderSlot;
}
