// The SD card manager on a real card: an ext2 image on loop devices, mounted
// inside a private mount namespace.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Main/SupervisionLoop.h"
#include "Periphery/GPIO.h"
#include "Periphery/SDManager.h"
#include "Periphery/SDRecordClient.h"
#include "Periphery/SDSystem.h"
#include "Platform/BoardRoot.h"
#include "Platform/Card.h"
#include "PlayAudio/PcmIndex.h"
#include "support/CardRig.h"
#include "support/TestBoard.h"
#include "tests/Main/FakeLoopServices.h"
#include "tests/Periphery/SDTestSupport.h"

namespace {

const int I = emSDState_Insert;
const int M = emSDState_Mount;
const int RO = emSDState_ReadOnly;
const int WP = emSDState_WriteProtect;

// The camera's own system calls, with the retry pause counted, not slept.
class CCountingSystem : public CSDSystem {
public:
    void Sleep(unsigned) override { ++m_nSleeps; }
    std::atomic<int> m_nSleeps{0};
};

std::string Trim(std::string s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) {
        s.pop_back();
    }
    return s;
}

std::string RealPath(const std::string& p)
{
    char buf[PATH_MAX];
    return realpath(p.c_str(), buf) ? std::string(buf) : p;
}

std::vector<std::string> List(const std::string& dir)
{
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) {
        return names;
    }
    while (struct dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") {
            names.push_back(n);
        }
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

// ext2 takes its blocks at write time: statfs counts them without a sync.
bool WriteFile(const std::string& path, size_t bytes, bool sync = true)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    std::vector<char> chunk(1 << 20, 'x');
    size_t left = bytes;
    bool ok = true;
    while (left > 0 && ok) {
        size_t n = std::min(left, chunk.size());
        ok = write(fd, chunk.data(), n) == static_cast<ssize_t>(n);
        left -= n;
    }
    ok = (!sync || fsync(fd) == 0) && ok;
    close(fd);
    return ok;
}

uint64_t FreeBytes(const std::string& dir)
{
    struct statvfs sv;
    if (statvfs(dir.c_str(), &sv) != 0) {
        return 0;
    }
    return static_cast<uint64_t>(sv.f_bfree) * sv.f_frsize;
}

// A fresh board, its card on the rig, and a manager on the camera's system
// calls. The test is skipped, with the reason, where the rig cannot run.
class SDCardTest : public ::testing::Test {
protected:
    virtual unsigned CardMB() const { return 64; }

    void SetUp() override
    {
        const std::string why = CCardRig::Unavailable();
        if (!why.empty()) {
            GTEST_SKIP() << why;
        }
        m_Rig.reset(new CCardRig(m_Board, CardMB()));
        ASSERT_TRUE(m_Rig->Ok()) << m_Rig->Error();
        CGPIOManager::instance()->CleanUp();
        m_SD.reset(new CSDManager(&m_Sys));
        ASSERT_TRUE(m_SD->RegisterSDStateCallback(SDStateLog::Record, &m_Log));
    }

    void TearDown() override
    {
        m_SD.reset();
        if (m_Rig) {
            const std::string image = m_Rig->Image();
            m_Rig.reset();
            EXPECT_EQ(CCardRig::LiveLoopDevices(image), 0);
            EXPECT_EQ(XTestRun("losetup -a").find(image), std::string::npos);
        }
        CGPIOManager::instance()->CleanUp();
    }

    int Poll(std::string* out = nullptr)
    {
        testing::internal::CaptureStdout();
        int r = m_SD->CheckSDCard();
        std::string o = testing::internal::GetCapturedStdout();
        if (out != nullptr) {
            *out = o;
        }
        return r;
    }
    int Format()
    {
        testing::internal::CaptureStdout();
        int r = m_SD->Format();
        testing::internal::GetCapturedStdout();
        return r;
    }
    // The card's folder on the board, through the path the manager hands out.
    std::string Card()
    {
        char path[257];
        EXPECT_TRUE(m_SD->GetSDMountPath(path, sizeof(path)));
        return XBoardPath(path);
    }
    std::string Dir() const { return m_Rig->MountDir(); }
    // findmnt's view of the mount folder: "SOURCE FSTYPE OPTIONS", or empty.
    std::string Findmnt() const
    {
        return Trim(XTestRun("findmnt -n -r -o SOURCE,FSTYPE,OPTIONS --mountpoint " + Dir()));
    }
    std::vector<std::string> CommandsSince(size_t mark) const
    {
        std::istringstream in(m_Board.Commands());
        std::vector<std::string> lines;
        std::string l;
        while (std::getline(in, l)) {
            lines.push_back(l);
        }
        return std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(std::min(mark, lines.size())),
                                        lines.end());
    }
    size_t CommandCount() const { return CommandsSince(0).size(); }

    CTestBoard m_Board;
    std::unique_ptr<CCardRig> m_Rig;
    CCountingSystem m_Sys;
    std::unique_ptr<CSDManager> m_SD;
    SDStateLog m_Log;
};

TEST_F(SDCardTest, CardAtBootIsMountedAsTheToolsSeeIt)
{
    std::string out;
    ASSERT_EQ(Poll(&out), I | M);
    EXPECT_EQ(m_Log.States(), std::vector<int>({I | M}));
    EXPECT_NE(out.find("SD Card Mounted.Block Size:4096 Byte\n"), std::string::npos) << out;

    std::istringstream mnt(Findmnt());
    std::string source, fstype, options;
    mnt >> source >> fstype >> options;
    EXPECT_EQ(RealPath(source), m_Rig->PartitionDevice());
    EXPECT_EQ(fstype, "ext2");
    EXPECT_EQ(options.compare(0, 3, "rw,"), 0) << options;

    // stat -f and the manager agree on the figures
    uint64_t total = 0, freeBytes = 0;
    ASSERT_TRUE(m_SD->GetDiskSpaceInfo(&total, &freeBytes));
    std::istringstream st(XTestRun("stat -f -c '%b %f %S' " + Dir()));
    uint64_t blocks = 0, freeBlocks = 0, size = 0;
    st >> blocks >> freeBlocks >> size;
    EXPECT_EQ(total, blocks * size);
    EXPECT_EQ(freeBytes, freeBlocks * size);

    // what is written through the handed-out path lands on the card
    ASSERT_TRUE(WriteFile(Card() + "probe.bin", 1 << 20));
    uint64_t after = 0;
    ASSERT_TRUE(m_SD->GetDiskSpaceInfo(&total, &after));
    EXPECT_LE(after + (1 << 20), freeBytes);
}

TEST_F(SDCardTest, LatePartitionNodeIsRetried)
{
    m_Rig->RemovePartitionNode();
    EXPECT_EQ(Poll(), 0);
    EXPECT_EQ(Poll(), 0);
    EXPECT_TRUE(m_Log.States().empty());
    EXPECT_EQ(Findmnt(), "");
    m_Rig->RestorePartitionNode();
    EXPECT_EQ(Poll(), I | M);
    EXPECT_EQ(m_Log.States(), std::vector<int>({I | M}));
    EXPECT_NE(Findmnt(), "");
}

TEST_F(SDCardTest, ReadOnlyRemountIsFixedByOneRemount)
{
    ASSERT_EQ(Poll(), I | M);
    const size_t mark = CommandCount();
    int st = -1;
    XTestRun("mount -o remount,ro " + Dir(), &st);
    ASSERT_EQ(st, 0);
    ASSERT_NE(Findmnt().find(" ro,"), std::string::npos) << Findmnt();
    EXPECT_EQ(Poll(), I | M);
    EXPECT_EQ(CommandsSince(mark), std::vector<std::string>({"mount -oremount,rw " + Dir()}));
    EXPECT_NE(Findmnt().find(" rw,"), std::string::npos) << Findmnt();
    EXPECT_EQ(m_Log.States(), std::vector<int>({I | M}));
}

TEST_F(SDCardTest, BlockLevelReadOnlyCardEndsReadOnly)
{
    ASSERT_EQ(Poll(), I | M);
    m_Rig->SetBlockReadOnly(true);
    XTestRun("mount -o remount,ro " + Dir());  // as the kernel does on the first write error
    EXPECT_EQ(Poll(), I | M | RO);
    EXPECT_EQ(m_Log.States(), std::vector<int>({I | M, I | M | RO}));

    // taken out and put back read-only: mounted read-only at once
    m_Board.Sim("card", "remove");
    EXPECT_EQ(Poll(), RO);
    m_Board.Sim("card", "insert");
    EXPECT_EQ(Poll(), I | M | RO);
    EXPECT_NE(Findmnt().find(" ro,"), std::string::npos) << Findmnt();

    m_Rig->SetBlockReadOnly(false);
    m_Board.Sim("card", "remove");
    Poll();
    m_Board.Sim("card", "insert");
    EXPECT_EQ(Poll(), I | M);
}

TEST_F(SDCardTest, RemovalWithAFileHeldOpenDoesNotStall)
{
    ASSERT_EQ(Poll(), I | M);
    const std::string held = Card() + "recording.mp4";
    int fd = open(held.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "moov", 4), 4);

    m_Board.Sim("card", "remove");
    EXPECT_EQ(Poll(), 0);
    EXPECT_EQ(m_Sys.m_nSleeps.load(), 0);   // no retry pauses on the supervision loop
    EXPECT_EQ(Findmnt(), "");               // detached at once
    EXPECT_EQ(m_Log.States(), std::vector<int>({I | M, 0, 0}));

    m_Board.Sim("card", "insert");
    EXPECT_EQ(Poll(), I | M);
    EXPECT_NE(Findmnt(), "");
    EXPECT_EQ(write(fd, "mdat", 4), 4);
    close(fd);
    EXPECT_EQ(m_Log.States(), std::vector<int>({I | M, 0, 0, I | M}));
}

TEST_F(SDCardTest, WriteProtectSwitchIsReportedAtInsertion)
{
    const struct {
        const char* sw;
        int state;
    } cases[] = {{"on", I | M | WP}, {"off", I | M}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sw);
        m_Board.Sim("card", "remove");
        Poll();
        m_Board.Sim("card", std::string("protect ") + c.sw);
        m_Board.Sim("card", "insert");
        EXPECT_EQ(Poll(), c.state);
    }
}

TEST_F(SDCardTest, FormatMakesAFreshFileSystem)
{
    ASSERT_EQ(Poll(), I | M);
    ASSERT_TRUE(WriteFile(Card() + "old.mp4", 4096));
    const std::string before = m_Rig->Uuid();
    ASSERT_EQ(before.size(), 36u) << before;
    const size_t mark = CommandCount();

    EXPECT_EQ(Format(), 0);
    EXPECT_EQ(m_SD->GetSDSate(), 0);
    EXPECT_EQ(Findmnt(), "");
    EXPECT_EQ(CommandsSince(mark), std::vector<std::string>({"mkdosfs -v " + m_Board.Path("/dev/mmcblk0p1")}));
    const std::string after = m_Rig->Uuid();
    EXPECT_EQ(after.size(), 36u) << after;
    EXPECT_NE(after, before);

    EXPECT_EQ(Poll(), I | M);
    EXPECT_EQ(List(Card()), std::vector<std::string>({"lost+found"}));
    EXPECT_EQ(m_Log.States(), std::vector<int>({I | M, I, I | M}));

    // the partition table in front of the partition is untouched
    std::ifstream img(m_Rig->Image(), std::ios::binary);
    unsigned char mbr[512];
    img.read(reinterpret_cast<char*>(mbr), sizeof(mbr));
    EXPECT_EQ(mbr[510], 0x55);
    EXPECT_EQ(mbr[511], 0xAA);
    EXPECT_EQ(mbr[446 + 4], 0x83);
}

TEST_F(SDCardTest, FormatWithAFileHeldOpenFailsAndKeepsTheCard)
{
    ASSERT_EQ(Poll(), I | M);
    const std::string held = Card() + "busy.mp4";
    int fd = open(held.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    const std::string before = m_Rig->Uuid();
    ASSERT_EQ(before.size(), 36u) << before;

    EXPECT_EQ(Format(), -2);
    close(fd);
    EXPECT_EQ(m_Sys.m_nSleeps.load(), 4);    // five tries a second apart
    EXPECT_EQ(m_SD->GetSDSate(), I | M);
    EXPECT_NE(Findmnt(), "");
    EXPECT_EQ(m_Rig->Uuid(), before);
    EXPECT_EQ(List(Card()), std::vector<std::string>({"busy.mp4", "lost+found"}));
    EXPECT_EQ(m_Log.States(), std::vector<int>({I | M, I, I | M}));
    EXPECT_EQ(Poll(), I | M);                 // polling goes on as before
}

TEST_F(SDCardTest, FormatFailsWhenMkdosfsFailsFiveTimes)
{
    ASSERT_EQ(Poll(), I | M);
    ASSERT_TRUE(WriteFile(Card() + "kept.mp4", 4096));
    const std::string before = m_Rig->Uuid();
    ASSERT_EQ(before.size(), 36u) << before;
    m_Board.Sim("standin", "mkdosfs 1 --times 5");
    const size_t mark = CommandCount();
    EXPECT_EQ(Format(), -3);
    EXPECT_EQ(CommandsSince(mark).size(), 5u);
    EXPECT_EQ(m_Rig->Uuid(), before);
    EXPECT_EQ(m_SD->GetSDSate(), 0);
    // the next poll mounts whatever the card holds
    EXPECT_EQ(Poll(), I | M);
    EXPECT_EQ(List(Card()), std::vector<std::string>({"kept.mp4", "lost+found"}));
}

TEST_F(SDCardTest, MkdosfsStandInFormatsOnlyThisBoardsCard)
{
    CTestBoard other;
    CCardRig otherRig(other, 16);
    ASSERT_TRUE(otherRig.Ok()) << otherRig.Error();
    PlatformSetBoardRoot(m_Board.Dir().c_str());   // the other board made itself the root
    const std::string otherUuid = otherRig.Uuid();
    ASSERT_EQ(otherUuid.size(), 36u) << otherUuid;
    const std::string tool = m_Board.Path("/bin/mkdosfs");
    for (const std::string& dev : {otherRig.PartitionDevice(), otherRig.Image(), m_Board.Path("/dev/mem"),
                                   std::string("/dev/null")}) {
        SCOPED_TRACE(dev);
        int st = 0;
        XTestRun(tool + " -v " + dev + " 2>/dev/null", &st);
        EXPECT_NE(st, 0);
    }
    EXPECT_EQ(otherRig.Uuid(), otherUuid);
    const std::string mine = m_Rig->Uuid();
    int st = -1;
    XTestRun(tool + " -v " + m_Board.Path("/dev/mmcblk0p1"), &st);
    EXPECT_EQ(st, 0);
    EXPECT_NE(m_Rig->Uuid(), mine);
}

TEST_F(SDCardTest, RealMountsOnlyOfThisBoardsLoopInItsNamespace)
{
    CTestBoard other;
    CCardRig otherRig(other, 16);
    ASSERT_TRUE(otherRig.Ok()) << otherRig.Error();
    PlatformSetBoardRoot(m_Board.Dir().c_str());
    const std::string node = m_Board.Path("/dev/mmcblk0p1");
    testing::internal::CaptureStderr();
    // another board's card, and another board's folder
    EXPECT_EQ(PlatformCardMount(otherRig.PartitionDevice().c_str(), Dir().c_str(), "ext2", 0), EPERM);
    EXPECT_EQ(PlatformCardMount(node.c_str(), RealPath(other.Path("/tmp/mmc0")).c_str(), "ext2", 0), EPERM);
    // a process outside the board's namespace
    const std::string ns = Trim(XTestRun("cat " + m_Board.Path("/card/mntns")));
    std::ofstream(m_Board.Path("/card/mntns")) << "mnt:[1]\n";
    EXPECT_EQ(PlatformCardMount(node.c_str(), Dir().c_str(), "ext2", 0), EPERM);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(Findmnt(), "");
    std::ofstream(m_Board.Path("/card/mntns")) << ns << "\n";
    EXPECT_EQ(PlatformCardMount(node.c_str(), Dir().c_str(), "ext2", 0), 0);
    EXPECT_NE(Findmnt(), "");
    EXPECT_EQ(PlatformCardUmount(Dir().c_str(), 0), 0);
    EXPECT_EQ(Findmnt(), "");
}

// ---- a card left dirty ----

// The runs of the board's e2fsck stand-in among `commands`.
size_t CheckRuns(const std::vector<std::string>& commands)
{
    return static_cast<size_t>(std::count_if(commands.begin(), commands.end(), [](const std::string& c) {
        return c.compare(0, 7, "e2fsck ") == 0;
    }));
}

TEST_F(SDCardTest, CardCutOffWhileMountedIsCheckedOnceThenMounted)
{
    ASSERT_EQ(Poll(), I | M);
    ASSERT_EQ(m_Rig->FsState(), 0);  // mounted: not clean until unmounted
    ASSERT_TRUE(WriteFile(Card() + "before.bin", 1 << 20));
    XTestRun("sync");
    // what reached the card while it was mounted, as a cut of the power leaves it
    const std::string cut = m_Board.Path("/card/cut.img");
    ASSERT_TRUE(m_Rig->SavePartition(cut));
    ASSERT_TRUE(WriteFile(Card() + "after.bin", 4096));
    const size_t mark = CommandCount();

    // a card taken out is unmounted cleanly: back without a check
    m_Board.Sim("card", "remove");
    EXPECT_EQ(Poll(), 0);
    EXPECT_EQ(m_Rig->FsState(), 1);
    m_Board.Sim("card", "insert");
    EXPECT_EQ(Poll(), I | M);
    EXPECT_EQ(CheckRuns(CommandsSince(mark)), 0u);
    EXPECT_EQ(List(Card()), std::vector<std::string>({"after.bin", "before.bin", "lost+found"}));

    // the card as the cut left it: checked once, then mounted with what was written
    m_Board.Sim("card", "remove");
    EXPECT_EQ(Poll(), 0);
    ASSERT_TRUE(m_Rig->LoadPartition(cut));
    ASSERT_EQ(m_Rig->FsState(), 0);
    m_Board.Sim("card", "insert");
    std::string out;
    EXPECT_EQ(Poll(&out), I | M);
    const std::string node = m_Board.Path("/dev/mmcblk0p1");
    EXPECT_EQ(CheckRuns(CommandsSince(mark)), 1u);
    EXPECT_NE(out.find("SD Card Not Cleanly Unmounted, Checking: e2fsck -p " + node + " \n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("SD Card Checked: "), std::string::npos) << out;
    EXPECT_FALSE(m_SD->GetCardCheckFailed());
    EXPECT_EQ(List(Card()), std::vector<std::string>({"before.bin", "lost+found"}));
    EXPECT_EQ(Trim(XTestRun("wc -c < " + Card() + "before.bin")), "1048576");
    EXPECT_EQ(Trim(XTestRun("tr -d x < " + Card() + "before.bin | wc -c")), "0");
    EXPECT_EQ(m_Log.States(), std::vector<int>({I | M, 0, 0, I | M, 0, 0, I | M}));

    // later polls check nothing
    Poll();
    EXPECT_EQ(CheckRuns(CommandsSince(mark)), 1u);
}

TEST_F(SDCardTest, CardTheCheckCannotRepairIsNotUsed)
{
    ASSERT_EQ(Poll(), I | M);
    ASSERT_TRUE(WriteFile(Card() + "kept.bin", 4096));
    m_Board.Sim("card", "remove");
    ASSERT_EQ(Poll(), 0);

    // two files claiming one block, on a card left dirty: e2fsck -p gives up
    const std::string node = m_Board.Path("/dev/mmcblk0p1");
    const std::string blocks = Trim(XTestRun("debugfs -R 'blocks /kept.bin' " + node + " 2>/dev/null"));
    ASSERT_FALSE(blocks.empty());
    const std::string block = m_Board.Path("/card/block.bin");
    ASSERT_TRUE(WriteFile(block, 4096));
    int st = -1;
    XTestRun("debugfs -w -R 'write " + block + " /twin.bin' " + node + " >/dev/null 2>&1 && debugfs -w -R "
             "'sif /twin.bin block[0] " + blocks + "' " + node + " >/dev/null 2>&1", &st);
    ASSERT_EQ(st, 0);
    ASSERT_TRUE(m_Rig->SetFsState(0));
    const size_t mark = CommandCount();

    m_Board.Sim("card", "insert");
    testing::internal::CaptureStderr();
    std::string out;
    EXPECT_EQ(Poll(&out), I);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Error["), std::string::npos) << err;
    EXPECT_NE(err.find("SD card check failed, the card is not mounted[status=1024]: e2fsck -p " + node),
              std::string::npos) << err;
    EXPECT_NE(out.find("SD Card Mount Error.\n"), std::string::npos) << out;
    EXPECT_TRUE(m_SD->GetCardCheckFailed());
    EXPECT_EQ(Findmnt(), "");
    char path[257];
    EXPECT_FALSE(m_SD->GetSDMountPath(path, sizeof(path)));
    EXPECT_EQ(CheckRuns(CommandsSince(mark)), 1u);
    Poll();
    EXPECT_EQ(CheckRuns(CommandsSince(mark)), 1u);
    EXPECT_EQ(Findmnt(), "");
    // nothing was written to it: still dirty, still cross-linked
    EXPECT_EQ(m_Rig->FsState() & 1, 0);

    // a format makes it usable again
    EXPECT_EQ(Format(), 0);
    EXPECT_FALSE(m_SD->GetCardCheckFailed());
    EXPECT_EQ(Poll(), I | M);
    EXPECT_EQ(CheckRuns(CommandsSince(mark)), 1u);
    EXPECT_EQ(List(Card()), std::vector<std::string>({"lost+found"}));
}

TEST_F(SDCardTest, CheckToldToFailLeavesTheCardOutUntilReinserted)
{
    ASSERT_EQ(Poll(), I | M);
    m_Board.Sim("card", "remove");
    ASSERT_EQ(Poll(), 0);
    ASSERT_TRUE(m_Rig->SetFsState(0));
    const size_t mark = CommandCount();
    const struct {
        int status;
        int state;
    } runs[] = {{8, I}, {4, I}, {0, I | M}};
    for (const auto& r : runs) {
        SCOPED_TRACE(r.status);
        if (r.status != 0) {
            m_Board.Sim("standin", "e2fsck " + std::to_string(r.status) + " --times 1");
        }
        m_Board.Sim("card", "insert");
        testing::internal::CaptureStderr();
        EXPECT_EQ(Poll(), r.state);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(m_SD->GetCardCheckFailed(), (r.state & M) == 0 ? TRUE : FALSE);
        EXPECT_EQ(Findmnt().empty(), (r.state & M) == 0);
        if ((r.state & M) == 0) {
            m_Board.Sim("card", "remove");
            EXPECT_EQ(Poll(), 0);
        }
    }
    // the stand-in ran the machine's e2fsck the last time only
    EXPECT_EQ(CheckRuns(CommandsSince(mark)), 3u);
    EXPECT_EQ(m_Log.States(), std::vector<int>({I | M, 0, 0, I, 0, I, 0, I | M}));
}

TEST_F(SDCardTest, CheckStandInTouchesOnlyThisBoardsCard)
{
    CTestBoard other;
    CCardRig otherRig(other, 16);
    ASSERT_TRUE(otherRig.Ok()) << otherRig.Error();
    PlatformSetBoardRoot(m_Board.Dir().c_str());
    ASSERT_TRUE(otherRig.SetFsState(0));
    const std::string tool = m_Board.Path("/bin/e2fsck");
    for (const std::string& dev : {otherRig.PartitionDevice(), otherRig.Image(), m_Rig->Image(),
                                   m_Board.Path("/dev/mem"), std::string("/dev/null")}) {
        SCOPED_TRACE(dev);
        int st = 0;
        XTestRun(tool + " -p " + dev + " 2>/dev/null", &st);
        EXPECT_EQ(st, 8);
    }
    EXPECT_EQ(otherRig.FsState(), 0);
    ASSERT_TRUE(m_Rig->SetFsState(0));
    int st = -1;
    XTestRun(tool + " -p " + m_Board.Path("/dev/mmcblk0p1") + " >/dev/null", &st);
    EXPECT_EQ(st, 1);
    EXPECT_EQ(m_Rig->FsState(), 1);
}

// ---- free space on a card just over the floor ----

// The recording engine's deletions, on the card's real files: the oldest
// (smallest name) loop video under DCIM/100video goes first.
class CFileRecord : public CSDRecordClient {
public:
    explicit CFileRecord(std::string dir) : m_strDir(std::move(dir)) {}
    int GetIsPauseRecord() override { return 0; }
    BOOL CheckOverflowFile() override
    {
        ++m_nOverflowChecks;
        return TRUE;
    }
    BOOL DeleteOldestCommonRecordFile() override
    {
        std::vector<std::string> files = List(m_strDir);
        if (files.empty()) {
            return FALSE;
        }
        m_Deleted.push_back(files.front());
        return unlink((m_strDir + "/" + files.front()).c_str()) == 0 ? TRUE : FALSE;
    }
    BOOL StopAllRecord(BOOL bFlushBuffer, BOOL bImmediately) override
    {
        m_Stops.push_back(std::to_string(bFlushBuffer) + "," + std::to_string(bImmediately));
        return TRUE;
    }

    std::string m_strDir;
    int m_nOverflowChecks = 0;
    std::vector<std::string> m_Deleted;
    std::vector<std::string> m_Stops;
};

class SDCardFreeSpaceTest : public SDCardTest {
protected:
    unsigned CardMB() const override { return 600; }

    // Fills the card with filler files until exactly `target` bytes are free.
    bool FillTo(uint64_t target)
    {
        const std::string dir = Card() + "fill";
        mkdir(dir.c_str(), 0755);
        // two large files get close (their indirect blocks cost a little
        // more than their size), single blocks do the rest
        for (uint64_t margin : {1ULL << 20, 64ULL << 10}) {
            uint64_t now = FreeBytes(dir);
            if (now > target + 2 * margin &&
                !WriteFile(dir + "/bulk" + std::to_string(m_nFill++), now - target - margin, false)) {
                return false;
            }
        }
        for (int guard = 0; guard < 4096; ++guard) {
            const uint64_t now = FreeBytes(dir);
            if (now == target) {
                return true;
            }
            const std::string f = dir + "/f" + std::to_string(m_nFill++);
            if (now < target) {
                return false;
            }
            if (!WriteFile(f, 4096, false)) {
                return false;
            }
            if (FreeBytes(dir) < target) {
                unlink(f.c_str());   // a directory block came with it
            }
        }
        return false;
    }
    int m_nFill = 0;
};

TEST_F(SDCardFreeSpaceTest, OldestLoopVideosGiveWayToTheFloor)
{
    ASSERT_EQ(Poll(), I | M);
    const std::string videos = Card() + "DCIM/100video";
    ASSERT_EQ(XTestRun("mkdir -p " + videos + " && echo ok"), "ok\n");
    for (int i = 1; i <= 3; ++i) {
        ASSERT_TRUE(WriteFile(videos + "/2024010" + std::to_string(i) + ".mp4", 8u << 20));
    }
    CFileRecord record(videos);
    m_SD->SetRecordClient(&record);

    // exactly at the floor: trimmed once, the oldest loop video goes
    ASSERT_TRUE(FillTo(SD_FREE_SPACE_THRESHOLD));
    testing::internal::CaptureStdout();
    m_SD->CheckSDCardFreeSpace();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(record.m_nOverflowChecks, 1);
    EXPECT_EQ(record.m_Deleted, std::vector<std::string>({"20240101.mp4"}));
    EXPECT_NE(out.find("SD FREE SPACE = 536870912, THRESHOLD = 536870912\n"), std::string::npos) << out;
    EXPECT_GT(FreeBytes(videos), SD_FREE_SPACE_THRESHOLD);

    // one block more than the floor: nothing to do
    ASSERT_TRUE(FillTo(SD_FREE_SPACE_THRESHOLD + 4096));
    m_SD->CheckSDCardFreeSpace();
    EXPECT_EQ(record.m_nOverflowChecks, 1);
    EXPECT_EQ(record.m_Deleted.size(), 1u);
    EXPECT_EQ(List(videos), std::vector<std::string>({"20240102.mp4", "20240103.mp4"}));
}

TEST_F(SDCardFreeSpaceTest, NothingLeftToDeleteStopsRecordingOncePerPass)
{
    ASSERT_EQ(Poll(), I | M);
    const std::string videos = Card() + "DCIM/100video";
    ASSERT_EQ(XTestRun("mkdir -p " + videos + " && echo ok"), "ok\n");
    CFileRecord record(videos);
    m_SD->SetRecordClient(&record);
    ASSERT_TRUE(FillTo(SD_FREE_SPACE_THRESHOLD - (4u << 20)));
    for (size_t pass = 1; pass <= 2; ++pass) {
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        m_SD->CheckSDCardFreeSpace();
        testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("NOT ANY COMMON RECORD FILE TO DELETE..."), std::string::npos) << err;
        EXPECT_EQ(record.m_Stops, std::vector<std::string>(pass, "0,1"));
    }
}

// ---- a card smaller than the floor ----

class SDCardTooSmallTest : public SDCardTest {
protected:
    unsigned CardMB() const override { return 448; }
};

// The engine as the policy meets it: once stopped, recording stays stopped
// (and the policy idle) until a card change starts it again.
class CStoppingRecord : public CFileRecord {
public:
    using CFileRecord::CFileRecord;
    int GetIsPauseRecord() override { return m_bStopped ? 1 : 0; }
    BOOL StopAllRecord(BOOL bFlushBuffer, BOOL bImmediately) override
    {
        m_bStopped = TRUE;
        return CFileRecord::StopAllRecord(bFlushBuffer, bImmediately);
    }
    BOOL m_bStopped = FALSE;
};

// The supervision loop's card checks on the manager under test.
class CCardLoopServices : public CFakeLoopServices {
public:
    explicit CCardLoopServices(CSDManager* sd) : m_pSD(sd) {}
    int CheckSDCard() override { return m_pSD->CheckSDCard(); }
    void CheckSDCardFreeSpace() override { m_pSD->CheckSDCardFreeSpace(); }
    BOOL GetFormatStatusFlag() override { return m_pSD->GetFormatStatusFlag(); }
    BOOL GetNoSpaceFlag() override { return m_pSD->GetNoSpaceFlag(); }
    BOOL GetCardCheckFailed() override { return m_pSD->GetCardCheckFailed(); }

private:
    CSDManager* m_pSD;
};

TEST_F(SDCardTooSmallTest, NoRoomToRecordGivesTheCardCheckPrompt)
{
    ASSERT_EQ(Poll(), I | M);
    const std::string videos = Card() + "DCIM/100video";
    ASSERT_EQ(XTestRun("mkdir -p " + videos + " && echo ok"), "ok\n");
    ASSERT_LE(FreeBytes(videos), SD_FREE_SPACE_THRESHOLD);
    CStoppingRecord record(videos);
    m_SD->SetRecordClient(&record);
    EXPECT_FALSE(m_SD->GetNoSpaceFlag());

    // a minute of the loop: recording stops at the first free-space pass,
    // the card check at cycle 1200 asks the driver to check the card
    CCardLoopServices services(m_SD.get());
    CSupervisionLoop loop(services.Roles());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (int i = 0; i < 1200; ++i) {
        loop.Step();
    }
    testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("NOT ANY COMMON RECORD FILE TO DELETE..."), std::string::npos) << err;
    EXPECT_EQ(record.m_Stops, std::vector<std::string>({"0,1"}));
    EXPECT_TRUE(m_SD->GetNoSpaceFlag());
    EXPECT_EQ(services.Prompts(), std::vector<int>({PCM_SD_CHECK_ERROR}));

    // a card change lets the engine start again: no prompt for it until the
    // policy finds the card full once more
    EXPECT_EQ(Format(), 0);
    EXPECT_FALSE(m_SD->GetNoSpaceFlag());
}

// ---- nothing of the rig outlives its process ----

TEST(SDCardRig, KilledTestLeavesNoMountAndNoLoopDevice)
{
    const std::string why = CCardRig::Unavailable();
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    CTestBoard board;
    const std::string image = RealPath(board.Path("/card/card.img"));
    const std::string mountsBefore = XTestRun("cat /proc/self/mounts");
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(p[0]);
        CCardRig rig(board, 32);
        CGPIOManager::instance()->CleanUp();
        CSDSystem sys;
        CSDManager sd(&sys);
        std::string msg = "error " + rig.Error() + "\n";
        if (rig.Ok() && sd.CheckSDCard() == (I | M)) {
            rig.SetBlockReadOnly(true);
            int fd = open((board.Path("/tmp/mmc0") + "/held").c_str(), O_WRONLY | O_CREAT, 0644);
            msg = (fd >= 0 ? "ok " : "error open ") + rig.DiskDevice().substr(5) + " " +
                  rig.PartitionDevice().substr(5) + "\n";
        }
        if (write(p[1], msg.data(), msg.size()) < 0) {
            _exit(1);
        }
        for (;;) {
            pause();
        }
    }
    close(p[1]);
    struct pollfd pfd = {p[0], POLLIN, 0};
    ASSERT_EQ(poll(&pfd, 1, 60000), 1);
    char buf[256] = {};
    ASSERT_GT(read(p[0], buf, sizeof(buf) - 1), 0);
    close(p[0]);
    std::istringstream reply(buf);
    std::string status, disk, part;
    reply >> status >> disk >> part;

    // mounted in the child's namespace only
    const std::string mountsDuring = XTestRun("cat /proc/self/mounts");
    EXPECT_EQ(mountsDuring, mountsBefore);
    EXPECT_EQ(mountsDuring.find(board.Dir()), std::string::npos);
    EXPECT_EQ(Trim(XTestRun("findmnt -n -r -o TARGET | grep -c -F '" + board.Dir() + "'")), "0");

    kill(child, SIGKILL);
    int st = 0;
    waitpid(child, &st, 0);
    ASSERT_EQ(status, "ok") << buf;

    bool cleared = false;
    for (int i = 0; i < 1000 && !cleared; ++i) {
        cleared = CCardRig::LiveLoopDevices(image) == 0 &&
                  Trim(XTestRun("cat /sys/block/" + disk + "/ro /sys/block/" + part + "/ro")) == "0\n0";
        if (!cleared) {
            usleep(10000);
        }
    }
    EXPECT_TRUE(cleared) << XTestRun("losetup -a");
    EXPECT_EQ(XTestRun("losetup -a").find(image), std::string::npos);
    EXPECT_EQ(XTestRun("cat /proc/self/mounts"), mountsBefore);
}

}  // namespace
