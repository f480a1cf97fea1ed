#include "Record/MP4/MP4BoxHeader.h"

#include <cstring>

#include "Function/ByteOrder.h"
#include "Function/common.h"

BOOL XMP4ReadBoxHeader(int fd, uint64_t pos, uint64_t fileSize, tagMP4BoxHeader& box)
{
    uint8_t head[16];
    if (pos > fileSize || fileSize - pos < 8 || !XReadAt(fd, pos, head, 8)) {
        return 0;
    }
    box.size = XGetBE32(head);
    box.header = 8;
    if (box.size == 1) {
        if (fileSize - pos < 16 || !XReadAt(fd, pos + 8, head + 8, 8)) {
            return 0;
        }
        box.size = (static_cast<uint64_t>(XGetBE32(head + 8)) << 32) | XGetBE32(head + 12);
        box.header = 16;
    }
    memcpy(box.type, head + 4, 4);
    box.type[4] = '\0';
    return box.size >= box.header && box.size <= fileSize - pos;
}
