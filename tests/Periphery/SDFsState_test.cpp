// The card's clean-unmount marks, read from file-system images made and
// checked by the machine's own tools (mkfs.ext2 / e2fsck, mkfs.fat / fsck.fat).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "Function/ByteOrder.h"
#include "Function/common.h"
#include "Periphery/SDFsState.h"
#include "support/TestBoard.h"

namespace {

// An image file read as the manager reads a partition.
class CImage {
public:
    CImage(const CTestBoard& board, const std::string& name) : m_strPath(board.Path("/card/" + name)) {}

    // Makes the image with `mkfs` (the path follows its options) on `mb` MiB.
    bool Make(const std::string& mkfs, unsigned mb) const
    {
        int st = -1;
        XTestRun("truncate -s " + std::to_string(mb) + "M " + XShellQuote(m_strPath) + " && " + mkfs + " " +
                     XShellQuote(m_strPath) + " >/dev/null 2>&1",
                 &st);
        return st == 0;
    }
    // A check tool's exit status on the image.
    int Run(const std::string& tool) const
    {
        int st = -1;
        XTestRun(tool + " " + XShellQuote(m_strPath) + " >/dev/null 2>&1", &st);
        return st;
    }
    std::vector<uint8_t> Read(uint64_t offset, size_t len) const
    {
        std::vector<uint8_t> buf(len);
        int fd = open(m_strPath.c_str(), O_RDONLY | O_CLOEXEC);
        ssize_t n = fd >= 0 ? pread(fd, buf.data(), len, static_cast<off_t>(offset)) : -1;
        if (fd >= 0) {
            close(fd);
        }
        buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return buf;
    }
    void Write(uint64_t offset, const std::vector<uint8_t>& bytes) const
    {
        int fd = open(m_strPath.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
                  static_cast<ssize_t>(bytes.size()));
        close(fd);
    }
    emSDFsState State(const char* fstype) const
    {
        return XSDFsState(fstype, [this](uint64_t offset, uint8_t* buf, size_t len) {
            std::vector<uint8_t> got = Read(offset, len);
            if (got.size() != len) {
                return false;
            }
            memcpy(buf, got.data(), len);
            return true;
        });
    }

private:
    std::string m_strPath;
};

const uint64_t kExt2State = 1024 + 58;

std::vector<uint8_t> LE16(uint16_t v)
{
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
}

TEST(SDFsState, Ext2StateField)
{
    CTestBoard board;
    CImage img(board, "ext2.img");
    ASSERT_TRUE(img.Make("mkfs.ext2 -q -F -b 4096", 8));
    EXPECT_EQ(img.State("ext2"), emSDFsState_Clean);
    EXPECT_EQ(XGetLE16(img.Read(kExt2State, 2).data()), 1);

    const struct {
        uint16_t state;
        emSDFsState expected;
    } cases[] = {
        {0, emSDFsState_Dirty},  // mounted read-write, never unmounted
        {1, emSDFsState_Clean},
        {2, emSDFsState_Dirty},  // errors recorded
        {3, emSDFsState_Dirty},
        {5, emSDFsState_Clean},  // other bits do not count
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        img.Write(kExt2State, LE16(c.state));
        EXPECT_EQ(img.State("ext2"), c.expected);
    }
    // the tool agrees: it forces a check of what is dirty here, and leaves it clean
    img.Write(kExt2State, LE16(0));
    EXPECT_EQ(img.Run("e2fsck -p"), 1);
    EXPECT_EQ(img.State("ext2"), emSDFsState_Clean);
    EXPECT_EQ(img.Run("e2fsck -p"), 0);

    // no ext2 superblock: nothing to say
    img.Write(1024 + 56, LE16(0x1234));
    EXPECT_EQ(img.State("ext2"), emSDFsState_Unknown);
}

TEST(SDFsState, FatShutdownMarks)
{
    // FAT[1]'s clean-shutdown and no-hard-error bits, as bytes past FAT[1]'s start
    struct tagFat {
        const char* mkfs;
        unsigned mb;
        size_t stateAt;     // the boot sector's state byte
        size_t entryBytes;  // FAT12 has no shutdown bits
    };
    const tagFat fats[] = {
        {"mkfs.fat -F 12", 4, 37, 0},
        {"mkfs.fat -F 16", 32, 37, 2},
        {"mkfs.fat -F 32", 64, 65, 4},
    };
    CTestBoard board;
    for (const tagFat& f : fats) {
        SCOPED_TRACE(f.mkfs);
        CImage img(board, "fat.img");
        XTestRun("rm -f " + XShellQuote(board.Path("/card/fat.img")));
        ASSERT_TRUE(img.Make(f.mkfs, f.mb));
        EXPECT_EQ(img.State("vfat"), emSDFsState_Clean);
        const std::vector<uint8_t> boot = img.Read(0, 512);
        ASSERT_EQ(boot.size(), 512u);
        const uint64_t fat1 = static_cast<uint64_t>(XGetLE16(&boot[14])) * XGetLE16(&boot[11]) + f.entryBytes;

        // the boot sector's dirty mark, and the tool removing it
        img.Write(f.stateAt, {static_cast<uint8_t>(boot[f.stateAt] | 1)});
        EXPECT_EQ(img.State("vfat"), emSDFsState_Dirty);
        EXPECT_EQ(img.Run("fsck.fat -a"), 1);
        EXPECT_EQ(img.State("vfat"), emSDFsState_Clean);
        EXPECT_EQ(img.Run("fsck.fat -a"), 0);
        if (f.entryBytes == 0) {
            continue;
        }
        // FAT[1]: clean-shutdown bit (the top one), then no-hard-error bit
        const uint64_t top = fat1 + f.entryBytes - 1;
        const uint8_t clean = f.entryBytes == 2 ? 0x80 : 0x08;
        const uint8_t noError = f.entryBytes == 2 ? 0x40 : 0x04;
        const std::vector<uint8_t> entry = img.Read(top, 1);
        for (uint8_t bit : {clean, noError}) {
            SCOPED_TRACE(static_cast<int>(bit));
            img.Write(top, {static_cast<uint8_t>(entry[0] & ~bit)});
            EXPECT_EQ(img.State("vfat"), emSDFsState_Dirty);
            img.Write(top, entry);
            EXPECT_EQ(img.State("vfat"), emSDFsState_Clean);
        }
        img.Write(top, {static_cast<uint8_t>(entry[0] & ~clean)});
        EXPECT_EQ(img.Run("fsck.fat -a"), 1);
        EXPECT_EQ(img.State("vfat"), emSDFsState_Clean);
    }
}

TEST(SDFsState, NothingToReadIsUnknown)
{
    CTestBoard board;
    CImage empty(board, "empty.img");
    ASSERT_TRUE(empty.Make("true", 0));
    CImage zeros(board, "zeros.img");
    ASSERT_TRUE(zeros.Make("true", 1));
    CImage ext2(board, "ext2.img");
    ASSERT_TRUE(ext2.Make("mkfs.ext2 -q -F", 2));
    for (const char* fs : {"ext2", "vfat"}) {
        SCOPED_TRACE(fs);
        EXPECT_EQ(empty.State(fs), emSDFsState_Unknown);
        EXPECT_EQ(zeros.State(fs), emSDFsState_Unknown);
    }
    // a file system of another type, or a type this reader does not know
    EXPECT_EQ(ext2.State("vfat"), emSDFsState_Unknown);
    EXPECT_EQ(ext2.State("ntfs"), emSDFsState_Unknown);
    EXPECT_EQ(ext2.State(nullptr), emSDFsState_Unknown);
    EXPECT_EQ(XSDFsState("ext2", SDPartitionReader()), emSDFsState_Unknown);

    // a boot sector whose figures cannot hold a FAT
    CImage fat(board, "fat.img");
    ASSERT_TRUE(fat.Make("mkfs.fat -F 16", 32));
    const std::vector<uint8_t> boot = fat.Read(0, 512);
    const struct {
        size_t at;
        std::vector<uint8_t> bytes;
    } broken[] = {
        {11, LE16(300)},   // bytes per sector not a power of two
        {13, {3}},         // sectors per cluster not a power of two
        {14, LE16(0)},     // no reserved sectors
        {16, {0}},         // no FAT
        {22, LE16(0)},     // FAT size 0 (and none in the FAT32 field)
        {19, LE16(8)},     // fewer sectors than the FATs take
        {510, {0x55, 0}},  // no boot signature
    };
    for (const auto& b : broken) {
        SCOPED_TRACE(b.at);
        fat.Write(b.at, b.bytes);
        EXPECT_EQ(fat.State("vfat"), emSDFsState_Unknown);
        fat.Write(0, boot);
    }
    EXPECT_EQ(fat.State("vfat"), emSDFsState_Clean);
}

}  // namespace
