#include "Record/MP4/MP4SkipBox.h"

#include "Record/Index/AssociatedData.h"
#include "Record/MP4/ByteIOFile.h"

uint32_t XMP4WriteAsctBox(CByteIOFile* io, const CAssociatedData* list)
{
    int64_t pos = io->BeginBox("asct");
    io->PutBE32(0);
    int64_t countPos = io->URLFTell();
    // Patched once the records are written.
    io->PutBE32(0);
    uint32_t count = 0;
    for (const CAssociatedData* p = list; p != nullptr; p = p->GetNext()) {
        io->PutByte(static_cast<uint8_t>(p->GetRecType()));
        io->PutBE32(p->GetRecTime().value);
        io->PutBE32(static_cast<uint32_t>(p->GetRecIndex()));
        // The whole 64-byte field as stored, terminator and trailing bytes included.
        io->PutBuffer(p->GetGPSPosition(), CAssociatedData::kGPSPositionSize);
        count++;
    }
    io->PatchBE32(countPos, count);
    io->UpdateSize(pos);
    return count;
}
