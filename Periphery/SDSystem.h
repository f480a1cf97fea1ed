#ifndef PERIPHERY_SDSYSTEM_H
#define PERIPHERY_SDSYSTEM_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "Function/types.h"

// File-system figures of a mounted card.
typedef struct tagSDFsInfo {
    uint32_t block_size;   // bytes
    uint64_t total_bytes;  // all blocks
    uint64_t free_bytes;   // all free blocks
} SDFsInfo;

// What the SD card manager asks of the system: the SD controller's register
// words, mount and unmount, file-system figures, the mount table, the
// partition's first bytes, shell commands and the pause between retries.
// Paths handed in are already resolved (XBoardPath). This class is the real
// system; tests derive from it to replace single calls.
class CSDSystem {
public:
    CSDSystem() = default;
    virtual ~CSDSystem() = default;
    CSDSystem(const CSDSystem&) = delete;
    CSDSystem& operator=(const CSDSystem&) = delete;

    // The 32-bit word at a physical address (CGPIOManager::ReadPhyAddr).
    virtual BOOL ReadPhyAddr(unsigned phy_addr, int& value);
    // Mounts `dev` on `dir`; `err` gets the error number on failure.
    virtual BOOL Mount(const char* dev, const char* dir, const char* fstype, BOOL bReadOnly, int& err);
    // Unmounts the folder `dir`; bDetach: lazily.
    virtual BOOL Umount(const char* dir, BOOL bDetach, int& err);
    // Block size, total and free bytes of the file system holding `dir`.
    virtual BOOL StatFs(const char* dir, SDFsInfo& info);
    // The whole text of the mount table file `path`; 0 when it cannot be read.
    virtual BOOL ReadMountTable(const char* path, std::string& text);
    // Reads `len` bytes at byte `offset` of the partition `dev`, unless a
    // file system still holds it (mounted, or detached and not yet let go):
    // 0, EBUSY then, or another error number (EIO for a failed or short read).
    virtual int ReadPartition(const char* dev, uint64_t offset, void* buf, size_t len);
    // Runs a shell command; its status as ExecCommand gives it (0: exit 0).
    virtual int Exec(const char* cmd);
    virtual void Sleep(unsigned ms);
};

#endif
