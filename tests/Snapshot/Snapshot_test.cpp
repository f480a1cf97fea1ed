// Snapshot requests and app captures on the simulated JPEG channel
// (placeholder pictures: SOI, COM, headers, data, EOI in three packs) in
// front of a real engine on the board's card folder.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "PlayAudio/PcmIndex.h"
#include "Record/RecordNotify.h"
#include "SnapshotRig.h"

namespace {

// "L" + 14 digits + "(n)" or nothing + ".JPG": the 14 digits, or "".
std::string XSnapTime(const std::string& name)
{
    if (name.size() < 19 || name.compare(name.size() - 4, 4, ".JPG") != 0) {
        return "";
    }
    const std::string digits = name.substr(1, 14);
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return "";
        }
    }
    const std::string rest = name.substr(15, name.size() - 19);
    if (!rest.empty() && (rest.front() != '(' || rest.back() != ')')) {
        return "";
    }
    return digits;
}

// The quoted image names of a JSON list.
std::vector<std::string> XListedNames(const std::string& list)
{
    std::vector<std::string> names;
    for (size_t at = list.find(".JPG\""); at != std::string::npos; at = list.find(".JPG\"", at + 1)) {
        const size_t open = list.rfind('"', at);
        names.push_back(list.substr(open + 1, at + 4 - open - 1));
    }
    return names;
}

class SnapshotTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_Rig.Ok());
        ASSERT_TRUE(m_Rig.m_lpManager->Init());
        m_Rig.m_lpPorts->NotifyCard(kUsableCard);
        m_Rig.m_lpEngine->ResumeCommonRecord();
    }

    // Posts a request and waits until its picture was given back.
    void Take(unsigned long type, int notify = 0)
    {
        const uint64_t before = CSnapshotRig::Released();
        ASSERT_TRUE(m_Rig.m_lpManager->Snapshot(2, notify, type));
        ASSERT_TRUE(CSnapshotRig::WaitReleased(before + 1));
    }

    // Waits until the manager's queue is empty and its current request done.
    void Settle()
    {
        const uint64_t before = CSnapshotRig::Released();
        ASSERT_TRUE(m_Rig.m_lpManager->Snapshot(2, 0, 'W'));
        ASSERT_TRUE(CSnapshotRig::WaitReleased(before + 1));
    }

    CSnapshotRig m_Rig;
};

TEST_F(SnapshotTest, NamesIndexEntriesAndRecords)
{
    // Two in one second: the plain name and the collision form, indices 0
    // and 1. A pair that straddles a second is cleared and taken again.
    std::vector<std::string> snaps;
    std::string t;
    for (int attempt = 0; attempt < 10; ++attempt) {
        ASSERT_TRUE(m_Rig.m_lpEngine->CleanAllAlarmImgFile());
        struct timespec now;
        for (;;) {
            clock_gettime(CLOCK_REALTIME, &now);
            if (now.tv_nsec < 100000000) {
                break;
            }
            XSleep(5);
        }
        const uint64_t before = CSnapshotRig::Released();
        ASSERT_TRUE(m_Rig.m_lpManager->Snapshot(2, 0, 'A'));
        ASSERT_TRUE(m_Rig.m_lpManager->Snapshot(2, 0, 'A'));
        ASSERT_TRUE(CSnapshotRig::WaitReleased(before + 2));
        snaps = m_Rig.Snaps();
        ASSERT_EQ(snaps.size(), 2u);
        t = XSnapTime(snaps[1]);
        ASSERT_FALSE(t.empty()) << snaps[1];
        if (XSnapTime(snaps[0]) == t) {
            break;
        }
    }
    EXPECT_EQ(snaps, (std::vector<std::string>{"A" + t + "(1).JPG", "A" + t + ".JPG"}));  // '(' sorts first
    const std::string list = m_Rig.ImageList();
    EXPECT_NE(list.find(snaps[0]), std::string::npos) << list;
    EXPECT_NE(list.find(snaps[1]), std::string::npos) << list;
    EXPECT_EQ(XListedNames(list).size(), 2u) << list;

    // An unknown letter is 'U' in the name and in the app's list.
    Take('X');
    snaps = m_Rig.Snaps();
    ASSERT_EQ(snaps.size(), 3u);
    EXPECT_EQ(snaps[2][0], 'U') << snaps[2];
    EXPECT_NE(m_Rig.ImageList().find("\"" + snaps[2] + "\""), std::string::npos) << m_Rig.ImageList();
    // Every name the list gives is a file on the card.
    const std::vector<std::string> listed = XListedNames(m_Rig.ImageList());
    EXPECT_EQ(listed.size(), 3u) << m_Rig.ImageList();
    for (const std::string& n : listed) {
        EXPECT_FALSE(XSnapTime(n).empty()) << n;
        EXPECT_TRUE(XRecExists(m_Rig.SnapDir() + "/" + n)) << n;
    }
}

TEST_F(SnapshotTest, SavedFileIsTheWholePicture)
{
    const std::string gps = "$GPRMC,083559.00,A,4717.11437,N,00833.91522,E,0.004,77.52,091202,,,A*57";
    m_Rig.m_lpPorts->SetGPS(&gps);
    Take('G');
    const std::vector<std::string> snaps = m_Rig.Snaps();
    ASSERT_EQ(snaps.size(), 1u);
    std::ifstream in(m_Rig.SnapDir() + "/" + snaps[0], std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(data.size(), 4u);
    EXPECT_EQ(data.substr(0, 2), "\xFF\xD8");
    EXPECT_EQ(data.substr(data.size() - 2), "\xFF\xD9");
    // COM right after SOI with the line.
    ASSERT_EQ(static_cast<unsigned char>(data[3]), 0xFEu);
    const size_t len = (static_cast<unsigned char>(data[4]) << 8) | static_cast<unsigned char>(data[5]);
    EXPECT_EQ(data.substr(6, len - 2), gps);
    // The size in the app's list is the file's.
    EXPECT_NE(m_Rig.ImageList().find(std::to_string(data.size())), std::string::npos) << m_Rig.ImageList();
}

TEST_F(SnapshotTest, IgnoredPausedAndCardlessRequests)
{
    // Another channel: ignored, no picture taken.
    ASSERT_TRUE(m_Rig.m_lpManager->Snapshot(1, 0, 'A'));
    Settle();
    EXPECT_EQ(CSnapshotRig::Released(), 1u);
    EXPECT_EQ(m_Rig.Snaps().size(), 1u);

    // Paused: Capture gives 0 and requests are lost for good.
    m_Rig.m_lpManager->PauseSnapshot();
    std::vector<unsigned char> buf(1 << 20);
    unsigned len = static_cast<unsigned>(buf.size());
    EXPECT_FALSE(m_Rig.m_lpManager->Capture(buf.data(), &len));
    ASSERT_TRUE(m_Rig.m_lpManager->Snapshot(2, 0, 'A'));
    ASSERT_TRUE(m_Rig.m_lpManager->Snapshot(2, 0, 'G'));
    const std::vector<std::string> before = m_Rig.Snaps();
    XSleep(50);
    m_Rig.m_lpManager->ResumeSnapshot();
    Settle();
    EXPECT_EQ(m_Rig.Snaps().size(), before.size() + 1);
    EXPECT_EQ(CSnapshotRig::Released(), 2u);

    // No usable card: no prompt, one picture consumed, nothing saved.
    m_Rig.m_lpPorts->NotifyCard(emSDState_Insert | emSDState_Mount | emSDState_WriteProtect);
    m_Rig.m_lpPorts->ClearPrompts();
    const size_t saved = m_Rig.Snaps().size();
    const int adds = m_Rig.m_lpPorts->m_nIndexAdds;
    Take('R');
    EXPECT_EQ(CSnapshotRig::Released(), 3u);
    EXPECT_TRUE(m_Rig.m_lpPorts->Prompts().empty());
    EXPECT_EQ(m_Rig.Snaps().size(), saved);
    EXPECT_EQ(m_Rig.m_lpPorts->m_nIndexAdds.load(), adds);
}

TEST_F(SnapshotTest, CaptureIntoTheCallersBuffer)
{
    std::vector<unsigned char> buf(1 << 20);
    unsigned len = static_cast<unsigned>(buf.size());
    ASSERT_TRUE(m_Rig.m_lpManager->Capture(buf.data(), &len));
    ASSERT_GT(len, 4u);
    EXPECT_EQ(buf[0], 0xFF);
    EXPECT_EQ(buf[1], 0xD8);
    EXPECT_EQ(buf[len - 2], 0xFF);
    EXPECT_EQ(buf[len - 1], 0xD9);
    EXPECT_TRUE(m_Rig.Snaps().empty());

    // The same picture size one byte short: the last pack does not fit.
    const unsigned whole = len;
    unsigned shortLen = whole - 1;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(m_Rig.m_lpManager->Capture(buf.data(), &shortLen));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("[JPEG MAIN] lack of buffer(pkt=2,used=" + std::to_string(whole - 2) + ",left=1,need=2)"),
              std::string::npos)
        << err;
    EXPECT_EQ(CSnapshotRig::Released(), 2u) << "the stream is given back";

    // Room 0: a 'U' file instead.
    unsigned none = 0;
    EXPECT_TRUE(m_Rig.m_lpManager->Capture(buf.data(), &none));
    const std::vector<std::string> snaps = m_Rig.Snaps();
    ASSERT_EQ(snaps.size(), 1u);
    EXPECT_EQ(snaps[0][0], 'U');
    EXPECT_FALSE(m_Rig.m_lpManager->Capture(nullptr, &len));
}

TEST_F(SnapshotTest, NotifyWithoutAlarmVideoGivesTheRecordBack)
{
    CAssociatedDataManager* pool = CAssociatedDataManager::instance();
    Take('A', 1);  // the pool's first block exists from here on
    const int freeBefore = pool->GetFreeCount();
    EXPECT_GT(freeBefore, 0);
    Take('A', 1);
    EXPECT_EQ(m_Rig.m_lpPorts->m_nRecords.load(), 2);
    EXPECT_EQ(pool->GetFreeCount(), freeBefore);
    EXPECT_EQ(m_Rig.Snaps().size(), 2u);
}

// Counts the image notices for the phone.
class CImageNotices : public CRecordNotify {
public:
    void NotifyFileDeleteUpdate(const char*, int) override {}
    void NotifyCommonVideoUpdate(const char*, int) override {}
    void NotifyAlarmVideoUpdate(const char*, int) override {}
    void NotifyAlarmJpgUpdate(const char*, int) override { ++m_nImages; }
    std::atomic<int> m_nImages{0};
};

TEST_F(SnapshotTest, FailedWriteLeavesNothing)
{
    CImageNotices notices;
    CRecordNotify* previous = CRecordNotify::SetReceiver(&notices);
    Take('A');
    EXPECT_EQ(notices.m_nImages.load(), 1);
    ASSERT_EQ(m_Rig.Snaps().size(), 1u);
    // An alarm file is about to start, so a record would be taken.
    m_Rig.m_lpEngine->StartAlarmRecord(emAlarmType_Accelerate, 'A');

    // Files may not grow past 1000 bytes: the picture's write fails part way.
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    testing::internal::CaptureStderr();
    Take('A', 1);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    const std::string err = testing::internal::GetCapturedStderr();
    CRecordNotify::SetReceiver(previous);

    EXPECT_NE(err.find("[SNAPSHOT] Write File ["), std::string::npos) << err;
    EXPECT_EQ(m_Rig.Snaps().size(), 1u) << "no partial file is left";
    EXPECT_EQ(m_Rig.m_lpPorts->m_nIndexAdds.load(), 1);
    EXPECT_EQ(m_Rig.m_lpPorts->m_nRecords.load(), 0);
    EXPECT_EQ(notices.m_nImages.load(), 1);
    EXPECT_EQ(XListedNames(m_Rig.ImageList()).size(), 1u);
}

// The card a small real ext2 file system, filled to its last block.
TEST(SnapshotFullCard, LeavesNoFileNoIndexEntryNoPushNoRecord)
{
    const std::string why = CCardRig::Unavailable();
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    CSnapshotRig rig(TRUE, 16);
    ASSERT_TRUE(rig.m_lpCardRig != nullptr && rig.m_lpCardRig->Ok())
        << (rig.m_lpCardRig ? rig.m_lpCardRig->Error() : "no rig");
    ASSERT_TRUE(rig.Ok());
    const std::string dir = rig.m_lpCardRig->MountDir();
    ASSERT_EQ(0, mount(rig.m_lpCardRig->PartitionDevice().c_str(), dir.c_str(), "ext2", 0, nullptr))
        << strerror(errno);
    ASSERT_TRUE(rig.m_lpManager->Init());
    rig.m_lpPorts->NotifyCard(kUsableCard);
    rig.m_lpEngine->ResumeCommonRecord();
    CImageNotices notices;
    CRecordNotify* previous = CRecordNotify::SetReceiver(&notices);
    const auto take = [&rig](int notify) {
        const uint64_t before = CSnapshotRig::Released();
        EXPECT_TRUE(rig.m_lpManager->Snapshot(2, notify, 'A'));
        EXPECT_TRUE(CSnapshotRig::WaitReleased(before + 1));
    };
    // While there is room a picture is saved.
    take(0);
    ASSERT_EQ(rig.Snaps().size(), 1u);
    EXPECT_EQ(notices.m_nImages.load(), 1);
    rig.m_lpEngine->StartAlarmRecord(emAlarmType_Accelerate, 'A');

    // One large file, then small ones (no indirect blocks needed) until not
    // a byte more goes in.
    std::vector<std::string> fillers;
    std::vector<char> block(64 * 1024, 'f');
    for (size_t chunk : {block.size(), size_t(1024), size_t(1)}) {
        for (int err = 0; err == 0;) {
            const std::string name = dir + "/filler" + std::to_string(fillers.size());
            const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ASSERT_GE(fd, 0) << strerror(errno);
            fillers.push_back(name);
            size_t written = 0;
            while (err == 0) {
                if (write(fd, block.data(), chunk) < 0) {
                    err = errno;
                } else if (chunk != block.size() && (written += chunk) >= 4096) {
                    break;  // a new file for the next block
                }
            }
            ASSERT_EQ(close(fd), 0);
            if (err != 0) {
                EXPECT_EQ(err, ENOSPC);
            }
        }
    }
    const int probe = open((dir + "/probe").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(probe, 0);
    EXPECT_EQ(write(probe, "x", 1), -1);
    close(probe);
    unlink((dir + "/probe").c_str());

    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    take(1);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string errText = testing::internal::GetCapturedStderr();
    CRecordNotify::SetReceiver(previous);

    EXPECT_NE(errText.find("[SNAPSHOT] Write File ["), std::string::npos) << out << errText;
    EXPECT_EQ(rig.Snaps().size(), 1u) << "no partial file is left\n" << out << errText;
    EXPECT_EQ(rig.m_lpPorts->m_nIndexAdds.load(), 1);
    EXPECT_EQ(rig.m_lpPorts->m_nRecords.load(), 0);
    EXPECT_EQ(notices.m_nImages.load(), 1);
    EXPECT_EQ(XListedNames(rig.ImageList()).size(), 1u);
    for (const std::string& f : fillers) {
        unlink(f.c_str());
    }
}

TEST_F(SnapshotTest, ResolutionSwitchFailsCleanlyThenTheSameDescriptorServes)
{
    Take('A');
    const int fd = HI_MPI_VENC_GetFd(2);
    EXPECT_EQ(m_Rig.m_lpPorts->m_nFdFetches.load(), 1);
    // The request waits for its picture while the encoders are rebuilt.
    XMediaSimStall(2, 1000);
    ASSERT_TRUE(m_Rig.m_lpManager->Snapshot(2, 0, 'G'));
    tagMediaSimVenc v;
    for (int i = 0; i < 30000 && !(XMediaSimVencInfo(2, &v) && v.s32RecvLeft == 1); ++i) {
        XSleep(1);
    }
    ASSERT_EQ(v.s32RecvLeft, 1) << "the picture was asked for";
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    ASSERT_TRUE(m_Rig.m_Cap.CleanUpVideoEnc());
    m_Rig.m_Cap.m_ChnCfg[0].res = PIC_HD720;
    ASSERT_TRUE(m_Rig.m_Cap.InitVideoEnc());
    for (int k : {0, 1, 3}) {
        HI_MPI_VENC_StopRecvPic(k);
    }
    // The next request is served once the first has given up.
    const uint64_t released = CSnapshotRig::Released();
    ASSERT_TRUE(m_Rig.m_lpManager->Snapshot(2, 0, 'M'));
    const bool served = CSnapshotRig::WaitReleased(released + 1);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(served);
    const std::vector<std::string> snaps = m_Rig.Snaps();
    ASSERT_EQ(snaps.size(), 2u);
    EXPECT_EQ(snaps[0][0], 'A');
    EXPECT_EQ(snaps[1][0], 'M');
    EXPECT_EQ(m_Rig.m_lpPorts->m_nFdFetches.load(), 1);
    EXPECT_EQ(HI_MPI_VENC_GetFd(2), fd);
}

struct tagPromptCase {
    const char* key;  // switch set to 0, or null
    char type;
    bool spoken;
};

TEST_F(SnapshotTest, PromptFollowsThePerLetterSwitches)
{
    const tagPromptCase cases[] = {
        {nullptr, 'G', true},
        {"voice_g_snapshot", 'G', false},
        {"voice_a_snapshot", 'A', false},
        {"voice_m_snapshot", 'M', false},
        {"voice_parking", 'P', false},
        {"voice_a_snapshot", 'G', true},
        {"voice_g_snapshot", 'R', true},
        {"voice_g_snapshot", 'X', true},
    };
    const char* const keys[] = {"voice_g_snapshot", "voice_a_snapshot", "voice_m_snapshot", "voice_parking"};
    for (const tagPromptCase& c : cases) {
        SCOPED_TRACE(std::string(c.key ? c.key : "all on") + " " + c.type);
        for (const char* k : keys) {
            CIniConfig::instance()->SetInt("funcset", k, c.key != nullptr && strcmp(k, c.key) == 0 ? 0 : 1);
        }
        m_Rig.m_lpPorts->ClearPrompts();
        Take(static_cast<unsigned long>(c.type));
        EXPECT_EQ(m_Rig.m_lpPorts->Prompts(), c.spoken ? std::vector<int>{PCM_IMAGECAPTURE} : std::vector<int>{});
    }
}

TEST_F(SnapshotTest, CountedNameForm)
{
    const RECTIME t = RECTIME::Make(24, 1, 5, 8, 30, 7);
    char name[64];
    CSnapshotManager::FormatSnapshotName(name, sizeof(name), 'A', t, 0, FALSE, 0);
    EXPECT_STREQ(name, "A20240105083007.JPG");
    CSnapshotManager::FormatSnapshotName(name, sizeof(name), 'P', t, 2, FALSE, 0);
    EXPECT_STREQ(name, "P20240105083007(2).JPG");
    CSnapshotManager::FormatSnapshotName(name, sizeof(name), 'G', t, 0, TRUE, 3);
    EXPECT_STREQ(name, "G20240105083007_3.JPG");
    CSnapshotManager::FormatSnapshotName(name, sizeof(name), 'G', t, 1, TRUE, 3);
    EXPECT_STREQ(name, "G20240105083007_3(1).JPG");
    EXPECT_EQ(CSnapshotManager::ImageLetter('W'), 'W');
    EXPECT_EQ(CSnapshotManager::ImageLetter('a'), 'U');
    EXPECT_EQ(CSnapshotManager::ImageLetter(0x141), 'U');
}

}  // namespace

namespace {

struct tagFaultCase {
    const char* func;
    int times;            // the first calls on channel 2 that fail
    const char* printed;  // on standard error
};

TEST(SnapshotFaults, EachErrorPathEndsTheRequestAndTheNextOneWorks)
{
    const HI_S32 kCode = static_cast<HI_S32>(0xA0078012u);
    const tagFaultCase cases[] = {
        {"HI_MPI_VENC_GetFd", 1, "[JPEG MAIN] fd = "},
        {"HI_MPI_VENC_InsertUserData", 1, "[IMAGE SNAPSHOT]HI_MPI_VENC_InsertUserData(2, 10) faild with 0xa0078012\n"},
        {"HI_MPI_VENC_StartRecvPicEx", 1, "[IMAGE SNAPSHOT]HI_MPI_VENC_StartRecvPic faild with0xa0078012\n"},
        {"HI_MPI_VENC_Query", 2, "[IMAGE SNAPSHOT]HI_MPI_VENC_Query failed with 0xa0078012!\n"},
        {"HI_MPI_VENC_GetStream", 1, "[IMAGE SNAPSHOT]HI_MPI_VENC_GetStream failed with 0xa0078012!\n"},
    };
    for (const tagFaultCase& c : cases) {
        SCOPED_TRACE(c.func);
        CSnapshotRig rig;
        ASSERT_TRUE(rig.Ok());
        ASSERT_TRUE(rig.m_lpManager->Init());
        rig.m_lpPorts->NotifyCard(kUsableCard);
        const std::string gps = "$GPRMC,1,A";
        rig.m_lpPorts->SetGPS(&gps);
        XMediaSimFail(c.func, kCode, 2, c.times);
        testing::internal::CaptureStderr();
        ASSERT_TRUE(rig.m_lpManager->Snapshot(2, 0, 'A'));
        ASSERT_TRUE(rig.m_lpManager->Snapshot(2, 0, 'W'));
        // The 'W' request's picture is the last one given back.
        bool done = false;
        for (int i = 0; i < 30000 && !done; ++i) {
            done = rig.Snaps().size() == 1;
            XSleep(1);
        }
        const std::string err = testing::internal::GetCapturedStderr();
        XMediaSimClearFaults();
        ASSERT_TRUE(done) << err;
        EXPECT_NE(err.find(c.printed), std::string::npos) << err;
        const std::vector<std::string> snaps = rig.Snaps();
        ASSERT_EQ(snaps.size(), 1u);
        EXPECT_EQ(snaps[0][0], 'W');
        tagMediaSimVenc v;
        for (int i = 0; i < 30000 && XMediaSimVencInfo(2, &v) && v.u32Held != 0; ++i) {
            XSleep(1);
        }
        EXPECT_EQ(v.u32Held, 0u);
        EXPECT_EQ(v.u32Queued, 0u) << "no picture left behind";
    }
}

}  // namespace
