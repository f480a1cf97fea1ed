#ifndef RECORD_MP4_MP4BOXHEADER_H
#define RECORD_MP4_MP4BOXHEADER_H

// The header of a box read back from a file: 32-bit size and type, or size
// 1 and a 64-bit size after the type.

#include <cstdint>

#include "Function/types.h"

struct tagMP4BoxHeader {
    uint64_t size;    // the whole box
    uint32_t header;  // 8 or 16
    char type[5];
};

// The box at `pos` of a file of `fileSize` bytes; 0 when its header cannot
// be read or its size is below its header or runs past the file's end.
BOOL XMP4ReadBoxHeader(int fd, uint64_t pos, uint64_t fileSize, tagMP4BoxHeader& box);

#endif
