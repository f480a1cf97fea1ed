#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "MultiTask/Mutex.h"
#include "Periphery/SDManager.h"
#include "support/TestBoard.h"
#include "tests/MultiTask/Watchdog.h"
#include "tests/Periphery/SDTestSupport.h"

namespace {

const int I = emSDState_Insert;
const int M = emSDState_Mount;

// A one-shot gate.
class CGate {
public:
    void Open()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_bOpen = true;
        m_Cond.notify_all();
    }
    void Wait()
    {
        std::unique_lock<std::mutex> lock(m_Lock);
        m_Cond.wait(lock, [this] { return m_bOpen; });
    }

private:
    std::mutex m_Lock;
    std::condition_variable m_Cond;
    bool m_bOpen = false;
};

// The recording engine's shape: its own recursive lock, taken in its SD
// callback, under which it reads the mount path.
struct tagEngine {
    CSDManager* sd;
    CMutex lock;
    std::atomic<int> entered{0};
    static int OnState(int, void* priv)
    {
        tagEngine* e = static_cast<tagEngine*>(priv);
        e->entered.fetch_add(1);
        CGuard guard(e->lock);
        char path[257];
        e->sd->GetSDMountPath(path, sizeof(path));
        return 0;
    }
};

class SDManagerThreads : public ::testing::Test {
protected:
    // The manager's progress lines are not looked at here; the watchdog's
    // line on standard error stays visible.
    void SetUp() override { testing::internal::CaptureStdout(); }
    void TearDown() override { testing::internal::GetCapturedStdout(); }

    CTestBoard m_Board;
    CFakeSDSystem m_Sys;
    CSDManager m_SD{&m_Sys};
};

TEST_F(SDManagerThreads, FormatWhileTheEngineHoldsItsLockAndAsksForSpace)
{
    tagEngine engine{&m_SD, {}, {0}};
    ASSERT_TRUE(m_SD.RegisterSDStateCallback(tagEngine::OnState, &engine));
    RunWithin(std::chrono::milliseconds(60000), "100 formats against the engine", [&] {
        for (int round = 0; round < 100; ++round) {
            ASSERT_EQ(m_SD.CheckSDCard(), I | M) << round;
            const int before = engine.entered.load();
            int result = 99;
            std::thread formatter;
            {
                // the engine thread: holds its lock across the format's
                // notification and asks for the card's space meanwhile
                CGuard guard(engine.lock);
                formatter = std::thread([&] { result = m_SD.Format(); });
                while (engine.entered.load() == before) {
                    std::this_thread::yield();
                }
                uint64_t total = 0, freeBytes = 0;
                m_SD.GetDiskSpaceInfo(&total, &freeBytes);
                char path[257];
                m_SD.GetSDMountPath(path, sizeof(path));
                m_SD.GetSDSate();
            }
            formatter.join();
            ASSERT_EQ(result, 0) << round;
        }
    });
}

TEST_F(SDManagerThreads, PollAndFreeSpacePassWaitNotWhileMkdosfsRuns)
{
    ASSERT_EQ(m_SD.CheckSDCard(), I | M);
    CRecordDouble record(&m_Sys);
    record.m_nFiles = 5;
    m_Sys.m_Fs.free_bytes = 0;
    m_SD.SetRecordClient(&record);
    CGate inMkdosfs, release;
    m_Sys.m_ExecHook = [&](const std::string& cmd) {
        if (cmd.find("mkdosfs") == 0) {
            inMkdosfs.Open();
            release.Wait();
        }
        return 0;
    };
    RunWithin(std::chrono::milliseconds(60000), "format with polls", [&] {
        int result = 99;
        std::thread formatter([&] { result = m_SD.Format(); });
        inMkdosfs.Wait();
        m_Sys.ClearCalls();
        EXPECT_EQ(m_SD.CheckSDCard(), 1);
        m_SD.CheckSDCardFreeSpace();
        char path[257];
        EXPECT_FALSE(m_SD.GetSDMountPath(path, sizeof(path)));
        EXPECT_TRUE(m_SD.GetFormatStatusFlag());
        EXPECT_TRUE(m_Sys.Calls("mount ").empty());
        EXPECT_EQ(record.m_nOverflowChecks, 0);
        release.Open();
        formatter.join();
        EXPECT_EQ(result, 0);
        EXPECT_FALSE(m_SD.GetFormatStatusFlag());
        EXPECT_EQ(m_SD.CheckSDCard(), I | M);
    });
}

TEST_F(SDManagerThreads, FormatWaitsForAPollInProgress)
{
    // the poll stops inside its mount; a format asked for meanwhile must
    // find the card mounted once it runs, never a half-mounted one
    CGate inMount, release;
    std::atomic<bool> first{true};
    m_Sys.m_ExecHook = [&](const std::string& cmd) {
        if (cmd.find("mkdir") == 0 && first.exchange(false)) {
            inMount.Open();
            release.Wait();
        }
        return 0;
    };
    RunWithin(std::chrono::milliseconds(60000), "poll and format", [&] {
        int polled = -1;
        int result = 99;
        std::thread poller([&] { polled = m_SD.CheckSDCard(); });
        inMount.Wait();
        std::atomic<bool> asked{false};
        std::thread formatter([&] {
            asked = true;
            result = m_SD.Format();
        });
        while (!asked.load()) {
            std::this_thread::yield();
        }
        release.Open();
        poller.join();
        formatter.join();
        EXPECT_EQ(polled, I | M);
        EXPECT_EQ(result, 0);
        // the mount came first, then the format's unmount and mkdosfs
        std::vector<std::string> calls = m_Sys.Calls();
        size_t mountAt = calls.size(), umountAt = calls.size(), mkdosAt = calls.size();
        for (size_t i = 0; i < calls.size(); ++i) {
            if (calls[i].compare(0, 6, "mount ") == 0 && mountAt == calls.size()) {
                mountAt = i;
            }
            if (calls[i].compare(0, 7, "umount ") == 0) {
                umountAt = i;
            }
            if (calls[i].compare(0, 12, "exec mkdosfs") == 0) {
                mkdosAt = i;
            }
        }
        EXPECT_LT(mountAt, umountAt);
        EXPECT_LT(umountAt, mkdosAt);
    });
}

TEST_F(SDManagerThreads, RegistrationWhileNotifying)
{
    SDStateLog steady;
    ASSERT_TRUE(m_SD.RegisterSDStateCallback(SDStateLog::Record, &steady));
    std::atomic<bool> stop{false};
    RunWithin(std::chrono::milliseconds(60000), "registration and polls", [&] {
        std::thread registrar([&] {
            std::vector<std::unique_ptr<SDStateLog>> logs;
            for (int i = 0; i < 15; ++i) {
                logs.emplace_back(new SDStateLog);
            }
            while (!stop.load()) {
                for (auto& l : logs) {
                    m_SD.RegisterSDStateCallback(SDStateLog::Record, l.get());
                }
                for (auto& l : logs) {
                    m_SD.UnregisterSDStateCallback(SDStateLog::Record, l.get());
                }
            }
        });
        for (int i = 0; i < 200; ++i) {
            {
                std::lock_guard<std::mutex> lock(m_Sys.m_Lock);
                m_Sys.m_bInserted = (i % 2) == 0;
            }
            m_SD.CheckSDCard();
        }
        stop = true;
        registrar.join();
    });
    // the steady listener saw every change, in order
    std::vector<int> states = steady.States();
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.front(), I | M);
    EXPECT_EQ(states.back(), 0);
}

// Once UnregisterSDStateCallback returns, no call of the pair runs any
// more: its owner may free it at once.
TEST_F(SDManagerThreads, UnregisterWaitsForTheCallInProgress)
{
    struct tagListener {
        std::atomic<bool> alive{true};
        std::atomic<bool> entered{false};
        std::atomic<bool> unregistering{false};
        std::atomic<int> deadCalls{0};
        static int Call(int, void* priv)
        {
            tagListener* l = static_cast<tagListener*>(priv);
            l->entered = true;
            while (!l->unregistering.load()) {
                std::this_thread::yield();
            }
            // room for an unregistration that does not wait to return
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (!l->alive.load()) {
                l->deadCalls.fetch_add(1);
            }
            return 0;
        }
    };
    tagListener listener;
    ASSERT_TRUE(m_SD.RegisterSDStateCallback(tagListener::Call, &listener));
    RunWithin(std::chrono::milliseconds(60000), "unregistration during a call", [&] {
        BOOL result = FALSE;
        std::thread owner([&] {
            while (!listener.entered.load()) {
                std::this_thread::yield();
            }
            listener.unregistering = true;
            result = m_SD.UnregisterSDStateCallback(tagListener::Call, &listener);
            listener.alive = false;  // as if freed
        });
        EXPECT_EQ(m_SD.CheckSDCard(), I | M);
        owner.join();
        EXPECT_TRUE(result);
        EXPECT_EQ(listener.deadCalls.load(), 0);
        // and it is not called again
        listener.entered = false;
        {
            std::lock_guard<std::mutex> lock(m_Sys.m_Lock);
            m_Sys.m_bInserted = false;
        }
        m_SD.CheckSDCard();
        EXPECT_FALSE(listener.entered.load());
    });
}

// Listeners freed right after their unregistration while polls notify:
// no call reaches one after its unregistration returned. Each listener is
// known by a number never used again, looked up in the set of live ones
// before anything of it is touched.
class CListenerPool {
public:
    static int Record(int state, void* priv)
    {
        CListenerPool* pool = g_pPool;
        const uintptr_t id = reinterpret_cast<uintptr_t>(priv);
        std::lock_guard<std::mutex> lock(pool->m_Lock);
        auto it = pool->m_Live.find(id);
        if (it == pool->m_Live.end()) {
            pool->m_Stray.push_back(id);
            return 0;
        }
        it->second->states.push_back(state);
        ++pool->m_nLiveCalls;
        return 0;
    }
    void* Add()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        const uintptr_t id = ++m_nLastId;
        m_Live.emplace(id, std::unique_ptr<SDStateLog>(new SDStateLog));
        return reinterpret_cast<void*>(id);
    }
    void Free(void* priv)
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Live.erase(reinterpret_cast<uintptr_t>(priv));
    }
    int LiveCalls()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_nLiveCalls;
    }
    std::vector<uintptr_t> Stray()
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_Stray;
    }

    static CListenerPool* g_pPool;

private:
    std::mutex m_Lock;
    std::map<uintptr_t, std::unique_ptr<SDStateLog>> m_Live;
    std::vector<uintptr_t> m_Stray;
    uintptr_t m_nLastId = 0;
    int m_nLiveCalls = 0;
};

CListenerPool* CListenerPool::g_pPool = nullptr;

TEST_F(SDManagerThreads, ListenersFreedAfterUnregistration)
{
    CListenerPool pool;
    CListenerPool::g_pPool = &pool;
    std::atomic<bool> stop{false};
    RunWithin(std::chrono::milliseconds(60000), "registration, freeing and polls", [&] {
        std::thread registrar([&] {
            while (!stop.load()) {
                std::vector<void*> ids;
                for (int i = 0; i < 8; ++i) {
                    ids.push_back(pool.Add());
                    m_SD.RegisterSDStateCallback(CListenerPool::Record, ids.back());
                }
                std::this_thread::yield();
                for (void* id : ids) {
                    EXPECT_TRUE(m_SD.UnregisterSDStateCallback(CListenerPool::Record, id));
                    pool.Free(id);
                }
            }
        });
        // at least 300 polls, and on until some reached a live listener
        for (int i = 0; i < 300 || pool.LiveCalls() == 0; ++i) {
            {
                std::lock_guard<std::mutex> lock(m_Sys.m_Lock);
                m_Sys.m_bInserted = (i % 2) == 0;
            }
            m_SD.CheckSDCard();
        }
        stop = true;
        registrar.join();
    });
    CListenerPool::g_pPool = nullptr;
    EXPECT_GT(pool.LiveCalls(), 0);
    EXPECT_EQ(pool.Stray(), std::vector<uintptr_t>()) << "calls after the unregistration returned";
}

}  // namespace
