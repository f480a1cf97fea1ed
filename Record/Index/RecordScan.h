#ifndef RECORD_INDEX_RECORDSCAN_H
#define RECORD_INDEX_RECORDSCAN_H

// Rebuilding the three indexes from a mounted card: every folder of DCIM is
// listed, files left by a power cut or written by others are repaired or
// removed, and the rest is entered in its index.

#include <cstddef>
#include <cstdint>
#include <string>

#include "Function/types.h"
#include "Record/Index/RecordFileIndex.h"
#include "Record/Index/RecordFileName.h"

// The six card folders.
enum emFileType {
    emFileType_Unknown = 0,
    emFileType_Video = 1,           // DCIM/100video, MP4
    emFileType_TitleImg = 2,        // DCIM/103thumb, JPG
    emFileType_TimestampImg = 3,    // DCIM/102thumb, TGZ
    emFileType_AlarmVideo = 4,      // DCIM/101video, MP4
    emFileType_AlarmTitleImg = 5,   // DCIM/105thumb, JPG
    emFileType_AlarmImg = 6,        // DCIM/104snap, JPG
};

// The extension fits the folder's kind (case ignored).
BOOL MatchFileType(const char* extension, emFileType type);

// The folder (relative to the mount path) and the extension of a kind; null
// for emFileType_Unknown.
const char* XGetFileTypeDir(emFileType type);
const char* XGetFileTypeExt(emFileType type);

// Parses a name found in the folder of `type` under the card rule of
// XParseRecFileName (leading zeros, a written index 0, a lower-case type
// letter accepted; the canonical name then differs). 0 for anything else.
BOOL XParseCardFileName(const char* name, emFileType type, RecFileNameFields& fields);

// The canonical name of parsed fields (bare, without folder) in `buf`; 0 when
// it does not fit.
BOOL XMakeCardFileName(char* buf, size_t size, emFileType type, const RecFileNameFields& fields);

// Finishes the videos whose recording never ended, for the scan.
class CRecordScanRecoverer {
public:
    virtual ~CRecordScanRecoverer() = default;
    // `folder` (with "/") holds the video `name` (a recording name, duration
    // 0, with the parsed `fields`) and its journal `journal`. 1 with the
    // finished video's bare name in `finalName`; 0 when nothing could be
    // recovered. The journal is gone afterwards either way, and so is the
    // video when the result is 0.
    virtual BOOL RecoverVideo(const std::string& folder, const std::string& name, const std::string& journal,
                              emFileType type, const RecFileNameFields& fields, std::string& finalName) = 0;
};

class CRecordScan {
public:
    // Without a recoverer, videos that never finished are deleted.
    CRecordScan(CRecordFileIndex& common, CRecordFileIndex& alarm, CRecordFileIndex& image,
                CRecordScanRecoverer* recoverer = nullptr);

    // Scans the six folders under `rootPath` (a mount folder of this
    // machine) in the order that lets titles and archives find their videos:
    // 100video, 103thumb, 102thumb, 101video, 105thumb, 104snap.
    void ScanCard(const char* rootPath);
    // One folder of the given kind; always 1.
    BOOL ScanDir(const char* dir, emFileType type);

private:
    struct tagScanEntry;
    void EnterFile(const tagScanEntry& entry, emFileType type);
    // A found file's entry under its canonical name (renamed to it); 0 when
    // the file was deleted instead.
    BOOL MakeEntry(const std::string& folder, const std::string& name, uint64_t size, emFileType type,
                   tagScanEntry& entry);

    CRecordFileIndex& m_CommonRecordFileIndex;
    CRecordFileIndex& m_AlarmRecordFileIndex;
    CRecordFileIndex& m_AlarmImageFileIndex;
    CRecordScanRecoverer* m_lpRecoverer;
};

#endif
