#ifndef RECORD_RECORDRECOVERY_H
#define RECORD_RECORDRECOVERY_H

// The packer's side of the card scan's recovery: videos cut off by a power
// loss finished from their journals (RecordRecovery.cpp) and from the
// spilled packet cache (RecordSpillRecovery.cpp).

#include <string>

#include "Function/types.h"
#include "Record/Index/RecordFileIndex.h"
#include "Record/Index/RecordFileName.h"
#include "Record/MP4/MP4Recovery.h"

class CRecordPacker;

// The indexes and folders of one card scan.
struct tagRecoveryPlace {
    CRecordPacker* lpPacker;
    std::string strRoot;  // card root with "/"
    std::string strTmp;   // where title images and thumbnails wait
    CRecordFileIndex* lpCommon;
    CRecordFileIndex* lpAlarm;
    CRecordFileIndex* lpImage;
};

// A video whose trailer was written now, still under its recording name of
// `fields`: its final name, title image and thumbnails as the packer gives
// them (nothing entered in an index). 1 with the bare final name.
BOOL XPlaceRecoveredVideo(const tagRecoveryPlace& place, const RecFileNameFields& fields,
                          const tagMP4RecoveryResult& r, std::string& finalName);

// Before the folders are scanned: the video open at the cut goes on with the
// packets the spill holds after its journal, the file an alarm had asked for
// is begun where the engine would have begun it, and what the spill gave is
// finished; the spill files are deleted afterwards.
void XRecoverSpill(const tagRecoveryPlace& place);

#endif
