#ifndef PLATFORM_CARD_H
#define PLATFORM_CARD_H

// The SD card's file system and its mount and unmount calls.
//
// On the camera the card is mounted as "vfat" with the plain system calls.
// On the simulated board the host kernel has no vfat: the card is "ext2", and
// the calls only ever act inside the board folder:
//  - the target must lie under the board root;
//  - a block device is mounted for real only when it is a loop device backed
//    by a file under the board folder and the process runs in the board's own
//    mount namespace (the one named in DIR/card/mntns by the card rig), so
//    nothing reaches the machine's mount table;
//  - a regular file under the board as source is the plain folder card: the
//    mount is a line in the board's mount table file DIR/proc/mounts and the
//    target folder itself holds the card's files.

// File-system type of the card.
const char* PlatformCardFsType();

// mount(2) of `source` on `target` (both resolved paths) with no data;
// bReadOnly adds the read-only flag. 0 or an error number (errno values).
int PlatformCardMount(const char* source, const char* target, const char* fstype, int bReadOnly);

// umount2(2) of the `target` folder; bDetach makes it lazy (detach now, drop
// when no longer busy). 0 or an error number.
int PlatformCardUmount(const char* target, int bDetach);

// The file-system check in its automatic repair mode, the program and its
// options, run through the shell with the partition after them: "fsck.vfat -a"
// on the camera; "e2fsck -p" on the simulated board, where the board's
// stand-in runs it on the board's own card only.
const char* PlatformCardCheckCommand();

// The highest exit code of that check that means errors found and repaired
// (0: no errors; above it: errors left, or the check did not run).
int PlatformCardCheckRepairedMax();

#endif
