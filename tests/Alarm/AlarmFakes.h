#ifndef TESTS_ALARM_ALARMFAKES_H
#define TESTS_ALARM_ALARMFAKES_H

// Recording and snapshot targets that note each call in order, as text:
// "Record(16,A)", "Snapshot(2,2,A)". A gate can hold StartAlarmRecord.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "Alarm/AlarmTargets.h"

class CAlarmCallLog : public CAlarmRecordTarget, public CAlarmSnapshotTarget {
public:
    BOOL StartAlarmRecord(unsigned alarm, unsigned long type) override
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        ++m_nRecordEntered;
        m_Changed.notify_all();
        m_Changed.wait(lock, [this] { return !m_bHold; });
        char text[64];
        snprintf(text, sizeof(text), "Record(%u,%c)", alarm, static_cast<char>(type));
        m_Calls.push_back(text);
        m_Changed.notify_all();
        return TRUE;
    }

    BOOL Snapshot(int channel, int notify, unsigned long type) override
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        char text[64];
        snprintf(text, sizeof(text), "Snapshot(%d,%d,%c)", channel, notify, static_cast<char>(type));
        m_Calls.push_back(text);
        m_Changed.notify_all();
        return TRUE;
    }

    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Calls;
    }

    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Calls.clear();
    }

    void Hold(bool bHold)
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bHold = bHold;
        m_Changed.notify_all();
    }

    // Waits (up to 30 s) until `n` calls are noted.
    bool WaitCalls(size_t n)
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        return m_Changed.wait_for(lock, std::chrono::seconds(30), [&] { return m_Calls.size() >= n; });
    }

    // Waits (up to 30 s) until StartAlarmRecord has been entered `n` times.
    bool WaitRecordEntered(int n)
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        return m_Changed.wait_for(lock, std::chrono::seconds(30), [&] { return m_nRecordEntered >= n; });
    }

private:
    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    std::vector<std::string> m_Calls;
    int m_nRecordEntered = 0;
    bool m_bHold = false;
};

#endif
