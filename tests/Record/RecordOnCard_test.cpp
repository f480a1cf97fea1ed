// The engine with the SD card manager over a real small file system (the
// card rig: the board's card image on loop devices, mounted in a private
// mount namespace).

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Function/common.h"
#include "Periphery/GPIO.h"
#include "Periphery/SDManager.h"
#include "Record/MP4File.h"
#include "Record/Record.h"
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

std::vector<std::string> Videos(const std::string& dir)
{
    std::vector<std::string> names;
    DIR_CTX ctx;
    XFileFindData fd;
    for (BOOL ok = XFindFirstFile(dir.c_str(), &ctx, &fd); ok; ok = XFindNextFile(&ctx, &fd)) {
        if (!fd.is_dir) {
            names.push_back(fd.filename);
        }
    }
    XCloseFindFile(&ctx, FALSE);
    return names;
}

class RecordOnCard : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string why = CCardRig::Unavailable();
        if (!why.empty()) {
            GTEST_SKIP() << why;
        }
        m_Rig.reset(new CCardRig(m_Board, 16));
        ASSERT_TRUE(m_Rig->Ok()) << m_Rig->Error();
        CGPIOManager::instance()->CleanUp();
        m_SD.reset(new CSDManager(&m_Sys));
        m_Record.reset(new CRecord(new CMP4File(), new CManagerCard(*m_SD), new CNoteFinisher(&m_Finished)));
        ASSERT_TRUE(m_Record->Init(30, 30, 320, 240));
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
    ASSERT_EQ(Videos(VideoDir()).size(), 1u);
    // Room again, and the app resumes.
    XDeleteFile((VideoDir() + "/" + Videos(VideoDir())[0]).c_str());
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
    const std::vector<std::string> left = Videos(VideoDir());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_NE(left[0].find("_0"), std::string::npos);
    feeder.Feed(60);
    EXPECT_TRUE(m_Record->GetRecorderFlag() & emRecordFileFlag_Recording);
}
