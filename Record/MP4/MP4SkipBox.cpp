#include "Record/MP4/MP4SkipBox.h"

#include "Record/Index/AssociatedData.h"
#include "Function/ByteOrder.h"
#include "Record/MP4/ByteIOFile.h"

#include <cstring>

void XMP4EncodeAsctRecord(const CAssociatedData& data, uint8_t* rec)
{
    rec[0] = static_cast<uint8_t>(data.GetRecType());
    XPutBE32(rec + 1, data.GetRecTime().value);
    XPutBE32(rec + 5, static_cast<uint32_t>(data.GetRecIndex()));
    // The whole 64-byte field as stored, terminator and trailing bytes included.
    memcpy(rec + 9, data.GetGPSPosition(), CAssociatedData::kGPSPositionSize);
}

uint32_t XMP4WriteAsctBox(CByteIOFile* io, const CAssociatedData* list)
{
    int64_t pos = io->BeginBox("asct");
    io->PutBE32(0);
    int64_t countPos = io->URLFTell();
    // Patched once the records are written.
    io->PutBE32(0);
    uint32_t count = 0;
    for (const CAssociatedData* p = list; p != nullptr; p = p->GetNext()) {
        uint8_t rec[MP4_ASCT_RECORD_SIZE];
        XMP4EncodeAsctRecord(*p, rec);
        io->PutBuffer(rec, sizeof(rec));
        count++;
    }
    io->PatchBE32(countPos, count);
    io->UpdateSize(pos);
    return count;
}
