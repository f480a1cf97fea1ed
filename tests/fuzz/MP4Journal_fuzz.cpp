// Fuzzes the recovery journal reader. The first 8 bytes (big-endian) are
// the size of the video the journal belongs to, the rest is the journal.
// Whatever it reads, every sample kept must lie inside the video, after the
// one before it, within the tables of a file, and the tables must take it
// as the recovery enters them.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "Function/ByteOrder.h"
#include "Record/MP4/MP4JournalReader.h"
#include "Record/MP4/MP4MovieEntry.h"
#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CMovieEntry s_Video(CMP4JournalReader::MaxVideoSamples(tagMP4JournalLimits::kMaxFps));
    static CMovieEntry s_Audio(CMP4JournalReader::MaxAudioSamples());
    if (size < 8) {
        return 0;
    }
    const uint64_t fileSize = (static_cast<uint64_t>(XGetBE32(data)) << 32) | XGetBE32(data + 4);
    tagMP4JournalContent c;
    if (!CMP4JournalReader::Parse(data + 8, size - 8, fileSize, c)) {
        CHECK(c.samples.empty());
        CHECK(!c.problem.empty());
        return 0;
    }
    CHECK(c.header.fps >= 1 && c.header.fps <= static_cast<uint32_t>(tagMP4JournalLimits::kMaxFps));
    CHECK(c.header.sps.size() >= 4 && c.header.sps.size() <= 128);
    CHECK(c.header.pps.size() >= 1 && c.header.pps.size() <= 128);
    CHECK(c.snapshots.size() % tagMP4JournalLimits::kSnapshotBytes == 0);
    CHECK(c.videoSamples <= CMP4JournalReader::MaxVideoSamples(c.header.fps));
    CHECK(c.audioSamples <= CMP4JournalReader::MaxAudioSamples());
    CHECK(c.dataEnd <= fileSize);
    s_Video.Reset();
    s_Audio.Reset();
    uint64_t end = 0;
    uint32_t video = 0;
    uint32_t audio = 0;
    for (const tagMP4JournalSample& s : c.samples) {
        const bool isVideo = s.kind == emMP4JournalEntry_Video || s.kind == emMP4JournalEntry_VideoLost;
        CMovieEntry& table = isVideo ? s_Video : s_Audio;
        if (s.kind == emMP4JournalEntry_Video || s.kind == emMP4JournalEntry_Audio) {
            CHECK(s.offset >= 64 && s.offset >= end && s.offset + s.size <= fileSize);
            end = s.offset + s.size;
            CHECK(table.UpdateEntrys(s.offset, s.size, s.duration, (s.flags & MP4_JOURNAL_FLAG_KEY) != 0,
                                     (s.flags & MP4_JOURNAL_FLAG_FORCE_CHUNK) != 0));
            ++(isVideo ? video : audio);
        } else {
            CHECK(s.size == 0);
            table.AddToLastDuration(s.duration);
        }
    }
    CHECK(end == c.dataEnd);
    CHECK(video == c.videoSamples && audio == c.audioSamples);
    return 0;
}
