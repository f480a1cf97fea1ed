#ifndef RECORD_MP4_MP4JOURNALREADER_H
#define RECORD_MP4_MP4JOURNALREADER_H

// Reads a recovery journal (MP4JournalFormat.h) back from card bytes that
// may be cut at any point, garbled or made up, against the size of its
// video. Nothing read is trusted: every count, size and offset is checked
// before it is used, and the first thing that does not fit ends what is kept.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Function/types.h"
#include "Record/MP4/MP4JournalFormat.h"

// What a journal gave back.
struct tagMP4JournalContent {
    tagMP4JournalHeader header;
    // Every sample and lost time kept, in the order written, each sample
    // wholly inside the video and after the one before it.
    std::vector<tagMP4JournalSample> samples;
    uint32_t videoSamples = 0;
    uint32_t audioSamples = 0;
    uint32_t videoKeyFrames = 0;
    // End of the last sample kept (the mdat payload ends there).
    uint64_t dataEnd = 0;
    // The last alarm record.
    uint32_t alarmMask = 0;
    std::vector<uint8_t> snapshots;  // records of 73 bytes
    // The last names record.
    BOOL bHasNames = 0;
    int resFlag = 1080;
    BOOL bParking = 0;
    int titleIndex = -1;
    // The last reached record, when no samples follow it and every sample
    // journaled was kept: the packet numbers the samples kept have reached.
    BOOL bHasReached = 0;
    uint64_t reachedAll = 0;
    uint64_t reachedVideo = 0;
    // The cache number of the packet the video begins with, from a reached
    // record before every sample record; 0 unknown.
    uint64_t firstSeq = 0;
    uint32_t records = 0;   // good records, the header included
    // Why reading ended before the journal's end, or why samples were left
    // out; empty when everything was used.
    std::string problem;
};

class CMP4JournalReader {
public:
    // Table capacities of a file at `fps` (as the writer sizes them).
    static uint32_t MaxVideoSamples(uint32_t fps);
    static uint32_t MaxAudioSamples();

    // Reads `len` bytes of a journal whose video holds `fileSize` bytes.
    // 0 when there is no usable header (`problem` says why); otherwise 1
    // with everything good up to the first fault.
    static BOOL Parse(const uint8_t* data, size_t len, uint64_t fileSize, tagMP4JournalContent& content);
};

#endif
