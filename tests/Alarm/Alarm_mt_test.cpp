// The alarm thread itself: tasks reach the linkages, stale ones do not, the
// configuration lock is free while a recording start blocks, and clean-up
// joins with tasks still queued.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Alarm/Alarm.h"
#include "AlarmFakes.h"
#include "Function/SystemTime.h"
#include "IniConfig/IniConfig.h"
#include "support/TestBoard.h"

namespace {

// The queue's fill, for the test.
class CTestAlarmManager : public CAlarmManager {
public:
    using CAlarmManager::CAlarmManager;
    unsigned Queued() { return m_pTaskQue->GetTaskCount(); }
};

class AlarmThread : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CIniConfig::instance()->Init());
        CIniConfig::instance()->SetInt("funcset", "snapshot_associate_video", 0);
        m_lpConfig.reset(new CAlarmConfigManager());
        m_lpConfig->Bind({&m_Log, &m_Log});
        m_lpManager.reset(new CTestAlarmManager(m_lpConfig.get()));
        ASSERT_TRUE(m_lpManager->Init());
    }

    void TearDown() override
    {
        m_Log.Hold(false);
        m_lpManager->CleanUp();
        m_lpManager.reset();
        m_lpConfig.reset();
    }

    void Put(unsigned type, uint32_t time, unsigned wpa, char letter, int priority = TASK_PRIORITY_HIGHTEST)
    {
        TASK task = XMakeAlarmTask(type, time, wpa, static_cast<uint32_t>(letter));
        ASSERT_TRUE(m_lpManager->PutTask(&task, priority));
    }

    CTestBoard m_Board;
    CAlarmCallLog m_Log;
    std::unique_ptr<CAlarmConfigManager> m_lpConfig;
    std::unique_ptr<CTestAlarmManager> m_lpManager;
};

typedef std::vector<std::string> Calls;

TEST_F(AlarmThread, FreshTaskReachesTheLinkages)
{
    Put(emAlarmType_Accelerate, SystemGetMSCount(), 0, 'A');
    ASSERT_TRUE(m_Log.WaitCalls(2));
    EXPECT_EQ(m_Log.Calls(), Calls({"Record(16,A)", "Snapshot(2,2,A)"}));
}

TEST_F(AlarmThread, StaleTaskIsIgnored)
{
    testing::internal::CaptureStdout();
    // First in, first out: the fresh gesture is served after the stale one.
    Put(emAlarmType_Accelerate, SystemGetMSCount() - 1500, 0, 'A', TASK_PRIORITY_NORMAL);
    Put(emAlarmType_Gesture, SystemGetMSCount(), 300, 'G', TASK_PRIORITY_NORMAL);
    const bool served = m_Log.WaitCalls(1);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(served);
    EXPECT_NE(out.find("[CAlarmManager] IGNORE ALARM 0x10 \n"), std::string::npos) << out;
    EXPECT_EQ(m_Log.Calls(), Calls({"Snapshot(2,0,G)"}));
}

TEST_F(AlarmThread, LinkageConfigIsNotHeldUpByARecordingStart)
{
    m_Log.Hold(true);
    Put(emAlarmType_Accelerate, SystemGetMSCount(), 0, 'A');
    ASSERT_TRUE(m_Log.WaitRecordEntered(1));
    // The alarm thread is inside StartAlarmRecord; the parking switch's call returns.
    std::future<BOOL> change = std::async(std::launch::async, [this] {
        return m_lpConfig->LinkageConfig(emAlarmType_Accelerate, emLinkageType_Invalid, emLinkageType_Record);
    });
    ASSERT_EQ(change.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_TRUE(change.get());
    m_Log.Hold(false);
    ASSERT_TRUE(m_Log.WaitCalls(2));
    // The running alarm kept the mask it started with.
    EXPECT_EQ(m_Log.Calls(), Calls({"Record(16,A)", "Snapshot(2,2,A)"}));
    Put(emAlarmType_Accelerate, SystemGetMSCount(), 0, 'A');
    ASSERT_TRUE(m_Log.WaitCalls(3));
    EXPECT_EQ(m_Log.Calls().back(), "Snapshot(2,0,A)");
}

TEST_F(AlarmThread, CleanUpJoinsWithTasksStillQueued)
{
    m_Log.Hold(true);
    Put(emAlarmType_Accelerate, SystemGetMSCount(), 0, 'A');
    ASSERT_TRUE(m_Log.WaitRecordEntered(1));
    for (int i = 0; i < 20; ++i) {
        Put(emAlarmType_Accelerate, SystemGetMSCount(), 0, 'A');
    }
    EXPECT_EQ(m_lpManager->Queued(), 20u);
    std::future<BOOL> stop = std::async(std::launch::async, [this] { return m_lpManager->CleanUp(); });
    // The quit task is queued once the loop flag is down.
    for (int i = 0; i < 30000 && m_lpManager->Queued() < 21; ++i) {
        XSleep(1);
    }
    EXPECT_EQ(m_lpManager->Queued(), 21u);
    m_Log.Hold(false);
    ASSERT_EQ(stop.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_TRUE(stop.get());
    EXPECT_TRUE(m_lpManager->IsThreadOver());
    // Only the alarm under way was served; the rest stayed queued.
    EXPECT_EQ(m_Log.Calls(), Calls({"Record(16,A)", "Snapshot(2,2,A)"}));
    EXPECT_EQ(m_lpManager->Queued(), 21u);
}

}  // namespace
