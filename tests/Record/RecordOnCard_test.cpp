// The engine with the SD card manager over a real small file system (the
// card rig: the board's card image on loop devices, mounted in a private
// mount namespace).

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Function/common.h"
#include "IniConfig/IniConfig.h"
#include "Periphery/GPIO.h"
#include "Periphery/SDManager.h"
#include "Record/MP4/MP4File.h"
#include "Record/Record.h"
#include "Record/RecordPacker.h"
#include "RecordFileTestSupport.h"
#include "RecordSynthFeeder.h"
#include "RecordTestCard.h"
#include "support/CardRig.h"
#include "support/TestBoard.h"

namespace {

// The engine's card over one SD manager.
class CManagerCard : public CRecordCard {
public:
    explicit CManagerCard(CSDManager& sd) : m_SD(sd) {}
    BOOL RegisterStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv) override
    {
        return m_SD.RegisterSDStateCallback(fun, priv);
    }
    BOOL UnregisterStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv) override
    {
        return m_SD.UnregisterSDStateCallback(fun, priv);
    }
    BOOL GetMountPath(char* path, size_t size) override { return m_SD.GetSDMountPath(path, size); }
    BOOL GetDiskSpaceInfo(uint64_t* total, uint64_t* freeBytes) override
    {
        return m_SD.GetDiskSpaceInfo(total, freeBytes);
    }
    void SetRecordClient(CSDRecordClient* client) override { m_SD.SetRecordClient(client); }

private:
    CSDManager& m_SD;
};

class RecordOnCard : public ::testing::Test {
protected:
    virtual unsigned CardMb() const { return 16; }
    virtual int Fps() const { return 30; }
    virtual CRecordFinisher* MakeFinisher() { return new CNoteFinisher(&m_Finished); }
    void SetUp() override
    {
        const std::string why = CCardRig::Unavailable();
        if (!why.empty()) {
            GTEST_SKIP() << why;
        }
        m_Rig.reset(new CCardRig(m_Board, CardMb()));
        ASSERT_TRUE(m_Rig->Ok()) << m_Rig->Error();
        CGPIOManager::instance()->CleanUp();
        m_SD.reset(new CSDManager(&m_Sys));
        m_Record.reset(new CRecord(new CMP4File(), new CManagerCard(*m_SD), MakeFinisher()));
        ASSERT_TRUE(m_Record->Init(Fps(), Fps(), 320, 240));
        ASSERT_EQ(Poll(), emSDState_Insert | emSDState_Mount);
        ASSERT_TRUE(m_Record->GetIsCanbeRecord());
        m_Record->ResumeCommonRecord();
    }
    void TearDown() override
    {
        m_Record.reset();
        m_SD.reset();
        m_Rig.reset();
        CGPIOManager::instance()->CleanUp();
    }
    int Poll(std::string* out = nullptr)
    {
        testing::internal::CaptureStdout();
        const int r = m_SD->CheckSDCard();
        const std::string o = testing::internal::GetCapturedStdout();
        if (out != nullptr) {
            *out = o;
        }
        return r;
    }
    std::string VideoDir() const { return m_Rig->MountDir() + "/DCIM/100video"; }

    CTestBoard m_Board;
    std::unique_ptr<CCardRig> m_Rig;
    CSDSystem m_Sys;
    std::unique_ptr<CSDManager> m_SD;
    std::vector<tagFinished> m_Finished;
    std::unique_ptr<CRecord> m_Record;
};

}  // namespace

// A 16 MiB card fills up: ten write errors end loop recording until resume.
TEST_F(RecordOnCard, FullCardStopsLoopRecordingUntilResume)
{
    CSynthFeeder feeder(*m_Record, 30, 30, 60000, 20000);  // about 640 KB a second
    testing::internal::CaptureStderr();
    feeder.Feed(240 + 1500);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("MP4 WriteVideoPacket() failed"), std::string::npos);
    const int flag = m_Record->GetRecorderFlag();
    EXPECT_FALSE(flag & emRecordFileFlag_Recording);
    EXPECT_FALSE(flag & emRecordFileFlag_Continuous);
    EXPECT_FALSE(flag & emRecordFileFlag_StartNext);
    ASSERT_EQ(m_Finished.size(), 1u);
    feeder.Feed(300);
    ASSERT_EQ(XRecListDir(VideoDir()).size(), 1u);
    // Room again, and the app resumes.
    XDeleteFile((VideoDir() + "/" + XRecListDir(VideoDir())[0]).c_str());
    m_Record->ResumeCommonRecord();
    feeder.Feed(60);
    EXPECT_TRUE(m_Record->GetRecorderFlag() & emRecordFileFlag_Recording);
}

// The card is pulled mid-file: the engine lets go of it when told the card
// is no longer mounted, so the manager's first unmount succeeds.
TEST_F(RecordOnCard, RemovalMidFileLetsTheUnmountSucceed)
{
    CSynthFeeder feeder(*m_Record);
    feeder.Feed(600);
    ASSERT_TRUE(m_Record->GetRecorderFlag() & emRecordFileFlag_Recording);
    m_Board.Sim("card", "remove");
    std::string out;
    Poll(&out);
    EXPECT_EQ(out.find("SD Umount["), std::string::npos) << out;
    EXPECT_NE(out.find("SD Card Umounted."), std::string::npos) << out;
    EXPECT_EQ(m_SD->GetSDSate() & emSDState_Mount, 0);
    EXPECT_FALSE(m_Record->GetRecorderFlag() & emRecordFileFlag_Recording);
    EXPECT_TRUE(m_Finished.empty());
    feeder.Feed(300);
    m_Board.Sim("card", "insert");
    ASSERT_EQ(Poll(), emSDState_Insert | emSDState_Mount);
    // The file left behind keeps its recording name; recording starts again.
    const std::vector<std::string> left = XRecListDir(VideoDir());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_NE(left[0].find("_0"), std::string::npos);
    // With its journal beside it, for the scan of a packer to finish it.
    EXPECT_TRUE(XRecExists(VideoDir() + "/." + left[0] + ".jnl"));
    feeder.Feed(60);
    EXPECT_TRUE(m_Record->GetRecorderFlag() & emRecordFileFlag_Recording);
}

// A folder the camera makes on the card (the alarm pictures' folder, made at
// the first alarm) is on the card at once with its own entries, as a cut of
// the power would find it: the card as it is then checks clean and holds
// the folder.
TEST_F(RecordOnCard, FolderMadeOnTheCardIsOnItAtOnce)
{
    const std::string snap = m_Rig->MountDir() + "/DCIM/104snap";
    rmdir(snap.c_str());
    XTestRun("sync");
    ASSERT_TRUE(XCreateFullPathDir((snap + "/").c_str(), 0777));
    const std::string cut = m_Board.Path("/card/cut.img");
    ASSERT_TRUE(m_Rig->SavePartition(cut));
    int status = 0;
    const std::string check = XTestRun("e2fsck -fp " + cut + " 2>&1", &status);
    // At most the free counts of a card still mounted are set right.
    EXPECT_LE(status, 1) << check;
    EXPECT_EQ(check.find("corrupted"), std::string::npos) << check;
    EXPECT_NE(XTestRun("debugfs -R 'ls -p /DCIM' " + cut + " 2>/dev/null").find("/104snap/"), std::string::npos);
}

namespace {

// A card a little above the free-space floor, with the production finisher,
// so finished files enter the index the free-space policy deletes from.
class RecordQuotaOnCard : public RecordOnCard {
protected:
    unsigned CardMb() const override { return 600; }
    int Fps() const override { return 10; }
    CRecordFinisher* MakeFinisher() override { return new CRecordPacker(); }

    uint64_t Free() const
    {
        uint64_t total = 0, freeBytes = 0;
        EXPECT_TRUE(m_SD->GetDiskSpaceInfo(&total, &freeBytes));
        return freeBytes;
    }
    // A snapshot of the alarm side written to the card and indexed.
    void AddImage(unsigned n, size_t bytes)
    {
        const RECTIME t = RECTIME::Make(24, 2, 1, 8 + n / 3600, n / 60 % 60, n % 60);
        char name[64];
        snprintf(name, sizeof(name), "/DCIM/104snap/A20240201%02u%02u%02u.JPG", 8 + n / 3600, n / 60 % 60, n % 60);
        const std::string path = m_Rig->MountDir() + name;
        XCreateFullPathDir((m_Rig->MountDir() + "/DCIM/104snap").c_str(), 0777);
        FILE* fp = fopen(path.c_str(), "wb");
        ASSERT_NE(fp, nullptr) << path;
        const std::string body(bytes, 'j');
        ASSERT_EQ(fwrite(body.data(), 1, body.size(), fp), body.size());
        ASSERT_EQ(fclose(fp), 0);
        ASSERT_TRUE(m_Record->AddAlarmImgIndex(t, 'A', 0, static_cast<unsigned long>(bytes)));
        m_Images.push_back(name + strlen("/DCIM/104snap/"));
    }

    std::vector<std::string> m_Images;  // every image added, oldest first
};

// Names of an index's files (videos with their duration), oldest first.
std::vector<std::string> Listed(CRecordFileIndex& index, const char* ext, BOOL bDuration)
{
    std::vector<std::string> names;
    for (const CRecordFileIndexNode* n = index.GetFileListTail(); n != nullptr; n = n->GetPrev()) {
        char name[RECORD_NAME_BUF_SIZE];
        n->GetFileName(name, ext, bDuration);
        names.push_back(name);
    }
    return names;
}

}  // namespace

// Recording without a pause on a card just above the floor: the free-space
// check that finds the card at or below the floor brings it back above,
// trimming alarm videos and images to their shares and deleting the oldest
// loop videos, round after round, and recording never stops.
TEST_F(RecordQuotaOnCard, ContinuousRecordingStaysAboveTheFloor)
{
    const uint64_t kFloor = SD_FREE_SPACE_THRESHOLD;
    const uint64_t start = Free();
    ASSERT_GT(start, kFloor + (16u << 20)) << "card too small for the scenario";
    ASSERT_TRUE(CIniConfig::instance()->Init());
    // 1% of the card each for alarm videos and alarm images.
    ASSERT_TRUE(m_Record->SetFileSpaceQuotaOnSD(50, 1, 1));
    uint64_t limitCommon = 0, limitAlarm = 0, limitImage = 0;
    m_Record->GetByteLimits(limitCommon, limitAlarm, limitImage);

    // 10 frames a second of about 2.6 KB: a loop file (1800 frames) is about
    // 4.7 MB; an alarm every 60 s of video, each with a 300 KB image.
    CSynthFeeder feeder(*m_Record, 10, 10, 8000, 2000);
    CRecordFileIndex& common = m_Record->GetCommonRecordFileIndex();
    CRecordFileIndex& alarm = m_Record->GetAlarmRecordFileIndex();
    CRecordFileIndex& images = m_Record->GetAlarmImageFileIndex();
    int rounds = 0;
    int belowInARow = 0;
    int worstInARow = 0;
    unsigned imageNo = 0;
    std::vector<std::string> firstLoopFiles;
    auto firstGone = [&]() {
        const std::vector<std::string> now = Listed(common, "MP4", TRUE);
        return !firstLoopFiles.empty() && (now.empty() || now.front() > firstLoopFiles.back());
    };
    // One check a second of video, as the supervision loop does.
    for (int second = 0; second < 20000 && (rounds < 6 || !firstGone()); ++second) {
        feeder.Feed(10);
        if (second % 60 == 10) {
            m_Record->StartAlarmRecord(emAlarmType_Accelerate, 'A');
            AddImage(imageNo++, 300000);
        }
        const uint64_t before = Free();
        m_SD->CheckSDCardFreeSpace();
        const uint64_t after = Free();
        if (firstLoopFiles.empty() && common.GetFileCount() >= 4) {
            firstLoopFiles = Listed(common, "MP4", TRUE);
        }
        belowInARow = before <= kFloor ? belowInARow + 1 : 0;
        worstInARow = std::max(worstInARow, belowInARow);
        if (before <= kFloor) {
            ++rounds;
            EXPECT_GT(after, kFloor) << "second " << second;
            EXPECT_LE(alarm.GetTotalSize(), limitAlarm) << "second " << second;
            EXPECT_LE(images.GetTotalSize(), limitImage) << "second " << second;
        }
        if (!(m_Record->GetRecorderFlag() & emRecordFileFlag_Recording) && second > 30) {
            ADD_FAILURE() << "recording stopped at second " << second;
            break;
        }
    }
    EXPECT_GE(rounds, 6) << "the card never filled up";
    EXPECT_EQ(worstInARow, 1);

    // The oldest loop videos went first; alarms and images kept the newest.
    ASSERT_GE(firstLoopFiles.size(), 4u);
    const std::vector<std::string> loops = Listed(common, "MP4", TRUE);
    ASSERT_FALSE(loops.empty());
    EXPECT_GT(loops.front(), firstLoopFiles.back());
    for (const std::string& gone : firstLoopFiles) {
        EXPECT_NE(access((VideoDir() + "/" + gone).c_str(), F_OK), 0) << gone;
    }
    const std::vector<std::string> kept = Listed(images, "JPG", FALSE);
    ASSERT_FALSE(kept.empty());
    ASSERT_LT(kept.size(), m_Images.size());
    EXPECT_EQ(kept, std::vector<std::string>(m_Images.end() - static_cast<long>(kept.size()), m_Images.end()));
    EXPECT_LT(alarm.GetFileCount(), static_cast<int>(imageNo));

    // What is listed is what is on the card, and nothing else.
    m_Record->StopAllRecord(FALSE, TRUE);
    std::vector<std::string> onCard = XRecListDir(VideoDir());
    EXPECT_EQ(Listed(common, "MP4", TRUE), onCard);
    onCard = XRecListDir(m_Rig->MountDir() + "/DCIM/104snap");
    EXPECT_EQ(kept, onCard);
}
