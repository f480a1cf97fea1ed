#include "Record/MP4/MP4MovieEntry.h"

#include <new>

namespace {

template <typename T>
std::unique_ptr<T[]> XAllocZeroed(uint32_t count)
{
    // At least one element, so that an empty table is still a valid pointer.
    std::unique_ptr<T[]> p(new (std::nothrow) T[count > 0 ? count : 1]());
    if (!p) {
        throw "out of memory.\n";
    }
    return p;
}

}  // namespace

CMovieEntry::CMovieEntry(uint32_t maxFrames)
    : m_MaxFrames(maxFrames),
      m_Entrys(0),
      m_EqualSampleSize(TRUE),
      m_SampleSize(XAllocZeroed<uint32_t>(maxFrames)),
      m_SampleTimeEntrys(0),
      m_SampleTime(XAllocZeroed<tagMP4SampleTime>(maxFrames)),
      m_KeyFrameEntrys(0),
      m_KeyFrameList(XAllocZeroed<uint32_t>(maxFrames)),
      m_ChunkEntrys(0),
      m_Chunk(XAllocZeroed<tagMP4SampleChunk>(maxFrames)),
      m_Size(0),
      m_Duration(0)
{
}

void CMovieEntry::Reset()
{
    m_Entrys = 0;
    m_EqualSampleSize = TRUE;
    m_SampleTimeEntrys = 0;
    m_KeyFrameEntrys = 0;
    m_ChunkEntrys = 0;
    m_Size = 0;
    m_Duration = 0;
}

BOOL CMovieEntry::UpdateEntrys(uint64_t offset, uint32_t size, uint32_t duration, BOOL bIFrame, BOOL bForceNextChunk)
{
    if (m_Entrys >= m_MaxFrames) {
        return 0;
    }
    m_SampleSize[m_Entrys] = size;
    if (m_Entrys > 0 && size != m_SampleSize[m_Entrys - 1]) {
        m_EqualSampleSize = FALSE;
    }
    m_Entrys++;

    if (m_SampleTimeEntrys > 0 && m_SampleTime[m_SampleTimeEntrys - 1].duration == duration) {
        m_SampleTime[m_SampleTimeEntrys - 1].samples++;
    } else {
        m_SampleTime[m_SampleTimeEntrys].samples = 1;
        m_SampleTime[m_SampleTimeEntrys].duration = duration;
        m_SampleTimeEntrys++;
    }

    if (m_ChunkEntrys == 0 || bIFrame || bForceNextChunk) {
        tagMP4SampleChunk& c = m_Chunk[m_ChunkEntrys];
        c.chunk_num = m_ChunkEntrys + 1;
        c.chunk_size = size;
        c.samples_in_chunk = 1;
        c.offset = offset;
        m_ChunkEntrys++;
        if (bIFrame) {
            m_KeyFrameList[m_KeyFrameEntrys++] = m_Entrys;
        }
    } else {
        tagMP4SampleChunk& c = m_Chunk[m_ChunkEntrys - 1];
        c.chunk_size += size;
        c.samples_in_chunk++;
    }

    m_Size += size;
    m_Duration += duration;
    return 1;
}

BOOL CMovieEntry::AddToLastDuration(uint32_t delta)
{
    if (m_Entrys == 0 || m_SampleTimeEntrys == 0) {
        return 0;
    }
    tagMP4SampleTime& last = m_SampleTime[m_SampleTimeEntrys - 1];
    const uint32_t room = 0xFFFFFFFFu - last.duration;
    if (delta > room) {
        delta = room;
    }
    if (delta == 0) {
        return 1;
    }
    if (last.samples > 1) {
        // Every run holds a sample: fewer runs than samples leaves room for one.
        if (m_SampleTimeEntrys >= m_MaxFrames) {
            return 0;
        }
        last.samples--;
        tagMP4SampleTime& run = m_SampleTime[m_SampleTimeEntrys];
        run.samples = 1;
        run.duration = last.duration + delta;
        m_SampleTimeEntrys++;
    } else {
        last.duration += delta;
    }
    m_Duration += delta;
    return 1;
}
