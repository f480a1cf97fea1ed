#ifndef RECORD_RECORDSPILLREADER_H
#define RECORD_RECORDSPILLREADER_H

// Reads the spilled packet cache (RecordSpillFormat.h) back from the bytes
// of its two files, which may be cut at any point, garbled or made up.
// Nothing read is trusted: every length is checked before it is used.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Function/types.h"
#include "Record/RecordSpillFormat.h"

struct tagRecordSpillContent {
    // The state of the last whole flush.
    tagRecordSpillState state;
    // The packets of that flush and the ones before it, numbered from
    // state.keep on without a gap, oldest first; their bytes point into the
    // files' bytes handed to Parse.
    std::vector<tagRecordSpillPacket> packets;
    uint32_t records = 0;  // good records of both files
    // What was left out and why; empty when everything was used.
    std::string problem;
};

class CRecordSpillReader {
public:
    // `files` holds the bytes of the two files (either may be empty). 0 when
    // neither holds a whole flush (`problem` says why).
    static BOOL Parse(const std::vector<uint8_t>* const files[2], tagRecordSpillContent& content);
};

#endif
