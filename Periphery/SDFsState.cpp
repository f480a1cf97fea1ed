#include "Periphery/SDFsState.h"

#include <strings.h>

#include "Function/ByteOrder.h"

namespace {

const uint64_t kExt2SuperblockAt = 1024;
const size_t kExt2StateField = 58;
const uint16_t kExt2Magic = 0xEF53;
const uint16_t kExt2ValidFs = 1;
const uint16_t kExt2ErrorFs = 2;

const size_t kFatBootSize = 512;
const uint8_t kFatStateDirty = 0x01;       // the Linux driver's mark while mounted
const uint16_t kFat16CleanShutdown = 0x8000;
const uint16_t kFat16NoHardError = 0x4000;
const uint32_t kFat32CleanShutdown = 0x08000000;
const uint32_t kFat32NoHardError = 0x04000000;

emSDFsState Ext2State(const SDPartitionReader& read)
{
    uint8_t sb[kExt2StateField + 2];
    if (!read(kExt2SuperblockAt, sb, sizeof(sb)) || XGetLE16(sb + 56) != kExt2Magic) {
        return emSDFsState_Unknown;
    }
    const uint16_t state = XGetLE16(sb + kExt2StateField);
    return (state & kExt2ValidFs) == 0 || (state & kExt2ErrorFs) != 0 ? emSDFsState_Dirty : emSDFsState_Clean;
}

bool PowerOfTwo(uint32_t v)
{
    return v != 0 && (v & (v - 1)) == 0;
}

emSDFsState FatState(const SDPartitionReader& read)
{
    uint8_t boot[kFatBootSize];
    if (!read(0, boot, sizeof(boot)) || boot[510] != 0x55 || boot[511] != 0xAA) {
        return emSDFsState_Unknown;
    }
    const uint32_t bytesPerSector = XGetLE16(boot + 11);
    const uint32_t sectorsPerCluster = boot[13];
    const uint32_t reserved = XGetLE16(boot + 14);
    const uint32_t fats = boot[16];
    const uint32_t rootEntries = XGetLE16(boot + 17);
    const uint32_t total = XGetLE16(boot + 19) != 0 ? XGetLE16(boot + 19) : XGetLE32(boot + 32);
    const uint32_t fatSectors = XGetLE16(boot + 22) != 0 ? XGetLE16(boot + 22) : XGetLE32(boot + 36);
    if (bytesPerSector < 512 || bytesPerSector > 4096 || !PowerOfTwo(bytesPerSector) ||
        !PowerOfTwo(sectorsPerCluster) || reserved == 0 || fats == 0 || fatSectors == 0) {
        return emSDFsState_Unknown;
    }
    const uint64_t rootSectors = (static_cast<uint64_t>(rootEntries) * 32 + bytesPerSector - 1) / bytesPerSector;
    const uint64_t overhead = reserved + static_cast<uint64_t>(fats) * fatSectors + rootSectors;
    if (total <= overhead) {
        return emSDFsState_Unknown;
    }
    const uint64_t clusters = (total - overhead) / sectorsPerCluster;
    const bool fat32 = clusters >= 65525;
    const bool fat12 = clusters < 4085;
    if ((boot[fat32 ? 65 : 37] & kFatStateDirty) != 0) {
        return emSDFsState_Dirty;
    }
    if (fat12) {
        return emSDFsState_Clean;  // FAT12 keeps no shutdown bits
    }
    uint8_t entries[8];
    if (!read(static_cast<uint64_t>(reserved) * bytesPerSector, entries, sizeof(entries))) {
        return emSDFsState_Unknown;
    }
    bool clean = false;
    if (fat32) {
        const uint32_t e = XGetLE32(entries + 4);
        clean = (e & kFat32CleanShutdown) != 0 && (e & kFat32NoHardError) != 0;
    } else {
        const uint16_t e = XGetLE16(entries + 2);
        clean = (e & kFat16CleanShutdown) != 0 && (e & kFat16NoHardError) != 0;
    }
    return clean ? emSDFsState_Clean : emSDFsState_Dirty;
}

}  // namespace

emSDFsState XSDFsState(const char* fstype, const SDPartitionReader& read)
{
    if (fstype == nullptr || !read) {
        return emSDFsState_Unknown;
    }
    if (strcasecmp(fstype, "ext2") == 0) {
        return Ext2State(read);
    }
    if (strcasecmp(fstype, "vfat") == 0 || strcasecmp(fstype, "msdos") == 0) {
        return FatState(read);
    }
    return emSDFsState_Unknown;
}
