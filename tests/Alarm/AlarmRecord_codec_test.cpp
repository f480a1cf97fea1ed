// The alarm thread in front of the real recording engine: the engine is fed
// libx264 and fdk-aac packets on a recorded clock onto a card folder, an
// alarm task is put at second 20, and the alarm file is read back with the
// box walker, ffprobe and ffmpeg.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "Alarm/Alarm.h"
#include "AlarmFakes.h"
#include "Function/SystemTime.h"
#include "IniConfig/IniConfig.h"
#include "Record/MP4/MP4File.h"
#include "Record/Record.h"
#include "Record/RecordFeeder.h"
#include "Record/RecordFileTestSupport.h"
#include "Record/RecordPacker.h"
#include "Record/RecordTestCard.h"
#include "support/TestBoard.h"

namespace {

// The Record linkage's target: the test's engine.
class CEngineTarget : public CAlarmRecordTarget {
public:
    explicit CEngineTarget(CRecord& record) : m_Record(record) {}
    BOOL StartAlarmRecord(unsigned alarm, unsigned long type) override
    {
        return m_Record.StartAlarmRecord(alarm, type);
    }

private:
    CRecord& m_Record;
};

std::string Quote(const std::string& s)
{
    return "'" + s + "'";
}

class AlarmRecord : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CIniConfig::instance()->Init());
        CIniConfig::instance()->SetInt("funcset", "snapshot_associate_video", 0);
        m_lpCard = new CFolderCard();
        m_lpRecord.reset(new CRecord(new CMP4File(), m_lpCard, new CRecordPacker()));
        ASSERT_TRUE(m_lpRecord->Init(30, 30, 320, 240));
        m_lpCard->Notify(emSDState_Insert | emSDState_Mount);
        m_lpRecord->ResumeCommonRecord();
        tagRecordFeederConfig cfg;
        cfg.poolFrames = 90;
        m_lpFeeder.reset(new CRecordFeeder(*m_lpRecord, cfg));
        ASSERT_TRUE(m_lpFeeder->Ok());
        m_lpTarget.reset(new CEngineTarget(*m_lpRecord));
        m_lpConfig.reset(new CAlarmConfigManager());
        m_lpConfig->Bind({m_lpTarget.get(), &m_Snapshots});
        m_lpManager.reset(new CAlarmManager(m_lpConfig.get()));
        ASSERT_TRUE(m_lpManager->Init());
    }

    void TearDown() override
    {
        m_lpManager.reset();
        m_lpConfig.reset();
        if (m_lpRecord) {
            m_lpRecord->CleanUp();
        }
        m_lpFeeder.reset();
        m_lpRecord.reset();
    }

    // 20 s of video, an acceleration alarm (stale: stamped 1.5 s back),
    // served before a fresh gesture that only takes a snapshot, 20 s more,
    // then the stop of shut-down. The MP4 files of 101video.
    std::vector<std::string> Run(bool bStale)
    {
        m_lpFeeder->Feed(20 * 30);
        const uint32_t now = SystemGetMSCount();
        TASK alarm = XMakeAlarmTask(emAlarmType_Accelerate, bStale ? now - 1500 : now, 0, 'A');
        TASK gesture = XMakeAlarmTask(emAlarmType_Gesture, now, 300, 'G');
        EXPECT_TRUE(m_lpManager->PutTask(&alarm, TASK_PRIORITY_NORMAL));
        EXPECT_TRUE(m_lpManager->PutTask(&gesture, TASK_PRIORITY_NORMAL));
        const size_t expected = bStale ? 1 : 2;
        EXPECT_TRUE(m_Snapshots.WaitCalls(expected));
        m_lpFeeder->Feed(20 * 30);
        m_lpRecord->StopAllRecord(1, 1);
        std::vector<std::string> files;
        for (const std::string& n : XRecListDir(m_Board.Path("/tmp/mmc0/DCIM/101video"))) {
            if (n.size() > 4 && n.compare(n.size() - 4, 4, ".MP4") == 0) {
                files.push_back(m_Board.Path("/tmp/mmc0/DCIM/101video/") + n);
            }
        }
        return files;
    }

    CTestBoard m_Board;
    CFolderCard* m_lpCard = nullptr;
    std::unique_ptr<CRecord> m_lpRecord;
    std::unique_ptr<CRecordFeeder> m_lpFeeder;
    std::unique_ptr<CEngineTarget> m_lpTarget;
    CAlarmCallLog m_Snapshots;
    std::unique_ptr<CAlarmConfigManager> m_lpConfig;
    std::unique_ptr<CAlarmManager> m_lpManager;
};

TEST_F(AlarmRecord, FreshAlarmGivesOneAlarmFileWithTriggerA)
{
    const std::vector<std::string> files = Run(false);
    EXPECT_EQ(m_Snapshots.Calls(), (std::vector<std::string>{"Snapshot(2,2,A)", "Snapshot(2,0,G)"}));
    ASSERT_EQ(files.size(), 1u);
    int status = -1;
    const std::string walk = XTestRun(std::string(DASHCAM_PYTHON) + " " + DASHCAM_SOURCE_DIR +
                                          "/tests/Record/MP4BoxWalker.py " + Quote(files[0]) + " 2>&1",
                                      &status);
    EXPECT_EQ(status, 0) << walk;
    EXPECT_NE(walk.find("altg 4\n"), std::string::npos) << walk;  // acceleration
    const std::string streams =
        XTestRun("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " + Quote(files[0]), &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(streams, "h264\naac\n");
    const std::string errors = XTestRun("ffmpeg -nostdin -v error -i " + Quote(files[0]) + " -f null - 2>&1", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(errors, "");
}

TEST_F(AlarmRecord, StaleAlarmGivesNoAlarmFile)
{
    testing::internal::CaptureStdout();
    const std::vector<std::string> files = Run(true);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("[CAlarmManager] IGNORE ALARM 0x10 \n"), std::string::npos);
    EXPECT_EQ(m_Snapshots.Calls(), (std::vector<std::string>{"Snapshot(2,0,G)"}));
    EXPECT_TRUE(files.empty());
    EXPECT_FALSE(XRecListDir(m_Board.Path("/tmp/mmc0/DCIM/100video")).empty());
}

}  // namespace
