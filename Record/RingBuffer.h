#ifndef RECORD_RINGBUFFER_H
#define RECORD_RINGBUFFER_H

// The recording engine's packet cache: entries (a header slot holding a
// tagMediaDataInfo, then the payload) in one pre-allocated ring, linked in
// arrival order from the oldest unread entry (head) to the newest (tail).
// Every entry starts on a 64-byte boundary. The object is not locked: the
// engine's lock guards it.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "Function/types.h"
#include "Record/MediaDataInfo.h"

// Takes the entries that leave the cache.
class CRecordPacketSink {
public:
    virtual ~CRecordPacketSink() = default;
    virtual BOOL ProcessPacket(const tagMediaDataInfo* pkt) = 0;
};

class CRecordRingBuffer {
public:
    static constexpr uint32_t m_nRingBuffAlign = 64;
    static constexpr uint32_t m_nDefaultRingBuffSize = 0xF00000;  // 15 MiB
    // Room of the header slot: sizeof(tagMediaDataInfo) rounded up to the alignment.
    static constexpr uint32_t m_nHeaderSlot =
        (sizeof(tagMediaDataInfo) + m_nRingBuffAlign - 1) / m_nRingBuffAlign * m_nRingBuffAlign;

    // `nSize` is rounded down to the alignment; the storage is zero-filled.
    explicit CRecordRingBuffer(uint32_t nSize = m_nDefaultRingBuffSize);
    CRecordRingBuffer(const CRecordRingBuffer&) = delete;
    CRecordRingBuffer& operator=(const CRecordRingBuffer&) = delete;

    // Where an entry of `nTotal` bytes (header slot + payload) goes, or null
    // when it would overwrite unread entries or is larger than the ring.
    // `bWrapped` tells that the place is the ring start because the rest of
    // the ring after the write position is too short. Nothing changes until
    // Commit.
    tagMediaDataInfo* Reserve(uint32_t nTotal, BOOL& bWrapped) const;
    // Links the entry reserved at `entry` (header filled, lpData and nDataSize
    // set) as the newest, gives it the next sequence number and moves the
    // write position past its payload.
    void Commit(tagMediaDataInfo* entry);

    // Hands entries from the head to `sink` while more than `nLimit` video
    // entries are cached. Returns 1 when the cache ran empty on the way.
    // A nested call from inside the sink does nothing.
    BOOL Drain(CRecordPacketSink* sink, uint32_t nLimit);
    // Hands the oldest entry to `sink`; 1 when one was handed on (none while
    // the cache is empty, inside a drain or without a sink).
    BOOL DrainOldest(CRecordPacketSink* sink);
    // Forgets every entry; the write position goes back to the ring start.
    void Clear();

    // Storage at the ring start after one header slot, for a packet that is
    // handed on at once; only while the cache is empty. Null when `nSize`
    // does not fit.
    uint8_t* Scratch(uint32_t nSize);

    BOOL IsEmpty() const { return m_lpCachedDataHead == nullptr; }
    uint32_t GetSize() const { return m_nRingBuffSize; }
    uint32_t GetCachedVideoFrame() const { return m_nCachedVideoFrame; }
    uint32_t GetCachedImageFrame() const { return m_nCachedImageFrame; }
    uint32_t GetCachedAudioFrame() const { return m_nCachedAudioFrame; }
    const tagMediaDataInfo* GetHead() const { return m_lpCachedDataHead; }
    const tagMediaDataInfo* GetTail() const { return m_lpCachedDataTail; }
    // Sequence number the next committed entry gets (numbers start at 1 and
    // never repeat, whatever Clear drops).
    uint64_t GetNextSeq() const { return m_nNextSeq; }
    // Sequence number of the oldest entry still cached (GetNextSeq when none).
    uint64_t GetHeadSeq() const { return m_lpCachedDataHead != nullptr ? m_lpCachedDataHead->nSeq : m_nNextSeq; }
    // Offsets from the ring start (tests and diagnostics).
    size_t OffsetOf(const void* p) const;
    size_t GetFreeOffset() const { return OffsetOf(m_lpRingBuffFree); }

private:
    uint32_t* CountOf(int emAVType);
    // Hands the head entry on and unlinks it; 1 when the cache ran empty.
    BOOL HandHeadOn(CRecordPacketSink* sink);

    const uint32_t m_nRingBuffSize;
    std::unique_ptr<uint8_t[]> m_lpOrigRingBuff;
    uint8_t* m_lpRingBuff;
    uint8_t* m_lpRingBuffEnd;
    uint8_t* m_lpRingBuffFree;
    tagMediaDataInfo* m_lpCachedDataHead;
    tagMediaDataInfo* m_lpCachedDataTail;
    uint32_t m_nCachedVideoFrame;
    uint32_t m_nCachedImageFrame;
    uint32_t m_nCachedAudioFrame;
    uint64_t m_nNextSeq;
    BOOL m_bDraining;
    BOOL m_bClearPending;  // Clear asked for from inside a drain
};

#endif
