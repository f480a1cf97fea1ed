#ifndef TESTS_SUPPORT_CARDRIG_H
#define TESTS_SUPPORT_CARDRIG_H

#include <cstdint>
#include <string>

class CTestBoard;

// The board's card image on real loop devices, for the life of the object:
// /dev/loopD for the whole card and /dev/loopP for its first partition (the
// host kernel has no partition tables), linked in as the board's
// /dev/mmcblk0 and /dev/mmcblk0p1, with /sys/block/loopD behind the board's
// /sys/block/mmcblk0 and the kernel's mount table behind its /proc/mounts.
//
// The process first moves to a mount namespace of its own with every mount
// private, so no mount reaches the machine's table. The loop devices are
// set to clear themselves on their last close, and a detached guard process
// makes them writable again when this process ends in any way (even killed),
// so nothing of the rig is left behind.
class CCardRig {
public:
    // Why the rig cannot run here (not root, no loop devices, no private
    // mount namespace, no mkfs.ext2), or empty when it can.
    static std::string Unavailable();

    // Makes a fresh card image of `card_mb` MiB (0: keep the board's) and
    // puts it on loop devices. Check Ok() before use.
    explicit CCardRig(const CTestBoard& board, unsigned card_mb = 0);
    ~CCardRig();
    CCardRig(const CCardRig&) = delete;
    CCardRig& operator=(const CCardRig&) = delete;

    bool Ok() const { return m_strError.empty(); }
    const std::string& Error() const { return m_strError; }

    const std::string& DiskDevice() const { return m_strDisk; }
    const std::string& PartitionDevice() const { return m_strPart; }
    const std::string& Image() const { return m_strImage; }
    // The card's mount folder on the board (DIR/tmp/mmc0).
    std::string MountDir() const;

    // Takes the board's partition node away / puts it back.
    void RemovePartitionNode() const;
    void RestorePartitionNode() const;
    // blockdev --setro / --setrw on both loop devices.
    void SetBlockReadOnly(bool ro) const;
    // UUID of the partition's ext2 file system, read from the image file.
    std::string Uuid() const;
    // The ext2 superblock's state field (bit 1: cleanly unmounted), through
    // the partition's loop device; -1 when it cannot be read or written.
    int FsState() const;
    bool SetFsState(uint16_t state) const;
    // Copies what has reached the card so far (the partition's part of the
    // image file, as a cut of the power would leave it) into `file`, and
    // writes such a copy back over the partition (not mounted) through its
    // loop device.
    bool SavePartition(const std::string& file) const;
    bool LoadPartition(const std::string& file) const;

    // The loop device numbers this process set up and still has.
    static int LiveLoopDevices(const std::string& image);

private:
    bool Attach(long long offset, long long size, std::string& dev, int& fd);
    void StartGuard();
    void Link(const std::string& boardPath, const std::string& target) const;

    const CTestBoard& m_Board;
    std::string m_strError;
    std::string m_strImage;
    std::string m_strDisk;
    std::string m_strPart;
    int m_fdDisk;
    int m_fdPart;
    int m_fdGuard;   // write end of the guard's pipe
};

#endif
