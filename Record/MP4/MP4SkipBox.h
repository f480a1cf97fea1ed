#ifndef RECORD_MP4_MP4SKIPBOX_H
#define RECORD_MP4_MP4SKIPBOX_H

// The snapshot part of the alarm file's private skip box.

#include <cstdint>

class CByteIOFile;
class CAssociatedData;

// Bytes of one asct record: type letter, RECTIME, collision index, GPS text.
#define MP4_ASCT_RECORD_SIZE 73

// One asct record of `data` into `rec` (MP4_ASCT_RECORD_SIZE bytes).
void XMP4EncodeAsctRecord(const CAssociatedData& data, uint8_t* rec);

// Writes the asct child for every record of `list` in list order: size,
// "asct", 4 zero bytes, the record count, then the records. Returns the
// number of records written.
uint32_t XMP4WriteAsctBox(CByteIOFile* io, const CAssociatedData* list);

#endif
