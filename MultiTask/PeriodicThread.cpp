#include "MultiTask/PeriodicThread.h"

#include <chrono>

CPeriodicThread::CPeriodicThread(unsigned periodMs)
    : m_nPeriodMs(periodMs > 0 ? periodMs : 1000), m_bStop(false), m_bSoon(false)
{
}

CPeriodicThread::~CPeriodicThread()
{
    Stop();
}

void CPeriodicThread::Start(std::function<void()> work)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_Thread.joinable() || m_bStop) {
        return;
    }
    m_Work = std::move(work);
    m_Thread = std::thread(&CPeriodicThread::Run, this);
}

void CPeriodicThread::SetPeriod(unsigned periodMs)
{
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        if (periodMs > 0) {
            m_nPeriodMs = periodMs;
        }
    }
    m_Wake.notify_all();
}

void CPeriodicThread::RunSoon()
{
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_bSoon = true;
    }
    m_Wake.notify_all();
}

void CPeriodicThread::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_bStop = true;
    }
    m_Wake.notify_all();
    if (m_Thread.joinable()) {
        m_Thread.join();
    }
}

void CPeriodicThread::Run()
{
    std::unique_lock<std::mutex> lock(m_Lock);
    while (!m_bStop) {
        const std::chrono::milliseconds period(m_nPeriodMs);
        m_Wake.wait_for(lock, period, [this] { return m_bStop || m_bSoon; });
        m_bSoon = false;
        if (m_bStop) {
            break;
        }
        lock.unlock();
        m_Work();
        lock.lock();
    }
}
