#ifndef RECORD_MP4_MP4MOVIEENTRY_H
#define RECORD_MP4_MP4MOVIEENTRY_H

// The in-memory sample tables of one track, preallocated for a whole file.

#include <cstdint>
#include <memory>

#include "Function/types.h"

// One run of equal sample durations.
struct tagMP4SampleTime {
    uint32_t samples;
    uint32_t duration;
};
typedef tagMP4SampleTime MP4SampleTime;

// One chunk: consecutive samples stored back to back in the file.
struct tagMP4SampleChunk {
    uint32_t chunk_num;         // 1-based
    uint64_t chunk_size;        // bytes
    uint32_t samples_in_chunk;
    uint64_t offset;            // file offset of the chunk's first byte
};
typedef tagMP4SampleChunk MP4SampleChunk;

class CMovieEntry {
public:
    // Throws the text "out of memory.\n" when a table cannot be allocated.
    explicit CMovieEntry(uint32_t maxFrames);
    CMovieEntry(const CMovieEntry&) = delete;
    CMovieEntry& operator=(const CMovieEntry&) = delete;

    void Reset();
    // Enters one sample. 1, or 0 (nothing entered) when the tables are full.
    BOOL UpdateEntrys(uint64_t offset, uint32_t size, uint32_t duration, BOOL bIFrame, BOOL bForceNextChunk);
    // Lengthens the last sample by `delta` (the time of samples lost after
    // it), saturating at 32 bits. 0 when there is no sample yet.
    BOOL AddToLastDuration(uint32_t delta);

    uint32_t GetMaxFrames() const { return m_MaxFrames; }
    uint32_t GetEntrys() const { return m_Entrys; }
    uint32_t GetFreeEntrys() const { return m_MaxFrames - m_Entrys; }
    BOOL IsEqualSampleSize() const { return m_EqualSampleSize; }
    const uint32_t* GetSampleSizes() const { return m_SampleSize.get(); }
    uint32_t GetSampleTimeEntrys() const { return m_SampleTimeEntrys; }
    const tagMP4SampleTime* GetSampleTimes() const { return m_SampleTime.get(); }
    uint32_t GetKeyFrameEntrys() const { return m_KeyFrameEntrys; }
    const uint32_t* GetKeyFrames() const { return m_KeyFrameList.get(); }
    uint32_t GetChunkEntrys() const { return m_ChunkEntrys; }
    const tagMP4SampleChunk* GetChunks() const { return m_Chunk.get(); }
    int64_t GetSize() const { return m_Size; }
    int64_t GetDuration() const { return m_Duration; }

private:
    const uint32_t m_MaxFrames;
    uint32_t m_Entrys;
    BOOL m_EqualSampleSize;
    std::unique_ptr<uint32_t[]> m_SampleSize;
    uint32_t m_SampleTimeEntrys;
    std::unique_ptr<tagMP4SampleTime[]> m_SampleTime;
    uint32_t m_KeyFrameEntrys;
    std::unique_ptr<uint32_t[]> m_KeyFrameList;
    uint32_t m_ChunkEntrys;
    std::unique_ptr<tagMP4SampleChunk[]> m_Chunk;
    int64_t m_Size;
    int64_t m_Duration;
};

#endif
