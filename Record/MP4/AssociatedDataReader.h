#ifndef RECORD_MP4_ASSOCIATEDDATAREADER_H
#define RECORD_MP4_ASSOCIATEDDATAREADER_H

// Reads the private skip box of an alarm video back: the trigger mask of its
// altg child and the snapshot records of its asct child.

#include <cstdint>

#include "Function/types.h"
#include "Record/Index/AssociatedData.h"

class CAssociatedDataReader {
public:
    // Records kept from one file; further ones are skipped.
    static constexpr uint32_t kMaxRecords = 256;
    // Largest skip box payload read (a full asct of kMaxRecords is 18 KiB).
    static constexpr uint64_t kMaxSkipPayload = 1u << 20;

    // Top-level boxes looked at for the skip box. The writer puts it right
    // after mdat: the fifth box (ftyp, free, free, mdat), the fourth when
    // mdat has a 64-bit size.
    static constexpr uint32_t kMaxTopBoxes = 8;

    // Walks the top-level boxes of `path` to its skip box, at most
    // kMaxTopBoxes of them and never past moov. 1 when the box was
    // read whole and well formed: `trigger` gets the mask (0 without altg)
    // and `list` the records from the pool in file order (null without asct;
    // the caller owns them). Otherwise 0 with `trigger` 0 and `list` null:
    // no record of a truncated or malformed box is kept, nor of a file whose
    // skip box is not found within that bound. Children other than altg and
    // asct are skipped over.
    static BOOL GetAlarmVideoFileAssociatedData(const char* path, uint32_t* trigger, CAssociatedData** list);
    // `count` asct records of 73 bytes as a list from the pool, in their
    // order (at most kMaxRecords); 0 with `list` null when a record is
    // refused (an index above 255) or the pool is empty.
    static BOOL DecodeRecords(const uint8_t* data, uint32_t count, CAssociatedData** list);
};

#endif
