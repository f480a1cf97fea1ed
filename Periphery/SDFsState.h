#ifndef PERIPHERY_SDFSSTATE_H
#define PERIPHERY_SDFSSTATE_H

#include <cstddef>
#include <cstdint>
#include <functional>

// What a card's file system records of its last unmount.
typedef enum emSDFsState {
    emSDFsState_Unknown = 0,  // nothing readable of that type
    emSDFsState_Clean = 1,
    emSDFsState_Dirty = 2,    // not cleanly unmounted, or errors recorded
} emSDFsState;

// Reads `len` bytes at byte `offset` of the partition; false when it cannot.
typedef std::function<bool(uint64_t offset, uint8_t* buf, size_t len)> SDPartitionReader;

// The state of the file system of type `fstype` ("ext2", "vfat") from its
// first sectors, a few hundred bytes in all:
//  - ext2: the superblock's s_state (1024 + 58, little-endian), dirty when
//    the valid bit (1) is clear or the error bit (2) is set;
//  - FAT: dirty when the boot sector's state byte has its dirty bit set (the
//    Linux driver sets it while mounted) or, on FAT16 and FAT32, FAT[1] has
//    its clean-shutdown or its no-hard-error bit clear.
emSDFsState XSDFsState(const char* fstype, const SDPartitionReader& read);

#endif
