#ifndef RECORD_RECORDFINISHER_H
#define RECORD_RECORDFINISHER_H

// What happens to a file once the recording engine has closed it (final name
// with its duration, title image, thumbnail archive, index entry, phone
// notice), and the rebuilding of the indexes from a freshly mounted card.
// The engine calls these under its lock, on the thread that closed the file.

#include <cstdint>

#include "Function/types.h"
#include "Record/Index/AssociatedData.h"
#include "Record/Index/RecordFileIndex.h"
#include "Record/Index/RecordFileName.h"
#include "Record/RecordTypes.h"

// One closed file.
struct tagRecordFinishInfo {
    emRecordFileType emType;
    const char* szMountPath;             // device path with '/', "/tmp/mmc0/"
    const char* szRootPath;              // the same on this machine (XBoardPath)
    const char* szTmpPath;               // where title images and thumbnails wait ("/tmp" on this machine)
    const CRecordFileName* lpVideoName;  // the recording name (duration part 0)
    const CRecordFileName* lpTitleName;  // the waiting title image, when bHasTitle
    const CRecordFileName* lpThumbName;  // the waiting thumbnail folder, when bHasThumbs
    BOOL bHasTitle;
    BOOL bHasThumbs;
    BOOL bComplete;                      // the trailer was written
    uint32_t nFrames;                    // video frames written
    int nFps;
    int64_t nTotalSize;                  // bytes of the closed file
    uint32_t nTriggers;                  // every trigger of an alarm file
    int nResFlag;                        // 720 or 1080
    BOOL bParking;
    CAssociatedData* lpAssociatedData;   // snapshot records of an alarm file; the finisher owns them
    CRecordFileIndex* lpCommonIndex;
    CRecordFileIndex* lpAlarmIndex;
    CRecordFileIndex* lpImageIndex;
};
typedef tagRecordFinishInfo RecordFinishInfo;

class CRecordFinisher {
public:
    virtual ~CRecordFinisher() = default;
    // 1 when the file was finished.
    virtual BOOL FinishRecordFile(tagRecordFinishInfo& info) = 0;
    // Fills the (emptied) indexes from the card mounted at `rootPath`.
    virtual void ScanCard(const char* rootPath, CRecordFileIndex& common, CRecordFileIndex& alarm,
                          CRecordFileIndex& image) = 0;
};

// Leaves every file under its recording name: removes the waiting title
// image and thumbnails and gives the snapshot records back. The card scan
// indexes nothing.
class CRecordKeepFinisher : public CRecordFinisher {
public:
    BOOL FinishRecordFile(tagRecordFinishInfo& info) override;
    void ScanCard(const char*, CRecordFileIndex&, CRecordFileIndex&, CRecordFileIndex&) override {}
};

// Creates `path` and writes `data` whole (a title image or thumbnail); with
// bSync flushes it to storage. 0, logged, on a failure.
BOOL XSaveRecordImage(const char* path, const uint8_t* data, uint32_t len, BOOL bSync);

// Deletes the title image and the thumbnail folder that wait for a file.
void XDeleteWaitingImages(const tagRecordFinishInfo& info);

#endif
