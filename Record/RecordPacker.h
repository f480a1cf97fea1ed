#ifndef RECORD_RECORDPACKER_H
#define RECORD_RECORDPACKER_H

// Finishing of closed record files: the final name with duration, collision
// index and the "_720p" / "_P" suffixes, the title image moved to the card,
// the thumbnails archived, the index entry, the snapshot records and the
// phone notice; and the card scan at mount. Runs under the engine's lock.

#include <memory>
#include <string>

#include "Function/types.h"
#include "Record/RecordFinisher.h"

class CRecordPacker : public CRecordFinisher {
public:
    // Bytes of the JSON buffer for the phone notices.
    static constexpr int kJsonBuffLen = 16384;

    CRecordPacker();
    ~CRecordPacker() override;
    CRecordPacker(const CRecordPacker&) = delete;
    CRecordPacker& operator=(const CRecordPacker&) = delete;

    // 1 when the file got its final name and its index entry. Whatever the
    // result, the waiting title image and thumbnail folder are gone from
    // /tmp afterwards and the snapshot records are attached or given back.
    BOOL FinishRecordFile(tagRecordFinishInfo& info) override;
    // The card scan, which finishes every video whose recording never ended
    // from its journal instead of deleting it (RecordRecovery.cpp).
    void ScanCard(const char* rootPath, CRecordFileIndex& common, CRecordFileIndex& alarm,
                  CRecordFileIndex& image) override;
    // A video the scan recovered (its trailer written, its recording name
    // kept): the final name, title image and thumbnails as FinishRecordFile
    // gives them, but nothing is entered in the index nor sent to the phone
    // (the scan enters what it finds). 1 with the video's bare final name.
    BOOL PlaceRecoveredFile(tagRecordFinishInfo& info, std::string& finalName);

private:
    // With `recovered` set, PlaceRecoveredFile.
    BOOL Finish(tagRecordFinishInfo& info, std::string* recovered);
    BOOL PackAlarmFile(tagRecordFinishInfo& info, std::string* recovered);
    BOOL PackCommonFile(tagRecordFinishInfo& info, std::string* recovered);

    std::unique_ptr<char[]> m_lpTmpBuff;
    int m_nTmpBuffLen;
};

#endif
