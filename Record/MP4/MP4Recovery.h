#ifndef RECORD_MP4_MP4RECOVERY_H
#define RECORD_MP4_MP4RECOVERY_H

// Finishes a video whose recording never ended (a power cut, a card pulled)
// from its recovery journal: the sample tables are entered again from the
// journal and the trailer (mdat size, skip box, moov) is written by the
// writer's own code after the last sample that is wholly on the card. Only
// the journal and the last boxes of the video are read, never its samples.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Function/types.h"
#include "Record/MP4/MP4JournalReader.h"
#include "Record/RecordTypes.h"

struct tagMP4RecoveryResult {
    emRecordFileType type;
    int fps;
    uint32_t frames;  // video frames the finished file holds
    int resFlag;      // 720 or 1080
    BOOL bParking;
    int titleIndex;   // index of the title image waiting in /tmp, -1 none
    BOOL bRebuilt;    // the trailer was written now (else the file was whole)
};

class CMP4Recovery {
public:
    // 1 when the video at `videoPath` now holds its whole index: rebuilt from
    // the journal at `journalPath`, or found whole already (its trailer was
    // written but it kept its recording name). 0 when nothing can be
    // recovered: no usable journal, a journal of another video, or not one
    // complete key frame on the card; the caller deletes both then. What was
    // found is printed either way.
    static BOOL Recover(const char* videoPath, const char* journalPath, tagMP4RecoveryResult& result);

    // What Recover finds before it writes anything: kWhole (the video holds
    // its index; `result` filled), kSamples (`content` names a complete key
    // frame first; `result` filled, the frames those of the journal) or
    // kNone (nothing to recover; `content` holds the journal's header and
    // records when there was a usable one). A journal that is no journal
    // of its own (ReadOwnFile; the video's inode counts) is unlinked. What
    // was found is printed.
    static constexpr int kNone = 0;
    static constexpr int kWhole = 1;
    static constexpr int kSamples = 2;
    static int ReadJournal(const char* videoPath, const char* journalPath, tagMP4JournalContent& content,
                           tagMP4RecoveryResult& result);

    // Video frames of a whole file: its top-level boxes walked from the
    // start (headers only) to a moov that ends the file, whose video track's
    // sample count is read. 0 when the file is not whole.
    static BOOL ReadFinishedFrames(int fd, uint64_t fileSize, uint32_t& frames);

    // The identity of a file on the card.
    struct tagFileId {
        dev_t dev;
        ino_t ino;
        bool operator==(const tagFileId& o) const { return dev == o.dev && ino == o.ino; }
    };
    // The identity of the file named `path` (not followed when a link); 0
    // when there is none.
    static BOOL GetFileId(const char* path, tagFileId& id);

    // What ReadOwnFile found.
    enum emOwnFile { emOwnFile_Missing, emOwnFile_Read, emOwnFile_Garbage };
    // Reads a recovery file (a journal or a spill) at `path`, which must be
    // a regular file of its own (one name, none of the inodes `others`)
    // that begins with `magic`: its first `maxBytes` at most in `bytes`
    // (saying so when it holds more). Anything else under that name is
    // garbage: the name is unlinked (whatever it shares an inode with
    // stays) and nothing of it is followed. What cannot be opened or read
    // counts as missing and is left alone.
    static emOwnFile ReadOwnFile(const char* path, const char* magic, size_t maxBytes,
                                 const std::vector<tagFileId>& others, std::vector<uint8_t>& bytes);

    // Largest moov read back.
    static constexpr uint64_t kMaxMoovBytes = 16u << 20;
};

#endif
