#ifndef RECORD_INDEX_RECORDFILENAME_H
#define RECORD_INDEX_RECORDFILENAME_H

#include <cstddef>
#include <cstdint>
#include <ctime>

#include "Function/RecTime.h"
#include "Function/common.h"
#include "Function/types.h"

// Every name and path buffer handed to the builders below holds this many
// bytes (texts of up to 255 characters); longer results are refused.
#define RECORD_NAME_BUF_SIZE XPATH_BUF_SIZE

// Highest collision index: the index travels in 8 bits of the packed
// resolution/index/parking word.
static constexpr int RECORD_MAX_NAME_INDEX = 255;

// The fields of a record file name:
//   [L]T[_D][(n)][_720p][_P][.ext]
// L an image type letter, T the time as YYYYMMDDhhmmss, D the duration in
// seconds, n the collision index (written when above 0).
struct tagRecFileNameFields {
    char type;           // image type letter, 0 for none
    RECTIME time;
    BOOL bHasDuration;
    int64_t duration;
    int index;
    int resolution;      // 720 writes "_720p"
    BOOL bParking;       // writes "_P" (after "_720p")
};
typedef tagRecFileNameFields RecFileNameFields;

// The grammar a parsed name must follow.
enum emRecFileNameKind {
    emRecFileNameKind_Video,  // T_D[(n)][_720p][_P].ext
    emRecFileNameKind_Plain,  // T[(n)].ext (title images, thumbnail archives)
    emRecFileNameKind_Image,  // LT[(n)].ext, L in A-Z
};

// Builds root/subdir/name: root and subdir each get a "/" unless they end in
// one, and are left out when null or empty; `ext` null writes no extension.
// 0 when the result does not fit `size` bytes (`buf` is then empty).
BOOL XMakeRecFilePath(char* buf, size_t size, const char* root, const char* subdir, const RecFileNameFields& fields,
                      const char* ext);

// How much of a name may differ from the one the builders write.
enum emRecFileNameRule {
    // Only names the builders write: no leading zeros, index 1-255 when
    // written, an upper-case type letter; `resolution` stays 0 but for videos.
    emRecFileNameRule_Strict,
    // Names found on a card: leading zeros and a written index 0 are
    // accepted, the type letter in any case (given back upper-case), and
    // `resolution` is 1080 unless a video says "_720p".
    emRecFileNameRule_Card,
};

// The one reader of the name grammar: 255 characters at most, every field
// bounded (duration 10 digits and 32 bits, index 3 digits and 255), year
// 2000-2063, a real month day, hour 0-23, minute and second 0-59, `ext`
// matched without regard to case (and the suffixes of videos too); videos
// may carry "_720p" and "_P" in that order. 0 for anything else.
BOOL XParseRecFileName(const char* name, emRecFileNameKind kind, const char* ext, RecFileNameFields& fields,
                       emRecFileNameRule rule = emRecFileNameRule_Strict);

// One name that the recording engine tracks (the file being recorded, its
// title image, its thumbnail folder): its time, collision index, duration.
class CRecordFileName {
public:
    CRecordFileName();

    // Creates root/subdir and names the first free root/subdir/T_D[(n)].ext
    // for `time` (UTC seconds), index from 0 up. 0 when the folder cannot be
    // created, or no index up to 255 is free.
    BOOL CreateFileName(const char* root, const char* subdir, const char* ext, time_t time, int duration,
                        char* filename);
    // The same without a duration: root/subdir/T[(n)].ext.
    BOOL CreateFileName(const char* root, const char* subdir, const char* ext, time_t time, char* filename);
    BOOL CreateFileName(const char* root, const char* subdir, const char* ext, const RECTIME& time, char* filename);
    // Creates root/subdir/T[(dirindex)]/ and names timestamp.ext inside it;
    // the name keeps timedir and dirindex. No collision search.
    BOOL CreateFileName(const char* root, const char* subdir, const char* ext, const RECTIME& timedir, int dirindex,
                        unsigned timestamp, char* filename);

    // root/subdir/T[_D][(n)].ext with the stored fields; with bCheckExists the
    // result says whether the file exists. Creates nothing.
    BOOL GetFileName(const char* root, const char* subdir, const char* ext, BOOL bHasDuration, BOOL bCheckExists,
                     char* filename) const;
    // The same with `index` (and the stored duration); creates root/subdir
    // first and gives 0 when it cannot.
    BOOL GetFileName2(const char* root, const char* subdir, const char* ext, int index, BOOL bHasDuration,
                      char* filename) const;
    // 1 when the name with `index` exists.
    BOOL CheckFileExists(const char* root, const char* subdir, const char* ext, int index, BOOL bHasDuration) const;
    // root/T[(n)], or the bare T[(n)] without bHasRootPath; with bCheckExists
    // 0 when that folder does not exist.
    BOOL GetDirName(const char* root, BOOL bCheckExists, BOOL bHasRootPath, char* dirname) const;

    const RECTIME& GetFileNameTime() const { return m_TimePart; }
    int GetFileNameIndex() const { return m_IndexPart; }
    int GetFileNameDuration() const { return m_DurationPart; }
    void SetFileNameDuartion(int duration) { m_DurationPart = duration; }
    // The name of a file found on the card (nothing is created).
    void SetFileName(const RECTIME& time, int index, int duration)
    {
        m_TimePart = time;
        m_IndexPart = index;
        m_DurationPart = duration;
    }
    size_t GetFileSize() const { return m_FileSize; }

private:
    RecFileNameFields Fields(int index, BOOL bHasDuration) const;
    // Collision search from index 0 in root/subdir.
    BOOL CreateUnique(const char* root, const char* subdir, const char* ext, BOOL bHasDuration, char* filename);

    RECTIME m_TimePart;
    int m_IndexPart;
    int m_DurationPart;
    size_t m_FileSize;
};

#endif
