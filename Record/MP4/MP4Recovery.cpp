#include "Record/MP4/MP4Recovery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Function/ByteOrder.h"
#include "Function/common.h"
#include "Record/MP4/AssociatedDataReader.h"
#include "Record/MP4/MP4BoxHeader.h"
#include "Record/MP4/MP4File.h"
#include "Record/MP4/MP4JournalReader.h"
#include "Record/MP4/MP4Muxer.h"

namespace {

// Top-level boxes walked at most: ftyp, free, free, mdat, skip, moov.
constexpr int kMaxTopBoxes = 8;

// The payload of the first child `type` of the box payload [p, p + n).
bool XFindChild(const uint8_t* p, size_t n, const char* type, const uint8_t*& child, size_t& len)
{
    size_t at = 0;
    while (n - at >= 8) {
        const uint32_t size = XGetBE32(p + at);
        if (size < 8 || size > n - at) {
            return false;
        }
        if (memcmp(p + at + 4, type, 4) == 0) {
            child = p + at + 8;
            len = size - 8;
            return true;
        }
        at += size;
    }
    return false;
}

// The sample count of the video track of a moov payload.
bool XVideoSampleCount(const uint8_t* moov, size_t n, uint32_t& frames)
{
    size_t at = 0;
    while (n - at >= 8) {
        const uint32_t size = XGetBE32(moov + at);
        if (size < 8 || size > n - at) {
            return false;
        }
        const uint8_t* mdia = nullptr;
        const uint8_t* hdlr = nullptr;
        const uint8_t* minf = nullptr;
        const uint8_t* stbl = nullptr;
        const uint8_t* stsz = nullptr;
        size_t mdiaLen = 0, hdlrLen = 0, minfLen = 0, stblLen = 0, stszLen = 0;
        if (memcmp(moov + at + 4, "trak", 4) == 0 && XFindChild(moov + at + 8, size - 8, "mdia", mdia, mdiaLen) &&
            XFindChild(mdia, mdiaLen, "hdlr", hdlr, hdlrLen) && hdlrLen >= 12 && memcmp(hdlr + 8, "vide", 4) == 0 &&
            XFindChild(mdia, mdiaLen, "minf", minf, minfLen) && XFindChild(minf, minfLen, "stbl", stbl, stblLen) &&
            XFindChild(stbl, stblLen, "stsz", stsz, stszLen) && stszLen >= 12) {
            frames = XGetBE32(stsz + 8);
            return true;
        }
        at += size;
    }
    return false;
}

// The first video sample kept is a key frame (a file starts on one).
BOOL XCheckFirstKeyFrame(const tagMP4JournalContent& c)
{
    for (const tagMP4JournalSample& s : c.samples) {
        if (s.kind == emMP4JournalEntry_Video) {
            return (s.flags & MP4_JOURNAL_FLAG_KEY) ? 1 : 0;
        }
    }
    return 0;
}

BOOL XRebuild(const char* videoPath, const tagMP4JournalContent& c, uint64_t& finalSize)
{
    CMP4File writer(FALSE);
    if (!writer.ResumeRecord(videoPath, c)) {
        return 0;
    }
    const BOOL ok = writer.StopRecord();
    finalSize = writer.GetTotalSize() > 0 ? static_cast<uint64_t>(writer.GetTotalSize()) : 0;
    if (!ok) {
        printf("[RECOVER] %s: its index could not be written.\n", videoPath);
    }
    return ok;
}

}  // namespace

BOOL CMP4Recovery::ReadFinishedFrames(int fd, uint64_t fileSize, uint32_t& frames)
{
    frames = 0;
    uint64_t pos = 0;
    bool mdat = false;
    for (int n = 0; n < kMaxTopBoxes && pos < fileSize; ++n) {
        tagMP4BoxHeader box;
        if (!XMP4ReadBoxHeader(fd, pos, fileSize, box)) {
            return 0;
        }
        if (n == 0 && strcmp(box.type, "ftyp") != 0) {
            return 0;
        }
        if (strcmp(box.type, "mdat") == 0) {
            // An mdat still of size 0 was never closed.
            if (mdat || box.size == 0) {
                return 0;
            }
            mdat = true;
        } else if (strcmp(box.type, "moov") == 0) {
            if (!mdat || pos + box.size != fileSize || box.size > kMaxMoovBytes) {
                return 0;
            }
            std::vector<uint8_t> moov(static_cast<size_t>(box.size - box.header));
            return XReadAt(fd, pos + box.header, moov.data(), moov.size()) &&
                           XVideoSampleCount(moov.data(), moov.size(), frames)
                       ? 1
                       : 0;
        }
        pos += box.size;
    }
    return 0;
}

BOOL CMP4Recovery::GetFileId(const char* path, tagFileId& id)
{
    struct stat st;
    if (path == nullptr || lstat(path, &st) != 0) {
        return 0;
    }
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    return 1;
}

CMP4Recovery::emOwnFile CMP4Recovery::ReadOwnFile(const char* path, const char* magic, size_t maxBytes,
                                                  const std::vector<tagFileId>& others, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    struct stat st;
    if (lstat(path, &st) != 0) {
        return emOwnFile_Missing;
    }
    const tagFileId self = {st.st_dev, st.st_ino};
    const char* why = nullptr;
    const size_t magicLen = strlen(magic);
    if (!S_ISREG(st.st_mode)) {
        why = "not a regular file";
    } else if (st.st_nlink != 1) {
        why = "a file of more than one name";
    } else {
        for (const tagFileId& other : others) {
            if (other == self) {
                why = "the file of a video";
            }
        }
    }
    if (why == nullptr) {
        // What cannot be read is left as it is.
        const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            return emOwnFile_Missing;
        }
        CFdCloser closer(fd);
        struct stat now;
        if (fstat(fd, &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
            return emOwnFile_Missing;
        }
        const uint64_t size = static_cast<uint64_t>(now.st_size);
        bytes.resize(static_cast<size_t>(size < maxBytes ? size : maxBytes));
        if (!bytes.empty() && !XReadAt(fd, 0, bytes.data(), bytes.size())) {
            bytes.clear();
            return emOwnFile_Missing;
        }
        if (bytes.size() < magicLen || memcmp(bytes.data(), magic, magicLen) != 0) {
            why = "not a file of its kind";
        } else {
            if (size > bytes.size()) {
                printf("[RECOVER] %s: %" PRIu64 " bytes, only the first %zu read.\n", path, size, bytes.size());
            }
            return emOwnFile_Read;
        }
    }
    bytes.clear();
    // Only the name goes: a file it shares an inode with stays as it is.
    printf("[RECOVER] %s: %s, its name deleted.\n", path, why);
    unlink(path);
    return emOwnFile_Garbage;
}

int CMP4Recovery::ReadJournal(const char* videoPath, const char* journalPath, tagMP4JournalContent& c,
                              tagMP4RecoveryResult& result)
{
    memset(&result, 0, sizeof(result));
    result.titleIndex = -1;
    result.resFlag = 1080;
    std::vector<uint8_t> journal;
    std::vector<tagFileId> video(1);
    if (!GetFileId(videoPath, video[0])) {
        video.clear();
    }
    const emOwnFile found =
        ReadOwnFile(journalPath, MP4_JOURNAL_MAGIC, tagMP4JournalLimits::kMaxJournalBytes, video, journal);
    if (found != emOwnFile_Read) {
        if (found == emOwnFile_Missing) {
            printf("[RECOVER] %s: journal %s cannot be read.\n", videoPath, journalPath);
        }
        return kNone;
    }
    const int fd = open(videoPath, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) {
            close(fd);
        }
        printf("[RECOVER] %s cannot be read.\n", videoPath);
        return kNone;
    }
    CFdCloser closer(fd);
    const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    if (!CMP4JournalReader::Parse(journal.data(), journal.size(), fileSize, c)) {
        printf("[RECOVER] %s: no usable journal (%s).\n", videoPath, c.problem.c_str());
        return kNone;
    }
    const char* slash = strrchr(videoPath, '/');
    const char* bare = slash != nullptr ? slash + 1 : videoPath;
    if (c.header.name != bare) {
        printf("[RECOVER] %s: the journal is of %s.\n", videoPath, c.header.name.c_str());
        c = tagMP4JournalContent();
        return kNone;
    }
    result.type = c.header.fileType == 1 ? emRecordFileType_Alarm : emRecordFileType_Common;
    result.fps = static_cast<int>(c.header.fps);
    result.resFlag = c.bHasNames ? c.resFlag : (c.header.height == 720 ? 720 : 1080);
    result.bParking = c.bParking;
    result.titleIndex = c.titleIndex;

    uint32_t frames = 0;
    if (ReadFinishedFrames(fd, fileSize, frames) && frames > 0) {
        printf("[RECOVER] %s holds its index already (%u frames).\n", videoPath, frames);
        result.frames = frames;
        return kWhole;
    }
    if (!c.problem.empty()) {
        printf("[RECOVER] %s: %s.\n", videoPath, c.problem.c_str());
    }
    if (!XCheckFirstKeyFrame(c)) {
        printf("[RECOVER] %s: no complete key frame on the card, nothing to recover.\n", videoPath);
        return kNone;
    }
    printf("[RECOVER] %s: %u video and %u audio samples on the card (%" PRIu64 " of %" PRIu64
           " bytes), %u journal records.\n",
           videoPath, c.videoSamples, c.audioSamples, c.dataEnd, fileSize, c.records);
    result.frames = c.videoSamples;
    return kSamples;
}

BOOL CMP4Recovery::Recover(const char* videoPath, const char* journalPath, tagMP4RecoveryResult& result)
{
    tagMP4JournalContent c;
    const int found = ReadJournal(videoPath, journalPath, c, result);
    if (found != kSamples) {
        return found == kWhole ? 1 : 0;
    }
    uint64_t finalSize = 0;
    if (!XRebuild(videoPath, c, finalSize)) {
        return 0;
    }
    result.bRebuilt = 1;
    return 1;
}
