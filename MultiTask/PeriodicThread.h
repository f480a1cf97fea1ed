#ifndef MULTITASK_PERIODICTHREAD_H
#define MULTITASK_PERIODICTHREAD_H

// A thread of its own that runs one piece of work once a period until it is
// stopped (the recording flushers).

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class CPeriodicThread {
public:
    explicit CPeriodicThread(unsigned periodMs);
    // Stops the thread (not from inside the work).
    ~CPeriodicThread();
    CPeriodicThread(const CPeriodicThread&) = delete;
    CPeriodicThread& operator=(const CPeriodicThread&) = delete;

    // Starts the thread with `work`, first run one period from now; nothing
    // when it runs already or was stopped.
    void Start(std::function<void()> work);
    // From the next wait on; 0 keeps the period.
    void SetPeriod(unsigned periodMs);
    // The work runs once more as soon as the thread is free (not from
    // inside the work); the period counts from that run.
    void RunSoon();
    // Ends the thread after the work in progress; for good.
    void Stop();

private:
    void Run();

    std::mutex m_Lock;
    std::condition_variable m_Wake;
    unsigned m_nPeriodMs;
    bool m_bStop;
    bool m_bSoon;
    std::function<void()> m_Work;
    std::thread m_Thread;
};

#endif
