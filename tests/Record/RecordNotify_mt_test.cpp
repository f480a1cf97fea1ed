// The notice receiver across threads: removing it waits for a notice in
// flight, so the receiver may be deleted as soon as the call returns.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "Record/RecordNotify.h"

namespace {

// A receiver whose notices block until they are let go.
class CBlockingReceiver : public CRecordNotify {
public:
    void NotifyFileDeleteUpdate(const char* json, int length) override { Hold(json, length); }
    void NotifyCommonVideoUpdate(const char* json, int length) override { Hold(json, length); }
    void NotifyAlarmVideoUpdate(const char* json, int length) override { Hold(json, length); }
    void NotifyAlarmJpgUpdate(const char* json, int length) override { Hold(json, length); }

    void WaitEntered()
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Cond.wait(lock, [this] { return m_bEntered; });
    }
    void LetGo()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bLetGo = true;
        m_Cond.notify_all();
    }

    std::atomic<bool> m_bDone{false};
    std::string m_strLast;

private:
    void Hold(const char* json, int length)
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_bEntered = true;
        m_Cond.notify_all();
        m_Cond.wait(lock, [this] { return m_bLetGo; });
        m_strLast.assign(json, static_cast<size_t>(length));
        m_bDone = true;
    }

    std::mutex m_Mutex;
    std::condition_variable m_Cond;
    bool m_bEntered = false;
    bool m_bLetGo = false;
};

}  // namespace

// Each kind of notice: SetReceiver(null) returns only once the notice that
// was being delivered has finished, and the receiver is then deleted.
TEST(RecordNotifyThreads, RemovingTheReceiverWaitsForANoticeInFlight)
{
    void (*const senders[])(const char*, int) = {XNotifyFileDeleteUpdate, XNotifyCommonVideoUpdate,
                                                 XNotifyAlarmVideoUpdate, XNotifyAlarmJpgUpdate};
    for (auto send : senders) {
        auto receiver = std::make_unique<CBlockingReceiver>();
        CRecordNotify* previous = CRecordNotify::SetReceiver(receiver.get());
        std::thread sender([send] { send("{\"n\":1}", 7); });
        receiver->WaitEntered();
        std::atomic<bool> removed{false};
        bool doneAtRemoval = false;
        std::thread remover([&] {
            CRecordNotify::SetReceiver(previous);
            doneAtRemoval = receiver->m_bDone.load();
            removed = true;
        });
        // Room for a removal that does not wait to show itself.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        receiver->LetGo();
        remover.join();
        sender.join();
        EXPECT_TRUE(removed.load());
        EXPECT_TRUE(doneAtRemoval);
        EXPECT_EQ("{\"n\":1}", receiver->m_strLast);
        receiver.reset();
        // Later notices go nowhere.
        send("{}", 2);
    }
}

// A receiver may remove itself from inside its own notice.
TEST(RecordNotifyThreads, ReceiverRemovesItselfFromItsNotice)
{
    class CSelfRemoving : public CRecordNotify {
    public:
        void NotifyFileDeleteUpdate(const char*, int) override
        {
            ++m_nCalls;
            CRecordNotify::SetReceiver(nullptr);
        }
        void NotifyCommonVideoUpdate(const char*, int) override {}
        void NotifyAlarmVideoUpdate(const char*, int) override {}
        void NotifyAlarmJpgUpdate(const char*, int) override {}
        int m_nCalls = 0;
    } receiver;
    CRecordNotify* previous = CRecordNotify::SetReceiver(&receiver);
    std::thread t([] {
        XNotifyFileDeleteUpdate("{}", 2);
        XNotifyFileDeleteUpdate("{}", 2);
    });
    t.join();
    EXPECT_EQ(1, receiver.m_nCalls);
    EXPECT_EQ(nullptr, CRecordNotify::GetReceiver());
    CRecordNotify::SetReceiver(previous);
}
